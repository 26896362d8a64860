// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's own mapping of Windows programs to host commands, which WinExec starts in
// their place (launcher.h). It lives in the user's configuration, never in a machine
// folder: a machine someone else made must not be able to run programs on this host.
#include <QMap>
#include <QString>

namespace vt {

// "$XDG_CONFIG_HOME/vantrel/programs.ini" (by default ~/.config/vantrel/programs.ini).
QString hostProgramsFile();
// Its [Programs] section: upper-case program name ("DEFRAG") -> host command line. A file
// that is missing or unreadable maps nothing.
QMap<QString, QString> hostPrograms();

}  // namespace vt
