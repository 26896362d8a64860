// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A removable drive whose disk is an image file in the machine folder ([Drive A]
// Image=FILE): the file system works on a copy of the image's files in a folder of its own
// (its working copy), and every change made through it is written into the image at once,
// atomically (fat/imagesync.h), so that the image is always what the emulator boots. The image's
// boot sector and the files the change did not touch stay as they were. No image file is
// an empty drive; an image without write permission is a write-protected disk.
#include "platform/driveinfo.h"
#include "platform/fat/fatimage.h"
#include "platform/fat/imagesync.h"
#include "platform/winerror.h"

#include <QString>

#include <optional>

namespace vt {

class ImageDrive {
 public:
  // `image` and `workingCopy` are host paths inside `machineFolder`.
  ImageDrive(QString machineFolder, QString image, QString workingCopy, AttributeStore& store);

  // Brings the working copy in line with the image when the image appeared, changed or
  // went since it was last read, and sets the drive's readiness and volume facts in `d`.
  // True when the working copy was made anew.
  bool refresh(DriveInfo& d);
  // What a change would be refused with before it is made: WriteProtect, or Success.
  WinError writable() const;
  // Writes what changed in the working copy into the image. On failure the image keeps
  // what it held, the working copy is read from it again, and the Win32 error comes back.
  WinError commit(DriveInfo& d);

  // While held, changes stay in the working copy: commit() is left to release(), which
  // writes them all in one replacement of the image (`write`), or reads the working copy
  // from the untouched image again. An image that changed meanwhile took the held changes
  // with it: release then fails with SharingViolation.
  void hold();
  bool held() const { return held_; }
  // Whether what changed since hold() would fit on the disk.
  bool heldChangesFit() const;
  WinError release(DriveInfo& d, bool write);

 private:
  struct Stamp {
    quint64 dev = 0, ino = 0;
    qint64 size = -1, mtimeNs = 0;
    bool operator==(const Stamp&) const = default;
  };
  std::optional<Stamp> stamp() const;
  void load(DriveInfo& d);
  void clearWorkingCopy();

  QString machineFolder_, image_, root_;
  AttributeStore& store_;
  bool looked_ = false;
  std::optional<Stamp> loaded_;  // the image as the working copy was last made from or written to
  std::optional<fat::Volume> volume_;
  imagesync::Tree base_;
  bool held_ = false, heldLost_ = false;
};

}  // namespace vt
