// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pages/tuningpage.h"

#include "app/controls/tarvocheckbox.h"
#include "app/image.h"
#include "app/updown.h"
#include "platform/launcher.h"
#include "platform/machine.h"
#include "tuning/apply.h"
#include "tuning/logos.h"
#include "tuning/switches.h"

#include <QLabel>
#include <QLineEdit>

namespace vt {

namespace {

constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

tuning::System systemOf(Machine& machine, RegAccess& reg, IniAccess& ini, const TOSInfo& os) {
  return {reg, ini, machine, os.WindowsDirectory(), os.StartMenu()};
}

// Generic code reaches a switch only through its box, so the box carries the handler; the
// walks then visit the boxes in the form's creation order.
constexpr TuningPage::SwitchBinding kSwitches[] = {
    {"CheckBox_Icons", &TuningPage::CheckBox_IconsDragDrop},
    {"Checkbox_noAnim", &TuningPage::Checkbox_noAnimDragDrop},
    {"CheckBox_SmoothFonts", &TuningPage::CheckBox_SmoothFontsDragDrop},
    {"Checkbox_DragFullWindows", &TuningPage::Checkbox_DragFullWindowsDragDrop},
    {"CheckBox_PIF", &TuningPage::CheckBox_PIFDragDrop},
    {"CheckBox_LNK", &TuningPage::CheckBox_LNKDragDrop},
    {"Checkbox_BMP", &TuningPage::Checkbox_BMPDragDrop},
    {"Checkbox_StartBanner", &TuningPage::Checkbox_StartBannerDragDrop},
    {"CheckBox_DblSpace", &TuningPage::CheckBox_DblSpaceDragDrop},
    {"Checkbox_DrvSpace", &TuningPage::Checkbox_DrvSpaceDragDrop},
    {"CheckBox_LoadTop", &TuningPage::CheckBox_LoadTopDragDrop},
    {"Checkbox_RemovableIDE", &TuningPage::Checkbox_RemovableIDEDragDrop},
    {"CheckBox_DoubleBuffer", &TuningPage::CheckBox_DoubleBufferDragDrop},
    {"CheckBox_Autostart", &TuningPage::CheckBox_AutostartDragDrop},
    {"CheckBox_link", &TuningPage::CheckBox_linkDragDrop},
    {"CheckBox_Systemsteuerung", &TuningPage::CheckBox_SystemsteuerungDragDrop},
    {"CheckBox_Drucker", &TuningPage::CheckBox_DruckerDragDrop},
    {"Checkbox_Schnellansicht", &TuningPage::Checkbox_SchnellansichtDragDrop},
    {"Checkbox_LocalLoadHigh", &TuningPage::Checkbox_LocalLoadHighDragDrop},
    {"CheckBox_ShowBootMenu", &TuningPage::CheckBox_ShowBootMenuDragDrop},
    {"checkBox_oldDOS", &TuningPage::checkBox_oldDOSDragDrop},
    {"CheckBox_Network", &TuningPage::CheckBox_NetworkDragDrop},
    {"CheckBox_Logo", &TuningPage::CheckBox_LogoDragDrop},
};

constexpr Click<TuningPage> kClicks[] = {
    {"ExplorerButton1", &TuningPage::ExplorerButton1Click},
    {"ExplorerButton2", &TuningPage::ExplorerButton2Click},
    {"ExplorerButton3", &TuningPage::ExplorerButton3Click},
    {"ExplorerButton4", &TuningPage::ExplorerButton4Click},
    // Apply, automatic tuning, the defragmenter.
    {"Knopf8", &TuningPage::Knopf8Click},
    {"ExplorerButton9", &TuningPage::ExplorerButton9Click},
    {"ExplorerButton22", &TuningPage::ExplorerButton22Click},
};

}  // namespace

std::span<const TuningPage::SwitchBinding> TuningPage::switches() { return kSwitches; }
std::span<const Click<TuningPage>> TuningPage::clicks() { return kClicks; }

void TuningPage::BindTuning() {
  for (const auto& [name, handler] : kSwitches)
    if (auto* box = get<TTarvoCheckBox>(name)) box->switchHandler = [this, h = handler](SwitchMode mode) { (this->*h)(mode); };
  connectClicks<TuningPage>(*this, kClicks);
  for (int panel = 1; panel <= 3; ++panel)
    if (auto* logo = form_.get<TImage>(QStringLiteral("Logo_%1").arg(panel)))
      QObject::connect(logo, &TImage::clicked, &window_, [this, panel] { Logo_Click(panel); });
  // The labels that follow the up-downs.
  const std::pair<const char*, void (TuningPage::*)()> upDowns[] = {
      {"UpDown_MenuShowDelay", &TuningPage::UpDown_MenuShowDelayClick},
      {"UpDown_BootMenuDelay", &TuningPage::UpDown_BootMenuDelayClick},
      {"UpDown_BootDelay", &TuningPage::UpDown_BootDelayClick},
  };
  for (const auto& [name, handler] : upDowns)
    if (auto* u = get<TUpDown>(name))
      QObject::connect(u, &TUpDown::positionChanged, &window_, [this, h = handler] { (this->*h)(); });
}

void TuningPage::ExplorerButton1Click() {
  showSubSection(9, "ExplorerButton1", {"ExplorerButton1", "ExplorerButton2", "ExplorerButton3", "ExplorerButton4"});
}
void TuningPage::ExplorerButton2Click() {
  showSubSection(10, "ExplorerButton2", {"ExplorerButton1", "ExplorerButton2", "ExplorerButton3", "ExplorerButton4"});
}
void TuningPage::ExplorerButton3Click() {
  showSubSection(11, "ExplorerButton3", {"ExplorerButton1", "ExplorerButton2", "ExplorerButton3", "ExplorerButton4"});
}
void TuningPage::ExplorerButton4Click() {
  showSubSection(12, "ExplorerButton4", {"ExplorerButton1", "ExplorerButton2", "ExplorerButton3", "ExplorerButton4"});
}

void TuningPage::runTuningSwitch(const char* box, SwitchMode mode) {
  auto* control = get<TTarvoCheckBox>(box);
  const tuning::Switch* row = tuning::findSwitch(QString::fromLatin1(box));
  if (!control || !row) return;
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  if (mode == SwitchMode::Read)
    control->setChecked(row->read(sys));
  else if (mode == SwitchMode::Write)
    tuning::applySwitch(sys, *row, control->isChecked());
}

void TuningPage::CheckBox_IconsDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_Icons", mode); }
void TuningPage::Checkbox_noAnimDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_noAnim", mode); }
void TuningPage::CheckBox_SmoothFontsDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_SmoothFonts", mode); }
void TuningPage::Checkbox_DragFullWindowsDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_DragFullWindows", mode); }
void TuningPage::CheckBox_PIFDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_PIF", mode); }
void TuningPage::CheckBox_LNKDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_LNK", mode); }
void TuningPage::Checkbox_BMPDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_BMP", mode); }
void TuningPage::Checkbox_StartBannerDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_StartBanner", mode); }
void TuningPage::CheckBox_DblSpaceDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_DblSpace", mode); }
void TuningPage::Checkbox_DrvSpaceDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_DrvSpace", mode); }
void TuningPage::CheckBox_LoadTopDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_LoadTop", mode); }
void TuningPage::Checkbox_RemovableIDEDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_RemovableIDE", mode); }
void TuningPage::CheckBox_DoubleBufferDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_DoubleBuffer", mode); }
void TuningPage::CheckBox_AutostartDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_Autostart", mode); }
void TuningPage::CheckBox_linkDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_link", mode); }
void TuningPage::CheckBox_SystemsteuerungDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_Systemsteuerung", mode); }
void TuningPage::CheckBox_DruckerDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_Drucker", mode); }
void TuningPage::Checkbox_SchnellansichtDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_Schnellansicht", mode); }
void TuningPage::Checkbox_LocalLoadHighDragDrop(SwitchMode mode) { runTuningSwitch("Checkbox_LocalLoadHigh", mode); }
void TuningPage::CheckBox_ShowBootMenuDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_ShowBootMenu", mode); }
void TuningPage::checkBox_oldDOSDragDrop(SwitchMode mode) { runTuningSwitch("checkBox_oldDOS", mode); }
void TuningPage::CheckBox_NetworkDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_Network", mode); }
void TuningPage::CheckBox_LogoDragDrop(SwitchMode mode) { runTuningSwitch("CheckBox_Logo", mode); }

// --- value fields ---------------------------------------------------------------------------

void TuningPage::Label_MenuShowDelayDragDrop(SwitchMode mode) {
  auto* label = get<QLabel>("Label_MenuShowDelay");
  auto* upDown = get<TUpDown>("UpDown_MenuShowDelay");
  if (mode == SwitchMode::Read && label && upDown) label->setText(tuning::delayText(upDown->position(), " msec"));
}

void TuningPage::Label_BootmenuDelayDragDrop(SwitchMode mode) {
  auto* label = get<QLabel>("Label_BootmenuDelay");
  auto* upDown = get<TUpDown>("UpDown_BootMenuDelay");
  if (mode == SwitchMode::Read && label && upDown) label->setText(tuning::delayText(upDown->position(), " sec"));
}

void TuningPage::Label_BootDelayDragDrop(SwitchMode mode) {
  auto* label = get<QLabel>("Label_BootDelay");
  auto* upDown = get<TUpDown>("UpDown_BootDelay");
  if (mode == SwitchMode::Read && label && upDown) label->setText(tuning::delayText(upDown->position(), " sec"));
}

void TuningPage::UpDown_MenuShowDelayClick() { Label_MenuShowDelayDragDrop(SwitchMode::Read); }
void TuningPage::UpDown_BootMenuDelayClick() { Label_BootmenuDelayDragDrop(SwitchMode::Read); }
void TuningPage::UpDown_BootDelayClick() { Label_BootDelayDragDrop(SwitchMode::Read); }

void TuningPage::ReadBootDelays() {
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  if (auto* u = get<TUpDown>("UpDown_BootMenuDelay")) u->setPosition(tuning::readBootMenuDelay(sys));
  Label_BootmenuDelayDragDrop(SwitchMode::Read);
  if (auto* u = get<TUpDown>("UpDown_BootDelay")) u->setPosition(tuning::readBootDelay(sys));
  Label_BootDelayDragDrop(SwitchMode::Read);
}

void TuningPage::ReadMenuShowDelay() {
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  if (auto* u = get<TUpDown>("UpDown_MenuShowDelay")) u->setPosition(tuning::readMenuShowDelay(sys));
  Label_MenuShowDelayDragDrop(SwitchMode::Read);
}

void TuningPage::ReadUserFields() {
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  for (const tuning::TextField& f : tuning::textFields())
    if (auto* edit = get<QLineEdit>(f.edit)) edit->setText(tuning::readTextField(sys, f));
}

// --- apply ----------------------------------------------------------------------------------

void TuningPage::Knopf8Click() {
  // The file search keeps the window alive; it must not have the system changed under it.
  if (state_.busy) return;
  ApplyChanges();
}

void TuningPage::ApplyChanges() {
  if (!dialogs_.confirm(text("Sind Sie sicher, daß Sie alle Änderungen jetzt übernehmen wollen?",
                             "Are you sure, you wish to assign all changes now?")))
    return;
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  const std::optional<tuning::ApplyFailure> failed = tuning::applyChanges(sys, pendingTuning());
  if (!failed) return;
  // A box is named as the user reads it; the other settings by where they are kept.
  QString what = failed->what;
  if (failed->step == tuning::ApplyStep::Switch)
    if (auto* box = form_.get<TTarvoCheckBox>(failed->what)) what = box->caption().remove(QLatin1Char('&'));
  dialogs_.warning(tuning::applyFailedText(*failed, what, state_));
}

tuning::Pending TuningPage::pendingTuning() const {
  tuning::Pending p;
  for (int panel = 1; panel <= logos::kPanels; ++panel) {
    TImage* image = form_.get<TImage>(QStringLiteral("Logo_%1").arg(panel));
    if (image && logoChanged_[size_t(panel - 1)]) p.logos[size_t(panel - 1)] = image->picture();
  }
  auto position = [this](const char* name) -> std::optional<int> {
    if (auto* u = get<TUpDown>(name)) return u->position();
    return std::nullopt;
  };
  p.bootMenuDelay = position("UpDown_BootMenuDelay");
  p.bootDelay = position("UpDown_BootDelay");
  p.menuShowDelay = position("UpDown_MenuShowDelay");
  for (const tuning::TextField& f : tuning::textFields())
    if (auto* e = get<QLineEdit>(f.edit)) p.texts.insert(QLatin1String(f.edit), e->text());
  for (const tuning::Switch& row : tuning::catalogue())
    if (auto* box = get<TTarvoCheckBox>(row.box)) p.switches.insert(QLatin1String(row.box), box->isChecked());
  return p;
}

// --- automatic tuning -----------------------------------------------------------------------

void TuningPage::ExplorerButton9Click() { AutoTune(); }

void TuningPage::AutoTune() {
  if (!dialogs_.confirm(text("Sind Sie sicher, daß Vantrel jetzt tunen soll?", "Are you sure, you wish Vantrel to tune now?")))
    return;
  for (const tuning::Recommendation& r : tuning::recommendations())
    if (auto* box = get<TTarvoCheckBox>(r.box)) box->setChecked(r.checked);
  if (auto* u = get<TUpDown>("UpDown_MenuShowDelay")) u->setPosition(tuning::kRecommendedMenuDelay);
  Label_MenuShowDelayDragDrop(SwitchMode::Read);
  dialogs_.information(
      text("Automatisches Tuning beendet.\rSie müssen die Änderungen übernehmen, bevor Sie Vantrel "
           "verlassen.",
           "Automatic-tuning completed.\rYou must assign the changes before you exit Vantrel."));
}

// --- defragmenter ---------------------------------------------------------------------------

void TuningPage::ExplorerButton22Click() { winExec(machine_, QString::fromLatin1(tuning::kDefragCommand), kShowNormal); }

// --- boot logos ---------------------------------------------------------------------------

QString TuningPage::logoPath(int panel) const { return logos::path(panel, windowsDirectory_); }

void TuningPage::loadLogoPanel(int panel) {
  TImage* image = form_.get<TImage>(QStringLiteral("Logo_%1").arg(panel));
  if (!image) return;
  image->setStretch(true);
  FileSystem& fs = machine_.files();
  const QString path = logoPath(panel);
  const bool exists = fs.exists(path);
  image->setEnabled(logos::changeable(panel, exists));
  if (!exists) return;
  // A file that is no bitmap leaves its panel empty; start-up goes on.
  image->setPicture(logos::load(fs, path));
}

void TuningPage::ReadLogos() {
  logoChanged_ = {0, 0, 0};
  Logo_1DragDrop();
  Logo_2DragDrop();
  Logo_3DragDrop();
}

void TuningPage::Logo_1DragDrop() { loadLogoPanel(1); }
void TuningPage::Logo_2DragDrop() { loadLogoPanel(2); }
void TuningPage::Logo_3DragDrop() { loadLogoPanel(3); }

void TuningPage::Logo_Click(int panel) {
  TImage* image = form_.get<TImage>(QStringLiteral("Logo_%1").arg(panel));
  if (!image || !image->isEnabled()) return;
  const QString file = dialogs_.choosePicture();
  if (file.isEmpty()) return;
  const QImage picked(file);
  if (picked.isNull()) {
    dialogs_.warning(text("Das Bild \"%1\" konnte nicht gelesen werden.\rDas Logo bleibt unverändert.",
                          "The picture \"%1\" could not be read.\rThe logo stays as it is.")
                         .arg(file));
    return;
  }
  image->setPicture(logos::toLogo(picked));
  logoChanged_[size_t(panel - 1)] = 1;
}

bool TuningPage::SaveChangedLogos() {
  return logos::saveChanged(machine_.files(), windowsDirectory_, pendingTuning().logos) == 0;
}

}  // namespace vt
