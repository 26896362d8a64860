// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Single keys of INI-style files (WIN.INI, SYSTEM.INI, and the boot options in
// C:\MSDOS.SYS, which Windows keeps read-only, hidden and system). Writes lift the file's
// attributes for the write and put them back after, then verify by reading back.
// Nothing throws or shows a message.
#include <QString>

namespace vt {

class Machine;

class IniAccess {
 public:
  explicit IniAccess(Machine& machine) : machine_(machine) {}

  // 0 when the file, section or key is missing or the text is no number; -1 when the
  // file exists but cannot be read. "0x1F" and "$1F" read as 31.
  int ReadIniInteger(QStringView file, QStringView section, QStringView key);
  QString ReadIniString(QStringView file, QStringView section, QStringView key);
  // False when the file does not exist; a missing key counts as 0.
  bool IniIntegerEquals(QStringView file, QStringView section, QStringView key, int expected);
  // Never create the file: false when it does not exist or the write fails.
  bool WriteIniInteger(QStringView file, QStringView section, QStringView key, int value);
  bool WriteIniString(QStringView file, QStringView section, QStringView key, QStringView text);

  // The integer a profile text stands for, by the rules above; nullopt-like false when none.
  static bool parseInteger(QStringView text, int* out);

 private:
  bool writeKey(QStringView file, QStringView section, QStringView key, QStringView text);
  bool isFile(QStringView file);

  Machine& machine_;
};

}  // namespace vt
