// SPDX-License-Identifier: GPL-3.0-or-later
// Times three file calls a machine copied from a real disk pays often, each against its
// reference in the same run: exists() of a name spelt in another case than the folder
// stores it, and of its 8.3 alias (as registries name files), against the same name in its
// stored case, in a folder of 2,000 entries; and
// the free space of a drive whose machine.ini gives TotalBytes but no FreeBytes, 100,000
// files large, per call after the first.
// Usage: bench_files_bench [folder for the machine]
#include "benchmachine.h"
#include "platform/filesystem.h"
#include "platform/machine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFolderEntries = 2000;
constexpr int kFolders = 50;  // of 2,000 files each: 100,000 files

// Microseconds per call of `call`, the median of several rounds of `perRound` calls.
template <typename F>
double microsPerCall(int perRound, F call) {
  std::vector<double> rounds;
  QElapsedTimer t;
  for (int r = 0; r < 7; ++r) {
    t.start();
    for (int i = 0; i < perRound; ++i) call(i);
    rounds.push_back(t.nsecsElapsed() / 1e3 / perRound);
  }
  return bench::median(rounds);
}

void age(const QByteArray& folder) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {900000000, 0}};
  ::utimensat(AT_FDCWD, folder.constData(), times, 0);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const auto base =
      bench::makeMachineFolder("files_bench", argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(),
                               "[Machine]\r\nPlatform=Win95\r\n\r\n[Drive C]\r\nType=fixed\r\nTotalBytes=2147483648\r\n");
  if (!base) return 2;
  const QString folder = base->path() + QStringLiteral("/machine");
  const QString root = folder + QStringLiteral("/drives/C");
  for (int d = 0; d < kFolders; ++d) {
    const QByteArray dir = QFile::encodeName(root + QStringLiteral("/Folder%1").arg(d, 2, 10, QLatin1Char('0')));
    ::mkdir(dir.constData(), 0755);
    for (int f = 0; f < kFolderEntries; ++f) {
      const QByteArray path = dir + QStringLiteral("/Document %1.Txt").arg(f, 4, 10, QLatin1Char('0')).toUtf8();
      const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd >= 0) {
        if (::write(fd, "x", 1) != 1) return 2;
        ::close(fd);
      }
    }
    // A copied disk's folders have long settled.
    age(dir);
  }

  QString error;
  auto machine = vt::Machine::open(folder, &error, vt::MachineOpen::BeingBuilt);
  if (!machine) {
    std::fprintf(stderr, "machine did not open: %s\n", qPrintable(error));
    return 2;
  }
  vt::FileSystem& fs = machine->files();

  // Names spread over the folder, so that no lookup is luckier than another.
  auto name = [](int i, bool stored) {
    const QString n = QStringLiteral("C:\\Folder07\\Document %1.Txt").arg((i * 7919) % kFolderEntries, 4, 10, QLatin1Char('0'));
    return stored ? n : n.toUpper();
  };
  int misses = 0;
  const double storedCase = microsPerCall(2000, [&](int i) { misses += !fs.exists(name(i, true)); });
  const double otherCase = microsPerCall(2000, [&](int i) { misses += !fs.exists(name(i, false)); });
  // The aliases are given out by the first question for one; that happens once per folder.
  QStringList aliases;
  for (int i = 0; i < 2000; ++i) aliases.append(fs.shortPathName(name(i, true)).value_or(QString()));
  const double byAlias = microsPerCall(2000, [&](int i) { misses += !fs.exists(aliases[i]); });

  QElapsedTimer t;
  t.start();
  qint64 freeBytes = 0, totalBytes = 0;
  fs.diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes);
  const double firstCall = t.nsecsElapsed() / 1e3;
  const qint64 firstFree = freeBytes;
  const double perCall = microsPerCall(200,
                                       [&](int) {
                                         quint32 spc, bps, freeClusters, totalClusters;
                                         fs.diskFreeSpace(u"C:\\", &spc, &bps, &freeClusters, &totalClusters);
                                         fs.diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes);
                                       }) /
                         2;

  std::printf("exists:     %.1f us in another case, %.1f us in the stored case (folder of %d entries), ratio %.2f\n", otherCase,
              storedCase, kFolderEntries, storedCase > 0 ? otherCase / storedCase : 0.0);
  std::printf("exists:     %.1f us by 8.3 alias, %.1f us by long name, ratio %.2f\n", byAlias, storedCase,
              storedCase > 0 ? byAlias / storedCase : 0.0);
  std::printf("free space: %.0f us the first call (counts %d files), %.2f us per call after it, ratio %.4f\n", firstCall,
              kFolders * kFolderEntries, perCall, firstCall > 0 ? perCall / firstCall : 0.0);
  if (misses || freeBytes != firstFree || totalBytes != 2147483648LL) {
    std::printf("MISMATCH: %d names not found, free %lld then %lld\n", misses, static_cast<long long>(firstFree),
                static_cast<long long>(freeBytes));
    return 1;
  }
  return 0;
}
