#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the bash completion of vantrel-machine as bash does on Tab: the words as the shell
# splits them (C:/ breaks at its colon), the reply the user would see.
# Usage: completion_test.sh TOOL COMPLETION-SCRIPT
set -u
tool=$1
source /usr/share/bash-completion/bash_completion
source "$2"
PATH=$(dirname "$tool"):$PATH
machine=$(mktemp -d)
trap 'rm -rf "$machine"' EXIT
"$tool" new "$machine/m" >/dev/null || exit 1
failed=0

# expect "WANTED REPLY" WORD...: the last word is the one being completed.
expect() {
  local wanted=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_LINE=${COMP_LINE// : /:}
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _vantrel_machine vantrel-machine
  local got="${COMPREPLY[*]}"
  if [[ $got != "$wanted" ]]; then
    echo "FAIL: $COMP_LINE<Tab> gave [$got], wanted [$wanted]"
    failed=1
  fi
}

m=$machine/m
expect "backup" vantrel-machine --machine "$m" ba
expect "clean clean-registry" vantrel-machine --machine "$m" cle
expect "--dry-run" vantrel-machine --machine "$m" optimise win.ini --dr
expect "list restore delete empty" vantrel-machine --machine "$m" recycle ""
"$tool" --machine "$m" backup create --components start-files >/dev/null || exit 1
expect "000" vantrel-machine --machine "$m" backup restore ""
expect "icons" vantrel-machine --machine "$m" tune set ic
expect "/PROGRA~1/Accessories/" vantrel-machine --machine "$m" dir C : /PROGRA~1/acc
expect "/Program\\ Files/ /Programme\\ Alt/" vantrel-machine --machine "$m" attrib C : /Progr
expect "'C:\\WINDOWS\\WIN.INI" vantrel-machine --machine "$m" lnk "'C:\\WINDOWS\\WIN.I"
exit $failed
