// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Applying what the tuning, boot-menu and logo pages show, in one go: the changed logos,
// the boot delays, the menu delay, the three user fields, then every switch in the order
// the form creates its boxes. A setting is written only when the machine does not already
// hold it, and the first write the machine refuses ends the apply: what came before it
// stays written, nothing after it is attempted.
#include "tuning/logos.h"
#include "sysaccess/state.h"
#include "tuning/switches.h"

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace vt::tuning {

// What the pages show. An empty entry is a control the form does not have; it is left out.
struct Pending {
  std::array<QImage, logos::kPanels> logos;  // a picture the user put into a panel, null if none
  std::optional<int> bootMenuDelay;
  std::optional<int> bootDelay;
  std::optional<int> menuShowDelay;
  QHash<QString, QString> texts;  // edit field name -> text
  QHash<QString, bool> switches;  // box name -> checked
};

enum class ApplyStep { Logo, BootMenuDelay, BootDelay, MenuShowDelay, TextField, Switch };

struct ApplyFailure {
  ApplyStep step;
  // The logo file or the box that could not be written; for the delays and the user
  // fields the file or registry value that holds them.
  QString what;
  QString reason;  // why a logo could not be saved, where known
};

// Nothing when every setting was written. `changedBoxes` gets the switches whose boxes
// differed from the machine and were written, in the order they were.
std::optional<ApplyFailure> applyChanges(System& sys, const Pending& pending, QStringList* changedBoxes = nullptr);

// The warning after an apply that stopped at `failure`; `shown` names what failed as the
// user knows it (a box by its caption, the other settings by where they are kept).
QString applyFailedText(const ApplyFailure& failure, const QString& shown, const SharedState& state);

}  // namespace vt::tuning
