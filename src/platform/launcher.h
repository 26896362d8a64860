#pragma once
// WinExec on the machine. The registry editor's three command lines are carried out on
// the machine's registry; every other command line is written to the launch journal and,
// where machine.ini maps the program to a host command, that command is started detached.
// Nothing is awaited, as on Windows.
#include <QString>

namespace vt {

class Machine;

inline constexpr const char* kLaunchJournalName = "launch.log";

// Returns true when the command was carried out or started (WinExec's result > 31).
bool winExec(Machine& machine, const QString& commandLine, int showCmd);

}  // namespace vt
