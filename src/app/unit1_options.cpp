// SPDX-License-Identifier: GPL-3.0-or-later
// The options page: the twelve preference boxes, their file and the two guarded boxes.
#include "app/controls/tarvocheckbox.h"
#include "app/unit1.h"
#include "platform/machine.h"

namespace vt {

namespace {
OptionBoxes boxStates(const QList<TTarvoCheckBox*>& boxes) {
  OptionBoxes states{};
  for (int i = 0; i < kOptionCount; ++i) states[size_t(i)] = boxes[i] && boxes[i]->isChecked();
  return states;
}
}  // namespace

QList<TTarvoCheckBox*> TForm1::optionBoxes() const {
  QList<TTarvoCheckBox*> boxes;
  for (const char* name : kOptionBoxNames) boxes << get<TTarvoCheckBox>(name);
  return boxes;
}

void TForm1::LOAD_OPTIONS() {
  if (const auto saved = readOptionsFile(machine_.files(), directories_.program)) {
    const QList<TTarvoCheckBox*> boxes = optionBoxes();
    for (int i = 0; i < kOptionCount; ++i)
      if (boxes[i]) boxes[i]->setChecked((*saved)[size_t(i)]);
  }
  SETFLAGS();
}

bool TForm1::SAVE_OPTIONS() { return writeOptionsFile(machine_.files(), directories_.program, boxStates(optionBoxes())); }

void TForm1::SETFLAGS() { flags_ = flagsFrom(boxStates(optionBoxes())); }

void TForm1::Checkbox_NetzwerkClick() {
  auto* box = get<TTarvoCheckBox>("Checkbox_Netzwerk");
  if (box && !box->isChecked())
    dialogs_.warning(text("WARNUNG: Diese Einstellung sollte nur genutzt werden, wenn Sie kein Netzwerk (mehr) haben!",
                          "CAUTION: This option shall only be used in case you are not (no longer) connected to a network!"));
}

void TForm1::CheckBox_REPLACEREGClick() {
  auto* box = get<TTarvoCheckBox>("CheckBox_REPLACEREG");
  if (box && !box->isChecked())
    dialogs_.warning(text("WARNUNG: Die Einstellung Registry überschreiben sollte nur im Notfall angewendet werden!",
                          "CAUTION: The option overwrite registry shall only be used in case of emergency!"));
}

}  // namespace vt
