// SPDX-License-Identifier: GPL-3.0-or-later
// Times each pass of the clean-up's useless-file search over a machine of 100,000 files in
// 10,000 folders against find(1) printing the size of the same candidates over the same
// host folder, and checks that both saw the same candidates. Then times the whole search of
// every kind, folder count included, against the one find a user would type for all those
// candidates at once: the first search after the machine is opened (whose drive has a size
// of its own and no FreeBytes, as an imported disk image's) and a search again.
// Usage: bench_search_bench [folder for the tree]
#include "benchmachine.h"
#include "cleanup/filesearch.h"
#include "platform/filesystem.h"
#include "platform/machine.h"
#include "platform/shelllink.h"
#include "sysaccess/files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kTop = 100, kSub = 99, kFilesPerFolder = 10;  // 10,000 folders, 100,000 files

struct NoDialogs : vt::DialogService {
  void information(const QString&) override {}
  void warning(const QString&) override {}
  bool confirm(const QString&) override { return false; }
};
struct NoPump : vt::EventPump {
  void processPendingEvents() override {}
};

void writeFile(const QByteArray& path, const QByteArray& bytes) {
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  if (!bytes.isEmpty() && ::write(fd, bytes.constData(), size_t(bytes.size())) < 0) std::perror("write");
  ::close(fd);
}

// One file in a hundred is a candidate of some pass, as on a well-used disk; the rest are
// ordinary files of mixed spellings.
QByteArray fileFor(qint64 n, QString* name) {
  static const QByteArray gid("\x3F\x5F\x03\x00\x10\x00\x00\x00", 8), grp("PMCC\x01\x00\x00\x00", 8);
  switch (n % 100) {
    case 0: *name = QStringLiteral("MSCREATE.DIR"); return {};
    case 11: *name = QStringLiteral("~df%1.TMP").arg(n); return "temp";
    case 22: *name = QStringLiteral("Setup%1.$$$").arg(n); return "setup";
    case 33: *name = QStringLiteral("help%1.GID").arg(n); return gid;
    case 44: {
      *name = QStringLiteral("Prog%1.lnk").arg(n);
      vt::ShellLink link;
      link.target = QStringLiteral("C:\\PROGRAM FILES\\GONE%1\\APP.EXE").arg(n);
      return vt::writeShellLink(link);
    }
    case 55:
      *name = QStringLiteral("Dos%1.PIF").arg(n);
      return vt::writePif({QStringLiteral("Game"), QStringLiteral("C:\\GAMES\\G%1.EXE").arg(n), QStringLiteral("C:\\GAMES"), {}});
    case 66: *name = QStringLiteral("main%1.grp").arg(n); return grp;
    default: break;
  }
  static const char* const names[] = {"File%1.txt", "DATA%1.dat", "readme%1",  "Setup%1.Exe", "win%1.ini",
                                      "Bild%1.bmp", "x%1.tmpx",   "lib%1.dll", "notes%1.doc", "sys%1.vxd"};
  *name = QString::fromLatin1(names[n % 10]).arg(n);
  return "ordinary";
}

double timeFind(const QString& root, const QStringList& patterns, qint64* lines) {
  QStringList args{root, QStringLiteral("(")};
  for (const QString& p : patterns) {
    if (args.size() > 2) args << QStringLiteral("-o");
    args << QStringLiteral("-iname") << p;
  }
  args << QStringLiteral(")") << QStringLiteral("-printf") << QStringLiteral("%s\\n");
  QElapsedTimer timer;
  timer.start();
  QProcess find;
  find.start(QStringLiteral("find"), args);
  if (!find.waitForFinished(120000) || find.exitCode() != 0) return -1;
  *lines = find.readAllStandardOutput().count('\n');
  return timer.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const auto base = bench::makeMachineFolder("search_bench", argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(),
                                             "[Machine]\r\nPlatform=Win95\r\n\r\n[Drive C]\r\nType=fixed\r\nLabel=BENCH\r\n"
                                             // A size of its own and no FreeBytes, as an imported disk image has.
                                             "TotalBytes=2147483648\r\n");
  if (!base) return 2;
  const QString folder = base->path() + QStringLiteral("/machine");
  const QString root = folder + QStringLiteral("/drives/C");
  qint64 files = 0;
  for (int t = 0; t < kTop; ++t) {
    for (int s = -1; s < kSub; ++s) {
      const QString dir = s < 0 ? root + QStringLiteral("/Dir%1").arg(t) : root + QStringLiteral("/Dir%1/Sub%2").arg(t).arg(s);
      QDir().mkpath(dir);
      const QByteArray dirBytes = QFile::encodeName(dir);
      for (int f = 0; f < kFilesPerFolder; ++f) {
        QString name;
        const QByteArray bytes = fileFor(files++ + (s < 0 ? 50 : 0), &name);
        writeFile(dirBytes + '/' + QFile::encodeName(name), bytes);
      }
    }
  }

  QString error;
  auto machine = vt::Machine::open(folder, &error, vt::MachineOpen::BeingBuilt);
  if (!machine) {
    std::fprintf(stderr, "machine did not open: %s\n", qPrintable(error));
    return 2;
  }
  vt::SharedState state;
  NoDialogs dialogs;
  NoPump pump;
  vt::OptionFlags flags;
  vt::FileAccess access(*machine, state, dialogs, pump);
  vt::cleanup::DeletionList list;
  vt::cleanup::FileSearch search(machine->files(), access, state, pump, flags, QStringLiteral("C:\\WINDOWS"), list);

  struct Pass {
    const char* name;
    void (vt::cleanup::FileSearch::*run)(const QString&);
    QStringList findPatterns;
  } passes[] = {
      {"MSCREATE.DIR", &vt::cleanup::FileSearch::SearchMscreateDir, {QStringLiteral("MSCREATE.DIR")}},
      {"temporary", &vt::cleanup::FileSearch::SearchTempFiles, {QStringLiteral("~*.tmp"), QStringLiteral("*.$$$")}},
      {"GID", &vt::cleanup::FileSearch::SearchGidFiles, {QStringLiteral("*.gid")}},
      {"shortcuts", &vt::cleanup::FileSearch::SearchShortcuts, {QStringLiteral("*.lnk"), QStringLiteral("*.pif")}},
      {"Windows 3.x", &vt::cleanup::FileSearch::SearchWin3Files, {QStringLiteral("*.grp")}},
  };
  constexpr int kRounds = 5;
  std::printf("tree: %lld files in %d folders; medians of %d runs\n", static_cast<long long>(files), kTop * (kSub + 1), kRounds);
  std::printf("%-14s %9s %9s %7s %9s\n", "pass", "search s", "find s", "ratio", "listed");
  bool same = true;
  for (const Pass& p : passes) {
    std::vector<double> ours, theirs;
    qint64 findLines = 0;
    for (int round = 0; round < kRounds; ++round) {
      list.clear();
      QElapsedTimer timer;
      timer.start();
      (search.*p.run)(QStringLiteral("C:\\"));
      ours.push_back(timer.nsecsElapsed() / 1e9);
      theirs.push_back(timeFind(root, p.findPatterns, &findLines));
    }
    const double a = bench::median(ours), b = bench::median(theirs);
    std::printf("%-14s %9.3f %9.3f %7.2f %9d\n", p.name, a, b, b > 0 ? a / b : 0.0, list.size());
    // Every candidate find sees is listed: the shortcuts all point at programs that are gone.
    if (list.size() != findLines) {
      std::printf("MISMATCH: find saw %lld\n", static_cast<long long>(findLines));
      same = false;
    }
  }

  QStringList allPatterns;
  for (const Pass& p : passes) allPatterns << p.findPatterns;
  // The first search after the machine is opened, as a user starts one, and a search again.
  for (const bool fresh : {true, false}) {
    std::vector<double> ours, theirs;
    qint64 findLines = 0;
    int listed = 0;
    for (int round = 0; round < kRounds; ++round) {
      auto opened = fresh ? vt::Machine::open(folder, &error, vt::MachineOpen::BeingBuilt) : nullptr;
      if (fresh && !opened) return 2;
      vt::Machine& m = fresh ? *opened : *machine;
      vt::FileAccess files(m, state, dialogs, pump);
      vt::cleanup::DeletionList found;
      vt::cleanup::FileSearch whole(m.files(), files, state, pump, flags, QStringLiteral("C:\\WINDOWS"), found);
      QElapsedTimer timer;
      timer.start();
      whole.run({true, true, true, true, true});
      ours.push_back(timer.nsecsElapsed() / 1e9);
      listed = found.size();
      theirs.push_back(timeFind(root, allPatterns, &findLines));
    }
    const double a = bench::median(ours), b = bench::median(theirs);
    std::printf("%-14s %9.3f %9.3f %7.2f %9d\n", fresh ? "first search" : "search again", a, b, b > 0 ? a / b : 0.0, listed);
    if (listed != findLines) {
      std::printf("MISMATCH: find saw %lld\n", static_cast<long long>(findLines));
      same = false;
    }
  }

  // What the search keeps of the drive between the count and the passes, and what a listing
  // of every entry would take.
  struct Entered : vt::TreeVisitor {
    bool enterFolder(const QString&) override { return true; }
    bool found(const QString&, vt::WalkMatch&) override { return true; }
  } entered;
  for (const QStringList& patterns : {allPatterns, QStringList{QStringLiteral("*")}}) {
    vt::TreeWalkFilter filter;
    filter.patterns = patterns;
    vt::TreeListing listing;
    machine->files().listTree(u"C:\\", filter, entered, &listing);
    std::printf("listing of %-10s %6d folders %7d entries %8.2f MB\n", patterns.size() > 1 ? "candidates" : "all files",
                listing.folderCount(), listing.entryCount(), listing.bytesUsed() / 1e6);
  }
  return same ? 0 : 1;
}
