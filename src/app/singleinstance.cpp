// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vt {

SingleInstance::SingleInstance(const QString& machineFolder, const QString& lockFolder) {
  QString real = QFileInfo(machineFolder).canonicalFilePath();
  if (real.isEmpty()) real = QFileInfo(machineFolder).absoluteFilePath();
  const QByteArray id = QCryptographicHash::hash(real.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  QString dir = lockFolder;
  if (dir.isEmpty()) dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  path_ = dir + QStringLiteral("/Vantrel by Kestrin-") + QString::fromLatin1(id) + QStringLiteral(".lock");
}

SingleInstance::Result SingleInstance::acquire() {
  lock_ = std::make_unique<QLockFile>(path_);
  lock_->setStaleLockTime(0);  // a lock is stale only when its process is gone
  if (lock_->tryLock(0)) return Acquired;
  switch (lock_->error()) {
    case QLockFile::LockFailedError: return HeldByAnother;
    case QLockFile::PermissionError:
      error_ = QStringLiteral("cannot create the lock file %1: permission denied").arg(path_);
      return Failed;
    default: error_ = QStringLiteral("cannot create the lock file %1").arg(path_); return Failed;
  }
}

}  // namespace vt
