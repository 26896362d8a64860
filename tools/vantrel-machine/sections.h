#pragma once
// What the maintenance commands stand on: the helpers the sections' libraries take, built
// over the opened machine as the window builds them at start-up. The messages the window
// would show in boxes come to the terminal instead: warnings at once on stderr, the
// outcomes kept for the command to print. Nobody can answer a question here, so every
// confirmation is answered No.
#include "commands.h"

#include "backup/backups.h"
#include "diagnosis/osinfo.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/files.h"
#include "sysaccess/reg.h"
#include "sysaccess/state.h"

#include <QStringList>

namespace vt::tool {

class TerminalDialogs : public DialogService {
 public:
  explicit TerminalDialogs(Io& io) : io_(io) {}
  void information(const QString& text) override;
  void warning(const QString& text) override;
  bool confirm(const QString& text) override;

  QStringList told;  // the information boxes, in order, their lines broken at \r
  int warnings = 0;

 private:
  Io& io_;
};

class NoEventPump : public EventPump {
 public:
  void processPendingEvents() override {}
};

struct SectionHelpers {
  SectionHelpers(Machine& machine, Io& io);
  SectionHelpers(const SectionHelpers&) = delete;
  SectionHelpers& operator=(const SectionHelpers&) = delete;

  Machine& machine;
  SharedState state;
  TerminalDialogs dialogs;
  NoEventPump pump;
  TOSInfo os;
  RegAccess reg;
  FileAccess files;
  backup::Backups backups;
};

}  // namespace vt::tool
