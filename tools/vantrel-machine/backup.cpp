// SPDX-License-Identifier: GPL-3.0-or-later
// backup and rescue-disk: the backup store as the Backup pages use it, and the rescue
// floppy, written into the machine's drive A: or into a floppy image on the host.
#include "commands.h"
#include "session.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/machine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace vt::tool {

const char* const kHelpBackup =
    "Usage: vantrel-machine --machine DIR backup list [--json]\n"
    "       vantrel-machine --machine DIR backup create [--components LIST]\n"
    "                                               [--description TEXT]\n"
    "       vantrel-machine --machine DIR backup restore N [--components LIST]\n"
    "       vantrel-machine --machine DIR backup delete N\n"
    "\n"
    "list shows the backup sets: number, date, components and\n"
    "description. create makes a set of the components (all six\n"
    "unless --components names some), described by TEXT\n"
    "(\"Standart-Backup\" unless given). restore puts set N back:\n"
    "every component it holds, or those --components names (each\n"
    "must be in the set); the registry is merged, or replaced when\n"
    "the machine's options say so. delete removes set N.\n"
    "\n"
    "LIST is a comma-separated list of registry, system-files\n"
    "(WIN.INI, SYSTEM.INI), start-files (CONFIG.SYS, AUTOEXEC.BAT),\n"
    "msdos-sys, logos, other-files (PROTOCOL.INI). N is the set's\n"
    "number as the list shows it (007 or 7).\n";

const char* const kHelpRescueDisk =
    "Usage: vantrel-machine --machine DIR rescue-disk [--image FLOPPY.img]\n"
    "\n"
    "Writes the rescue boot floppy: its AUTOEXEC.BAT puts back the\n"
    "last saved state of the registry and the start files, its\n"
    "RESTORE.BAT the saved system libraries, with DOS tools and a\n"
    "help text. Into the disk in the machine's drive A:, or with\n"
    "--image into FLOPPY.img, a formatted 1.44 MB floppy image on\n"
    "this computer (make it bootable first to boot from it). All\n"
    "or nothing: a disk that cannot be finished keeps what it held.\n";

namespace {

constexpr const char* kComponentNames[backup::kComponentCount] = {"registry",  "system-files", "start-files",
                                                                  "msdos-sys", "logos",        "other-files"};

bool parseComponents(const QString& list, backup::Components* out, QString* bad) {
  *out = {};
  for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    const QString name = part.trimmed().toLower();
    const auto* it = std::find_if(std::begin(kComponentNames), std::end(kComponentNames),
                                  [&](const char* n) { return name == QLatin1String(n); });
    if (it == std::end(kComponentNames)) {
      *bad = part;
      return false;
    }
    (*out)[size_t(it - std::begin(kComponentNames))] = true;
  }
  return std::find(out->begin(), out->end(), true) != out->end();
}

QStringList componentNames(const backup::Components& c) {
  QStringList names;
  for (int i = 0; i < backup::kComponentCount; ++i)
    if (c[size_t(i)]) names << QLatin1String(kComponentNames[i]);
  return names;
}

int setNumberOf(const QString& descriptionPath) {
  bool ok = false;
  const int n = descriptionPath.mid(descriptionPath.lastIndexOf(QLatin1Char('.')) + 1).toInt(&ok);
  return ok ? n : -1;
}

QList<backup::SetEntry> sortedSets(backup::Backups& backups) {
  QList<backup::SetEntry> sets = backups.ListSets();
  std::sort(sets.begin(), sets.end(), [](const backup::SetEntry& a, const backup::SetEntry& b) {
    return setNumberOf(a.descriptionPath) < setNumberOf(b.descriptionPath);
  });
  return sets;
}

// The description path of set `number` ("7" or "007"), or a message on stderr.
bool findSet(Session& s, Io& io, const QString& number, QString* path, int* code) {
  bool ok = false;
  const int n = number.toInt(&ok);
  if (!ok || n < 0 || n > 999 || number.size() > 3) {
    *code = io.fail(Usage, QStringLiteral("backup: \"%1\" is no set number (000 to 999)").arg(number));
    return false;
  }
  for (const backup::SetEntry& set : s.backups.ListSets())
    if (setNumberOf(set.descriptionPath) == n) {
      *path = set.descriptionPath;
      return true;
    }
  *code = io.fail(Failed, QStringLiteral("backup: there is no backup set %1").arg(n, 3, 10, QLatin1Char('0')));
  return false;
}

int backupList(Session& s, Io& io, bool json) {
  QJsonArray list;
  for (const backup::SetEntry& set : sortedSets(s.backups)) {
    const QStringList components = componentNames(s.backups.LoadBackupComponents(set.descriptionPath));
    const int n = setNumberOf(set.descriptionPath);
    const QString date = set.modified.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (json) {
      list.append(QJsonObject{{QStringLiteral("number"), n},
                              {QStringLiteral("date"), set.modified.toString(Qt::ISODate)},
                              {QStringLiteral("description"), set.name},
                              {QStringLiteral("components"), QJsonArray::fromStringList(components)}});
      continue;
    }
    io.out << QStringLiteral("%1  %2  %3  %4\n")
                  .arg(n, 3, 10, QLatin1Char('0'))
                  .arg(date, components.join(QLatin1Char(',')), set.name);
  }
  if (json) io.json(list);
  return Ok;
}

}  // namespace

int cmdBackup(Machine& m, const QStringList& args, Io& io) {
  Options o(args);
  const bool json = o.flag("json");
  const std::optional<QString> componentList = o.value("components");
  const std::optional<QString> description = o.value("description");
  int code = Ok;
  if (!o.finish("backup", io, &code, 1, 2)) return code;
  const QStringList plain = o.plain();
  const QString action = plain[0].toLower();
  auto refuse = [&](const char* what) {
    return io.fail(Usage, QStringLiteral("backup %1: %2 (see backup --help)").arg(action, QLatin1String(what)));
  };
  const bool takesNumber = action == QLatin1String("restore") || action == QLatin1String("delete");
  if (action != QLatin1String("list") && action != QLatin1String("create") && !takesNumber)
    return io.fail(Usage, QStringLiteral("backup: unknown action \"%1\" (list, create, restore, delete)").arg(plain[0]));
  if (takesNumber != (plain.size() == 2)) return refuse(takesNumber ? "needs a set number" : "takes no set number");
  if (json && action != QLatin1String("list")) return refuse("--json is for list");
  if (componentList && action != QLatin1String("create") && action != QLatin1String("restore"))
    return refuse("takes no --components");
  if (description && action != QLatin1String("create")) return refuse("takes no --description");
  backup::Components chosen;
  chosen.fill(true);
  if (componentList) {
    QString bad;
    if (!parseComponents(*componentList, &chosen, &bad))
      return io.fail(Usage, bad.isEmpty() ? QStringLiteral("backup: --components names no component")
                                          : QStringLiteral("backup: unknown component \"%1\" (see backup --help)").arg(bad));
  }

  Session s(m, io);
  s.dialogs.json = json;
  if (action == QLatin1String("list")) return backupList(s, io, json);

  if (action == QLatin1String("create")) {
    backup::Choice choice{chosen, description.value_or(QStringLiteral("Standart-Backup"))};
    const QString number = s.backups.NextBackupNumber(s.backups.storeDirectory());
    const bool ok = s.backups.CreateBackupSet(choice);
    // A set whose making failed stays, as the window leaves it, for the user to delete.
    if (!number.isEmpty() && (ok || m.files().exists(s.backups.storeDirectory() + QStringLiteral("\\BACKUP.") + number)))
      io.out << "backup set " << number << ": " << componentNames(chosen).join(QLatin1Char(',')) << "  " << choice.description
             << '\n';
    return ok ? Ok : Failed;
  }

  QString path;
  if (!findSet(s, io, plain[1], &path, &code)) return code;
  if (action == QLatin1String("delete")) {
    if (s.backups.DeleteBackupSet(path)) return Ok;
    return io.fail(Failed, s.backups.deletionFailedText());
  }
  const backup::Components held = s.backups.LoadBackupComponents(path);
  if (componentList) {
    for (int i = 0; i < backup::kComponentCount; ++i)
      if (chosen[size_t(i)] && !held[size_t(i)])
        return io.fail(Usage, QStringLiteral("backup restore: set %1 holds no %2 (it holds %3)")
                                  .arg(setNumberOf(path), 3, 10, QLatin1Char('0'))
                                  .arg(QLatin1String(kComponentNames[i]), componentNames(held).join(QLatin1Char(','))));
  } else {
    chosen = held;
  }
  return s.backups.RestoreBackupSet(path, chosen, s.flags.replaceRegistry) ? Ok : Failed;
}

namespace {

// The floppy image goes into the machine folder for the writing (a drive's image must lie
// there) and back over the host file in one replacement only once the disk is whole.
class StagedFloppy {
 public:
  explicit StagedFloppy(Machine& m) : m_(m) {
    const QString base = m.folder() + QLatin1Char('/') + QLatin1String(kImageWorkingFolder);
    madeFolder_ = !QFileInfo::exists(base);
    base_ = base;
    const QString stem = base + QStringLiteral("/rescue-disk-%1").arg(::getpid());
    image_ = stem + QStringLiteral(".img");
    workingCopy_ = stem;
  }
  ~StagedFloppy() {
    m_.files().attributeStore().removed(workingCopy_);
    QDir(workingCopy_).removeRecursively();
    QFile::remove(image_);
    if (madeFolder_) QDir().rmdir(base_);
  }
  bool put(const QByteArray& bytes) {
    if (madeFolder_ && !QDir().mkpath(base_)) return false;
    QFile f(image_);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
  }
  std::optional<QByteArray> take() const {
    QFile f(image_);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    return f.readAll();
  }
  const QString& image() const { return image_; }
  const QString& workingCopy() const { return workingCopy_; }

 private:
  Machine& m_;
  QString base_, image_, workingCopy_;
  bool madeFolder_ = false;
};

constexpr qint64 kFloppyBytes = 1474560;

}  // namespace

int cmdRescueDisk(Machine& m, const QStringList& args, Io& io) {
  Options o(args);
  const std::optional<QString> hostImage = o.value("image");
  int code = Ok;
  if (!o.finish("rescue-disk", io, &code)) return code;

  Session s(m, io);
  TerminalProgress progress(io, "rescue-disk", "steps");
  backup::RescueProgress steps;
  steps.status = [&](const QString& text) { progress.say(text); };
  if (!hostImage) return s.backups.CreateRescueDisk(steps) ? Ok : Failed;

  const QFileInfo info(*hostImage);
  if (!info.isFile())
    return io.fail(Failed, QStringLiteral("%1 is no file: make a formatted 1.44 MB floppy image first "
                                          "(mkfs.fat -C %1 1440)")
                               .arg(*hostImage));
  if (info.size() != kFloppyBytes)
    return io.fail(
        Failed,
        QStringLiteral("%1 is no 1.44 MB floppy image (%2 bytes, not %3)").arg(*hostImage).arg(info.size()).arg(kFloppyBytes));
  QFile in(*hostImage);
  if (!in.open(QIODevice::ReadOnly))
    return io.fail(Failed, QStringLiteral("cannot read %1: %2").arg(*hostImage, in.errorString()));
  const QByteArray before = in.readAll();
  in.close();
  if (!info.isWritable()) return io.fail(Failed, QStringLiteral("%1 is write-protected").arg(*hostImage));

  StagedFloppy staged(m);
  if (!staged.put(before))
    return io.fail(Failed, QStringLiteral("cannot make a working copy of %1 in the machine folder").arg(*hostImage));
  FileSystem& fs = m.files();
  if (!fs.insertImage(QLatin1Char('A'), staged.image(), staged.workingCopy()))
    return io.fail(Failed, QStringLiteral("the machine has no floppy drive A: (see machine.md)"));
  const DriveInfo* a = fs.drive(QLatin1Char('A'));
  if (!a || !a->ready) return io.fail(Failed, QStringLiteral("%1 is no FAT floppy image").arg(*hostImage));
  // "Disk made" only once the host's image holds it.
  s.dialogs.hold = true;
  if (!s.backups.CreateRescueDisk(steps)) return Failed;
  const std::optional<QByteArray> after = staged.take();
  int error = 0;
  if (!after || !writeFileAtomically(info.absoluteFilePath(), *after, &error))
    return io.fail(Failed,
                   QStringLiteral("cannot write %1%2; it is as it was")
                       .arg(*hostImage, error ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)) : QString()));
  s.dialogs.hold = false;
  for (const QString& text : s.dialogs.held) s.dialogs.information(text);
  return Ok;
}

}  // namespace vt::tool
