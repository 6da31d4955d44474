#!/usr/bin/env bash
# Writes the documentation's screenshots to docs/screenshots by running the screenshot tests
# offscreen with MURMELO_SCREENSHOT_DIR set. Run after a dev build (scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
export MURMELO_SCREENSHOT_DIR="$PWD/docs/screenshots"
mkdir -p "$MURMELO_SCREENSHOT_DIR"
ctest --test-dir build/dev -R 'Screenshot' --output-on-failure
ls "$MURMELO_SCREENSHOT_DIR"
