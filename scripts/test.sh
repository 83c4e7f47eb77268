#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (offscreen; no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
ctest --output-on-failure -j2 --timeout 300
