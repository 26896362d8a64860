// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/winerror.h"

namespace vt {

QString describe(WinError e) {
  switch (e) {
    case WinError::Success: return QStringLiteral("The operation completed successfully.");
    case WinError::FileNotFound: return QStringLiteral("The system cannot find the file specified.");
    case WinError::PathNotFound: return QStringLiteral("The system cannot find the path specified.");
    case WinError::AccessDenied: return QStringLiteral("Access is denied.");
    case WinError::InvalidHandle: return QStringLiteral("The handle is invalid.");
    case WinError::InvalidData: return QStringLiteral("The data is invalid.");
    case WinError::WriteProtect: return QStringLiteral("The media is write protected.");
    case WinError::NotReady: return QStringLiteral("The device is not ready.");
    case WinError::WriteFault: return QStringLiteral("The system cannot write to the specified device.");
    case WinError::ReadFault: return QStringLiteral("The system cannot read from the specified device.");
    case WinError::SharingViolation: return QStringLiteral("The file is in use.");
    case WinError::FileExists: return QStringLiteral("The file exists.");
    case WinError::InvalidParameter: return QStringLiteral("The parameter is incorrect.");
    case WinError::DiskFull: return QStringLiteral("There is not enough space on the disk.");
    case WinError::InvalidName: return QStringLiteral("The filename, directory name, or volume label syntax is incorrect.");
    case WinError::DirNotEmpty: return QStringLiteral("The directory is not empty.");
    case WinError::AlreadyExists: return QStringLiteral("Cannot create a file when that file already exists.");
    case WinError::NoMoreFiles: return QStringLiteral("There are no more files.");
    case WinError::BadPathName: return QStringLiteral("The specified path is invalid.");
    case WinError::FilenameTooLong: return QStringLiteral("The filename or extension is too long.");
    case WinError::NoMoreItems: return QStringLiteral("No more data is available.");
    case WinError::RegistryCorrupt: return QStringLiteral("The registry is corrupted.");
  }
  return QStringLiteral("Error %1.").arg(unsigned(e));
}

}  // namespace vt
