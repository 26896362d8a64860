// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The machine part of the Info page: which machine the window works on (its folder, or
// the disk image it came from), the choice of another one (the machines opened last, a
// folder, a disk image), and writing the changes of a machine from a disk image back into
// the image. Choosing another machine asks the window to start again on it.
#include "app/machinechoice.h"
#include "app/pages/page.h"

#include <functional>
#include <span>

class QMenu;

namespace vt {

class MachinePage : public Page {
 public:
  explicit MachinePage(const PageContext& c) : Page(c) {}

  // Shows the machine and binds the page's buttons; start-up.
  void PrepareMachine(const MachineChoice& choice);
  static std::span<const Click<MachinePage>> clicks();
  void Knopf_MaschineClick();
  void Knopf_ZurueckschreibenClick();
  // The machine chosen: the window starts again on `target` (a folder or a disk image).
  void openMachine(const QString& target);
  // Before the window closes: a machine from an image whose changes were not written back
  // asks whether they should be. False when the window should stay open.
  bool mayClose();

  // Set by the window: starts it again on another machine; `refresh` imports the image
  // afresh first.
  std::function<void(const QString& target, bool refresh)> restart;
  // The menu of the last Knopf_MaschineClick, for tests to pick from.
  QMenu* menu() const { return menu_; }

 private:
  bool writeBack(bool quiet);
  void showMachine();

  MachineChoice choice_;
  QMenu* menu_ = nullptr;
  bool refreshing_ = false;
};

}  // namespace vt
