#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program in its ready folder build/app/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
exec build/app/orvalent
