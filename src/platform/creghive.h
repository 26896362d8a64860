// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The binary registry files of Windows 95, 98 and Me (SYSTEM.DAT, USER.DAT; "CREG").
#include "platform/registry.h"

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

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

// A key's values as a hive's key record holds them, for a reader of another format that
// fills a key from nothing: the key then keeps them packed, as if read from a hive, and
// writeHive copies them as they are. `unpacker` is what RegKey::adoptPackedValues takes.
struct ValueRef {
  quint32 type;
  QByteArrayView name, data;
};
// Appends the values to `out`; false, with `out` as it was, when they cannot be kept so: a
// name or data longer than the format's 16-bit lengths, or a name that repeats in any case
// (the later must replace the earlier, which only values added one by one do).
bool packValues(const std::vector<ValueRef>& values, std::string* out);
ValueUnpacker unpacker();

}  // namespace vt::creg
