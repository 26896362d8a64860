// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which machine a run works on: a machine folder, a disk image (worked on in a machine
// folder of its own, imported on first use and written back when the user says so), or
// the built-in sample machine, created on first use under the user's data directory. The
// machines opened last are remembered for the window's choice.
#include "diskimage/diskimage.h"

#include <QString>
#include <QStringList>

namespace vt {

struct CommandLine {
  QString target;  // a machine folder or a disk image; empty: the sample machine
  bool english = false;
  QString error;  // set when the arguments cannot be understood
  bool help = false;
};

// Without --lang the window speaks German when LC_ALL, LC_MESSAGES or LANG (the first one
// set) starts with "de", English otherwise.
CommandLine parseCommandLine(const QStringList& args);
QString sampleMachineFolder();

// The machine a run opens.
struct MachineChoice {
  QString folder;  // the machine folder the window works on
  QString image;   // the disk image it was imported from, if any
  bool sample = false;
};

// Whether `target` names a disk image (a file) rather than a machine folder.
bool isDiskImage(const QString& target);
// The machine folder Vantrel keeps for a disk image the user opened: one per image file,
// under the user's data directory.
QString imageMachineFolder(const QString& image);
// The image a machine folder was imported from (its import record names it), or empty.
QString importedFrom(const QString& machineFolder);

// The machine to open for `target` (empty: the sample, created when missing). A disk image
// is imported into its own machine folder the first time; later runs open that folder
// again, with whatever was changed there and not yet written back.
// `progress` hears of an import's files as they are copied.
bool resolveMachine(const QString& target, MachineChoice* out, QString* error, const disk::Progress& progress = {});

// The targets opened last, the latest first; and remembering one.
QStringList recentMachines();
void rememberMachine(const QString& target);

inline constexpr const char* kUsage =
    "Usage: vantrel [--lang de|en] [DIR | IMAGE]\n"
    "       vantrel [--lang de|en] --machine DIR|IMAGE\n"
    "       vantrel --help | --version\n"
    "  DIR            work on the Windows 95 machine in the folder DIR (see machine.md)\n"
    "  IMAGE          work on the Windows 95 in a disk image (see disk-images.md): it is\n"
    "                 imported into a machine folder of its own the first time and\n"
    "                 written back when you say so in the window\n"
    "                 without either, the built-in sample machine is used\n"
    "  --lang de|en   the window's language; without it, German where LC_ALL,\n"
    "                 LC_MESSAGES or LANG starts with \"de\", English otherwise\n"
    "A machine that cannot be opened is named on stderr and in a message box;\n"
    "with VANTREL_NO_ERROR_BOX=1 in the environment, on stderr only.\n"
    "Host programs that stand in for Windows tools (DEFRAG, SCANDISK, ...) are set in\n"
    "$XDG_CONFIG_HOME/vantrel/programs.ini (see machine.md).\n";

}  // namespace vt
