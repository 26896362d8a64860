// SPDX-License-Identifier: GPL-3.0-or-later
// The recycle bin's INFO from a machine folder, driven through the bin as the program
// uses it, on a small machine in memory: whatever INFO holds, a new file gets an index no
// other record has and comes back from it, a restore brings back exactly the file it names,
// and a refused step leaves INFO and the files as they were.
#include "fuzzcheck.h"
#include "platform/machine.h"
#include "platform/recyclebin.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace vt;

// Every step of the bin writes and syncs files.
struct Setup : fuzz::MemoryMachine {
  Setup()
      : MemoryMachine(
            "[Machine]\r\nPlatform=Win95\r\nAttributeStore=file\r\n[Drive C]\r\nType=fixed\r\n[Drive D]\r\nType=cdrom\r\n",
            {"drives/C/RECYCLED", "drives/D"}) {}
  QString host(const QString& relative) const { return dir->path() + QStringLiteral("/drives/C/") + relative; }
};

QByteArray hostFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
}

void putHostFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) fuzz::failed("cannot write", path.toStdString());
}

bool sameItems(const QList<RecycledItem>& a, const QList<RecycledItem>& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i)
    if (a[i].index != b[i].index || a[i].originalPath != b[i].originalPath || a[i].storedPath != b[i].storedPath) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup s;
  if (size < 1) return 0;
  const uint8_t pick = data[0];
  const QByteArray info(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

  // A clean drive C: but for INFO and the file to recycle.
  QDir(s.host(QString())).removeRecursively();
  QDir(s.host(QString())).mkpath(QStringLiteral("RECYCLED"));
  QDir(s.host(QString())).mkpath(QStringLiteral("DOCS"));
  putHostFile(s.host(QStringLiteral("RECYCLED/INFO")), info);
  putHostFile(s.host(QStringLiteral("DOCS/F.TXT")), "payload");

  FileSystem& fs = s.machine->files();
  RecycleBin bin(fs);
  const QList<RecycledItem> listed = bin.list();

  // Half of the runs restore a record whose stored file is there, half recycle a file.
  if (!listed.isEmpty() && (pick & 0x80)) {
    const RecycledItem& it = listed[(pick & 0x7F) % listed.size()];
    const auto storedHost = fs.hostPathForCreate(it.storedPath);
    if (storedHost && !QFile::exists(*storedHost)) {
      putHostFile(*storedHost, "stored");
      QString why, restored;
      const bool ok = bin.restore(QLatin1Char('C'), it.index, &why, &restored);
      if (ok) {
        FUZZ_CHECK(fs.readFile(restored) == QByteArray("stored"), restored.toStdString());
        FUZZ_CHECK(fs.driveType(restored.left(3)) == DriveType::Fixed, restored.toStdString());
        FUZZ_CHECK(!QFile::exists(*storedHost));
        FUZZ_CHECK(bin.list().size() == listed.size() - 1);
      } else {
        FUZZ_CHECK(!why.isEmpty());
        FUZZ_CHECK(hostFile(s.host(QStringLiteral("RECYCLED/INFO"))) == info, why.toStdString());
        FUZZ_CHECK(hostFile(*storedHost) == QByteArray("stored"), why.toStdString());
      }
      return 0;
    }
  }

  const QByteArray infoBefore = hostFile(s.host(QStringLiteral("RECYCLED/INFO")));
  QString why;
  if (!bin.recycle(u"C:\\DOCS\\F.TXT", &why)) {
    FUZZ_CHECK(!why.isEmpty());
    FUZZ_CHECK(hostFile(s.host(QStringLiteral("DOCS/F.TXT"))) == QByteArray("payload"), why.toStdString());
    FUZZ_CHECK(hostFile(s.host(QStringLiteral("RECYCLED/INFO"))) == infoBefore, why.toStdString());
    return 0;
  }
  const QList<RecycledItem> after = bin.list();
  FUZZ_CHECK(after.size() == listed.size() + 1);
  const RecycledItem& added = after.last();
  FUZZ_CHECK(added.originalPath == QLatin1String("C:\\DOCS\\F.TXT"));
  for (qsizetype i = 0; i + 1 < after.size(); ++i) FUZZ_CHECK(after[i].index != added.index, std::to_string(added.index));
  FUZZ_CHECK(fs.readFile(added.storedPath) == QByteArray("payload"));

  QString restored;
  FUZZ_CHECK(bin.restore(QLatin1Char('C'), added.index, &why, &restored), why.toStdString());
  FUZZ_CHECK(restored == QLatin1String("C:\\DOCS\\F.TXT"));
  FUZZ_CHECK(hostFile(s.host(QStringLiteral("DOCS/F.TXT"))) == QByteArray("payload"));
  FUZZ_CHECK(sameItems(bin.list(), listed));
  return 0;
}
