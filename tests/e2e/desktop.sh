#!/usr/bin/env bash
# The built program on a desktop of its own, started as a user would start it: signed in, it docks in the
# tray, stays a single instance (a second start exits 0 and the first reopens its popover), and the popover
# opened from the tray shows today's events, also after a click on another day and back; the tray menu opens
# the settings window; signed out, it opens the sign-in gate. Screenshots of the popover, the settings
# window and the gate go to the output folder.
set -u
binary=$1 shots=$2
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools import convert secret-tool

mkdir -p "$shots"
e2e_make_home
e2e_start_display
e2e_start_session_bus
e2e_write_calendar
e2e_store_session

# An event on the days next to today and a week on, in the same calendar, so that a click on a neighbouring day has
# rows of that calendar's colour to draw.
write_neighbour_event() {
    local day
    day=$(date -d "$1" +%Y%m%d)
    printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//mondrel//e2e//EN\r\nBEGIN:VEVENT\r\nUID:e2e-%s\r\nDTSTAMP:%sT000000Z\r\nDTSTART:%sT090000\r\nDTEND:%sT093000\r\nSUMMARY:E2E Neighbour\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
        "$day" "$day" "$day" "$day" >"$XDG_DATA_HOME/mondrel/calendars/e2e/neighbour-$day.ics"
}
write_neighbour_event yesterday
write_neighbour_event tomorrow
write_neighbour_event "7 days"

e2e_step "the program starts signed in"
e2e_log "$E2E_WORK/first.log" "$E2E_WORK/second.log" "$E2E_WORK/gate.log"
"$binary" >"$E2E_WORK/first.log" 2>&1 &
first=$!
E2E_PIDS+=("$first")

# The tray icon: the program's small window that trayer embedded.
tray_icon() { e2e_tray_icon "$first"; }
e2e_wait_for 150 tray_icon || {
    for id in $(xdotool search --pid "$first"); do xdotool getwindowname "$id"; xdotool getwindowgeometry "$id"; done
    e2e_fail "the program put no icon into the tray"
}
icon=$(tray_icon)

# Before the popover has ever opened, the tray menu's first item, "Settings…", opens the settings window:
# the tray label handed over the action that opens it. Asked again, it fronts the same window.
settings_from_menu() {
    xdotool mousemove --window "$icon" 4 4 click 3
    sleep 0.5
    xdotool key Down Return
}
e2e_step "the tray menu opens the settings window"
settings_from_menu
e2e_wait_for 50 e2e_window_of "$first" 400x520 || e2e_fail "the tray menu opened no 400×520 settings window"
settings=$(e2e_window_of "$first" 400x520)
sleep 0.5
e2e_screenshot "$settings" "$shots/settings.png"
settings_from_menu
sleep 1
[ "$(e2e_window_of "$first" 400x520)" = "$settings" ] || e2e_fail "a second request made another settings window"

popover() { e2e_window_of "$first" 300x; }
popover_closed() { ! popover; }

# The tray path: a click on the icon opens the popover under it.
e2e_step "a click on the icon opens the popover"
xdotool mousemove --window "$icon" 4 4 click 1
e2e_wait_for 50 popover || e2e_fail "a click on the tray icon opened no popover"
sleep 1 # the day list settles once the calendar tree is read
e2e_screenshot "$(popover)" "$shots/popover.png"
green=$(e2e_count_color "$shots/popover.png" "$E2E_CALENDAR_COLOR")
[ "${green:-0}" -ge 20 ] || e2e_fail "the popover shows none of today's events (no pixel of the calendar's colour)"

# Another day and back: the list draws each day's rows after every click, not only on the first render.
# Today's cell is the one filled circle of the accent colour; a neighbouring day of the same month lies one
# cell (36 pixels) over, or one row down.
accent="#FF4F5E"
accent_box() { convert "$1" -alpha off -fill black +opaque "$accent" -fill white -opaque "$accent" -trim -format '%w %h %X %Y' info:; }
read -r today_w today_h today_x today_y <<<"$(accent_box "$shots/popover.png")"
today_cx=$((today_x + today_w / 2)) today_cy=$((today_y + today_h / 2))
[ "$today_w" -ge 20 ] && [ "$today_w" -le 40 ] || e2e_fail "no circle marks today in the popover ($today_w×$today_h)"
same_month() { [ "$(date -d "$1" +%m)" = "$(date +%m)" ]; }
if [ $((today_cx + 36)) -lt 280 ] && same_month tomorrow; then
    neighbour="$((today_cx + 36)) $today_cy"
elif [ $((today_cx - 36)) -gt 20 ] && same_month yesterday; then
    neighbour="$((today_cx - 36)) $today_cy"
else
    neighbour="$today_cx $((today_cy + 36))"
fi
e2e_step "a click on another day and back"
e2e_click_popover $neighbour
e2e_screenshot "$(popover)" "$shots/popover-second-day.png"
read -r second_w _ <<<"$(accent_box "$shots/popover-second-day.png")"
[ "$second_w" -gt "$today_w" ] || e2e_fail "a click on the neighbouring day put no ring on it"
green=$(e2e_count_color "$shots/popover-second-day.png" "$E2E_CALENDAR_COLOR")
[ "${green:-0}" -ge 10 ] || e2e_fail "after a click on another day the popover draws none of its events"
e2e_click_popover "$today_cx" "$today_cy"
e2e_screenshot "$(popover)" "$shots/popover-back-to-today.png"
green=$(e2e_count_color "$shots/popover-back-to-today.png" "$E2E_CALENDAR_COLOR")
[ "${green:-0}" -ge 20 ] || e2e_fail "back on today the popover draws none of today's events"
xdotool key Escape
e2e_wait_for 30 popover_closed || xdotool mousemove --window "$icon" 4 4 click 1
e2e_wait_for 30 popover_closed || e2e_fail "the popover did not close"

# Single instance: the second start hands over and exits 0, and the first reopens its popover.
e2e_step "a second start hands over to the first"
timeout 20 "$binary" >"$E2E_WORK/second.log" 2>&1
status=$?
[ "$status" -eq 0 ] || e2e_fail "a second start exited with status $status"
kill -0 "$first" 2>/dev/null || e2e_fail "the first instance ended when the second started"
e2e_wait_for 50 popover || e2e_fail "the first instance did not reopen its popover for the second start"
xdotool key Escape
e2e_wait_for 30 popover_closed || xdotool mousemove --window "$icon" 4 4 click 1

# The tray menu's last item quits: the program ends cleanly, with status 0.
e2e_step "Quit from the tray menu"
xdotool mousemove --window "$icon" 4 4 click 3
sleep 0.5
xdotool key Up Return
e2e_wait_exit "$first"
quit_status=$E2E_EXIT_STATUS
[ "$quit_status" = 0 ] || e2e_fail "Quit from the tray menu ended with status $quit_status"

# Signed out: the same start opens the sign-in gate. This time the program starts before the desktop's tray,
# as it may at login, and its icon docks once the tray is there.
e2e_step "signed out, the program starts before the tray"
e2e_clear_session
e2e_stop_tray
"$binary" >"$E2E_WORK/gate.log" 2>&1 &
gated=$!
E2E_PIDS+=("$gated")
# 520 wide; its menu bar sits above the 640-pixel content.
e2e_wait_for 100 e2e_window_of "$gated" 520x || e2e_fail "no sign-in gate window"
sleep 0.5
e2e_screenshot "$(e2e_window_of "$gated" 520x)" "$shots/gate.png"
e2e_step "the tray comes after the program"
e2e_start_tray
first=$gated
e2e_wait_for 100 tray_icon || e2e_fail "the icon of a program started before the tray never docked"
echo "desktop: ok; screenshots in $shots"
