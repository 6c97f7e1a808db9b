#!/usr/bin/env bash
# Idle resident memory of the running program: signed in, docked in a tray, today's calendar read, the
# popover never opened. The baseline, measured in the same run, is the peak resident memory of
# `mondrel --selftest`: a Qt program of the same build that builds no service. Target: idle under 60 MB.
#
#   bench/idle-memory.sh [path/to/mondrel]   (default: build/release/mondrel, built by scripts/run)
set -u
cd "$(dirname "$0")/.."
binary=${1:-build/release/mondrel}
[ -x "$binary" ] || { echo "no program at $binary: build it first (scripts/run builds build/release)"; exit 1; }
binary=$(realpath "$binary")
. tests/e2e/desktop-session.sh
e2e_require_tools python3

e2e_make_home
e2e_start_display
e2e_start_session_bus
e2e_write_calendar
e2e_store_session

baseline_kb=$(python3 -c '
import resource, subprocess, sys
subprocess.run([sys.argv[1], "--selftest"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$binary") || e2e_fail "--selftest failed"

"$binary" >"$E2E_WORK/program.log" 2>&1 &
pid=$!
E2E_PIDS+=("$pid")
docked() { [ -n "$(xdotool search --pid "$pid" 2>/dev/null)" ]; }
e2e_wait_for 150 docked || { cat "$E2E_WORK/program.log"; e2e_fail "the program showed nothing"; }
# Let start-up work (session restore, the calendar tree read on its worker) finish and settle.
sleep 5
kill -0 "$pid" 2>/dev/null || e2e_fail "the program ended"
rss_kb=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
pss_kb=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null)

mb() { awk -v kb="$1" 'BEGIN { printf "%.1f", kb / 1024 }'; }
echo "idle resident memory: $(mb "$rss_kb") MB (proportional: $(mb "${pss_kb:-0}") MB)"
echo "baseline (--selftest peak): $(mb "$baseline_kb") MB"
echo "above the baseline: $(mb $((rss_kb - baseline_kb))) MB"
if [ "$rss_kb" -lt $((60 * 1024)) ]; then
    echo "target under 60 MB: met"
else
    echo "target under 60 MB: MISSED"
    exit 1
fi
