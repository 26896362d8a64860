#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Quick start: install what is missing, build, and run Vantrel (on the built-in sample machine
# unless arguments say otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/src/vantrel "$@"
