#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up until the window is shown, Vantrel against a minimal Qt program that shows one
# frameless window of the same size, on a copy of the sample machine whose SYSTEM.DAT is
# given VALUES generated values (0: the sample machine as it is). Runs alternate between
# the programs; the figures are medians of wall time and peak resident size. The same
# minimal window showing one label is the second reference: the font every window with
# text loads is the larger part of what lies between the two.
#
#   bench/startup.sh [BUILD_DIR] [VALUES] [RUNS]     (defaults: build 200000 7)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
values=${2:-200000}
runs=${3:-7}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tools/vantrel-machine" new "$work/machine" >/dev/null
if [ "$values" -gt 0 ]; then "$build/bench/bench_registry_bench" --into "$work/machine" "$values"; fi

vantrel=("$build/src/vantrel" --machine "$work/machine")
reference=("$build/bench/bench_minimal_window")
labelled=("$build/bench/bench_minimal_window" --label)
# The first start of Vantrel on a machine asks the user and makes its first backup; that is
# not start-up, so the machine is told it has been done.
printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvo\\Vantrel]\r\n"Start"="1"\r\n\r\n' >"$work/started.reg"
"$build/tools/vantrel-machine" --machine "$work/machine" regedit "$work/started.reg" >/dev/null

# time(1) gives the peak resident size, but wall time only to the hundredth of a second,
# which is a third of the minimal window's start-up: the wall time is bash's, to the
# microsecond.
measure() {  # prints "seconds kilobytes" of one run
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  local end=$EPOCHREALTIME
  echo "$(awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", b - a}') $(cat "$work/time")"
}
: >"$work/a"
: >"$work/b"
: >"$work/c"
for _ in $(seq "$runs"); do
  VANTREL_EXIT_WHEN_SHOWN=1 measure "${vantrel[@]}" >>"$work/a"
  measure "${reference[@]}" >>"$work/b"
  measure "${labelled[@]}" >>"$work/c"
done
median() { sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
a_s=$(cut -d' ' -f1 "$work/a" | median); a_k=$(cut -d' ' -f2 "$work/a" | median)
b_s=$(cut -d' ' -f1 "$work/b" | median); b_k=$(cut -d' ' -f2 "$work/b" | median)
c_s=$(cut -d' ' -f1 "$work/c" | median); c_k=$(cut -d' ' -f2 "$work/c" | median)
awk -v as="$a_s" -v ak="$a_k" -v bs="$b_s" -v bk="$b_k" -v cs="$c_s" -v ck="$c_k" -v n="$values" -v r="$runs" 'BEGIN {
  printf "window shown, %d generated registry values, median of %d runs\n", n, r
  printf "  vantrel                 %6.3f s %7.1f MiB\n", as, ak / 1024
  printf "  minimal window          %6.3f s %7.1f MiB\n", bs, bk / 1024
  printf "  ratio                   %6.2fx %7.2fx\n", (bs > 0 ? as / bs : 0), (bk > 0 ? ak / bk : 0)
  printf "  minimal window, a label %6.3f s %7.1f MiB\n", cs, ck / 1024
  printf "  ratio to that           %6.2fx %7.2fx\n", (cs > 0 ? as / cs : 0), (ck > 0 ? ak / ck : 0)
}'
