#!/usr/bin/env bash
# Brings the memos of the build folder's memo book into the user's data folder, once: only when
# the memo book holds memos and the data folder has no memo book yet. Never replaces a file.
#   adopt-memo-book.sh <memo book> <data folder>
set -euo pipefail
from=$1
data=$2
[ -f "$from" ] || exit 0
[ -e "$data/IDATA2.mdb" ] && exit 0
memos=$(sqlite3 -readonly "$from" 'SELECT count(*) FROM メモ帳;' 2>/dev/null || echo 0)
[ "${memos:-0}" -gt 0 ] 2>/dev/null || exit 0
mkdir -p "$data"
cp -n "$from" "$data/IDATA2.mdb"
echo "Copied $memos memos from $from to $data/IDATA2.mdb"
