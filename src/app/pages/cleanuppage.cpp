// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/cleanuppage.h"

#include "app/controls/tarvocheckbox.h"
#include "cleanup/deletion.h"
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

constexpr Click<CleanupPage> kClicks[] = {
    {"ExplorerButton6", &CleanupPage::ExplorerButton6Click},   {"ExplorerButton10", &CleanupPage::ExplorerButton10Click},
    {"ExplorerButton11", &CleanupPage::ExplorerButton11Click}, {"ExplorerButton200", &CleanupPage::ExplorerButton200Click},
    {"Knopf_Starten1", &CleanupPage::Knopf_Starten1Click},     {"Knopf_Abbrechen1", &CleanupPage::Knopf_Abbrechen1Click},
    {"ExplorerButton7", &CleanupPage::ExplorerButton7Click},   {"Knopf_Tips", &CleanupPage::Knopf_TipsClick},
    {"Knopf_Uninstall", &CleanupPage::Knopf_UninstallClick},   {"Knopf_Dateiformate", &CleanupPage::Knopf_DateiformateClick},
    {"Knopf_WINini", &CleanupPage::Knopf_WINiniClick},         {"Knopf_Startdateien", &CleanupPage::Knopf_StartdateienClick},
};

}  // namespace

CleanupPage::CleanupPage(const PageContext& c) : Page(c) {}
CleanupPage::~CleanupPage() = default;

std::span<const Click<CleanupPage>> CleanupPage::clicks() { return kClicks; }

void CleanupPage::PrepareCleanUp() {
  searchView_ = std::make_unique<WorkingPage>(form_);
  fileSearch_ = std::make_unique<cleanup::FileSearch>(machine_.files(), files_, state_, pump_, flags_, windowsDirectory_,
                                                      deletionList_, searchView_.get());
  connectClicks<CleanupPage>(*this, kClicks);
}

// --- the sub-pages -------------------------------------------------------------------------

void CleanupPage::ExplorerButton6Click() {
  showSubSection(6, "ExplorerButton6", {"ExplorerButton6", "ExplorerButton10", "ExplorerButton11"});
}
void CleanupPage::ExplorerButton10Click() {
  showSubSection(7, "ExplorerButton10", {"ExplorerButton6", "ExplorerButton10", "ExplorerButton11"});
}
void CleanupPage::ExplorerButton11Click() {
  showSubSection(8, "ExplorerButton11", {"ExplorerButton6", "ExplorerButton10", "ExplorerButton11"});
}

void CleanupPage::ExplorerButton200Click() {
  deletionList_.kind = cleanup::ListKind::None;
  host_.CleanUp();
}

// --- the file search ---------------------------------------------------------------------

void CleanupPage::Knopf_Starten1Click() { FindUselessFiles(); }
void CleanupPage::Knopf_Abbrechen1Click() { state_.cancel = 1; }
void CleanupPage::AddFoundFile(const QString& path, qint64 size) { fileSearch_->AddFoundFile(path, size); }
void CleanupPage::CheckWin3Programs() { fileSearch_->CheckWin3Programs(); }
bool CleanupPage::IsOrphanedShortcut(const QString& path) { return fileSearch_->IsOrphanedShortcut(path); }

void CleanupPage::FindUselessFiles() {
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
  host_.SETFLAGS();
  if (notebook1()) notebook1()->setCurrentIndex(kWorkingPage);
  if (notebook2()) notebook2()->setVisible(false);
  if (auto* list = get<QListWidget>("ListBox_Files")) {
    list->clear();
    list->setSortingEnabled(false);
  }
  if (notebook1()) notebook1()->repaint();

  switch (fileSearch_->run(kinds)) {
    case cleanup::SearchOutcome::Found: ShowDeletionList(); break;
    case cleanup::SearchOutcome::NothingFound:
      dialogs_.information(text("Es wurden keine Dateien gefunden, die den Suchparametern entsprechen!",
                                "No files found with specified search-parameters!"));
      host_.CleanUp();
      break;
    case cleanup::SearchOutcome::Cancelled:
      // Closing the window cancels too; then there is nobody left to tell.
      if (host_.ending()) {
        state_.busy = state_.cancel = 0;
        break;
      }
      files_.ReportUserAbort();
      host_.CleanUp();
      break;
  }
}

// --- the deletion list -----------------------------------------------------------------

void CleanupPage::ShowDeletionList() {
  if (auto* list = get<QListWidget>("ListBox_Files")) {
    list->clear();
    list->setSortingEnabled(false);
    for (int i = 0; i < deletionList_.size(); ++i) {
      auto* item = new QListWidgetItem(deletionList_.entries[i], list);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
      item->setCheckState(deletionList_.marked[size_t(i)] ? Qt::Checked : Qt::Unchecked);
    }
  }
  if (notebook1()) notebook1()->setCurrentIndex(kListPage);
  if (notebook2()) {
    notebook2()->setCurrentIndex(kDeleteStrip);
    notebook2()->setVisible(true);
  }
}

void CleanupPage::ExplorerButton7Click() {
  if (auto* list = get<QListWidget>("ListBox_Files"))
    for (int i = 0; i < list->count() && i < deletionList_.size(); ++i)
      deletionList_.marked[size_t(i)] = list->item(i)->checkState() == Qt::Checked;
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::Deletion d{c, files_, flags_.recycle != 0};
  if (cleanup::DeleteMarked(d, deletionList_).refused) return;
  host_.CleanUp();
}

void CleanupPage::DeleteMarkedFiles() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::Deletion d{c, files_, flags_.recycle != 0};
  cleanup::RemoveMarkedFiles(d, deletionList_);
}

// --- the registry clean-ups --------------------------------------------------------------

cleanup::RegistryCleaner CleanupPage::registryCleaner() { return {reg_, machine_.files(), backups_, dialogs_, state_}; }

void CleanupPage::Knopf_TipsClick() { DeleteWindowsTips(); }

void CleanupPage::Knopf_UninstallClick() {
  ScanUninstallEntries();
  if (deletionList_.size() > 0) {
    ShowDeletionList();
    return;
  }
  dialogs_.information(
      text("Es wurden keine verwaisten Uninstall-einträge gefunden!", "No lost Uninstall-items have been found!"));
  if (notebook1()) notebook1()->setCurrentIndex(kRegistryPage);
}

void CleanupPage::Knopf_DateiformateClick() {
  if (notebook1()) {
    notebook1()->setCurrentIndex(kFileTypesWorkPage);
    notebook1()->repaint();
  }
  ScanFileTypes();
  if (deletionList_.size() > 0) {
    ShowDeletionList();
    return;
  }
  dialogs_.information(text("Es wurden keine verwaisten Dateiformate in der Registry gefunden!",
                            "No lost file-formats have been found in registry!"));
  host_.CleanUp();
}

void CleanupPage::DeleteWindowsTips() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::DeleteWindowsTips(c);
}

void CleanupPage::ScanUninstallEntries() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::ScanUninstallEntries(c, deletionList_);
}

void CleanupPage::RemoveUninstallEntries() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::RemoveUninstallEntries(c, deletionList_);
}

void CleanupPage::ScanFileTypes() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::ScanFileTypes(c, deletionList_, flags_);
}

void CleanupPage::RemoveFileTypes() {
  cleanup::RegistryCleaner c = registryCleaner();
  cleanup::RemoveFileTypes(c, deletionList_);
}

// --- the optimisers ----------------------------------------------------------------------

void CleanupPage::Knopf_WINiniClick() { OptimizeWinIni(); }
void CleanupPage::Knopf_StartdateienClick() { OptimizeStartFiles(); }

void CleanupPage::OptimizeWinIni() {
  cleanup::Optimiser o{machine_.files(), backups_, dialogs_, state_, windowsDirectory_};
  cleanup::OptimizeWinIni(o);
}

void CleanupPage::OptimizeStartFiles() {
  cleanup::Optimiser o{machine_.files(), backups_, dialogs_, state_, windowsDirectory_};
  cleanup::OptimizeStartFiles(o);
}

}  // namespace vt
