// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The binary registry files of Windows 95, 98 and Me (SYSTEM.DAT, USER.DAT; "CREG").
#include "platform/registry.h"

#include <QByteArray>
#include <QString>

namespace vt::creg {

// Reads a hive into `root` (whose earlier contents are replaced). The root entry's
// sub-keys become `root`'s sub-keys. Checksums are checked only where the structure's
// flag says they are valid. A damaged hive is refused whole: false, a message naming
// what is wrong in `error`, and `root` left untouched.
bool readHive(const QByteArray& bytes, RegKey& root, QString* error);

// Writes a hive Windows 95 accepts: valid checksums with their flag bits set, key
// hashes, free lists, RGDB blocks under 64 KiB holding at most 255 keys each. A key whose
// name and values cannot fit one block (about 60 KiB) cannot be stored in this format:
// then the result is empty and `error` names the key, so nothing is silently dropped.
QByteArray writeHive(const RegKey& root, QString* error = nullptr);

}  // namespace vt::creg
