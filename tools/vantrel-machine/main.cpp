// SPDX-License-Identifier: GPL-3.0-or-later
// vantrel-machine: Vantrel for people who script their Windows 95 machines: make a machine
// from the sample or a disk image and write it back, look into it (facts, files,
// attributes, shortcuts, the registry, the recycle bins), and run each section's
// maintenance through the same libraries as the window.
#include "commands.h"

#include "platform/machine.h"

#include "buildinfo.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: vantrel-machine new DIR\n"
    "       vantrel-machine import IMAGE DIR [--partition N]\n"
    "       vantrel-machine import --refresh IMAGE DIR\n"
    "       vantrel-machine export DIR IMAGE [--partition N]\n"
    "       vantrel-machine --machine DIR [--lang en|de] COMMAND [ARGUMENTS]\n"
    "       vantrel-machine COMMAND --help\n"
    "       vantrel-machine --help | --version\n"
    "\n"
    "new DIR creates the built-in sample Windows 95 machine in DIR, which must be empty\n"
    "or absent. import makes the machine DIR (empty or absent) from the FAT partitions\n"
    "of a disk image, raw, VHD, qcow2, VDI or VMDK (every one as a drive from C: on, or\n"
    "partition N alone: 1-4 a primary partition, 5 on a logical drive); export writes\n"
    "what changed on its drives since then back into the image, in its own format, and\n"
    "leaves the rest of it as it was (see\n"
    "disk-images.md); import --refresh makes the imported machine DIR afresh from the\n"
    "image (after it was started in an emulator), dropping what was not exported. The\n"
    "other commands work on the machine folder given with --machine (see machine.md for\n"
    "its layout):\n"
    "\n"
    "  info                the machine's facts and its drives\n"
    "  dir                 list files as DIR does\n"
    "  attrib              show or change DOS attributes, as ATTRIB does\n"
    "  lnk                 show where a shortcut (.LNK or .PIF) points\n"
    "  regedit             export the registry as REGEDIT4 text, merge or replace it\n"
    "  recycle             list, restore, delete into and empty the recycle bins\n"
    "  clean               find useless files and delete or recycle them\n"
    "  clean-registry      remove stale tips, uninstall entries and file types\n"
    "  optimise            tidy WIN.INI or the start files\n"
    "  diagnose            the system analysis, and AUTOFIX for what it found\n"
    "  report              the system report\n"
    "  backup              list, make, restore and delete backup sets\n"
    "  rescue-disk         write the rescue boot floppy\n"
    "  tune                list the tuning switches and set them\n"
    "\n"
    "COMMAND --help tells a command's arguments. WINPATH is a path on the machine, e.g.\n"
    "\"C:\\WINDOWS\\WIN.INI\" (quote the backslashes from the shell; forward slashes work\n"
    "too); a relative one starts at C:\\. Any name in it may be given by its short name\n"
    "(\"C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE\"). HOSTFILE is a file of the computer you run\n"
    "this on. Without --lang the texts the sections write follow LC_ALL, LC_MESSAGES or\n"
    "LANG: German for de*, English otherwise.\n"
    "\n"
    "Exit status: 0 done, 1 the command failed and nothing was changed, 2 the command line\n"
    "was wrong, 3 a dry run of clean, clean-registry or optimise, or diagnose without --fix,\n"
    "found something. Output that cannot be written (a full disk, a closed pipe) is a\n"
    "failure too.\n";

const char* const kHelpNew =
    "Usage: vantrel-machine new DIR\n\nCreates the built-in sample Windows 95 machine in DIR, which must be empty or absent.\n";
const char* const kHelpImport =
    "Usage: vantrel-machine import IMAGE DIR [--partition N] [--verify]\n"
    "       vantrel-machine import --refresh IMAGE DIR\n"
    "\n"
    "Makes the machine DIR (empty or absent) from the FAT partitions of a disk image, raw,\n"
    "VHD, qcow2, VDI or VMDK: every one as a drive from C: on, or partition N alone (1-4 a\n"
    "primary partition, 5 on a logical drive). --refresh makes an imported machine afresh\n"
    "from its image, dropping what was not exported. --verify also reads the whole image\n"
    "for a hash of it, which export --verify checks.\n";
const char* const kHelpExport =
    "Usage: vantrel-machine export DIR IMAGE [--partition N] [--verify]\n"
    "\n"
    "Writes what changed on the machine's drives since the import back into the image, in\n"
    "its own format, all or nothing. --verify also checks the whole image against the hash\n"
    "of a verifying import or export (a change anywhere in it is refused) and takes it anew.\n";
const char* const kHelpInfo = "Usage: vantrel-machine --machine DIR info\n\nThe machine's facts and its drives.\n";
const char* const kHelpAttrib =
    "Usage: vantrel-machine --machine DIR attrib [+R|-R|+H|-H|+S|-S|+A|-A ...] [/S] [WINPATH]\n"
    "\n"
    "Shows or changes DOS attributes, as ATTRIB does. WINPATH may end in a wildcard (*.INI,\n"
    "~*.*); /S also works through every sub-folder.\n";
const char* const kHelpRegedit =
    "Usage: vantrel-machine --machine DIR regedit /e HOSTFILE [KEY]\n"
    "       vantrel-machine --machine DIR regedit HOSTFILE\n"
    "       vantrel-machine --machine DIR regedit /c HOSTFILE\n"
    "\n"
    "/e exports the registry (or one key) as REGEDIT4 text (HOSTFILE - writes to standard\n"
    "output); HOSTFILE alone merges a REGEDIT4 file into the registry; /c replaces\n"
    "HKEY_LOCAL_MACHINE and HKEY_USERS with it.\n";
const char* const kHelpRecycle =
    "Usage: vantrel-machine --machine DIR recycle list\n"
    "       vantrel-machine --machine DIR recycle restore DRIVE INDEX\n"
    "       vantrel-machine --machine DIR recycle delete WINPATH\n"
    "       vantrel-machine --machine DIR recycle empty DRIVE\n"
    "\n"
    "What the recycle bins hold; put a recycled file back (DRIVE e.g. C, INDEX from the\n"
    "list); move a file into its drive's recycle bin; empty a drive's recycle bin.\n";
const char* const kHelpLnk =
    "Usage: vantrel-machine --machine DIR lnk WINPATH\n\nShows where a shortcut (.LNK or .PIF) points and whether that exists.\n";
const char* const kHelpDir =
    "Usage: vantrel-machine --machine DIR dir [/S] [/A[:ATTRS]] [WINPATTERN]\n"
    "\n"
    "Lists files as DIR does, one line each: short name and extension, size, time (UTC),\n"
    "attributes, full path in long names from column 56. /S also every sub-folder; /A also\n"
    "hidden and system entries, /A:ATTRS those with the letters D H S R A (-X: without X).\n";

const char* const kHelpCompletePath =
    "Usage: vantrel-machine --machine DIR complete-path [TYPED]\n\nThe machine's paths that begin with TYPED, one a line, for "
    "the shell's completion.\n";

using MachineCommand = int (*)(vt::Machine&, const QStringList&, vt::tool::Io&);
using FolderCommand = int (*)(const QStringList&, vt::tool::Io&);

struct Command {
  const char* name;
  const char* const* help;
  FolderCommand onFolder;    // takes its folder or image as arguments
  MachineCommand onMachine;  // works on --machine DIR
};

const Command kCommands[] = {
    {"new", &kHelpNew, vt::tool::cmdNew, nullptr},
    {"import", &kHelpImport, vt::tool::cmdImport, nullptr},
    {"export", &kHelpExport, vt::tool::cmdExport, nullptr},
    {"info", &kHelpInfo, nullptr, vt::tool::cmdInfo},
    {"dir", &kHelpDir, nullptr, vt::tool::cmdDir},
    {"attrib", &kHelpAttrib, nullptr, vt::tool::cmdAttrib},
    {"lnk", &kHelpLnk, nullptr, vt::tool::cmdLnk},
    {"regedit", &kHelpRegedit, nullptr, vt::tool::cmdRegedit},
    {"recycle", &kHelpRecycle, nullptr, vt::tool::cmdRecycle},
    {"clean", &vt::tool::kHelpClean, nullptr, vt::tool::cmdClean},
    {"clean-registry", &vt::tool::kHelpCleanRegistry, nullptr, vt::tool::cmdCleanRegistry},
    {"optimise", &vt::tool::kHelpOptimise, nullptr, vt::tool::cmdOptimise},
    {"diagnose", &vt::tool::kHelpDiagnose, nullptr, vt::tool::cmdDiagnose},
    {"report", &vt::tool::kHelpReport, nullptr, vt::tool::cmdReport},
    {"backup", &vt::tool::kHelpBackup, nullptr, vt::tool::cmdBackup},
    {"rescue-disk", &vt::tool::kHelpRescueDisk, nullptr, vt::tool::cmdRescueDisk},
    {"tune", &vt::tool::kHelpTune, nullptr, vt::tool::cmdTune},
    {"complete-path", &kHelpCompletePath, nullptr, vt::tool::cmdCompletePath},
};

bool isHelp(const QString& a) { return a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("help"); }

bool parseLanguage(const QString& value, bool* english) {
  if (value.compare(QLatin1String("en"), Qt::CaseInsensitive) == 0) {
    *english = true;
    return true;
  }
  if (value.compare(QLatin1String("de"), Qt::CaseInsensitive) == 0) {
    *english = false;
    return true;
  }
  return false;
}

int dispatch(const QStringList& arguments, vt::tool::Io& io) {
  QTextStream& out = io.out;
  QTextStream& err = io.err;
  QStringList args = arguments.mid(1);
  QString machineDir;
  bool haveMachine = false;
  io.english = !vt::build::germanFromEnvironment();
  QStringList rest;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    // --lang may also follow the command, where a script writing "diagnose --lang en" puts it.
    if (a == QLatin1String("--lang") || a.startsWith(QLatin1String("--lang="))) {
      const QString value = a.size() > 6 ? a.mid(7) : (i + 1 < args.size() ? args[++i] : QString());
      if (!parseLanguage(value, &io.english))
        return io.fail(vt::tool::Usage, QStringLiteral("--lang needs en or de, not \"%1\"").arg(value));
      continue;
    }
    if (rest.isEmpty() && isHelp(a)) {
      out << kUsage << "The guides machine.md and disk-images.md are in " << vt::build::guidesFolder() << ".\n";
      return vt::tool::Ok;
    }
    if (rest.isEmpty() && (a == QLatin1String("--version") || a == QLatin1String("-V"))) {
      out << "vantrel-machine " << vt::build::kVersion << '\n';
      return vt::tool::Ok;
    }
    if (rest.isEmpty() && a == QLatin1String("--machine")) {
      if (i + 1 >= args.size()) return io.fail(vt::tool::Usage, QStringLiteral("--machine needs a folder"));
      machineDir = args[++i];
      haveMachine = true;
    } else if (rest.isEmpty() && a.startsWith(QLatin1String("--machine="))) {
      machineDir = a.mid(10);
      haveMachine = true;
    } else if (rest.isEmpty() && a.startsWith(QLatin1String("--"))) {
      return io.fail(vt::tool::Usage, QStringLiteral("unknown option %1 (see --help)").arg(a));
    } else {
      rest.append(a);
    }
  }
  if (rest.isEmpty()) {
    err << kUsage;
    return vt::tool::Usage;
  }
  const QString name = rest.takeFirst().toLower();
  const Command* command = nullptr;
  for (const Command& c : kCommands)
    if (name == QLatin1String(c.name)) command = &c;
  if (!command) return io.fail(vt::tool::Usage, QStringLiteral("unknown command \"%1\" (see --help)").arg(name));
  if (rest.contains(QLatin1String("--help")) || rest == QStringList{QStringLiteral("-h")}) {
    out << *command->help;
    return vt::tool::Ok;
  }
  if (command->onFolder) {
    if (haveMachine) return io.fail(vt::tool::Usage, QStringLiteral("%1 takes its folder as argument, not --machine").arg(name));
    return command->onFolder(rest, io);
  }
  if (!haveMachine || machineDir.isEmpty())
    return io.fail(vt::tool::Usage, QStringLiteral("%1 needs a machine folder: --machine DIR").arg(name));

  QString why;
  std::unique_ptr<vt::Machine> machine = vt::Machine::open(machineDir, &why);
  if (!machine) return io.fail(vt::tool::Failed, why);
  for (const QString& warning : machine->warnings()) io.err << "vantrel-machine: " << warning << '\n';
  return command->onMachine(*machine, rest, io);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  QTextStream err(stderr);
  vt::tool::Io io{out, err};
  int code = dispatch(app.arguments(), io);
  // What a script reads is the result: output that did not reach it (a full disk, a closed
  // pipe) is a failure, even when the command itself did its work.
  errno = 0;
  out.flush();
  const bool written = out.status() == QTextStream::Ok && std::fflush(stdout) == 0 && !std::ferror(stdout);
  if (!written) {
    const int why = errno;
    err << "vantrel-machine: cannot write to standard output"
        << (why ? QStringLiteral(": %1").arg(QString::fromLocal8Bit(std::strerror(why))) : QString()) << '\n';
    if (code == vt::tool::Ok) code = vt::tool::Failed;
  }
  return code;
}
