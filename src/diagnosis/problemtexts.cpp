#include "diagnosis/problemtexts.h"

#include "platform/filesystem.h"
#include "platform/text.h"

namespace vt::diagnosis {

QString problemTextFileName(TextKind kind, int language) {
  return QString::fromLatin1(kind == TextKind::Description ? "PROBLEME" : "LSG") +
         QString::fromLatin1(language == English ? ".eng" : ".de");
}

QStringList problemText(FileSystem& fs, const QString& programDirectory, TextKind kind, QChar letter, const SharedState& state) {
  const QString path = programDirectory + QLatin1Char('\\') + problemTextFileName(kind, state.language);
  return problemSectionLines(fs, path, letter, state, "Die Datei %1 fehlt oder kann nicht gelesen werden.",
                             "The file %1 is missing or cannot be read.");
}

}  // namespace vt::diagnosis
