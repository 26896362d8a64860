// SPDX-License-Identifier: GPL-3.0-or-later
// Loads and saves of a large registry, each against plainly moving the same number of
// bytes through memory and disk, so the ratios say how much the formats cost on top of
// the I/O they cannot avoid.
//
//   bench_registry_bench [VALUES]                 (default 200000)
//   bench_registry_bench --into MACHINE [VALUES]  adds a registry of that size to a
//                                                 machine's SYSTEM.DAT, for bench/startup.sh
#include "benchregistry.h"
#include "platform/creghive.h"
#include "platform/machine.h"
#include "platform/regedit4.h"
#include "platform/registry.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

using vt::RegKey;

using bench::buildMachine;

struct Stats {
  int keys = 0;
  int values = 0;
};

Stats count(const RegKey& k) {
  Stats s{1, k.valueCount()};
  for (int i = 0; i < k.subkeyCount(); ++i) {
    const Stats c = count(*k.subkey(i));
    s.keys += c.keys;
    s.values += c.values;
  }
  return s;
}

// Best of a few runs, to keep other processes' noise out of the figures.
double seconds(const std::function<void()>& f, int runs = 3) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    QElapsedTimer t;
    t.start();
    f();
    best = std::min(best, double(t.nsecsElapsed()) / 1e9);
  }
  return best;
}

// The reference: the same number of bytes copied in memory, written to a file and read
// back.
double copyThroughDisk(const QByteArray& bytes, const QString& path) {
  return seconds([&] {
    QByteArray copy(bytes.constData(), bytes.size());
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(copy) != copy.size()) std::abort();
    out.close();
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly) || in.readAll().size() != copy.size()) std::abort();
  });
}

// Bytes the allocator has handed out and not taken back, mapped chunks included.
qint64 heapInUse() {
  const struct mallinfo2 m = mallinfo2();
  return qint64(m.uordblks + m.hblkhd);
}

// The process's peak resident size in MiB, as the kernel counts it.
double peakRssMiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return 0;
}

int addToMachine(const QString& folder, int values) {
  QString error;
  auto machine = vt::Machine::open(folder, &error);
  if (!machine) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  buildMachine(machine->registry().localMachine(), values);
  if (!machine->saveRegistry(&error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  const Stats s = count(machine->registry().localMachine());
  std::printf("%s: SYSTEM.DAT now holds %d keys, %d values\n", qPrintable(folder), s.keys, s.values);
  return 0;
}

void row(const char* what, qsizetype bytes, double s, double reference) {
  std::printf("%-28s %12lld %10.3f %12.4f %9.1fx\n", what, static_cast<long long>(bytes), s, reference,
              reference > 0 ? s / reference : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--into") == 0)
    return addToMachine(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, std::atoi(argv[3])) : 200000);
  const int values = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
  QTemporaryDir dir;
  if (!dir.isValid()) return 1;
  const QString scratch = dir.filePath(QStringLiteral("copy.bin"));

  vt::Registry reg;
  QElapsedTimer build;
  build.start();
  buildMachine(reg.localMachine(), values);
  const Stats made = count(reg.localMachine());
  std::printf("registry: %d keys, %d values (built in %.2f s)\n\n", made.keys, made.values, double(build.nsecsElapsed()) / 1e9);

  // Vantrel writes trees it has loaded from a hive (with a few changes), so the round trip
  // is timed on such a tree; a tree built key by key, its strings scattered over the heap,
  // is timed for comparison.
  QByteArray hive = vt::creg::writeHive(reg.localMachine());
  const double writeBuilt = seconds([&] { hive = vt::creg::writeHive(reg.localMachine()); });
  const double hiveRef = copyThroughDisk(hive, scratch);
  bool readOk = true;
  const double read = seconds([&] {
    RegKey back;
    readOk = vt::creg::readHive(hive, back, nullptr) && count(back).values == made.values;
  });
  RegKey loaded;
  readOk = readOk && vt::creg::readHive(hive, loaded, nullptr);
  QByteArray again;
  const double write = seconds([&] { again = vt::creg::writeHive(loaded); });
  readOk = readOk && again == hive;
  // What a loaded tree costs to keep and to let go of, as at the start and the end of a run:
  // as read (its keys built when first looked into) and once every key has been built.
  {
    const qint64 before = heapInUse();
    auto back = std::make_unique<RegKey>();
    vt::creg::readHive(hive, *back, nullptr);
    const qint64 read = heapInUse() - before;
    count(*back);
    const qint64 held = heapInUse() - before;
    QElapsedTimer t;
    t.start();
    back.reset();
    const double release = double(t.nsecsElapsed()) / 1e9;
    std::printf(
        "loaded tree: %.1f MiB in use as read, %.1f MiB (%.0f bytes a value) with every key built, hive file "
        "%.1f MiB; released in %.3f s\n",
        double(read) / (1 << 20), double(held) / (1 << 20), double(held) / made.values, double(hive.size()) / (1 << 20), release);
  }
  std::printf("peak resident size of this run: %.1f MiB (the generated tree and its copies included)\n\n", peakRssMiB());
  std::printf("%-28s %12s %10s %12s %10s\n", "operation", "bytes", "seconds", "reference s", "ratio");
  row("CREG writeHive", hive.size(), write, hiveRef);
  row("CREG writeHive, built tree", hive.size(), writeBuilt, hiveRef);
  if (readOk) {
    row("CREG readHive", hive.size(), read, hiveRef);
    row("CREG write + read", hive.size(), write + read, hiveRef);
  } else {
    std::printf("%-26s FAILED: the hive did not read back whole\n", "CREG readHive");
  }

  QByteArray text;
  // Best of three, as the reference is.
  const double exportTime = seconds([&] { text = vt::regedit4::exportRegistry(reg); });
  if (text.isEmpty()) {
    std::printf("%-26s regedit4 not available\n", "REGEDIT4 export");
    std::printf("%-26s regedit4 not available\n", "REGEDIT4 import");
    return readOk ? 0 : 1;
  }
  const double textRef = copyThroughDisk(text, scratch);
  row("REGEDIT4 export", text.size(), exportTime, textRef);
  bool imported = true;
  const double importTime = seconds([&] {
    vt::Registry fresh;
    imported = vt::regedit4::importText(text, fresh, vt::regedit4::ImportMode::Merge, nullptr) &&
               count(fresh.localMachine()).values == made.values;
  });
  if (imported)
    row("REGEDIT4 import", text.size(), importTime, textRef);
  else
    std::printf("%-26s regedit4 not available\n", "REGEDIT4 import");
  return readOk ? 0 : 1;
}
