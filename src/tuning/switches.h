// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The tuning switches and value fields: for every switch box of the tuning, boot-menu and
// logo pages, where its setting lives on the machine, how the current state is read into
// a yes/no and how a yes/no is written back. Nothing here knows about widgets; the main
// window binds each box to its row. No operation throws or shows a message. A setting
// whose place the machine lacks (a missing key, a missing file) is left alone and counts
// as written; false means the machine refused a write.
#include "sysaccess/ini.h"
#include "sysaccess/reg.h"

#include <QString>

#include <span>

namespace vt {

class Machine;

namespace tuning {

// The places a switch reads and writes, gathered once per use.
struct System {
  RegAccess& reg;
  IniAccess& ini;
  Machine& machine;
  QString windowsDirectory;  // as TOSInfo reports it
  QString startMenu;         // the user's Start-menu folder, as TOSInfo reports it

  QString msdosSys() const { return QStringLiteral("C:\\msdos.sys"); }
  QString systemIni() const { return windowsDirectory + QStringLiteral("\\system.ini"); }
};

struct Switch {
  const char* box;  // the check box's name on the form
  bool (*read)(System&);
  bool (*write)(System&, bool checked);
};

// All 23 switches, in the order the form creates their boxes.
std::span<const Switch> catalogue();
// The row of a box, or nullptr.
const Switch* findSwitch(QStringView box);
// The page a row's box is on: "optics", "filesystem", "desktop", "other", "bootmenu" or "logos".
const char* sectionOf(const Switch& row);
// Writes a box's state only when the machine does not already read that way, so a box the
// user left alone never rewrites a value the catalogue cannot represent (a 32-bit icon
// depth, a class's own icon, a missing value Windows has a default for).
bool applySwitch(System& sys, const Switch& row, bool checked);

// --- value fields ---

inline constexpr int kMenuDelayMax = 32000;
inline constexpr int kBootDelayMax = 30;

// The menu delay in milliseconds; an empty value counts as 0, a text that is not a decimal
// integer shows 0, and a number outside the up-down's range is brought to its nearer end.
int readMenuShowDelay(System& sys);
bool writeMenuShowDelay(System& sys, int position);
// "BootMenuDelay" and "BootDelay" in seconds, brought into 0..30 (a missing key, file or
// unreadable file reads 0).
int readBootMenuDelay(System& sys);
int readBootDelay(System& sys);
bool writeBootMenuDelay(System& sys, int position);
bool writeBootDelay(System& sys, int position);

// The three free-text fields of the "other" page.
struct TextField {
  const char* edit;  // the edit field's name on the form
  HKey root;
  const char* key;
  const char* value;
};
// Owner, organisation, computer name: the order start-up reads and apply writes them.
std::span<const TextField> textFields();
QString readTextField(System& sys, const TextField& field);
bool writeTextField(System& sys, const TextField& field, const QString& text);

// A value label's text: the position as a signed 16-bit number and its unit (" msec", " sec").
QString delayText(int position, const char* unit);

// --- automatic tuning ---

struct Recommendation {
  const char* box;
  bool checked;
};
// The switches automatic tuning sets, in its order; every other box keeps its state.
std::span<const Recommendation> recommendations();
inline constexpr int kRecommendedMenuDelay = 200;

inline constexpr const char* kDefragCommand = "defrag /all /details";

}  // namespace tuning
}  // namespace vt
