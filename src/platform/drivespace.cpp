// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drivespace.h"

#include "platform/atomicfile.h"
#include "platform/hostlookup.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace vt {

namespace {

// Sum of the file sizes under `dir`, each rounded up to whole clusters.
qint64 usedBytes(const QByteArray& dir, const DriveInfo& drive, int depth = 0) {
  if (depth > 64) return 0;
  const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return 0;
  DIR* d = ::fdopendir(dfd);
  if (!d) {
    ::close(dfd);
    return 0;
  }
  qint64 used = 0;
  while (const dirent* e = ::readdir(d)) {
    if (isHiddenHostName(e->d_name)) {
      if (e->d_type == DT_REG || e->d_type == DT_UNKNOWN) removeAbandonedAtomicTempAt(dfd, e->d_name);
      continue;
    }
    struct stat st;
    if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(st.st_mode))
      used += inClusters(qint64(st.st_size), drive);
    else if (S_ISDIR(st.st_mode))
      used += usedBytes(dir + '/' + QByteArray(e->d_name), drive, depth + 1);
  }
  ::closedir(d);
  return used;
}

}  // namespace

qint64 clusterBytes(const DriveInfo& d) {
  // A drive built in code may say 0; one read from machine.ini never does.
  const quint64 bytes = quint64(d.bytesPerSector) * d.sectorsPerCluster;
  return bytes == 0 ? 1 : qint64(std::min<quint64>(bytes, LLONG_MAX));
}

qint64 inClusters(qint64 size, const DriveInfo& d) {
  const qint64 cluster = clusterBytes(d);
  const qint64 whole = size / cluster + (size % cluster > 0 ? 1 : 0);
  return whole > LLONG_MAX / cluster ? LLONG_MAX : whole * cluster;
}

ReportedClusters reportedClusters(const DriveInfo& d, qint64 total, qint64 free) {
  const qint64 cluster = clusterBytes(d);
  const qint64 maxClusters = std::max<qint64>(1, kMaxReportedDiskBytes / cluster);
  return ReportedClusters{quint32(std::min(total / cluster, maxClusters)), quint32(std::min(free / cluster, maxClusters))};
}

bool DriveSpace::space(const DriveInfo& d, qint64* total, qint64* free) {
  if (d.totalBytes > 0) {
    *total = d.totalBytes;
    *free = d.freeBytes ? *d.freeBytes : *total - usedOf(d);
  } else {
    // As large as the host's file system: then its free space is the truth too.
    struct statvfs vfs;
    if (::statvfs(d.hostRoot.toUtf8().constData(), &vfs) != 0) return false;
    *total = qint64(vfs.f_blocks) * qint64(vfs.f_frsize);
    *free = d.freeBytes ? *d.freeBytes : qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
  }
  *free = std::clamp<qint64>(*free, 0, *total);
  return true;
}

void DriveSpace::changed(const DriveInfo& d, qint64 delta) {
  auto it = used_.find(d.letter);
  if (it != used_.end()) it->second += delta;
}

void DriveSpace::replaced(const DriveInfo& d, qint64 oldSize, qint64 newSize) {
  changed(d, inClusters(newSize, d) - inClusters(oldSize, d));
}

qint64 DriveSpace::usedOf(const DriveInfo& d) {
  auto it = used_.find(d.letter);
  if (it == used_.end()) it = used_.emplace(d.letter, usedBytes(d.hostRoot.toUtf8(), d)).first;
  return it->second;
}

}  // namespace vt
