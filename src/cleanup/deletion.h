// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Delete on the list page: whichever filler made the deletion list, its marked lines go by
// that filler's removal (files into the recycle bin or away, uninstall entries, file
// types), and the list is done with afterwards. Nothing is removed while no line is
// marked: the user is told, and the list stays for another choice.
#include "cleanup/deletionlist.h"
#include "cleanup/registryclean.h"

#include <QStringList>

namespace vt {

class FileAccess;

namespace cleanup {

struct Deletion {
  RegistryCleaner& cleaner;  // also the file system, the dialogs and the language
  FileAccess& files;
  bool toRecycleBin = true;
};

struct DeletionOutcome {
  bool refused = false;  // no line was marked; nothing happened
  bool ok = false;       // every marked line went
  QStringList filesLeft;
};

DeletionOutcome DeleteMarked(Deletion& d, DeletionList& list);

// The file step alone: the marked files go, and a warning names those that stayed (files
// in use, folders, files on a write-protected medium). Returns those.
QStringList RemoveMarkedFiles(Deletion& d, const DeletionList& list);

}  // namespace cleanup
}  // namespace vt
