// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// INI files as the Windows profile functions (GetPrivateProfileString and friends) read
// and write them: sections and keys matched without regard to case and trimmed of blanks
// around "=", the first of duplicate sections or keys wins, one pair of matching quotes
// around a value is removed on reading, a key is deleted by writing no value, an existing
// key is replaced in place with every other line byte-for-byte unchanged, a missing key is
// appended to its section and a missing section to the end of the file. Windows-1252 text
// with CR LF; LF alone is read too.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vt {

class FileSystem;

// The longest value the profile functions return (GetPrivateProfileString's buffer).
inline constexpr int kProfileValueMax = 1023;

// One INI file's text, held as its lines and edited in place.
class IniDocument {
 public:
  explicit IniDocument(const QByteArray& bytes = {});

  std::optional<QString> value(QStringView section, QStringView key) const;
  bool hasSection(QStringView section) const;
  QStringList sections() const;
  // Names of the section's lines that hold "=" (comment lines are not keys).
  QStringList keys(QStringView section) const;

  void setValue(QStringView section, QStringView key, QStringView value);
  bool removeKey(QStringView section, QStringView key);
  bool removeSection(QStringView section);

  QByteArray toBytes() const;

 private:
  QList<QByteArray> lines_;
  bool endsWithNewline_ = true;
};

// The profile functions over the machine's files.
class Profile {
 public:
  explicit Profile(FileSystem& fs) : fs_(fs) {}

  // GetPrivateProfileString: `fallback` when the file, section or key is missing.
  QString getString(QStringView file, QStringView section, QStringView key, QStringView fallback = {});
  // WritePrivateProfileString: creates a missing file; a nullopt value deletes the key.
  bool writeString(QStringView file, QStringView section, QStringView key, std::optional<QStringView> value);
  QStringList sectionKeys(QStringView file, QStringView section);
  QStringList sectionNames(QStringView file);
  bool deleteSection(QStringView file, QStringView section);

 private:
  FileSystem& fs_;
};

}  // namespace vt
