// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/autofix.h"

#include "backup/backups.h"
#include "diagnosis/analysis.h"
#include "platform/machine.h"
#include "platform/text.h"
#include "sysaccess/ini.h"
#include "sysaccess/reg.h"

namespace vt::diagnosis {

bool autofixOffered(QChar letter) { return letter != QLatin1Char('A') && letter != QLatin1Char('B'); }

QString autofixFailedText(const SharedState& state) {
  return QString::fromUtf8(
      state.pick("Ein Fehler trat während des AUTOFIX auf! Das Problem konnte nicht oder nicht vollständig behoben werden!",
                 "An error occured during AUTOFIX! The problem has not been solved correctly!"));
}

RepairOutcome Repairs::repair(QChar letter, const QStringList& details) {
  const QString fileSystemKey = QString::fromUtf16(kFileSystemKey);
  switch (letter.unicode()) {
    case 'A':
    case 'B': return RepairOutcome::NotOffered;
    case 'C':
      if (!backUp(backup::AutoSystemfiles)) return RepairOutcome::BackupFailed;
      return removeLines(windowsDirectory + QStringLiteral("\\system.ini"), details);
    case 'D': return cutFromWinIni(u"load", details);
    case 'E': return cutFromWinIni(u"run", details);
    case 'F':
      if (!backUp(backup::AutoStartfiles)) return RepairOutcome::BackupFailed;
      return removeLines(QStringLiteral("C:\\Autoexec.bat"), details);
    case 'G':
      if (!backUp(backup::AutoStartfiles)) return RepairOutcome::BackupFailed;
      return removeLines(QStringLiteral("C:\\Config.sys"), details);
    case 'K':
      if (!backUp(backup::AutoRegistry)) return RepairOutcome::BackupFailed;
      return reg.WriteRegDword(HKEY_LOCAL_MACHINE, fileSystemKey, u"AsyncFileCommit", 0) ? RepairOutcome::Repaired
                                                                                         : RepairOutcome::Failed;
    case 'N': return deleteValues(QStringView(kRunKey), details);
    case 'O': return copySavedLibraries(details);
    case 'P': return deleteValues(QStringView(kFontsKey), details);
    case 'Q': return RepairOutcome::DeviceManager;
    default: break;
  }
  // The other file-system switches: without the value Windows takes its normal setting.
  for (const FileSystemSwitch& s : kFileSystemSwitches) {
    if (QLatin1Char(s.letter) != letter) continue;
    if (!backUp(backup::AutoRegistry)) return RepairOutcome::BackupFailed;
    return reg.DeleteRegValue(HKEY_LOCAL_MACHINE, fileSystemKey, QStringView(s.name)) ? RepairOutcome::Repaired
                                                                                      : RepairOutcome::Failed;
  }
  return RepairOutcome::NotOffered;
}

bool Repairs::backUp(int kind) {
  if (!backups.BackupBeforeChange(kind)) return false;
  backups.SaveLastState();
  return true;
}

// Takes out, for each noted line, the first line of the file that equals it in any case. A
// line that is no longer there was taken out some other way and is no failure. The file
// is left with normal attributes; a failed write puts the old ones back with the old text.
RepairOutcome Repairs::removeLines(const QString& file, const QStringList& details) {
  FileSystem& fs = machine.files();
  if (!fs.isFile(file)) return RepairOutcome::Failed;
  const std::optional<QByteArray> bytes = fs.readFile(file);
  if (!bytes) return RepairOutcome::Failed;
  QList<QByteArray> lines = splitLines(*bytes);
  for (const QString& entry : details) {
    const QByteArray wanted = toAnsi(entry);
    for (qsizetype i = 0; i < lines.size(); ++i)
      if (ansiEqualNoCase(lines[i], wanted)) {
        lines.removeAt(i);
        break;
      }
  }
  const quint32 before = fs.attributes(file);
  if (!fs.setAttributes(file, 0)) return RepairOutcome::Failed;
  if (fs.writeFile(file, joinLinesCrLf(lines))) return RepairOutcome::Repaired;
  fs.setAttributes(file, before);
  return RepairOutcome::Failed;
}

// Cuts each noted program out of the value where it stands, leaving the blanks around it.
// The value is written back only when every program was found in it.
RepairOutcome Repairs::cutFromWinIni(QStringView key, const QStringList& details) {
  const QString file = windowsDirectory + QStringLiteral("\\win.ini");
  QString value = ini.ReadIniString(file, u"windows", key);
  for (const QString& entry : details) {
    const qsizetype at = value.indexOf(entry);
    if (entry.isEmpty() || at < 0) return RepairOutcome::Failed;
    value.remove(at, entry.size());
  }
  if (!backUp(backup::AutoSystemfiles)) return RepairOutcome::BackupFailed;
  // The profile reads a value without the blanks around it, so the written one reads back
  // trimmed; what counts is that the file now holds the shorter value.
  ini.WriteIniString(file, u"windows", key, value);
  return ini.ReadIniString(file, u"windows", key) == value.trimmed() ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

// A value that is already gone counts as deleted, so that a repair cut short by a failed
// write can be finished by pressing AUTOFIX again.
RepairOutcome Repairs::deleteValues(QStringView key, const QStringList& names) {
  if (!backUp(backup::AutoRegistry)) return RepairOutcome::BackupFailed;
  bool all = true;
  for (const QString& name : names) {
    if (reg.DeleteRegValue(HKEY_LOCAL_MACHINE, key, name)) continue;
    if (reg.ValueNames(HKEY_LOCAL_MACHINE, key).contains(name, Qt::CaseInsensitive)) all = false;
  }
  return all ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

// The library was in neither folder, so the copy replaces nothing and needs no backup.
RepairOutcome Repairs::copySavedLibraries(const QStringList& names) {
  FileSystem& fs = machine.files();
  bool all = true;
  for (const QString& name : names)
    if (!fs.copyFile(programDirectory + QStringLiteral("\\SAVE\\") + name, systemDirectory + QLatin1Char('\\') + name, false))
      all = false;
  return all ? RepairOutcome::Repaired : RepairOutcome::Failed;
}

}  // namespace vt::diagnosis
