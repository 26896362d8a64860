// SPDX-License-Identifier: GPL-3.0-or-later
// The restore of a whole set's registry on a machine whose registry holds 200,000 values,
// merged and replaced, against what no restore can do without in the same run: reading the
// set's REGEDIT4 export, merging it into the registry and writing the hive files back.
//
//   bench_restore_bench [VALUES] [FOLDER]   (default 200000, in memory where it can)
#include "backup/backups.h"
#include "benchmachine.h"
#include "benchregistry.h"
#include "platform/machine.h"
#include "platform/regedit4.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

class QuietDialogs : public vt::DialogService {
 public:
  void information(const QString&) override {}
  void warning(const QString& text) override { warnings << text; }
  bool confirm(const QString&) override { return true; }
  QStringList warnings;
};

// Times one run of `f`, after an untimed `prepare`, into the best so far; false when either
// failed.
bool timed(const std::function<bool()>& prepare, const std::function<bool()>& f, double* best) {
  if (!prepare()) return false;
  QElapsedTimer t;
  t.start();
  const bool ok = f();
  *best = std::min(*best, double(t.nsecsElapsed()) / 1e9);
  return ok;
}

void row(const char* what, double s, double reference, bool ok) {
  if (!ok) {
    std::printf("%-34s FAILED\n", what);
    return;
  }
  std::printf("%-34s %10.3f %12.3f %9.2fx\n", what, s, reference, reference > 0 ? s / reference : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  const int values = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
  const auto base = bench::makeMachineFolder("restore_bench", argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString(),
                                             "[Machine]\r\nPlatform=Win95\r\n\r\n[Drive C]\r\nType=fixed\r\nLabel=BENCH\r\n");
  if (!base) return 2;
  QString error;
  auto machine = vt::Machine::open(base->path() + QStringLiteral("/machine"), &error, vt::MachineOpen::BeingBuilt);
  if (!machine) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 2;
  }
  vt::FileSystem& fs = machine->files();
  vt::Registry& reg = machine->registry();
  bench::buildMachine(reg.localMachine(), values);
  reg.createKey(vt::HKey::Users, u".Default\\Control Panel\\Desktop")->setValue("Wallpaper", vt::RegSz, "(None)");
  fs.createDirectories(u"C:\\WINDOWS");
  fs.createDirectories(u"C:\\VANTREL");
  for (const char* f : {"C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\SYSTEM.INI", "C:\\CONFIG.SYS", "C:\\AUTOEXEC.BAT", "C:\\MSDOS.SYS"})
    fs.writeFile(QString::fromLatin1(f), "[x]\r\n");
  if (!machine->saveRegistry(&error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 2;
  }

  vt::SharedState state;
  QuietDialogs dialogs;
  vt::backup::Backups backups(*machine, state, dialogs);
  backups.setDirectories(QStringLiteral("C:\\VANTREL"), QStringLiteral("C:\\WINDOWS"), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  if (!backups.AutoBackup(vt::backup::AutoFirstStart)) {
    std::fprintf(stderr, "the set could not be made: %s\n", qPrintable(backups.failureReason()));
    return 2;
  }
  const QString set = QStringLiteral("C:\\VANTREL\\BACKUP\\BACKUP.000");
  const QString exportFile = QStringLiteral("C:\\VANTREL\\BACKUP\\REGISTRY.000");
  const qint64 exportBytes = fs.fileSize(exportFile);
  const qint64 hiveBytes = fs.fileSize(machine->systemDatPath());
  std::printf("registry: %d values; export %.1f MiB, SYSTEM.DAT %.1f MiB\n\n", values, double(exportBytes) / (1 << 20),
              double(hiveBytes) / (1 << 20));

  // Each run starts from a registry the set differs from, as a restore does.
  auto change = [&] {
    reg.createKey(vt::HKey::LocalMachine, u"SOFTWARE\\Changed")->setValue("v", vt::RegSz, "since the backup");
    return machine->saveRegistry();
  };
  const vt::backup::Components registryOnly{true, false, false, false, false, false};
  auto reference = [&] {
    const auto text = fs.readFile(exportFile);
    return text && vt::regedit4::importText(*text, reg, vt::regedit4::ImportMode::Merge, nullptr) && machine->saveRegistry();
  };
  // The three take turns, so that a busy moment of the machine falls on all of them alike;
  // the best of each counts.
  bool refOk = true, mergeOk = true, replaceOk = true;
  double ref = 1e9, merge = 1e9, replace = 1e9;
  for (int round = 0; round < 5; ++round) {
    refOk = timed(change, reference, &ref) && refOk;
    mergeOk = timed(
                  change, [&] { return backups.RestoreBackupSet(set, registryOnly, false); }, &merge) &&
              mergeOk;
    replaceOk = timed(
                    change, [&] { return backups.RestoreBackupSet(set, registryOnly, true); }, &replace) &&
                replaceOk;
  }
  replaceOk = replaceOk && !reg.openKey(vt::HKey::LocalMachine, u"SOFTWARE\\Changed");

  std::printf("%-34s %10s %12s %10s\n", "operation", "seconds", "reference s", "ratio");
  std::printf("%-34s %10.3f\n", "REGEDIT4 merge + copy back", ref);
  row("restore of a set's registry, merge", merge, ref, refOk && mergeOk);
  row("restore of a set's registry, /c", replace, ref, refOk && replaceOk);
  for (const QString& w : dialogs.warnings) std::fprintf(stderr, "%s\n", qPrintable(w));
  return refOk && mergeOk && replaceOk ? 0 : 1;
}
