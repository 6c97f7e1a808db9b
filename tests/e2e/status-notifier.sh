#!/usr/bin/env bash
# The built program on a desktop whose panel is a StatusNotifierItem host: a StatusNotifierWatcher and a
# host that asks for the icon's menu over D-Bus, as such panels do instead of reporting a right click. The
# menu holds "Settings…", "Check for Updates…" and "Quit Mondrel", and "Quit Mondrel" ends the program
# with status 0.
set -u
binary=$1
here=$(dirname "$0")
. "$here/desktop-session.sh"
e2e_require_tools status-notifier-watcher
# The host speaks D-Bus through Debian's python3-dbus, which only Debian's own Python sees.
host_python=/usr/bin/python3
"$host_python" -c 'import dbus' 2>/dev/null || e2e_skip "python3-dbus is not installed (scripts/bootstrap installs it)"

e2e_start_signed_in_session

name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q "boolean true"
}
e2e_spawn status-notifier-watcher
e2e_wait_for 100 name_owned org.kde.StatusNotifierWatcher || e2e_skip "status-notifier-watcher did not start"

"$host_python" "$here/status-notifier-host.py" "Quit Mondrel" >"$E2E_WORK/host.log" 2>&1 &
host=$!
E2E_PIDS+=("$host")
e2e_wait_for 100 grep -q "host: registered" "$E2E_WORK/host.log" || {
    cat "$E2E_WORK/host.log"
    e2e_fail "the host did not register with the watcher"
}

"$binary" >"$E2E_WORK/program.log" 2>&1 &
program=$!
E2E_PIDS+=("$program")

wait "$host"
host_status=$?
cat "$E2E_WORK/host.log"
[ "$host_status" -eq 0 ] || { cat "$E2E_WORK/program.log"; e2e_fail "the host got no menu from the program"; }
for label in "Settings…" "Check for Updates…" "Quit Mondrel"; do
    grep -qE "^$label( \(disabled\))?\$" "$E2E_WORK/host.log" || e2e_fail "the exported menu has no \"$label\""
done
grep -qx "Settings…" "$E2E_WORK/host.log" || e2e_fail "\"Settings…\" is disabled"

e2e_wait_exit "$program"
quit_status=$E2E_EXIT_STATUS
[ "$quit_status" = 0 ] || { cat "$E2E_WORK/program.log"; e2e_fail "\"Quit Mondrel\" from the host ended the program with status $quit_status"; }
echo "status-notifier: ok"
