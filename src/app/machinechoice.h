#pragma once
// Which machine a run works on: the folder named by --machine, or the built-in sample
// machine, created on first use under the user's data directory.
#include <QString>

namespace vt {

struct CommandLine {
  QString machineFolder;  // empty: the sample machine
  bool english = false;
  QString error;  // set when the arguments cannot be understood
  bool help = false;
};

CommandLine parseCommandLine(const QStringList& args);
QString sampleMachineFolder();
// The machine folder to open: the named one, or the sample (created when missing).
bool resolveMachineFolder(const CommandLine& cl, QString* folder, QString* error);

inline constexpr const char* kUsage =
    "Usage: vantrel [--machine DIR] [--lang de|en]\n"
    "       vantrel --help | --version\n"
    "  --machine DIR  work on the Windows 95 machine in DIR (see machine.md);\n"
    "                 without it, the built-in sample machine is used\n"
    "  --lang en      start in English (German is the default)\n"
    "A machine that cannot be opened is named on stderr and in a message box;\n"
    "with VANTREL_NO_ERROR_BOX=1 in the environment, on stderr only.\n"
    "Host programs that stand in for Windows tools (DEFRAG, SCANDISK, ...) are set in\n"
    "$XDG_CONFIG_HOME/vantrel/programs.ini (see machine.md).\n";

}  // namespace vt
