#!/usr/bin/env bash
# `cmake --install` puts the program, its desktop entry (the handler of the mondrel: URL scheme) and its icon
# under the chosen prefix, and makes it the handler that the desktop finds: a link opened with `gio open`
# (GNOME) and with `xdg-open` (everywhere else) starts the installed program, which hands it to the running
# instance. That instance is played by a listener that speaks the hand-over (its own side is tested with the
# program's single-instance tests), so no display or journal is needed to see what arrived.
set -u
build=$1
. "$(dirname "$0")/desktop-session.sh"
e2e_require_tools desktop-file-validate update-desktop-database gio xdg-open python3
e2e_make_home
prefix="$E2E_WORK/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || e2e_fail "cmake --install failed"
[ -x "$prefix/bin/mondrel" ] || e2e_fail "no bin/mondrel"
entry="$prefix/share/applications/app.mondrel.Mondrel.desktop"
desktop-file-validate "$entry" || e2e_fail "the desktop entry is not valid"
grep -qx 'MimeType=x-scheme-handler/mondrel;' "$entry" || e2e_fail "the desktop entry claims no mondrel: URLs"
grep -qx "Exec=$prefix/bin/mondrel %u" "$entry" ||
    e2e_fail "the desktop entry does not start the installed program with the URL: $(grep ^Exec= "$entry")"
grep -qx 'x-scheme-handler/mondrel=app.mondrel.Mondrel.desktop;' "$prefix/share/applications/mimeinfo.cache" ||
    e2e_fail "the install refreshed no MIME cache that names the handler"
[ -f "$prefix/share/icons/hicolor/scalable/apps/app.mondrel.Mondrel.svg" ] || e2e_fail "no icon"

# A desktop session that knows the prefix and nothing else: no desktop environment of its own, so xdg-open
# takes its generic path, which asks for a display; the program itself renders offscreen.
export XDG_DATA_DIRS="$prefix/share:/usr/share"
export DISPLAY=:e2e-none QT_QPA_PLATFORM=offscreen
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID BROWSER
received="$E2E_WORK/received"
python3 - "$XDG_RUNTIME_DIR/app.mondrel.Mondrel.$(id -u)" "$received" <<'PY' &
import socket, struct, sys
path, received = sys.argv[1], sys.argv[2]
server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
server.bind(path)
server.listen(4)
while True:
    connection, _ = server.accept()
    data = b""
    while len(data) < 4 or len(data) < 4 + struct.unpack(">I", data[:4])[0]:
        chunk = connection.recv(65536)
        if not chunk:
            break
        data += chunk
    if len(data) >= 4 and len(data) == 4 + struct.unpack(">I", data[:4])[0]:
        with open(received, "ab") as f:
            f.write(data[4:] + b"\n")
        connection.sendall(b"ok")
    connection.close()
PY
E2E_PIDS+=($!)
e2e_wait_for 50 test -S "$XDG_RUNTIME_DIR/app.mondrel.Mondrel.$(id -u)" || e2e_fail "the stand-in did not listen"

arrived() { grep -qx "$1" "$received" 2>/dev/null; }
gio open 'mondrel://auth/callback?code=gio&state=1' || e2e_fail "gio open refused the link"
e2e_wait_for 300 arrived 'mondrel://auth/callback?code=gio&state=1' ||
    e2e_fail "the link opened with gio open did not reach the running program: $(cat "$received" 2>/dev/null)"
xdg-open 'mondrel://auth/callback?code=xdg&state=2' || e2e_fail "xdg-open refused the link"
e2e_wait_for 300 arrived 'mondrel://auth/callback?code=xdg&state=2' ||
    e2e_fail "the link opened with xdg-open did not reach the running program: $(cat "$received" 2>/dev/null)"
echo "install: ok"
