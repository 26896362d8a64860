// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The 8.3 alias every file and folder of a FAT drive has beside its long name. Windows 95
// makes it once, when the entry is created, from the long name and the aliases already in
// the folder; from then on it is a fact of the directory entry, not something the long
// name decides: "PROGRA~2" may well be "Program Files" when another "Progra..." came first.
#include <QString>
#include <QStringView>

#include <functional>

namespace vt::shortname {

// Whether `name` may be an alias as written: 1 to 8 characters, optionally a point and 1
// to 3 more, all of them characters DOS allows in upper case.
bool isAlias(QStringView name);

// The alias a long name is its own alias under, in upper case ("win.ini" -> "WIN.INI"),
// or an empty string when the name does not fit 8.3 and needs a numeric tail.
QString ownAlias(QStringView longName);

// The alias Windows 95 gives a new entry `longName` in a folder where `taken` tells which
// aliases (upper case) other entries hold: its own alias when it has one that is free,
// else the basis name (upper case, characters DOS does not allow as "_", blanks and all
// but the last point dropped, 6 characters of the base and 3 of the extension) with the
// lowest free "~N", giving up base characters as N grows.
QString generate(QStringView longName, const std::function<bool(const QString&)>& taken);

}  // namespace vt::shortname
