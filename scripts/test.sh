#!/usr/bin/env bash
# Installs what is missing, builds Murmelo with its tests, and runs the whole suite.
# Extra arguments go to ctest (for example: -L audio, -LE slow).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Paths relative to the checkout let a fresh clone reuse what an earlier build compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev "$@"
