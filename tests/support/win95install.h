// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A machine shaped like a real Windows 95 installation (4.00.950, with Internet Explorer,
// The Microsoft Network and CompuServe), on which nothing is a finding of the clean-up or
// the analysis: drive C: holds a representative part of what setup installs, and the
// registry, WIN.INI, SYSTEM.INI, CONFIG.SYS, AUTOEXEC.BAT and the Start menu name the
// programs by their 8.3 short paths, as a real installation does. Beside "Program Files" a
// second "Progra..." folder, "Programme Alt", holds two older programs; "Program Files" is
// made first and so is PROGRA~1. A test removes what it wants found.
#include "support/testmachine.h"

namespace vt::test {

enum class ProgramFolders {
  FilesFirst,  // made on the machine in this order: "Program Files" is PROGRA~1
  // As a disk made by Windows 95 where "Programme Alt" came first holds them: "Program
  // Files" is PROGRA~2, and every text names it so.
  ImageOrder,
};

void makeWin95Install(TestMachine& tm, ProgramFolders order = ProgramFolders::FilesFirst);

}  // namespace vt::test
