// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The undo journal of an export that writes into a disk image in place. Before a sector of
// the image is overwritten, its old bytes (and the import record as it was) are in the
// journal on disk; once the image and the new record are on disk, the journal goes. A
// journal found later means the export was interrupted: rolling it back puts every sector
// and the record back (and the image's modification time), so the image is the old one or
// the new one, never a mix. A journal
// that is not complete was cut off before the image was touched and is only removed.
#include "platform/fat/imagesync.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace vt::disk {

// The journal inside the machine folder.
inline constexpr const char* kJournalName = "export.journal";

// Writes the journal `journal` for overwriting `patches` in the file `image`: the bytes
// they replace, read from the image now, and `record`, the import record's bytes as they
// are. Durable when it returns true.
bool writeJournal(const QString& journal, const QString& image, const std::vector<imagesync::Patch>& patches,
                  const QByteArray& record, QString* error);

// Writes `patches` into `image` in place and makes them durable.
bool writePatches(const QString& image, const std::vector<imagesync::Patch>& patches, QString* error);

// Removes the journal once the export is complete, durably.
bool dropJournal(const QString& journal, QString* error);

// Rolls back the export that left `journal`, when there is one: the image's sectors, and
// the record at `recordPath`. False (and `error`) when it cannot; then the journal stays
// for the next attempt.
bool rollBack(const QString& journal, const QString& recordPath, QString* error);

}  // namespace vt::disk
