#include "diagnosis/problemtexts.h"

#include "platform/filesystem.h"
#include "platform/text.h"

namespace vt::diagnosis {

QString problemTextFileName(TextKind kind, int language) {
  return QString::fromLatin1(kind == TextKind::Description ? "PROBLEME" : "LSG") +
         QString::fromLatin1(language == English ? ".eng" : ".de");
}


QStringList problemText(FileSystem& fs, const QString& programDirectory, TextKind kind, QChar letter,
                        const SharedState& state) {
  const QString path = programDirectory + QLatin1Char('\\') + problemTextFileName(kind, state.language);
  auto text = [&](const char* german, const char* english) { return QString::fromUtf8(state.pick(german, english)); };
  // The user is looking at the memo, so that is where a damaged or missing file is told.
  const bool isFile = fs.exists(path) && !fs.isDirectory(path);
  const ProblemSection s = readProblemSection(isFile ? fs.readFile(path) : std::nullopt, letter);
  QStringList lines = s.lines;
  switch (s.status) {
    case ProblemSection::Complete:
      break;
    case ProblemSection::NoFile:
      lines << text("Die Datei %1 fehlt oder kann nicht gelesen werden.", "The file %1 is missing or cannot be read.")
                   .arg(path);
      break;
    case ProblemSection::NoHeader:
      lines << text("Die Datei %1 enthält keinen Abschnitt [%2].", "The file %1 has no section [%2].")
                   .arg(path, QString(letter));
      break;
    case ProblemSection::NoEnd:
      lines << QString()
            << text("(Die Datei %1 endet mitten in diesem Abschnitt, er ist vielleicht unvollständig.)",
                    "(The file %1 ends inside this section; it may be incomplete.)")
                   .arg(path);
      break;
  }
  return lines;
}

}  // namespace vt::diagnosis
