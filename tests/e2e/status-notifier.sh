#!/usr/bin/env bash
# The built program on a desktop whose panel is a StatusNotifierItem host: a StatusNotifierWatcher and a
# host that asks for the icon's menu over D-Bus, as such panels do instead of reporting a right click. The
# program starts first, as it may at login, and the watcher and host five seconds later: the host finds the
# item and its menu ("Settings…", "Check for Updates…" and "Quit Mondrel") within seconds. The watcher then
# restarts: the item registers with it again, and "Quit Mondrel" from the new host ends the program with
# status 0.
set -u
binary=$1
here=$(dirname "$0")
. "$here/desktop-session.sh"
e2e_require_tools status-notifier-watcher
# The host speaks D-Bus through Debian's python3-dbus, which only Debian's own Python sees.
host_python=/usr/bin/python3
"$host_python" -c 'import dbus' 2>/dev/null || e2e_skip "python3-dbus is not installed (scripts/bootstrap installs it)"

e2e_start_signed_in_session
e2e_log "$E2E_WORK/program.log"

name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q "boolean true"
}
start_watcher() {
    status-notifier-watcher >>"$E2E_WORK/watcher.log" 2>&1 &
    watcher=$!
    E2E_PIDS+=("$watcher")
    e2e_wait_for 100 name_owned org.kde.StatusNotifierWatcher || e2e_skip "status-notifier-watcher did not start"
}
# A host that registers, reads the item's menu within $1 seconds of registering and clicks the item $2
# if given; its output in host-$3.log.
run_host() {
    local log="$E2E_WORK/host-$3.log" status
    e2e_log "$log"
    HOST_WAIT_SECONDS=$1 e2e_bounded 30 "$host_python" "$here/status-notifier-host.py" ${2:+"$2"} >"$log" 2>&1
    status=$?
    [ "$status" -eq 0 ] || e2e_fail "the $3 host got no item or menu from the program (status $status)"
    for label in "Settings…" "Check for Updates…" "Quit Mondrel"; do
        grep -qE "^$label( \(disabled\))?\$" "$log" || e2e_fail "the menu the $3 host read has no \"$label\""
    done
    grep -qx "Settings…" "$log" || e2e_fail "\"Settings…\" is disabled"
}

e2e_step "the program starts before the panel"
"$binary" >"$E2E_WORK/program.log" 2>&1 &
program=$!
E2E_PIDS+=("$program")
e2e_log "$E2E_WORK/watcher.log"
sleep 5
kill -0 "$program" 2>/dev/null || e2e_fail "the program ended before the panel came"

e2e_step "the watcher and the host come up"
start_watcher
# Two seconds for the item, and some for a loaded machine.
run_host 4 "" first

e2e_step "the watcher restarts"
kill "$watcher"
wait "$watcher" 2>/dev/null
start_watcher
run_host 4 "Quit Mondrel" second

e2e_step "Quit Mondrel from the host"
e2e_wait_exit "$program"
quit_status=$E2E_EXIT_STATUS
[ "$quit_status" = 0 ] || e2e_fail "\"Quit Mondrel\" from the host ended the program with status $quit_status"
echo "status-notifier: ok"
