#!/usr/bin/env bash
# Builds the Debian package of Vantrel into build/package/ (vantrel_<version>_<arch>.deb):
# both programs, the desktop entry and icons, the manual pages and the guides. The library
# dependencies are worked out by dpkg-shlibdeps from the built programs.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
cpack --config build/CPackConfig.cmake -B build/package
ls -l build/package/*.deb
