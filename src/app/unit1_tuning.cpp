// The tuning, boot-menu and logo pages of the main window: each switch box is bound to its
// row of the switch catalogue, the value fields to their places, the logo panels to their
// files, and the apply and automatic-tuning buttons to the steps that use them.
#include "app/controls/tarvocheckbox.h"
#include "app/image.h"
#include "app/unit1.h"
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

}  // namespace

void TForm1::BindTuning() {
  // Generic code reaches a switch only through its box, so the box carries the handler;
  // the walks then visit the boxes in the form's creation order.
  const std::pair<const char*, void (TForm1::*)(int)> handlers[] = {
      {"CheckBox_Icons", &TForm1::CheckBox_IconsDragDrop},
      {"Checkbox_noAnim", &TForm1::Checkbox_noAnimDragDrop},
      {"CheckBox_SmoothFonts", &TForm1::CheckBox_SmoothFontsDragDrop},
      {"Checkbox_DragFullWindows", &TForm1::Checkbox_DragFullWindowsDragDrop},
      {"CheckBox_PIF", &TForm1::CheckBox_PIFDragDrop},
      {"CheckBox_LNK", &TForm1::CheckBox_LNKDragDrop},
      {"Checkbox_BMP", &TForm1::Checkbox_BMPDragDrop},
      {"Checkbox_StartBanner", &TForm1::Checkbox_StartBannerDragDrop},
      {"CheckBox_DblSpace", &TForm1::CheckBox_DblSpaceDragDrop},
      {"Checkbox_DrvSpace", &TForm1::Checkbox_DrvSpaceDragDrop},
      {"CheckBox_LoadTop", &TForm1::CheckBox_LoadTopDragDrop},
      {"Checkbox_RemovableIDE", &TForm1::Checkbox_RemovableIDEDragDrop},
      {"CheckBox_DoubleBuffer", &TForm1::CheckBox_DoubleBufferDragDrop},
      {"CheckBox_Autostart", &TForm1::CheckBox_AutostartDragDrop},
      {"CheckBox_link", &TForm1::CheckBox_linkDragDrop},
      {"CheckBox_Systemsteuerung", &TForm1::CheckBox_SystemsteuerungDragDrop},
      {"CheckBox_Drucker", &TForm1::CheckBox_DruckerDragDrop},
      {"Checkbox_Schnellansicht", &TForm1::Checkbox_SchnellansichtDragDrop},
      {"Checkbox_LocalLoadHigh", &TForm1::Checkbox_LocalLoadHighDragDrop},
      {"CheckBox_ShowBootMenu", &TForm1::CheckBox_ShowBootMenuDragDrop},
      {"checkBox_oldDOS", &TForm1::checkBox_oldDOSDragDrop},
      {"CheckBox_Network", &TForm1::CheckBox_NetworkDragDrop},
      {"CheckBox_Logo", &TForm1::CheckBox_LogoDragDrop},
  };
  for (const auto& [name, handler] : handlers)
    if (auto* box = get<TTarvoCheckBox>(name)) box->switchHandler = [this, h = handler](int mode) { (this->*h)(mode); };
}

void TForm1::runTuningSwitch(const char* box, int mode) {
  auto* control = get<TTarvoCheckBox>(box);
  const tuning::Switch* row = tuning::findSwitch(QString::fromLatin1(box));
  if (!control || !row) return;
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  if (mode == 0)
    control->setChecked(row->read(sys));
  else if (mode == 1)
    tuning::applySwitch(sys, *row, control->isChecked());
}

void TForm1::CheckBox_IconsDragDrop(int mode) { runTuningSwitch("CheckBox_Icons", mode); }
void TForm1::Checkbox_noAnimDragDrop(int mode) { runTuningSwitch("Checkbox_noAnim", mode); }
void TForm1::CheckBox_SmoothFontsDragDrop(int mode) { runTuningSwitch("CheckBox_SmoothFonts", mode); }
void TForm1::Checkbox_DragFullWindowsDragDrop(int mode) { runTuningSwitch("Checkbox_DragFullWindows", mode); }
void TForm1::CheckBox_PIFDragDrop(int mode) { runTuningSwitch("CheckBox_PIF", mode); }
void TForm1::CheckBox_LNKDragDrop(int mode) { runTuningSwitch("CheckBox_LNK", mode); }
void TForm1::Checkbox_BMPDragDrop(int mode) { runTuningSwitch("Checkbox_BMP", mode); }
void TForm1::Checkbox_StartBannerDragDrop(int mode) { runTuningSwitch("Checkbox_StartBanner", mode); }
void TForm1::CheckBox_DblSpaceDragDrop(int mode) { runTuningSwitch("CheckBox_DblSpace", mode); }
void TForm1::Checkbox_DrvSpaceDragDrop(int mode) { runTuningSwitch("Checkbox_DrvSpace", mode); }
void TForm1::CheckBox_LoadTopDragDrop(int mode) { runTuningSwitch("CheckBox_LoadTop", mode); }
void TForm1::Checkbox_RemovableIDEDragDrop(int mode) { runTuningSwitch("Checkbox_RemovableIDE", mode); }
void TForm1::CheckBox_DoubleBufferDragDrop(int mode) { runTuningSwitch("CheckBox_DoubleBuffer", mode); }
void TForm1::CheckBox_AutostartDragDrop(int mode) { runTuningSwitch("CheckBox_Autostart", mode); }
void TForm1::CheckBox_linkDragDrop(int mode) { runTuningSwitch("CheckBox_link", mode); }
void TForm1::CheckBox_SystemsteuerungDragDrop(int mode) { runTuningSwitch("CheckBox_Systemsteuerung", mode); }
void TForm1::CheckBox_DruckerDragDrop(int mode) { runTuningSwitch("CheckBox_Drucker", mode); }
void TForm1::Checkbox_SchnellansichtDragDrop(int mode) { runTuningSwitch("Checkbox_Schnellansicht", mode); }
void TForm1::Checkbox_LocalLoadHighDragDrop(int mode) { runTuningSwitch("Checkbox_LocalLoadHigh", mode); }
void TForm1::CheckBox_ShowBootMenuDragDrop(int mode) { runTuningSwitch("CheckBox_ShowBootMenu", mode); }
void TForm1::checkBox_oldDOSDragDrop(int mode) { runTuningSwitch("checkBox_oldDOS", mode); }
void TForm1::CheckBox_NetworkDragDrop(int mode) { runTuningSwitch("CheckBox_Network", mode); }
void TForm1::CheckBox_LogoDragDrop(int mode) { runTuningSwitch("CheckBox_Logo", mode); }

// --- value fields ---------------------------------------------------------------------------

void TForm1::Label_MenuShowDelayDragDrop(int mode) {
  auto* label = get<QLabel>("Label_MenuShowDelay");
  auto* upDown = get<TUpDown>("UpDown_MenuShowDelay");
  if (mode == 0 && label && upDown) label->setText(tuning::delayText(upDown->position(), " msec"));
}

void TForm1::Label_BootmenuDelayDragDrop(int mode) {
  auto* label = get<QLabel>("Label_BootmenuDelay");
  auto* upDown = get<TUpDown>("UpDown_BootMenuDelay");
  if (mode == 0 && label && upDown) label->setText(tuning::delayText(upDown->position(), " sec"));
}

void TForm1::Label_BootDelayDragDrop(int mode) {
  auto* label = get<QLabel>("Label_BootDelay");
  auto* upDown = get<TUpDown>("UpDown_BootDelay");
  if (mode == 0 && label && upDown) label->setText(tuning::delayText(upDown->position(), " sec"));
}

void TForm1::UpDown_MenuShowDelayClick() { Label_MenuShowDelayDragDrop(0); }
void TForm1::UpDown_BootMenuDelayClick() { Label_BootmenuDelayDragDrop(0); }
void TForm1::UpDown_BootDelayClick() { Label_BootDelayDragDrop(0); }

void TForm1::ReadBootDelays() {
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  if (auto* u = get<TUpDown>("UpDown_BootMenuDelay")) u->setPosition(tuning::readBootMenuDelay(sys));
  Label_BootmenuDelayDragDrop(0);
  if (auto* u = get<TUpDown>("UpDown_BootDelay")) u->setPosition(tuning::readBootDelay(sys));
  Label_BootDelayDragDrop(0);
}

void TForm1::ReadMenuShowDelay() {
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  if (auto* u = get<TUpDown>("UpDown_MenuShowDelay")) u->setPosition(tuning::readMenuShowDelay(sys));
  Label_MenuShowDelayDragDrop(0);
}

void TForm1::ReadUserFields() {
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  for (const tuning::TextField& f : tuning::textFields())
    if (auto* edit = get<QLineEdit>(f.edit)) edit->setText(tuning::readTextField(sys, f));
}

// --- apply ----------------------------------------------------------------------------------

void TForm1::Knopf8Click() {
  // The file search keeps the window alive; it must not have the system changed under it.
  if (state_.busy) return;
  ApplyChanges();
}

void TForm1::ApplyChanges() {
  if (!dialogs_.confirm(text("Sind Sie sicher, daß Sie alle Änderungen jetzt übernehmen wollen?",
                             "Are you sure, you wish to assign all changes now?")))
    return;
  tuning::System sys = systemOf(machine_, reg_, ini_, osInfo_);
  const std::optional<tuning::ApplyFailure> failed = tuning::applyChanges(sys, pendingTuning());
  if (!failed) return;
  if (failed->step == tuning::ApplyStep::Logo) {
    dialogs_.warning(text("Das Logo \"%1\" konnte nicht gespeichert werden.\rEs wurden keine weiteren Änderungen übernommen.",
                          "The logo \"%1\" could not be saved.\rNo further changes were assigned.")
                         .arg(failed->what));
    return;
  }
  // A box is named as the user reads it; the other settings by where they are kept.
  QString what = failed->what;
  if (auto* box = form_.get<TTarvoCheckBox>(failed->what)) what = box->caption().remove(QLatin1Char('&'));
  dialogs_.warning(text("\"%1\" konnte nicht übernommen werden.\rEs wurden keine weiteren Änderungen übernommen.",
                        "\"%1\" could not be assigned.\rNo further changes were assigned.")
                       .arg(what));
}

tuning::Pending TForm1::pendingTuning() const {
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

void TForm1::ExplorerButton9Click() { AutoTune(); }

void TForm1::AutoTune() {
  if (!dialogs_.confirm(text("Sind Sie sicher, daß Vantrel jetzt tunen soll?", "Are you sure, you wish Vantrel to tune now?")))
    return;
  for (const tuning::Recommendation& r : tuning::recommendations())
    if (auto* box = get<TTarvoCheckBox>(r.box)) box->setChecked(r.checked);
  if (auto* u = get<TUpDown>("UpDown_MenuShowDelay")) u->setPosition(tuning::kRecommendedMenuDelay);
  Label_MenuShowDelayDragDrop(0);
  dialogs_.information(text("Automatisches Tuning beendet.\rSie müssen die Änderungen übernehmen, bevor Sie Vantrel "
                            "verlassen.",
                            "Automatic-tuning completed.\rYou must assign the changes before you exit Vantrel."));
}

// --- defragmenter ---------------------------------------------------------------------------

void TForm1::ExplorerButton22Click() { winExec(machine_, QString::fromLatin1(tuning::kDefragCommand), kShowNormal); }

// --- boot logos ---------------------------------------------------------------------------

QString TForm1::logoPath(int panel) const { return logos::path(panel, windowsDirectory_); }

namespace {
void loadLogoPanel(TForm1& form, Machine& machine, TImage* image, int panel) {
  if (!image) return;
  image->setStretch(true);
  FileSystem& fs = machine.files();
  const QString path = form.logoPath(panel);
  const bool exists = fs.exists(path);
  image->setEnabled(logos::changeable(panel, exists));
  if (!exists) return;
  // A file that is no bitmap leaves its panel empty; start-up goes on.
  image->setPicture(logos::load(fs, path));
}
}  // namespace

void TForm1::Logo_1DragDrop() { loadLogoPanel(*this, machine_, get<TImage>("Logo_1"), 1); }
void TForm1::Logo_2DragDrop() { loadLogoPanel(*this, machine_, get<TImage>("Logo_2"), 2); }
void TForm1::Logo_3DragDrop() { loadLogoPanel(*this, machine_, get<TImage>("Logo_3"), 3); }

void TForm1::Logo_Click(int panel) {
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

bool TForm1::SaveChangedLogos() {
  return logos::saveChanged(machine_.files(), windowsDirectory_, pendingTuning().logos) == 0;
}

}  // namespace vt
