// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The size and free space of a drive as Windows 95 reports them. A drive with a size of its
// own is as full as the files on it make it, each counted in whole clusters as FAT stores
// it; that count is made once and then follows the machine's own changes. A drive without
// a size lends the host file system's figures.
#include "platform/driveinfo.h"

#include <map>

namespace vt {

// Windows 95's GetDiskFreeSpace never reported more than this: 65526 clusters of 32 KB,
// the largest FAT16 volume. Programs of the time multiply the counts in 32 bits, so
// larger figures would wrap for them; GetDiskFreeSpaceEx gives the true numbers.
constexpr qint64 kMaxReportedDiskBytes = 65526LL * 32768;

// The bytes of one cluster; at least 1, whatever the drive's facts say.
qint64 clusterBytes(const DriveInfo& d);
// `size` rounded up to whole clusters.
qint64 inClusters(qint64 size, const DriveInfo& d);

struct ReportedClusters {
  quint32 total = 0;
  quint32 free = 0;
};
// What GetDiskFreeSpace reports for a drive of `total` bytes with `free` of them free.
ReportedClusters reportedClusters(const DriveInfo& d, qint64 total, qint64 free);

class DriveSpace {
 public:
  // Total and free bytes of the drive; false when the host cannot tell its own.
  bool space(const DriveInfo& d, qint64* total, qint64* free);

  // A change of `delta` bytes (in whole clusters) by the machine's own hand.
  void changed(const DriveInfo& d, qint64 delta);
  // What writing `newSize` bytes over a file of `oldSize` (0: a new file) changes.
  void replaced(const DriveInfo& d, qint64 oldSize, qint64 newSize);
  // After a change whose drive is not known (through a link, whose target may be counted
  // on any drive) / after the drive's files changed wholesale.
  void forgetAll() { used_.clear(); }
  void forget(QChar letter) { used_.erase(letter); }

 private:
  qint64 usedOf(const DriveInfo& d);
  std::map<QChar, qint64> used_;
};

}  // namespace vt
