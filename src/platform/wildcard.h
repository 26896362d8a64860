// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File name comparison and wildcard matching as Windows 95 does it for long names: without
// regard to case over the ANSI code page, "*" for any run of characters, "?" for exactly
// one, and the DOS habits kept for old programs ("*.*" takes names without a point, a
// trailing "." asks for names without an extension).
#include <QString>
#include <QStringView>

namespace vt {

// The upper-case form Windows compares names by. Characters outside Windows-1252 keep
// their identity (two different ones never compare equal), unlike a round trip through
// the code page that would make both '?'.
inline char16_t foldNameChar(char16_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? char16_t(c - 0x20) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return char16_t(c - 0x20);
  switch (c) {
    case 0xFF: return 0x178;   // y diaeresis
    case 0x161: return 0x160;  // s caron
    case 0x153: return 0x152;  // oe
    case 0x17E: return 0x17D;  // z caron
    default: return c;
  }
}

bool namesEqualNoCase(QStringView a, QStringView b);

class WildcardPattern {
 public:
  explicit WildcardPattern(QStringView pattern);
  bool matches(QStringView name) const;
  bool hasWildcards() const { return wild_; }

 private:
  static bool glob(QStringView pattern, QStringView name);

  QString pattern_;           // folded
  QString withoutExt_;        // the pattern before a trailing ".*", which may also match the bare name
  bool extStar_ = false;      // the pattern ended with ".*"
  bool noExtension_ = false;  // the pattern ended with "." (its point is dropped from pattern_)
  bool matchAll_ = false;
  bool wild_ = false;
};

}  // namespace vt
