#!/usr/bin/env bash
# What every end-to-end test relies on when it ends: it ends only its own processes, never one whose number
# it once held (numbers are reused: a test beside it may have one now, and would end without a word), and a
# failure always says why, at which step, with the logs of what the test started; a screenshot of a window
# that has closed fails at once instead of waiting for a click on some window for ever.
set -u
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/mondrel-e2e-cleanup.XXXXXX) || exit 1
fail() { echo "FAILED: $*"; [ -n "${stranger:-}" ] && kill "$stranger" 2>/dev/null; rm -rf "$work"; exit 1; }

# A process that is not a child of the test, under a number the test holds as if it had once been its own.
sleep 60 &
stranger=$!
bash -c '
    . "$1/desktop-session.sh"
    e2e_make_home
    e2e_log "$E2E_WORK/program.log"
    echo "the program said this" >"$E2E_WORK/program.log"
    sleep 60 &
    E2E_PIDS+=($! "$2")
    own=$!
    echo "$own" >"$3/own"
    e2e_step "a step that fails"
    e2e_fail "on purpose"
' test "$here" "$stranger" "$work" >"$work/out" 2>&1
status=$?
own=$(cat "$work/own")
sleep 0.2
[ "$status" = 1 ] || fail "a failing test ended with status $status"
kill -0 "$stranger" 2>/dev/null || fail "the test's clean-up ended a process that was not its own"
kill -0 "$own" 2>/dev/null && fail "the test's clean-up left its own process running"
grep -qx 'FAILED: on purpose (step: a step that fails)' "$work/out" || { cat "$work/out"; fail "no reason and step"; }
grep -qx 'the program said this' "$work/out" || { cat "$work/out"; fail "no log of the program"; }

# An end that no step reported still says so, with the logs.
bash -c '
    . "$1/desktop-session.sh"
    e2e_make_home
    e2e_step "a step that ends the test"
    false
    exit 3
' test "$here" >"$work/out" 2>&1
grep -qx 'FAILED: ended with status 3 (step: a step that ends the test)' "$work/out" ||
    { cat "$work/out"; fail "an unreported end said nothing"; }

# A window that closed before its screenshot: no id to take it of.
timeout 60 bash -c '
    . "$1/desktop-session.sh"
    e2e_make_home
    e2e_start_x_server
    e2e_step "a screenshot of a closed popover"
    e2e_screenshot "" "$E2E_WORK/popover.png"
    echo "no failure"
' test "$here" >"$work/out" 2>&1
status=$?
[ "$status" != 124 ] || fail "a screenshot of a closed window hung the test"
grep -q '^skipped: ' "$work/out" && { cat "$work/out"; kill "$stranger"; rm -rf "$work"; exit 77; }
grep -q '^FAILED: no window to take a screenshot of for popover.png' "$work/out" ||
    { cat "$work/out"; fail "a screenshot of a closed window did not say so"; }

kill "$stranger" 2>/dev/null
rm -rf "$work"
echo "session-cleanup: ok"
