// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// REGEDIT4 text as Windows 95's registry editor reads and writes it.
#include "platform/registry.h"

#include <QByteArray>
#include <QString>

namespace vt::regedit4 {

// The whole registry: HKEY_LOCAL_MACHINE, then HKEY_USERS ("REGEDIT /e FILE").
QByteArray exportRegistry(const Registry& registry);
// One key with its sub-tree, headed by `fullName` (e.g. "HKEY_DYN_DATA").
QByteArray exportKey(const RegKey& key, const QString& fullName);

enum class ImportMode {
  Merge,    // "REGEDIT FILE": missing keys created, values replaced
  Replace,  // "REGEDIT /c FILE": HKEY_LOCAL_MACHINE and HKEY_USERS become the file's contents
};

// Parses the whole file before changing anything: a malformed line refuses the file with
// an error naming the line, and the registry is left untouched. A replacement also refuses
// a file that is no whole export: one without keys of both HKEY_LOCAL_MACHINE and
// HKEY_USERS, or whose last line has no line break.
bool importText(const QByteArray& text, Registry& registry, ImportMode mode, QString* error);

}  // namespace vt::regedit4
