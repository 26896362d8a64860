// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/singleinstance.h"

#include <QCryptographicHash>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

SingleInstance::~SingleInstance() {
  if (fd_ < 0) return;
  // Removed while still locked, so that nobody can take a lock on a file that is about to go.
  ::unlink(QFile::encodeName(path_).constData());
  ::close(fd_);
}

SingleInstance::Result SingleInstance::acquire() {
  // A lock the kernel holds for the open file: it ends with the process however that ends,
  // so a crashed run leaves nothing to be judged stale, and nothing is written or synced
  // to the disk on the way to the window.
  const QByteArray path = QFile::encodeName(path_);
  for (int attempt = 0; attempt < 8; ++attempt) {
    // Read-only is enough for a lock, and lets another user's Vantrel on a shared temporary
    // folder see this one's.
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      error_ =
          errno == EACCES
              ? QStringLiteral("cannot create the lock file %1: permission denied").arg(path_)
              : QStringLiteral("cannot create the lock file %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
      return Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return HeldByAnother;
      error_ = QStringLiteral("cannot lock %1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(err)));
      return Failed;
    }
    // The Vantrel that held it may have ended and removed the file between our open and our
    // lock: a lock on the removed file would guard nothing, so it is taken again.
    struct stat held, named;
    if (::fstat(fd, &held) == 0 && ::stat(path.constData(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
      fd_ = fd;
      return Acquired;
    }
    ::close(fd);
  }
  error_ = QStringLiteral("cannot lock %1: it keeps being replaced").arg(path_);
  return Failed;
}

}  // namespace vt
