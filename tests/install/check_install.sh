#!/usr/bin/env bash
# The installation holds what a desktop needs, and the installed program keeps its memo book in
# the user's data folder, never in the program's folder.
#   check_install.sh <build folder>
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix="$work/インストール 先"
cmake --install "$build" --prefix "$prefix" > /dev/null
for f in bin/orvalent "share/orvalent/ｵﾙﾊﾞﾚﾝﾄ.HLP" share/applications/orvalent.desktop \
         share/icons/hicolor/scalable/apps/orvalent.svg; do
    [ -f "$prefix/$f" ] || fail "missing $f"
done
for size in 16 22 24 32 48 64 128 256; do
    png="$prefix/share/icons/hicolor/${size}x${size}/apps/orvalent.png"
    [ -f "$png" ] || fail "missing the ${size} px icon"
    [ "$(head -c 8 "$png" | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a ] || fail "the ${size} px icon is no PNG"
done
desktop-file-validate "$prefix/share/applications/orvalent.desktop" || fail "the desktop entry does not validate"
grep -qx 'Name\[ja\]=オルバレント' "$prefix/share/applications/orvalent.desktop" || fail "no Japanese name"
# The menu starts the program by its full path, quoted for its blank: the folder it was installed
# to need not be on PATH.
grep -qxF "Exec=\"$prefix/bin/orvalent\"" "$prefix/share/applications/orvalent.desktop" ||
    fail "the desktop entry does not name the installed program: $(grep ^Exec= "$prefix/share/applications/orvalent.desktop")"

# Started from another folder, with a home folder of its own: the first start makes the memo
# book and its backup in the data folder, and the main window's load adds the application table.
# The backup takes its place once its copy has been checked, beside the main window. The program
# runs until it is closed, so it is stopped then.
home="$work/ホーム"
data="$home/.local/share/orvalent"
mkdir -p "$home" "$work/elsewhere"
(cd "$work/elsewhere" && HOME="$home" XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen \
    exec "$prefix/bin/orvalent" > /dev/null 2>&1) &
program=$!
for _ in $(seq 100); do
    [ -f "$data/IDATA2.mdb" ] && [ -f "$data/Back Up/IDATA2.mdb" ] && [ "$(sqlite3 "$data/IDATA2.mdb" "SELECT count(*) FROM sqlite_master WHERE name = 'パス';" 2>/dev/null)" = 1 ] && break
    kill -0 $program 2> /dev/null || break
    sleep 0.1
done
kill $program 2> /dev/null || fail "the installed program did not start"
wait $program 2> /dev/null || true
[ -f "$data/IDATA2.mdb" ] || fail "no memo book in the data folder"
[ -f "$data/Back Up/IDATA2.mdb" ] || fail "no backup in the data folder"
[ "$(sqlite3 "$data/IDATA2.mdb" 'SELECT count(*) FROM メモ帳;')" = 0 ] || fail "the new memo book is not empty"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "something was made in the working folder"
[ ! -e "$prefix/bin/IDATA2.mdb" ] || fail "a memo book was made beside the installed program"
echo "installation checked"
