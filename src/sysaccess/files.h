#pragma once
// File-system operations several sections share: the directory count that sizes the file
// search's progress bar, the report after a user cancel, a test whether a drive or path can
// be reached at all, an overwriting copy, and the move into the recycle bin.
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QString>

namespace vt {

class Machine;

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
