// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/machine.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/creghive.h"
#include "platform/hostprograms.h"
#include "platform/profile.h"
#include "platform/regedit4.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace vt {

namespace {

// Decimal, or hexadecimal with "0x"; a leading zero does not make a number octal.
bool parseNumber(const QString& text, qint64* out) {
  const QString t = text.trimmed();
  const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
  bool ok = false;
  qint64 v = (hex ? t.mid(2) : t).toLongLong(&ok, hex ? 16 : 10);
  if (ok) *out = v;
  return ok;
}

bool parseDriveType(const QString& text, DriveType* out) {
  static const struct {
    const char* name;
    DriveType type;
  } types[] = {
      {"removable", DriveType::Removable}, {"fixed", DriveType::Fixed},     {"cdrom", DriveType::CdRom},
      {"remote", DriveType::Remote},       {"ramdisk", DriveType::RamDisk},
  };
  for (const auto& t : types) {
    if (text.trimmed().compare(QLatin1String(t.name), Qt::CaseInsensitive) == 0) {
      *out = t.type;
      return true;
    }
  }
  return false;
}

QString windowsPathSetting(const IniDocument& ini, const char* key, const QString& fallback) {
  QString v = ini.value(u"Machine", QString::fromLatin1(key)).value_or(QString()).trimmed();
  while (v.size() > 3 && (v.endsWith(QLatin1Char('\\')) || v.endsWith(QLatin1Char('/')))) v.chop(1);
  return v.isEmpty() ? fallback : v;
}

// A write killed half-way leaves its temporary file behind: Windows never sees it, but it
// takes room for ever. Those beside the machine's own files go when the machine is opened;
// those in the drives when a walk over the drive comes upon them (treewalk.cpp,
// drivespace.cpp), which spares every opening of a large machine a walk of its own.
void removeAbandonedWriteFiles(const QString& machineFolder) {
  const int fd = ::open(QFile::encodeName(machineFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return;
  }
  while (const dirent* e = ::readdir(dir))
    if (e->d_type == DT_REG || e->d_type == DT_UNKNOWN) removeAbandonedAtomicTempAt(::dirfd(dir), e->d_name);
  ::closedir(dir);
}

}  // namespace

bool parseMachineIni(const QByteArray& bytes, const QString& machineFolder, MachineFacts* facts,
                     std::map<QChar, DriveInfo>* drives, bool* forceAttributeFile, QString* error, QStringList* warnings) {
  const IniDocument ini(bytes);
  auto fail = [&](const QString& msg) {
    if (error) *error = QStringLiteral("machine.ini: ") + msg;
    return false;
  };
  if (!ini.hasSection(u"Machine")) return fail(QStringLiteral("the section [Machine] is missing"));

  MachineFacts f;
  auto text = [&](const char* key, const QString& fallback) {
    return ini.value(u"Machine", QString::fromLatin1(key)).value_or(fallback).trimmed();
  };
  auto number = [&](const char* key, qint64 fallback, qint64* out) {
    const auto v = ini.value(u"Machine", QString::fromLatin1(key));
    *out = fallback;
    if (!v || v->trimmed().isEmpty()) return true;
    if (!parseNumber(*v, out) || *out < 0) return fail(QStringLiteral("%1=%2 is not a number").arg(QLatin1String(key), *v));
    return true;
  };

  f.platform = text("Platform", f.platform);
  if (f.platform != QLatin1String("Win95") && f.platform != QLatin1String("WinNT") && f.platform != QLatin1String("Win32"))
    return fail(QStringLiteral("Platform=%1 is not Win95, WinNT or Win32").arg(f.platform));
  qint64 n = 0;
  if (!number("Processor", f.processor, &n)) return false;
  f.processor = int(n);
  if (!number("PhysicalMemory", qint64(f.physicalMemory), &n)) return false;
  f.physicalMemory = quint64(n);
  if (!number("ColorDepth", f.colorDepth, &n)) return false;
  f.colorDepth = int(n);
  if (!number("ScreenWidth", f.screenWidth, &n)) return false;
  f.screenWidth = int(n);
  if (!number("ScreenHeight", f.screenHeight, &n)) return false;
  f.screenHeight = int(n);
  f.userName = text("UserName", {});
  f.computerName = text("ComputerName", {});
  f.windowsDirectory = windowsPathSetting(ini, "WindowsDirectory", f.windowsDirectory);
  f.systemDirectory = windowsPathSetting(ini, "SystemDirectory", f.windowsDirectory + QStringLiteral("\\SYSTEM"));
  f.programDirectory = windowsPathSetting(ini, "ProgramDirectory", f.programDirectory);
  const QString store = text("AttributeStore", QStringLiteral("auto"));
  if (store.compare(QLatin1String("file"), Qt::CaseInsensitive) != 0 &&
      store.compare(QLatin1String("auto"), Qt::CaseInsensitive) != 0 &&
      store.compare(QLatin1String("xattr"), Qt::CaseInsensitive) != 0)
    return fail(QStringLiteral("AttributeStore=%1 is not auto, xattr or file").arg(store));
  if (forceAttributeFile) *forceAttributeFile = store.compare(QLatin1String("file"), Qt::CaseInsensitive) == 0;

  // A machine folder is passed around like a disk image; the host programs that stand in
  // for Windows tools are the user's own choice, never the folder's.
  if (!ini.keys(u"Programs").isEmpty() && warnings)
    *warnings
        << QStringLiteral("machine.ini: the section [Programs] is ignored; host programs are set in %1").arg(hostProgramsFile());

  std::map<QChar, DriveInfo> found;
  for (const QString& section : ini.sections()) {
    const QString s = section.trimmed();
    if (!s.startsWith(QLatin1String("Drive "), Qt::CaseInsensitive)) continue;
    const QString letterText = s.mid(6).trimmed();
    if (letterText.size() != 1 || !letterText[0].isLetter() || letterText[0].unicode() > 0x7F)
      return fail(QStringLiteral("[%1] does not name a drive letter A to Z").arg(s));
    DriveInfo d;
    d.letter = letterText[0].toUpper();
    if (found.count(d.letter)) continue;  // the first of duplicate sections wins, as everywhere in INI files
    auto dv = [&](const char* key) { return ini.value(section, QString::fromLatin1(key)); };
    if (auto t = dv("Type")) {
      if (!parseDriveType(*t, &d.type))
        return fail(QStringLiteral("[%1] Type=%2 is not removable, fixed, cdrom, remote or ramdisk").arg(s, *t));
    }
    auto driveNumber = [&](const char* key, qint64* out) {
      const auto v = dv(key);
      if (!v || v->trimmed().isEmpty()) return true;
      if (!parseNumber(*v, out) || *out < 0)
        return fail(QStringLiteral("[%1] %2=%3 is not a number").arg(s, QLatin1String(key), *v));
      return true;
    };
    qint64 ready = 1, total = 0, free = -1, bps = d.bytesPerSector, spc = d.sectorsPerCluster;
    if (!driveNumber("Ready", &ready) || !driveNumber("TotalBytes", &total) || !driveNumber("FreeBytes", &free) ||
        !driveNumber("BytesPerSector", &bps) || !driveNumber("SectorsPerCluster", &spc))
      return false;
    if (bps == 0 || spc == 0) return fail(QStringLiteral("[%1] sectors and clusters must not be 0").arg(s));
    // GetDiskFreeSpace reports both in 32 bits; a larger figure would wrap, to 0 at worst.
    if (bps > 0xFFFFFFFFLL || spc > 0xFFFFFFFFLL)
      return fail(QStringLiteral("[%1] BytesPerSector and SectorsPerCluster must be below 4294967296").arg(s));
    d.ready = ready != 0;
    d.totalBytes = total;
    if (free >= 0) d.freeBytes = free;
    d.bytesPerSector = quint32(bps);
    d.sectorsPerCluster = quint32(spc);
    d.label = dv("Label").value_or(QString()).trimmed();
    d.fileSystem =
        dv("FileSystem").value_or(d.type == DriveType::CdRom ? QStringLiteral("CDFS") : QStringLiteral("FAT")).trimmed();
    d.hostRoot = machineFolder + QStringLiteral("/drives/") + d.letter;
    if (const QString image = dv("Image").value_or(QString()).trimmed(); !image.isEmpty()) {
      // The disk image is part of the machine folder, like the drives' folders: a path that
      // leads out of it could make Vantrel write to any file of the host.
      // A floppy image, or a second hard disk's image as a fixed drive (its first FAT partition).
      if (d.type != DriveType::Removable && d.type != DriveType::Fixed)
        return fail(QStringLiteral("[%1] Image= is only for removable and fixed drives (Type=removable, Type=fixed)").arg(s));
      const QString path = QString(image).replace(QLatin1Char('\\'), QLatin1Char('/'));
      if (path.startsWith(QLatin1Char('/')) || path.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return fail(QStringLiteral("[%1] Image=%2 must name a file inside the machine folder, relative to it").arg(s, image));
      d.image = machineFolder + QLatin1Char('/') + path;
      d.hostRoot = machineFolder + QStringLiteral("/") + QLatin1String(kImageWorkingFolder) + QLatin1Char('/') + d.letter;
    }
    found.emplace(d.letter, d);
  }
  if (!found.count(QLatin1Char('C'))) return fail(QStringLiteral("there is no [Drive C]"));
  *facts = f;
  *drives = std::move(found);
  return true;
}

std::unique_ptr<Machine> Machine::open(const QString& folder, QString* error, MachineOpen mode, RegistryLoad load) {
  auto fail = [&](const QString& msg) -> std::unique_ptr<Machine> {
    if (error) *error = msg;
    return nullptr;
  };
  const QDir dir(folder);
  if (!dir.exists()) return fail(QStringLiteral("%1: no such machine folder").arg(folder));
  QFile iniFile(dir.filePath(QLatin1String(kMachineIniName)));
  if (!iniFile.open(QIODevice::ReadOnly))
    return fail(QStringLiteral("%1: cannot read %2 (%3)").arg(folder, QLatin1String(kMachineIniName), iniFile.errorString()));

  std::unique_ptr<Machine> m(new Machine);
  m->folder_ = dir.absolutePath();
  std::map<QChar, DriveInfo> drives;
  bool forceFile = false;
  QString why;
  if (!parseMachineIni(iniFile.readAll(), m->folder_, &m->facts_, &drives, &forceFile, &why, &m->warnings_))
    return fail(QStringLiteral("%1: %2").arg(folder, why));
  const bool create = mode == MachineOpen::BeingBuilt;
  removeAbandonedWriteFiles(m->folder_);
  for (const auto& [letter, d] : drives) {
    if (!d.image.isEmpty() || QDir(d.hostRoot).exists()) continue;
    if (letter == QLatin1Char('C') && !create)
      return fail(QStringLiteral("%1: drive C: is missing (there is no folder %2); this is not a complete machine folder, "
                                 "or its disk is not mounted")
                      .arg(folder, QDir::toNativeSeparators(d.hostRoot)));
    // Other drives' folders appear with their first use; a drive with no disk needs none.
    if (d.ready && !QDir().mkpath(d.hostRoot))
      return fail(QStringLiteral("%1: cannot create the folder of drive %2:").arg(folder, letter));
  }
  m->fs_ = std::make_unique<FileSystem>(m->folder_, std::move(drives), makeAttributeStore(m->folder_, forceFile));
  for (const QString& hive : {m->systemDatPath(), m->userDatPath()}) {
    if (!create && !m->fs_->isFile(hive))
      return fail(
          QStringLiteral("%1: the registry file %2 is missing; this is not a complete Windows 95 machine").arg(folder, hive));
  }
  RegistryFiles files;
  if (!m->findRegistryFiles(&files, &why)) return fail(QStringLiteral("%1: %2").arg(folder, why));
  if (load == RegistryLoad::InBackground) {
    Machine* raw = m.get();
    m->loading_ = std::async(std::launch::async, [raw, files, folder = m->folder_] {
      QString why;
      return raw->loadRegistry(files, &why) ? QString() : QStringLiteral("%1: %2").arg(folder, why);
    });
    return m;
  }
  if (!m->loadRegistry(files, &why)) return fail(QStringLiteral("%1: %2").arg(folder, why));
  return m;
}

Machine::~Machine() { waitForRegistry(); }

void Machine::waitNow() const {
  loadError_ = loading_.get();
  loading_ = {};
}

bool Machine::finishOpening(QString* error) {
  waitForRegistry();
  if (loadError_.isEmpty()) return true;
  if (error) *error = loadError_;
  return false;
}

QString Machine::systemDatPath() const { return facts_.windowsDirectory + QStringLiteral("\\SYSTEM.DAT"); }
QString Machine::userDatPath() const { return facts_.windowsDirectory + QStringLiteral("\\USER.DAT"); }

bool Machine::findRegistryFiles(RegistryFiles* files, QString* error) {
  for (auto [winPath, host] : {std::pair(systemDatPath(), &files->systemDat), std::pair(userDatPath(), &files->userDat)}) {
    if (!fs_->exists(winPath)) continue;  // a machine without a registry yet: it starts empty
    *host = fs_->hostPath(winPath);
    if (!*host || fs_->isDirectory(winPath)) {
      *error = QStringLiteral("cannot read %1: %2").arg(winPath, describe(*host ? WinError::AccessDenied : fs_->lastError()));
      return false;
    }
  }
  files->dynData = hostPathInFolder(QLatin1String(kDynDataFileName));
  return true;
}

bool Machine::loadRegistry(const RegistryFiles& files, QString* error) {
  auto loadHive = [&](const QString& winPath, const std::optional<QString>& host, RegKey& root) {
    if (!host) return true;
    WinError failure = WinError::Success;
    const auto bytes = FileSystem::readHostPath(*host, &failure);
    if (!bytes) {
      *error = QStringLiteral("cannot read %1: %2").arg(winPath, describe(failure));
      return false;
    }
    QString why;
    if (!creg::readHive(*bytes, root, &why)) {
      *error = QStringLiteral("%1 is not a usable registry file: %2").arg(winPath, why);
      return false;
    }
    return true;
  };
  if (!loadHive(systemDatPath(), files.systemDat, registry_.localMachine()) ||
      !loadHive(userDatPath(), files.userDat, registry_.users()))
    return false;

  QFile dyn(files.dynData);
  if (dyn.exists()) {
    if (!dyn.open(QIODevice::ReadOnly)) {
      *error = QStringLiteral("cannot read %1: %2").arg(QLatin1String(kDynDataFileName), dyn.errorString());
      return false;
    }
    Registry scratch;
    QString why;
    if (!regedit4::importText(dyn.readAll(), scratch, regedit4::ImportMode::Merge, &why)) {
      *error = QStringLiteral("%1: %2").arg(QLatin1String(kDynDataFileName), why);
      return false;
    }
    if (scratch.localMachine().subkeyCount() || scratch.users().subkeyCount()) {
      *error = QStringLiteral("%1 may only hold keys of HKEY_DYN_DATA").arg(QLatin1String(kDynDataFileName));
      return false;
    }
    registry_.dynData().takeContentsOf(scratch.dynData());
  }
  savedHklm_ = registry_.localMachine().generation();
  savedHku_ = registry_.users().generation();
  savedDyn_ = registry_.dynData().generation();
  return true;
}

bool Machine::registryChanged() const {
  waitForRegistry();
  return registry_.localMachine().generation() != savedHklm_ || registry_.users().generation() != savedHku_ ||
         registry_.dynData().generation() != savedDyn_;
}

bool Machine::saveRegistry(QString* error) {
  waitForRegistry();
  auto fail = [&](const QString& msg) {
    if (error) *error = msg;
    return false;
  };
  struct Hive {
    QString winPath;
    const RegKey& root;
    quint64* saved;
    QByteArray bytes;
  };
  Hive hives[] = {{systemDatPath(), registry_.localMachine(), &savedHklm_, {}},
                  {userDatPath(), registry_.users(), &savedHku_, {}}};
  // Every changed hive is put into file form before any file is replaced, so a tree the
  // format cannot hold stops the save with nothing written.
  for (Hive& h : hives) {
    if (h.root.generation() == *h.saved) continue;
    QString why;
    h.bytes = creg::writeHive(h.root, &why);
    if (h.bytes.isEmpty()) return fail(QStringLiteral("cannot write %1: %2").arg(h.winPath, why));
  }
  for (Hive& h : hives) {
    if (h.bytes.isEmpty()) continue;
    if (!fs_->exists(facts_.windowsDirectory) && !fs_->createDirectories(facts_.windowsDirectory))
      return fail(QStringLiteral("cannot create %1: %2").arg(facts_.windowsDirectory, describe(fs_->lastError())));
    // Windows keeps its registry files read-only, hidden and system; lift that for the write.
    const quint32 attrs = fs_->attributes(h.winPath);
    if (attrs != kInvalidAttributes) fs_->setAttributes(h.winPath, 0);
    const bool ok = fs_->writeFile(h.winPath, h.bytes);
    const WinError writeError = fs_->lastError();
    // A hive written is marked for the next backup like any file Windows writes.
    const quint32 kept = attrs != kInvalidAttributes ? attrs & AttrSettable : AttrReadOnly | AttrHidden | AttrSystem;
    fs_->setAttributes(h.winPath, ok ? kept | AttrArchive : kept);
    if (!ok) return fail(QStringLiteral("cannot write %1: %2").arg(h.winPath, describe(writeError)));
    *h.saved = h.root.generation();
  }
  if (registry_.dynData().generation() != savedDyn_) {
    const QByteArray text = regedit4::exportKey(registry_.dynData(), QStringLiteral("HKEY_DYN_DATA"));
    int err = 0;
    if (!writeFileAtomically(hostPathInFolder(QLatin1String(kDynDataFileName)), text, &err))
      return fail(
          QStringLiteral("cannot write %1: %2").arg(QLatin1String(kDynDataFileName), QString::fromLocal8Bit(strerror(err))));
    savedDyn_ = registry_.dynData().generation();
  }
  return true;
}

bool Machine::snapshotRegistry(RegistrySnapshot* snapshot, QString* error) {
  waitForRegistry();
  auto fail = [&](const QString& msg) {
    if (error) *error = msg;
    return false;
  };
  *snapshot = {};
  struct Hive {
    QString winPath;
    const RegKey& root;
    quint64 saved;
    RegistrySnapshot::File& file;
  };
  const Hive hives[] = {{systemDatPath(), registry_.localMachine(), savedHklm_, snapshot->systemDat},
                        {userDatPath(), registry_.users(), savedHku_, snapshot->userDat}};
  for (const Hive& h : hives) {
    RegistrySnapshot::File& f = h.file;
    f.attributes = fs_->attributes(h.winPath);
    f.exists = f.attributes != kInvalidAttributes;
    if (f.exists) {
      f.written = fs_->lastWriteTime(h.winPath);
      if (auto bytes = fs_->readFile(h.winPath)) {
        f.bytes = std::move(*bytes);
        f.read = true;
      }
    } else {
      f.read = true;
    }
    // Memory is put back from the file only when the file holds what memory holds.
    if (f.read && h.root.generation() == h.saved) continue;
    QString why;
    f.tree = creg::writeHive(h.root, &why);
    if (f.tree.isEmpty()) return fail(QStringLiteral("cannot keep a copy of %1 to undo the change with: %2").arg(h.winPath, why));
  }
  RegistrySnapshot::File& dyn = snapshot->dynData;
  QFile file(hostPathInFolder(QLatin1String(kDynDataFileName)));
  dyn.exists = file.exists();
  dyn.read = !dyn.exists || file.open(QIODevice::ReadOnly);
  if (dyn.exists && dyn.read) dyn.bytes = file.readAll();
  if (!dyn.read || registry_.dynData().generation() != savedDyn_)
    dyn.tree = regedit4::exportKey(registry_.dynData(), QStringLiteral("HKEY_DYN_DATA"));
  return true;
}

bool Machine::restoreRegistry(const RegistrySnapshot& snapshot, QString* error) {
  waitForRegistry();
  QStringList failures;
  struct Hive {
    QString winPath;
    RegKey& root;
    quint64* saved;
    const RegistrySnapshot::File& file;
  };
  const Hive hives[] = {{systemDatPath(), registry_.localMachine(), &savedHklm_, snapshot.systemDat},
                        {userDatPath(), registry_.users(), &savedHku_, snapshot.userDat}};
  for (const Hive& h : hives) {
    const RegistrySnapshot::File& f = h.file;
    bool fileBack = f.read;
    if (f.read) {
      const quint32 now = fs_->attributes(h.winPath);
      const std::optional<QByteArray> current =
          now == kInvalidAttributes ? std::optional<QByteArray>() : fs_->readFile(h.winPath);
      const bool same = f.exists ? current && *current == f.bytes : now == kInvalidAttributes;
      if (!same) {
        if (now != kInvalidAttributes) fs_->setAttributes(h.winPath, 0);
        fileBack = f.exists ? fs_->writeFile(h.winPath, f.bytes) : fs_->deleteFile(h.winPath);
        if (!fileBack) failures << QStringLiteral("%1: %2").arg(h.winPath, describe(fs_->lastError()));
        if (fileBack && f.exists) {
          fs_->setAttributes(h.winPath, f.attributes & AttrSettable);
          if (f.written.isValid()) fs_->setLastWriteTime(h.winPath, f.written);
        } else if (!fileBack && now != kInvalidAttributes) {
          fs_->setAttributes(h.winPath, now & AttrSettable);
        }
      }
    }
    const QByteArray& source = f.tree.isEmpty() ? f.bytes : f.tree;
    RegKey old;
    if (!source.isEmpty() && !creg::readHive(source, old, nullptr)) continue;  // it read when it was taken
    h.root.takeContentsOf(old);
    // A tree with unsaved changes stays unsaved; one put back from its file is saved again.
    if (f.tree.isEmpty() && fileBack) *h.saved = h.root.generation();
  }

  const RegistrySnapshot::File& dyn = snapshot.dynData;
  const QString dynPath = hostPathInFolder(QLatin1String(kDynDataFileName));
  bool dynBack = dyn.read;
  if (dyn.read) {
    QFile file(dynPath);
    const bool exists = file.exists();
    const bool same = dyn.exists ? exists && file.open(QIODevice::ReadOnly) && file.readAll() == dyn.bytes : !exists;
    file.close();
    if (!same) {
      int err = 0;
      dynBack = dyn.exists ? writeFileAtomically(dynPath, dyn.bytes, &err) : file.remove();
      if (!dynBack)
        failures << QStringLiteral("%1: %2").arg(QLatin1String(kDynDataFileName),
                                                 err ? QString::fromLocal8Bit(strerror(err)) : file.errorString());
    }
  }
  Registry scratch;
  const QByteArray& dynSource = dyn.tree.isEmpty() ? dyn.bytes : dyn.tree;
  if (dynSource.isEmpty() || regedit4::importText(dynSource, scratch, regedit4::ImportMode::Merge, nullptr)) {
    registry_.dynData().clear();
    registry_.dynData().takeContentsOf(scratch.dynData());
    if (dyn.tree.isEmpty() && dynBack) savedDyn_ = registry_.dynData().generation();
  }
  if (failures.isEmpty()) return true;
  if (error)
    *error = QStringLiteral("the registry files could not all be put back (%1)").arg(failures.join(QStringLiteral("; ")));
  return false;
}

}  // namespace vt
