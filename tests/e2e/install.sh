#!/usr/bin/env bash
# `cmake --install` puts the program, its desktop entry (the handler of the mondrel: URL scheme) and its icon
# under the chosen prefix.
set -u
build=$1
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools desktop-file-validate
e2e_make_home
prefix="$E2E_WORK/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || e2e_fail "cmake --install failed"
[ -x "$prefix/bin/mondrel" ] || e2e_fail "no bin/mondrel"
entry="$prefix/share/applications/app.mondrel.Mondrel.desktop"
desktop-file-validate "$entry" || e2e_fail "the desktop entry is not valid"
grep -qx 'MimeType=x-scheme-handler/mondrel;' "$entry" || e2e_fail "the desktop entry claims no mondrel: URLs"
grep -qx 'Exec=mondrel %u' "$entry" || e2e_fail "the desktop entry does not hand the URL to the program"
[ -f "$prefix/share/icons/hicolor/scalable/apps/app.mondrel.Mondrel.svg" ] || e2e_fail "no icon"
echo "install: ok"
