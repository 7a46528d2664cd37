#!/usr/bin/env bash
# Generates the two sounds of the program, "警告.wav" (others are on the line: a
# short, urgent two-tone) and "安全.wav" (all clear: a soft rising tone), as
# 16-bit PCM mono at 44.1 kHz, each under a second. Both end in 0.25 s of
# silence because QSoundEffect drops roughly the last 0.13 s of a sample.
# Deterministic (no dither, fixed seed), so regenerating gives the same bytes.
#   make-sounds.sh [output-folder]   (default: the folder of this script)
set -euo pipefail
out="${1:-$(dirname "$0")}"
command -v sox >/dev/null || { echo "make-sounds: sox is not installed" >&2; exit 1; }
fmt=(-R -D -r 44100 -c 1 -b 16 -e signed-integer)

# Four alternating beeps, 988 Hz and 740 Hz, 0.12 s each with short gaps.
beep() { sox -n "${fmt[@]}" -t wav - synth 0.12 square "$1" vol 0.35 fade t 0.005 0.12 0.01; }
gap() { sox -n "${fmt[@]}" -t wav - trim 0 0.03; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
beep 988 >"$tmp/a.wav"; beep 740 >"$tmp/b.wav"; gap >"$tmp/g.wav"
sox -R -D "$tmp/a.wav" "$tmp/g.wav" "$tmp/b.wav" "$tmp/g.wav" "$tmp/a.wav" "$tmp/g.wav" \
  "$tmp/b.wav" "${fmt[@]}" "$out/警告.wav" pad 0 0.25

# A sine sweep from C5 to G5 with a gentle fade in and out.
sox -n "${fmt[@]}" "$out/安全.wav" synth 0.5 sine 523-784 vol 0.4 fade h 0.08 0.5 0.2 pad 0 0.25
