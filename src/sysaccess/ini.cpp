// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/ini.h"

#include "platform/machine.h"
#include "platform/profile.h"

#include <limits>

namespace vt {

bool IniAccess::parseInteger(QStringView text, int* out) {
  QString t = text.toString();
  if (t.size() > 2 && (t.startsWith(QLatin1String("0x")) || t.startsWith(QLatin1String("0X")))) t = QLatin1Char('$') + t.mid(2);
  // What Windows 95's setup tools write and accept: leading blanks, a sign, then decimal
  // digits or "$" and hex digits, and nothing after them.
  qsizetype i = 0;
  while (i < t.size() && t[i] == QLatin1Char(' ')) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) negative = t[i++] == QLatin1Char('-');
  int base = 10;
  if (i < t.size() && t[i] == QLatin1Char('$')) {
    base = 16;
    ++i;
  }
  if (i >= t.size()) return false;
  qint64 value = 0;
  for (; i < t.size(); ++i) {
    const int digit = QChar(t[i]).isDigit() && t[i].unicode() < 0x80 ? t[i].unicode() - '0'
                      : (base == 16 && t[i].toLower() >= QLatin1Char('a') && t[i].toLower() <= QLatin1Char('f'))
                          ? t[i].toLower().unicode() - 'a' + 10
                          : -1;
    if (digit < 0) return false;
    value = value * base + digit;
    if (value > qint64(std::numeric_limits<quint32>::max())) return false;
  }
  if (negative) value = -value;
  // Hexadecimal texts may fill all 32 bits ("$FFFFFFFF" is -1), decimal ones must fit.
  if (base == 16 && value > std::numeric_limits<int>::max()) value -= qint64(1) << 32;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) return false;
  *out = int(value);
  return true;
}

// A folder where an INI file should be reads as a missing file, not as an empty one.
bool IniAccess::isFile(QStringView file) {
  FileSystem& fs = machine_.files();
  return fs.isFile(file);
}

int IniAccess::ReadIniInteger(QStringView file, QStringView section, QStringView key) {
  FileSystem& fs = machine_.files();
  if (!isFile(file)) return 0;
  const auto bytes = fs.readFile(file);
  if (!bytes) return -1;
  const QString text = IniDocument(*bytes).value(section, key).value_or(QString()).left(kProfileValueMax);
  int value = 0;
  return parseInteger(text, &value) ? value : 0;
}

QString IniAccess::ReadIniString(QStringView file, QStringView section, QStringView key) {
  return Profile(machine_.files()).getString(file, section, key, u"");
}

bool IniAccess::IniIntegerEquals(QStringView file, QStringView section, QStringView key, int expected) {
  if (!isFile(file)) return false;
  return ReadIniInteger(file, section, key) == expected;
}

bool IniAccess::writeKey(QStringView file, QStringView section, QStringView key, QStringView text) {
  FileSystem& fs = machine_.files();
  if (!fs.isFile(file)) return false;
  const quint32 attrs = fs.attributes(file);
  if (attrs != kInvalidAttributes && (attrs & AttrSettable) && !fs.setAttributes(file, 0)) return false;
  const bool ok = Profile(fs).writeString(file, section, key, text);
  // The archive bit the write set stays; a key that already had its value left the file alone.
  if (attrs != kInvalidAttributes && (attrs & AttrSettable))
    fs.setAttributes(file, (attrs & AttrSettable) | (fs.attributes(file) & AttrArchive));
  return ok;
}

bool IniAccess::WriteIniInteger(QStringView file, QStringView section, QStringView key, int value) {
  if (!writeKey(file, section, key, QString::number(value))) return false;
  return IniIntegerEquals(file, section, key, value);
}

bool IniAccess::WriteIniString(QStringView file, QStringView section, QStringView key, QStringView text) {
  if (!writeKey(file, section, key, text)) return false;
  return ReadIniString(file, section, key) == text;
}

}  // namespace vt
