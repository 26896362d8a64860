# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a file includes a header of a layer above its own, when a section includes
# another section, or when a file reaches into a part of the platform that is not open to
# it. Run as: cmake -DSOURCE_DIR=<tree> -P layering.cmake
#
# From the bottom up: the machine (platform), the operations on it (sysaccess), backup, the
# four sections side by side, and the window (app). The sample machine and the disk images'
# import and export are built on the machine alone; the command-line tool on those and the
# machine; the custom controls know nothing of Vantrel.
cmake_policy(VERSION 3.25)
set(_rank_platform 0)
set(_rank_sysaccess 1)
set(_rank_sample 1)
set(_rank_diskimage 1)
set(_rank_backup 2)
set(_rank_tuning 3)
set(_rank_cleanup 3)
set(_rank_diagnosis 3)
set(_rank_multimedia 3)
set(_rank_app 4)
set(_sections tuning cleanup diagnosis multimedia)

# The platform headers open to backup, the sections and the window: the machine and the
# kinds of thing they name in their own code. The rest of the platform is its own, and
# they reach it through these or through the shared helpers of sysaccess.
set(_platform_open machine filesystem registry profile shelllink launcher text versioninfo)
# The FAT image code knows only these leaves of the platform, and only the image drive
# (the file system's adapter to it) and the disk images' import and export use it.
set(_fat_leaves attributes attributestore atomicfile shortname text)

set(_violations "")
file(GLOB_RECURSE _files RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
foreach(_f ${_files})
  string(REGEX MATCH "^[^/]+" _layer "${_f}")
  if(_f MATCHES "^app/controls/")
    set(_layer controls)
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${_f} _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+/")
  foreach(_line ${_includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" _header "${_line}")
    string(REGEX MATCH "^[^/]+" _target "${_header}")
    if(_header MATCHES "^app/controls/")
      set(_target controls)
    endif()
    set(_bad FALSE)
    if(_f MATCHES "^platform/fat/")
      if(NOT _header MATCHES "^platform/fat/[^/]+$")
        string(REGEX REPLACE "^platform/([^/]+)\\.h$" "\\1" _leaf "${_header}")
        if(NOT _leaf IN_LIST _fat_leaves)
          set(_bad TRUE)
        endif()
      endif()
    elseif(_header MATCHES "^platform/fat/")
      if(NOT _f MATCHES "^(platform/imagedrive\\.(h|cpp)|diskimage/.+)$")
        set(_bad TRUE)
      endif()
    elseif(_target STREQUAL _layer)
      # a layer's own files include each other freely
    elseif(_layer STREQUAL "controls")
      set(_bad TRUE)  # the controls are generic widgets
    elseif(_target STREQUAL "controls")
      if(NOT _layer STREQUAL "app")
        set(_bad TRUE)
      endif()
    elseif(NOT DEFINED _rank_${_layer} OR NOT DEFINED _rank_${_target})
      set(_bad TRUE)  # an unknown folder must be given its place here first
    elseif(_rank_${_target} GREATER_EQUAL _rank_${_layer})
      set(_bad TRUE)
    elseif(_target STREQUAL "platform" AND _rank_${_layer} GREATER 1)
      string(REGEX REPLACE "^platform/([^/]+)\\.h$" "\\1" _open "${_header}")
      if(NOT _open IN_LIST _platform_open)
        set(_bad TRUE)
      endif()
    endif()
    if((_layer STREQUAL "sample" OR _layer STREQUAL "diskimage") AND NOT _target STREQUAL "platform" AND NOT _target STREQUAL _layer)
      set(_bad TRUE)
    endif()
    if(_bad)
      string(APPEND _violations "  src/${_f} includes ${_header}\n")
    endif()
  endforeach()
endforeach()

# The command-line tool works on the machine, its sample, the disk images' import and
# export, and the sections' widget-free logic; never the window or the FAT image code.
file(GLOB_RECURSE _tool_files ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp)
foreach(_f ${_tool_files})
  file(STRINGS ${_f} _includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"(multimedia|app|platform/fat)/")
  foreach(_line ${_includes})
    string(APPEND _violations "  ${_f} includes the window, the multimedia test or the FAT image code: ${_line}\n")
  endforeach()
endforeach()

if(_violations)
  message(FATAL_ERROR "Includes that go against the layers:\n${_violations}")
endif()
message(STATUS "Layers: every include goes downwards")
