// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the frameless 620 x 400 form with its eight sections, the start-up
// sequence that prepares every part of the program, navigation, the options file and the
// help for the page shown. Each section's objects and handlers are its page's (app/pages/);
// the window holds the six pages and hands them the machine, the form and the shared state.
#include "app/formloader.h"
#include "app/machinechoice.h"
#include "app/pages/page.h"

#include <QPoint>
#include <QStackedWidget>
#include <QWidget>

#include <memory>
#include <span>

class QLabel;
class TExplorerButton;
class TTarvoCheckBox;

namespace vt {

class Machine;
class HelpWindow;
class TuningPage;
class CleanupPage;
class DiagnosisPage;
class ReportPage;
class BackupPage;
class MultimediaPage;
class MachinePage;

class TForm1 : public QWidget, public PageHost {
  Q_OBJECT

 public:
  TForm1(Machine& machine, DialogService& dialogs, EventPump& pump, int language, QWidget* parent = nullptr);
  ~TForm1() override;

  // Which machine the window works on, for the Info page; before Starten.
  void setMachineChoice(const MachineChoice& choice) { choice_ = choice; }
  // The start-up sequence. False when the program must end at once (not Windows 95, or a
  // form description that cannot be loaded); the window is then never shown.
  bool Starten();
  // The controls, built from the form description, which needs nothing of the machine: the
  // window builds them while the machine's registry is still being read. Starten builds
  // them when this has not been called.
  bool buildForm();

  // --- navigation -------------------------------------------------------------------
  void select(TExplorerButton* sender);
  void Optionen();
  void tuning();
  void CleanUp() override;
  void Diagnose() override;
  void Backup() override;
  void Bootmenu();
  void Logos();
  void Info();
  void Image4Click();
  // The help topic of a Notebook1 page, 0 where the page has none.
  static int helpContext(int page);
  // The window's own buttons, which lead back to a section's start page.
  static std::span<const Click<TForm1>> clicks();

  // --- options file -----------------------------------------------------------------
  void LOAD_OPTIONS();
  bool SAVE_OPTIONS();
  void SETFLAGS() override;
  void Checkbox_NetzwerkClick();
  void CheckBox_REPLACEREGClick();

  // --- component walks --------------------------------------------------------------
  void SwitchToEnglish();
  void AssignButtonBitmaps();
  void ReadAllSwitches();
  void WriteAllSwitches();

  // --- the section pages ----------------------------------------------------------
  TuningPage& tuningPage() { return *tuningPage_; }
  CleanupPage& cleanupPage() { return *cleanupPage_; }
  DiagnosisPage& diagnosisPage() { return *diagnosisPage_; }
  ReportPage& reportPage() { return *reportPage_; }
  BackupPage& backupPage() { return *backupPage_; }
  MultimediaPage& multimediaPage() { return *multimediaPage_; }
  MachinePage& machinePage() { return *machinePage_; }

  // --- end --------------------------------------------------------------------------
  void ProgEnde();

  // State other sections read.
  SharedState& state() { return state_; }
  const OptionFlags& flags() const { return flags_; }
  const Form& form() const { return form_; }
  const TOSInfo& OSInfo1() const { return osInfo_; }
  const QString& programDirectory() const { return directories_.program; }
  int currentSection() const { return currentSection_; }
  QStackedWidget* Notebook1() const override { return notebook1_; }
  QStackedWidget* Notebook2() const override { return notebook2_; }
  bool ending() const override { return ending_; }
  void showDeviceManagerGuide() override;
  Machine& machine() { return machine_; }

 signals:
  // The program should end (the close image, or a fatal start-up condition).
  void terminateRequested();
  // The window should start again on another machine (a folder or a disk image), after
  // importing the image afresh when `refresh` is set.
  void restartRequested(const QString& target, bool refresh);

 protected:
  bool event(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  // Closed from outside (a window manager, the session ending): end as the close image does.
  void closeEvent(QCloseEvent* e) override;

 private:
  template <typename T>
  T* get(const char* name) const {
    return form_.get<T>(QString::fromLatin1(name));
  }
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }
  TExplorerButton* sectionButton(int index) const;
  // The steps of the start-up sequence.
  bool loadFormDescription();
  void resetSharedState();
  void ensureProgramKey();
  bool runsOnWindows95();
  void useEnglishTexts();
  void sharePageBackgrounds();
  void connectHandlers();
  void showSection(int page, int strip);
  void useSixteenColours();
  void installDataFiles();
  QList<TTarvoCheckBox*> optionBoxes() const;

  Machine& machine_;
  DialogService& dialogs_;
  EventPump& pump_;
  SharedState state_;
  int requestedLanguage_;
  TOSInfo osInfo_;
  RegAccess reg_;
  IniAccess ini_;
  FileAccess files_;
  backup::Backups backups_;
  Form form_;
  OptionFlags flags_;
  QStackedWidget* notebook1_ = nullptr;
  QStackedWidget* notebook2_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  int currentSection_ = 1;
  Directories directories_;
  PageContext context_;
  std::unique_ptr<HelpWindow> help_;
  std::unique_ptr<TuningPage> tuningPage_;
  std::unique_ptr<BackupPage> backupPage_;
  std::unique_ptr<CleanupPage> cleanupPage_;
  std::unique_ptr<MultimediaPage> multimediaPage_;
  std::unique_ptr<DiagnosisPage> diagnosisPage_;
  std::unique_ptr<ReportPage> reportPage_;
  std::unique_ptr<MachinePage> machinePage_;
  MachineChoice choice_;
  QPoint dragOffset_;
  bool dragging_ = false;
  bool ending_ = false;
  bool formBuilt_ = false;
};

}  // namespace vt
