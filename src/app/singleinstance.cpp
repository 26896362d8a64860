#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vt {

SingleInstance::SingleInstance(const QString& machineFolder) {
  QString real = QFileInfo(machineFolder).canonicalFilePath();
  if (real.isEmpty()) real = QFileInfo(machineFolder).absoluteFilePath();
  const QByteArray id = QCryptographicHash::hash(real.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  path_ = dir + QStringLiteral("/Vantrel by Kestrin-") + QString::fromLatin1(id) + QStringLiteral(".lock");
}

bool SingleInstance::acquire() {
  lock_ = std::make_unique<QLockFile>(path_);
  lock_->setStaleLockTime(0);  // a lock is stale only when its process is gone
  return lock_->tryLock(0);
}

}  // namespace vt
