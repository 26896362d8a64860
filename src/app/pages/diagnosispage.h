// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The analysis page and the problem browser. The checks, the texts and the repairs live in
// diagnosis/; these handlers bind them to the pages and forward.
#include "app/pages/page.h"
#include "diagnosis/browser.h"

#include <memory>
#include <span>

namespace vt {

// The analysis page, the two result pages and the browser with its strip, as the
// widget-free analysis and browser see them.
class DiagnosisScreen : public FormPages<diagnosis::BrowserView>, public diagnosis::AnalysisView {
 public:
  using FormPages::FormPages;

  void setVisible(diagnosis::BrowserButton b, bool visible) override;
  bool isVisible(diagnosis::BrowserButton b) const override;
  void setProblemLabel(const QString& text) override;
  void showDescription(const QStringList& lines) override;
  void showSolution(const QStringList& lines) override;
  void showDeviceManagerGuide() override;
  void returnToSection() override;
  void showStatus(const QString& text) override;
  void showProgress(int position) override;

 private:
  TExplorerButton* button(diagnosis::BrowserButton b) const;
  void show(const char* memo, const QStringList& lines);
};

class DiagnosisPage : public Page {
 public:
  explicit DiagnosisPage(const PageContext& c);
  ~DiagnosisPage();

  // Hands the browser its controls and repairs and binds the pages' buttons; start-up,
  // after the multimedia test.
  void PrepareDiagnosis();
  static std::span<const Click<DiagnosisPage>> clicks();
  void Knopf_DiagnoseClick();
  void ANALYSE();
  void ShowProblem(QChar letter);
  void Diagnose_weiterClick();
  void Diagnose_zurueckClick();
  void Knopf_AUTOFIXClick();
  void AutoFixProblem();
  void FreeProblemDetails();
  void ExplorerButton29Click();
  diagnosis::Browser& problemBrowser() { return *problemBrowser_; }

 private:
  std::unique_ptr<DiagnosisScreen> screen_;
  std::unique_ptr<diagnosis::Browser> problemBrowser_;
};

}  // namespace vt
