#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of every section page, in German and in English, from the built program in a
# virtual X server: scripts/screenshots.sh [OUTDIR]   (default: build/screenshots)
# Needs xvfb, xdotool and imagemagick (scripts/setup.sh --screenshots installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
mkdir -p "$out"
bin=build/src/vantrel
[ -x "$bin" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }

# The script runs itself again inside the virtual X server.
if [ -z "${VANTREL_SHOTS_INNER:-}" ]; then
  export VANTREL_SHOTS_INNER=1 XDG_RUNTIME_DIR=$(mktemp -d)
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$out"
fi

machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
build/tools/vantrel-machine new "$machine/m" >/dev/null

start() {  # language [machine or image]; sets pid and win
  local lang=$1
  "$bin" --lang "$lang" "${2:-$machine/m}" &
  pid=$!
  win=""
  for _ in $(seq 100); do
    win=$(xdotool search --onlyvisible --name "Vantrel pro by Kestrin" 2>/dev/null | head -1 || true)
    [ -n "$win" ] && break
    # The first start tells the user about its backup before the window appears.
    box=$(xdotool search --onlyvisible --name "^Vantrel$" 2>/dev/null | head -1 || true)
    if [ -n "$box" ]; then
      xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
    fi
    sleep 0.2
  done
  [ -n "$win" ] || { echo "the window did not appear" >&2; kill "$pid"; return 1; }
  sleep 0.5
}

click() {  # x y [seconds to wait]
  xdotool mousemove --window "$win" "$1" "$2" click 1
  sleep "${3:-0.4}"
  xdotool mousemove --window "$win" 300 200
  sleep 0.2
}

shoot() {  # language
  local lang=$1
  start "$lang"
  local sections=(options tuning cleanup diagnosis backup bootmenu logos info)
  for i in "${!sections[@]}"; do
    # The section buttons: 125 x 36 at x 8, y 33 + 40 i.
    xdotool mousemove --window "$win" 70 $((51 + 40 * i)) click 1
    sleep 0.4
    xdotool mousemove --window "$win" 300 200
    sleep 0.2
    import -window "$win" "$out/$lang-$i-${sections[$i]}.png"
  done
  # The restore page of the first set in the backup list.
  xdotool mousemove --window "$win" 70 211 click 1
  sleep 0.4
  xdotool mousemove --window "$win" 250 130 click 1
  sleep 0.2
  xdotool mousemove --window "$win" 282 352 click 1
  sleep 0.4
  xdotool mousemove --window "$win" 300 200
  sleep 0.2
  import -window "$win" "$out/$lang-4-backup-restore.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# The clean-up's search while it runs and the list it leaves, the first problem the analysis
# finds, and the system report's pages.
shoot_work() {  # language
  local lang=$1
  start "$lang"
  click 70 131                       # Clean up
  click 174 243                      # tick the Windows 3.x files too
  xdotool mousemove --window "$win" 533 296 click 1
  sleep 1.5
  import -window "$win" "$out/$lang-2-cleanup-search.png"
  for _ in $(seq 120); do            # until the window stops changing: the search has ended
    sleep 0.5
    import -window "$win" "$out/.probe.png"
    cmp -s "$out/.probe.png" "$out/.last.png" && break
    cp "$out/.probe.png" "$out/.last.png"
  done
  rm -f "$out/.probe.png" "$out/.last.png"
  xdotool mousemove --window "$win" 300 200
  sleep 0.3
  import -window "$win" "$out/$lang-2-cleanup-list.png"
  click 70 171                       # Diagnose
  click 218 70 2                     # the analysis
  click 282 352                      # forward: the first problem
  import -window "$win" "$out/$lang-3-problem.png"
  click 466 352                      # Abort: back to the section (its own button is disabled while it is shown)
  click 218 124 1                    # Report
  import -window "$win" "$out/$lang-3-report.png"
  click 190 352                      # forward: the drives
  import -window "$win" "$out/$lang-3-report-drives.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# The Info page of a disk image opened in the window: the sample's C: as one FAT16 volume.
shoot_image() {  # language
  local lang=$1
  XDG_DATA_HOME="$machine/data" XDG_CONFIG_HOME="$machine/config" start "$lang" "$machine/w95.img"
  import -window "$win" "$out/$lang-0-info.png"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}
mkfs.fat -C -F 16 -n W95 "$machine/w95.img" 65536 >/dev/null
mcopy -s -m -i "$machine/w95.img" "$machine"/m/drives/C/* ::/

shoot de
shoot en
shoot_image de
shoot_image en
# A machine with a large tree, so that the search runs long enough to be seen.
for t in $(seq 40); do
  for s in $(seq 100); do
    d="$machine/m/drives/C/DATA/PROJECT$t/PART$s"
    mkdir -p "$d"
    : >"$d/NOTES.TXT"
  done
done
shoot_work de
shoot_work en
echo "screenshots in $out"
