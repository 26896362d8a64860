// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File-system operations several sections share: the directory count as the file search's
// progress bar counts folders, the report after a user cancel, a test whether a drive or path can
// be reached at all, an overwriting copy, the move into the recycle bin, and the path by
// which real-mode DOS reaches a file.
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QString>

#include <optional>

namespace vt {

class FileSystem;
class Machine;

// The path real-mode DOS (the rescue floppy, CONFIG.SYS, AUTOEXEC.BAT) reaches `winPath`
// by, since it sees no long names: every existing name as its 8.3 alias
// ("C:\PROGRA~1\VANTREL"), and any names below the longest existing part as written,
// each of which must then be an 8.3 name itself. nullopt for a path DOS cannot name: a bad
// path, a missing drive, or a name that does not exist yet and does not fit 8.3.
std::optional<QString> dosPath(FileSystem& fs, QStringView winPath);

class FileAccess {
 public:
  FileAccess(Machine& machine, SharedState& state, DialogService& dialogs, EventPump& pump)
      : machine_(machine), state_(state), dialogs_(dialogs), pump_(pump) {}

  // Tells the user the action was cancelled, then clears the busy and cancel flags.
  void ReportUserAbort();
  // False only when the path does not exist or its drive is not ready.
  bool PathAccessible(QStringView pathOrPattern);
  // Adds the directory (ending with a backslash) and every directory below it that is
  // neither hidden nor system to the directory counter, each folder once however many links
  // lead to it; stops when the cancel flag is set.
  void CountDirectories(QStringView directory);
  bool CopyFileOverwrite(QStringView from, QStringView to);
  bool MoveToRecycleBin(QStringView file);

 private:
  Machine& machine_;
  SharedState& state_;
  DialogService& dialogs_;
  EventPump& pump_;
};

}  // namespace vt
