#!/usr/bin/env bash
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

shoot() {  # language
  local lang=$1
  "$bin" --machine "$machine/m" --lang "$lang" &
  local pid=$!
  local win=""
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

shoot de
shoot en
echo "screenshots in $out"
