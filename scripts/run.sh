#!/usr/bin/env bash
# Installs what is missing, builds Murmelo and starts it; extra arguments go to murmelo.
# Without a display there is no window to show, so it shows the audio pipeline at work instead:
# a short spoken phrase is reversed and its waveform drawn, and the paths of both are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
murmelo=build/release/src/app/murmelo

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$murmelo" "$@"
fi

echo "No display found: showing Murmelo's reversal on the command line."
demo="${XDG_CACHE_HOME:-$HOME/.cache}/murmelo/demo"
mkdir -p "$demo"
espeak-ng -w "$demo/phrase.wav" "Listen closely. Some say every sentence hides another one, spoken backwards."
"$murmelo" reverse "$demo/phrase.wav" -o "$demo/phrase-reversed.wav" --waveform "$demo/phrase-waveform.png"
echo "Forward speech:   $demo/phrase.wav"
echo "Reversed speech:  $demo/phrase-reversed.wav"
echo "Waveform picture: $demo/phrase-waveform.png"
sox "$demo/phrase-reversed.wav" -n stat 2>&1 | grep -E "Length|RMS     amplitude" || true
# The window itself, drawn offscreen: it starts, says so, and ends.
exec "$murmelo" "$@"
