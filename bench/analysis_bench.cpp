// SPDX-License-Identifier: GPL-3.0-or-later
// The diagnosis' analysis on a large machine, against opening that same machine in the
// same run. The machine is the sample machine grown the way years of use grow one: a
// registry of 200,000 values, thousands of files in the system and fonts folders, a Fonts
// key of several hundred entries (by file name and by full path, some of them gone), Run
// entries, WIN.INI load= and run=, SYSTEM.INI device= lines and start files that name
// programs and drivers, some of them gone too. Each round opens the machine afresh and
// runs one analysis on it, as the window does; the medians count. A hive's keys are built
// when first looked into, so the reference is opening the machine with every key of its
// registry built: what opening it cost before, and all the reading the analysis could need.
//
//   bench_analysis_bench [VALUES] [FOLDER]     (default 200000, in memory where it can)
//   bench_analysis_bench --make DIR [VALUES]   only makes the machine in DIR
//   bench_analysis_bench --open DIR            opens DIR once
//   bench_analysis_bench --analyse DIR         opens DIR and analyses it once
// The last two tell, under `strace -f -c`, what the analysis alone costs in system calls;
// --analyse counts the drive for its free space first and marks the checks' own calls
// with a line written before and after them.
#include "benchregistry.h"
#include "diagnosis/analysis.h"
#include "diagnosis/osinfo.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "sample/samplemachine.h"
#include "sysaccess/ini.h"
#include "sysaccess/reg.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace vt;

constexpr int kSystemFiles = 3000;
constexpr int kFontFiles = 1500;
constexpr int kFontsByName = 500, kFontsByPath = 200;
constexpr int kRunEntries = 60;
constexpr int kIniPrograms = 20;
constexpr int kDeviceLines = 200;
constexpr int kStartLines = 40;
constexpr int kRounds = 7;

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

QString numbered(const char* pattern, int n) { return QString::fromLatin1(pattern).arg(n, 4, 10, QLatin1Char('0')); }

// Every seventh name the registry or a start file gives is gone from the disk.
bool gone(int n) { return n % 7 == 3; }

bool appendLines(FileSystem& fs, const QString& file, const QByteArray& after, const QByteArray& lines) {
  QByteArray text = fs.readFile(file).value_or(QByteArray());
  const qsizetype at = after.isEmpty() ? -1 : text.indexOf(after);
  if (at < 0)
    text += lines;
  else
    text.insert(at + after.size(), lines);
  return fs.writeFile(file, text);
}

// Grows the sample machine in `folder`; the number of paths the analysis will check, as
// its checks count them, goes to `checks`.
bool makeMachine(const QString& folder, int values, int* checks) {
  QString error;
  if (!sample::createSampleMachine(folder, &error)) {
    std::fprintf(stderr, "sample machine: %s\n", qPrintable(error));
    return false;
  }
  auto machine = Machine::open(folder, &error);
  if (!machine) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return false;
  }
  FileSystem& fs = machine->files();
  Registry& reg = machine->registry();
  TOSInfo os(*machine);
  const QString w = os.WindowsDirectory(), s = os.SystemDirectory();
  const QString fonts = os.Fonts().isEmpty() ? w + QStringLiteral("\\FONTS") : os.Fonts();
  bench::buildMachine(reg.localMachine(), values);
  int n = 0;

  for (int i = 0; i < kSystemFiles; ++i) {
    const char* kind = i % 10 == 0 ? "\\VXD%1.386" : i % 3 == 0 ? "\\Lib%1.dll" : "\\MODULE%1.DLL";
    if (!fs.writeFile(s + numbered(kind, i), "MZ")) return false;
  }
  for (int i = 0; i < kFontFiles; ++i)
    if (!fs.writeFile(fonts + numbered("\\FONT%1.TTF", i), "\0\1\0\0")) return false;

  RegKey* fontsKey = reg.createKey(HKey::LocalMachine, diagnosis::kFontsKey);
  const int fontFolders = os.Fonts().isEmpty() ? 2 : 3;
  for (int i = 0; i < kFontsByName; ++i) {
    // Most by name in the Fonts folder, some in another spelling, some in the system folder.
    const int file = gone(i) ? kFontFiles + i : i;
    const QString name = i % 5 == 0 ? numbered("font%1.ttf", file) : numbered("FONT%1.TTF", file);
    fontsKey->setValue(numbered("Bench Font %1 (TrueType)", i).toLatin1(), RegSz, name.toLatin1());
  }
  for (int i = 0; i < kFontsByPath; ++i) {
    const int file = gone(i) ? kFontFiles + i : kFontsByName + i;
    fontsKey->setValue(numbered("Bench Path Font %1 (TrueType)", i).toLatin1(), RegSz,
                       (fonts + numbered("\\FONT%1.TTF", file)).toLatin1());
  }
  for (const RegValue& v : fontsKey->values()) n += v.data.size() > 1 && v.data[1] == ':' ? 1 : fontFolders;

  RegKey* run = reg.createKey(HKey::LocalMachine, diagnosis::kRunKey);
  for (int i = 0; i < kRunEntries; ++i) {
    const QString dir = numbered("C:\\Program Files\\Vendor %1", i % 12);
    const QString exe = dir + numbered("\\Tray%1.exe", i);
    if (!gone(i) && (!fs.createDirectories(dir) || !fs.writeFile(exe, "MZ"))) return false;
    run->setValue(numbered("BenchTray%1", i).toLatin1(), RegSz, (exe + QStringLiteral(" /background")).toLatin1());
  }
  for (const RegValue& v : run->values()) n += v.data.mid(1, 2) == ":\\" && v.data.contains(".exe");

  // WIN.INI: load= and run= each name programs in the system folder, one in seven gone.
  QByteArray load, runLine;
  for (int i = 0; i < kIniPrograms; ++i) {
    const QString exe = s + numbered("\\AGENT%1.EXE", i);
    if (!gone(i) && !fs.writeFile(exe, "MZ")) return false;
    load += exe.toLatin1() + ' ';
    runLine += exe.toLatin1() + ' ';
  }
  IniAccess ini(*machine);
  if (!ini.WriteIniString(w + QStringLiteral("\\win.ini"), u"windows", u"load", QString::fromLatin1(load.trimmed())) ||
      !ini.WriteIniString(w + QStringLiteral("\\win.ini"), u"windows", u"run", QString::fromLatin1(runLine.trimmed())))
    return false;
  n += 2 * kIniPrograms;

  QByteArray devices;
  for (int i = 0; i < kDeviceLines; ++i) {
    const int file = gone(i) ? kSystemFiles + i : (i * 10) % kSystemFiles;
    devices += "device=" + (s + numbered("\\VXD%1.386", file)).toLatin1() + "\r\n";
  }
  if (!appendLines(fs, w + QStringLiteral("\\system.ini"), "[386Enh]\r\n", devices)) return false;
  n += kDeviceLines;

  QByteArray config, autoexec;
  for (int i = 0; i < kStartLines; ++i) {
    const QString driver = numbered("C:\\DRIVERS\\DRV%1.SYS", i), program = numbered("C:\\UTILS\\TOOL%1", i);
    if (!gone(i) && (!fs.createDirectories(QStringLiteral("C:\\DRIVERS")) || !fs.writeFile(driver, "MZ") ||
                     !fs.createDirectories(QStringLiteral("C:\\UTILS")) || !fs.writeFile(program + QStringLiteral(".EXE"), "MZ")))
      return false;
    config += (i % 2 ? "DEVICEHIGH=" : "DEVICE=") + driver.toLatin1() + " /Q\r\n";
    autoexec += program.toLatin1() + " /Q\r\n";
    n += 1 + (gone(i) ? 3 : 1);
  }
  if (!appendLines(fs, QStringLiteral("C:\\Config.sys"), {}, config) ||
      !appendLines(fs, QStringLiteral("C:\\Autoexec.bat"), {}, autoexec))
    return false;
  if (!machine->saveRegistry(&error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return false;
  }
  *checks = n;
  return true;
}

struct Library {
  explicit Library(Machine& m) : os(m), reg(m, state), ini(m) {}
  TOSInfo os;
  SharedState state;
  RegAccess reg;
  IniAccess ini;
};

diagnosis::Findings analyse(Machine& m) {
  Library l(m);
  return diagnosis::Analysis(m, l.reg, l.ini, l.state, {l.os.WindowsDirectory(), l.os.SystemDirectory(), l.os.Fonts()}).run();
}

// Builds every key of the tree by visiting it.
int buildEveryKey(const vt::RegKey& top) {
  int keys = 0;
  std::vector<const vt::RegKey*> stack{&top};
  while (!stack.empty()) {
    const vt::RegKey* k = stack.back();
    stack.pop_back();
    ++keys;
    for (int i = 0; i < k->subkeyCount(); ++i) stack.push_back(k->subkey(i));
  }
  return keys;
}

std::unique_ptr<Machine> openMachine(const QString& folder) {
  QString error;
  auto m = Machine::open(folder, &error);
  if (!m) std::fprintf(stderr, "%s\n", qPrintable(error));
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc > 2 && std::strcmp(argv[1], "--make") == 0) {
    int checks = 0;
    return makeMachine(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, std::atoi(argv[3])) : 200000, &checks) ? 0 : 1;
  }
  if (argc > 2 && (std::strcmp(argv[1], "--open") == 0 || std::strcmp(argv[1], "--analyse") == 0)) {
    auto m = openMachine(QString::fromLocal8Bit(argv[2]));
    if (!m) return 1;
    if (argv[1][2] == 'o') return 0;
    // The drive is counted once, for its free space, before the checks begin; the lines
    // around them mark the checks' own calls in a trace.
    qint64 freeBytes = 0, totalBytes = 0;
    m->files().diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes);
    std::printf("checks begin\n");
    std::fflush(stdout);
    const QString problems = analyse(*m).problems;
    std::printf("checks end: %s\n", qPrintable(problems));
    return 0;
  }

  const int values = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
  QString where = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
  if (where.isEmpty()) where = QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
  QTemporaryDir base(where + QStringLiteral("/analysis_bench-XXXXXX"));
  if (!base.isValid()) return 2;
  const QString folder = base.path() + QStringLiteral("/machine");
  int checks = 0;
  if (!makeMachine(folder, values, &checks)) return 2;
  // A machine copied from a disk has long settled; folders that changed a moment ago are
  // read afresh on every lookup.
  QThread::msleep(200);

  std::vector<double> opens, builtOpens, analyses;
  QString problems;
  int details = 0;
  for (int r = 0; r < kRounds; ++r) {
    QElapsedTimer t;
    t.start();
    auto m = openMachine(folder);
    opens.push_back(double(t.nsecsElapsed()) / 1e9);
    if (!m) return 1;
    t.start();
    const diagnosis::Findings f = analyse(*m);
    analyses.push_back(double(t.nsecsElapsed()) / 1e9);
    problems = f.problems;
    t.start();
    auto built = openMachine(folder);
    if (!built) return 1;
    buildEveryKey(built->registry().localMachine());
    buildEveryKey(built->registry().users());
    builtOpens.push_back(double(t.nsecsElapsed()) / 1e9);
    details = 0;
    for (const QStringList& d : f.details) details += int(d.size());
  }
  const double open = median(opens), builtOpen = median(builtOpens), analysis = median(analyses);
  std::printf("machine: the sample machine with %d registry values, %d + %d files in SYSTEM and FONTS, ~%d paths checked\n",
              values, kSystemFiles, kFontFiles, checks);
  std::printf("found:   %s, %d details\n", qPrintable(problems), details);
  std::printf("medians of %d rounds, each opening the machine afresh\n", kRounds);
  std::printf("open:     %.3f s (Machine::open, hives checked; keys built when looked into)\n", open);
  std::printf("open, every key built: %.3f s\n", builtOpen);
  std::printf("analysis: %.3f s (Analysis::run, %.1f us a path)\n", analysis, checks ? analysis * 1e6 / checks : 0.0);
  std::printf("ratio:    %.2f (analysis / open with every key built)\n", builtOpen > 0 ? analysis / builtOpen : 0.0);
  return 0;
}
