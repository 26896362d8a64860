// SPDX-License-Identifier: GPL-3.0-or-later
#include "sample/samplemachine.h"

#include "platform/filesystem.h"
#include "platform/attributestore.h"
#include "platform/machine.h"
#include "platform/regedit4.h"
#include "platform/shelllink.h"
#include "platform/text.h"
#include "sample/binaries.h"
#include "sample/pictures.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>

namespace vt::sample {

namespace {

const QString kResourceRoot = QStringLiteral(":/sample");

// Text kept in the source tree as UTF-8 with LF becomes what Windows 95 keeps on disk:
// Windows-1252 with CR LF.
QByteArray windowsText(const QByteArray& utf8) {
  QString text = QString::fromUtf8(utf8);
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return toAnsi(text);
}

std::optional<QByteArray> resource(const QString& name) {
  QFile f(kResourceRoot + QLatin1Char('/') + name);
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  return f.readAll();
}

QString parentOf(const QString& winPath) {
  const qsizetype slash = winPath.lastIndexOf(QLatin1Char('\\'));
  if (slash <= 2) return winPath.left(3);
  return winPath.left(slash);
}

QString fileNameOf(const QString& winPath) { return winPath.mid(winPath.lastIndexOf(QLatin1Char('\\')) + 1); }

bool parseWhen(const QString& text, QDateTime* out) {
  // The machine's clock is the user's: its local times are the host's local times.
  for (const char* format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm"}) {
    const QDateTime t = QDateTime::fromString(text.trimmed(), QLatin1String(format));
    if (t.isValid()) {
      *out = t.toUTC();
      return true;
    }
  }
  return false;
}

bool parseAttributeLetters(const QString& letters, quint32* out) {
  quint32 a = 0;
  for (QChar c : letters) {
    switch (c.toUpper().unicode()) {
      case 'R': a |= AttrReadOnly; break;
      case 'H': a |= AttrHidden; break;
      case 'S': a |= AttrSystem; break;
      case 'A': a |= AttrArchive; break;
      default: return false;
    }
  }
  *out = a;
  return true;
}

// One line of manifest.txt: KIND, a Windows path, and options "key=value; key=value".
struct Entry {
  int line = 0;
  QString kind;
  QString path;
  std::map<QString, QString> options;
  QString option(const char* key, const QString& fallback = {}) const {
    const auto it = options.find(QLatin1String(key));
    return it == options.end() ? fallback : it->second;
  }
};

bool parseManifest(const QByteArray& bytes, QList<Entry>* out, QString* error) {
  const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
  static const QRegularExpression tabs(QStringLiteral("\t+"));
  for (int i = 0; i < lines.size(); ++i) {
    const QString line = lines[i].trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    const QStringList fields = line.split(tabs);
    if (fields.size() < 2 || fields.size() > 3) {
      *error = QStringLiteral("manifest.txt line %1: expected KIND<TAB>PATH[<TAB>OPTIONS]").arg(i + 1);
      return false;
    }
    Entry e;
    e.line = i + 1;
    e.kind = fields[0].trimmed();
    e.path = fields[1].trimmed();
    if (fields.size() == 3) {
      for (const QString& opt : fields[2].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = opt.indexOf(QLatin1Char('='));
        if (eq <= 0) {
          *error = QStringLiteral("manifest.txt line %1: option \"%2\" is not key=value").arg(i + 1).arg(opt.trimmed());
          return false;
        }
        e.options[opt.left(eq).trimmed()] = opt.mid(eq + 1).trimmed();
      }
    }
    out->append(e);
  }
  return true;
}

class Builder {
 public:
  explicit Builder(Machine& m) : m_(m), fs_(m.files()) {}

  bool run(QString* error);

 private:
  bool fail(const QString& msg) {
    error_ = msg;
    return false;
  }
  bool failWrite(const QString& winPath) {
    return fail(QStringLiteral("cannot write %1: %2").arg(winPath, describe(fs_.lastError())));
  }
  bool isCd(const QString& winPath) const { return fs_.driveType(winPath.left(3)) == DriveType::CdRom; }
  QString cdHostPath(const QString& winPath) const {
    const DriveInfo* d = fs_.drive(winPath[0]);
    QString rel = winPath.mid(3);
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return rel.isEmpty() ? d->hostRoot : d->hostRoot + QLatin1Char('/') + rel;
  }

  bool importRegistry();
  bool makeDirectory(const QString& winPath);
  bool writeFile(const QString& winPath, const QByteArray& bytes);
  bool copyDataFiles();
  bool generate(const Entry& e);
  bool writeRecycleBins();
  bool setTimes();
  bool setAttributes();

  QByteArray shortcut(const Entry& e);
  // The time the manifest gives a path: the last matching "time" line ("*" matches every
  // path, "X\*" everything below X).
  QDateTime timeFor(const QString& winPath) const {
    QDateTime t;
    for (const auto& [pattern, when] : timeRules_) {
      if (pattern == QLatin1String("*") || winEqualNoCase(pattern, winPath) ||
          (pattern.endsWith(QLatin1String("\\*")) && winUpper(winPath).startsWith(winUpper(pattern.chopped(1)))))
        t = when;
    }
    return t;
  }
  QString stubMessage(const QString& winPath) const {
    return QStringLiteral("%1: a stand-in file of the Windows 95 sample machine made by Vantrel; it holds no program.")
        .arg(fileNameOf(winPath).toUpper());
  }

  Machine& m_;
  FileSystem& fs_;
  QString error_;
  QList<Entry> manifest_;
  QStringList createdFiles_, createdDirs_;
  QList<std::pair<QString, QDateTime>> timeRules_;
  QList<std::pair<QString, quint32>> attributeRules_;
  struct Recycled {
    QString stored, original;
    QDateTime deleted;
  };
  QList<Recycled> recycled_;
};

bool Builder::makeDirectory(const QString& winPath) {
  QStringList missing;
  for (QString p = winPath; p.size() > 3; p = parentOf(p)) {
    if (isCd(p) ? QFileInfo(cdHostPath(p)).isDir() : fs_.isDirectory(p)) break;
    missing.prepend(p);
  }
  for (const QString& p : missing) {
    const bool ok = isCd(p) ? QDir().mkpath(cdHostPath(p)) : fs_.createDirectory(p);
    if (!ok) return fail(QStringLiteral("cannot create %1: %2").arg(p, describe(fs_.lastError())));
    createdDirs_.append(p);
  }
  return true;
}

bool Builder::writeFile(const QString& winPath, const QByteArray& bytes) {
  if (!makeDirectory(parentOf(winPath))) return false;
  if (isCd(winPath)) {
    // A CD is pressed, not written by Windows: its files go straight to the host folder.
    QFile f(cdHostPath(winPath));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
      return fail(QStringLiteral("cannot write %1: %2").arg(winPath, f.errorString()));
  } else if (!fs_.writeFile(winPath, bytes)) {
    return failWrite(winPath);
  }
  createdFiles_.append(winPath);
  return true;
}

bool Builder::importRegistry() {
  for (const char* name : {"registry.reg", "dyndata.reg"}) {
    const auto text = resource(QLatin1String(name));
    if (!text) return fail(QStringLiteral("the sample's %1 is missing from the program").arg(QLatin1String(name)));
    QString why;
    if (!regedit4::importText(windowsText(*text), m_.registry(), regedit4::ImportMode::Merge, &why))
      return fail(QStringLiteral("the sample's %1 was refused: %2").arg(QLatin1String(name), why));
  }
  QString why;
  if (!m_.saveRegistry(&why)) return fail(why);
  return true;
}

bool Builder::copyDataFiles() {
  const QString root = kResourceRoot + QStringLiteral("/drives");
  QStringList files;
  QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) files.append(it.next());
  std::sort(files.begin(), files.end());
  for (const QString& res : files) {
    QString rel = res.mid(root.size() + 1);  // "C/WINDOWS/WIN.INI"
    const QString winPath =
        rel.left(1).toUpper() + QStringLiteral(":\\") + rel.mid(2).replace(QLatin1Char('/'), QLatin1Char('\\'));
    QFile f(res);
    if (!f.open(QIODevice::ReadOnly)) return fail(QStringLiteral("cannot read the sample's %1").arg(rel));
    if (!writeFile(winPath, windowsText(f.readAll()))) return false;
  }
  return true;
}

QByteArray Builder::shortcut(const Entry& e) {
  ShellLink link;
  link.linkPath = e.path;
  link.target = e.option("target");
  link.workingDir = e.option("dir");
  link.arguments = e.option("args");
  link.description = e.option("desc");
  link.iconLocation = e.option("icon");
  link.iconIndex = e.option("index", QStringLiteral("0")).toInt();
  const DriveInfo* d = link.target.size() >= 3 ? fs_.drive(link.target[0]) : nullptr;
  link.driveType = quint32(d ? d->type : DriveType::Fixed);
  link.volumeLabel = e.option("label", d ? d->label : QString());
  bool ok = false;
  link.volumeSerial = e.option("serial").toUInt(&ok, 16);
  if (!ok) link.volumeSerial = d && d->type == DriveType::Fixed ? 0x1E4F2A07u : 0;
  // What Windows recorded about the target when the shortcut was made.
  if (link.target.size() > 3 && fs_.exists(link.target)) {
    link.targetAttributes = fs_.attributes(link.target) | (fs_.isDirectory(link.target) ? quint32(AttrDirectory) : 0u);
    link.targetSize = quint32(qMax<qint64>(0, fs_.fileSize(link.target)));
  } else {
    link.targetAttributes = link.target.size() <= 3 || e.option("folder") == QLatin1String("1") ? AttrDirectory : AttrArchive;
    link.targetSize = e.option("size", QStringLiteral("0")).toUInt();
  }
  link.targetTime = timeFor(link.target);
  return writeShellLink(link);
}

bool Builder::generate(const Entry& e) {
  const QString& path = e.path;
  auto bad = [&](const QString& what) { return fail(QStringLiteral("manifest.txt line %1: %2").arg(e.line).arg(what)); };
  auto needsPath = [&] { return path.size() >= 3 && path[1] == QLatin1Char(':') && path[2] == QLatin1Char('\\'); };
  const QString& k = e.kind;

  if (k == QLatin1String("time")) {
    QDateTime when;
    if (!parseWhen(e.option("when"), &when)) return bad(QStringLiteral("time needs when=YYYY-MM-DD HH:MM[:SS]"));
    timeRules_.append({path, when});
    return true;
  }
  if (!needsPath()) return bad(QStringLiteral("\"%1\" is not a full Windows path").arg(path));
  if (k == QLatin1String("attrib")) {
    quint32 a = 0;
    if (!parseAttributeLetters(e.option("set"), &a)) return bad(QStringLiteral("attrib needs set= with the letters R, H, S, A"));
    attributeRules_.append({path, a});
    return true;
  }
  if (k == QLatin1String("dir")) return makeDirectory(path);
  if (k == QLatin1String("recycled")) {
    Recycled r;
    r.stored = path;
    r.original = e.option("original");
    if (r.original.isEmpty() || !parseWhen(e.option("deleted"), &r.deleted))
      return bad(QStringLiteral("recycled needs original= and deleted="));
    recycled_.append(r);
    return true;
  }
  if (k == QLatin1String("copy")) {
    const QString from = e.option("from");
    if (!makeDirectory(parentOf(path))) return false;
    if (!fs_.copyFile(from, path, true))
      return fail(QStringLiteral("cannot copy %1 to %2: %3").arg(from, path, describe(fs_.lastError())));
    createdFiles_.append(path);
    return true;
  }

  const QString name = fileNameOf(path);
  const QString base = name.section(QLatin1Char('.'), 0, 0);
  const QByteArray message = toAnsi(e.option("msg", stubMessage(path)));
  std::optional<ModuleVersion> version;
  if (const QString text = e.option("version"); !text.isEmpty()) {
    const QStringList parts = text.split(QLatin1Char('.'));
    quint16 numbers[4] = {};
    bool ok = parts.size() <= 4;
    for (qsizetype i = 0; ok && i < parts.size(); ++i) {
      const uint n = parts[i].toUInt(&ok);
      ok = ok && n <= 0xFFFF;
      numbers[i] = quint16(n);
    }
    if (!ok) return bad(QStringLiteral("version= needs up to four numbers joined by points"));
    version = ModuleVersion{numbers[0], numbers[1], numbers[2], numbers[3]};
  }
  QByteArray bytes;
  if (k == QLatin1String("com")) {
    bytes = dosComProgram(message);
  } else if (k == QLatin1String("dosexe")) {
    bytes = dosExeProgram(message);
  } else if (k == QLatin1String("pe")) {
    const QString type = e.option("type", QStringLiteral("gui"));
    const PeKind kind = type == QLatin1String("dll")       ? PeKind::Dll
                        : type == QLatin1String("console") ? PeKind::ConsoleExe
                                                           : PeKind::GuiExe;
    bool ok = true;
    const QString baseText = e.option("base");
    const quint32 imageBase = baseText.isEmpty() ? 0 : baseText.toUInt(&ok, 16);
    if (!ok) return bad(QStringLiteral("base= is not a hexadecimal address"));
    bytes = peImage(name.toUpper(), kind, imageBase, version);
  } else if (k == QLatin1String("ne")) {
    bytes = neModule(base, e.option("lib") == QLatin1String("1"), toAnsi(e.option("desc")), version);
  } else if (k == QLatin1String("vxd")) {
    bytes = leVxd(base);
  } else if (k == QLatin1String("sys")) {
    bytes = dosDeviceDriver(e.option("device", base));
  } else if (k == QLatin1String("ttf")) {
    bytes = trueTypeFont(e.option("family"), e.option("name", e.option("family")));
  } else if (k == QLatin1String("fon")) {
    bytes = rasterFont(base, e.option("desc"));
  } else if (k == QLatin1String("hlp")) {
    bytes = winHelpFile(e.option("size", QStringLiteral("4096")).toInt());
  } else if (k == QLatin1String("grp")) {
    bytes = programManagerGroup(e.option("title", base));
  } else if (k == QLatin1String("wav")) {
    QList<Tone> tones;
    if (!parseTones(e.option("tones"), &tones)) return bad(QStringLiteral("wav needs tones=HZ[+HZ]:MS,..."));
    bytes = waveFile(tones);
  } else if (k == QLatin1String("bmp")) {
    Scene scene;
    if (!parseScene(e.option("scene"), &scene)) return bad(QStringLiteral("unknown scene"));
    const int w = e.option("width", QStringLiteral("320")).toInt();
    const int h = e.option("height", QStringLiteral("400")).toInt();
    if (w <= 0 || h <= 0 || w > 2048 || h > 2048) return bad(QStringLiteral("bad picture size"));
    bytes = bitmapFile(drawScene(scene, w, h));
    if (bytes.isEmpty()) return fail(QStringLiteral("cannot make the picture %1").arg(path));
  } else if (k == QLatin1String("empty")) {
    bytes = QByteArray();
  } else if (k == QLatin1String("junk")) {
    bytes = junkBytes(e.option("size").toInt(), quint32(qHash(path)), toAnsi(e.option("text")));
  } else if (k == QLatin1String("lnk")) {
    if (e.option("target").isEmpty()) return bad(QStringLiteral("lnk needs target="));
    bytes = shortcut(e);
  } else if (k == QLatin1String("pif")) {
    Pif pif;
    pif.program = e.option("program");
    pif.title = e.option("title", base);
    pif.workingDir = e.option("dir");
    pif.parameters = e.option("args");
    if (pif.program.isEmpty()) return bad(QStringLiteral("pif needs program="));
    bytes = writePif(pif);
  } else {
    return bad(QStringLiteral("unknown kind \"%1\"").arg(k));
  }
  return writeFile(path, bytes);
}

// The INFO index of each drive's recycle bin, laid out as Windows 95 writes it.
bool Builder::writeRecycleBins() {
  std::map<QChar, QList<Recycled>> byDrive;
  for (const Recycled& r : recycled_) byDrive[r.stored[0].toUpper()].append(r);
  for (const auto& [letter, items] : byDrive) {
    quint32 spc = 0, bps = 0, freeClusters = 0, totalClusters = 0;
    const QString root = QString(letter) + QStringLiteral(":\\");
    const quint32 cluster = fs_.diskFreeSpace(root, &spc, &bps, &freeClusters, &totalClusters) ? spc * bps : 512 * 32;
    QByteArray info(0x14, '\0');
    quint32 total = 0, next = 0;
    for (const Recycled& r : items) {
      // The stored name is D<drive letter><index><extension>.
      bool ok = false;
      const quint32 index = fileNameOf(r.stored).mid(2).section(QLatin1Char('.'), 0, 0).toUInt(&ok);
      if (!ok) return fail(QStringLiteral("%1 is not named like a recycled file").arg(r.stored));
      const qint64 size = fs_.fileSize(r.stored);
      if (size < 0) return fail(QStringLiteral("the recycled file %1 is missing").arg(r.stored));
      const quint32 onDisk = quint32((size + cluster - 1) / cluster * cluster);
      QByteArray rec(0x118, '\0');
      const QByteArray original = toAnsi(r.original).left(259);
      for (int i = 0; i < original.size(); ++i) rec[i] = original[i];
      putU32(rec, 0x104, index);
      putU32(rec, 0x108, quint32(letter.unicode() - 'A'));
      putU64(rec, 0x10C, toFileTime(r.deleted));
      putU32(rec, 0x114, onDisk);
      info += rec;
      total += onDisk;
      next = qMax(next, index + 1);
    }
    putU32(info, 0x00, 0);
    putU32(info, 0x04, quint32(items.size()));
    putU32(info, 0x08, next);
    putU32(info, 0x0C, 0x118);
    putU32(info, 0x10, total);
    if (!writeFile(parentOf(items.first().stored) + QStringLiteral("\\INFO"), info)) return false;
  }
  return true;
}

bool Builder::setTimes() {
  for (const QString& p : createdFiles_) {
    const QDateTime t = timeFor(p);
    if (!t.isValid()) continue;
    if (isCd(p)) {
      QFile f(cdHostPath(p));
      if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(t, QFileDevice::FileModificationTime))
        return fail(QStringLiteral("cannot date %1: %2").arg(p, f.errorString()));
    } else if (!fs_.setLastWriteTime(p, t)) {
      return fail(QStringLiteral("cannot date %1: %2").arg(p, describe(fs_.lastError())));
    }
  }
  // Folders last and deepest first, since filling a folder moves its time. Not every
  // host file system lets a folder's time be set; a folder keeps today's date there.
  QStringList dirs = createdDirs_;
  std::sort(dirs.begin(), dirs.end(),
            [](const QString& a, const QString& b) { return a.count(QLatin1Char('\\')) > b.count(QLatin1Char('\\')); });
  for (const QString& p : dirs) {
    const QDateTime t = timeFor(p);
    if (!t.isValid()) continue;
    if (isCd(p)) {
      QFile f(cdHostPath(p));
      if (f.open(QIODevice::ReadOnly)) f.setFileTime(t, QFileDevice::FileModificationTime);
    } else {
      fs_.setLastWriteTime(p, t);
    }
  }
  return true;
}

bool Builder::setAttributes() {
  // Every file on a CD reads as read-only.
  for (const QString& p : createdFiles_)
    if (isCd(p) && !fs_.attributeStore().set(cdHostPath(p), AttrReadOnly))
      return fail(QStringLiteral("cannot set the attributes of %1").arg(p));
  for (const auto& [path, attrs] : attributeRules_) {
    if (isCd(path)) {
      if (!fs_.attributeStore().set(cdHostPath(path), attrs))
        return fail(QStringLiteral("cannot set the attributes of %1").arg(path));
    } else if (!fs_.setAttributes(path, attrs)) {
      return fail(QStringLiteral("cannot set the attributes of %1: %2").arg(path, describe(fs_.lastError())));
    }
  }
  return true;
}

bool Builder::run(QString* error) {
  auto done = [&](bool ok) {
    if (!ok && error) *error = error_;
    return ok;
  };
  const auto manifest = resource(QStringLiteral("manifest.txt"));
  if (!manifest) return done(fail(QStringLiteral("the sample's manifest.txt is missing from the program")));
  if (!parseManifest(*manifest, &manifest_, &error_)) return done(false);
  // Time rules first: shortcuts record their targets' times.
  for (const Entry& e : manifest_)
    if (e.kind == QLatin1String("time") && !generate(e)) return done(false);
  // The Windows folder is made here, not by the registry, so that it gets its date too.
  if (!makeDirectory(m_.facts().windowsDirectory) || !importRegistry() || !copyDataFiles()) return done(false);
  for (const Entry& e : manifest_)
    if (e.kind != QLatin1String("time") && !generate(e)) return done(false);
  return done(writeRecycleBins() && setTimes() && setAttributes());
}

// Makes every folder below `dir` writable again, so that a half-made machine can go.
void makeWritable(const QString& dir) {
  QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  while (it.hasNext()) {
    const QString p = it.next();
    if (QFileInfo(p).isDir() && !QFileInfo(p).isSymLink())
      QFile::setPermissions(p, QFile::permissions(p) | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
}

}  // namespace

bool createSampleMachine(const QString& folder, QString* error) {
  auto fail = [&](const QString& msg) {
    if (error) *error = msg;
    return false;
  };
  const QFileInfo info(folder);
  bool madeFolder = false;
  if (info.exists()) {
    if (!info.isDir()) return fail(QStringLiteral("%1 is not a folder").arg(folder));
    if (!QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
      return fail(QStringLiteral("%1 is not empty; the sample machine needs an empty or new folder").arg(folder));
  } else {
    if (!QDir().mkpath(folder)) return fail(QStringLiteral("cannot create the folder %1").arg(folder));
    madeFolder = true;
  }

  auto undo = [&](const QString& why) {
    makeWritable(folder);
    if (madeFolder) {
      QDir(folder).removeRecursively();
    } else {
      const QDir dir(folder);
      for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (entry.isDir() && !entry.isSymLink())
          QDir(entry.absoluteFilePath()).removeRecursively();
        else
          QFile::remove(entry.absoluteFilePath());
      }
    }
    return fail(why);
  };

  const auto ini = resource(QLatin1String(kMachineIniName));
  if (!ini) return undo(QStringLiteral("the sample's machine.ini is missing from the program"));
  {
    QFile f(QDir(folder).filePath(QLatin1String(kMachineIniName)));
    const QByteArray bytes = windowsText(*ini);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
      return undo(QStringLiteral("cannot write %1: %2").arg(f.fileName(), f.errorString()));
  }
  QString why;
  std::unique_ptr<Machine> machine = Machine::open(folder, &why, MachineOpen::BeingBuilt);
  if (!machine) return undo(why);
  Builder builder(*machine);
  if (!builder.run(&why)) {
    machine.reset();
    return undo(QStringLiteral("the sample machine could not be made: %1").arg(why));
  }
  return true;
}

}  // namespace vt::sample
