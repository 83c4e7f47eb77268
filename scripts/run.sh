#!/usr/bin/env bash
# Installs what is missing, builds, installs the program into ~/.local (no root needed) and
# starts it. Its memo book lives in the user's data folder (~/.local/share/orvalent unless
# XDG_DATA_HOME says otherwise); memos kept in the build folder's memo book are brought there once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --program
prefix="${HOME:?}/.local"
cmake --install build --prefix "$prefix" > /dev/null
case "${XDG_DATA_HOME:-}" in
    /*) data="$XDG_DATA_HOME/orvalent" ;;
    *) data="$HOME/.local/share/orvalent" ;;
esac
bash scripts/adopt-memo-book.sh build/app/IDATA2.mdb "$data"
# Desktop menus find the program by its Japanese name too; refreshing their caches is optional.
command -v update-desktop-database > /dev/null && update-desktop-database -q "$prefix/share/applications" || true
command -v gtk-update-icon-cache > /dev/null && gtk-update-icon-cache -q -t "$prefix/share/icons/hicolor" || true
exec "$prefix/bin/orvalent"
