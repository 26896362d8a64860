#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (fuzz/) into build-fuzz/ with clang and runs each for
# SECONDS (default 60). Seeds come from a freshly made sample machine, data/sample and,
# where present, the shared test data. What a run finds is kept in build-fuzz/corpus/,
# so later runs go on from there; inputs that fail a target land in build-fuzz/artifacts/.
# Exit status 1 when any target failed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
dir=build-fuzz

cxx="$(command -v clang++-14 || command -v clang++ || true)"
if [ -z "$cxx" ]; then
  echo "fuzz.sh: clang++ is missing (scripts/setup.sh installs it)" >&2
  exit 1
fi
san="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON -DCMAKE_CXX_COMPILER="$cxx" "-DCMAKE_CXX_FLAGS=$san")
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$PWD")}"
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j2 --target fuzzers vantrel-machine

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# --- seeds --------------------------------------------------------------------------------
testdata="$(sed -n 's/^VANTREL_TESTDATA_DIR:PATH=//p' "$dir/CMakeCache.txt")"
seeds="$dir/seeds"
sample="$dir/sample-machine"
rm -rf "$seeds" "$sample"
ASAN_OPTIONS=detect_leaks=0 "$dir/tools/vantrel-machine" new "$sample" >/dev/null
for t in creghive regedit4 ini machineini recyclebin shelllink fatimage winpath shortname versioninfo; do mkdir -p "$seeds/$t"; done

# Copies FILE into a target's seeds, after PREFIX (printf format): the bytes with which
# some targets choose what they do with the rest.
seed() {
  local target="$1" prefix="$2" file="$3"
  local name
  name="$(printf "%s %s" "$prefix" "$file" | md5sum | cut -c1-12)"
  { printf "$prefix"; cat "$file"; } >"$seeds/$target/$name"
}
# Real hives of a megabyte would slow every run to a crawl; those up to 256 KiB come in.
while IFS= read -r -d '' f; do seed creghive '' "$f"; done \
  < <(find "$sample" "${testdata:-/nonexistent}" -iname '*.dat' -type f -size -257k -print0 2>/dev/null)
for f in data/sample/registry.reg data/sample/dyndata.reg; do
  seed regedit4 '\000' "$f"
  seed regedit4 '\001' "$f"
done
while IFS= read -r -d '' f; do seed ini '\000\000\005' "$f"; done \
  < <(find data/sample \( -iname '*.ini' -o -iname '*.inf' -o -iname 'msdos.sys' \) -type f -print0)
seed machineini '' data/sample/machine.ini
while IFS= read -r -d '' f; do seed recyclebin '\000' "$f"; done \
  < <(find "$sample" -path '*/RECYCLED/INFO' -type f -print0)
while IFS= read -r -d '' f; do seed shelllink '' "$f"; done \
  < <(find "$sample" \( -iname '*.lnk' -o -iname '*.pif' \) -type f -print0)
while IFS= read -r -d '' f; do seed versioninfo '' "$f"; done \
  < <(find "$sample" \( -iname 'TASKMAN.EXE' -o -iname 'WINFILE.EXE' -o -iname 'NOTEPAD.EXE' -o -iname 'GDI.EXE' \) -type f -print0)

# Paths as the sample's files and shortcuts write them, and with a pattern after the byte
# that asks for one.
printf '\000C:\\WINDOWS\\SYSTEM\\..\\Win.ini' >"$seeds/winpath/full"
printf '\000C:\\WINDOWS\nsystem\\x.dll' >"$seeds/winpath/relative"
printf '\001c:/windows/temp/*.tmp' >"$seeds/winpath/pattern"

# Long names of one folder, one per line ('/' first for a folder), that compete for tails.
printf '/Program Files\n/Programme Alt\nindex.html\nindex.htm\nwin.ini\nWIN~1.INI\nmy.long.file.name.txt\n.profile' \
  >"$seeds/shortname/names"

# Small FAT volumes, alone and behind a partition table, each after the byte that picks
# the partition.
mkfs=$(command -v mkfs.fat || echo /usr/sbin/mkfs.fat)
if [ -x "$mkfs" ]; then
  rm -f "$dir/floppy.img"
  "$mkfs" -C -F 12 "$dir/floppy.img" 160 >/dev/null
  seed fatimage '\000' "$dir/floppy.img"
  # One partition from sector 1 to the end of 256 KiB.
  { head -c 446 /dev/zero; printf '\200\000\000\000\001\000\000\000\001\000\000\000\377\001\000\000';
    head -c 48 /dev/zero; printf '\125\252'; } >"$dir/disk.img"
  truncate -s 256K "$dir/disk.img"
  "$mkfs" -F 12 --offset 1 "$dir/disk.img" 255 >/dev/null
  seed fatimage '\001' "$dir/disk.img"
fi

# --- runs ---------------------------------------------------------------------------------
status=0
summary=""
for t in creghive regedit4 ini machineini recyclebin shelllink fatimage winpath shortname versioninfo; do
  corpus="$dir/corpus/$t"
  artifacts="$dir/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/")
  [ -f "fuzz/$t.dict" ] && args+=(-dict="fuzz/$t.dict")
  [ "$t" = creghive ] && args+=(-max_len=262144)
  [ "$t" = fatimage ] && args+=(-max_len=300000)
  echo "== ${t}_fuzz for ${seconds}s"
  log="$dir/${t}_fuzz.log"
  if "$dir/fuzz/${t}_fuzz" "${args[@]}" "$corpus" "$seeds/$t" >"$log" 2>&1; then
    result="ok"
  else
    result="FAILED (see $log and $artifacts/)"
    status=1
    tail -n 40 "$log"
  fi
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  summary+="$(printf '%-12s %10s runs  %s' "$t" "${runs:-?}" "$result")"$'\n'
done
printf '\n%s' "$summary"
exit $status
