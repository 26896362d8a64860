// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the file benches share: a throw-away machine folder with a C: drive, made where
// creating 100,000 files is quick, and the median of repeated timings.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace bench {

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// A temporary folder named after the bench, holding "machine" with machine.ini and
// drives/C. Creating many files on a disk file system that just deleted as many crawls
// (ext4 hunts for inodes it may reuse), so memory is the default; `where` overrides.
// Null when it cannot be made.
inline std::unique_ptr<QTemporaryDir> makeMachineFolder(const char* benchName, QString where, const QByteArray& machineIni) {
  if (where.isEmpty()) where = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
  auto base = std::make_unique<QTemporaryDir>(where + QLatin1Char('/') + QLatin1String(benchName) + QStringLiteral("-XXXXXX"));
  if (!base->isValid() || !QDir().mkpath(base->path() + QStringLiteral("/machine/drives/C"))) {
    std::fprintf(stderr, "cannot create a temporary folder\n");
    return nullptr;
  }
  QFile ini(base->path() + QStringLiteral("/machine/machine.ini"));
  if (!ini.open(QIODevice::WriteOnly) || ini.write(machineIni) != machineIni.size()) return nullptr;
  return base;
}

}  // namespace bench
