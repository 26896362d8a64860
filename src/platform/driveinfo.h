// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drive of the machine as machine.ini describes it: its letter, type, readiness, volume
// facts and the host folder holding its root. The file system answers GetDriveType and the
// free-space calls from these; the adapter of a disk image fills in what the image says.
#include <QChar>
#include <QString>

#include <optional>

namespace vt {

// Win32 drive types (GetDriveType).
enum class DriveType { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

struct DriveInfo {
  QChar letter;  // upper case
  DriveType type = DriveType::Fixed;
  bool ready = true;  // false: a removable or CD-ROM drive with no disk inserted
  QString label;
  QString fileSystem = QStringLiteral("FAT");
  qint64 totalBytes = 0;            // 0: as large as the host folder's file system allows
  std::optional<qint64> freeBytes;  // absent: total minus what the drive holds
  quint32 bytesPerSector = 512;
  quint32 sectorsPerCluster = 64;
  QString hostRoot;  // the host folder holding the drive's root
  // A removable drive whose disk is an image file: its host path. The files are then
  // those of the image, and hostRoot is the working copy of them (imagedrive.h).
  QString image;
};

}  // namespace vt
