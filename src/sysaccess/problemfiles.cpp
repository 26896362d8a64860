// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/problemfiles.h"

#include "platform/filesystem.h"
#include "platform/text.h"
#include "sysaccess/state.h"

namespace vt {

LetteredSection readLetteredSection(const std::optional<QByteArray>& file, QChar letter) {
  LetteredSection s;
  if (!file) return s;
  const QByteArray header = QByteArray("[") + char(letter.toLatin1()) + ']';
  const QList<QByteArray> lines = splitLines(*file);
  qsizetype i = 0;
  while (i < lines.size() && lines[i] != header) ++i;
  if (i == lines.size()) {
    s.status = LetteredSection::NoHeader;
    return s;
  }
  for (++i; i < lines.size(); ++i) {
    if (lines[i].startsWith('[')) {
      s.status = LetteredSection::Complete;
      return s;
    }
    s.lines << fromAnsi(lines[i]);
  }
  s.status = LetteredSection::NoEnd;
  return s;
}

QStringList problemSectionLines(FileSystem& fs, const QString& path, QChar letter, const SharedState& state,
                                const char* missingGerman, const char* missingEnglish) {
  auto text = [&](const char* german, const char* english) { return QString::fromUtf8(state.pick(german, english)); };
  const LetteredSection s = readLetteredSection(fs.readFile(path), letter);
  QStringList lines = s.lines;
  switch (s.status) {
    case LetteredSection::Complete: break;
    case LetteredSection::NoFile: lines << text(missingGerman, missingEnglish).arg(path); break;
    case LetteredSection::NoHeader:
      lines << text("Die Datei %1 enthält keinen Abschnitt [%2].", "The file %1 has no section [%2].").arg(path, QString(letter));
      break;
    case LetteredSection::NoEnd:
      lines << QString()
            << text("(Die Datei %1 endet mitten in diesem Abschnitt, er ist vielleicht unvollständig.)",
                    "(The file %1 ends inside this section; it may be incomplete.)")
                   .arg(path);
      break;
  }
  return lines;
}

}  // namespace vt
