// SPDX-License-Identifier: GPL-3.0-or-later
#include "commands.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/filesystem.h"
#include "platform/launcher.h"
#include "platform/machine.h"
#include "platform/recyclebin.h"
#include "platform/regedit4.h"
#include "platform/shelllink.h"
#include "platform/text.h"
#include "sample/samplemachine.h"

#include <QFile>

#include <cstdio>
#include <cstring>

namespace vt::tool {

namespace {

QString driveTypeName(DriveType t) {
  switch (t) {
    case DriveType::Removable: return QStringLiteral("removable");
    case DriveType::Fixed: return QStringLiteral("fixed");
    case DriveType::Remote: return QStringLiteral("remote");
    case DriveType::CdRom: return QStringLiteral("cdrom");
    case DriveType::RamDisk: return QStringLiteral("ramdisk");
    default: return QStringLiteral("unknown");
  }
}

bool parseDrive(const QString& text, QChar* out) {
  QString t = text.trimmed();
  if (t.endsWith(QLatin1Char('\\'))) t.chop(1);
  if (t.endsWith(QLatin1Char(':'))) t.chop(1);
  if (t.size() != 1 || !t[0].isLetter() || t[0].unicode() > 0x7F) return false;
  *out = t[0].toUpper();
  return true;
}

}  // namespace

int cmdNew(const QStringList& args, Io& io) {
  if (args.size() != 1) return io.fail(Usage, QStringLiteral("new needs exactly one folder: new DIR"));
  QString why;
  if (!sample::createSampleMachine(args[0], &why)) return io.fail(Failed, why);
  io.out << "Created the sample Windows 95 machine in " << args[0] << '\n';
  return Ok;
}

int cmdInfo(Machine& m, const QStringList& args, Io& io) {
  if (!args.isEmpty()) return io.fail(Usage, QStringLiteral("info takes no arguments"));
  const MachineFacts& f = m.facts();
  FileSystem& fs = m.files();
  auto row = [&](const char* label, const QString& value) {
    io.out << QString::fromLatin1(label).leftJustified(17) << value << '\n';
  };
  row("Machine folder", m.folder());
  row("Platform", f.platform);
  row("Processor", QString::number(f.processor));
  row("Memory", QStringLiteral("%1 bytes (%2 MB)").arg(f.physicalMemory).arg(f.physicalMemory / (1024 * 1024)));
  row("Screen", QStringLiteral("%1 x %2, %3 bits per pixel").arg(f.screenWidth).arg(f.screenHeight).arg(f.colorDepth));
  row("User name", f.userName);
  row("Computer name", f.computerName);
  row("Windows folder", f.windowsDirectory);
  row("System folder", f.systemDirectory);
  row("Program folder", f.programDirectory);
  row("Attribute store", fs.attributeStore().kind());
  // The user's own stand-ins for Windows tools; a machine folder never brings its own.
  const QMap<QString, QString> programs = hostPrograms();
  for (auto it = programs.begin(); it != programs.end(); ++it)
    row("Host program", QStringLiteral("%1 = %2").arg(it.key(), it.value()));

  io.out << '\n'
         << QStringLiteral("%1%2%3%4%5%6%7")
                .arg(QStringLiteral("Drive"), -7)
                .arg(QStringLiteral("Type"), -11)
                .arg(QStringLiteral("Ready"), -7)
                .arg(QStringLiteral("Label"), -13)
                .arg(QStringLiteral("File system"), -13)
                .arg(QStringLiteral("Total bytes"), 14)
                .arg(QStringLiteral("Free bytes"), 15)
         << '\n';
  for (const auto& [letter, d] : fs.drives()) {
    const QString root = QString(letter) + QStringLiteral(":\\");
    QString line = QStringLiteral("%1%2").arg(QString(letter) + QLatin1Char(':'), -7).arg(driveTypeName(d.type), -11);
    if (!d.ready) {
      io.out << line << "no     (no disk)\n";
      continue;
    }
    QString label, fileSystem;
    if (!fs.volumeInformation(root, &label, &fileSystem)) {
      label = d.label;
      fileSystem = d.fileSystem;
    }
    qint64 free = -1, total = -1;
    const bool sized = fs.diskFreeSpaceEx(root, &free, &total);
    line += QStringLiteral("%1%2%3")
                .arg(QStringLiteral("yes"), -7)
                .arg(label.isEmpty() ? QStringLiteral("-") : label, -13)
                .arg(fileSystem, -13);
    if (sized)
      line += QStringLiteral("%1%2").arg(total, 14).arg(free, 15);
    else
      line += QStringLiteral("%1").arg(describe(fs.lastError()), 14);
    io.out << line.trimmed() << '\n';
  }
  return Ok;
}

int cmdRegedit(Machine& m, const QStringList& args, Io& io) {
  bool exportMode = false, replace = false;
  QStringList plain;
  for (const QString& a : args) {
    if (a.compare(QLatin1String("/e"), Qt::CaseInsensitive) == 0)
      exportMode = true;
    else if (a.compare(QLatin1String("/c"), Qt::CaseInsensitive) == 0)
      replace = true;
    else if (a.compare(QLatin1String("/s"), Qt::CaseInsensitive) == 0)
      continue;  // silent: it always is
    else if (a.startsWith(QLatin1Char('/')) && a.size() <= 3)
      return io.fail(Usage, QStringLiteral("regedit: unknown switch %1").arg(a));
    else
      plain.append(a);
  }
  if (exportMode && replace) return io.fail(Usage, QStringLiteral("regedit: /e and /c cannot go together"));

  if (exportMode) {
    if (plain.isEmpty() || plain.size() > 2)
      return io.fail(Usage, QStringLiteral("regedit /e needs HOSTFILE and at most one KEY"));
    QByteArray text;
    if (plain.size() == 1) {
      text = regedit4::exportRegistry(m.registry());
    } else {
      QString keyPath = plain[1];
      while (keyPath.endsWith(QLatin1Char('\\'))) keyPath.chop(1);
      const qsizetype slash = keyPath.indexOf(QLatin1Char('\\'));
      const QString rootText = slash < 0 ? keyPath : keyPath.left(slash);
      const QString below = slash < 0 ? QString() : keyPath.mid(slash + 1);
      HKey root;
      if (!parseRootName(rootText, &root))
        return io.fail(Failed, QStringLiteral("regedit: %1 is not a registry root").arg(rootText));
      RegKey* top = m.registry().root(root);
      RegKey* key = m.registry().openKey(root, below);
      if (!top || !key) return io.fail(Failed, QStringLiteral("regedit: there is no key %1").arg(keyPath));
      // The heading names the key as the registry spells it.
      QStringList names;
      for (RegKey* k = key; k && k != top; k = k->parent()) names.prepend(fromAnsi(k->name()));
      names.prepend(rootName(root));
      text = regedit4::exportKey(*key, names.join(QLatin1Char('\\')));
    }
    if (plain[0] == QLatin1String("-")) {
      io.out.flush();
      if (std::fwrite(text.constData(), 1, size_t(text.size()), stdout) != size_t(text.size()))
        return io.fail(Failed, QStringLiteral("regedit: cannot write to standard output"));
      std::fflush(stdout);
      return Ok;
    }
    int err = 0;
    if (!writeFileAtomically(plain[0], text, &err))
      return io.fail(Failed,
                     QStringLiteral("regedit: cannot write %1: %2").arg(plain[0], QString::fromLocal8Bit(std::strerror(err))));
    return Ok;
  }

  if (plain.size() != 1) return io.fail(Usage, QStringLiteral("regedit needs exactly one HOSTFILE to import"));
  QFile f(plain[0]);
  if (!f.open(QIODevice::ReadOnly))
    return io.fail(Failed, QStringLiteral("regedit: cannot read %1: %2").arg(plain[0], f.errorString()));
  const QByteArray text = f.readAll();
  // The registry editor's own import: a save that fails halfway is undone too.
  QString why;
  if (!importRegistryText(m, plain[0], text, replace, &why))
    return io.fail(Failed, QStringLiteral("regedit: the registry is unchanged: %1").arg(why));
  return Ok;
}

int cmdRecycle(Machine& m, const QStringList& args, Io& io) {
  RecycleBin bin(m.files());
  const QString sub = args.value(0).toLower();
  if (sub == QLatin1String("list")) {
    if (args.size() != 1) return io.fail(Usage, QStringLiteral("recycle list takes no arguments"));
    const QList<RecycledItem> items = bin.list();
    if (items.isEmpty()) return Ok;
    io.out << QStringLiteral("%1%2%3%4%5%6")
                  .arg(QStringLiteral("Drive"), -7)
                  .arg(QStringLiteral("Index"), -7)
                  .arg(QStringLiteral("Deleted"), -21)
                  .arg(QStringLiteral("Size"), 10)
                  .arg(QStringLiteral("  Stored as"), -22)
                  .arg(QStringLiteral("Original"))
           << '\n';
    for (const RecycledItem& it : items) {
      io.out << QStringLiteral("%1%2%3%4  %5 %6")
                    .arg(QString(QChar::fromLatin1(char('A' + it.driveNumber))) + QLatin1Char(':'), -7)
                    .arg(it.index, -7)
                    .arg(it.deleted.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), -21)
                    .arg(it.sizeOnDisk, 10)
                    .arg(it.storedPath, -19)
                    .arg(it.originalPath)
             << '\n';
    }
    return Ok;
  }
  if (sub == QLatin1String("restore")) {
    QChar drive;
    bool ok = false;
    const quint32 index = args.value(2).toUInt(&ok);
    if (args.size() != 3 || !parseDrive(args[1], &drive) || !ok)
      return io.fail(Usage, QStringLiteral("recycle restore needs DRIVE and INDEX (see recycle list)"));
    QString why, restored;
    if (!bin.restore(drive, index, &why, &restored)) {
      // Name the item as the bin lists it, when it has one under that index.
      QString item = QStringLiteral("item %1 of drive %2:").arg(index).arg(drive);
      for (const RecycledItem& it : bin.list()) {
        if (QChar::fromLatin1(char('A' + it.driveNumber)) == drive && it.index == index) {
          item = it.originalPath;
          break;
        }
      }
      return io.fail(Failed, QStringLiteral("recycle: cannot restore %1: %2").arg(item, why));
    }
    io.out << "Restored " << restored << '\n';
    return Ok;
  }
  if (sub == QLatin1String("delete")) {
    if (args.size() != 2) return io.fail(Usage, QStringLiteral("recycle delete needs one WINPATH"));
    QString why;
    if (!bin.recycle(args[1], &why))
      return io.fail(Failed, QStringLiteral("recycle: cannot move %1 to the recycle bin: %2").arg(args[1], why));
    return Ok;
  }
  if (sub == QLatin1String("empty")) {
    QChar drive;
    if (args.size() != 2 || !parseDrive(args[1], &drive)) return io.fail(Usage, QStringLiteral("recycle empty needs a DRIVE"));
    QString why;
    if (!bin.empty(drive, &why))
      return io.fail(Failed, QStringLiteral("recycle: cannot empty the recycle bin of %1: %2").arg(drive).arg(why));
    return Ok;
  }
  return io.fail(Usage, QStringLiteral("recycle needs list, restore, delete or empty"));
}

int cmdLnk(Machine& m, const QStringList& args, Io& io) {
  if (args.size() != 1) return io.fail(Usage, QStringLiteral("lnk needs one WINPATH"));
  FileSystem& fs = m.files();
  const auto bytes = fs.readFile(args[0]);
  if (!bytes) return io.fail(Failed, QStringLiteral("lnk: cannot read %1: %2").arg(args[0], describe(fs.lastError())));
  auto row = [&](const char* label, const QString& value) {
    if (!value.isEmpty()) io.out << QString::fromLatin1(label).leftJustified(17) << value << '\n';
  };
  QString target;
  if (const auto link = readShellLink(*bytes)) {
    target = link->target;
    row("Target", link->target);
    row("Working folder", link->workingDir);
    row("Arguments", link->arguments);
    row("Description", link->description);
    row("Icon", link->iconLocation.isEmpty() ? QString() : QStringLiteral("%1,%2").arg(link->iconLocation).arg(link->iconIndex));
    row("Volume label", link->volumeLabel);
    row("Share", link->netName);
  } else if (const auto pif = readPif(*bytes)) {
    target = pif->program;
    row("Target", pif->program);
    row("Working folder", pif->workingDir);
    row("Arguments", pif->parameters);
    row("Title", pif->title);
  } else {
    return io.fail(Failed, QStringLiteral("lnk: %1 is not a shortcut Windows 95 can read").arg(args[0]));
  }
  QString state;
  if (fs.exists(target))
    state = QStringLiteral("yes");
  else if (fs.lastError() == WinError::NotReady)
    state = QStringLiteral("drive not ready");
  else
    state = QStringLiteral("no");
  row("Target exists", state);
  return Ok;
}

}  // namespace vt::tool
