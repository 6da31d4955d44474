#!/usr/bin/env bash
# Makes the short demo movie that the getting-started screen offers: a spoken welcome over a
# title card. Usage: make-sample-movie.sh OUTPUT.m4v
set -euo pipefail
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

espeak-ng -v en-us -s 150 -w "$work/voice.wav" \
  "Welcome to Murmelo. Record a phrase, then listen to it backwards. \
Slow it down, crop the part you care about, and save it to your library."

# Without fontconfig's fc-match, drawtext falls back to its own default font.
font="$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || true)"
fontopt="${font:+fontfile=${font}:}"
text="drawtext=${fontopt}fontcolor=white:fontsize=34:x=(w-text_w)/2:y=h*0.36:text=Murmelo"
sub="drawtext=${fontopt}fontcolor=0xc7cdf7:fontsize=15:x=(w-text_w)/2:y=h*0.36+52:text=Hear it backwards"
mkdir -p "$(dirname "$out")"
ffmpeg -hide_banner -loglevel error -y \
  -f lavfi -i "color=c=0x1c2430:s=320x568:r=25" \
  -i "$work/voice.wav" \
  -filter_complex "[1:a]showwaves=s=280x80:mode=cline:colors=0x5b6ee1[w];[0:v][w]overlay=20:H*0.62,${text},${sub},format=yuv420p[v]" \
  -map "[v]" -map 1:a -shortest -c:v libx264 -preset veryfast -crf 28 -c:a aac -b:a 64k \
  -f mp4 "$out.tmp"
mv "$out.tmp" "$out"
