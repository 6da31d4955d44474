#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Murmelo need.
# Idempotent: quiet when everything is present; runs apt-get update only when something is missing.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build ccache pkg-config clang clang-format
  # the platform
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6 qt6-qpa-plugins
  qt6-l10n-tools libgl-dev libxkbcommon-dev
  # translations: CMake's lrelease step, and Qt's own texts in the user's language
  qt6-tools-dev qt6-translations-l10n
  # audio
  libsox-dev libsox-fmt-all libsoundtouch-dev libfftw3-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  # store, compression
  libsqlite3-dev sqlite3 zlib1g-dev libdeflate-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  sox ffmpeg espeak-ng python3-aiosmtpd xvfb xauth xdotool
  # published pages: a browser to open them in, a strict HTML5 parser, numbers for comparing audio
  chromium python3-html5lib python3-numpy
  # mail: the keyring for the relay password; a private session bus and keyring in tests; peers for benchmarks
  qtkeychain-qt6-dev dbus gnome-keyring libsecret-tools openssl curl
  # telemetry: unwinding by the unwind tables; msgpack-cxx and python3-msgpack as benchmark and interop peers
  libunwind-dev libmsgpack-cxx-dev python3-msgpack
  # fuzzing and sanitizer runtimes for clang
  libclang-rt-14-dev
  # screen readers' view of the window: the AT-SPI registry and its Python client
  at-spi2-core python3-pyatspi
  # validators of the desktop entry and the AppStream metainfo
  desktop-file-utils appstream
  # the manual page's renderer and the shells whose completions are tested
  man-db zsh fish
  # the forward words: PocketSphinx, its US English model, and its own listener to compare with
  libpocketsphinx-dev pocketsphinx-en-us pocketsphinx
  # sound server for end-to-end capture and playback tests without a sound card
  pulseaudio pulseaudio-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
