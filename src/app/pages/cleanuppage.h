// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The clean-up pages: the buttons hand their step to the widget-free clean-up logic, which
// makes the automatic backup and tells the user the outcome; these handlers only move
// between the pages and carry the list's marks.
#include "app/pages/page.h"
#include "cleanup/deletionlist.h"

#include <memory>
#include <span>

namespace vt {

namespace cleanup {
class FileSearch;
class SearchView;
struct RegistryCleaner;
}  // namespace cleanup

class CleanupPage : public Page {
 public:
  explicit CleanupPage(const PageContext& c);
  ~CleanupPage();

  // Hands the search its working page and binds the pages' buttons; start-up.
  void PrepareCleanUp();
  static std::span<const Click<CleanupPage>> clicks();

  // The sub-pages: files, registry, optimisers; and the return from the deletion list.
  void ExplorerButton6Click();
  void ExplorerButton10Click();
  void ExplorerButton11Click();
  void ExplorerButton200Click();

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
  void Knopf_WINiniClick();
  void Knopf_StartdateienClick();
  void OptimizeWinIni();
  void OptimizeStartFiles();

  cleanup::DeletionList& deletionList() { return deletionList_; }
  cleanup::FileSearch& fileSearch() { return *fileSearch_; }

 private:
  cleanup::RegistryCleaner registryCleaner();

  cleanup::DeletionList deletionList_;
  std::unique_ptr<cleanup::SearchView> searchView_;
  std::unique_ptr<cleanup::FileSearch> fileSearch_;
};

}  // namespace vt
