// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vt {

namespace {
qint64 g_failAfter = -1;

bool writeAll(int fd, const char* data, qint64 size, int* err) {
  qint64 limit = size;
  if (g_failAfter >= 0 && g_failAfter < size) limit = g_failAfter;
  qint64 done = 0;
  while (done < limit) {
    ssize_t n = ::write(fd, data + done, size_t(limit - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    done += n;
  }
  if (limit < size) {
    *err = ENOSPC;
    return false;
  }
  return true;
}

// Carries the old file's extended attributes (its DOS attributes among them) over.
void copyXattrs(const char* from, int toFd) {
  ssize_t len = ::llistxattr(from, nullptr, 0);
  if (len <= 0) return;
  QByteArray names(len, '\0');
  len = ::llistxattr(from, names.data(), size_t(names.size()));
  if (len <= 0) return;
  for (const char* n = names.constData(); n < names.constData() + len; n += std::strlen(n) + 1) {
    ssize_t vlen = ::lgetxattr(from, n, nullptr, 0);
    if (vlen < 0) continue;
    QByteArray value(vlen, '\0');
    vlen = ::lgetxattr(from, n, value.data(), size_t(value.size()));
    if (vlen >= 0) ::fsetxattr(toFd, n, value.constData(), size_t(vlen), 0);
  }
}
}  // namespace

void setAtomicWriteFailureAfter(qint64 bytes) { g_failAfter = bytes; }

bool isAtomicTempName(const char* name) {
  const size_t prefix = std::strlen(kAtomicTempPrefix);
  if (std::strncmp(name, kAtomicTempPrefix, prefix) != 0 || std::strlen(name) != prefix + 6) return false;
  for (const char* c = name + prefix; *c; ++c)
    if (!((*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9'))) return false;
  return true;
}

namespace {
bool removeIfUnlocked(int dirFd, const char* name) {
  const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  // Unlinked while the lock is held, so a writer that starts to wait for the lock only
  // ever finds its file gone and reports its write as failed.
  bool removed = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
    removed = ::unlinkat(dirFd, name, 0) == 0;
  ::close(fd);
  return removed;
}
}  // namespace

bool removeAbandonedAtomicTemp(const char* hostPath) { return removeIfUnlocked(AT_FDCWD, hostPath); }

bool removeAbandonedAtomicTempAt(int dirFd, const char* name) { return isAtomicTempName(name) && removeIfUnlocked(dirFd, name); }

bool writeFileAtomically(const QString& hostPath, const QByteArray& bytes, int* errnoOut) {
  int err = 0;
  const QByteArray target = QFile::encodeName(hostPath);
  const QFileInfo info(hostPath);
  QByteArray tmpl =
      QFile::encodeName(info.absolutePath() + QLatin1Char('/') + QLatin1String(kAtomicTempPrefix) + QStringLiteral("XXXXXX"));
  int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
  if (fd < 0) {
    if (errnoOut) *errnoOut = errno;
    return false;
  }
  // Held until the file has its final name: it tells a clean-up that this write is alive.
  ::flock(fd, LOCK_EX);
  bool ok = writeAll(fd, bytes.constData(), bytes.size(), &err);
  struct stat st;
  if (ok) {
    if (::lstat(target.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
      ::fchmod(fd, st.st_mode & 07777);
      copyXattrs(target.constData(), fd);
    } else {
      ::fchmod(fd, 0644);
    }
    if (::fsync(fd) != 0) {
      err = errno;
      ok = false;
    }
  }
  // Renamed before the close gives up the lock; after fsync, closing cannot lose data.
  if (ok && ::rename(tmpl.constData(), target.constData()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) ::unlink(tmpl.constData());
  ::close(fd);
  if (!ok && errnoOut) *errnoOut = err;
  return ok;
}

bool readAt(int fd, char* data, qint64 size, qint64 at) {
  for (qint64 done = 0; done < size;) {
    const ssize_t r = ::pread(fd, data + done, size_t(size - done), at + done);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += r;
  }
  return true;
}

bool writeAt(int fd, const char* data, qint64 size, qint64 at) {
  for (qint64 done = 0; done < size;) {
    const ssize_t w = ::pwrite(fd, data + done, size_t(size - done), at + done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += w;
  }
  return true;
}

}  // namespace vt
