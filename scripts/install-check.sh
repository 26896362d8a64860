#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the package scripts/package.sh built as a user installs it (apt brings its
# dependencies), then runs what was installed: both programs say their version, the command
# line makes the sample machine and diagnoses it, bash completes its commands, and the
# window's player module lies where the window looks for it, with every library it needs. The package
# is removed again at the end, its dependencies stay.
set -euo pipefail
cd "$(dirname "$0")/.."
debs=(build-package/package/vantrel_*.deb)
[ -f "${debs[0]}" ] || { echo "no package in build-package/package (run scripts/package.sh)" >&2; exit 1; }
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./${debs[0]}" >/dev/null
trap '$sudo dpkg -r vantrel >/dev/null; rm -rf "$work"' EXIT
work=$(mktemp -d)
/usr/bin/vantrel-machine --version
/usr/bin/vantrel --version
/usr/bin/vantrel-machine new "$work/m"
rc=0
/usr/bin/vantrel-machine --machine "$work/m" diagnose --json >"$work/problems.json" || rc=$?
# 3: it found problems, as it does on the sample.
[ "$rc" -eq 3 ] || { echo "diagnose --json ended with $rc, not 3" >&2; exit 1; }
grep -q '"problems"' "$work/problems.json"
man -w vantrel-machine >/dev/null
bash -c 'source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/vantrel-machine
  COMP_WORDS=(vantrel-machine --machine "$1" ba); COMP_CWORD=3
  COMP_LINE="vantrel-machine --machine $1 ba"; COMP_POINT=${#COMP_LINE}
  _vantrel_machine
  [ "${COMPREPLY[*]}" = backup ] || { echo "bash completed ba to [${COMPREPLY[*]}]" >&2; exit 1; }' _ "$work/m"
# The window finds its player module by a path relative to its own folder, held in the
# program as UTF-16 text; the window itself must not need Qt Multimedia.
module_path=$(strings -el /usr/bin/vantrel | grep '^/.*/libvantrel-media\.so$')
module=$(realpath -m "/usr/bin$module_path")
[ -f "$module" ] || { echo "the window looks for its player module at $module, which is not there" >&2; exit 1; }
dpkg -S "$module" >/dev/null
! ldd "$module" | grep 'not found' || { echo "$module lacks libraries" >&2; exit 1; }
! ldd /usr/bin/vantrel | grep -i -e libQt6Multimedia -e libQt6Network || { echo "vantrel links Qt Multimedia" >&2; exit 1; }
echo "$module"
echo "The installed package works."
