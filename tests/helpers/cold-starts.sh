#!/usr/bin/env bash
# Starts the local calendars cold COUNT times, each in a fresh process, on one tree of many small zoned
# files; with --one-cpu bound to a single CPU. Fails at the first start that crashes, hangs (the CTest
# timeout) or misses events.
#   cold-starts.sh <cold_start_helper> <count> [--one-cpu]
set -euo pipefail
helper="$1"
count="$2"
prefix=()
if [ "${3:-}" = --one-cpu ]; then
  prefix=(taskset -c 0)
fi
tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
"$helper" write "$tree/calendars"
for ((i = 1; i <= count; i++)); do
  if ! output="$("${prefix[@]}" "$helper" "$tree/calendars" 2>&1)"; then
    echo "cold start $i of $count failed:"
    echo "$output" | tail -40
    exit 1
  fi
done
echo "$count cold starts: $output"
