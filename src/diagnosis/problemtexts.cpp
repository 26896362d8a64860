// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/problemtexts.h"

#include "platform/filesystem.h"
#include "platform/text.h"

#include <QFile>

namespace vt::diagnosis {

QString problemTextFileName(TextKind kind, int language) {
  return QString::fromLatin1(kind == TextKind::Description ? "PROBLEME" : "LSG") +
         QString::fromLatin1(language == English ? ".eng" : ".de");
}

std::optional<QByteArray> builtInProblemFile(TextKind kind, int language) {
  QFile f(QStringLiteral(":/diagnosis/") + problemTextFileName(kind, language));
  if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
  return f.readAll();
}

QStringList problemText(FileSystem& fs, const QString& programDirectory, TextKind kind, QChar letter, const SharedState& state,
                        bool orBuiltIn) {
  const QString path = programDirectory + QLatin1Char('\\') + problemTextFileName(kind, state.language);
  if (orBuiltIn && !fs.exists(path)) {
    const ProblemSection s = readProblemSection(builtInProblemFile(kind, state.language), letter);
    if (s.status == ProblemSection::Complete) return s.lines;
  }
  return problemSectionLines(fs, path, letter, state, "Die Datei %1 fehlt oder kann nicht gelesen werden.",
                             "The file %1 is missing or cannot be read.");
}

QString problemTitle(const QStringList& description) {
  for (const QString& line : description)
    if (!line.trimmed().isEmpty()) return line.trimmed();
  return {};
}

}  // namespace vt::diagnosis
