#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine and builds the program folder build/app/ with
# the tests and benchmarks; with --program, only the program folder.
#   setup.sh [--program]
set -euo pipefail
cd "$(dirname "$0")/.."
targets=()
if [ "${1:-}" = "--program" ]; then
    targets=(--target orvalent orv_help_file orv_app_database)
fi

packages=(g++ cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev qt6-pdf-dev libchm-dev fp-utils libcairo2-dev python3-cairo
          libsqlite3-dev sqlite3
          mdbtools-dev mdbtools
          qt6-translations-l10n fonts-noto-cjk xvfb xauth
          fcitx5-frontend-qt6
          desktop-file-utils dbus-daemon at-spi2-core python3-pyatspi
          openbox xdotool x11-utils x11-xserver-utils xclip imagemagick python3-pytest python3-pytest-timeout
          clang clang-format libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 "${targets[@]}"
