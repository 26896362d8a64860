#include "sections.h"

#include "platform/machine.h"

namespace vt::tool {

namespace {

QString lines(const QString& boxText) {
  QString t = boxText;
  return t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

}  // namespace

void TerminalDialogs::information(const QString& text) { told << lines(text); }

void TerminalDialogs::warning(const QString& text) {
  ++warnings;
  io_.fail(Failed, lines(text));
}

bool TerminalDialogs::confirm(const QString& text) {
  io_.fail(Failed, lines(text) + QStringLiteral(" (answered no)"));
  return false;
}

SectionHelpers::SectionHelpers(Machine& m, Io& io)
    : machine(m), dialogs(io), os(m), reg(m, state), files(m, state, dialogs, pump), backups(m, state, dialogs) {
  state.language = io.english ? English : German;
  backups.setDirectories(m.facts().programDirectory, os.WindowsDirectory(), os.SystemDirectory());
}

}  // namespace vt::tool
