// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Clearing out the registry: the tips of the day, uninstall entries whose uninstaller is
// gone, and file types whose program is gone. The scans fill a DeletionList and mark every
// line; the removals take the lines still marked. Each removal tells the user its outcome
// in one message and never reports a change the hive files did not take as done.
#include "cleanup/deletionlist.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QList>
#include <QString>

#include <utility>

namespace vt {

class FileSystem;
class RegAccess;
struct OptionFlags;

namespace backup {
class Backups;
}

namespace cleanup {

struct RegistryCleaner {
  RegAccess& reg;
  FileSystem& fs;
  backup::Backups& backups;
  DialogService& dialogs;
  const SharedState& state;
};

// Switches the tips off and deletes every stored tip in one save; the message gives the
// bytes the tips took in the registry (names and data). True when they are gone; false,
// after a warning, when the registry could not be saved (the tips are then all still there).
bool DeleteWindowsTips(RegistryCleaner& c);
// The stored tips DeleteWindowsTips takes away, each value's name with the bytes it takes.
QList<std::pair<QString, qint64>> StoredWindowsTips(RegistryCleaner& c);

// Proposes the uninstall entries whose uninstaller, named with its drive letter, is no
// longer there; the line is the entry's display name, the key its sub-key. Entries
// uninstalled through a program on the search path (RUNDLL32 and the like) are never
// proposed, nor entries without a display name. False, with the list empty and its kind
// unchanged, when the machine has no uninstall key.
bool ScanUninstallEntries(RegistryCleaner& c, DeletionList& list);

// Deletes the marked entries with everything below them, then empties the list. True when
// all went; false after a warning when one or more could not be deleted (the rest are
// gone), and without any message, the list kept, when the machine has no uninstall key.
bool RemoveUninstallEntries(RegistryCleaner& c, DeletionList& list);

// Proposes the file extensions whose open command names a program that is gone: on a
// fixed drive when the file is missing; on a diskette, CD-ROM or network drive, which may
// simply not be in or connected, without looking, whenever the matching option is on.
// Lines read ".xyz - C:\OLD\VIEW.EXE"; the key is the extension as the registry spells it.
// Extensions of programs, libraries, drivers and other system files are never proposed,
// nor those handled by a COM class. False when the machine has no HKEY_CLASSES_ROOT (the
// list is then empty).
bool ScanFileTypes(RegistryCleaner& c, DeletionList& list, const OptionFlags& options);

// Makes an automatic registry backup (nothing is deleted without it: a failed backup is
// told and the list kept), then deletes each marked extension and the file type it names,
// and empties the list. A type shared with
// another extension goes too; that extension keeps its key. True when every extension went.
bool RemoveFileTypes(RegistryCleaner& c, DeletionList& list);

}  // namespace cleanup
}  // namespace vt
