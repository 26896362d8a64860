// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The backup pages: the list of sets, the creation and restore pages and the two
// rescue-disk pages. What is saved, restored and written is the backup store's; the
// handlers only carry the pages' choices to it and show what comes back.
#include "app/pages/page.h"

#include <span>

namespace vt {

class BackupPage : public Page {
 public:
  explicit BackupPage(const PageContext& c) : Page(c) {}

  // Hands the store its directories, binds the pages' buttons and fills the list of sets
  // (start-up).
  void PrepareBackups();
  static std::span<const Click<BackupPage>> clicks();
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
  // The automatic backup of that kind, described by the page's description field.
  bool AutoBackup(int kind);

 private:
  // The description path of the set selected in ListView1, empty when none is.
  QString selectedBackupSet() const;
  backup::Choice backupChoice() const;
};

}  // namespace vt
