// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows paths as Windows 95 reads them, before any host folder is looked at: which drive
// and which names a path means, which names Windows refuses and why, and where paths end.
// Nothing here touches the host, so every rule can be judged from the text alone.
#include "platform/winerror.h"

#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace vt {

// The longest Windows path: MAX_PATH (260) counts the terminating NUL. Longer paths are
// refused with FilenameTooLong (206), as Windows 95 refuses them.
constexpr qsizetype kMaxWinPathLength = 259;
// The longest long name of one file or folder.
constexpr qsizetype kMaxWinNameLength = 255;

// A Windows path split into its drive and its names, "." and ".." already folded away.
struct WinPath {
  QChar drive;  // upper case
  QStringList parts;
};

// Splits `in` into drive and names, taking relative paths from `currentDir` ("C:\WINDOWS";
// empty: none). Windows' own foldings are made: "/" for "\", trailing points and blanks
// dropped, ".." never climbing above the root. With `pattern`, the last name is handed
// back as written (wildcards allowed, possibly empty) instead of being added to the parts;
// `allowWildcards` lets them into the other names too. On a path Windows refuses, false
// with `err` set: PathNotFound (empty, or relative with no current folder), BadPathName
// (UNC and device spaces), InvalidName, AccessDenied (a device name) or FilenameTooLong.
bool parseWinPath(const QString& currentDir, QStringView in, WinPath* out, WinError* err, QString* pattern = nullptr,
                  bool allowWildcards = false);

// The drive a root path names ("C:\", "c:", "C:/WINDOWS"); an empty path or one that
// starts at a root means the drive of `currentDir`. A bare name ("D") names no drive.
bool driveLetterOf(const QString& currentDir, QStringView rootPath, QChar* letter);

// Windows 95 opens these devices whatever folder or extension the name carries.
bool isDeviceName(QStringView name);
// Names of the temporary files of atomic writes: never seen, never made by Windows.
bool startsWithTempPrefix(QStringView name);
// `name` without the trailing points and blanks Windows drops from every name.
QString withoutTrailingDots(QString name);
QStringView withoutTrailingDots(QStringView name);

}  // namespace vt
