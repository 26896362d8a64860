// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/deletion.h"

#include "cleanup/filesearch.h"

namespace vt::cleanup {

namespace {

QString text(const SharedState& state, const char* german, const char* english) {
  return QString::fromUtf8(state.pick(german, english));
}

}  // namespace

QStringList RemoveMarkedFiles(Deletion& d, const DeletionList& list) {
  const QStringList left = DeleteMarkedFiles(d.cleaner.fs, d.files, list, d.toRecycleBin);
  if (left.isEmpty()) return left;
  // A box has room for some ten lines.
  const QStringList shown = left.mid(0, 10);
  d.cleaner.dialogs.warning(
      text(d.cleaner.state, "Folgende Dateien konnten nicht entfernt werden:\r", "The following files could not be removed:\r") +
      shown.join(QLatin1Char('\r')) + (left.size() > shown.size() ? QStringLiteral("\r...") : QString()));
  return left;
}

DeletionOutcome DeleteMarked(Deletion& d, DeletionList& list) {
  DeletionOutcome outcome;
  if (!list.anyMarked()) {
    d.cleaner.dialogs.warning(
        text(d.cleaner.state, "Sie müssen mind. 1 Element markieren!", "You have to mark at least one element!"));
    outcome.refused = true;
    return outcome;
  }
  switch (list.kind) {
    case ListKind::Uninstall: outcome.ok = RemoveUninstallEntries(d.cleaner, list); break;
    case ListKind::Files:
      outcome.filesLeft = RemoveMarkedFiles(d, list);
      outcome.ok = outcome.filesLeft.isEmpty();
      break;
    case ListKind::FileTypes: outcome.ok = RemoveFileTypes(d.cleaner, list); break;
    case ListKind::None: break;
  }
  list.kind = ListKind::None;
  return outcome;
}

}  // namespace vt::cleanup
