// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/machinechoice.h"

#include "diskimage/diskimage.h"
#include "sample/samplemachine.h"

#include "buildinfo.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace vt {

namespace {

constexpr int kRecentMachines = 8;

QString dataFolder() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
  return base + QStringLiteral("/vantrel");
}

QString recentFile() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/vantrel/recent.txt");
}

}  // namespace

CommandLine parseCommandLine(const QStringList& args) {
  CommandLine cl;
  cl.english = !vt::build::germanFromEnvironment();
  auto setTarget = [&](const QString& t) {
    if (!cl.target.isEmpty()) {
      cl.error = QStringLiteral("more than one machine named ('%1' and '%2')").arg(cl.target, t);
      return false;
    }
    cl.target = t;
    return true;
  };
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    auto next = [&](QString* out) {
      if (i + 1 >= args.size()) {
        cl.error = QStringLiteral("%1 needs a value").arg(a);
        return false;
      }
      *out = args[++i];
      return true;
    };
    if (a == QLatin1String("--machine")) {
      QString t;
      if (!next(&t) || !setTarget(t)) return cl;
    } else if (a.startsWith(QLatin1String("--machine="))) {
      if (!setTarget(a.mid(10))) return cl;
    } else if (a == QLatin1String("--lang") || a.startsWith(QLatin1String("--lang="))) {
      QString lang = a.mid(7);
      if (a == QLatin1String("--lang") && !next(&lang)) return cl;
      if (lang == QLatin1String("en"))
        cl.english = true;
      else if (lang == QLatin1String("de"))
        cl.english = false;
      else {
        cl.error = QStringLiteral("unknown language '%1' (de or en)").arg(lang);
        return cl;
      }
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      cl.help = true;
    } else if (a == QLatin1String("--")) {
      for (++i; i < args.size(); ++i)
        if (!setTarget(args[i])) return cl;
    } else if (a.startsWith(QLatin1Char('-'))) {
      // Qt's own options (-platform and the like) are taken by QApplication before we look.
      cl.error = QStringLiteral("unknown option '%1'").arg(a);
      return cl;
    } else if (!setTarget(a)) {
      return cl;
    }
  }
  return cl;
}

QString sampleMachineFolder() { return dataFolder() + QStringLiteral("/sample-machine"); }

bool isDiskImage(const QString& target) { return QFileInfo(target).isFile(); }

QString imageMachineFolder(const QString& image) {
  const QFileInfo fi(image);
  // One folder per image file: two images of one name in different folders are two machines.
  const QByteArray key = QCryptographicHash::hash(fi.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
  return dataFolder() + QStringLiteral("/images/") + fi.fileName() + QLatin1Char('-') + QString::fromLatin1(key);
}

QString importedFrom(const QString& machineFolder) {
  QFile f(machineFolder + QLatin1Char('/') + QLatin1String(disk::kRecordName));
  if (!f.open(QIODevice::ReadOnly)) return {};
  // The record's head names the image; the file list after it can be long.
  while (!f.atEnd()) {
    const QByteArray line = f.readLine().trimmed();
    if (line.startsWith("Image=")) return QString::fromUtf8(line.mid(6));
    if (line.startsWith('[') && !line.startsWith("[Image")) break;
  }
  return {};
}

bool resolveMachine(const QString& target, MachineChoice* out, QString* error, const disk::Progress& progress) {
  *out = MachineChoice{};
  if (target.isEmpty()) {
    out->folder = sampleMachineFolder();
    out->sample = true;
    if (QFileInfo::exists(out->folder + QStringLiteral("/machine.ini"))) return true;
    if (sample::createSampleMachine(out->folder, error)) return true;
    *error = QStringLiteral("cannot create the sample machine: %1").arg(*error);
    return false;
  }
  if (!isDiskImage(target)) {
    out->folder = target;
    out->image = importedFrom(target);
    return true;
  }
  out->image = QFileInfo(target).absoluteFilePath();
  out->folder = imageMachineFolder(target);
  if (QFileInfo::exists(out->folder + QStringLiteral("/machine.ini"))) return true;
  if (!QDir().mkpath(QFileInfo(out->folder).absolutePath())) {
    *error = QStringLiteral("%1: cannot make the folder").arg(QFileInfo(out->folder).absolutePath());
    return false;
  }
  return disk::importImage(out->image, out->folder, 0, error, nullptr, progress);
}

QStringList recentMachines() {
  QFile f(recentFile());
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList out;
  for (const QByteArray& line : f.readAll().split('\n')) {
    const QString t = QString::fromUtf8(line).trimmed();
    if (!t.isEmpty() && !out.contains(t) && QFileInfo::exists(t)) out.append(t);
  }
  return out.mid(0, kRecentMachines);
}

void rememberMachine(const QString& target) {
  const QString absolute = QFileInfo(target).absoluteFilePath();
  QStringList list = recentMachines();
  // Opening the machine already first in the list changes nothing to write.
  if (!list.isEmpty() && list.first() == absolute) return;
  list.removeAll(absolute);
  list.prepend(absolute);
  QDir().mkpath(QFileInfo(recentFile()).absolutePath());
  QSaveFile f(recentFile());
  if (!f.open(QIODevice::WriteOnly)) return;
  f.write(list.mid(0, kRecentMachines).join(QLatin1Char('\n')).toUtf8() + '\n');
  f.commit();
}

}  // namespace vt
