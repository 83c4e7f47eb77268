#!/usr/bin/env bash
# The memos of the build folder's memo book come into the data folder once, and never over a
# memo book that is there.
#   check_adopt.sh <adopt script> <memo book maker>
set -euo pipefail
adopt=$1
make=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$make" "$work/empty.mdb" > /dev/null
"$make" "$work/memos.mdb" > /dev/null
sqlite3 "$work/memos.mdb" "INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('印刷');"
data="$work/データ 置き場/orvalent"

bash "$adopt" "$work/missing.mdb" "$data"
bash "$adopt" "$work/empty.mdb" "$data"
[ ! -e "$data/IDATA2.mdb" ] || fail "a memo book without memos was copied"
bash "$adopt" "$work/memos.mdb" "$data" > /dev/null
[ "$(sqlite3 "$data/IDATA2.mdb" 'SELECT ｷｰﾜｰﾄﾞ FROM メモ帳;')" = 印刷 ] || fail "the memos did not come across"

sqlite3 "$data/IDATA2.mdb" "UPDATE メモ帳 SET ｷｰﾜｰﾄﾞ = '直した';"
sqlite3 "$work/memos.mdb" "INSERT INTO メモ帳 (ｷｰﾜｰﾄﾞ) VALUES ('後から');"
bash "$adopt" "$work/memos.mdb" "$data"
[ "$(sqlite3 "$data/IDATA2.mdb" 'SELECT group_concat(ｷｰﾜｰﾄﾞ) FROM メモ帳;')" = 直した ] || fail "the data folder's memo book was replaced"
echo "copy-once checked"
