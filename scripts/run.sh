#!/usr/bin/env bash
# Installs what is missing, builds Murmelo and starts it; extra arguments go to murmelo.
# Without a display there is no window to show, so the same application walks its own window
# offscreen instead (agreement, recording, reversal, playback, save, crop, the saved recordings)
# and the paths of its screenshots and of its library are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Paths relative to the checkout let a fresh clone reuse what an earlier build compiled.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake --preset release >/dev/null
cmake --build --preset release
murmelo=build/release/src/app/murmelo

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$murmelo" "$@"
fi

echo "No display found: walking Murmelo's window offscreen, one picture per step."
demo="${XDG_CACHE_HOME:-$HOME/.cache}/murmelo/demo"
walk="$demo/walk"
# A fresh home for each walk: it accepts the agreement and saves reversals, which belong in a
# library of its own and not in the user's.
rm -rf "$walk"
mkdir -p "$walk/home/data" "$walk/home/config"
espeak-ng -w "$demo/phrase.wav" "Listen closely. Some say every sentence hides another one, spoken backwards."
echo "Spoken phrase: $demo/phrase.wav"
# The walk's telemetry goes to a small intake on loopback, which decodes what it receives.
/usr/bin/python3 scripts/telemetry-intake.py --store "$walk" --print >"$walk/intake.txt" &
intake=$!
trap 'kill "$intake" 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^listening on' "$walk/intake.txt" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$walk/intake.txt")
XDG_DATA_HOME="$walk/home/data" XDG_CONFIG_HOME="$walk/home/config" \
  XDG_CACHE_HOME="$walk/home/cache" MURMELO_TELEMETRY_URL="http://127.0.0.1:$port/" \
  MURMELO_AUDIO_INPUT_FILE="$demo/phrase.wav" "$murmelo" --walk "$walk" >"$walk/paths.txt"
echo "Screenshots, then the library and its saved audio:"
sed 's/^/  /' "$walk/paths.txt"
echo "Telemetry the walk sent to the loopback intake (http://127.0.0.1:$port/), decoded:"
grep '^intake:' "$walk/intake.txt" | sed 's/^intake: /  /' || echo "  (nothing arrived)"
