#!/usr/bin/env bash
# `mondrel --selftest` as a user would start it: it must exit 0 after writing the self-test line with the
# version, and build no service on the way: no keyring is asked and no calendar folder is made.
set -u
binary=$1 version=$2
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools python3

e2e_make_home
# A stand-in session bus that only notes whoever connects: the keyring is reached through the bus.
bus="$E2E_WORK/bus"
python3 - "$bus" "$E2E_WORK/bus-connected" <<'PY' &
import socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen()
server.settimeout(30)
try:
    connection, _ = server.accept()
    open(sys.argv[2], "w").close()
    connection.close()
except socket.timeout:
    pass
PY
E2E_PIDS+=($!)
e2e_wait_for 50 test -S "$bus" || e2e_skip "no stand-in session bus"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$bus"

# The log goes to the journal where one runs, else to stderr.
line="selftest ok — Mondrel $version"
# Also where the environment names a display platform but no display is there (a build machine, ssh).
unset DISPLAY
for platform in offscreen xcb wayland; do
    started=$(date +%s)
    # Anywhere among the arguments, not only first.
    output=$(QT_QPA_PLATFORM=$platform timeout 30 "$binary" mondrel://ignored --selftest 2>&1)
    status=$?
    echo "$output"
    [ "$status" -eq 0 ] || e2e_fail "--selftest with QT_QPA_PLATFORM=$platform exited with status $status"
    if ! echo "$output" | grep -qF "$line"; then
        command -v journalctl >/dev/null 2>&1 && journalctl -q -o cat --since "@$started" | grep -qF "$line" ||
            e2e_fail "no line \"$line\" on stderr or in the journal (QT_QPA_PLATFORM=$platform)"
    fi
done
[ ! -e "$E2E_WORK/bus-connected" ] || e2e_fail "--selftest connected to the session bus (keyring)"
[ ! -e "$XDG_DATA_HOME/mondrel/calendars" ] || e2e_fail "--selftest created the calendar folder"
echo "selftest: ok"
