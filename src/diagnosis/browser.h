// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The problem browser: after an analysis the user pages through the problems it found,
// one at a time, each with its description, its solution and what the analysis noted, and
// lets AUTOFIX repair them. A repaired problem leaves the list; when the last one goes,
// the browser closes. The browser knows no widgets: it drives the pages, buttons and memos
// through BrowserView.
#include "diagnosis/analysis.h"
#include "diagnosis/autofix.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/state.h"

#include <QString>
#include <QStringList>

namespace vt {

class FileSystem;

namespace diagnosis {

// Pages of Notebook1 and the strip of Notebook2 the analysis and the browser use.
inline constexpr int kAnalysisPage = 19;
inline constexpr int kNoProblemsPage = 30;
inline constexpr int kProblemsFoundPage = 31;
inline constexpr int kProblemPage = 32;
inline constexpr int kBrowserStrip = 7;

enum class BrowserButton {
  Back,     // Diagnose_zurueck
  Forward,  // Diagnose_weiter
  Autofix,  // Knopf_AUTOFIX
};

class BrowserView : public PageView {
 public:
  virtual void setVisible(BrowserButton b, bool visible) = 0;
  virtual bool isVisible(BrowserButton b) const = 0;
  virtual void setProblemLabel(const QString& text) = 0;
  // Each replaces its memo's text and shows it from its first line.
  virtual void showDescription(const QStringList& lines) = 0;
  virtual void showSolution(const QStringList& lines) = 0;
  // The Device Manager guide, which is what AUTOFIX does for devices with problems.
  virtual void showDeviceManagerGuide() = 0;
  // Back to the Diagnosis section page.
  virtual void returnToSection() = 0;
};

class Browser {
 public:
  Browser(FileSystem& fs, const SharedState& state, DialogService& dialogs, BrowserView& view, Repairs repairs);

  // Runs the analysis and shows its outcome: page 31 with the first problem loaded, or
  // page 30 when nothing was found.
  void analyse(Analysis& analysis);
  // Shows the outcome of an analysis (the second half of analyse).
  void present(Findings findings);

  void ShowProblem(QChar letter);
  void forward();
  void back();
  // Repairs the problem at the position shown.
  void AutoFixProblem();
  void FreeProblemDetails();
  // Abort: the lists go and the Diagnosis section comes back.
  void cancel();

  const QString& problems() const { return findings_.problems; }
  int position() const { return position_; }
  const Findings& findings() const { return findings_; }

 private:
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }
  void showLabel();

  FileSystem& fs_;
  const SharedState& state_;
  DialogService& dialogs_;
  BrowserView& view_;
  Repairs repairs_;
  Findings findings_;
  int position_ = 0;
};

}  // namespace diagnosis
}  // namespace vt
