// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The system report: what the machine is made of (processor, memory, BIOS, the devices the
// hardware tree names), its drives and the installed Windows updates. It is only read and
// shown; nothing is written while it is made.
#include "sysaccess/state.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace vt {

class Machine;
class RegAccess;
class FileAccess;
class TOSInfo;

namespace diagnosis {

// One line of the drive list: the icon (0 removable, 1 fixed, 2 CD-ROM, 3 network) and three
// lines of text.
struct DriveItem {
  int icon = 1;
  QString lines[3];
  // The list's item text: the icon as a character from 10 up, the lines joined by 0x14.
  QString itemText() const;
  static DriveItem fromItemText(const QString& text);
};

struct SystemReport {
  QString cpu, ram, bios, sound, graphics, mouse, keyboard, modem, printer;
  QList<DriveItem> drives;
  QStringList updates;
};

// Installed memory in whole megabytes, from what Windows reports (which leaves out 384 KB).
qint64 reportedMegabytes(quint64 reportedBytes);

SystemReport Create_Report(Machine& machine, RegAccess& reg, FileAccess& files, const TOSInfo& os, const SharedState& state);

}  // namespace diagnosis
}  // namespace vt
