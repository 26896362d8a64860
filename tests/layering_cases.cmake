# SPDX-License-Identifier: GPL-3.0-or-later
# Runs layering.cmake on trees of one file each, one include that a rule allows or refuses,
# so that a rule which stopped matching is noticed. Run as:
# cmake -DLAYERING=<layering.cmake> -DWORK_DIR=<scratch folder> -P layering_cases.cmake
cmake_policy(VERSION 3.25)
set(_cases
    "src/tuning/a.cpp|platform/filesystem.h|allowed"
    "src/backup/a.cpp|platform/launcher.h|allowed"
    "src/tuning/a.cpp|platform/attributestore.h|refused"
    "src/app/a.cpp|platform/creghive.h|refused"
    "src/cleanup/a.cpp|platform/fat/fatimage.h|refused"
    "src/sysaccess/a.cpp|platform/recyclebin.h|allowed"
    "src/platform/fat/a.cpp|platform/attributes.h|allowed"
    "src/platform/fat/a.cpp|platform/fat/mtools.h|allowed"
    "src/platform/fat/a.cpp|platform/filesystem.h|refused"
    "src/platform/imagedrive.cpp|platform/fat/imagesync.h|allowed"
    "src/platform/recyclebin.cpp|platform/fat/fatimage.h|refused"
    "src/diskimage/a.cpp|platform/fat/imagesync.h|allowed"
    "src/diskimage/a.cpp|sysaccess/files.h|refused"
    "src/diskimage/a.cpp|diskimage/b.h|allowed"
    "src/sample/a.cpp|diskimage/diskimage.h|refused"
    "tools/t/a.cpp|diskimage/diskimage.h|allowed"
    "tools/t/a.cpp|platform/fat/mtools.h|refused"
    "tools/t/a.cpp|backup/backups.h|allowed"
    "tools/t/a.cpp|app/pages/page.h|refused"
    "tools/t/a.cpp|multimedia/mmedia.h|refused")
set(_failed "")
foreach(_case ${_cases})
  string(REPLACE "|" ";" _parts "${_case}")
  list(GET _parts 0 _file)
  list(GET _parts 1 _header)
  list(GET _parts 2 _want)
  file(REMOVE_RECURSE ${WORK_DIR})
  file(WRITE ${WORK_DIR}/${_file} "#include \"${_header}\"\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${WORK_DIR} -P ${LAYERING} RESULT_VARIABLE _rc OUTPUT_QUIET ERROR_QUIET)
  if(_rc EQUAL 0)
    set(_got allowed)
  else()
    set(_got refused)
  endif()
  if(NOT _got STREQUAL _want)
    string(APPEND _failed "  ${_file} including ${_header}: ${_got}, should be ${_want}\n")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
if(_failed)
  message(FATAL_ERROR "The layering check judges wrongly:\n${_failed}")
endif()
