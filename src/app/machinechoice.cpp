#include "app/machinechoice.h"

#include "sample/samplemachine.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vt {

CommandLine parseCommandLine(const QStringList& args) {
  CommandLine cl;
  for (qsizetype i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    auto next = [&](QString* out) {
      if (i + 1 >= args.size()) {
        cl.error = QStringLiteral("%1 needs a value").arg(a);
        return false;
      }
      *out = args[++i];
      return true;
    };
    if (a == QLatin1String("--machine")) {
      if (!next(&cl.machineFolder)) return cl;
    } else if (a.startsWith(QLatin1String("--machine="))) {
      cl.machineFolder = a.mid(10);
    } else if (a == QLatin1String("--lang") || a.startsWith(QLatin1String("--lang="))) {
      QString lang = a.mid(7);
      if (a == QLatin1String("--lang") && !next(&lang)) return cl;
      if (lang == QLatin1String("en"))
        cl.english = true;
      else if (lang == QLatin1String("de"))
        cl.english = false;
      else {
        cl.error = QStringLiteral("unknown language '%1' (de or en)").arg(lang);
        return cl;
      }
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      cl.help = true;
    } else if (a.startsWith(QLatin1Char('-'))) {
      // Qt's own options (-platform and the like) are taken by QApplication before we look.
      cl.error = QStringLiteral("unknown option '%1'").arg(a);
      return cl;
    } else {
      cl.error = QStringLiteral("unexpected argument '%1'").arg(a);
      return cl;
    }
  }
  return cl;
}

QString sampleMachineFolder() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/share");
  return base + QStringLiteral("/vantrel/sample-machine");
}

bool resolveMachineFolder(const CommandLine& cl, QString* folder, QString* error) {
  if (!cl.machineFolder.isEmpty()) {
    *folder = cl.machineFolder;
    return true;
  }
  *folder = sampleMachineFolder();
  if (QFileInfo::exists(*folder + QStringLiteral("/machine.ini"))) return true;
  return sample::createSampleMachine(*folder, error);
}

}  // namespace vt
