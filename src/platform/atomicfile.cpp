#include "platform/atomicfile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

bool writeFileAtomically(const QString& hostPath, const QByteArray& bytes, int* errnoOut) {
  int err = 0;
  const QByteArray target = QFile::encodeName(hostPath);
  const QFileInfo info(hostPath);
  QByteArray tmpl = QFile::encodeName(info.absolutePath() + QLatin1Char('/') + QLatin1String(kAtomicTempPrefix) +
                                      info.fileName() + QStringLiteral(".XXXXXX"));
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) {
    if (errnoOut) *errnoOut = errno;
    return false;
  }
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
  if (::close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && ::rename(tmpl.constData(), target.constData()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    ::unlink(tmpl.constData());
    if (errnoOut) *errnoOut = err;
  }
  return ok;
}

}  // namespace vt
