#pragma once
// The main window: the frameless 620 x 400 form with its eight sections, the start-up
// sequence that prepares every part of the program, navigation, the options file and the
// help for the page shown.
#include "app/formloader.h"
#include "backup/backups.h"
#include "cleanup/deletionlist.h"
#include "diagnosis/osinfo.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/files.h"
#include "sysaccess/ini.h"
#include "sysaccess/options.h"
#include "sysaccess/reg.h"
#include "sysaccess/state.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QStackedWidget>
#include <QWidget>

#include <array>
#include <initializer_list>
#include <memory>
#include <utility>

class QLabel;
class QPainter;
class QPalette;
class QStackedWidget;
class TExplorerButton;
class TTarvoCheckBox;

namespace vt {

class Machine;
class HelpWindow;
namespace tuning {
struct Pending;
}
namespace cleanup {
class FileSearch;
class SearchView;
struct RegistryCleaner;
}  // namespace cleanup
namespace diagnosis {
class Browser;
class BrowserView;
}  // namespace diagnosis
namespace multimedia {
class Player;
class Screen;
class Sequence;
}  // namespace multimedia

inline constexpr const char* kProgramKey = "SOFTWARE\\Tarvo\\Vantrel";

class TForm1;

// The main window's page containers behind a section's view interface (`View` derives from
// PageView); the section's own controls are the subclass's.
template <typename View>
class FormPages : public View {
 public:
  explicit FormPages(TForm1& form) : form_(form) {}
  int currentPage() const override;
  void showPage(int page) override;
  void showStrip(int strip) override;
  void hideStrips() override;

 protected:
  TForm1& form_;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  TForm1(Machine& machine, DialogService& dialogs, EventPump& pump, int language, QWidget* parent = nullptr);
  ~TForm1() override;

  // The start-up sequence. False when the program must end at once (not Windows 95, or a
  // form description that cannot be loaded); the window is then never shown.
  bool Starten();

  // --- navigation -------------------------------------------------------------------
  void select(TExplorerButton* sender);
  void Optionen();
  void tuning();
  void CleanUp();
  void Diagnose();
  void Backup();
  void Bootmenu();
  void Logos();
  void Info();
  void ExplorerButton1Click();
  void ExplorerButton2Click();
  void ExplorerButton3Click();
  void ExplorerButton4Click();
  void ExplorerButton6Click();
  void ExplorerButton10Click();
  void ExplorerButton11Click();
  void ExplorerButton200Click();
  void Image4Click();
  // The help topic of a Notebook1 page, 0 where the page has none.
  static int helpContext(int page);

  // --- options file -----------------------------------------------------------------
  void LOAD_OPTIONS();
  bool SAVE_OPTIONS();
  void SETFLAGS();
  void Checkbox_NetzwerkClick();
  void CheckBox_REPLACEREGClick();

  // --- component walks --------------------------------------------------------------
  void SwitchToEnglish();
  void AssignButtonBitmaps();
  void ReadAllSwitches();
  void WriteAllSwitches();

  // --- tuning (switches, apply, automatic tuning, boot menu) --------------------------
  // Gives every switch box its handler; runs before the first ReadAllSwitches.
  void BindTuning();
  // The switch handlers. Mode 0 reads the system state into the box, mode 1 writes the
  // box's state to the system, any other mode does nothing.
  void CheckBox_IconsDragDrop(int mode);
  void Checkbox_noAnimDragDrop(int mode);
  void CheckBox_SmoothFontsDragDrop(int mode);
  void Checkbox_DragFullWindowsDragDrop(int mode);
  void CheckBox_PIFDragDrop(int mode);
  void CheckBox_LNKDragDrop(int mode);
  void Checkbox_BMPDragDrop(int mode);
  void Checkbox_StartBannerDragDrop(int mode);
  void CheckBox_DblSpaceDragDrop(int mode);
  void Checkbox_DrvSpaceDragDrop(int mode);
  void CheckBox_LoadTopDragDrop(int mode);
  void Checkbox_RemovableIDEDragDrop(int mode);
  void CheckBox_DoubleBufferDragDrop(int mode);
  void CheckBox_AutostartDragDrop(int mode);
  void CheckBox_linkDragDrop(int mode);
  void CheckBox_SystemsteuerungDragDrop(int mode);
  void CheckBox_DruckerDragDrop(int mode);
  void Checkbox_SchnellansichtDragDrop(int mode);
  void Checkbox_LocalLoadHighDragDrop(int mode);
  void CheckBox_ShowBootMenuDragDrop(int mode);
  void checkBox_oldDOSDragDrop(int mode);
  void CheckBox_NetworkDragDrop(int mode);
  void CheckBox_LogoDragDrop(int mode);
  // The value labels follow their up-downs in mode 0; mode 1 does nothing.
  void Label_MenuShowDelayDragDrop(int mode);
  void Label_BootmenuDelayDragDrop(int mode);
  void Label_BootDelayDragDrop(int mode);
  void UpDown_MenuShowDelayClick();
  void UpDown_BootMenuDelayClick();
  void UpDown_BootDelayClick();
  // The boot delays, the menu delay and the user fields, as start-up reads them.
  void ReadBootDelays();
  void ReadMenuShowDelay();
  void ReadUserFields();
  void Knopf8Click();
  void ApplyChanges();
  void ExplorerButton9Click();
  void AutoTune();
  void ExplorerButton22Click();

 private:
  void runTuningSwitch(const char* box, int mode);
  // What the tuning, boot-menu and logo pages show, for the apply.
  tuning::Pending pendingTuning() const;

 public:
  // --- boot logos -------------------------------------------------------------------
  void Logo_1DragDrop();
  void Logo_2DragDrop();
  void Logo_3DragDrop();
  void Logo_Click(int panel);  // 1, 2 or 3
  // Writes every panel the user put a new picture into, in panel order; false at the first
  // that could not be written, leaving the later ones unwritten.
  bool SaveChangedLogos();
  const std::array<unsigned char, 3>& logoChanged() const { return logoChanged_; }
  QString logoPath(int panel) const;

  // --- backup, restore and the rescue disk ---------------------------------------------
  // Hands the store its directories and fills the list of sets (start-up).
  void PrepareBackups();
  // The first start saves the whole system once; until that worked, every start tries again.
  void FirstStartBackup();
  void ExplorerButton13Click();
  void ExplorerButton15Click();
  void ExplorerButton16Click();
  void ExplorerButton17Click();
  void ExplorerButton18Click();
  void ExplorerButton19Click();
  void ExplorerButton21Click();
  void Knopf_Start_BootdiskClick();
  void Knopf_Abbruch_bootdiskClick();
  void FillBackupList();
  void AddBackupListEntry(const QString& descriptionPath);
  bool SelectBackupForRestore();
  void LoadBackupComponents(const QString& descriptionPath);
  void DeleteBackupSet();
  void RestoreBackupSet();
  void CreateRescueDisk();
  // What the clean-up and diagnosis sections call before they change anything.
  bool AutoBackup(int kind);
  backup::Backups& backups() { return backups_; }

 private:
  // The description path of the set selected in ListView1, empty when none is.
  QString selectedBackupSet() const;
  backup::Choice backupChoice() const;

 public:

  // --- multimedia test and the launchers of the Diagnosis start page ----------------
  // Hands the test its controls and player; start-up, after the options file.
  void PrepareMultimedia();
  void Knopf_MultimediaClick();
  void ExplorerButton25Click();
  void ExplorerButton31Click();
  void Button_STOPClick();
  void MediaPlayer1Notify();
  void ExplorerButton32Click();
  void ExplorerButton24Click();
  void MM_CheckClick();
  void ShowProblemSection(QChar letter);
  void ExplorerButton8Click();
  void ExplorerButton23Click();
  void ExplorerButton26Click();
  void ExplorerButton27Click();
  // The Device-Manager guide; also the repair of "devices with problems" in the diagnosis.
  void Knopf_ManagerClick();
  void ExplorerButton34Click();
  void ExplorerButton12Click();
  multimedia::Player* MediaPlayer1() const { return mediaPlayer_.get(); }
  multimedia::Sequence* multimediaTest() const { return multimedia_.get(); }

  // --- diagnosis: analysis, problem browser, AUTOFIX ---------------------------------
  // Hands the browser its controls and repairs; start-up, after the multimedia test.
  void PrepareDiagnosis();
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

  // --- clean-up: the file search, the deletion list, the optimisers -----------------
  // Hands the search its working page and the list its handlers; start-up.
  void PrepareCleanUp();
  void Knopf_Starten1Click();
  void Knopf_Abbrechen1Click();
  void FindUselessFiles();
  void AddFoundFile(const QString& path, qint64 size);
  void CheckWin3Programs();
  bool IsOrphanedShortcut(const QString& path);
  void ExplorerButton7Click();
  void DeleteMarkedFiles();
  // Shows the filled list with every entry marked, and the Delete/Abort strip.
  void ShowDeletionList();
  void Knopf_TipsClick();
  void Knopf_UninstallClick();
  void Knopf_DateiformateClick();
  void DeleteWindowsTips();
  void ScanUninstallEntries();
  void RemoveUninstallEntries();
  void ScanFileTypes();
  void RemoveFileTypes();
  cleanup::DeletionList& deletionList() { return deletionList_; }
  cleanup::FileSearch& fileSearch() { return *fileSearch_; }
  void Knopf_WINiniClick();
  void Knopf_StartdateienClick();
  void OptimizeWinIni();
  void OptimizeStartFiles();

  // --- diagnosis: the system report ----------------------------------------------------
  void PrepareReport();
  void Knopf_ReportClick();
  void Create_Report();
  // Draws one drive item: its icon (of removable, fixed, CD-ROM, network) and three lines.
  static void ListBox_DrivesDrawItem(QPainter* painter, const QRect& rect, const QString& itemText,
                                     const QPalette& palette, const QList<QImage>& icons);
  void ExplorerButton14Click();
  void ExplorerButton5Click();
  void ExplorerButton30Click();
  void pageReport(int step);

  // --- end --------------------------------------------------------------------------
  void ProgEnde();

  // State other sections read.
  SharedState& state() { return state_; }
  const OptionFlags& flags() const { return flags_; }
  const Form& form() const { return form_; }
  const TOSInfo& OSInfo1() const { return osInfo_; }
  const QString& programDirectory() const { return programDirectory_; }
  int currentSection() const { return currentSection_; }
  int deletionListKind() const { return int(deletionList_.kind); }
  QStackedWidget* Notebook1() const { return notebook1_; }
  QStackedWidget* Notebook2() const { return notebook2_; }
  Machine& machine() { return machine_; }

 signals:
  // The program should end (the close image, or a fatal start-up condition).
  void terminateRequested();

 protected:
  bool event(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  // Closed from outside (a window manager, the session ending): end as the close image does.
  void closeEvent(QCloseEvent* e) override;

 private:
  template <typename T>
  T* get(const char* name) const { return form_.get<T>(QString::fromLatin1(name)); }
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
  void showSubSection(int page, TExplorerButton* own, std::initializer_list<const char*> group);
  void useSixteenColours();
  void installDataFiles();
  QList<TTarvoCheckBox*> optionBoxes() const;
  // Connects each named button's click to its handler; names the form lacks are passed over.
  void connectClicks(std::initializer_list<std::pair<const char*, void (TForm1::*)()>> handlers);
  cleanup::RegistryCleaner registryCleaner();

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
  cleanup::DeletionList deletionList_;
  std::unique_ptr<cleanup::SearchView> searchView_;
  std::unique_ptr<cleanup::FileSearch> fileSearch_;
  QString windowsDirectory_, systemDirectory_, fontsDirectory_, programDirectory_;
  std::array<unsigned char, 3> logoChanged_{};
  std::unique_ptr<HelpWindow> help_;
  std::unique_ptr<multimedia::Screen> multimediaScreen_;
  std::unique_ptr<multimedia::Player> mediaPlayer_;
  std::unique_ptr<multimedia::Sequence> multimedia_;
  std::unique_ptr<diagnosis::BrowserView> diagnosisScreen_;
  std::unique_ptr<diagnosis::Browser> problemBrowser_;
  QPoint dragOffset_;
  bool dragging_ = false;
  bool ending_ = false;
};

template <typename View>
int FormPages<View>::currentPage() const {
  return form_.Notebook1() ? form_.Notebook1()->currentIndex() : -1;
}
template <typename View>
void FormPages<View>::showPage(int page) {
  if (form_.Notebook1()) form_.Notebook1()->setCurrentIndex(page);
}
template <typename View>
void FormPages<View>::showStrip(int strip) {
  if (!form_.Notebook2()) return;
  form_.Notebook2()->setCurrentIndex(strip);
  form_.Notebook2()->setVisible(true);
}
template <typename View>
void FormPages<View>::hideStrips() {
  if (form_.Notebook2()) form_.Notebook2()->setVisible(false);
}

}  // namespace vt
