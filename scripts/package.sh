#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of Vantrel into build-package/package/ (vantrel_<version>_<arch>.deb):
# both programs and the window's media module, the desktop entry and icons, the manual pages,
# the guides, the changelog and the copyright file. The programs are built in build-package/ of their own, with Debian's
# hardening flags from dpkg-buildflags and without the tests; the library dependencies are
# worked out by dpkg-shlibdeps. The package must pass lintian without errors or warnings.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=build-package
# Fortified functions, the strong stack protector, PIE and a read-only relocation table
# bound at start-up (relro, now).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
flags=(-DCMAKE_BUILD_TYPE=None -DVANTREL_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr
       "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" "-DCMAKE_MODULE_LINKER_FLAGS=$ldflags")
if command -v ccache >/dev/null; then
  flags+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$PWD")}"
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j2
rm -f "$dir"/package/*.deb
cpack --config "$dir/CPackConfig.cmake" -B "$dir/package"
lintian --fail-on error,warning --tag-display-limit 0 "$dir"/package/*.deb
ls -l "$dir"/package/*.deb
