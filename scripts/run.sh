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
# A mail relay of the walk's own on loopback (STARTTLS under a certificate made here, AUTH with
# the application's relay account), so that sharing and the problem report really go out; what
# it receives lands in a maildir beside the screenshots.
relay="$walk/relay"
mkdir -p "$relay"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$relay/key.pem" -out "$relay/cert.pem" \
  -days 1 -subj /CN=localhost -addext subjectAltName=IP:127.0.0.1,DNS:localhost 2>/dev/null
coproc RELAY { exec /usr/bin/python3 scripts/local-mail-relay.py --maildir "$walk/maildir" \
  --cert "$relay/cert.pem" --key "$relay/key.pem" \
  --user 5c0e8a7f31d94b6e2a8f07c1d3b95e46 --password e81b4d2f6a09c73e5d1f8b2a4c6e0d97 2>"$relay/log"; }
relay_pid=$RELAY_PID
trap 'kill "$intake" "$relay_pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do grep -q '^listening on' "$walk/intake.txt" 2>/dev/null && break; sleep 0.1; done
port=$(sed -n 's/^listening on //p' "$walk/intake.txt")
read -r ready relay_port <&"${RELAY[0]}"
[ "$ready" = ready ] || { echo "The local mail relay did not start:"; cat "$relay/log"; exit 1; }
echo "Local mail relay: 127.0.0.1:$relay_port"
XDG_DATA_HOME="$walk/home/data" XDG_CONFIG_HOME="$walk/home/config" \
  XDG_CACHE_HOME="$walk/home/cache" MURMELO_TELEMETRY_URL="http://127.0.0.1:$port/" \
  MURMELO_WALK_MAIL=1 MURMELO_MAIL_RELAY="127.0.0.1:$relay_port" MURMELO_MAIL_CA_FILE="$relay/cert.pem" \
  MURMELO_AUDIO_INPUT_FILE="$demo/phrase.wav" "$murmelo" --walk "$walk" >"$walk/paths.txt"
echo "Screenshots, then the library and its saved audio:"
sed 's/^/  /' "$walk/paths.txt"
echo "Telemetry the walk sent to the loopback intake (http://127.0.0.1:$port/), decoded:"
grep '^intake:' "$walk/intake.txt" | sed 's/^intake: /  /' || echo "  (nothing arrived)"
echo "Messages the local relay received (the shared reversal and the problem report):"
ls -1 "$walk/maildir/new/"* | sed 's/^/  /'
