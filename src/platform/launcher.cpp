#include "platform/launcher.h"

#include "platform/machine.h"
#include "platform/regedit4.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace vt {

namespace {

// Splits a Windows command line into the program and the rest, as the loader does:
// a quoted program name may hold blanks.
void splitProgram(const QString& cmd, QString* program, QString* args) {
  const QString t = cmd.trimmed();
  qsizetype end;
  if (t.startsWith(QLatin1Char('"'))) {
    end = t.indexOf(QLatin1Char('"'), 1);
    if (end < 0) end = t.size();
    *program = t.mid(1, end - 1);
    ++end;
  } else {
    end = 0;
    while (end < t.size() && !t[end].isSpace()) ++end;
    *program = t.left(end);
  }
  *args = t.mid(end).trimmed();
}

// "C:\WINDOWS\REGEDIT.EXE" -> "REGEDIT".
QString programName(const QString& program) {
  QString base = program.section(QLatin1Char('\\'), -1).section(QLatin1Char('/'), -1);
  const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
  if (dot > 0) base.truncate(dot);
  return base.toUpper();
}

QString unquote(QString s) {
  s = s.trimmed();
  if (s.size() >= 2 && s.startsWith(QLatin1Char('"')) && s.endsWith(QLatin1Char('"'))) s = s.mid(1, s.size() - 2);
  return s;
}

// The registry editor's command lines: "/e FILE" exports, "/c FILE" replaces, "FILE" merges.
// "/s" (silent) is accepted and changes nothing here, as no dialog is shown anyway.
bool runRegedit(Machine& machine, const QString& args) {
  QString rest = args;
  bool exportMode = false, replaceMode = false;
  while (rest.startsWith(QLatin1Char('/')) || rest.startsWith(QLatin1Char('-'))) {
    const QString sw = rest.section(QLatin1Char(' '), 0, 0).mid(1).toLower();
    rest = rest.mid(sw.size() + 1).trimmed();
    if (sw == QLatin1String("e")) exportMode = true;
    else if (sw == QLatin1String("c")) replaceMode = true;
    else if (sw != QLatin1String("s")) return false;
  }
  const QString file = unquote(rest);
  if (file.isEmpty() || (exportMode && replaceMode)) return false;
  FileSystem& fs = machine.files();
  if (exportMode) return fs.writeFile(file, regedit4::exportRegistry(machine.registry()));
  const auto text = fs.readFile(file);
  if (!text) return false;
  if (!regedit4::importText(*text, machine.registry(), replaceMode ? regedit4::ImportMode::Replace : regedit4::ImportMode::Merge,
                            nullptr))
    return false;
  return machine.saveRegistry();
}

void journal(Machine& machine, const QString& commandLine) {
  QFile log(machine.hostPathInFolder(QLatin1String(kLaunchJournalName)));
  if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('\t') +
                       commandLine + QLatin1Char('\n');
  log.write(line.toUtf8());
}

}  // namespace

QString hostProgramsFile() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  return base + QStringLiteral("/vantrel/programs.ini");
}

QMap<QString, QString> hostPrograms() {
  QMap<QString, QString> programs;
  QFile f(hostProgramsFile());
  if (!f.open(QIODevice::ReadOnly)) return programs;
  // A host file in the host's encoding (UTF-8), unlike the machine's INI files.
  bool inPrograms = false;
  for (const QByteArray& raw : f.readAll().split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1Char('['))) {
      inPrograms = line.compare(QLatin1String("[Programs]"), Qt::CaseInsensitive) == 0;
      continue;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (!inPrograms || eq <= 0) continue;
    const QString name = line.left(eq).trimmed().toUpper();
    const QString cmd = line.mid(eq + 1).trimmed();
    if (!cmd.isEmpty() && !programs.contains(name)) programs.insert(name, cmd);
  }
  return programs;
}

bool winExec(Machine& machine, const QString& commandLine, int /*showCmd*/) {
  QString program, args;
  splitProgram(commandLine, &program, &args);
  if (program.isEmpty()) return false;
  const QString name = programName(program);
  if (name == QLatin1String("REGEDIT")) return runRegedit(machine, args);

  journal(machine, commandLine);
  const QString host = hostPrograms().value(name);
  if (host.isEmpty()) return true;  // recorded: there is no host program to stand in for it
  QStringList argv = QProcess::splitCommand(host);
  if (argv.isEmpty()) return false;
  if (!args.isEmpty()) argv += QProcess::splitCommand(args);
  QProcess proc;
  proc.setProgram(argv.takeFirst());
  proc.setArguments(argv);
  proc.setWorkingDirectory(machine.folder());
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("VANTREL_MACHINE"), machine.folder());
  env.insert(QStringLiteral("VANTREL_COMMAND_LINE"), commandLine);
  proc.setProcessEnvironment(env);
  proc.setStandardInputFile(QProcess::nullDevice());
  return proc.startDetached();
}

}  // namespace vt
