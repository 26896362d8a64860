// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the maintenance commands stand on, prepared as the window's start-up prepares it:
// the shared state in the language of --lang, the registry and INI access, the
// operating-system facts and the folders they name, the backup store with its directories,
// and the option flags from the machine's options file. The sections' message boxes become
// lines: what the window would tell the user, the command tells its caller.
#include "commands.h"

#include "backup/backups.h"
#include "diagnosis/osinfo.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/files.h"
#include "sysaccess/ini.h"
#include "sysaccess/options.h"
#include "sysaccess/reg.h"
#include "sysaccess/state.h"

#include <QStringList>

namespace vt::tool {

// Warnings go to stderr. Information goes to stdout, or to stderr while a JSON document is
// being written, so that document stays whole. A question is answered Yes: the command
// line the user typed is the answer.
class ConsoleDialogs : public DialogService {
 public:
  explicit ConsoleDialogs(Io& io) : io_(io) {}
  void information(const QString& text) override;
  void warning(const QString& text) override;
  bool confirm(const QString& text) override;

  bool json = false;
  // While set, information waits in `held` for the command to show once its work is done.
  bool hold = false;
  QStringList held;
  // Every warning shown, for a command that judges its outcome by them.
  QStringList warnings;

 private:
  Io& io_;
};

// Nothing waits for a repaint or a click on Cancel here.
class NoEventPump : public EventPump {
 public:
  void processPendingEvents() override {}
};

struct Session {
  Session(Machine& m, Io& io);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Machine& machine;
  SharedState state;
  ConsoleDialogs dialogs;
  NoEventPump pump;
  TOSInfo os;
  RegAccess reg;
  IniAccess ini;
  FileAccess files;
  backup::Backups backups;
  OptionFlags flags;
  QString windowsDirectory, systemDirectory, fontsDirectory, programDirectory;
};

// A message box's text as lines: its breaks (\r) become line ends.
QString asLines(const QString& boxText);
// Shows what `dialogs` held back (on stderr while a JSON document is written) and forgets it.
void showHeld(Io& io, ConsoleDialogs& dialogs, bool json);

}  // namespace vt::tool
