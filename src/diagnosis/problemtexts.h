// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The texts the problem browser shows: a description and a solution for every problem
// letter, read from four files in the program directory (PROBLEME.de and LSG.de in German,
// PROBLEME.eng and LSG.eng in English). A section begins with a line that is exactly "[C]"
// and runs up to the next line that begins with "["; the files end with such a line.
#include "sysaccess/problemfiles.h"
#include "sysaccess/state.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace vt {

class FileSystem;

namespace diagnosis {

enum class TextKind { Description, Solution };

// "PROBLEME.de", "LSG.eng", ...
QString problemTextFileName(TextKind kind, int language);

using ProblemSection = LetteredSection;
// The first section headed "[letter]". A file that is nullopt is a missing file.
inline ProblemSection readProblemSection(const std::optional<QByteArray>& file, QChar letter) {
  return readLetteredSection(file, letter);
}

// The copy of a text file built into the program (":/diagnosis/PROBLEME.eng"), which the
// window puts into the program directory where it is missing.
std::optional<QByteArray> builtInProblemFile(TextKind kind, int language);

// What a memo shows for a letter: the section's lines, and where the file lets the reader
// down (missing, no such section, no end line) a sentence that says so. `orBuiltIn`: a
// machine without the file gets the built-in copy's section, for a program that reads the
// machine without putting its own files there.
QStringList problemText(FileSystem& fs, const QString& programDirectory, TextKind kind, QChar letter, const SharedState& state,
                        bool orBuiltIn = false);

// A problem's title: the first line of its description that is not empty.
QString problemTitle(const QStringList& description);

}  // namespace diagnosis
}  // namespace vt
