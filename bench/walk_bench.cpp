// SPDX-License-Identifier: GPL-3.0-or-later
// Times a recursive pattern search through the machine's file functions over a large
// tree (the tree walk, and a recursion of FindFirst/FindNext calls) against find(1) over
// the same host folder, and checks that all found the same files.
// Usage: bench_walk_bench [folder for the tree [file]]
#include "benchmachine.h"
#include "platform/attributestore.h"
#include "platform/filesystem.h"
#include "platform/machine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kTop = 20, kMiddle = 10, kLeaves = 10;  // 2,220 folders, 2,000 of them leaves
constexpr int kFilesPerLeaf = 50;                     // 100,000 files

// Mixed spellings, one file in four matching "*.TMP" in some case.
const char* const kNames[] = {"File%1.txt", "DATA%1.dat",  "~df%1.TMP",     "readme%1",    "Setup%1.Exe", "win%1.ini",
                              "Bild%1.bmp", "cache%1.tmp", "Log%1.Tmp.bak", "notes%1.doc", "Temp%1.tMp",  "lib%1.dll",
                              "x%1.tmpx",   "Ar%1.Txt",    "sys%1.vxd",     "k%1.TmP"};

void makeFile(const QByteArray& path) {
  const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) ::close(fd);
}

struct WalkCount {
  qint64 matches = 0;
  qint64 folders = 0;
  qint64 bytes = 0;
};

// As a Windows program walks a tree: one search for the pattern, one for the subfolders.
void findFirstWalk(vt::FileSystem& fs, const QString& dir, WalkCount* count) {
  ++count->folders;
  vt::FindData fd;
  if (auto s = fs.findFirst(dir + QStringLiteral("*.TMP"), vt::AttrAnyFile, &fd)) {
    do {
      ++count->matches;
      count->bytes += fd.size;
    } while (fs.findNext(*s, &fd));
  }
  if (auto s = fs.findFirst(dir + QStringLiteral("*.*"), vt::AttrAnyFile, &fd)) {
    do {
      if ((fd.attributes & vt::AttrDirectory) && !fd.name.startsWith(QLatin1Char('.')))
        findFirstWalk(fs, dir + fd.name + QLatin1Char('\\'), count);
    } while (fs.findNext(*s, &fd));
  }
}

// The walk the clean-up's file search makes; like find's -printf '%s %T@' it takes each
// match's size and time.
struct Counter : vt::TreeVisitor {
  bool enterFolder(const QString&) override {
    ++count.folders;
    return true;
  }
  bool found(const QString&, vt::WalkMatch& m) override {
    ++count.matches;
    count.bytes += m.size;
    stamp ^= m.lastWrite.toMSecsSinceEpoch();
    return true;
  }
  WalkCount count;
  qint64 stamp = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // A second argument "file" measures the attribute store of file systems without xattrs.
  const bool fileStore = argc > 2 && qstrcmp(argv[2], "file") == 0;
  const auto base =
      bench::makeMachineFolder("walk_bench", argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(),
                               QByteArray("[Machine]\r\nPlatform=Win95\r\n") + (fileStore ? "AttributeStore=file\r\n" : "") +
                                   "\r\n[Drive C]\r\nType=fixed\r\nLabel=BENCH\r\n");
  if (!base) return 2;
  const QString folder = base->path() + QStringLiteral("/machine");
  const QString root = folder + QStringLiteral("/drives/C");

  QElapsedTimer timer;
  timer.start();
  qint64 files = 0, expected = 0;
  const int nameKinds = int(sizeof kNames / sizeof kNames[0]);
  for (int t = 0; t < kTop; ++t) {
    for (int m = 0; m < kMiddle; ++m) {
      for (int l = 0; l < kLeaves; ++l) {
        const QString leaf = root + QStringLiteral("/Dir%1/sub%2/Leaf%3").arg(t, 2, 10, QLatin1Char('0')).arg(m).arg(l);
        QDir().mkpath(leaf);
        const QByteArray leafBytes = QFile::encodeName(leaf);
        for (int f = 0; f < kFilesPerLeaf; ++f) {
          const int kind = int((files * 7 + f) % nameKinds);
          const QString name = QString::fromLatin1(kNames[kind]).arg(files);
          if (name.endsWith(QLatin1String(".tmp"), Qt::CaseInsensitive)) ++expected;
          makeFile(leafBytes + '/' + QFile::encodeName(name));
          ++files;
        }
      }
    }
  }
  const double generateSeconds = timer.elapsed() / 1000.0;

  QString error;
  auto machine = vt::Machine::open(folder, &error, vt::MachineOpen::BeingBuilt);
  if (!machine) {
    std::fprintf(stderr, "machine did not open: %s\n", qPrintable(error));
    return 2;
  }
  vt::FileSystem& fs = machine->files();
  // Some files carry attributes, so that the store is read for real values too.
  int hidden = 0;
  for (int t = 0; t < kTop; ++t) {
    const QString dir = QStringLiteral("C:\\DIR%1\\SUB0\\LEAF0").arg(t, 2, 10, QLatin1Char('0'));
    vt::FindData fd;
    if (auto s = fs.findFirst(dir + QStringLiteral("\\*.*"), 0, &fd)) {
      do hidden += fs.setAttributes(dir + QLatin1Char('\\') + fd.name, vt::AttrHidden | vt::AttrArchive);
      while (fs.findNext(*s, &fd));
    }
  }

  constexpr int kRounds = 5;
  std::vector<double> walkTimes, searchTimes, findTimes;
  Counter walked;
  WalkCount searched;
  qint64 findMatches = -1;
  vt::TreeWalkFilter filter;
  filter.patterns = QStringList{QStringLiteral("*.TMP")};
  for (int round = 0; round < kRounds; ++round) {
    timer.restart();
    walked = Counter();
    fs.walkTree(u"C:\\", filter, walked);
    walkTimes.push_back(timer.nsecsElapsed() / 1e9);

    timer.restart();
    searched = WalkCount();
    findFirstWalk(fs, QStringLiteral("C:\\"), &searched);
    searchTimes.push_back(timer.nsecsElapsed() / 1e9);

    timer.restart();
    QProcess find;
    find.start(QStringLiteral("find"),
               {root, QStringLiteral("-iname"), QStringLiteral("*.tmp"), QStringLiteral("-printf"), QStringLiteral("%s %T@\\n")});
    if (!find.waitForFinished(120000) || find.exitCode() != 0) {
      std::fprintf(stderr, "find failed: %s\n", qPrintable(find.errorString()));
      return 2;
    }
    findMatches = find.readAllStandardOutput().count('\n');
    findTimes.push_back(timer.nsecsElapsed() / 1e9);
  }
  const double walkSeconds = bench::median(walkTimes), searchSeconds = bench::median(searchTimes),
               findSeconds = bench::median(findTimes);

  std::printf("tree:     %lld files in %lld folders under %s, generated in %.2f s (attribute store: %s, %d hidden)\n",
              static_cast<long long>(files), static_cast<long long>(walked.count.folders),
              qPrintable(QFileInfo(base->path()).path()), generateSeconds, qPrintable(fs.attributeStore().kind()), hidden);
  std::printf("medians of %d runs\n", kRounds);
  std::printf("walk:     %.3f s, %lld matches of *.TMP (the tree walk)\n", walkSeconds,
              static_cast<long long>(walked.count.matches));
  std::printf("searches: %.3f s, %lld matches of *.TMP (FindFirst/FindNext recursion)\n", searchSeconds,
              static_cast<long long>(searched.matches));
  std::printf("find:     %.3f s, %lld matches of -iname '*.tmp' -printf '%%s %%T@\\n'\n", findSeconds,
              static_cast<long long>(findMatches));
  std::printf("ratio:    %.2f (walk / find), %.2f (searches / find)\n", findSeconds > 0 ? walkSeconds / findSeconds : 0.0,
              findSeconds > 0 ? searchSeconds / findSeconds : 0.0);
  if (walked.count.matches != findMatches || walked.count.matches != expected || searched.matches != expected ||
      searched.bytes != walked.count.bytes) {
    std::printf("MISMATCH: expected %lld\n", static_cast<long long>(expected));
    return 1;
  }
  return 0;
}
