// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/browser.h"

#include "diagnosis/problemtexts.h"

namespace vt::diagnosis {

Browser::Browser(FileSystem& fs, const SharedState& state, DialogService& dialogs, BrowserView& view, Repairs repairs)
    : fs_(fs), state_(state), dialogs_(dialogs), view_(view), repairs_(std::move(repairs)) {}

void Browser::analyse(Analysis& analysis) {
  findings_ = Findings();
  position_ = 0;
  view_.setVisible(BrowserButton::Forward, true);
  view_.setVisible(BrowserButton::Back, false);
  view_.setVisible(BrowserButton::Autofix, false);
  present(analysis.run());
}

void Browser::present(Findings findings) {
  findings_ = std::move(findings);
  if (findings_.problems.isEmpty()) {
    position_ = 0;
    view_.showPage(kNoProblemsPage);
    view_.hideStrips();
    return;
  }
  view_.showPage(kProblemsFoundPage);
  view_.showStrip(kBrowserStrip);
  view_.setVisible(BrowserButton::Back, false);
  position_ = 1;
  ShowProblem(findings_.problems[0]);
  showLabel();
}

void Browser::showLabel() { view_.setProblemLabel(QStringLiteral("Problem %1:").arg(position_)); }

void Browser::ShowProblem(QChar letter) {
  view_.setVisible(BrowserButton::Autofix, autofixOffered(letter));
  const QString& dir = repairs_.programDirectory;
  QStringList description = problemText(fs_, dir, TextKind::Description, letter, state_);
  if (hasDetails(letter)) description += findings_.detailsOf(letter);
  view_.showDescription(description);
  view_.showSolution(problemText(fs_, dir, TextKind::Solution, letter, state_));
}

void Browser::forward() {
  const qsizetype count = findings_.problems.size();
  if (view_.currentPage() != kProblemPage) {
    // From the page that announces the problems: the first one is loaded already.
    if (count == 1) view_.setVisible(BrowserButton::Forward, false);
    view_.showPage(kProblemPage);
    return;
  }
  if (position_ >= count) return;
  ++position_;
  view_.setVisible(BrowserButton::Back, true);
  if (position_ == count) view_.setVisible(BrowserButton::Forward, false);
  ShowProblem(findings_.problems[position_ - 1]);
  showLabel();
}

void Browser::back() {
  if (position_ <= 1) return;
  --position_;
  view_.setVisible(BrowserButton::Forward, true);
  if (position_ == 1) view_.setVisible(BrowserButton::Back, false);
  ShowProblem(findings_.problems[position_ - 1]);
  showLabel();
}

void Browser::AutoFixProblem() {
  QString& problems = findings_.problems;
  if (position_ < 1 || position_ > problems.size()) return;
  const QChar letter = problems[position_ - 1];
  switch (repairs_.repair(letter, findings_.detailsOf(letter))) {
    case RepairOutcome::DeviceManager:
      // The problem stays: only the user can settle a device conflict.
      view_.showDeviceManagerGuide();
      return;
    case RepairOutcome::BackupFailed: return;
    case RepairOutcome::Failed:
    case RepairOutcome::NotOffered: dialogs_.warning(autofixFailedText(state_)); return;
    case RepairOutcome::Repaired: break;
  }
  if (problems.size() == 1) {
    dialogs_.information(text("Alle Probleme wurden erfolgreich behoben!", "All problems have been fixed successfully!"));
    problems.clear();
    cancel();
    return;
  }
  const bool wasLast = !view_.isVisible(BrowserButton::Forward);
  problems.remove(position_ - 1, 1);
  if (wasLast && position_ > 1) {
    // The previous problem comes forward, with its own number.
    back();
    view_.setVisible(BrowserButton::Forward, false);
    return;
  }
  // The next problem moves up into this position; the label keeps its number.
  position_ = std::min<int>(position_, int(problems.size()));
  if (position_ == 1) view_.setVisible(BrowserButton::Back, false);
  if (position_ == problems.size()) view_.setVisible(BrowserButton::Forward, false);
  ShowProblem(problems[position_ - 1]);
}

void Browser::FreeProblemDetails() { findings_.clearDetails(); }

void Browser::cancel() {
  FreeProblemDetails();
  view_.returnToSection();
}

}  // namespace vt::diagnosis
