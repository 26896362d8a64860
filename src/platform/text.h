// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows 95 keeps its 8-bit text in the ANSI code page Windows-1252. These helpers
// convert between that and QString, and compare names the way Windows does
// (case-insensitive over the whole code page, not only A-Z).
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace vt {

QString fromAnsi(QByteArrayView bytes);
// Characters without a Windows-1252 code become '?', as WideCharToMultiByte does.
QByteArray toAnsi(QStringView text);

namespace detail {
constexpr unsigned char ansiUpperOf(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0x80) return c;
  // Windows-1252 letters outside ASCII: the accented block pairs at 0x20 apart
  // (0xF7 is the division sign), plus the three pairs in 0x8A..0x9F and y-diaeresis.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
  }
}
struct AnsiUpperTable {
  unsigned char of[256];
  constexpr AnsiUpperTable() : of() {
    for (int c = 0; c < 256; ++c) of[c] = ansiUpperOf((unsigned char)c);
  }
};
inline constexpr AnsiUpperTable kAnsiUpper;
}  // namespace detail

// A table, since registry and file names are compared byte by byte by the million.
inline unsigned char ansiUpper(unsigned char c) { return detail::kAnsiUpper.of[c]; }
QByteArray ansiUpper(QByteArrayView s);
bool ansiEqualNoCase(QByteArrayView a, QByteArrayView b);
bool ansiStartsWithNoCase(QByteArrayView s, QByteArrayView prefix);

// Case-insensitive comparison of QStrings with the Windows rules (through Windows-1252).
bool winEqualNoCase(QStringView a, QStringView b);
QString winUpper(QStringView s);

// Splits 8-bit text into lines; CR LF, LF alone and CR alone all end a line.
// A last line without a line end is kept; a trailing line end adds no empty line.
QList<QByteArray> splitLines(QByteArrayView bytes);
QByteArray joinLinesCrLf(const QList<QByteArray>& lines);

// The blanks a text format lets stand around its names and values. The profile functions
// take blanks, tabs, vertical tabs, form feeds and DOS's end-of-file mark (^Z, which DOS
// editors left at the end of WIN.INI and SYSTEM.INI); the registry editor takes blanks and
// tabs only. Line ends are split off before either looks.
enum class Blanks { Profile, Regedit4 };
bool isBlank(char c, Blanks format);
QByteArrayView trimmed(QByteArrayView s, Blanks format);

}  // namespace vt
