// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tuning, boot-menu and logo pages: each switch box is bound to its row of the switch
// catalogue, the value fields to their places, the logo panels to their files, and the
// apply and automatic-tuning buttons to the steps that use them.
#include "app/controls/tarvocheckbox.h"
#include "app/pages/page.h"

#include <array>
#include <span>

namespace vt {

namespace tuning {
struct Pending;
}

class TuningPage : public Page {
 public:
  explicit TuningPage(const PageContext& c) : Page(c) {}

  // Gives every switch box its handler and binds the pages' buttons; runs before the first
  // ReadAllSwitches.
  void BindTuning();
  // A switch box of the form and its handler.
  struct SwitchBinding {
    const char* box;
    void (TuningPage::*handler)(SwitchMode mode);
  };
  static std::span<const SwitchBinding> switches();
  static std::span<const Click<TuningPage>> clicks();

  // The sub-pages: switches, Explorer, system, start-up.
  void ExplorerButton1Click();
  void ExplorerButton2Click();
  void ExplorerButton3Click();
  void ExplorerButton4Click();

  // The switch handlers. Mode 0 reads the system state into the box, mode 1 writes the
  // box's state to the system, any other mode does nothing.
  void CheckBox_IconsDragDrop(SwitchMode mode);
  void Checkbox_noAnimDragDrop(SwitchMode mode);
  void CheckBox_SmoothFontsDragDrop(SwitchMode mode);
  void Checkbox_DragFullWindowsDragDrop(SwitchMode mode);
  void CheckBox_PIFDragDrop(SwitchMode mode);
  void CheckBox_LNKDragDrop(SwitchMode mode);
  void Checkbox_BMPDragDrop(SwitchMode mode);
  void Checkbox_StartBannerDragDrop(SwitchMode mode);
  void CheckBox_DblSpaceDragDrop(SwitchMode mode);
  void Checkbox_DrvSpaceDragDrop(SwitchMode mode);
  void CheckBox_LoadTopDragDrop(SwitchMode mode);
  void Checkbox_RemovableIDEDragDrop(SwitchMode mode);
  void CheckBox_DoubleBufferDragDrop(SwitchMode mode);
  void CheckBox_AutostartDragDrop(SwitchMode mode);
  void CheckBox_linkDragDrop(SwitchMode mode);
  void CheckBox_SystemsteuerungDragDrop(SwitchMode mode);
  void CheckBox_DruckerDragDrop(SwitchMode mode);
  void Checkbox_SchnellansichtDragDrop(SwitchMode mode);
  void Checkbox_LocalLoadHighDragDrop(SwitchMode mode);
  void CheckBox_ShowBootMenuDragDrop(SwitchMode mode);
  void checkBox_oldDOSDragDrop(SwitchMode mode);
  void CheckBox_NetworkDragDrop(SwitchMode mode);
  void CheckBox_LogoDragDrop(SwitchMode mode);
  // The value labels follow their up-downs in mode 0; mode 1 does nothing.
  void Label_MenuShowDelayDragDrop(SwitchMode mode);
  void Label_BootmenuDelayDragDrop(SwitchMode mode);
  void Label_BootDelayDragDrop(SwitchMode mode);
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

  // --- boot logos -------------------------------------------------------------------
  // The three panels from their files, none changed yet (start-up).
  void ReadLogos();
  void Logo_1DragDrop();
  void Logo_2DragDrop();
  void Logo_3DragDrop();
  void Logo_Click(int panel);  // 1, 2 or 3
  // Writes every panel the user put a new picture into, in panel order; false at the first
  // that could not be written, leaving the later ones unwritten.
  bool SaveChangedLogos();
  const std::array<unsigned char, 3>& logoChanged() const { return logoChanged_; }
  QString logoPath(int panel) const;

 private:
  void runTuningSwitch(const char* box, SwitchMode mode);
  void loadLogoPanel(int panel);
  // What the tuning, boot-menu and logo pages show, for the apply.
  tuning::Pending pendingTuning() const;

  std::array<unsigned char, 3> logoChanged_{};
};

}  // namespace vt
