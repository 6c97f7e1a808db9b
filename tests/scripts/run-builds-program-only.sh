#!/usr/bin/env bash
# `scripts/run`, the command for people who only want to use the program, on a machine that has none of the
# packages: it asks for fewer than `scripts/test` does, none of the developer tools, and its build makes the
# program alone, no test, benchmark or fuzz target. Run on a copy of the scripts beside the real sources,
# with apt-get and the build's ninja standing in: nothing is installed and nothing is compiled.
set -u
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/mondrel-run-script.XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*"; exit 1; }
command -v ninja >/dev/null || { echo "skipped: ninja is not installed"; exit 77; }

repo="$work/repo"
mkdir -p "$repo" "$work/bin"
cp -r "$source_dir/scripts" "$repo/scripts"
for entry in CMakeLists.txt cmake src assets bench tests fuzz; do
    ln -s "$source_dir/$entry" "$repo/$entry"
done

# Nothing counts as installed; "installing" writes the packages asked for to a file.
cat >"$work/bin/dpkg-query" <<'SH'
#!/bin/sh
exit 1
SH
cat >"$work/bin/apt-get" <<SH
#!/bin/sh
[ "\$1" = install ] && printf '%s\n' "\$@" | grep -v '^-' | grep -vx install >"$work/installed"
exit 0
SH
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
# The release build says what it would compile and link without doing it; the configure step's own checks
# of the compiler build for real.
real_ninja=$(command -v ninja)
cat >"$work/bin/ninja" <<SH
#!/bin/sh
[ "\$(pwd -P)" = "$repo/build/release" ] && exec "$real_ninja" -n "\$@"
exec "$real_ninja" "\$@"
SH
chmod +x "$work/bin"/*
export PATH="$work/bin:$PATH"

installed_by() {
    rm -f "$work/installed"
    "$@" >"$work/log" 2>&1
    sort "$work/installed" 2>/dev/null
}
developer=$(installed_by "$repo/scripts/bootstrap")
[ -n "$developer" ] || { cat "$work/log"; fail "scripts/bootstrap installed nothing on an empty machine"; }

# The program is never built, so starting it fails: what matters is what came before.
"$repo/scripts/run" --selftest >"$work/run.log" 2>&1
user=$(sort "$work/installed" 2>/dev/null)
[ -n "$user" ] || { cat "$work/run.log"; fail "scripts/run installed nothing on an empty machine"; }
[ "$(wc -l <<<"$user")" -lt "$(wc -l <<<"$developer")" ] ||
    fail "scripts/run installs $(wc -l <<<"$user") packages, no fewer than scripts/test's $(wc -l <<<"$developer")"
extra=$(comm -23 <(echo "$user") <(echo "$developer"))
[ -z "$extra" ] || fail "scripts/run installs what scripts/test does not: $extra"
for tool in clang-tidy clang-format valgrind clang libgtest-dev libbenchmark-dev xvfb trayer; do
    grep -qx "$tool" <<<"$user" && fail "scripts/run installs the developer tool $tool"
done

grep -q 'mondrel$' "$work/run.log" || { cat "$work/run.log"; fail "scripts/run does not link the program"; }
built=$(grep -oE '(Linking|Building) CXX [a-z]+ [^ ]+' "$work/run.log")
stray=$(grep -E '(^| |/)(tests?|bench|fuzz)(_|/)' <<<"$built" | head -5)
[ -z "$stray" ] || fail "scripts/run builds more than the program: $stray"
echo "run-builds-program-only: ok ($(wc -l <<<"$user") packages against $(wc -l <<<"$developer"), $(wc -l <<<"$built") build steps)"
