// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own text files that hold one section per letter ("[A]" ... "[Q]"): the
// problem descriptions and solutions of the diagnosis and of the multimedia test.
#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <optional>

namespace vt {

class FileSystem;
struct SharedState;

struct LetteredSection {
  enum Status { Complete, NoFile, NoHeader, NoEnd };
  Status status = NoFile;
  QStringList lines;  // as stored, empty lines kept; for NoEnd what came before the end of the file
};

// The section with that letter: the lines after the first line that is exactly "[L]", up to
// the next line that begins with "[". Lines before the first header are not part of any
// section. A file that is nullopt is a missing file. Windows-1252, any line ends.
LetteredSection readLetteredSection(const std::optional<QByteArray>& file, QChar letter);

// The section of the machine's file `path` as a memo shows it: where the file lets the reader
// down, a sentence says so in the memo itself, where the user is looking — `missingGerman`
// / `missingEnglish` (with %1 for the path) when there is no file.
QStringList problemSectionLines(FileSystem& fs, const QString& path, QChar letter, const SharedState& state,
                                const char* missingGerman, const char* missingEnglish);

}  // namespace vt
