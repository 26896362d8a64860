// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// AUTOFIX: the repair of one problem the analysis found, from what it noted. Lines go from
// SYSTEM.INI, AUTOEXEC.BAT and CONFIG.SYS, programs from WIN.INI's load= and run=, values
// from the registry's Run and Fonts keys; file-system switches are put back to normal and
// lost system libraries are copied back from the safe copy. Every repair that changes a
// file or the registry makes an automatic backup set of it first and changes nothing when
// that fails; files are replaced in one atomic step, so a failed write leaves them as they
// were.
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QString>
#include <QStringList>

namespace vt {

class Machine;
class RegAccess;
class IniAccess;

namespace backup {
class Backups;
}

namespace diagnosis {

enum class RepairOutcome {
  Repaired,
  Failed,         // nothing or not everything could be repaired; the caller warns
  BackupFailed,   // no backup, so nothing was changed; the user has been told
  NotOffered,     // A and B: there is nothing AUTOFIX can do
  DeviceManager,  // Q: the user is taken to the Device Manager guide instead
};

// Whether the AUTOFIX button is offered for a letter: for all but A and B.
bool autofixOffered(QChar letter);
// Whether AUTOFIX itself repairs it: for Q it only takes the user to the Device Manager.
inline bool autofixRepairs(QChar letter) { return autofixOffered(letter) && letter != QLatin1Char('Q'); }
// The warning after a repair that failed.
QString autofixFailedText(const SharedState& state);

struct Repairs {
  Machine& machine;
  RegAccess& reg;
  IniAccess& ini;
  backup::Backups& backups;
  DialogService& dialogs;
  const SharedState& state;
  QString windowsDirectory, systemDirectory, programDirectory;

  // Repairs the problem of that letter; `details` is its list from the analysis.
  RepairOutcome repair(QChar letter, const QStringList& details);

 private:
  bool backUp(int kind);
  RepairOutcome removeLines(const QString& file, const QStringList& details);
  RepairOutcome cutFromWinIni(QStringView key, const QStringList& details);
  RepairOutcome deleteValues(QStringView key, const QStringList& names);
  RepairOutcome copySavedLibraries(const QStringList& names);
};

}  // namespace diagnosis
}  // namespace vt
