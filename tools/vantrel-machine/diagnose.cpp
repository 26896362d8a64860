// SPDX-License-Identifier: GPL-3.0-or-later
// diagnose: the system analysis as the Diagnosis page runs it, and AUTOFIX for the problems
// named, each after the automatic backup the repair makes, as the page's AUTOFIX does.
#include "commands.h"
#include "session.h"

#include "diagnosis/analysis.h"
#include "diagnosis/autofix.h"
#include "diagnosis/problemtexts.h"
#include "platform/machine.h"

#include <QJsonArray>
#include <QJsonObject>

namespace vt::tool {

const char* const kHelpDiagnose =
    "Usage: vantrel-machine --machine DIR diagnose [--fix LETTERS | --fix-all] [--json]\n"
    "\n"
    "Runs the seventeen checks of the system analysis and prints\n"
    "each problem found: its letter (A-Q), its title and what the\n"
    "check found (the lines, programs, values or devices).\n"
    "\n"
    "  --fix LETTERS  repairs those problems with AUTOFIX (e.g.\n"
    "                 --fix CK), each after its automatic backup\n"
    "                 set; a letter the analysis did not find, or\n"
    "                 A, B or Q (more memory, more disk space, the\n"
    "                 Device Manager), is refused\n"
    "  --fix-all      repairs every problem found that AUTOFIX can\n"
    "  --json         one JSON document: the problems, what was\n"
    "                 fixed and what failed\n"
    "\n"
    "Exit status: 3 problems found (without --fix), 0 none found\n"
    "or every problem named was fixed, 1 a repair failed.\n";

namespace {

// The analysis' status line, on a terminal.
class ProgressView : public diagnosis::AnalysisView {
 public:
  explicit ProgressView(TerminalProgress& p) : progress_(p) {}
  void showStatus(const QString& text) override { progress_.say(text); }
  void showProgress(int) override {}

 private:
  TerminalProgress& progress_;
};

}  // namespace

int cmdDiagnose(Machine& m, const QStringList& args, Io& io) {
  Options o(args);
  const bool json = o.flag("json");
  const bool fixAll = o.flag("fix-all");
  const std::optional<QString> fixLetters = o.value("fix");
  int code = Ok;
  if (!o.finish("diagnose", io, &code)) return code;
  if (fixAll && fixLetters) return io.fail(Usage, QStringLiteral("diagnose: --fix and --fix-all exclude each other"));
  QString named;
  if (fixLetters) {
    for (const QChar c : *fixLetters) {
      const QChar letter = c.toUpper();
      if (letter < QLatin1Char(diagnosis::kFirstLetter) || letter > QLatin1Char(diagnosis::kLastLetter))
        return io.fail(Usage, QStringLiteral("diagnose: --fix takes problem letters A to Q, not \"%1\"").arg(*fixLetters));
      if (!diagnosis::autofixRepairs(letter))
        return io.fail(Usage, QStringLiteral("diagnose: AUTOFIX cannot repair problem %1 (see diagnose --help)").arg(letter));
      if (!named.contains(letter)) named += letter;
    }
    if (named.isEmpty()) return io.fail(Usage, QStringLiteral("diagnose: --fix needs problem letters"));
  }

  Session s(m, io);
  s.dialogs.json = json;
  diagnosis::Findings found;
  {
    TerminalProgress progress(io, "diagnose");
    ProgressView view(progress);
    diagnosis::Analysis analysis(m, s.reg, s.ini, s.state, {s.windowsDirectory, s.systemDirectory, s.fontsDirectory}, &view);
    found = analysis.run();
  }

  QString toFix;
  if (fixAll) {
    for (const QChar letter : found.problems)
      if (diagnosis::autofixRepairs(letter)) toFix += letter;
  } else {
    for (const QChar letter : named) {
      if (!found.problems.contains(letter))
        return io.fail(Usage, QStringLiteral("diagnose: the analysis did not find problem %1 (it found %2)")
                                  .arg(letter)
                                  .arg(found.problems.isEmpty() ? QStringLiteral("none") : found.problems));
    }
    // In the order of the checks, as the browser pages through them.
    for (const QChar letter : found.problems)
      if (named.contains(letter)) toFix += letter;
  }

  FileSystem& fs = m.files();
  auto title = [&](QChar letter) {
    return diagnosis::problemTitle(
        diagnosis::problemText(fs, s.programDirectory, diagnosis::TextKind::Description, letter, s.state, true));
  };
  QJsonArray problems;
  for (const QChar letter : found.problems) {
    const QStringList& details = found.detailsOf(letter);
    if (json) {
      problems.append(QJsonObject{{QStringLiteral("letter"), QString(letter)},
                                  {QStringLiteral("title"), title(letter)},
                                  {QStringLiteral("details"), QJsonArray::fromStringList(details)},
                                  {QStringLiteral("autofix"), diagnosis::autofixRepairs(letter)}});
      continue;
    }
    io.out << letter << "  " << title(letter) << '\n';
    for (const QString& d : details) io.out << "     " << d << '\n';
  }
  if (!json && toFix.isEmpty() && !fixAll && !fixLetters)
    io.out << (found.problems.isEmpty() ? QStringLiteral("No problems found.\n")
                                        : QStringLiteral("%1 problem(s) found.\n").arg(found.problems.size()));

  QString fixed, failed;
  diagnosis::Repairs repairs{
      m, s.reg, s.ini, s.backups, s.dialogs, s.state, s.windowsDirectory, s.systemDirectory, s.programDirectory};
  for (const QChar letter : toFix) {
    switch (repairs.repair(letter, found.detailsOf(letter))) {
      case diagnosis::RepairOutcome::Repaired: fixed += letter; break;
      case diagnosis::RepairOutcome::BackupFailed: failed += letter; break;  // the backup's failure was told
      default:
        failed += letter;
        s.dialogs.warning(QStringLiteral("%1: ").arg(letter) + diagnosis::autofixFailedText(s.state));
        break;
    }
  }

  if (json) {
    auto letters = [](const QString& text) {
      QJsonArray a;
      for (const QChar c : text) a.append(QString(c));
      return a;
    };
    io.json(QJsonObject{{QStringLiteral("problems"), problems},
                        {QStringLiteral("fixed"), letters(fixed)},
                        {QStringLiteral("failed"), letters(failed)}});
  } else if (fixAll || fixLetters) {
    for (const QChar letter : fixed) io.out << "fixed " << letter << ": " << title(letter) << '\n';
    for (const QChar letter : failed) io.out << "not fixed " << letter << ": " << title(letter) << '\n';
    if (toFix.isEmpty()) io.out << "Nothing AUTOFIX can repair was found.\n";
  }
  if (fixAll || fixLetters) return failed.isEmpty() ? Ok : Failed;
  return found.problems.isEmpty() ? Ok : Found;
}

}  // namespace vt::tool
