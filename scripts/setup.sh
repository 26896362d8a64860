#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages Vantrel needs to build, run and test; only the missing ones.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  qt6-multimedia-dev
  libssl-dev libssl3  # SHA-256 of the backup sets' registry exports (libcrypto, loaded when first used)
  qt6-translations-l10n  # Qt's own dialog texts in German
  # The multimedia test plays WAV and AVI through GStreamer, MIDI through its fluidsynth
  # element with a General MIDI sound font.
  gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav timgm6mb-soundfont
  # Where no sound server runs (CI), the sound tests start their own with a null sink.
  pulseaudio
  libgtest-dev
  fonts-liberation fonts-dejavu-core
  findutils attr ccache
  dosbox  # runs the rescue floppy's batch files in the tests
  # Disk and floppy images are read and written with mtools; the tests make and check
  # them with dosfstools.
  mtools dosfstools
  # VHD, qcow2, VDI and VMDK images are unpacked and packed again with qemu-img.
  qemu-utils
  # The Debian package (scripts/package.sh), its check and the check of its desktop entry.
  dpkg-dev lintian desktop-file-utils
  bash-completion  # drives the completion of vantrel-machine in its test
  clang-14 libclang-rt-14-dev  # the fuzz targets (scripts/fuzz.sh)
  clang-format-14  # the layout check (scripts/format.sh)
)
# The screenshot script also needs a virtual X server and its tools.
if [ "${1:-}" = "--screenshots" ]; then
  packages+=(xvfb xdotool imagemagick)
fi
# Making the multimedia test files again (tools/media/make-media.sh).
if [ "${1:-}" = "--media" ]; then
  packages+=(sox ffmpeg)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
