// SPDX-License-Identifier: GPL-3.0-or-later
#include "diskimage/diskimage.h"

#include "diskimage/imageformat.h"
#include "diskimage/journal.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/fat/fatimage.h"
#include "platform/fat/imagesync.h"
#include "platform/fat/mtools.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "platform/text.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt::disk {

namespace {

// What tells an image packed by qemu-img from one changed since: reading it all again on
// every export would cost as much as the conversion.
struct Identity {
  qint64 bytes = -1;
  qint64 mtimeNs = -1;
  QByteArray headHash;  // SHA-256 of the first 64 KiB, in hex
  bool operator==(const Identity&) const = default;
};

Identity identityOf(const QString& path) {
  Identity id;
  struct stat st;
  QFile f(path);
  if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !f.open(QIODevice::ReadOnly)) return id;
  id.bytes = st.st_size;
  id.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.headHash = QCryptographicHash::hash(f.read(65536), QCryptographicHash::Sha256).toHex();
  return id;
}

// What tells that nothing wrote into a file since: no write leaves its change time as it was.
struct Stamp {
  qint64 bytes = -1, inode = -1, mtimeNs = -1, ctimeNs = -1;
  bool operator==(const Stamp&) const = default;
  bool known() const { return inode >= 0 && mtimeNs >= 0 && ctimeNs >= 0; }
};

Stamp stampOf(const QString& path) {
  Stamp s;
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return s;
  s.bytes = st.st_size;
  s.inode = qint64(st.st_ino);
  s.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return s;
}

// A hash of what a volume's files and folders are made of: its boot sector and what
// precedes the FAT, the FATs, the folders. Whatever Windows changes on a drive changes these.
QByteArray structuresHash(QIODevice& disk, const fat::Layout& l) {
  QCryptographicHash h(QCryptographicHash::Sha256);
  auto add = [&](qint64 at, qint64 bytes) {
    if (bytes <= 0) return true;
    if (!disk.seek(at)) return false;
    const QByteArray part = disk.read(bytes);
    h.addData(part);
    return part.size() == bytes;
  };
  bool ok = add(l.reservedAt, l.reservedBytes) && add(l.fatAt, l.fatBytes) && add(l.rootAt, l.rootBytes);
  for (quint32 c : l.folderClusters) ok = ok && add(l.clusterAt(c), l.clusterBytes);
  return ok ? h.result().toHex() : QByteArray();
}

// One drive of the machine and the partition it came from.
struct DriveRecord {
  char letter = 'C';
  int partition = 0;
  qint64 offset = 0;
  bool haveOffset = false;
  QByteArray structures;  // structuresHash of the volume as the import or export left it
  imagesync::Tree files;
};

struct Record {
  qint64 imageBytes = 0;  // of the raw data worked on: the image itself, or its raw copy
  Stamp stamp;            // of the same, as the import or export left it
  QByteArray imageHash;   // of all of it, where an older record or a check on request gave it; else empty
  Format format = Format::Raw;
  Identity original;                // of the packed image a raw copy was made from
  bool wholeDisk = false;           // every FAT partition was imported, not one picked by its number
  std::vector<DriveRecord> drives;  // C: first
};

// The raw copy of a packed image, inside the machine folder: never beside the user's image.
constexpr const char kRawCopyName[] = "diskimage.raw";

// A read-only window on the first `bytes` of a file: the disk data of a fixed VHD, without
// the footer that follows it.
class DataPart : public QIODevice {
 public:
  DataPart(const QString& path, qint64 bytes) : file_(path), bytes_(bytes) {}
  bool openData() { return file_.open(QIODevice::ReadOnly) && QIODevice::open(QIODevice::ReadOnly); }
  qint64 size() const override { return bytes_; }
  QString errorString() const { return file_.errorString(); }
  int handle() const { return file_.handle(); }

 protected:
  qint64 readData(char* data, qint64 max) override {
    const qint64 at = pos();
    if (at >= bytes_) return 0;
    if (!file_.seek(at)) return -1;
    return file_.read(data, std::min(max, bytes_ - at));
  }
  qint64 writeData(const char*, qint64) override { return -1; }

 private:
  QFile file_;
  qint64 bytes_;
};

constexpr const char kFilesHeading[] = "[Files]";

QByteArray formatFiles(const imagesync::Tree& files) {
  QByteArray out;
  for (const auto& [path, e] : files) {
    out += (e.folder ? "D\t0x" : "F\t0x") + QByteArray::number(e.attributes, 16) + '\t' + QByteArray::number(e.size) + '\t' +
           QByteArray::number(e.mtime) + '\t' +
           (e.folder           ? QByteArray("-")
            : e.hash.isEmpty() ? e.stamp
                               : e.hash) +
           '\t' + path.toUtf8() + '\n';
  }
  return out;
}

// Drive C:'s partition and files come first, without a heading of their own, as in the
// records of machines that had no other drive; each further drive follows under [Drive X]
// and [Files X].
QByteArray formatRecord(const Record& r, const QString& image) {
  QByteArray out;
  out +=
      "; What Vantrel took the drives from, and each file as it was then; the export writes\n"
      "; back what differs. Image= only tells where it came from.\n";
  out += "Image=" + image.toUtf8() + '\n';
  out += "ImageBytes=" + QByteArray::number(r.imageBytes) + '\n';
  if (!r.imageHash.isEmpty()) out += "ImageSHA256=" + r.imageHash + '\n';
  if (r.stamp.known()) {
    out += "ImageInode=" + QByteArray::number(r.stamp.inode) + '\n';
    out += "ImageMTimeNs=" + QByteArray::number(r.stamp.mtimeNs) + '\n';
    out += "ImageCTimeNs=" + QByteArray::number(r.stamp.ctimeNs) + '\n';
  }
  if (r.format != Format::Raw) out += "Format=" + formatName(r.format).toUtf8() + '\n';
  if (needsConversion(r.format)) {
    out += "OriginalBytes=" + QByteArray::number(r.original.bytes) + '\n';
    out += "OriginalMTimeNs=" + QByteArray::number(r.original.mtimeNs) + '\n';
    out += "OriginalHeadSHA256=" + r.original.headHash + '\n';
  }
  if (r.wholeDisk) out += "WholeDisk=1\n";
  for (const DriveRecord& d : r.drives) {
    if (d.letter != 'C') out += QByteArray("[Drive ") + d.letter + "]\n";
    out += "Partition=" + QByteArray::number(d.partition) + '\n';
    out += "Offset=" + QByteArray::number(d.offset) + '\n';
    if (!d.structures.isEmpty()) out += "Structures=" + d.structures + '\n';
    out += d.letter == 'C' ? QByteArray(kFilesHeading) + '\n' : QByteArray("[Files ") + d.letter + "]\n";
    out += formatFiles(d.files);
  }
  return out;
}

bool parseRecord(const QByteArray& bytes, Record* r, QString* error) {
  const QList<QByteArray> lines = bytes.split('\n');
  bool inFiles = false, haveHash = false, haveBytes = false, sawFiles = false;
  r->drives.assign(1, DriveRecord{});
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray& line = lines[i];
    auto bad = [&] {
      *error = QStringLiteral("%1 is damaged at line %2").arg(QLatin1String(kRecordName)).arg(i + 1);
      return false;
    };
    if (line.isEmpty() || line.startsWith(';')) continue;
    DriveRecord& d = r->drives.back();
    if (line.startsWith('[')) {
      if (line == kFilesHeading && r->drives.size() == 1 && !sawFiles) {
        inFiles = sawFiles = true;
      } else if (line.size() == 9 && line.startsWith("[Drive ") && line.endsWith(']')) {
        const char letter = char(std::toupper(quint8(line[7])));
        if (letter <= 'C' || letter > 'Z') return bad();
        for (const DriveRecord& other : r->drives)
          if (other.letter == letter) return bad();
        if (!sawFiles || !d.haveOffset) return bad();
        r->drives.emplace_back().letter = letter;
        inFiles = false;
      } else if (line.size() == 9 && line.startsWith("[Files ") && line.endsWith(']') && d.letter != 'C' &&
                 std::toupper(quint8(line[7])) == d.letter) {
        inFiles = true;
      } else {
        return bad();
      }
      continue;
    }
    if (!inFiles) {
      const qsizetype eq = line.indexOf('=');
      if (eq < 0) return bad();
      const QByteArray key = line.left(eq), value = line.mid(eq + 1);
      bool ok = true;
      if (key == "ImageBytes" && r->drives.size() == 1)
        r->imageBytes = value.toLongLong(&ok), haveBytes = ok;
      else if (key == "ImageSHA256" && r->drives.size() == 1)
        r->imageHash = value, haveHash = value.size() == 64;
      else if (key == "ImageInode" && r->drives.size() == 1)
        r->stamp.inode = value.toLongLong(&ok);
      else if (key == "ImageMTimeNs" && r->drives.size() == 1)
        r->stamp.mtimeNs = value.toLongLong(&ok);
      else if (key == "ImageCTimeNs" && r->drives.size() == 1)
        r->stamp.ctimeNs = value.toLongLong(&ok);
      else if (key == "Structures")
        d.structures = value, ok = value.size() == 64;
      else if (key == "WholeDisk")
        r->wholeDisk = value == "1";
      else if (key == "Partition")
        d.partition = value.toInt(&ok);
      else if (key == "Offset")
        d.offset = value.toLongLong(&ok), d.haveOffset = ok;
      else if (key == "Format" && r->drives.size() == 1) {
        const auto f = formatFromName(QString::fromUtf8(value));
        ok = f.has_value();
        r->format = f.value_or(Format::Raw);
      } else if (key == "OriginalBytes" && r->drives.size() == 1)
        r->original.bytes = value.toLongLong(&ok);
      else if (key == "OriginalMTimeNs" && r->drives.size() == 1)
        r->original.mtimeNs = value.toLongLong(&ok);
      else if (key == "OriginalHeadSHA256" && r->drives.size() == 1)
        r->original.headHash = value;
      if (!ok) return bad();
      continue;
    }
    const QList<QByteArray> f = line.split('\t');
    if (f.size() != 6 || (f[0] != "D" && f[0] != "F") || !f[1].startsWith("0x")) return bad();
    imagesync::Entry e;
    bool ok1 = false, ok2 = false, ok3 = false;
    e.folder = f[0] == "D";
    e.attributes = f[1].mid(2).toUInt(&ok1, 16);
    e.size = f[2].toLongLong(&ok2);
    e.mtime = f[3].toLongLong(&ok3);
    // A file has the hash older records gave, or its host stamp.
    if (!e.folder) (f[4].count(':') == 2 ? e.stamp : e.hash) = f[4];
    if (!ok1 || !ok2 || !ok3 || f[5].isEmpty() || (!e.folder && e.stamp.isEmpty() && e.hash.size() != 64)) return bad();
    d.files[QString::fromUtf8(f[5])] = e;
  }
  r->stamp.bytes = r->imageBytes;
  const bool stamped = r->stamp.known() && std::all_of(r->drives.begin(), r->drives.end(),
                                                       [](const DriveRecord& d) { return !d.structures.isEmpty(); });
  if (!sawFiles || !(haveHash || stamped) || !haveBytes || !r->drives.back().haveOffset ||
      (needsConversion(r->format) && (r->original.bytes < 0 || r->original.headHash.size() != 64))) {
    *error = QStringLiteral("%1 is incomplete").arg(QLatin1String(kRecordName));
    return false;
  }
  return true;
}

// The entry of `tree` that a Windows path names, matched without regard to case.
QString findInTree(const imagesync::Tree& tree, const QString& winPathBelowRoot) {
  QString found;
  for (const QString& part : winPathBelowRoot.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
    const QString prefix = found.isEmpty() ? QString() : found + QLatin1Char('/');
    QString next;
    for (auto it = tree.lower_bound(prefix); it != tree.end() && it->first.startsWith(prefix); ++it) {
      const QString rest = it->first.mid(prefix.size());
      if (!rest.contains(QLatin1Char('/')) && winEqualNoCase(rest, part)) {
        next = it->first;
        break;
      }
    }
    if (next.isEmpty()) return {};
    found = next;
  }
  return found;
}

QString registryString(Registry& reg, const char* key, const char* value) {
  const RegKey* k = reg.openKey(HKey::LocalMachine, QString::fromLatin1(key));
  const RegValue* v = k ? k->findValue(value) : nullptr;
  if (!v || (v->type != RegSz && v->type != RegExpandSz)) return {};
  QByteArray data = v->data;
  if (const qsizetype nul = data.indexOf('\0'); nul >= 0) data.truncate(nul);
  return fromAnsi(data).trimmed();
}

// machine.ini's lines for what an ini key may hold: no line breaks.
QString iniValue(QString v) {
  v.replace(QLatin1Char('\r'), QLatin1Char(' '));
  v.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return v.trimmed();
}

struct Facts {
  QString windowsDirectory = QStringLiteral("C:\\WINDOWS");
  QString version, userName, computerName;
  int width = 0, height = 0, depth = 0;
};

QString volumeName(const fat::Volume& v) {
  return v.partition > 4   ? QStringLiteral("logical drive %1").arg(v.partition)
         : v.partition > 0 ? QStringLiteral("partition %1").arg(v.partition)
                           : QStringLiteral("the whole image");
}

// The drives of an import, C: first, in the order of their letters.
struct ImportedDrive {
  char letter = 'C';
  fat::Volume volume;
  std::vector<fat::DirEntry> entries;
  fat::Layout layout;
  QByteArray structures;
  imagesync::Tree tree;
};

QByteArray machineIni(const QString& image, const std::vector<ImportedDrive>& drives, const Facts& f) {
  QStringList from;
  for (const ImportedDrive& d : drives) from << QStringLiteral("%1 (%2)").arg(volumeName(d.volume), d.volume.typeName());
  QString s;
  s += QStringLiteral("; Imported by Vantrel from %1, %2, on %3.\n")
           .arg(QFileInfo(image).fileName(), from.join(QStringLiteral(", ")),
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd")));
  s += drives.size() > 1 ? QStringLiteral("; vantrel-machine export writes changes on its drives back (docs/disk-images.md).\n")
                         : QStringLiteral("; vantrel-machine export writes changes on C: back (docs/disk-images.md).\n");
  if (!f.version.isEmpty()) s += QStringLiteral("; The registry says Windows %1.\n").arg(iniValue(f.version));
  s += QStringLiteral("\n[Machine]\nPlatform=Win95\n");
  if (f.depth > 0) s += QStringLiteral("ColorDepth=%1\n").arg(f.depth);
  if (f.width > 0 && f.height > 0) s += QStringLiteral("ScreenWidth=%1\nScreenHeight=%2\n").arg(f.width).arg(f.height);
  if (!f.userName.isEmpty()) s += QStringLiteral("UserName=%1\n").arg(iniValue(f.userName));
  if (!f.computerName.isEmpty()) s += QStringLiteral("ComputerName=%1\n").arg(iniValue(f.computerName));
  s += QStringLiteral("WindowsDirectory=%1\nSystemDirectory=%1\\SYSTEM\nAttributeStore=auto\n").arg(f.windowsDirectory);
  s += QStringLiteral("\n[Drive A]\nType=removable\nReady=0\nBytesPerSector=512\nSectorsPerCluster=1\n");
  for (const ImportedDrive& d : drives) {
    const fat::Volume& v = d.volume;
    s += QStringLiteral("\n[Drive %1]\nType=fixed\nReady=1\n").arg(QString(QLatin1Char(d.letter)));
    if (drives.size() > 1) s += QStringLiteral("; From %1 of the image.\n").arg(volumeName(v));
    if (!v.label.isEmpty()) s += QStringLiteral("Label=%1\n").arg(iniValue(v.label));
    // Free space is left to follow what the machine's files take; a figure here would not.
    s += QStringLiteral(
             "FileSystem=%1\nTotalBytes=%2\n; %3 bytes were free at the import.\nBytesPerSector=%4\nSectorsPerCluster=%5\n")
             .arg(v.fileSystemName())
             .arg(v.totalBytes())
             .arg(v.freeBytes())
             .arg(v.bytesPerSector)
             .arg(v.sectorsPerCluster);
  }
  // The CD-ROM drive takes the letter after the hard disks', as on Windows 95.
  s += QStringLiteral("\n[Drive %1]\nType=cdrom\nReady=0\nBytesPerSector=2048\nSectorsPerCluster=1\n")
           .arg(QString(QLatin1Char(char(drives.back().letter + 1))));
  return s.toUtf8();
}

// The Windows folder MSDOS.SYS names; only one on C: can be this machine's.
QString windowsDirectoryFrom(const QString& driveRoot, const imagesync::Tree& tree) {
  const QString msdos = findInTree(tree, QStringLiteral("MSDOS.SYS"));
  if (msdos.isEmpty() || tree.at(msdos).folder || tree.at(msdos).size > 65536) return {};
  QFile f(driveRoot + QLatin1Char('/') + msdos);
  if (!f.open(QIODevice::ReadOnly)) return {};
  QString dir = IniDocument(f.readAll()).value(u"Paths", u"WinDir").value_or(QString()).trimmed();
  while (dir.size() > 3 && dir.endsWith(QLatin1Char('\\'))) dir.chop(1);
  if (dir.size() < 4 || !dir.startsWith(QLatin1String("C:\\"), Qt::CaseInsensitive)) return {};
  dir[0] = QLatin1Char('C');
  return dir;
}

// Counts what `changes` does into the summary of an export.
void addTo(ExportSummary* summary, const imagesync::Changes& changes) {
  const int written = int(changes.writeFiles.size()), removed = int(changes.removeFiles.size() + changes.removeFolders.size()),
            folders = int(changes.makeFolders.size());
  summary->written += written;
  summary->removed += removed;
  summary->folders += folders;
  summary->attributesOnly += changes.count() - written - removed - folders;
}

mode_t currentUmask() {
  const mode_t m = ::umask(022);
  ::umask(m);
  return m;
}

}  // namespace

bool importImage(const QString& image, const QString& machineDir, int partition, QString* error, QString* summary,
                 const Progress& progress, bool verify) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  QString why;
  if (!mtools::available(&why)) return fail(why);
  const QFileInfo target(machineDir);
  if (target.exists() && !(target.isDir() && QDir(machineDir).isEmpty()))
    return fail(QStringLiteral("%1 exists and is not an empty folder").arg(machineDir));
  if (!target.absoluteDir().exists()) return fail(QStringLiteral("the folder %1 does not exist").arg(target.absolutePath()));

  const auto probe = probeImage(image, &why);
  if (!probe) return fail(why);
  const bool converted = needsConversion(probe->format);
  if (converted && !qemuImgAvailable(&why)) return fail(why);
  if (imagesync::inUse(image, &why)) return fail(why);

  // Built beside its final place and renamed into it, so a failure leaves nothing behind.
  QTemporaryDir staging(target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".vantrel~XXXXXX"));
  if (!staging.isValid())
    return fail(QStringLiteral("cannot create a folder beside %1: %2").arg(machineDir, staging.errorString()));
  const QString folder = staging.path();

  // A packed image is worked on through a raw copy of its disk; the image itself is only read.
  QString source = image;
  Identity original;
  if (converted) {
    original = identityOf(image);
    if (!checkConvertible(image, probe->format, nullptr, &why)) return fail(why);
    source = folder + QLatin1Char('/') + QLatin1String(kRawCopyName);
    QFile raw(source);
    if (!raw.open(QIODevice::WriteOnly)) return fail(QStringLiteral("cannot create %1: %2").arg(source, raw.errorString()));
    raw.close();
    if (!convertImage(image, probe->format, source, Format::Raw, {}, &why))
      return fail(QStringLiteral("%1 cannot be unpacked: %2").arg(image, why));
  } else {
    imagesync::removeAbandonedCopies(image);
  }
  // The disk's data: the raw copy, the raw image, or a fixed VHD without its footer.
  DataPart disk(source, converted ? QFileInfo(source).size() : probe->dataBytes);
  if (!disk.openData()) return fail(QStringLiteral("cannot read %1: %2").arg(source, disk.errorString()));

  // Without a partition named, the disk gives the machine every FAT partition it has.
  std::vector<ImportedDrive> drives(1);
  const auto first = fat::inspect(disk, partition, &why, &drives[0].entries, &drives[0].layout);
  if (!first) return fail(QStringLiteral("%1: %2").arg(image, why));
  drives[0].volume = *first;
  QStringList leftAlone;
  if (partition == 0 && first->partition != 0) {
    const std::optional<std::vector<fat::Partition>> table = fat::partitionTable(disk, &why);
    if (!table) return fail(QStringLiteral("%1: %2").arg(image, why));
    for (const fat::Partition& p : fat::driveOrder(*table)) {
      if (p.number == first->partition) continue;
      if (drives.back().letter == 'Y')
        return fail(QStringLiteral("%1 has more FAT partitions than there are drive letters").arg(image));
      ImportedDrive d;
      d.letter = char(drives.back().letter + 1);
      const auto v = fat::inspect(disk, p.number, &why, &d.entries, &d.layout);
      if (!v) return fail(QStringLiteral("%1: %2").arg(image, why));
      d.volume = *v;
      drives.push_back(std::move(d));
    }
    for (const fat::Partition& p : *table)
      if (!p.extended() &&
          std::none_of(drives.begin(), drives.end(), [&](const ImportedDrive& d) { return d.volume.partition == p.number; }))
        leftAlone << QStringLiteral("%1 (type 0x%2)")
                         .arg(p.number > 4 ? QStringLiteral("logical drive %1").arg(p.number)
                                           : QStringLiteral("partition %1").arg(p.number))
                         .arg(p.type, 2, 16, QLatin1Char('0'));
  }
  // What tells at the end that nothing wrote into the image meanwhile, and at an export that
  // nothing did since: its stamp and its volumes' structures. All of it is read only when asked.
  const Stamp stamp = stampOf(source);
  QByteArray hash;
  if (stamp.bytes < 0 || (verify && (hash = imagesync::hashFile(source)).isEmpty()))
    return fail(QStringLiteral("cannot read %1").arg(source));
  for (ImportedDrive& d : drives)
    if ((d.structures = structuresHash(disk, d.layout)).isEmpty()) return fail(QStringLiteral("cannot read %1").arg(source));

  std::unique_ptr<AttributeStore> store = makeAttributeStore(folder, false);
  int toDo = 0, done = 0;
  for (const ImportedDrive& d : drives)
    for (const fat::DirEntry& e : d.entries) toDo += e.folder ? 0 : 1;
  for (ImportedDrive& d : drives) {
    const QString root = folder + QStringLiteral("/drives/") + QLatin1Char(d.letter);
    if (!QDir().mkpath(root)) return fail(QStringLiteral("cannot create %1").arg(root));
    if (!imagesync::extract(disk.handle(), d.layout, d.entries, root, *store, &d.tree, &why, progress, done, toDo))
      return fail(
          drives.size() > 1
              ? QStringLiteral("%1: drive %2: %3: %4").arg(image, QString(QLatin1Char(d.letter)), volumeName(d.volume), why)
              : QStringLiteral("%1: %2").arg(image, why));
    for (const fat::DirEntry& e : d.entries) done += e.folder ? 0 : 1;
  }
  const imagesync::Tree& tree = drives[0].tree;
  const QString root = folder + QStringLiteral("/drives/C");

  Facts facts;
  if (const QString w = windowsDirectoryFrom(root, tree); !w.isEmpty()) facts.windowsDirectory = w;
  auto writeIni = [&] {
    int err = 0;
    if (writeFileAtomically(folder + QLatin1Char('/') + QLatin1String(kMachineIniName), machineIni(image, drives, facts), &err))
      return true;
    return fail(QStringLiteral("cannot write machine.ini: %1").arg(QString::fromLocal8Bit(std::strerror(err))));
  };
  if (!writeIni()) return false;
  {
    std::unique_ptr<Machine> m = Machine::open(folder, &why);
    if (!m) {
      why.replace(folder, machineDir);
      return fail(QStringLiteral("%1 holds no Windows 95 that Vantrel can work on: %2").arg(image, why));
    }
    Registry& reg = m->registry();
    facts.version = registryString(reg, "Software\\Microsoft\\Windows\\CurrentVersion", "VersionNumber");
    facts.computerName = registryString(reg, "System\\CurrentControlSet\\control\\ComputerName\\ComputerName", "ComputerName");
    facts.userName = registryString(reg, "Network\\Logon", "username");
    const QStringList resolution = registryString(reg, "Config\\0001\\Display\\Settings", "Resolution").split(QLatin1Char(','));
    if (resolution.size() == 2) {
      facts.width = resolution[0].trimmed().toInt();
      facts.height = resolution[1].trimmed().toInt();
    }
    facts.depth = registryString(reg, "Config\\0001\\Display\\Settings", "BitsPerPixel").toInt();
  }
  if (!writeIni()) return false;

  Record record;
  record.imageBytes = stamp.bytes;
  record.stamp = stamp;
  record.imageHash = hash;
  record.format = probe->format;
  record.original = original;
  record.wholeDisk = partition == 0 && drives[0].volume.partition != 0;
  for (const ImportedDrive& d : drives)
    record.drives.push_back({d.letter, d.volume.partition, d.volume.offset, true, d.structures, d.tree});
  int err = 0;
  if (!writeFileAtomically(folder + QLatin1Char('/') + QLatin1String(kRecordName),
                           formatRecord(record, QFileInfo(image).absoluteFilePath()), &err))
    return fail(
        QStringLiteral("cannot write %1: %2").arg(QLatin1String(kRecordName), QString::fromLocal8Bit(std::strerror(err))));
  if (converted ? identityOf(image) != original : stampOf(image) != stamp || (verify && imagesync::hashFile(image) != hash))
    return fail(QStringLiteral("%1 changed while it was being imported").arg(image));

  ::chmod(QFile::encodeName(folder).constData(), 0777 & ~currentUmask());
  if (target.exists() && !QDir().rmdir(machineDir))
    return fail(QStringLiteral("cannot replace the empty folder %1").arg(machineDir));
  if (::rename(QFile::encodeName(folder).constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0)
    return fail(QStringLiteral("cannot create %1: %2").arg(machineDir, QString::fromLocal8Bit(std::strerror(errno))));
  staging.setAutoRemove(false);
  if (summary) {
    qsizetype files = 0, entries = 0;
    QStringList from;
    for (const ImportedDrive& d : drives) {
      for (const auto& [path, e] : d.tree) files += e.folder ? 0 : 1;
      entries += qsizetype(d.tree.size());
      const fat::Volume& v = d.volume;
      from << QStringLiteral("%1%2 (%3, %4 bytes, %5 free)")
                  .arg(drives.size() > 1 ? QStringLiteral("%1: ").arg(QString(QLatin1Char(d.letter))) : QString(),
                       volumeName(v) +
                           (probe->format == Format::Raw ? QString() : QStringLiteral(" of ") + formatTitle(probe->format)),
                       v.typeName())
                  .arg(v.totalBytes())
                  .arg(v.freeBytes());
    }
    *summary = QStringLiteral("Imported %1 files and %2 folders from %3 into %4")
                   .arg(files)
                   .arg(entries - files)
                   .arg(from.join(QStringLiteral(", ")), machineDir);
    if (!leftAlone.isEmpty()) *summary += QStringLiteral("; left alone: %1").arg(leftAlone.join(QStringLiteral(", ")));
  }
  return true;
}

namespace {

// Whether the host file `hostPath` holds what the volume's file `e` holds, read from its
// clusters: for a file whose size and time are as imported but whose stamp moved.
bool sameAsInImage(QIODevice& disk, const fat::Layout& l, const fat::DirEntry& e, const QString& hostPath) {
  QFile host(hostPath);
  if (!host.open(QIODevice::ReadOnly) || host.size() != e.size) return false;
  qint64 left = e.size;
  for (quint32 c : l.chain(e.firstCluster)) {
    if (left <= 0) break;
    const qint64 n = std::min(left, l.clusterBytes);
    if (!disk.seek(l.clusterAt(c))) return false;
    const QByteArray a = disk.read(n), b = host.read(n);
    if (a.size() != n || a != b) return false;
    left -= n;
  }
  return left == 0;
}

// The files' hashes that older records kept, compared with the host file.
bool sameAsHashed(const QString& hostPath, const imagesync::Entry& base) {
  return !base.hash.isEmpty() && imagesync::hashFile(hostPath) == base.hash;
}

}  // namespace

bool exportImage(const QString& machineDir, const QString& image, int partition, QString* error, ExportSummary* summary,
                 Refusal* refusal, const Progress& progress, bool verify) {
  if (refusal) *refusal = Refusal::Other;
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  auto refuse = [&](Refusal kind, const QString& why) {
    if (refusal) *refusal = kind;
    return fail(why);
  };
  QString why;
  if (!mtools::available(&why)) return fail(why);
  std::unique_ptr<Machine> m = Machine::open(machineDir, &why);
  if (!m) return fail(why);
  const QString recordPath = m->hostPathInFolder(QLatin1String(kRecordName));
  const QString journal = m->hostPathInFolder(QLatin1String(kJournalName));
  if (!rollBack(journal, recordPath, &why)) return fail(why);
  QFile recordFile(recordPath);
  if (!recordFile.open(QIODevice::ReadOnly))
    return fail(QStringLiteral("%1 was not imported from a disk image (it has no %2); only an imported machine can be exported")
                    .arg(machineDir, QLatin1String(kRecordName)));
  const QByteArray recordBytes = recordFile.readAll();
  Record record;
  if (!parseRecord(recordBytes, &record, &why)) return fail(QStringLiteral("%1: %2").arg(machineDir, why));
  // --partition names the one drive to write; the others keep what is pending on them.
  std::vector<DriveRecord*> chosen;
  for (DriveRecord& d : record.drives)
    if (!partition || d.partition == partition) chosen.push_back(&d);
  if (chosen.empty()) {
    QStringList had;
    for (const DriveRecord& d : record.drives) had << QString::number(d.partition);
    return fail(
        QStringLiteral("the machine was imported from partition %1, not %2").arg(had.join(QStringLiteral(", "))).arg(partition));
  }
  const bool several = record.drives.size() > 1;

  const auto probe = probeImage(image, &why);
  if (!probe) return fail(why);
  const auto changedRefusal = [&] {
    return refuse(Refusal::ImageChanged,
                  QStringLiteral("%1 changed since the machine was imported from it or last exported to it (was it started in an "
                                 "emulator?); nothing was written. Import it again to work on what it holds now")
                      .arg(image));
  };
  if (probe->format != record.format) {
    if (needsConversion(probe->format) || needsConversion(record.format)) return changedRefusal();
    // A raw image and a fixed VHD differ by the footer alone; the checks below tell them apart.
  }
  const bool converted = needsConversion(record.format);
  // What mtools writes into: the image itself, or the machine's raw copy of a packed one.
  const QString source = converted ? m->hostPathInFolder(QLatin1String(kRawCopyName)) : image;
  QStringList createOptions;
  if (converted) {
    if (!qemuImgAvailable(&why)) return fail(why);
    if (identityOf(image) != record.original) return changedRefusal();
    if (imagesync::inUse(image, &why)) return refuse(Refusal::InUse, why);
    if (imagesync::writeProtected(image))
      return refuse(Refusal::WriteProtected, QStringLiteral("%1 is write-protected (the file may not be written)").arg(image));
    if (!checkConvertible(image, record.format, &createOptions, &why)) return fail(why);
  }

  // The disk's data: the raw copy, the raw image, or a fixed VHD without its footer.
  const Stamp stamp = stampOf(source);
  DataPart disk(source, converted ? stamp.bytes : probe->dataBytes);
  if (!disk.openData()) return fail(QStringLiteral("cannot read %1: %2").arg(source, disk.errorString()));
  std::vector<imagesync::VolumeWrite> writes;
  std::vector<QByteArray> structures;
  for (const DriveRecord* d : chosen) {
    std::vector<fat::DirEntry> entries;
    fat::Layout layout;
    const auto volume = fat::inspect(disk, d->partition, &why, &entries, &layout);
    if (!volume) return fail(QStringLiteral("%1: %2").arg(converted ? source : image, why));
    if (volume->offset != d->offset)
      return fail(QStringLiteral("%1: partition %2 starts elsewhere than the one imported").arg(image).arg(d->partition));
    structures.push_back(structuresHash(disk, layout));
    const DriveInfo* drive = m->files().drive(QLatin1Char(d->letter));
    if (!drive) return fail(QStringLiteral("%1 has no drive %2: any more").arg(machineDir, QString(QLatin1Char(d->letter))));
    imagesync::VolumeWrite w;
    w.volume = *volume;
    w.root = drive->hostRoot;
    if (several) w.name = QStringLiteral("drive %1:").arg(QString(QLatin1Char(d->letter)));
    if (!imagesync::readTree(w.root, m->files().attributeStore(), &w.now, &why))
      return fail(QStringLiteral("drive %1: cannot go into the image: %2").arg(QString(QLatin1Char(d->letter)), why));
    // A file of the size and time it had whose stamp moved (its attributes changed, or it was
    // written and its time put back) is compared with what the image holds for it.
    std::map<QString, const fat::DirEntry*> byPath;
    for (const fat::DirEntry& e : entries)
      if (!e.folder) byPath[winUpper(e.path)] = &e;
    const QString root = w.root;
    w.changes = imagesync::compare(d->files, w.now, volume->clusterBytes(),
                                   [&](const QString& path, const imagesync::Entry& base, const imagesync::Entry&) {
                                     const QString host = root + QLatin1Char('/') + path;
                                     if (!base.hash.isEmpty()) return sameAsHashed(host, base);
                                     const auto it = byPath.find(winUpper(path));
                                     return it != byPath.end() && sameAsInImage(disk, layout, *it->second, host);
                                   });
    // The machine gives every new entry its alias as it would give it to a program asking.
    w.aliasOf = [&m, letter = d->letter](const QString& path) {
      QString win = path;
      win.replace(QLatin1Char('/'), QLatin1Char('\\'));
      const std::optional<QString> shortPath =
          m->files().shortPathName(QStringLiteral("%1:\\").arg(QString(QLatin1Char(letter))) + win);
      return shortPath ? shortPath->mid(shortPath->lastIndexOf(QLatin1Char('\\')) + 1) : QString();
    };
    writes.push_back(std::move(w));
  }
  // Changed since? The same stamp says no; a write since (a new modification time) says yes;
  // a copy or a new owner leaves the structures to tell. Records of older days kept a hash of
  // the whole image, and so does a check on request.
  bool changed = stamp.bytes != record.imageBytes, whole = !record.stamp.known() || (verify && !record.imageHash.isEmpty());
  if (!changed && record.stamp.known() && stamp != record.stamp) {
    changed = stamp.mtimeNs != record.stamp.mtimeNs;
    for (size_t i = 0; i < chosen.size(); ++i) {
      whole = whole || chosen[i]->structures.isEmpty();
      changed = changed || (!chosen[i]->structures.isEmpty() && structures[i] != chosen[i]->structures);
    }
  }
  if (!changed && whole) changed = imagesync::hashFile(source) != record.imageHash;
  if (changed) {
    if (!converted) return changedRefusal();
    return fail(QStringLiteral("the machine's raw copy of %1 (%2) is not as the last import or export left it; import the "
                               "image again")
                    .arg(image, source));
  }
  if (!converted) {
    if (imagesync::inUse(image, &why)) return refuse(Refusal::InUse, why);
    imagesync::removeAbandonedCopies(image);
  }

  bool empty = true;
  if (summary) *summary = {};
  for (const imagesync::VolumeWrite& w : writes) {
    const imagesync::Changes& changes = w.changes;
    empty = empty && changes.empty();
    if (!summary) continue;
    addTo(summary, changes);
  }
  if (refusal) *refusal = Refusal::None;
  if (empty) return true;
  std::vector<DriveRecord*> written;
  for (size_t i = 0; i < writes.size(); ++i)
    if (!writes[i].changes.empty()) written.push_back(chosen[i]);
  std::erase_if(writes, [](const imagesync::VolumeWrite& w) { return w.changes.empty(); });
  const auto failedWrite = [&](imagesync::Failure kind, QString message, const QString& target) {
    const Refusal r = kind == imagesync::Failure::NoRoom           ? Refusal::NoRoom
                      : kind == imagesync::Failure::InUse          ? Refusal::InUse
                      : kind == imagesync::Failure::WriteProtected ? Refusal::WriteProtected
                                                                   : Refusal::Other;
    message.replace(target, source);
    return refuse(r, QStringLiteral("%1 was left as it was: %2").arg(image, message));
  };

  // The record as it will be once the image holds the changes.
  auto recordAfter = [&](const Stamp& now, const QByteArray& wholeHash) -> std::optional<QByteArray> {
    DataPart after(source, converted ? now.bytes : probe->dataBytes);
    if (!after.openData()) return std::nullopt;
    for (size_t i = 0; i < writes.size(); ++i) {
      fat::Layout layout;
      if (!fat::inspect(after, written[i]->partition, &why, nullptr, &layout)) return std::nullopt;
      written[i]->structures = structuresHash(after, layout);
      written[i]->files = writes[i].now;
    }
    for (size_t i = 0; i < chosen.size(); ++i)
      if (std::find(written.begin(), written.end(), chosen[i]) == written.end()) chosen[i]->structures = structures[i];
    record.imageBytes = now.bytes;
    record.stamp = now;
    record.imageHash = wholeHash;
    // A drive of an older record that this export did not look at has no hash of its
    // structures yet: the whole image's hash stands in until it has.
    if (wholeHash.isEmpty() &&
        std::any_of(record.drives.begin(), record.drives.end(), [](const DriveRecord& d) { return d.structures.isEmpty(); }))
      record.imageHash = imagesync::hashFile(source);
    return formatRecord(record, QFileInfo(image).absoluteFilePath());
  };
  const auto recordFailure = [&](int err) {
    return fail(QStringLiteral("%1 was written, but %2 could not be updated (%3): import the image again before the next export")
                    .arg(image, QLatin1String(kRecordName), QString::fromLocal8Bit(std::strerror(err))));
  };

  if (!converted) {
    // In place: the sectors that change, each saved in the journal before it is overwritten.
    imagesync::Failure kind = imagesync::Failure::None;
    std::vector<imagesync::Patch> patches;
    if (!imagesync::planInPlace(image, writes, &patches, &why, &kind, progress)) return failedWrite(kind, why, image);
    if (refusal) *refusal = Refusal::Other;
    if (stampOf(source) != stamp || imagesync::inUse(image, &why))
      return fail(QStringLiteral("%1 was left as it was: it changed or was opened while the export ran").arg(image));
    if (!writeJournal(journal, source, patches, recordBytes, &why))
      return fail(QStringLiteral("%1 was left as it was: %2").arg(image, why));
    QString undoWhy;
    auto undo = [&](const QString& message) {
      if (!rollBack(journal, recordPath, &undoWhy))
        return fail(QStringLiteral("%1 (%2); the next export puts the image back as it was").arg(message, undoWhy));
      return fail(QStringLiteral("%1 was left as it was: %2").arg(image, message));
    };
    if (!writePatches(source, patches, &why)) return undo(why);
    const Stamp now = stampOf(source);
    const QByteArray wholeHash = verify ? imagesync::hashFile(source) : QByteArray();
    const std::optional<QByteArray> text = recordAfter(now, wholeHash);
    if (!text) return undo(QStringLiteral("the written image cannot be read back: %1").arg(why));
    int err = 0;
    if (!writeFileAtomically(recordPath, *text, &err)) return undo(QString::fromLocal8Bit(std::strerror(err)));
    if (!dropJournal(journal, &why)) return fail(QStringLiteral("%1 was written, but %2").arg(image, why));
    if (refusal) *refusal = Refusal::None;
    return true;
  }

  // A packed image: the changes go into a second name of the raw copy (the write replaces
  // that name by a new file, leaving the copy as it was), which is packed into a new file
  // beside the image. The image, and then the raw copy, are replaced only when every step
  // went through.
  struct Removal {
    QByteArray path;
    int fd = -1;
    ~Removal() {
      if (!path.isEmpty()) ::unlink(path.constData());
      if (fd >= 0) ::close(fd);
    }
  } work, packed;
  imagesync::removeAbandonedCopies(image);
  const QString workPath = source + QStringLiteral(".export~%1").arg(::getpid());
  work.path = QFile::encodeName(workPath);
  ::unlink(work.path.constData());
  // A file system without hard links gets a copy, which costs the room of one.
  if (::link(QFile::encodeName(source).constData(), work.path.constData()) != 0 && !QFile::copy(source, workPath)) {
    const int e = errno;
    return refuse(e == ENOSPC ? Refusal::NoRoom : Refusal::Other,
                  QStringLiteral("%1 was left as it was: cannot prepare the raw copy %2: %3")
                      .arg(image, source, QString::fromLocal8Bit(std::strerror(e))));
  }
  const QString target = workPath;

  imagesync::Failure kind = imagesync::Failure::None;
  QByteArray newHash;
  if (!imagesync::apply(target, writes, &why, &kind, verify ? &newHash : nullptr, progress))
    return failedWrite(kind, why, target);
  if (refusal) *refusal = Refusal::Other;
  const QFileInfo info(image);
  struct stat st;
  if (::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &st) != 0)
    return fail(QStringLiteral("cannot read %1").arg(image));
  // Named like imagesync's working copies, so a write killed half-way is cleaned up alike.
  packed.path =
      QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".vantrel~XXXXXX"));
  packed.fd = ::mkostemp(packed.path.data(), O_CLOEXEC);
  if (packed.fd < 0) {
    const int e = errno;
    packed.path.clear();
    return refuse(e == ENOSPC ? Refusal::NoRoom : Refusal::Other,
                  QStringLiteral("%1 was left as it was: cannot make a file beside it: %2")
                      .arg(image, QString::fromLocal8Bit(std::strerror(e))));
  }
  ::flock(packed.fd, LOCK_EX);
  if (!convertImage(target, Format::Raw, QFile::decodeName(packed.path), record.format, createOptions, &why, image))
    return fail(QStringLiteral("%1 was left as it was: %2").arg(image, why));
  ::fchmod(packed.fd, st.st_mode & 07777);
  if (::fchown(packed.fd, st.st_uid, st.st_gid) != 0) {
    // Only root may give the file to another owner; the user's own image keeps its owner anyway.
  }
  if (::fsync(packed.fd) != 0 || identityOf(image) != record.original)
    return fail(QStringLiteral("%1 was left as it was: it changed while the export ran, or the new image could not be written")
                    .arg(image));
  if (::rename(packed.path.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0)
    return fail(QStringLiteral("cannot replace %1: %2").arg(image, QString::fromLocal8Bit(std::strerror(errno))));
  packed.path.clear();
  const int dirFd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  record.original = identityOf(image);
  if (::rename(work.path.constData(), QFile::encodeName(source).constData()) != 0)
    return fail(QStringLiteral("%1 was written, but the raw copy %2 could not be updated: import the image again before the "
                               "next export")
                    .arg(image, source));
  work.path.clear();
  const std::optional<QByteArray> text = recordAfter(stampOf(source), newHash);
  int err = 0;
  if (!text) return recordFailure(EIO);
  if (!writeFileAtomically(recordPath, *text, &err)) return recordFailure(err);
  if (refusal) *refusal = Refusal::None;
  return true;
}

bool pendingChanges(const QString& machineDir, ExportSummary* summary, QString* error) {
  QString why;
  std::unique_ptr<Machine> m = Machine::open(machineDir, &why);
  auto fail = [&](const QString& w) {
    if (error) *error = w;
    return false;
  };
  if (!m) return fail(why);
  const QString recordPath = m->hostPathInFolder(QLatin1String(kRecordName));
  // An interrupted export is undone first: what it meant to write is pending again.
  if (!rollBack(m->hostPathInFolder(QLatin1String(kJournalName)), recordPath, &why)) return fail(why);
  QFile recordFile(recordPath);
  if (!recordFile.open(QIODevice::ReadOnly)) return fail(QStringLiteral("%1 was not imported from a disk image").arg(machineDir));
  Record record;
  if (!parseRecord(recordFile.readAll(), &record, &why)) return fail(QStringLiteral("%1: %2").arg(machineDir, why));
  *summary = {};
  for (const DriveRecord& d : record.drives) {
    const DriveInfo* drive = m->files().drive(QLatin1Char(d.letter));
    imagesync::Tree now;
    if (!drive || !imagesync::readTree(drive->hostRoot, m->files().attributeStore(), &now, &why)) return fail(why);
    // The clusters are only counted for the room an export needs, which is not asked here;
    // a file whose stamp alone moved counts as changed, as the image is not read here.
    const QString root = drive->hostRoot;
    const imagesync::Changes changes =
        imagesync::compare(d.files, now, 512, [&](const QString& path, const imagesync::Entry& base, const imagesync::Entry&) {
          return sameAsHashed(root + QLatin1Char('/') + path, base);
        });
    addTo(summary, changes);
  }
  return true;
}

bool refreshImport(const QString& image, const QString& machineDir, QString* error, QString* summary, const Progress& progress) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  // An export interrupted half-way is undone first, so the image is whole again.
  if (QString why; !rollBack(machineDir + QLatin1Char('/') + QLatin1String(kJournalName),
                             machineDir + QLatin1Char('/') + QLatin1String(kRecordName), &why))
    return fail(why);
  const QFileInfo target(machineDir);
  QFile recordFile(machineDir + QLatin1Char('/') + QLatin1String(kRecordName));
  if (!recordFile.open(QIODevice::ReadOnly))
    return fail(
        QStringLiteral("%1 was not imported from a disk image; only an imported machine is imported afresh").arg(machineDir));
  Record record;
  QString why;
  if (!parseRecord(recordFile.readAll(), &record, &why)) return fail(QStringLiteral("%1: %2").arg(machineDir, why));
  // The new machine is made beside the old one and takes its place in one exchange of the
  // two names, so that the folder is the old machine or the new one at every moment.
  const QString fresh =
      target.absolutePath() + QStringLiteral("/.") + target.fileName() + QStringLiteral(".vantrel-new~%1").arg(::getpid());
  QDir(fresh).removeRecursively();
  if (!importImage(image, fresh, record.wholeDisk ? 0 : record.drives[0].partition, &why, summary, progress)) return fail(why);
  if (summary) summary->replace(fresh, machineDir);
  const QByteArray a = QFile::encodeName(fresh), b = QFile::encodeName(target.absoluteFilePath());
  if (::renameat2(AT_FDCWD, a.constData(), AT_FDCWD, b.constData(), RENAME_EXCHANGE) != 0) {
    const int e = errno;
    QDir(fresh).removeRecursively();
    return fail(
        QStringLiteral("cannot put the new import in place of %1: %2").arg(machineDir, QString::fromLocal8Bit(std::strerror(e))));
  }
  QDir(fresh).removeRecursively();  // the old machine, under the new one's former name
  return true;
}

}  // namespace vt::disk
