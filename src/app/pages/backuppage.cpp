// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/backuppage.h"

#include "app/controls/tarvocheckbox.h"
#include "platform/machine.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTreeWidget>

namespace vt {

namespace {

constexpr int kListPage = 18, kCreatePage = 21, kRestorePage = 22, kDiskPage = 23, kDiskWorkPage = 24;
constexpr int kCreateStrip = 4, kRestoreStrip = 6;
constexpr int kPathColumn = 2;

// The "c" date-time format: the user's short date, then the long time (without a zone).
QString shortDateLongTime(const QDateTime& t) {
  const QLocale locale;
  QString time = locale.timeFormat(QLocale::LongFormat);
  time.remove(QLatin1Char('t'));
  return locale.toString(t.date(), QLocale::ShortFormat) + QLatin1Char(' ') + t.time().toString(time.trimmed());
}

constexpr Click<BackupPage> kClicks[] = {
    {"ExplorerButton13", &BackupPage::ExplorerButton13Click},
    {"ExplorerButton15", &BackupPage::ExplorerButton15Click},
    {"ExplorerButton16", &BackupPage::ExplorerButton16Click},
    {"ExplorerButton17", &BackupPage::ExplorerButton17Click},
    {"ExplorerButton18", &BackupPage::ExplorerButton18Click},
    {"ExplorerButton19", &BackupPage::ExplorerButton19Click},
    {"ExplorerButton20", &BackupPage::ExplorerButton13Click},
    {"ExplorerButton21", &BackupPage::ExplorerButton21Click},
    {"Knopf_Start_Bootdisk", &BackupPage::Knopf_Start_BootdiskClick},
    {"Knopf_Abbruch_bootdisk", &BackupPage::Knopf_Abbruch_bootdiskClick},
};

}  // namespace

std::span<const Click<BackupPage>> BackupPage::clicks() { return kClicks; }

void BackupPage::PrepareBackups() {
  backups_.setDirectories(programDirectory_, windowsDirectory_, systemDirectory_);
  backups_.onSetsChanged = [this] { FillBackupList(); };
  if (auto* list = get<QTreeWidget>("ListView1")) {
    list->setColumnCount(3);
    list->setColumnHidden(kPathColumn, true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->sortByColumn(0, Qt::AscendingOrder);
    list->setSortingEnabled(true);
  }
  connectClicks<BackupPage>(*this, kClicks);
  FillBackupList();
}

void BackupPage::FirstStartBackup() {
  const QString key = QString::fromLatin1(kProgramKey);
  if (reg_.ReadRegString(HKEY_LOCAL_MACHINE, key, u"Start") != QLatin1String("0")) return;
  dialogs_.information(
      text("Sie starten Vantrel zum ersten Mal.\rEs wird nun ein Backup Ihres Systems angelegt.\r"
           "Dies dauert ca. 1-2 Minuten.",
           "This is the first time you start VTR.\rVTR will now create a backup of your System.\r"
           "This takes 1-2 minutes."));
  if (AutoBackup(backup::AutoFirstStart))
    reg_.WriteRegString(HKEY_LOCAL_MACHINE, key, u"Start", u"1");
  else
    dialogs_.warning(text("Schwerer Fehler: Konnte kein Backup anfertigen!", "Fatal error: Unable to create backup!"));
  backups_.SaveLastState();
  backups_.SaveSystemDlls();
}

bool BackupPage::AutoBackup(int kind) {
  auto* edit = get<QLineEdit>("Edit_BACKUP");
  return backups_.AutoBackup(kind, edit ? edit->text() : QString());
}

backup::Choice BackupPage::backupChoice() const {
  backup::Choice choice;
  for (int i = 0; i < backup::kComponentCount; ++i)
    if (auto* box = form_.get<TTarvoCheckBox>(QStringLiteral("TarvoCheckBox%1").arg(i + 1)))
      choice.components[size_t(i)] = box->isChecked();
  if (auto* edit = get<QLineEdit>("Edit_BACKUP")) choice.description = edit->text();
  return choice;
}

void BackupPage::ExplorerButton13Click() { host_.Backup(); }

void BackupPage::ExplorerButton15Click() {
  backup::Choice choice = backupChoice();
  backups_.CreateBackupSet(choice);
  if (auto* edit = get<QLineEdit>("Edit_BACKUP")) edit->setText(choice.description);
  FillBackupList();
  host_.Backup();
}

void BackupPage::ExplorerButton16Click() {
  backups_.setSilent(false);
  if (!notebook1() || !notebook2()) return;
  notebook1()->setCurrentIndex(kCreatePage);
  notebook2()->setCurrentIndex(kCreateStrip);
  notebook2()->setVisible(true);
}

void BackupPage::ExplorerButton17Click() {
  if (!SelectBackupForRestore() || !notebook1() || !notebook2()) return;
  notebook1()->setCurrentIndex(kRestorePage);
  notebook2()->setCurrentIndex(kRestoreStrip);
  notebook2()->setVisible(true);
}

void BackupPage::ExplorerButton18Click() { DeleteBackupSet(); }

void BackupPage::ExplorerButton19Click() {
  if (notebook1()) notebook1()->setCurrentIndex(kDiskPage);
  if (notebook2()) notebook2()->setVisible(false);
}

void BackupPage::ExplorerButton21Click() {
  RestoreBackupSet();
  host_.Backup();
}

void BackupPage::Knopf_Abbruch_bootdiskClick() { host_.Backup(); }

void BackupPage::Knopf_Start_BootdiskClick() {
  if (notebook1()) notebook1()->setCurrentIndex(kDiskWorkPage);
  if (notebook2()) notebook2()->setVisible(false);
  state_.cancel = 0;
  CreateRescueDisk();
  while (!state_.cancel) pump_.processPendingEvents();
  state_.cancel = 0;
  host_.Backup();
}

void BackupPage::FillBackupList() {
  auto* list = get<QTreeWidget>("ListView1");
  if (!list) return;
  list->clear();
  for (const backup::SetEntry& set : backups_.ListSets()) AddBackupListEntry(set.descriptionPath);
}

void BackupPage::AddBackupListEntry(const QString& descriptionPath) {
  auto* list = get<QTreeWidget>("ListView1");
  if (!list) return;
  const backup::SetEntry set = backups_.describeSet(descriptionPath);
  new QTreeWidgetItem(list, {shortDateLongTime(set.modified), set.name, set.descriptionPath});
}

QString BackupPage::selectedBackupSet() const {
  auto* list = get<QTreeWidget>("ListView1");
  const QList<QTreeWidgetItem*> selected = list ? list->selectedItems() : QList<QTreeWidgetItem*>();
  return selected.isEmpty() ? QString() : selected.first()->text(kPathColumn);
}

bool BackupPage::SelectBackupForRestore() {
  const QString set = selectedBackupSet();
  if (set.isEmpty()) {
    dialogs_.information(text("Sie haben doch gar keinen\rBackup-Satz ausgewählt!", "You did not selected a\rBackup-Set."));
    return false;
  }
  LoadBackupComponents(set);
  return true;
}

void BackupPage::LoadBackupComponents(const QString& descriptionPath) {
  const backup::Components held = backups_.LoadBackupComponents(descriptionPath);
  // What the set does not hold cannot be chosen; the user can only leave things out.
  for (int i = 0; i < backup::kComponentCount; ++i)
    if (auto* box = form_.get<TTarvoCheckBox>(QStringLiteral("TarvoCheckBox%1").arg(i + 7))) {
      box->setChecked(held[size_t(i)]);
      box->setGrayed(!held[size_t(i)]);
    }
}

void BackupPage::DeleteBackupSet() {
  const QString set = selectedBackupSet();
  if (set.isEmpty()) {
    dialogs_.information(text("Sie haben doch gar keinen\rBackup-Satz ausgewählt!", "You did not selected a\rBackup-Set."));
    return;
  }
  if (!dialogs_.confirm(text("Sind Sie sicher,daß Sie diesen\rBackup-Satz löschen wollen?",
                             "Are you sure you want to\rdelete this Backup-Set?")))
    return;
  if (!backups_.DeleteBackupSet(set)) dialogs_.warning(backups_.deletionFailedText());
}

void BackupPage::RestoreBackupSet() {
  const QString set = selectedBackupSet();
  if (set.isEmpty()) return;
  backup::Components chosen{};
  for (int i = 0; i < backup::kComponentCount; ++i)
    if (auto* box = form_.get<TTarvoCheckBox>(QStringLiteral("TarvoCheckBox%1").arg(i + 7)))
      chosen[size_t(i)] = box->isChecked() && !box->isGrayed();
  backups_.RestoreBackupSet(set, chosen, flags_.replaceRegistry);
}

void BackupPage::CreateRescueDisk() {
  auto* label = get<QLabel>("Label_Status_Bootdisk");
  auto* bar = get<QProgressBar>("ProgressBar_Bootdisk");
  backup::RescueProgress progress;
  progress.status = [label](const QString& s) {
    if (!label) return;
    label->setText(s);
    label->repaint();
  };
  progress.position = [bar](int p) {
    if (bar) bar->setValue(p);
  };
  backups_.CreateRescueDisk(progress);
  state_.cancel = 1;
}

}  // namespace vt
