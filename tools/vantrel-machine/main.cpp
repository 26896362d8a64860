// vantrel-machine: the command-line companion of Vantrel for people who script their
// Windows 95 machine folders: create the sample machine, show a machine's facts, change
// DOS attributes as ATTRIB does, run the registry editor's command lines against host
// files, and look into the recycle bins.
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
    "       vantrel-machine --machine DIR COMMAND [ARGUMENTS]\n"
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
    "  info                             the machine's facts and its drives\n"
    "  attrib [+R|-R|+H|-H|+S|-S|+A|-A ...] [/S] [WINPATH]\n"
    "                                   show or change DOS attributes, as ATTRIB does;\n"
    "                                   WINPATH may end in a wildcard (*.INI, ~*.*);\n"
    "                                   /S also works through every sub-folder\n"
    "  regedit /e HOSTFILE [KEY]        export the registry (or one key) as REGEDIT4\n"
    "                                   text; HOSTFILE - writes to standard output\n"
    "  regedit HOSTFILE                 merge a REGEDIT4 file into the registry\n"
    "  regedit /c HOSTFILE              replace HKEY_LOCAL_MACHINE and HKEY_USERS\n"
    "  recycle list                     what the recycle bins hold\n"
    "  recycle restore DRIVE INDEX      put a recycled file back (DRIVE e.g. C)\n"
    "  recycle delete WINPATH           move a file into its drive's recycle bin\n"
    "  recycle empty DRIVE              empty a drive's recycle bin\n"
    "  lnk WINPATH                      show where a shortcut (.LNK or .PIF) points\n"
    "  dir [/S] [/A[:ATTRS]] [WINPATTERN]\n"
    "                                   list files as DIR does, one line each: short\n"
    "                                   name and extension, size, time (UTC),\n"
    "                                   attributes, full path in long names from\n"
    "                                   column 56; /S also every sub-folder; /A also\n"
    "                                   hidden and system entries, /A:ATTRS those with\n"
    "                                   the letters D H S R A (-X: without X)\n"
    "\n"
    "WINPATH is a path on the machine, e.g. \"C:\\WINDOWS\\WIN.INI\" (quote the backslashes\n"
    "from the shell; forward slashes work too); a relative one starts at C:\\. Any name\n"
    "in it may be given by its short name (\"C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE\").\n"
    "HOSTFILE is a file of the computer you run this on. Exit status: 0 done, 1 the\n"
    "command failed and nothing was changed, 2 the command line was wrong. Output that\n"
    "cannot be written (a full disk, a closed pipe) is a failure too.\n";

int dispatch(const QStringList& arguments, vt::tool::Io& io) {
  QTextStream& out = io.out;
  QTextStream& err = io.err;
  QStringList args = arguments.mid(1);
  QString machineDir;
  bool haveMachine = false;
  QStringList rest;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    if (rest.isEmpty() && (a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("help"))) {
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
  const QString command = rest.takeFirst().toLower();
  if (command == QLatin1String("new") || command == QLatin1String("import") || command == QLatin1String("export")) {
    if (haveMachine)
      return io.fail(vt::tool::Usage, QStringLiteral("%1 takes its folder as argument, not --machine").arg(command));
    if (command == QLatin1String("import")) return vt::tool::cmdImport(rest, io);
    if (command == QLatin1String("export")) return vt::tool::cmdExport(rest, io);
    return vt::tool::cmdNew(rest, io);
  }

  using Cmd = int (*)(vt::Machine&, const QStringList&, vt::tool::Io&);
  Cmd run = nullptr;
  if (command == QLatin1String("info"))
    run = vt::tool::cmdInfo;
  else if (command == QLatin1String("attrib"))
    run = vt::tool::cmdAttrib;
  else if (command == QLatin1String("regedit"))
    run = vt::tool::cmdRegedit;
  else if (command == QLatin1String("recycle"))
    run = vt::tool::cmdRecycle;
  else if (command == QLatin1String("lnk"))
    run = vt::tool::cmdLnk;
  else if (command == QLatin1String("dir"))
    run = vt::tool::cmdDir;
  if (!run) return io.fail(vt::tool::Usage, QStringLiteral("unknown command \"%1\" (see --help)").arg(command));
  if (!haveMachine || machineDir.isEmpty())
    return io.fail(vt::tool::Usage, QStringLiteral("%1 needs a machine folder: --machine DIR").arg(command));

  QString why;
  std::unique_ptr<vt::Machine> machine = vt::Machine::open(machineDir, &why);
  if (!machine) return io.fail(vt::tool::Failed, why);
  for (const QString& warning : machine->warnings()) io.err << "vantrel-machine: " << warning << '\n';
  return run(*machine, rest, io);
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
