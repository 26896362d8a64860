// SPDX-License-Identifier: GPL-3.0-or-later
// tune: the switches of the tuning, boot-menu and logo pages, read as the pages show them
// and set as the window's apply writes them: only what differs from the machine, stopping
// at the first write the machine refuses.
#include "commands.h"
#include "session.h"

#include "platform/machine.h"
#include "tuning/apply.h"
#include "tuning/switches.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vt::tool {

const char* const kHelpTune =
    "Usage: vantrel-machine --machine DIR tune list [--json]\n"
    "       vantrel-machine --machine DIR tune set NAME on|off [NAME on|off ...]\n"
    "\n"
    "list shows every switch of the tuning, boot-menu and logo\n"
    "pages: its name, its box on the page, the page (optics,\n"
    "filesystem, desktop, other, bootmenu, logos) and whether it\n"
    "is on. set switches them as the window's \"Assign changes\"\n"
    "does: only what differs from the machine is written, and the\n"
    "first write the machine refuses ends it (what came before\n"
    "stays); it prints each switch it changed.\n"
    "\n"
    "NAME is the box's name (CheckBox_Icons) or the name list\n"
    "shows (icons), in any case.\n";

namespace {

// "CheckBox_Icons" -> "icons", "checkBox_oldDOS" -> "olddos".
QString readableName(const tuning::Switch& row) {
  QString name = QLatin1String(row.box);
  if (name.startsWith(QLatin1String("checkbox_"), Qt::CaseInsensitive)) name.remove(0, 9);
  return name.toLower();
}

const tuning::Switch* switchNamed(const QString& name) {
  for (const tuning::Switch& row : tuning::catalogue())
    if (name.compare(QLatin1String(row.box), Qt::CaseInsensitive) == 0 || name.toLower() == readableName(row)) return &row;
  return nullptr;
}

}  // namespace

int cmdTune(Machine& m, const QStringList& args, Io& io) {
  Options o(args);
  const bool json = o.flag("json");
  int code = Ok;
  if (!o.finish("tune", io, &code, 1, 1 + 2 * int(tuning::catalogue().size()))) return code;
  const QStringList plain = o.plain();
  const QString action = plain[0].toLower();
  if (action != QLatin1String("list") && action != QLatin1String("set"))
    return io.fail(Usage, QStringLiteral("tune: unknown action \"%1\" (list, set)").arg(plain[0]));
  if (action == QLatin1String("list") && plain.size() > 1) return io.fail(Usage, QStringLiteral("tune list takes no arguments"));
  if (action == QLatin1String("set") && json) return io.fail(Usage, QStringLiteral("tune set: --json is for list"));

  tuning::Pending pending;
  if (action == QLatin1String("set")) {
    if (plain.size() < 3 || plain.size() % 2 == 0)
      return io.fail(Usage, QStringLiteral("tune set needs pairs of NAME and on or off (see tune --help)"));
    for (qsizetype i = 1; i + 1 < plain.size(); i += 2) {
      const tuning::Switch* row = switchNamed(plain[i]);
      if (!row) return io.fail(Usage, QStringLiteral("tune set: no switch is called \"%1\" (see tune list)").arg(plain[i]));
      const QString value = plain[i + 1].toLower();
      if (value != QLatin1String("on") && value != QLatin1String("off"))
        return io.fail(Usage, QStringLiteral("tune set: %1 takes on or off, not \"%2\"").arg(plain[i], plain[i + 1]));
      if (pending.switches.contains(QLatin1String(row->box)))
        return io.fail(Usage, QStringLiteral("tune set: %1 is named twice").arg(readableName(*row)));
      pending.switches.insert(QLatin1String(row->box), value == QLatin1String("on"));
    }
  }

  Session s(m, io);
  tuning::System sys{s.reg, s.ini, m, s.windowsDirectory, s.os.StartMenu()};
  if (action == QLatin1String("list")) {
    QJsonArray list;
    for (const tuning::Switch& row : tuning::catalogue()) {
      const bool on = row.read(sys);
      if (json) {
        list.append(QJsonObject{{QStringLiteral("name"), readableName(row)},
                                {QStringLiteral("box"), QLatin1String(row.box)},
                                {QStringLiteral("section"), QLatin1String(tuning::sectionOf(row))},
                                {QStringLiteral("on"), on}});
        continue;
      }
      io.out << QStringLiteral("%1 %2 %3 %4\n")
                    .arg(readableName(row), -17)
                    .arg(QLatin1String(row.box), -25)
                    .arg(QLatin1String(tuning::sectionOf(row)), -11)
                    .arg(on ? QStringLiteral("on") : QStringLiteral("off"));
    }
    if (json) io.json(list);
    return Ok;
  }

  QStringList changed;
  const std::optional<tuning::ApplyFailure> failed = tuning::applyChanges(sys, pending, &changed);
  for (const QString& box : changed) {
    const tuning::Switch* row = tuning::findSwitch(box);
    io.out << readableName(*row) << ' ' << (pending.switches.value(box) ? "on" : "off") << '\n';
  }
  if (changed.isEmpty() && !failed) io.out << "Nothing to change: every switch is set so already.\n";
  if (!failed) return Ok;
  const tuning::Switch* row = tuning::findSwitch(failed->what);
  const QString what = row ? readableName(*row) : failed->what;
  return io.fail(Failed, asLines(tuning::applyFailedText(*failed, what, s.state)).replace(QLatin1Char('\n'), QLatin1Char(' ')));
}

}  // namespace vt::tool
