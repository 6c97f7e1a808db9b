#!/usr/bin/env bash
# The popover opened from the tray as a person uses it. With the panel at each edge of the screen it lies on
# the screen beside the panel without covering it, and its month grid holds still under the pointer while
# the user clicks through days with 0, 1, 5 and 10 events and jumps to a date and back: a grid that moved
# with the length of the day list put the next click on the wrong day. On small and scaled screens (800×600,
# 1366×768 at scale 1.5, 1280×800 at scale 2) a busy day's list gives up height, so that the popover keeps
# off the panel and its icon. Screenshots go to the output folder.
set -u
binary=$1 shots=$2
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools trayer import convert secret-tool
mkdir -p "$shots"

e2e_make_home
e2e_start_session_bus
e2e_write_calendar
e2e_store_session
# Weeks start on Monday, so that a day's cell follows from its date.
mkdir -p "$XDG_CONFIG_HOME/mondrel"
printf '{"mondrel.startOnMonday": true}\n' >"$XDG_CONFIG_HOME/mondrel/defaults.json"

# $2 events on the day $1 (YYYYMMDD) in the E2E calendar, half an hour each from 07:00.
add_events() {
    local day=$1 count=$2 i
    for i in $(seq "$count"); do
        printf 'BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//mondrel//e2e//EN\r\nBEGIN:VEVENT\r\nUID:e2e-%s-%s\r\nDTSTAMP:%sT000000Z\r\nDTSTART:%sT%02d%s00\r\nDTEND:%sT%02d%s00\r\nSUMMARY:E2E Event %s\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n' \
            "$day" "$i" "$day" "$day" $((7 + i / 2)) "$([ $((i % 2)) = 0 ] && echo 00 || echo 30)" \
            "$day" $((7 + i / 2)) "$([ $((i % 2)) = 0 ] && echo 15 || echo 45)" "$i" \
            >"$XDG_DATA_HOME/mondrel/calendars/e2e/busy-$day-$i.ics"
    done
}
# Today is the busy day: ten events with the two of every desktop test.
add_events "$(date +%Y%m%d)" 8
# The other days of today's column, one a row: today's row follows from the weekday of the 1st.
first_weekday=$(($(date -d "$(date +%Y-%m-01)" +%u) - 1))
today_row=$((($(date +%-d) - 1 + first_weekday) / 7))
rows=()
for row in 0 1 2 3 4 5; do
    [ "$row" != "$today_row" ] && rows+=("$row")
done
day_of_row() { date -d "$((7 * ($1 - today_row))) days" +%Y%m%d; }
# Rows clicked in turn, with 0, 1 and 5 events; then today's, with 10.
empty_row=${rows[0]} one_row=${rows[1]} five_row=${rows[2]}
add_events "$(day_of_row "$one_row")" 1
add_events "$(day_of_row "$five_row")" 5

panel_window() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}'; }
tray_icon() { e2e_tray_icon "$program"; }
popover() { e2e_window_of "$program" "${popover_width}x"; }
popover_closed() { ! popover; }
read_screen() {
    read -r screen_width screen_height < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
}

# Whether the popover lies on the screen beside the panel at edge $1, covering neither the panel nor the
# icon; "near" it: at most the day list's 170 points (and the step's scale) away.
placed_well() {
    local edge=$1 px py pw ph
    read -r px py pw ph < <(e2e_frame_of "$(panel_window)")
    read -r x y w h < <(e2e_frame_of "$(popover)")
    placement="popover ${w}x${h}+${x}+${y}, $edge panel ${pw}x${ph}+${px}+${py}, screen ${screen_width}x${screen_height}"
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$screen_width" ] && [ $((y + h)) -le "$screen_height" ] ||
        return 1
    local near=$((180 * scale_percent / 100))
    case "$edge" in
    top) [ "$y" -eq $((py + ph)) ] ;;
    bottom) [ $((y + h)) -le "$py" ] && [ $((py - y - h)) -le "$near" ] ;;
    left) [ "$x" -eq $((px + pw)) ] ;;
    right) [ $((x + w)) -eq "$px" ] ;;
    esac
}

start_program() {
    QT_SCALE_FACTOR=$1 "$binary" >>"$E2E_WORK/program.log" 2>&1 &
    program=$!
    E2E_PIDS+=("$program")
}

# Kills the program, the tray and the X server of one screen.
stop_screen() {
    local pid
    for pid in "$program" "$E2E_TRAY" "$xserver"; do
        e2e_is_child "$pid" && kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
}

open_popover() {
    e2e_wait_for 150 tray_icon || e2e_fail "no icon in the tray at the $1"
    # Let the panel lay out its icons before the click, which opens the popover beside the icon.
    sleep 0.5
    xdotool mousemove --window "$(tray_icon)" 4 4 click 1
    e2e_wait_for 50 popover || e2e_fail "a click on the icon at the $1 opened no popover"
    sleep 1 # what the popover shows settles
}

# After each step the popover is where it opened, and still beside the panel.
held_still() {
    placed_well "$edge" || e2e_fail "after $1: $placement"
    [ "$x $y" = "$origin" ] || e2e_fail "after $1 the month grid moved: popover at +$x+$y, opened at +${origin/ /+}"
}

e2e_log "$E2E_WORK/program.log"
accent="#FF4F5E"
accent_box() { convert "$1" -alpha off -fill black +opaque "$accent" -fill white -opaque "$accent" -trim -format '%w %h %X %Y' info:; }

e2e_step "a 1280x800 screen, the panel at each edge"
e2e_start_x_server 1280x800
xserver=${E2E_PIDS[-1]}
read_screen
popover_width=300 scale_percent=100
first=1
for edge in bottom left top right; do
    e2e_step "the panel at the $edge: opening the popover"
    e2e_start_tray "$edge"
    if [ "$first" = 1 ]; then
        start_program 1
        first=0
    fi
    open_popover "$edge"
    placed_well "$edge" || e2e_fail "once open: $placement"
    origin="$x $y"
    echo "$edge: $placement"
    e2e_screenshot "$(popover)" "$E2E_WORK/open.png"
    read -r today_w today_h today_x today_y <<<"$(accent_box "$E2E_WORK/open.png")"
    [ "${today_w:-0}" -ge 20 ] && [ "$today_w" -le 40 ] || e2e_fail "no circle marks today in the popover"
    today_cx=$((today_x + today_w / 2)) today_cy=$((today_y + today_h / 2))
    for step in "0 $empty_row" "1 $one_row" "5 $five_row" "10 $today_row"; do
        read -r count row <<<"$step"
        e2e_step "the panel at the $edge: a click on a day with $count events"
        e2e_click_popover "$today_cx" $((today_cy + 36 * (row - today_row)))
        held_still "a click on a day with $count events"
        if [ "$edge" = bottom ] && [ "$count" = 0 ]; then
            e2e_screenshot "$(popover)" "$shots/popover-bottom-panel-empty-day.png"
        fi
    done
    e2e_step "the panel at the $edge: a jump to another date and back"
    for text in 2030-01-15 today; do
        e2e_click_popover 150 $((h - 24))
        xdotool key ctrl+a type "$text"
        xdotool key Return
        sleep 0.5
        held_still "a jump to \"$text\""
    done
    xdotool key Escape
    e2e_wait_for 30 popover_closed || e2e_fail "the popover did not close"
    e2e_stop_tray
done
stop_screen

# A busy day on small and scaled screens, the panel at the bottom.
for screen in 800x600:1 1366x768:1.5 1280x800:2; do
    size=${screen%%:*} scale=${screen#*:}
    e2e_step "a $size screen at scale $scale on a busy day"
    e2e_start_x_server "$size"
    xserver=${E2E_PIDS[-1]}
    read_screen
    scale_percent=$(awk -v s="$scale" 'BEGIN {print int(s * 100)}')
    popover_width=$((300 * scale_percent / 100))
    edge=bottom
    e2e_start_tray bottom
    start_program "$scale"
    open_popover "bottom of a $size screen at scale $scale"
    placed_well bottom || e2e_fail "on a $size screen at scale $scale: $placement"
    echo "$size at scale $scale: $placement"
    e2e_screenshot "$(popover)" "$shots/popover-$size-scale$scale-busy-day.png"
    xdotool key Escape
    stop_screen
done
echo "popover-placement: ok; screenshots in $shots"
