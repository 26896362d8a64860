#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the three files of the multimedia test into data/multimedia/, in formats the
# Windows 95 multimedia layer plays without extra drivers:
#   test.wav  a C major chord, 1.5 s, PCM 22050 Hz 16 bit mono (sox)
#   test.mid  a short tune of about three seconds, General MIDI (make-midi.py)
#   test.avi  two seconds of moving colours, 160 x 120, 15 frames/s, Microsoft Video 1 (ffmpeg)
# Needs sox and ffmpeg (scripts/setup.sh --media). The output is the same on every run.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/../../data/multimedia}"
mkdir -p "$out"

sox -D -V1 -n -r 22050 -b 16 -c 1 "$out/test.wav" \
  synth 1.5 pluck C4 pluck E4 pluck G4 pluck C5 remix - fade 0.01 1.5 0.5 norm -3

python3 "$here/make-midi.py" "$out/test.mid"

ffmpeg -v error -y -f lavfi \
  -i "nullsrc=s=160x120:r=15:d=2,geq=r='128+100*sin(X/11+T*5)':g='128+100*sin(Y/9-T*4)':b='128+100*sin((X+Y)/15+T*3)'" \
  -c:v msvideo1 -pix_fmt rgb555le -an -fflags +bitexact -flags:v +bitexact "$out/test.avi"
