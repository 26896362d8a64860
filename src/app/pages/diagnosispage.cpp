// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/diagnosispage.h"

#include "platform/machine.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>

namespace vt {

using diagnosis::BrowserButton;

// The strip's buttons are hidden while the strip is not shown, so their own flag says
// whether they are meant to be visible.
void DiagnosisScreen::setVisible(BrowserButton b, bool visible) {
  if (TExplorerButton* button = this->button(b)) button->setVisible(visible);
}
bool DiagnosisScreen::isVisible(BrowserButton b) const {
  TExplorerButton* button = this->button(b);
  return button && !button->isHidden();
}
void DiagnosisScreen::setProblemLabel(const QString& text) {
  if (auto* label = get<QLabel>("Label_PROBLEM")) label->setText(text);
}
void DiagnosisScreen::showDescription(const QStringList& lines) { show("Memo1", lines); }
void DiagnosisScreen::showSolution(const QStringList& lines) { show("Memo2", lines); }
void DiagnosisScreen::showDeviceManagerGuide() { host_.showDeviceManagerGuide(); }
void DiagnosisScreen::returnToSection() { host_.Diagnose(); }

void DiagnosisScreen::showStatus(const QString& text) {
  if (auto* label = get<QLabel>("Label_Status3")) {
    label->setText(text);
    label->repaint();
  }
}
void DiagnosisScreen::showProgress(int position) {
  if (auto* bar = get<QProgressBar>("ProgressBar2")) {
    bar->setValue(position);
    bar->repaint();
  }
}

TExplorerButton* DiagnosisScreen::button(BrowserButton b) const {
  static constexpr const char* names[] = {"Diagnose_zurueck", "Diagnose_weiter", "Knopf_AUTOFIX"};
  return get<TExplorerButton>(names[int(b)]);
}

void DiagnosisScreen::show(const char* memo, const QStringList& lines) {
  auto* m = get<QPlainTextEdit>(memo);
  if (!m) return;
  m->setPlainText(lines.join(QLatin1Char('\n')));
  m->moveCursor(QTextCursor::Start);
  m->ensureCursorVisible();
}

namespace {

constexpr Click<DiagnosisPage> kClicks[] = {
    {"Knopf_Diagnose", &DiagnosisPage::Knopf_DiagnoseClick},     {"Diagnose_weiter", &DiagnosisPage::Diagnose_weiterClick},
    {"Diagnose_zurueck", &DiagnosisPage::Diagnose_zurueckClick}, {"Knopf_AUTOFIX", &DiagnosisPage::Knopf_AUTOFIXClick},
    {"ExplorerButton29", &DiagnosisPage::ExplorerButton29Click},
};

}  // namespace

DiagnosisPage::DiagnosisPage(const PageContext& c) : Page(c) {}
DiagnosisPage::~DiagnosisPage() = default;

std::span<const Click<DiagnosisPage>> DiagnosisPage::clicks() { return kClicks; }

void DiagnosisPage::PrepareDiagnosis() {
  auto screen = std::make_unique<DiagnosisScreen>(host_, form_);
  diagnosis::Repairs repairs{machine_,         reg_, ini_, backups_, dialogs_, state_, windowsDirectory_, systemDirectory_,
                             programDirectory_};
  problemBrowser_ = std::make_unique<diagnosis::Browser>(machine_.files(), state_, dialogs_, *screen, std::move(repairs));
  screen_ = std::move(screen);

  // The description keeps the lines as the files and the analysis give them; the solution
  // is prose and wraps.
  if (auto* memo = get<QPlainTextEdit>("Memo1")) {
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  if (auto* memo = get<QPlainTextEdit>("Memo2")) {
    memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  }
  if (auto* bar = get<QProgressBar>("ProgressBar2")) bar->setRange(0, diagnosis::kAnalysisSteps);

  connectClicks<DiagnosisPage>(*this, kClicks);
}

void DiagnosisPage::Knopf_DiagnoseClick() {
  if (notebook1()) notebook1()->setCurrentIndex(diagnosis::kAnalysisPage);
  if (notebook2()) notebook2()->setVisible(false);
  if (notebook1()) notebook1()->repaint();
  if (notebook2()) notebook2()->repaint();
  ANALYSE();
}

void DiagnosisPage::ANALYSE() {
  diagnosis::Analysis analysis(machine_, reg_, ini_, state_, {windowsDirectory_, systemDirectory_, fontsDirectory_},
                               screen_.get());
  problemBrowser_->analyse(analysis);
}

void DiagnosisPage::ShowProblem(QChar letter) { problemBrowser_->ShowProblem(letter); }
void DiagnosisPage::Diagnose_weiterClick() { problemBrowser_->forward(); }
void DiagnosisPage::Diagnose_zurueckClick() { problemBrowser_->back(); }
void DiagnosisPage::Knopf_AUTOFIXClick() { AutoFixProblem(); }
void DiagnosisPage::AutoFixProblem() { problemBrowser_->AutoFixProblem(); }
void DiagnosisPage::FreeProblemDetails() { problemBrowser_->FreeProblemDetails(); }
void DiagnosisPage::ExplorerButton29Click() { problemBrowser_->cancel(); }

}  // namespace vt
