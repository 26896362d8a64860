// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/launcher.h"

#include "platform/hostprograms.h"
#include "platform/machine.h"
#include "platform/regedit4.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include <memory>
#include <future>

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

void setError(QString* error, const QString& text) {
  if (error) *error = text;
}

}  // namespace

// The registry editor's command lines: "/e FILE" exports, "/c FILE" replaces, "FILE" merges.
// "/s" (silent) is accepted and changes nothing here, as no dialog is shown anyway.
bool runRegistryEditor(Machine& machine, const QString& args, QString* error) {
  QString rest = args.trimmed();
  bool exportMode = false, replaceMode = false;
  while (rest.startsWith(QLatin1Char('/')) || rest.startsWith(QLatin1Char('-'))) {
    const QString sw = rest.section(QLatin1Char(' '), 0, 0).mid(1).toLower();
    rest = rest.mid(sw.size() + 1).trimmed();
    if (sw == QLatin1String("e"))
      exportMode = true;
    else if (sw == QLatin1String("c"))
      replaceMode = true;
    else if (sw != QLatin1String("s")) {
      setError(error, QStringLiteral("unknown switch /%1").arg(sw));
      return false;
    }
  }
  const QString file = unquote(rest);
  if (file.isEmpty() || (exportMode && replaceMode)) {
    setError(error, QStringLiteral("no file given"));
    return false;
  }
  FileSystem& fs = machine.files();
  if (exportMode) {
    if (fs.writeFile(file, regedit4::exportRegistry(machine.registry()))) return true;
    setError(error, QStringLiteral("cannot write %1: %2").arg(file, describe(fs.lastError())));
    return false;
  }
  const auto text = fs.readFile(file);
  if (!text) {
    setError(error, QStringLiteral("cannot read %1: %2").arg(file, describe(fs.lastError())));
    return false;
  }
  return importRegistryText(machine, file, *text, replaceMode, error);
}

bool importRegistryText(Machine& machine, const QString& file, const QByteArray& text, bool replace, QString* error,
                        const std::function<bool(QString*)>& verify) {
  // Checked whole before anything changes, and applied from that same reading.
  regedit4::Parsed parsed;
  QString why;
  if (!regedit4::parse(text, replace ? regedit4::ImportMode::Replace : regedit4::ImportMode::Merge, &parsed, &why)) {
    setError(error, QStringLiteral("%1: %2").arg(file, why));
    return false;
  }
  if (verify && !verify(&why)) {
    setError(error, why);
    return false;
  }
  // What a failed import is undone with: the registry files as they are now, not a second
  // serialization of the trees they were loaded into.
  RegistrySnapshot before;
  if (!machine.snapshotRegistry(&before, &why)) {
    setError(error, why);
    return false;
  }
  Registry& reg = machine.registry();
  std::unique_ptr<Registry> replaced = replace ? std::make_unique<Registry>() : nullptr;
  regedit4::apply(parsed, reg, replaced.get());
  // A replacement with nothing under HKEY_LOCAL_MACHINE (its only keys deleted again, say)
  // would leave a machine that cannot start.
  if (replace && reg.localMachine().subkeyCount() == 0) {
    machine.restoreRegistry(before);
    setError(error, QStringLiteral("%1 holds no HKEY_LOCAL_MACHINE keys; the registry was not replaced").arg(file));
    return false;
  }
  // Freeing the replaced trees key by key takes about half as long as writing the new ones
  // out, and nothing needs them any more (a failed save is undone from the snapshot), so the
  // second core frees them while the hives are written. Where no thread can be started, the
  // trees go when the future does.
  std::future<void> freeing;
  if (replaced)
    freeing = std::async(std::launch::async | std::launch::deferred, [old = std::move(replaced)]() mutable { old.reset(); });
  if (machine.saveRegistry(&why)) return true;
  // What the files could not take must not stay in memory, where a later save would write
  // it, nor in a hive file the failed save had already replaced.
  QString undone;
  if (!machine.restoreRegistry(before, &undone)) why += QStringLiteral("; ") + undone;
  setError(error, why);
  return false;
}

namespace {

void journal(Machine& machine, const QString& commandLine) {
  QFile log(machine.hostPathInFolder(QLatin1String(kLaunchJournalName)));
  if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  const QString line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char('\t') +
                       commandLine + QLatin1Char('\n');
  log.write(line.toUtf8());
}

}  // namespace

bool winExec(Machine& machine, const QString& commandLine, int /*showCmd*/) {
  QString program, args;
  splitProgram(commandLine, &program, &args);
  if (program.isEmpty()) return false;
  const QString name = programName(program);
  if (name == QLatin1String("REGEDIT")) return runRegistryEditor(machine, args, nullptr);

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
