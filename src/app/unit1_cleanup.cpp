// The clean-up pages of the main window: the buttons hand their step to the widget-free
// clean-up logic, which makes the automatic backup and tells the user the outcome; these
// handlers only move between the pages and carry the list's marks.
#include "app/controls/explbtn.h"
#include "app/controls/tarvocheckbox.h"
#include "app/unit1.h"
#include "cleanup/filesearch.h"
#include "cleanup/optimisers.h"
#include "cleanup/registryclean.h"
#include "platform/machine.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QStackedWidget>

namespace vt {

namespace {

constexpr int kWorkingPage = 15, kListPage = 17, kRegistryPage = 8, kFileTypesWorkPage = 36, kDeleteStrip = 3;

// The working page: status, drive, the folder bar and the four counters.
class WorkingPage : public cleanup::SearchView {
 public:
  explicit WorkingPage(const Form& form)
      : status_(form.get<QLabel>(QStringLiteral("Label_Status1"))),
        drive_(form.get<QLabel>(QStringLiteral("Label_Status2"))),
        bar_(form.get<QProgressBar>(QStringLiteral("ProgressBar1"))),
        folders_(form.get<QLabel>(QStringLiteral("Label100"))),
        found_(form.get<QLabel>(QStringLiteral("Label102"))),
        bytes_(form.get<QLabel>(QStringLiteral("Label103"))),
        real_(form.get<QLabel>(QStringLiteral("Label97"))) {}

  void showStatus(const QString& text) override {
    if (!status_) return;
    status_->setText(text);
    status_->repaint();
  }
  void showDrive(const QString& root) override {
    if (drive_) drive_->setText(root);
  }
  void showProgress(int position, int maximum) override {
    if (bar_) {
      bar_->setMaximum(std::max(maximum, 1));
      bar_->setValue(std::min(position, bar_->maximum()));
    }
    if (folders_) folders_->setText(QStringLiteral("%1 / %2").arg(position).arg(maximum));
  }
  void showCounters(const cleanup::SearchCounters& c) override {
    if (found_) found_->setText(QString::number(c.filesFound));
    if (bytes_) bytes_->setText(QString::number(c.bytesSaved));
    if (real_) real_->setText(QString::number(c.bytesReallySaved));
  }

 private:
  QLabel *status_, *drive_;
  QProgressBar* bar_;
  QLabel *folders_, *found_, *bytes_, *real_;
};

}  // namespace

void TForm1::PrepareCleanUp() {
  searchView_ = std::make_unique<WorkingPage>(form_);
  fileSearch_ = std::make_unique<cleanup::FileSearch>(machine_.files(), files_, state_, pump_, flags_, windowsDirectory_,
                                                      deletionList_, searchView_.get());
  connectClicks({
      {"Knopf_Starten1", &TForm1::Knopf_Starten1Click},
      {"Knopf_Abbrechen1", &TForm1::Knopf_Abbrechen1Click},
      {"ExplorerButton7", &TForm1::ExplorerButton7Click},
      {"Knopf_Tips", &TForm1::Knopf_TipsClick},
      {"Knopf_Uninstall", &TForm1::Knopf_UninstallClick},
      {"Knopf_Dateiformate", &TForm1::Knopf_DateiformateClick},
      {"Knopf_WINini", &TForm1::Knopf_WINiniClick},
      {"Knopf_Startdateien", &TForm1::Knopf_StartdateienClick},
  });
}

// --- the file search ---------------------------------------------------------------------

void TForm1::Knopf_Starten1Click() { FindUselessFiles(); }
void TForm1::Knopf_Abbrechen1Click() { state_.cancel = 1; }
void TForm1::AddFoundFile(const QString& path, qint64 size) { fileSearch_->AddFoundFile(path, size); }
void TForm1::CheckWin3Programs() { fileSearch_->CheckWin3Programs(); }
bool TForm1::IsOrphanedShortcut(const QString& path) { return fileSearch_->IsOrphanedShortcut(path); }

void TForm1::FindUselessFiles() {
  const auto ticked = [this](const char* name) {
    auto* box = get<TTarvoCheckBox>(name);
    return box && box->isChecked();
  };
  cleanup::SearchKinds kinds;
  kinds.mscreateDir = ticked("Checkbox_MSCREATE");
  kinds.temp = ticked("Checkbox_TEMP");
  kinds.gid = ticked("Checkbox_GID");
  kinds.shortcuts = ticked("Checkbox_Shortcuts");
  kinds.win3 = ticked("Checkbox_Win3x");
  if (!kinds.any()) {
    dialogs_.warning(text("Wonach wollen Sie denn suchen? Sie müssen mind. 1 Element markieren!",
                          "Please specify what you want to me to search for!"));
    return;
  }
  SETFLAGS();
  if (notebook1_) notebook1_->setCurrentIndex(kWorkingPage);
  if (notebook2_) notebook2_->setVisible(false);
  if (auto* list = get<QListWidget>("ListBox_Files")) {
    list->clear();
    list->setSortingEnabled(false);
  }
  if (notebook1_) notebook1_->repaint();

  switch (fileSearch_->run(kinds)) {
    case cleanup::SearchOutcome::Found: ShowDeletionList(); break;
    case cleanup::SearchOutcome::NothingFound:
      dialogs_.information(text("Es wurden keine Dateien gefunden, die den Suchparametern entsprechen!",
                                "No files found with specified search-parameters!"));
      CleanUp();
      break;
    case cleanup::SearchOutcome::Cancelled:
      // Closing the window cancels too; then there is nobody left to tell.
      if (ending_) {
        state_.busy = state_.cancel = 0;
        break;
      }
      files_.ReportUserAbort();
      CleanUp();
      break;
  }
}

// --- the deletion list -----------------------------------------------------------------

void TForm1::ShowDeletionList() {
  if (auto* list = get<QListWidget>("ListBox_Files")) {
    list->clear();
    list->setSortingEnabled(false);
    for (int i = 0; i < deletionList_.size(); ++i) {
      auto* item = new QListWidgetItem(deletionList_.entries[i], list);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(deletionList_.marked[size_t(i)] ? Qt::Checked : Qt::Unchecked);
    }
  }
  if (notebook1_) notebook1_->setCurrentIndex(kListPage);
  if (notebook2_) {
    notebook2_->setCurrentIndex(kDeleteStrip);
    notebook2_->setVisible(true);
  }
}

void TForm1::ExplorerButton7Click() {
  if (auto* list = get<QListWidget>("ListBox_Files"))
    for (int i = 0; i < list->count() && i < deletionList_.size(); ++i)
      deletionList_.marked[size_t(i)] = list->item(i)->checkState() == Qt::Checked;
  if (!deletionList_.anyMarked()) {
    dialogs_.warning(text("Sie müssen mind. 1 Element markieren!", "You have to mark at least one element!"));
    return;
  }
  switch (deletionList_.kind) {
    case cleanup::ListKind::Uninstall: RemoveUninstallEntries(); break;
    case cleanup::ListKind::Files: DeleteMarkedFiles(); break;
    case cleanup::ListKind::FileTypes: RemoveFileTypes(); break;
    case cleanup::ListKind::None: break;
  }
  deletionList_.kind = cleanup::ListKind::None;
  CleanUp();
}

void TForm1::DeleteMarkedFiles() {
  const QStringList left = cleanup::DeleteMarkedFiles(machine_.files(), files_, deletionList_, flags_.recycle);
  if (left.isEmpty()) return;
  // Files in use, folders, files on a write-protected medium: the user should know which stayed.
  const QStringList shown = left.mid(0, 10);
  dialogs_.warning(text("Folgende Dateien konnten nicht entfernt werden:\r", "The following files could not be removed:\r") +
                   shown.join(QLatin1Char('\r')) + (left.size() > shown.size() ? QStringLiteral("\r...") : QString()));
}

// --- the registry clean-ups --------------------------------------------------------------

cleanup::RegistryCleaner TForm1::registryCleaner() { return {reg_, machine_.files(), backups_, dialogs_, state_}; }

void TForm1::Knopf_TipsClick() { DeleteWindowsTips(); }

void TForm1::Knopf_UninstallClick() {
  ScanUninstallEntries();
  if (deletionList_.size() > 0) {
    ShowDeletionList();
    return;
  }
  dialogs_.information(text("Es wurden keine verwaisten Uninstall-einträge gefunden!", "No lost Uninstall-items have been found!"));
  if (notebook1_) notebook1_->setCurrentIndex(kRegistryPage);
}

void TForm1::Knopf_DateiformateClick() {
  if (notebook1_) {
    notebook1_->setCurrentIndex(kFileTypesWorkPage);
    notebook1_->repaint();
  }
  ScanFileTypes();
  if (deletionList_.size() > 0) {
    ShowDeletionList();
    return;
  }
  dialogs_.information(text("Es wurden keine verwaisten Dateiformate in der Registry gefunden!",
                            "No lost file-formats have been found in registry!"));
  CleanUp();
}

void TForm1::DeleteWindowsTips() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::DeleteWindowsTips(c);
}

void TForm1::ScanUninstallEntries() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::ScanUninstallEntries(c, deletionList_);
}

void TForm1::RemoveUninstallEntries() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::RemoveUninstallEntries(c, deletionList_);
}

void TForm1::ScanFileTypes() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::ScanFileTypes(c, deletionList_, flags_);
}

void TForm1::RemoveFileTypes() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::RemoveFileTypes(c, deletionList_);
}

// --- the optimisers ----------------------------------------------------------------------

void TForm1::Knopf_WINiniClick() { OptimizeWinIni(); }
void TForm1::Knopf_StartdateienClick() { OptimizeStartFiles(); }

void TForm1::OptimizeWinIni() {
  cleanup::Optimiser o{machine_.files(), backups_, dialogs_, state_, windowsDirectory_};
  cleanup::OptimizeWinIni(o);
}

void TForm1::OptimizeStartFiles() {
  cleanup::Optimiser o{machine_.files(), backups_, dialogs_, state_, windowsDirectory_};
  cleanup::OptimizeStartFiles(o);
}

}  // namespace vt
