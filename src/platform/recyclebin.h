// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Windows 95 recycle bin: the hidden RECYCLED folder in the root of each fixed drive,
// its INFO index and the files stored as D<drive><index><.ext>, laid out exactly as
// Windows 95 does so that Windows itself lists and restores them.
#include "platform/filesystem.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace vt {

struct RecycledItem {
  QString originalPath;  // full Windows path the file had
  quint32 index = 0;     // the record index, also in the stored file's name
  int driveNumber = 0;   // 0 = A, 2 = C
  QDateTime deleted;     // UTC
  quint32 sizeOnDisk = 0;
  QString storedPath;  // where the file lies now, e.g. "C:\RECYCLED\DC4.LNK"
};

class RecycleBin {
 public:
  explicit RecycleBin(FileSystem& fs) : fs_(fs) {}

  // Moves one file (not a folder) into its drive's bin. False when the file is missing,
  // its drive has no bin (only fixed drives have one), or the move fails; then nothing
  // has changed and `error` says why.
  bool recycle(QStringView winPath, QString* error = nullptr);
  // Every item of every fixed drive's bin, drive by drive in INFO order.
  QList<RecycledItem> list();
  // Puts the item back where it came from and removes its record; false (and nothing
  // changed) when the original place is taken or its folder is gone. Should an index
  // appear twice in INFO, the first record is the one restored; `restored` receives the
  // path it went back to.
  bool restore(QChar drive, quint32 index, QString* error = nullptr, QString* restored = nullptr);
  // Deletes every recycled file of the drive. A file that cannot be deleted keeps its
  // record; then, as for every failure, `error` says what failed.
  bool empty(QChar drive, QString* error = nullptr);

 private:
  FileSystem& fs_;
};

}  // namespace vt
