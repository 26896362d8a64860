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

unsigned char ansiUpper(unsigned char c);
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
