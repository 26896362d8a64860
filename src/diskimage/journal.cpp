// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskimage/journal.h"

#include "platform/atomicfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt::disk {

namespace {

constexpr QByteArrayView kMagic = "VANTREL-UNDO-1\n";
constexpr int kSumBytes = 32;

QString systemError(int e = errno) { return QString::fromLocal8Bit(std::strerror(e)); }

void putNumber(QByteArray* out, quint64 v) {
  char b[8];
  qToLittleEndian(v, b);
  out->append(b, 8);
}

void putBlob(QByteArray* out, const QByteArray& blob) {
  putNumber(out, quint64(blob.size()));
  out->append(blob);
}

// Reads what putNumber and putBlob wrote, never past the end.
class Reader {
 public:
  explicit Reader(QByteArrayView bytes) : bytes_(bytes) {}
  bool number(quint64* v) {
    if (bytes_.size() - at_ < 8) return false;
    *v = qFromLittleEndian<quint64>(bytes_.data() + at_);
    at_ += 8;
    return true;
  }
  bool blob(QByteArray* out) {
    quint64 n = 0;
    if (!number(&n) || n > quint64(bytes_.size() - at_)) return false;
    *out = bytes_.sliced(at_, qsizetype(n)).toByteArray();
    at_ += qsizetype(n);
    return true;
  }
  bool done() const { return at_ == bytes_.size(); }

 private:
  QByteArrayView bytes_;
  qsizetype at_ = 0;
};

bool syncFolderOf(const QString& path) {
  const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool writeJournal(const QString& journal, const QString& image, const std::vector<imagesync::Patch>& patches,
                  const QByteArray& record, QString* error) {
  auto fail = [&](const QString& why) {
    *error = why;
    return false;
  };
  const QByteArray imagePath = QFile::encodeName(QFileInfo(image).absoluteFilePath());
  const int in = ::open(imagePath.constData(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (in < 0 || ::fstat(in, &st) != 0) {
    if (in >= 0) ::close(in);
    return fail(QStringLiteral("cannot read %1: %2").arg(image, systemError()));
  }
  QByteArray out(kMagic.data(), kMagic.size());
  putBlob(&out, imagePath);
  putNumber(&out, quint64(st.st_size));
  putNumber(&out, quint64(st.st_mtim.tv_sec));
  putNumber(&out, quint64(st.st_mtim.tv_nsec));
  putBlob(&out, record);
  putNumber(&out, patches.size());
  for (const imagesync::Patch& p : patches) {
    QByteArray old(p.bytes.size(), Qt::Uninitialized);
    if (!readAt(in, old.data(), old.size(), p.at)) {
      ::close(in);
      return fail(QStringLiteral("cannot read %1 at byte %2").arg(image).arg(p.at));
    }
    putNumber(&out, quint64(p.at));
    putBlob(&out, old);
  }
  ::close(in);
  out += QCryptographicHash::hash(out, QCryptographicHash::Sha256);
  const QByteArray path = QFile::encodeName(journal);
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return fail(QStringLiteral("cannot write %1: %2").arg(journal, systemError()));
  const bool ok = writeAt(fd, out.constData(), out.size(), 0) && ::fsync(fd) == 0;
  const int e = errno;
  ::close(fd);
  if (!ok || !syncFolderOf(journal)) {
    ::unlink(path.constData());
    return fail(QStringLiteral("cannot write %1: %2").arg(journal, systemError(e)));
  }
  return true;
}

bool writePatches(const QString& image, const std::vector<imagesync::Patch>& patches, QString* error) {
  const int fd = ::open(QFile::encodeName(image).constData(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = QStringLiteral("cannot write %1: %2").arg(image, systemError());
    return false;
  }
  bool ok = true;
  for (const imagesync::Patch& p : patches) ok = ok && writeAt(fd, p.bytes.constData(), p.bytes.size(), p.at);
  ok = ok && ::fsync(fd) == 0;
  const int e = errno;
  ::close(fd);
  if (!ok) *error = QStringLiteral("cannot write %1: %2").arg(image, systemError(e));
  return ok;
}

bool dropJournal(const QString& journal, QString* error) {
  if (::unlink(QFile::encodeName(journal).constData()) != 0 && errno != ENOENT) {
    *error = QStringLiteral("cannot remove %1: %2").arg(journal, systemError());
    return false;
  }
  syncFolderOf(journal);
  return true;
}

bool rollBack(const QString& journal, const QString& recordPath, QString* error) {
  QFile f(journal);
  if (!f.exists()) return true;
  auto fail = [&](const QString& why) {
    *error = QStringLiteral("an interrupted export left %1, which cannot be undone: %2").arg(journal, why);
    return false;
  };
  if (!f.open(QIODevice::ReadOnly)) return fail(f.errorString());
  const QByteArray all = f.readAll();
  f.close();
  // Cut off while it was written: the image was not touched yet.
  if (all.size() < kMagic.size() + kSumBytes || !all.startsWith(kMagic) ||
      QCryptographicHash::hash(QByteArrayView(all).first(all.size() - kSumBytes), QCryptographicHash::Sha256) !=
          all.right(kSumBytes))
    return dropJournal(journal, error);
  Reader r(QByteArrayView(all).sliced(kMagic.size(), all.size() - kMagic.size() - kSumBytes));
  QByteArray imagePath, record;
  quint64 imageBytes = 0, count = 0, mtimeSec = 0, mtimeNsec = 0;
  if (!r.blob(&imagePath) || !r.number(&imageBytes) || !r.number(&mtimeSec) || !r.number(&mtimeNsec) || !r.blob(&record) ||
      !r.number(&count))
    return fail(QStringLiteral("it is damaged"));
  const int fd = ::open(imagePath.constData(), O_WRONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || quint64(st.st_size) != imageBytes) {
    if (fd >= 0) ::close(fd);
    return fail(QStringLiteral("%1 is missing or no longer of its size").arg(QFile::decodeName(imagePath)));
  }
  bool ok = true;
  for (quint64 i = 0; ok && i < count; ++i) {
    quint64 at = 0;
    QByteArray old;
    ok = r.number(&at) && r.blob(&old) && at + quint64(old.size()) <= imageBytes &&
         writeAt(fd, old.constData(), old.size(), qint64(at));
  }
  // The image's time as it was too: the record's stamp of it then holds again.
  const struct timespec times[2] = {{0, UTIME_OMIT}, {time_t(mtimeSec), long(mtimeNsec)}};
  ok = ok && r.done() && ::futimens(fd, times) == 0 && ::fsync(fd) == 0;
  const int e = errno;
  ::close(fd);
  if (!ok) return fail(QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(imagePath), systemError(e)));
  int err = 0;
  if (!writeFileAtomically(recordPath, record, &err))
    return fail(QStringLiteral("cannot write %1: %2").arg(recordPath, systemError(err)));
  return dropJournal(journal, error);
}

}  // namespace vt::disk
