#include "diagnosis/autofix.h"

#include "backup/backups.h"
#include "diagnosis/diagnosis_fixture.h"
#include "platform/atomicfile.h"
#include "platform/regedit4.h"
#include "sysaccess/fakes.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>

#include <gtest/gtest.h>

#include <functional>

namespace vt::diagnosis {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::dword;

// Everything a repair could touch: the registry, and every file outside the program
// directory (whose backup store the repairs fill) with its attributes.
struct Snapshot {
  QByteArray registry;
  QMap<QString, std::pair<QByteArray, quint32>> files;
  bool operator==(const Snapshot&) const = default;
};

struct Pc : test::HealthyPc {
  test::RecordingDialogs dialogs;
  backup::Backups backups{tm.machine(), state, dialogs};
  Repairs repairs{tm.machine(), reg, ini, backups, dialogs, state, w, s, u"C:\\VANTREL"_s};

  Pc() {
    tm.fs().createDirectories(u"C:\\VANTREL\\SAVE");
    backups.setDirectories(u"C:\\VANTREL"_s, w, s);
  }
  int sets() { return QDir(tm.host("C", "VANTREL/BACKUP")).entryList({"BACKUP.*"}, QDir::Files).size(); }
  Snapshot snapshot() {
    Snapshot snap;
    snap.registry = regedit4::exportRegistry(tm.registry());
    const QString root = tm.host("C");
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString rel = it.next().mid(root.size() + 1);
      if (rel.startsWith(u"VANTREL/"_s) || rel.endsWith(u".DAT"_s)) continue;
      const QString win = u"C:\\"_s + QString(rel).replace(u'/', u'\\');
      snap.files[win.toUpper()] = {tm.fs().readFile(win).value_or("?"), tm.fs().attributes(win)};
    }
    return snap;
  }
  QByteArray& fileIn(Snapshot& snap, const QString& win) { return snap.files[win.toUpper()].first; }
};

QByteArray regLine(const char* name, const char* data) { return QByteArray("\"") + name + "\"=" + data + "\r\n"; }

struct Case {
  std::string name;
  char letter;
  std::function<void(Pc&)> plant;
  // What the repair makes of the machine, applied to the snapshot taken before it.
  std::function<void(Pc&, Snapshot&)> change;
  RepairOutcome outcome = RepairOutcome::Repaired;
  int backupSets = 1;
};

std::vector<Case> repairCases() {
  std::vector<Case> cases = {
      {"C", 'C',
       [](Pc& pc) {
         pc.file(pc.w + u"\\SYSTEM.INI"_s, "[386Enh]\r\ndevice=*vshare\r\nDevice=C:\\Scanner\\ScanCtl.386\r\nMinTimeSlice=20\r\n");
         pc.tm.fs().setAttributes(pc.w + u"\\SYSTEM.INI"_s, AttrReadOnly);
       },
       [](Pc& pc, Snapshot& s) {
         pc.fileIn(s, pc.w + u"\\SYSTEM.INI"_s) = "[386Enh]\r\ndevice=*vshare\r\nMinTimeSlice=20\r\n";
         s.files[(pc.w + u"\\SYSTEM.INI"_s).toUpper()].second = 0;
       }},
      {"D keeps the other program", 'D',
       [](Pc& pc) {
         pc.file(u"C:\\TOOLS\\B.EXE"_s);
         pc.file(pc.w + u"\\WIN.INI"_s, "[windows]\r\nload=C:\\TOOLS\\A.EXE C:\\TOOLS\\B.EXE\r\nrun=\r\n");
       },
       // The blank left before B.EXE goes too: the profile functions write values trimmed.
       [](Pc& pc, Snapshot& s) { pc.fileIn(s, pc.w + u"\\WIN.INI"_s) = "[windows]\r\nload=C:\\TOOLS\\B.EXE\r\nrun=\r\n"; }},
      {"E", 'E', [](Pc& pc) { pc.file(pc.w + u"\\WIN.INI"_s, "[windows]\r\nrun=C:\\FAX\\faxwatch.exe\r\n"); },
       [](Pc& pc, Snapshot& s) { pc.fileIn(s, pc.w + u"\\WIN.INI"_s) = "[windows]\r\nrun=\r\n"; }},
      {"F", 'F',
       [](Pc& pc) {
         pc.file(u"C:\\AUTOEXEC.BAT"_s, "@ECHO OFF\r\nc:\\scanner\\scaninit /q\r\nSET X=1\r\n");
         pc.tm.fs().setAttributes(u"C:\\AUTOEXEC.BAT", AttrHidden | AttrArchive);
       },
       [](Pc&, Snapshot& s) { s.files[u"C:\\AUTOEXEC.BAT"_s] = {"@ECHO OFF\r\nSET X=1\r\n", 0}; }},
      {"G", 'G', [](Pc& pc) { pc.file(u"C:\\CONFIG.SYS"_s, "DEVICE=C:\\SCAN\\ASPI.SYS /D\r\nFILES=40\r\n"); },
       [](Pc&, Snapshot& s) { s.files[u"C:\\CONFIG.SYS"_s] = {"FILES=40\r\n", 0}; }},
      {"N", 'N', [](Pc& pc) { pc.key(HKey::LocalMachine, kRunKey)->setValue("Fax", RegSz, "C:\\FAX\\fm.exe /min"); },
       [](Pc&, Snapshot& s) { s.registry.replace(regLine("Fax", "\"C:\\\\FAX\\\\fm.exe /min\""), ""); }},
      {"O copies the safe copy, without a backup", 'O',
       [](Pc& pc) {
         pc.tm.fs().deleteFile(pc.s + u"\\GDI32.DLL"_s);
         pc.file(u"C:\\VANTREL\\SAVE\\gdi32.dll"_s, "SAVED GDI");
       },
       [](Pc& pc, Snapshot& s) { s.files[(pc.s + u"\\gdi32.dll"_s).toUpper()] = {"SAVED GDI", AttrArchive}; }, RepairOutcome::Repaired, 0},
      {"P", 'P', [](Pc& pc) { pc.key(HKey::LocalMachine, kFontsKey)->setValue("Gone (TrueType)", RegSz, "GONE.TTF"); },
       [](Pc&, Snapshot& s) { s.registry.replace(regLine("Gone (TrueType)", "\"GONE.TTF\""), ""); }},
      {"Q leaves it to the Device Manager", 'Q',
       [](Pc& pc) {
         RegKey* d = pc.key(HKey::DynData, u"Config Manager\\Enum\\C29A4990");
         d->setValue("Problem", RegBinary, dword(12));
       },
       [](Pc&, Snapshot&) {}, RepairOutcome::DeviceManager, 0},
  };
  for (const FileSystemSwitch& sw : kFileSystemSwitches) {
    const QByteArray name = QString::fromUtf16(sw.name).toLatin1();
    const QByteArray problem = "dword:0000000" + QByteArray::number(sw.problemValue);
    cases.push_back({name.toStdString(), sw.letter,
                     [name, sw](Pc& pc) { pc.key(HKey::LocalMachine, kFileSystemKey)->setValue(name, RegDword, dword(sw.problemValue)); },
                     [name, problem, sw](Pc&, Snapshot& s) {
                       // AsyncFileCommit is set back to 0; the others go, leaving Windows' own default.
                       s.registry.replace(regLine(name, problem), sw.letter == 'K' ? regLine(name, "dword:00000000") : "");
                     }});
  }
  return cases;
}

TEST(Repairs, EachRepairChangesExactlyWhatItShould) {
  for (const Case& c : repairCases()) {
    SCOPED_TRACE(c.name);
    Pc pc;
    c.plant(pc);
    pc.tm.machine().saveRegistry();
    const Findings found = pc.analyse();
    ASSERT_EQ(found.problems, QString(QLatin1Char(c.letter)));
    Snapshot expected = pc.snapshot();
    c.change(pc, expected);
    const int sets = pc.sets();

    EXPECT_EQ(pc.repairs.repair(QLatin1Char(c.letter), found.detailsOf(QLatin1Char(c.letter))), c.outcome);
    const Snapshot after = pc.snapshot();
    EXPECT_EQ(after.registry, expected.registry);
    EXPECT_EQ(after.files, expected.files);
    EXPECT_EQ(pc.sets(), sets + c.backupSets);
    EXPECT_TRUE(pc.dialogs.shown.isEmpty()) << pc.dialogs.shown.join(u'\n').toStdString();
    if (c.outcome == RepairOutcome::Repaired) {
      EXPECT_EQ(pc.analyse().problems, QString());
    }
  }
}

TEST(Repairs, WhatGoesWrongChangesNothing) {
  const struct {
    const char* name;
    char letter;
    std::function<void(Pc&)> plant;
    std::function<void(Pc&)> beforeRepair;
    RepairOutcome outcome;
    const char* message;  // the last one shown, if any
  } cases[] = {
      {"C: the write fails after the backup", 'C',
       [](Pc& pc) {
         pc.file(pc.w + u"\\SYSTEM.INI"_s, "[386Enh]\r\ndevice=C:\\GONE\\X.386\r\n");
         pc.tm.fs().setAttributes(pc.w + u"\\SYSTEM.INI"_s, AttrReadOnly);
       },
       [](Pc& pc) { pc.backups.onSetsChanged = [] { setAtomicWriteFailureAfter(1); }; }, RepairOutcome::Failed, nullptr},
      {"F: no backup", 'F', [](Pc& pc) { pc.file(u"C:\\AUTOEXEC.BAT"_s, "C:\\GONE\\TSR\r\n"); },
       [](Pc& pc) { pc.file(u"C:\\VANTREL\\BACKUP"_s, "in the way"); }, RepairOutcome::BackupFailed,
       "warning: Fatal error: Unable to create backup of actual startfiles! Action canceled!"},
      {"C: no backup", 'C', [](Pc& pc) { pc.file(pc.w + u"\\SYSTEM.INI"_s, "[386Enh]\r\ndevice=C:\\GONE\\X.386\r\n"); },
       [](Pc& pc) { pc.file(u"C:\\VANTREL\\BACKUP"_s, "in the way"); }, RepairOutcome::BackupFailed,
       "warning: Fatal error: Unable to create backup of actual systemfiles! Action canceled!"},
      {"K: no backup", 'K',
       [](Pc& pc) { pc.key(HKey::LocalMachine, kFileSystemKey)->setValue("AsyncFileCommit", RegDword, dword(1)); },
       [](Pc& pc) { pc.file(u"C:\\VANTREL\\BACKUP"_s, "in the way"); }, RepairOutcome::BackupFailed,
       "warning: Fatal error: Unable to create backup of registry! Action canceled!"},
      {"K: the registry cannot be saved", 'K',
       [](Pc& pc) { pc.key(HKey::LocalMachine, kFileSystemKey)->setValue("AsyncFileCommit", RegDword, dword(1)); },
       [](Pc& pc) { pc.backups.onSetsChanged = [] { setAtomicWriteFailureAfter(1); }; }, RepairOutcome::Failed, nullptr},
      {"D: the program is no longer in the value", 'D',
       [](Pc& pc) { pc.file(pc.w + u"\\WIN.INI"_s, "[windows]\r\nload=C:\\GONE\\A.EXE\r\n"); },
       [](Pc& pc) { pc.file(pc.w + u"\\WIN.INI"_s, "[windows]\r\nload=C:\\GONE\\B.EXE\r\n"); }, RepairOutcome::Failed, nullptr},
      {"O: no safe copy", 'O', [](Pc& pc) { pc.tm.fs().deleteFile(pc.s + u"\\USER32.DLL"_s); }, [](Pc&) {},
       RepairOutcome::Failed, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pc pc;
    c.plant(pc);
    pc.tm.machine().saveRegistry();
    const Findings found = pc.analyse();
    ASSERT_EQ(found.problems, QString(QLatin1Char(c.letter)));
    c.beforeRepair(pc);
    const Snapshot before = pc.snapshot();
    EXPECT_EQ(pc.repairs.repair(QLatin1Char(c.letter), found.detailsOf(QLatin1Char(c.letter))), c.outcome);
    setAtomicWriteFailureAfter(-1);
    pc.tm.reopen();  // what the files hold, not what memory remembers
    EXPECT_TRUE(pc.snapshot() == before);
    if (c.message) {
      ASSERT_FALSE(pc.dialogs.shown.isEmpty());
      EXPECT_EQ(pc.dialogs.shown.last(), QString::fromUtf8(c.message));
    }
  }
}

// A repair cut short (the registry refused the second deletion) is finished by the next one.
TEST(Repairs, ValuesAlreadyGoneCountAsDeleted) {
  Pc pc;
  RegKey* run = pc.key(HKey::LocalMachine, kRunKey);
  run->setValue("Fax", RegSz, "C:\\FAX\\fm.exe");
  run->setValue("Scan", RegSz, "C:\\SCAN\\sc.exe");
  pc.tm.machine().saveRegistry();
  const QStringList names = pc.analyse().detailsOf(u'N');
  ASSERT_EQ(names, (QStringList{"Fax", "Scan"}));
  pc.reg.DeleteRegValue(HKEY_LOCAL_MACHINE, kRunKey, u"Fax");
  EXPECT_EQ(pc.repairs.repair(u'N', names), RepairOutcome::Repaired);
  EXPECT_EQ(pc.reg.ValueNames(HKEY_LOCAL_MACHINE, kRunKey), QStringList{"TaskMonitor"});
}

}  // namespace
}  // namespace vt::diagnosis
