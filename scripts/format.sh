#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Formats every C++ file of the tree with .clang-format; with --check, changes nothing and
# fails naming each file that is not formatted or lacks its licence line.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
  clang-format-14 --dry-run --Werror "${files[@]}"
  unlicensed=$(grep -L -F 'SPDX-License-Identifier: GPL-3.0-or-later' "${files[@]}" || true)
  if [ -n "$unlicensed" ]; then
    echo "These files lack the line // SPDX-License-Identifier: GPL-3.0-or-later:" >&2
    echo "$unlicensed" >&2
    exit 1
  fi
else
  clang-format-14 -i "${files[@]}"
fi
