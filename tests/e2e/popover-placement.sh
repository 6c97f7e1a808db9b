#!/usr/bin/env bash
# The popover opened from the tray on a panel at each edge of the screen, first at the bottom, where it used
# to open with the height it had before its content appeared and end below the screen: from its first
# opening on it lies wholly on the screen, touching the panel without covering it.
set -u
binary=$1
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools trayer

e2e_start_signed_in_session
read -r screen_width screen_height < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')

# The tray's panel window.
panel_window() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}'; }

tray_icon() { e2e_tray_icon "$program"; }
popover() { e2e_window_of "$program" 300x; }
popover_closed() { ! popover; }

# Whether the popover lies on the screen and touches the panel at edge $1 from the screen's side.
placed_well() {
    local edge=$1 px py pw ph x y w h
    read -r px py pw ph < <(e2e_frame_of "$(panel_window)")
    read -r x y w h < <(e2e_frame_of "$(popover)")
    placement="popover ${w}x${h}+${x}+${y}, $edge panel ${pw}x${ph}+${px}+${py}, screen ${screen_width}x${screen_height}"
    [ "$x" -ge 0 ] && [ "$y" -ge 0 ] && [ $((x + w)) -le "$screen_width" ] && [ $((y + h)) -le "$screen_height" ] ||
        return 1
    case "$edge" in
    top) [ "$y" -eq $((py + ph)) ] ;;
    bottom) [ $((y + h)) -eq "$py" ] ;;
    left) [ "$x" -eq $((px + pw)) ] ;;
    right) [ $((x + w)) -eq "$px" ] ;;
    esac
}

first=1
for edge in bottom top left right; do
    e2e_start_tray "$edge"
    if [ "$first" = 1 ]; then
        "$binary" >"$E2E_WORK/program.log" 2>&1 &
        program=$!
        E2E_PIDS+=("$program")
        first=0
    fi
    e2e_wait_for 150 tray_icon || { cat "$E2E_WORK/program.log"; e2e_fail "no icon in the tray at the $edge"; }
    # Let the panel lay out its icons before the click, which opens the popover beside the icon.
    sleep 0.5
    xdotool mousemove --window "$(tray_icon)" 4 4 click 1
    e2e_wait_for 50 popover || e2e_fail "a click on the icon at the $edge opened no popover"
    placed_well "$edge" || e2e_fail "as it opened: $placement"
    sleep 1 # what the popover shows settles
    placed_well "$edge" || e2e_fail "once settled: $placement"
    echo "$edge: $placement"
    xdotool key Escape
    e2e_wait_for 30 popover_closed || e2e_fail "the popover did not close"
    e2e_stop_tray
done
echo "popover-placement: ok"
