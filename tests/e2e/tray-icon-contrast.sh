#!/usr/bin/env bash
# The tray icon on a dark and on a light panel: its strokes stand out from the panel by a contrast ratio of
# at least 3:1 on both, measured on a screenshot of the icon. The screenshots go to the output folder.
set -u
binary=$1 shots=$2
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools import convert
mkdir -p "$shots"

e2e_start_signed_in_session
e2e_log "$E2E_WORK/program.log"

# Prints "panel #RRGGBB, strokes #RRGGBB: contrast N:1" for the screenshot $1 of the icon: the panel is
# its most frequent colour, the strokes the most frequent of the others (edges blend into many colours,
# each of few pixels). Fails when the ratio is under 3.
measure() {
    convert "$1" -alpha off -format %c histogram:info:- | python3 -c '
import re, sys
counts = []
for line in sys.stdin:
    match = re.match(r"\s*(\d+):.*#([0-9A-Fa-f]{6})", line)
    if match:
        counts.append((int(match.group(1)), match.group(2).upper()))
counts.sort(reverse=True)
if len(counts) < 2:
    print("one colour only: no icon")
    sys.exit(1)
def luminance(hex):
    def linear(c):
        c = c / 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (int(hex[i:i + 2], 16) for i in (0, 2, 4))
    return 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b)
panel, strokes = counts[0][1], counts[1][1]
a, b = luminance(panel), luminance(strokes)
ratio = (max(a, b) + 0.05) / (min(a, b) + 0.05)
print("panel #%s, strokes #%s: contrast %.1f:1" % (panel, strokes, ratio))
sys.exit(0 if ratio >= 3 else 1)'
}

# Screenshot of the icon as the panel shows it, to the file $1.
shoot_icon() {
    local x y w h
    read -r x y w h < <(e2e_frame_of "$(e2e_tray_icon "$program")")
    e2e_bounded 20 import -window root -crop "${w}x${h}+${x}+${y}" +repage "$1" 2>/dev/null
}
legible() { shoot_icon "$1" && measure "$1" >/dev/null; }

program=
for shade in dark:0x303030 light:0xf0f0f0; do
    name=${shade%%:*}
    e2e_step "a $name panel"
    e2e_start_tray top "${shade#*:}"
    if [ -z "$program" ]; then
        "$binary" >"$E2E_WORK/program.log" 2>&1 &
        program=$!
        E2E_PIDS+=("$program")
    fi
    e2e_wait_for 150 e2e_tray_icon "$program" || e2e_fail "no icon in the $name tray"
    shot="$shots/tray-icon-$name.png"
    # The icon takes its colours once it sees the panel it docked in.
    e2e_wait_for 50 legible "$shot"
    result=$(measure "$shot") || e2e_fail "the icon is not legible on a $name panel: $result"
    echo "$name panel: $result"
    e2e_stop_tray
done
echo "tray-icon-contrast: ok; screenshots in $shots"
