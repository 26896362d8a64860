// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Win32 error codes the platform layer reports, with their Windows numbers,
// so that callers can judge outcomes exactly as they would on Windows 95.
#include <QString>

namespace vt {

enum class WinError : unsigned {
  Success = 0,
  FileNotFound = 2,
  PathNotFound = 3,
  AccessDenied = 5,
  InvalidHandle = 6,
  InvalidData = 13,
  NotReady = 21,
  WriteFault = 29,
  ReadFault = 30,
  SharingViolation = 32,
  FileExists = 80,
  InvalidParameter = 87,
  DiskFull = 112,
  InvalidName = 123,
  DirNotEmpty = 145,
  AlreadyExists = 183,
  NoMoreFiles = 18,
  WriteProtect = 19,
  BadPathName = 161,
  FilenameTooLong = 206,  // ERROR_FILENAME_EXCED_RANGE
  NoMoreItems = 259,
  RegistryCorrupt = 1015,
};

// "The system cannot find the file specified." and friends, for error messages.
QString describe(WinError e);

}  // namespace vt
