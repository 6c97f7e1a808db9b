#!/bin/sh
# Runs a test program inside a private session bus with its own unlocked gnome-keyring and a throw-away
# home, so the user's keyrings are never touched. Exits 77 (skipped) when that session cannot start.
#   run-in-private-keyring.sh [--frozen] program [argument...]
# With --frozen the daemon is stopped once it owns its name: the Secret Service is there but never answers.
# No display reaches the session, so an unlock prompt cannot open and counts as dismissed.
set -u
mode=1
if [ "${1:-}" = --frozen ]; then
    mode=frozen
    shift
fi
for tool in dbus-run-session dbus-daemon dbus-send gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "skipped: $tool is not installed (scripts/bootstrap installs it)"
        exit 77
    fi
done

home=$(mktemp -d) || exit 1
trap 'rm -rf "$home"' EXIT INT TERM
mkdir -p "$home/runtime" && chmod 700 "$home/runtime"

env -u DISPLAY -u WAYLAND_DISPLAY \
HOME="$home" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" MONDREL_PRIVATE_KEYRING="$mode" \
dbus-run-session -- sh -c '
    printf test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
    daemon=$!
    registered=no
    for attempt in $(seq 50); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
                grep -q "boolean true"; then
            registered=yes
            break
        fi
        sleep 0.1
    done
    if [ "$registered" != yes ]; then
        kill "$daemon" 2>/dev/null
        wait "$daemon"
        echo "skipped: gnome-keyring-daemon did not start a Secret Service in the private session"
        exit 77
    fi
    [ "$MONDREL_PRIVATE_KEYRING" = frozen ] && kill -STOP "$daemon"
    "$@"
    status=$?
    kill -CONT "$daemon" 2>/dev/null
    kill "$daemon" 2>/dev/null
    wait "$daemon"
    exit $status
' sh "$@"
