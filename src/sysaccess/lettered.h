#pragma once
// The program's own text files that hold one section per letter ("[A]" ... "[Q]"): the
// problem descriptions and solutions of the diagnosis and of the multimedia test.
#include <QByteArray>
#include <QChar>
#include <QStringList>

#include <optional>

namespace vt {

struct LetteredSection {
  enum Status { Complete, NoFile, NoHeader, NoEnd };
  Status status = NoFile;
  QStringList lines;  // as stored, empty lines kept; for NoEnd what came before the end of the file
};

// The section with that letter: the lines after the first line that is exactly "[L]", up to
// the next line that begins with "[". Lines before the first header are not part of any
// section. A file that is nullopt is a missing file. Windows-1252, any line ends.
LetteredSection readLetteredSection(const std::optional<QByteArray>& file, QChar letter);

}  // namespace vt
