// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recyclebin.h"

#include "platform/text.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <optional>

namespace vt {

// Windows 95 keeps one bin per fixed drive: X:\RECYCLED (hidden, system) holding the
// recycled files under generated names, a DESKTOP.INI that makes Explorer show the folder
// as the bin, and INFO, the index Explorer reads to list and restore them. INFO is written
// exactly as Windows 95 writes it, and records we do not touch are carried over byte for
// byte, so that Windows itself can go on working with a bin we have changed.

namespace {

constexpr int kHeaderSize = 0x14;
constexpr int kRecordSize = 0x118;
constexpr int kPathField = 260;                                  // MAX_PATH, NUL included
constexpr quint64 kFileTimeAtUnixEpoch = 116444736000000000ULL;  // 100-ns ticks 1601..1970

constexpr char kDesktopIni[] = "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n";

struct Record {
  QByteArray raw;  // the record's 0x118 bytes as they lie in INFO

  QByteArray path() const {
    const qsizetype nul = raw.indexOf('\0');
    return raw.first(nul >= 0 && nul < kPathField ? nul : kPathField);
  }
  quint32 dword(int offset) const { return qFromLittleEndian<quint32>(raw.constData() + offset); }
  quint32 index() const { return dword(0x104); }
  quint32 drive() const { return dword(0x108); }
  quint64 fileTime() const { return qFromLittleEndian<quint64>(raw.constData() + 0x10C); }
  quint32 size() const { return dword(0x114); }

  static Record make(const QByteArray& path, quint32 index, quint32 drive, quint64 fileTime, quint32 size) {
    Record r;
    r.raw = QByteArray(kRecordSize, '\0');
    char* p = r.raw.data();
    memcpy(p, path.constData(), size_t(path.size()));
    qToLittleEndian<quint32>(index, p + 0x104);
    qToLittleEndian<quint32>(drive, p + 0x108);
    qToLittleEndian<quint64>(fileTime, p + 0x10C);
    qToLittleEndian<quint32>(size, p + 0x114);
    return r;
  }
};

struct Info {
  // Wider than the header's DWORD: after a record with index 0xFFFFFFFF the next index
  // must not silently become 0, which another record may hold.
  quint64 nextIndex = 0;
  QList<Record> records;

  bool holdsIndex(quint32 index) const {
    return std::any_of(records.begin(), records.end(), [&](const Record& r) { return r.index() == index; });
  }

  QByteArray toBytes() const {
    QByteArray out(kHeaderSize, '\0');
    quint32 total = 0;  // a DWORD on Windows too: it wraps the same way
    for (const Record& r : records) total += r.size();
    char* h = out.data();
    qToLittleEndian<quint32>(0, h + 0x00);
    qToLittleEndian<quint32>(quint32(records.size()), h + 0x04);
    qToLittleEndian<quint32>(quint32(nextIndex), h + 0x08);
    qToLittleEndian<quint32>(kRecordSize, h + 0x0C);
    qToLittleEndian<quint32>(total, h + 0x10);
    out.reserve(kHeaderSize + records.size() * kRecordSize);
    for (const Record& r : records) out.append(r.raw);
    return out;
  }
};

// nullopt for a file that is no INFO of this layout: we would rather refuse than rewrite a
// file whose records we cannot read.
std::optional<Info> parseInfo(const QByteArray& bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  const char* h = bytes.constData();
  if (qFromLittleEndian<quint32>(h) != 0 || qFromLittleEndian<quint32>(h + 0x0C) != quint32(kRecordSize)) return std::nullopt;
  // A cut-off file (a crash while Windows wrote it) still yields its whole records.
  const qint64 count = std::min<qint64>(qFromLittleEndian<quint32>(h + 0x04), (bytes.size() - kHeaderSize) / kRecordSize);
  Info info;
  info.nextIndex = qFromLittleEndian<quint32>(h + 0x08);
  for (qint64 i = 0; i < count; ++i) {
    Record r{bytes.mid(kHeaderSize + i * kRecordSize, kRecordSize)};
    // Never hand out an index that is still in use, whatever the header claims.
    if (r.index() >= info.nextIndex) info.nextIndex = quint64(r.index()) + 1;
    info.records.append(std::move(r));
  }
  return info;
}

QString binFolder(QChar drive) { return QString(drive) + QStringLiteral(":\\RECYCLED"); }
QString infoPath(QChar drive) { return binFolder(drive) + QStringLiteral("\\INFO"); }

// The original name's extension, upper-cased, with its dot; empty without one.
QString extensionOf(QStringView path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('\\'));
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot <= slash || dot == path.size() - 1) return {};
  return winUpper(path.sliced(dot));
}

QString storedName(QChar drive, quint32 index, QStringView originalPath) {
  return QStringLiteral("D") + drive + QString::number(index) + extensionOf(originalPath);
}

QChar driveLetter(quint32 number) { return QChar(char16_t(u'A' + (number < 26 ? number : 0))); }

quint64 fileTimeNow() { return kFileTimeAtUnixEpoch + quint64(QDateTime::currentMSecsSinceEpoch()) * 10000ULL; }

// A FILETIME is unsigned and a damaged record may hold any value: worked out without
// signed arithmetic that could overflow.
QDateTime fromFileTime(quint64 ft) {
  const qint64 ms =
      ft >= kFileTimeAtUnixEpoch ? qint64((ft - kFileTimeAtUnixEpoch) / 10000) : -qint64((kFileTimeAtUnixEpoch - ft) / 10000);
  return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

QString parentOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('\\'));
  if (slash < 0) return {};
  return slash == 2 ? path.left(3) : path.left(slash);  // "C:\A.TXT" lies in "C:\"
}

// Reads the drive's INFO. A bin without INFO (never used, or emptied by hand) is empty.
// False when INFO is there but unreadable or of another layout.
bool readInfo(FileSystem& fs, QChar drive, Info* info) {
  const QString path = infoPath(drive);
  if (!fs.exists(path)) {
    *info = Info();
    return true;
  }
  const auto bytes = fs.readFile(path);
  if (!bytes) return false;
  auto parsed = parseInfo(*bytes);
  if (!parsed) return false;
  *info = std::move(*parsed);
  return true;
}

// Why a drive has no bin to use, or empty when it has one.
QString noBinReason(const FileSystem& fs, QChar drive) {
  const DriveInfo* d = fs.drive(drive);
  if (!d) return QStringLiteral("Drive %1: does not exist.").arg(drive);
  const char* kind = nullptr;
  switch (d->type) {
    case DriveType::Fixed: return d->ready ? QString() : QStringLiteral("Drive %1: is not ready.").arg(drive);
    case DriveType::Removable: kind = "a removable drive"; break;
    case DriveType::CdRom: kind = "a CD-ROM drive"; break;
    case DriveType::Remote: kind = "a network drive"; break;
    case DriveType::RamDisk: kind = "a RAM drive"; break;
    default: kind = "no fixed drive"; break;
  }
  return QStringLiteral("Drive %1: is %2; only fixed drives have a recycle bin.").arg(drive).arg(QLatin1String(kind));
}

QString unreadableInfo(QChar drive) {
  return QStringLiteral("%1 cannot be read or is no recycle bin index; it is left as it is.").arg(infoPath(drive));
}

}  // namespace

bool RecycleBin::recycle(QStringView winPath, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  const QString full = fs_.fullPath(winPath);
  if (full.size() < 4 || full.contains(QLatin1Char('*')) || full.contains(QLatin1Char('?')))
    return fail(QStringLiteral("%1 does not name a single file.").arg(winPath));
  const QChar drive = full[0];
  const QString root = full.left(3);
  if (const QString why = noBinReason(fs_, drive); !why.isEmpty()) return fail(why);
  if (!fs_.exists(full)) return fail(QStringLiteral("%1: %2").arg(full, describe(fs_.lastError())));
  if (fs_.isDirectory(full)) return fail(QStringLiteral("%1 is a folder; only files go into the recycle bin.").arg(full));
  const QString bin = binFolder(drive);
  // The bin's own files are not recycled into themselves.
  if (ansiStartsWithNoCase(toAnsi(full), toAnsi(bin + QLatin1Char('\\'))) || winEqualNoCase(full, bin))
    return fail(QStringLiteral("%1 belongs to the recycle bin itself.").arg(full));

  // Record the name as it is spelled on disk, so that a restore brings back that spelling.
  // A path that named an entry by its alias is recorded in long names: a restore must never
  // make a folder named as an alias.
  QString original = full;
  FindData found;
  if (auto search = fs_.findFirst(full, AttrReadOnly | AttrHidden | AttrSystem | AttrArchive, &found))
    original = full.left(full.lastIndexOf(QLatin1Char('\\')) + 1) + found.name;
  if (const std::optional<QString> longPath = fs_.longPathName(full);
      longPath && longPath->compare(original, Qt::CaseInsensitive) != 0)
    original = *longPath;
  const QByteArray ansiPath = toAnsi(original);
  if (ansiPath.size() >= kPathField)
    return fail(QStringLiteral("%1 is longer than the %2 characters the recycle bin can record.").arg(full).arg(kPathField - 1));

  const qint64 fileSize = fs_.fileSize(full);
  if (fileSize < 0) return fail(QStringLiteral("%1: %2").arg(full, describe(fs_.lastError())));
  quint32 spc = 0, bps = 0, freeClusters = 0, totalClusters = 0;
  if (!fs_.diskFreeSpace(root, &spc, &bps, &freeClusters, &totalClusters) || spc == 0 || bps == 0) {
    const DriveInfo* d = fs_.drive(drive);
    spc = d ? d->sectorsPerCluster : 1;
    bps = d ? d->bytesPerSector : 512;
  }
  const quint64 cluster = quint64(spc) * bps;
  const quint64 onDisk = (quint64(fileSize) + cluster - 1) / cluster * cluster;

  // Everything is read and checked before anything changes.
  Info info;
  const bool binExisted = fs_.exists(bin);
  if (binExisted && !fs_.isDirectory(bin)) return fail(QStringLiteral("%1 is a file, not a recycle bin.").arg(bin));
  if (binExisted && !readInfo(fs_, drive, &info)) return fail(unreadableInfo(drive));

  // An index no record holds and no stored file carries. Counting goes on from the
  // header; only when the count has run out at 0xFFFFFFFF does the search start again at 0.
  auto taken = [&](quint64 i) {
    return info.holdsIndex(quint32(i)) || fs_.exists(bin + QLatin1Char('\\') + storedName(drive, quint32(i), original));
  };
  quint64 index = info.nextIndex;
  const qsizetype limit = info.records.size() + 10000;
  for (qsizetype tries = 0; index > 0xFFFFFFFFULL || taken(index); ++tries) {
    if (tries > limit) return fail(QStringLiteral("The recycle bin of drive %1: has no free index; empty it first.").arg(drive));
    index = index >= 0xFFFFFFFFULL ? 0 : index + 1;
  }
  const QString stored = bin + QLatin1Char('\\') + storedName(drive, quint32(index), original);

  const QString desktopIni = bin + QStringLiteral("\\DESKTOP.INI");
  bool createdBin = false, createdIni = false;
  auto undoBin = [&] {
    if (createdIni) {
      fs_.setAttributes(desktopIni, 0);
      fs_.deleteFile(desktopIni);
    }
    if (createdBin) fs_.removeDirectory(bin);
  };
  // Taken before an undo step overwrites lastError().
  auto reason = [&](const QString& what) { return QStringLiteral("%1: %2").arg(what, describe(fs_.lastError())); };
  if (!binExisted) {
    if (!fs_.createDirectory(bin)) return fail(reason(QStringLiteral("cannot create %1").arg(bin)));
    createdBin = true;
    fs_.setAttributes(bin, AttrHidden | AttrSystem);
  }
  if (!fs_.exists(desktopIni)) {
    if (!fs_.writeFile(desktopIni, QByteArray(kDesktopIni))) {
      const QString why = reason(QStringLiteral("cannot write %1").arg(desktopIni));
      undoBin();
      return fail(why);
    }
    createdIni = true;
    fs_.setAttributes(desktopIni, AttrHidden | AttrSystem);
  }

  if (!fs_.moveFile(full, stored)) {
    const QString why = reason(QStringLiteral("cannot move %1 to %2").arg(full, stored));
    undoBin();
    return fail(why);
  }
  info.records.append(Record::make(ansiPath, quint32(index), quint32(drive.unicode() - u'A'), fileTimeNow(),
                                   onDisk > 0xFFFFFFFFULL ? 0xFFFFFFFFU : quint32(onDisk)));
  info.nextIndex = index + 1;
  if (!fs_.writeFile(infoPath(drive), info.toBytes())) {
    const QString why = reason(QStringLiteral("cannot write %1").arg(infoPath(drive)));
    fs_.moveFile(stored, full);
    undoBin();
    return fail(why);
  }
  return true;
}

QList<RecycledItem> RecycleBin::list() {
  QList<RecycledItem> items;
  for (const auto& [letter, d] : fs_.drives()) {
    if (d.type != DriveType::Fixed || !d.ready) continue;
    Info info;
    if (!readInfo(fs_, letter, &info)) continue;
    for (const Record& r : info.records) {
      RecycledItem item;
      item.originalPath = fromAnsi(r.path());
      item.index = r.index();
      item.driveNumber = int(r.drive());
      item.deleted = fromFileTime(r.fileTime());
      item.sizeOnDisk = r.size();
      item.storedPath = binFolder(letter) + QLatin1Char('\\') + storedName(driveLetter(r.drive()), r.index(), item.originalPath);
      items.append(item);
    }
  }
  return items;
}

bool RecycleBin::restore(QChar drive, quint32 index, QString* error, QString* restored) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  drive = drive.toUpper();
  if (const QString why = noBinReason(fs_, drive); !why.isEmpty()) return fail(why);
  Info info;
  if (!readInfo(fs_, drive, &info)) return fail(unreadableInfo(drive));
  qsizetype at = -1;
  for (qsizetype i = 0; i < info.records.size(); ++i) {
    if (info.records[i].index() == index) {
      at = i;
      break;
    }
  }
  if (at < 0) return fail(QStringLiteral("The recycle bin of drive %1: holds no item %2.").arg(drive).arg(index));

  const Record& r = info.records[at];
  const QString original = fs_.fullPath(fromAnsi(r.path()));
  const QString stored = binFolder(drive) + QLatin1Char('\\') + storedName(driveLetter(r.drive()), index, original);
  if (original.isEmpty()) return fail(QStringLiteral("The recorded path is not valid."));
  if (!fs_.exists(stored)) return fail(QStringLiteral("%1 is missing from the recycle bin.").arg(stored));
  if (fs_.exists(original)) return fail(QStringLiteral("%1 already exists.").arg(original));
  const QString parent = parentOf(original);
  if (parent.isEmpty() || !fs_.isDirectory(parent)) return fail(QStringLiteral("The folder %1 no longer exists.").arg(parent));

  if (!fs_.moveFile(stored, original))
    return fail(QStringLiteral("%1 cannot be restored: %2").arg(original, describe(fs_.lastError())));
  info.records.removeAt(at);
  if (!fs_.writeFile(infoPath(drive), info.toBytes())) {
    const WinError why = fs_.lastError();
    fs_.moveFile(original, stored);
    return fail(QStringLiteral("%1 cannot be written: %2").arg(infoPath(drive), describe(why)));
  }
  if (restored) *restored = original;
  return true;
}

bool RecycleBin::empty(QChar drive, QString* error) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  drive = drive.toUpper();
  if (const QString why = noBinReason(fs_, drive); !why.isEmpty()) return fail(why);
  if (!fs_.exists(binFolder(drive))) return true;
  Info info;
  if (!readInfo(fs_, drive, &info)) return fail(unreadableInfo(drive));
  if (info.records.isEmpty()) return true;

  // A file that will not go keeps its record, so that it stays listed and can be restored.
  QList<Record> kept;
  QString firstProblem;
  for (const Record& r : info.records) {
    const QString stored =
        binFolder(drive) + QLatin1Char('\\') + storedName(driveLetter(r.drive()), r.index(), fromAnsi(r.path()));
    if (fs_.exists(stored)) {
      fs_.setAttributes(stored, 0);  // a recycled read-only file goes too, as on Windows
      if (!fs_.deleteFile(stored)) {
        if (firstProblem.isEmpty()) firstProblem = QStringLiteral("%1: %2").arg(stored, describe(fs_.lastError()));
        kept.append(r);
        continue;
      }
    }
  }
  info.records = kept;
  if (!fs_.writeFile(infoPath(drive), info.toBytes()))
    return fail(QStringLiteral("%1 cannot be written: %2").arg(infoPath(drive), describe(fs_.lastError())));
  if (!kept.isEmpty())
    return fail(QStringLiteral("%1 of the recycled files could not be deleted and stay in the bin (%2).")
                    .arg(kept.size())
                    .arg(firstProblem));
  return true;
}

}  // namespace vt
