// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/optimisers.h"

#include "backup/backups.h"
#include "platform/filesystem.h"
#include "platform/profile.h"
#include "platform/text.h"

#include <functional>

namespace vt::cleanup {

namespace {

QList<QByteArray> upperLines(const QByteArray& bytes) {
  QList<QByteArray> lines = splitLines(bytes);
  for (QByteArray& line : lines) line = ansiUpper(line);
  return lines;
}

bool isRemWord(const QByteArray& line) {
  if (!line.startsWith("REM")) return false;
  return line.size() == 3 || line[3] == ' ' || line[3] == '\t';
}

QString text(const SharedState& state, const char* german, const char* english) {
  return QString::fromUtf8(state.pick(german, english));
}

// Lifts the attributes Windows would refuse the write for, writes atomically, and on a
// failed write puts the attributes back so the file is as it was.
bool replaceFile(FileSystem& fs, const QString& file, const QByteArray& bytes) {
  const quint32 before = fs.attributes(file);
  if (!fs.setAttributes(file, 0)) return false;
  if (fs.writeFile(file, bytes)) return true;
  fs.setAttributes(file, before);
  return false;
}

void reportWriteFailure(Optimiser& o, const QString& file) {
  o.dialogs.warning(text(o.state, "Fehler: Die Datei %1 konnte nicht geschrieben werden. Sie blieb unverändert.",
                         "Error: Unable to write %1. The file was left unchanged.")
                        .arg(file));
}

}  // namespace

void RemoveCommentLines(QList<QByteArray>& lines, CommentSyntax syntax) {
  lines.removeIf([syntax](const QByteArray& line) {
    if (line.startsWith(';')) return true;
    return syntax == CommentSyntax::StartFile && isRemWord(line);
  });
}

bool ExtensionProgramExists(FileSystem& fs, const QString& value) {
  QString path;
  const qsizetype dot = value.indexOf(QLatin1Char('.'));
  if (dot >= 0) {
    const qsizetype blank = value.indexOf(QLatin1Char(' '), dot);
    path = value.left(blank < 0 ? value.size() : blank);
  } else {
    const qsizetype blank = value.indexOf(QLatin1Char(' '));
    path = value.left(blank < 0 ? value.size() : blank);
  }
  if (path.startsWith(QLatin1Char('"'))) {
    path.remove(0, 1);
    if (path.endsWith(QLatin1Char('"'))) path.chop(1);
  }
  if (path.size() < 2 || path[1] != QLatin1Char(':')) return true;
  return fs.isFile(path);
}

QByteArray optimizedWinIni(FileSystem& fs, const QByteArray& bytes) {
  QList<QByteArray> lines = upperLines(bytes);
  RemoveCommentLines(lines, CommentSyntax::Ini);
  IniDocument ini(joinLinesCrLf(lines));
  const QString section = QStringLiteral("EXTENSIONS");
  for (const QString& key : ini.keys(section)) {
    const QString value = ini.value(section, key).value_or(QString()).left(kProfileValueMax);
    if (!ExtensionProgramExists(fs, value)) ini.removeKey(section, key);
  }
  return joinLinesCrLf(splitLines(ini.toBytes()));
}

QByteArray optimizedConfigSys(const QByteArray& bytes) {
  QList<QByteArray> lines = upperLines(bytes);
  RemoveCommentLines(lines);
  lines.removeIf([](const QByteArray& line) { return line.startsWith("ECHO"); });

  qsizetype fcbs = -1;
  for (qsizetype i = 0; i < lines.size(); ++i)
    if (lines[i].startsWith("FCBS=")) fcbs = i;
  if (fcbs >= 0)
    lines[fcbs] = "FCBS=1";
  else
    lines.append("FCBS=1");

  // The memory manager must load before any driver is put into upper memory. With two
  // HIMEM lines the one already first stays there; moving the other up would swap them
  // back and forth on every run.
  auto loadsHimem = [](const QByteArray& line) { return line.startsWith("DEVICE") && line.contains("HIMEM.SYS"); };
  if (!lines.isEmpty() && !loadsHimem(lines.first())) {
    for (qsizetype i = lines.size() - 1; i > 0; --i)
      if (loadsHimem(lines[i])) {
        lines.swapItemsAt(0, i);
        break;
      }
  }

  for (QByteArray& line : lines)
    if (line.startsWith("DEVICE=") && !line.contains("HIMEM.SYS")) line = "DEVICEHIGH=" + line.mid(7);
  return joinLinesCrLf(lines);
}

QByteArray optimizedAutoexec(const QByteArray& bytes) {
  QList<QByteArray> lines = upperLines(bytes);
  RemoveCommentLines(lines);
  for (QByteArray& line : lines)
    if (line.mid(1, 2) == ":\\") line.prepend("LH ");
  return joinLinesCrLf(lines);
}

namespace {

std::optional<Rewrite> planned(FileSystem& fs, const QString& file, const std::function<QByteArray(const QByteArray&)>& rewrite) {
  if (!fs.isFile(file)) return std::nullopt;
  Rewrite r{file, fs.readFile(file), {}};
  if (r.before) r.after = rewrite(*r.before);
  return r;
}

// A failure ends the step: the file that failed and the ones after it stay as they were.
bool writePlanned(Optimiser& o, const QList<Rewrite>& plan) {
  for (const Rewrite& r : plan)
    if (!r.before || !replaceFile(o.fs, r.file, r.after)) {
      reportWriteFailure(o, r.file);
      return false;
    }
  return true;
}

}  // namespace

QList<Rewrite> plannedWinIni(FileSystem& fs, const QString& windowsDirectory) {
  QList<Rewrite> plan;
  if (auto r = planned(fs, windowsDirectory + QStringLiteral("\\win.ini"),
                       [&fs](const QByteArray& bytes) { return optimizedWinIni(fs, bytes); }))
    plan << *r;
  return plan;
}

QList<Rewrite> plannedStartFiles(FileSystem& fs) {
  QList<Rewrite> plan;
  if (auto r = planned(fs, QStringLiteral("C:\\config.sys"), &optimizedConfigSys)) plan << *r;
  if (auto r = planned(fs, QStringLiteral("C:\\Autoexec.bat"), &optimizedAutoexec)) plan << *r;
  return plan;
}

bool OptimizeWinIni(Optimiser& o) {
  if (!o.backups.BackupBeforeChange(backup::AutoSystemfiles)) return false;
  o.backups.SaveLastState();
  const QList<Rewrite> plan = plannedWinIni(o.fs, o.windowsDirectory);
  if (plan.isEmpty()) return true;
  if (!writePlanned(o, plan)) return false;
  o.dialogs.information(text(o.state, "Ihre Systemdateien wurden optimiert. Die alten Systemdateien wurden als Backup gesichert.",
                             "Your Systemfiles have been optimized. The old systemfiles are saved as backup."));
  return true;
}

bool OptimizeStartFiles(Optimiser& o) {
  if (!o.backups.BackupBeforeChange(backup::AutoStartfiles)) return false;
  o.backups.SaveLastState();
  if (!writePlanned(o, plannedStartFiles(o.fs))) return false;
  o.dialogs.information(text(o.state, "Ihre Startdateien wurden optimiert. Die alten Startdateien wurden als Backup gesichert.",
                             "Your Startfiles have been optimized. The old startfiles are saved as backup."));
  return true;
}

}  // namespace vt::cleanup
