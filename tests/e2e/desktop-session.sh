# Shell functions that give the built program a desktop of its own, the way a user's session would: an X
# server (Xvfb), a system tray (trayer), a private session bus with an unlocked gnome-keyring, a throw-away
# home with its XDG folders and a vdir calendar tree with events of today. Sourced by the end-to-end tests
# and the memory benchmark; nothing here touches the user's own session.
#
# A piece that cannot start makes the caller skip (exit 77) with the reason, unless MONDREL_E2E_REQUIRED=1
# (set by CI), which turns every skip into a failure.

e2e_skip() {
    if [ "${MONDREL_E2E_REQUIRED:-0}" = 1 ]; then
        e2e_fail "MONDREL_E2E_REQUIRED=1 forbids skipping: $*"
    fi
    echo "skipped: $*"
    E2E_REPORTED=1
    exit 77
}

# Every failure says why, at which step, and shows the logs of what the test started.
e2e_fail() {
    echo "FAILED: $* (step: ${E2E_STEP:-start})"
    e2e_show_logs
    E2E_REPORTED=1
    exit 1
}

# Says what the test does next; a failure, a hang or an unexpected end names the step.
e2e_step() {
    E2E_STEP=$*
    echo "step: $*"
    [ -n "${E2E_WORK:-}" ] && echo "$*" >"$E2E_WORK/step"
}

# Log files to show when the test fails.
E2E_LOGS=()
e2e_log() { E2E_LOGS+=("$@"); }

e2e_show_logs() {
    local log
    for log in "${E2E_LOGS[@]}"; do
        [ -f "$log" ] || continue
        echo "----- $(basename "$log") (last 60 lines) -----"
        tail -n 60 "$log"
    done
}

# Runs "$@" in the background, killed after $1 seconds: a tool that waits on a stuck peer must not hang the
# test.
e2e_bounded() {
    local seconds=$1
    shift
    timeout -k 2 "$seconds" "$@"
}

e2e_require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || e2e_skip "$tool is not installed (scripts/bootstrap installs it)"
    done
}

# Waits up to $1 tenths of a second for the command that follows to succeed.
e2e_wait_for() {
    local tenths=$1
    shift
    local i
    for i in $(seq "$tenths"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

# A fresh home with its XDG folders; removed, with every process started here, on exit. A test that is still
# running E2E_DEADLINE seconds on (150 unless set, under CTest's limit) says where it stands and ends.
e2e_make_home() {
    E2E_WORK=$(mktemp -d /tmp/mondrel-e2e.XXXXXX) || e2e_fail "no temporary folder"
    E2E_PIDS=()
    trap e2e_cleanup EXIT
    trap 'e2e_fail "stopped by a signal"' INT TERM
    trap 'e2e_fail "no step ended within ${E2E_DEADLINE:-150} s"' USR1
    # Its sleeps hold no output open: CTest waits for every holder of the test's output to end.
    (
        sleep "${E2E_DEADLINE:-150}" >/dev/null 2>&1
        kill -USR1 $$ 2>/dev/null
        # A foreground tool that waits defers the trap: the step goes out now, and the test ends.
        sleep 5 >/dev/null 2>&1
        echo "FAILED: still at step \"$(cat "$E2E_WORK/step" 2>/dev/null)\" after ${E2E_DEADLINE:-150} s"
        kill -TERM $$ 2>/dev/null
    ) &
    E2E_WATCHDOG=$!
    export HOME="$E2E_WORK/home"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export XDG_RUNTIME_DIR="$E2E_WORK/runtime"
    unset MONDREL_CALENDAR_DIR DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
}

e2e_cleanup() {
    local status=$? pid
    if [ "$status" -ne 0 ] && [ -z "${E2E_REPORTED:-}" ]; then
        echo "FAILED: ended with status $status (step: ${E2E_STEP:-start})"
        e2e_show_logs
    fi
    kill "$E2E_WATCHDOG" 2>/dev/null
    # Only processes that are still children of this shell: the number of one that ended long ago (the first
    # tray, a program that quit) may belong to anything by now, such as another test running beside this
    # one, which a signal would end without a word.
    local ours=()
    for pid in "${E2E_PIDS[@]}"; do
        e2e_is_child "$pid" && ours+=("$pid")
    done
    for pid in "${ours[@]}"; do
        kill "$pid" 2>/dev/null
    done
    # Bounded: a child that does not end on request is killed.
    for pid in "${ours[@]}"; do
        for _ in $(seq 30); do
            e2e_is_child "$pid" || break
            sleep 0.1
        done
        e2e_is_child "$pid" && kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    rm -rf "$E2E_WORK"
}

# Whether process $1 runs and is a child of this shell (one that has ended but is not yet reaped counts
# no more).
e2e_is_child() {
    local stat state ppid
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    # After the command's name, which may hold spaces: its state and its parent.
    read -r state ppid _ <<<"${stat##*) }"
    [ "$ppid" = "$$" ] && [ "$state" != Z ]
}

# Waits up to ten seconds for process $1, a child of this shell, to end; its exit status, or "timeout",
# in E2E_EXIT_STATUS.
e2e_wait_exit() {
    local i
    E2E_EXIT_STATUS=timeout
    for i in $(seq 100); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1"
            E2E_EXIT_STATUS=$?
            return
        fi
        sleep 0.1
    done
}

e2e_spawn() {
    "$@" &
    E2E_PIDS+=($!)
}

# An X server, and a tray docked at the top right.
e2e_start_display() {
    e2e_require_tools trayer
    e2e_start_x_server
    e2e_start_tray
}

# An X server with a screen of $1 (WIDTHxHEIGHT, 1280x800 unless given) on a display number that it picks
# itself (a number chosen here could be taken by another server before this one starts).
e2e_start_x_server() {
    e2e_require_tools Xvfb xdpyinfo xwininfo xdotool python3
    local number
    exec {displayfd}<> <(:)
    e2e_spawn Xvfb -displayfd "$displayfd" -screen 0 "${1:-1280x800}x24" -nolisten tcp
    read -r -t 10 number <&"$displayfd" || e2e_skip "Xvfb did not say which display it started"
    exec {displayfd}<&-
    export DISPLAY=":$number"
    # The test runner renders offscreen; this program is to show itself on the X server.
    export QT_QPA_PLATFORM=xcb
    e2e_wait_for 100 xdpyinfo || e2e_skip "Xvfb did not start on $DISPLAY"
}

# A tray docked at the right of the screen's edge $1 (top unless given), in the solid colour $2 (0x303030,
# dark, unless given); its process id in E2E_TRAY.
e2e_start_tray() {
    trayer --edge "${1:-top}" --align right --widthtype pixel --width 160 --heighttype pixel --height 28 \
        --SetDockType true --SetPartialStrut true --transparent true --alpha 0 --tint "${2:-0x303030}" &
    E2E_TRAY=$!
    E2E_PIDS+=("$E2E_TRAY")
    e2e_wait_for 100 e2e_tray_ready || e2e_skip "trayer did not start a system tray"
}

# Whether a tray owns the screen's system-tray selection, which is what programs look for.
e2e_tray_ready() {
    python3 - <<'PY'
import ctypes, ctypes.util, sys
x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x11.XGetSelectionOwner.restype = ctypes.c_ulong
x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit(1)
owner = x11.XGetSelectionOwner(display, x11.XInternAtom(display, b"_NET_SYSTEM_TRAY_S0", 0))
x11.XCloseDisplay(display)
sys.exit(0 if owner else 1)
PY
}

e2e_stop_tray() {
    e2e_is_child "$E2E_TRAY" && kill "$E2E_TRAY" 2>/dev/null
    wait "$E2E_TRAY" 2>/dev/null
}

# A private session bus whose address is exported, and gnome-keyring's Secret Service on it, unlocked.
e2e_start_session_bus() {
    e2e_require_tools dbus-daemon dbus-send gnome-keyring-daemon
    local address
    # A child of this shell, not a daemon of its own: only children are ended at the end (see e2e_cleanup).
    dbus-daemon --session --nofork --print-address=1 >"$E2E_WORK/bus.address" 2>/dev/null &
    E2E_PIDS+=($!)
    e2e_wait_for 100 test -s "$E2E_WORK/bus.address" || e2e_skip "dbus-daemon did not start a session bus"
    address=$(head -n 1 "$E2E_WORK/bus.address")
    export DBUS_SESSION_BUS_ADDRESS="$address"
    printf e2e | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
    E2E_PIDS+=($!)
    e2e_wait_for 100 sh -c 'dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q "boolean true"' ||
        e2e_skip "gnome-keyring-daemon did not start a Secret Service on the private bus"
}

# Stores a signed-in account session that runs out in a year, so that start-up needs no network.
e2e_store_session() {
    e2e_require_tools secret-tool
    local issued expires
    issued=$(date -u +%Y-%m-%dT%H:%M:%S.000Z)
    expires=$(date -u -d '+1 year' +%Y-%m-%dT%H:%M:%S.000Z)
    printf '{"qas":"qas_e2e","refresh_token":"rt_e2e","expires_at":"%s","account":{"id":"qa_0190f5f4-5b1a-7c3e-8d2f-4a6b8c0d1e2f","primary_email":"e2e@example.com","providers":["email"]},"app_slug":"mondrel","issued_at":"%s"}' \
        "$expires" "$issued" |
        secret-tool store --label="Mondrel session" xdg:schema app.mondrel.Mondrel.Secret \
            service app.mondrel.Mondrel account quintor_session ||
        e2e_fail "could not store the account session in the keyring"
}

# A signed-in user's session without a tray: a fresh home with the calendar tree, an X server, and the
# session bus whose keyring holds the account session.
e2e_start_signed_in_session() {
    e2e_make_home
    e2e_start_x_server
    e2e_start_session_bus
    e2e_write_calendar
    e2e_store_session
}

e2e_clear_session() {
    secret-tool clear xdg:schema app.mondrel.Mondrel.Secret service app.mondrel.Mondrel account quintor_session
}

# One calendar, "E2E", in a vivid green that the tests look for in screenshots, with a timed and an
# all-day event today.
E2E_CALENDAR_COLOR="#00C853"
e2e_write_calendar() {
    local dir="$XDG_DATA_HOME/mondrel/calendars/e2e"
    local today
    today=$(date +%Y%m%d)
    mkdir -p "$dir"
    printf '%s\n' "$E2E_CALENDAR_COLOR" >"$dir/color"
    printf 'E2E\n' >"$dir/displayname"
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//mondrel//e2e//EN\r\nBEGIN:VEVENT\r\nUID:e2e-standup\r\nDTSTAMP:%sT000000Z\r\nDTSTART:%sT100000\r\nDTEND:%sT103000\r\nSUMMARY:E2E Standup\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
        "$today" "$today" "$today" >"$dir/standup.ics"
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//mondrel//e2e//EN\r\nBEGIN:VEVENT\r\nUID:e2e-allday\r\nDTSTAMP:%sT000000Z\r\nDTSTART;VALUE=DATE:%s\r\nDTEND;VALUE=DATE:%s\r\nSUMMARY:E2E All Day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
        "$today" "$today" "$(date -d tomorrow +%Y%m%d)" >"$dir/allday.ics"
}

# The first visible window of process $1 whose size is $2 (WIDTHxHEIGHT; "300x" matches any height).
e2e_window_of() {
    local pid=$1 size=$2 id geometry
    for id in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
        geometry=$(xdotool getwindowgeometry "$id" | sed -n 's/^ *Geometry: //p')
        case "$geometry" in
        "$size"*) echo "$id"; return 0 ;;
        esac
    done
    return 1
}

# The tray icon of process $1: its small window that the tray embedded.
e2e_tray_icon() {
    local id geometry
    for id in $(xdotool search --pid "$1" 2>/dev/null); do
        geometry=$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/^ *Geometry: //p')
        [ -n "$geometry" ] && [ "${geometry%x*}" -le 48 ] && [ "${geometry#*x}" -le 48 ] && echo "$id" && return 0
    done
    return 1
}

# "X Y WIDTH HEIGHT" of window $1: its position on the screen and its size.
e2e_frame_of() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print x, y, w, h}'
}

# Saves window $1 as the PNG file $2. Without a window import waits for a click on one, for ever: a window
# that closed before its screenshot (a popover, on a loaded machine) hung the test until CTest ended it,
# without a word.
e2e_screenshot() {
    [ -n "$1" ] || e2e_fail "no window to take a screenshot of for $(basename "$2"): it closed"
    e2e_bounded 20 import -window "$1" "$2" 2>/dev/null || e2e_fail "could not take a screenshot of window $1"
}

# How many pixels of the PNG file $1 have the colour $2 (#RRGGBB).
e2e_count_color() {
    convert "$1" -alpha off -fill black +opaque "$2" -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:
}

# A click at $1 $2 inside the window that the script's own popover() finds, then time for it to redraw.
e2e_click_popover() {
    local window
    window=$(popover) || e2e_fail "the popover closed before a click into it"
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 0.5
}
