# SPDX-License-Identifier: GPL-3.0-or-later
# Runs lintian on the package scripts/package.sh built, when there is one of this version:
# no error and no warning may be left. Building the package takes a build of its own with
# Debian's hardening flags, too long for the test suite; scripts/package.sh runs the same
# check on every package it makes.
# Run as: cmake -DLINTIAN=... -DPACKAGE_DIR=... -DVERSION=... -P lintian.cmake
cmake_policy(VERSION 3.25)
if(NOT LINTIAN OR NOT PACKAGE_DIR OR NOT VERSION)
  message(FATAL_ERROR "lintian.cmake needs -DLINTIAN=..., -DPACKAGE_DIR=... and -DVERSION=...")
endif()
file(GLOB _debs ${PACKAGE_DIR}/vantrel_${VERSION}_*.deb)
if(NOT _debs)
  message("SKIPPED: no package of version ${VERSION} in ${PACKAGE_DIR} (scripts/package.sh makes one)")
  return()
endif()
execute_process(COMMAND ${LINTIAN} --fail-on error,warning --tag-display-limit 0 ${_debs} RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "lintian finds errors or warnings in ${_debs}")
endif()
