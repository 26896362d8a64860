// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of vantrel-machine. Each returns the process exit code: 0 done, 1 the
// command failed (nothing was changed), 2 the command line was wrong, 3 a check or a dry
// run found something.
#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>

namespace vt {
class Machine;
}

namespace vt::tool {

enum Exit { Ok = 0, Failed = 1, Usage = 2, Found = 3 };

struct Io {
  QTextStream& out;
  QTextStream& err;
  // The language of the texts the sections' libraries write (problem titles, the report):
  // --lang, or else the environment's.
  bool english = true;
  // "vantrel-machine: <message>" on stderr; returns `code`.
  int fail(int code, const QString& message) const;
  // One JSON document on standard output, the whole answer of a --json listing.
  void json(const QJsonValue& document) const;
};

// A line on stderr that follows long work, only for a person watching a terminal: a log or
// a pipe gets nothing of it. `unit` names what is counted ("files", "folders").
class TerminalProgress {
 public:
  TerminalProgress(Io& io, const char* command, const char* unit = "files");
  ~TerminalProgress();
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;
  // Empty when stderr is no terminal, so the work need not report at all.
  std::function<void(int done, int toDo)> callback();
  // A free-form line ("searching C:\WINDOWS"), shown in place of the last one.
  void say(const QString& text);

 private:
  Io& io_;
  const char* command_;
  const char* unit_;
  bool terminal_;
  bool shown_ = false;
};

// The options after a command, taken one by one by the command that knows them: flags
// (--dry-run), options with a value (--kinds a,b or --kinds=a,b); what is left is plain.
class Options {
 public:
  explicit Options(QStringList args) : args_(std::move(args)) {}
  bool flag(const char* name);
  // The value of --name, if given; an option given without one makes finish() fail.
  std::optional<QString> value(const char* name);
  // Checks that no unknown option is left and the plain arguments number from `min` to
  // `max`; on failure writes the message and sets *code to Usage.
  bool finish(const char* command, Io& io, int* code, int min = 0, int max = 0);
  const QStringList& plain() const { return args_; }

 private:
  QStringList args_;
  QString missing_;  // an option that came without its value
};

int cmdNew(const QStringList& args, Io& io);
int cmdImport(const QStringList& args, Io& io);
int cmdExport(const QStringList& args, Io& io);
int cmdInfo(Machine& m, const QStringList& args, Io& io);
int cmdAttrib(Machine& m, const QStringList& args, Io& io);
int cmdRegedit(Machine& m, const QStringList& args, Io& io);
int cmdRecycle(Machine& m, const QStringList& args, Io& io);
int cmdLnk(Machine& m, const QStringList& args, Io& io);
int cmdDir(Machine& m, const QStringList& args, Io& io);
// The sections' maintenance, through the libraries the window uses.
int cmdClean(Machine& m, const QStringList& args, Io& io);
int cmdCleanRegistry(Machine& m, const QStringList& args, Io& io);
int cmdOptimise(Machine& m, const QStringList& args, Io& io);
int cmdDiagnose(Machine& m, const QStringList& args, Io& io);
int cmdReport(Machine& m, const QStringList& args, Io& io);
int cmdBackup(Machine& m, const QStringList& args, Io& io);
int cmdRescueDisk(Machine& m, const QStringList& args, Io& io);
int cmdTune(Machine& m, const QStringList& args, Io& io);
// For the shell's completion: the machine's paths that begin with the one argument.
int cmdCompletePath(Machine& m, const QStringList& args, Io& io);

// What `vantrel-machine COMMAND --help` prints, each beside its command.
extern const char* const kHelpClean;
extern const char* const kHelpCleanRegistry;
extern const char* const kHelpOptimise;
extern const char* const kHelpDiagnose;
extern const char* const kHelpReport;
extern const char* const kHelpBackup;
extern const char* const kHelpRescueDisk;
extern const char* const kHelpTune;

}  // namespace vt::tool
