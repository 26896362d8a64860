// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/winpath.h"

#include "platform/atomicfile.h"
#include "platform/wildcard.h"

#include <utility>

namespace vt {

namespace {

bool isAsciiLetter(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

bool hasInvalidChar(QStringView name, bool allowWildcards) {
  for (QChar c : name) {
    switch (c.unicode()) {
      case '"':
      case '<':
      case '>':
      case '|':
      case ':': return true;
      case '*':
      case '?':
        if (!allowWildcards) return true;
        break;
      default:
        if (c.unicode() < 0x20) return true;
    }
  }
  return false;
}

}  // namespace

bool isDeviceName(QStringView name) {
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  QStringView base = dot >= 0 ? name.first(dot) : name;
  while (base.endsWith(QLatin1Char(' '))) base.chop(1);
  // No device name is longer than six; every path's every name comes through here.
  if (base.size() < 3 || base.size() > 6) return false;
  static constexpr QStringView devices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CLOCK$"};
  for (QStringView d : devices)
    if (base.size() == d.size() && namesEqualNoCase(base, d)) return true;
  if (base.size() == 4 && (namesEqualNoCase(base.first(3), u"COM") || namesEqualNoCase(base.first(3), u"LPT")))
    return base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
  return false;
}

bool startsWithTempPrefix(QStringView name) {
  static const QString prefix = QString::fromLatin1(kAtomicTempPrefix);
  return name.size() >= prefix.size() && namesEqualNoCase(name.first(prefix.size()), prefix);
}

QStringView withoutTrailingDots(QStringView name) {
  while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) name.chop(1);
  return name;
}

QString withoutTrailingDots(QString name) {
  name.truncate(withoutTrailingDots(QStringView(name)).size());
  return name;
}

bool parseWinPath(const QString& currentDir, QStringView in, WinPath* out, WinError* err, QString* pattern, bool allowWildcards) {
  if (in.isEmpty()) {
    *err = WinError::PathNotFound;
    return false;
  }
  QString s = in.toString();
  s.replace(QLatin1Char('/'), QLatin1Char('\\'));
  if (s.contains(QChar(0))) {
    *err = WinError::InvalidName;
    return false;
  }
  // UNC names and the \\.\ and \\?\ device spaces: this machine has no network.
  if (s.startsWith(QLatin1String("\\\\"))) {
    *err = WinError::BadPathName;
    return false;
  }
  QString rest;
  WinPath base;
  if (s.size() >= 2 && s[1] == QLatin1Char(':')) {
    if (!isAsciiLetter(s[0])) {
      *err = WinError::InvalidName;
      return false;
    }
    base.drive = s[0].toUpper();
    rest = s.mid(2);
    // "C:name" is relative to the drive's current folder; only one drive has one here.
    if (!rest.startsWith(QLatin1Char('\\')) && !currentDir.isEmpty() && currentDir[0] == base.drive)
      parseWinPath(QString(), currentDir, &base, err);
  } else if (s.startsWith(QLatin1Char('\\'))) {
    if (currentDir.isEmpty()) {
      *err = WinError::PathNotFound;
      return false;
    }
    base.drive = currentDir[0];
    rest = s;
  } else {
    if (currentDir.isEmpty() || !parseWinPath(QString(), currentDir, &base, err)) {
      *err = WinError::PathNotFound;
      return false;
    }
    rest = s;
  }
  // Every file the system touches comes through here, so the names are cut from the path
  // in place and copied only when kept.
  const QStringView all(rest);
  for (qsizetype from = 0; from >= 0;) {
    const qsizetype at = all.indexOf(QLatin1Char('\\'), from);
    const bool last = at < 0;
    QStringView name = last ? all.mid(from) : all.mid(from, at - from);
    from = last ? -1 : at + 1;
    if (pattern && last) {
      if (hasInvalidChar(name, true) || name.size() > kMaxWinNameLength) {
        *err = WinError::InvalidName;
        return false;
      }
      *pattern = name.toString();
      break;
    }
    if (name.isEmpty() || name == u".") continue;
    if (name == u"..") {
      // Windows folds ".." at the root away rather than failing.
      if (!base.parts.isEmpty()) base.parts.removeLast();
      continue;
    }
    // Windows drops trailing points and blanks: "README." names "README".
    name = withoutTrailingDots(name);
    if (name.isEmpty() || name.size() > kMaxWinNameLength || hasInvalidChar(name, allowWildcards) || startsWithTempPrefix(name)) {
      *err = WinError::InvalidName;
      return false;
    }
    if (isDeviceName(name)) {
      *err = WinError::AccessDenied;
      return false;
    }
    base.parts.append(name.toString());
  }
  // Measured on the full path as Windows builds it: "C:\" and the names between backslashes.
  qsizetype length = 3;
  for (const QString& n : base.parts) length += n.size() + 1;
  if (!base.parts.isEmpty()) --length;
  if (pattern) length += (base.parts.isEmpty() ? 0 : 1) + pattern->size();
  if (length > kMaxWinPathLength) {
    *err = WinError::FilenameTooLong;
    return false;
  }
  *out = std::move(base);
  return true;
}

bool driveLetterOf(const QString& currentDir, QStringView rootPath, QChar* letter) {
  if (rootPath.size() >= 2 && rootPath[1] == QLatin1Char(':')) {
    if (!isAsciiLetter(rootPath[0])) return false;
    *letter = rootPath[0].toUpper();
    return true;
  }
  const bool fromRoot = rootPath.startsWith(QLatin1Char('\\')) || rootPath.startsWith(QLatin1Char('/'));
  if (currentDir.isEmpty() || !(rootPath.isEmpty() || fromRoot) || rootPath.startsWith(u"\\\\") || rootPath.startsWith(u"//"))
    return false;
  *letter = currentDir[0];
  return true;
}

}  // namespace vt
