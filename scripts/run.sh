#!/usr/bin/env bash
# Installs what is missing, builds Murmelo and starts it. Without a display it runs offscreen
# and says so; extra arguments go to murmelo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/src/app/murmelo "$@"
