#!/usr/bin/env bash
# Quits the program 0.1 s into its first reading of a tree of 100,000 files: the process must end within a
# second of the quit, however much of the tree is left to read.
#   quit-during-read.sh <cold_start_helper>
set -euo pipefail
helper="$1"
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
"$helper" write "$tree/calendars" 100000
quit_at="$("$helper" quit "$tree/calendars")"
ended_at="$(date +%s%3N)"
took=$((ended_at - quit_at))
echo "the process ended $took ms after the quit"
[ "$took" -le 1000 ]
