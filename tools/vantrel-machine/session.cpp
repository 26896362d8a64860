// SPDX-License-Identifier: GPL-3.0-or-later
#include "session.h"

#include "platform/machine.h"

namespace vt::tool {

QString asLines(const QString& boxText) {
  QString text = boxText;
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

void ConsoleDialogs::information(const QString& text) {
  if (hold) {
    held << text;
    return;
  }
  QTextStream& to = json ? io_.err : io_.out;
  to << asLines(text) << '\n';
  to.flush();
}

void ConsoleDialogs::warning(const QString& text) {
  warnings << asLines(text);
  io_.fail(Failed, asLines(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified());
}

bool ConsoleDialogs::confirm(const QString&) { return true; }

void showHeld(Io& io, ConsoleDialogs& dialogs, bool json) {
  QTextStream& to = json ? io.err : io.out;
  for (const QString& text : dialogs.held) to << asLines(text) << '\n';
  dialogs.held.clear();
}

Session::Session(Machine& m, Io& io)
    : machine(m), dialogs(io), os(m), reg(m, state), ini(m), files(m, state, dialogs, pump), backups(m, state, dialogs) {
  state.language = io.english ? English : German;
  windowsDirectory = os.WindowsDirectory();
  systemDirectory = os.SystemDirectory();
  fontsDirectory = os.Fonts();
  programDirectory = m.facts().programDirectory;
  backups.setDirectories(programDirectory, windowsDirectory, systemDirectory);
  if (const auto boxes = readOptionsFile(m.files(), programDirectory)) flags = flagsFrom(*boxes);
}

}  // namespace vt::tool
