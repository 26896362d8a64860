// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drivespace.h"

#include <gtest/gtest.h>

#include <climits>

namespace vt {
namespace {

DriveInfo withClusters(quint32 bytesPerSector, quint32 sectorsPerCluster) {
  DriveInfo d;
  d.bytesPerSector = bytesPerSector;
  d.sectorsPerCluster = sectorsPerCluster;
  return d;
}

TEST(DriveSpace, GetDiskFreeSpaceReportsAtMostTheLargestFat16Volume) {
  constexpr qint64 GB = 1024LL * 1024 * 1024;
  struct Case {
    quint32 bps, spc;
    qint64 total, free;
    quint32 totalClusters, freeClusters;
  } cases[] = {
      {512, 16, 500LL * 1024 * 1024, 1024 * 1024, 64000, 128},
      {512, 8, 10 * GB, 10 * GB, 524208, 524208},  // 2,147,155,968 bytes in 4 KB clusters
      {512, 64, 65526LL * 32768, 65525LL * 32768, 65526, 65525},
      {512, 64, 65527LL * 32768, 65527LL * 32768, 65526, 65526},
      {4096, 1u << 20, 8 * GB, 8 * GB, 1, 1},  // a cluster larger than the limit still counts once
      // Facts no machine.ini gives, from code: neither divides by zero nor overflows.
      {0, 64, 1000, 10, 1000, 10},
      {0xFFFFFFFFu, 0xFFFFFFFFu, 8 * GB, 8 * GB, 0, 0},
  };
  for (const Case& c : cases) {
    const ReportedClusters r = reportedClusters(withClusters(c.bps, c.spc), c.total, c.free);
    EXPECT_EQ(r.total, c.totalClusters) << c.bps << "x" << c.spc << " " << c.total;
    EXPECT_EQ(r.free, c.freeClusters) << c.bps << "x" << c.spc << " " << c.free;
  }
}

TEST(DriveSpace, FilesTakeWholeClusters) {
  const DriveInfo kb8 = withClusters(512, 16), huge = withClusters(0xFFFFFFFFu, 0xFFFFFFFFu);
  struct Case {
    const DriveInfo& d;
    qint64 size, used;
  } cases[] = {
      {kb8, 0, 0}, {kb8, 1, 8192}, {kb8, 8192, 8192}, {kb8, 8193, 16384}, {huge, 0, 0}, {huge, 1, LLONG_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(inClusters(c.size, c.d), c.used) << c.size;
}

}  // namespace
}  // namespace vt
