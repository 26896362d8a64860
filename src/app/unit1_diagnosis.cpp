// The analysis page and the problem browser of the main window. The checks, the texts and
// the repairs live in diagnosis/; these handlers bind them to the pages and forward.
#include "app/controls/explbtn.h"
#include "app/unit1.h"
#include "diagnosis/browser.h"
#include "platform/machine.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>

namespace vt {

namespace {

using diagnosis::BrowserButton;

// The analysis page, the two result pages and the browser with its strip, as the
// widget-free analysis and browser see them.
class DiagnosisScreen : public FormPages<diagnosis::BrowserView>, public diagnosis::AnalysisView {
 public:
  explicit DiagnosisScreen(TForm1& form) : FormPages(form) {}

  // The strip's buttons are hidden while the strip is not shown, so their own flag says
  // whether they are meant to be visible.
  void setVisible(BrowserButton b, bool visible) override {
    if (TExplorerButton* button = this->button(b)) button->setVisible(visible);
  }
  bool isVisible(BrowserButton b) const override {
    TExplorerButton* button = this->button(b);
    return button && !button->isHidden();
  }
  void setProblemLabel(const QString& text) override {
    if (auto* label = get<QLabel>("Label_PROBLEM")) label->setText(text);
  }
  void showDescription(const QStringList& lines) override { show("Memo1", lines); }
  void showSolution(const QStringList& lines) override { show("Memo2", lines); }
  void showDeviceManagerGuide() override { form_.Knopf_ManagerClick(); }
  void returnToSection() override { form_.Diagnose(); }

  void showStatus(const QString& text) override {
    if (auto* label = get<QLabel>("Label_Status3")) {
      label->setText(text);
      label->repaint();
    }
  }
  void showProgress(int position) override {
    if (auto* bar = get<QProgressBar>("ProgressBar2")) {
      bar->setValue(position);
      bar->repaint();
    }
  }

 private:
  template <typename T>
  T* get(const char* name) const { return form_.form().get<T>(QString::fromLatin1(name)); }
  TExplorerButton* button(BrowserButton b) const {
    static constexpr const char* names[] = {"Diagnose_zurueck", "Diagnose_weiter", "Knopf_AUTOFIX"};
    return get<TExplorerButton>(names[int(b)]);
  }
  void show(const char* memo, const QStringList& lines) {
    auto* m = get<QPlainTextEdit>(memo);
    if (!m) return;
    m->setPlainText(lines.join(QLatin1Char('\n')));
    m->moveCursor(QTextCursor::Start);
    m->ensureCursorVisible();
  }
};

}  // namespace

void TForm1::PrepareDiagnosis() {
  auto screen = std::make_unique<DiagnosisScreen>(*this);
  diagnosis::Repairs repairs{machine_, reg_, ini_, backups_, dialogs_, state_, windowsDirectory_, systemDirectory_,
                             programDirectory_};
  problemBrowser_ = std::make_unique<diagnosis::Browser>(machine_.files(), state_, dialogs_, *screen, std::move(repairs));
  diagnosisScreen_ = std::move(screen);

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

  connectClicks({
      {"Knopf_Diagnose", &TForm1::Knopf_DiagnoseClick},   {"Diagnose_weiter", &TForm1::Diagnose_weiterClick},
      {"Diagnose_zurueck", &TForm1::Diagnose_zurueckClick}, {"Knopf_AUTOFIX", &TForm1::Knopf_AUTOFIXClick},
      {"ExplorerButton29", &TForm1::ExplorerButton29Click},
  });
}

void TForm1::Knopf_DiagnoseClick() {
  if (notebook1_) notebook1_->setCurrentIndex(diagnosis::kAnalysisPage);
  if (notebook2_) notebook2_->setVisible(false);
  if (notebook1_) notebook1_->repaint();
  if (notebook2_) notebook2_->repaint();
  ANALYSE();
}

void TForm1::ANALYSE() {
  diagnosis::Analysis analysis(machine_, reg_, ini_, state_, {windowsDirectory_, systemDirectory_, fontsDirectory_},
                               static_cast<DiagnosisScreen*>(diagnosisScreen_.get()));
  problemBrowser_->analyse(analysis);
}

void TForm1::ShowProblem(QChar letter) { problemBrowser_->ShowProblem(letter); }
void TForm1::Diagnose_weiterClick() { problemBrowser_->forward(); }
void TForm1::Diagnose_zurueckClick() { problemBrowser_->back(); }
void TForm1::Knopf_AUTOFIXClick() { AutoFixProblem(); }
void TForm1::AutoFixProblem() { problemBrowser_->AutoFixProblem(); }
void TForm1::FreeProblemDetails() { problemBrowser_->FreeProblemDetails(); }
void TForm1::ExplorerButton29Click() { problemBrowser_->cancel(); }

}  // namespace vt
