// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/autofix.h"

#include "backup/backups.h"
#include "diagnosis/diagnosis_fixture.h"
#include "platform/atomicfile.h"
#include "platform/regedit4.h"
#include "support/win95install.h"
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

// The registry and every file outside the program directory (where the backups go),
// with its attributes.
struct Snapshot {
  QByteArray registry;
  QMap<QString, std::pair<QByteArray, quint32>> files;
};

struct Pc : test::HealthyPc {
  test::RecordingDialogs dialogs;
  backup::Backups backups{tm.machine(), state, dialogs};
  Repairs repairs{tm.machine(), reg, ini, backups, dialogs, state, w, s, u"C:\\VANTREL"_s};

  Pc() {
    tm.fs().createDirectories(u"C:\\VANTREL");
    backups.setDirectories(u"C:\\VANTREL"_s, w, s);
  }
  int sets() { return QDir(tm.host("C", "VANTREL/BACKUP")).entryList({"BACKUP.*"}, QDir::Files).size(); }
  Snapshot snapshot() {
    Snapshot snap{regedit4::exportRegistry(tm.registry()), {}};
    QDirIterator it(tm.host("C"), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QString win = u"C:\\"_s + it.next().mid(tm.host("C").size() + 1).replace(u'/', u'\\');
      if (!win.startsWith(u"C:\\VANTREL\\"_s) && !win.endsWith(u".DAT"_s))
        snap.files[win.toUpper()] = {tm.fs().readFile(win).value_or("?"), tm.fs().attributes(win)};
    }
    return snap;
  }
  // Plants, analyses, and hands back what the analysis noted for the one letter it must find.
  QStringList found(char letter, const std::function<void(Pc&)>& plant) {
    plant(*this);
    tm.machine().saveRegistry();
    const Findings f = analyse();
    EXPECT_EQ(f.problems, QString(QLatin1Char(letter)));
    return f.detailsOf(QLatin1Char(letter));
  }
};

QByteArray regLine(const QByteArray& name, const QByteArray& data) { return '"' + name + "\"=" + data + "\r\n"; }

TEST(Repairs, EachRepairChangesExactlyWhatItShould) {
  struct Case {
    std::string name;
    char letter;
    std::function<void(Pc&)> plant;
    std::function<void(Snapshot&)> change;  // applied to the snapshot taken before the repair
    RepairOutcome outcome = RepairOutcome::Repaired;
    int backupSets = 1;
  };
  std::vector<Case> cases = {
      {"C", 'C',
       [](Pc& pc) {
         pc.file(u"C:\\WINDOWS\\SYSTEM.INI"_s,
                 "[386Enh]\r\ndevice=*vshare\r\nDevice=C:\\Scan\\ScanCtl.386\r\nMinTimeSlice=20\r\n");
         pc.tm.fs().setAttributes(u"C:\\WINDOWS\\SYSTEM.INI", AttrReadOnly);
       },
       [](Snapshot& s) {
         s.files[u"C:\\WINDOWS\\SYSTEM.INI"_s] = {"[386Enh]\r\ndevice=*vshare\r\nMinTimeSlice=20\r\n", AttrArchive};
       }},
      {"D", 'D',
       [](Pc& pc) {
         pc.file(u"C:\\TOOLS\\B.EXE"_s);
         pc.file(u"C:\\WINDOWS\\WIN.INI"_s, "[windows]\r\nload=C:\\TOOLS\\A.EXE C:\\TOOLS\\B.EXE\r\nrun=\r\n");
       },
       [](Snapshot& s) { s.files[u"C:\\WINDOWS\\WIN.INI"_s].first = "[windows]\r\nload=C:\\TOOLS\\B.EXE\r\nrun=\r\n"; }},
      {"E", 'E', [](Pc& pc) { pc.file(u"C:\\WINDOWS\\WIN.INI"_s, "[windows]\r\nrun=C:\\FAX\\faxwatch.exe\r\n"); },
       [](Snapshot& s) { s.files[u"C:\\WINDOWS\\WIN.INI"_s].first = "[windows]\r\nrun=\r\n"; }},
      {"F", 'F',
       [](Pc& pc) {
         pc.file(u"C:\\AUTOEXEC.BAT"_s, "@ECHO OFF\r\nc:\\scanner\\scaninit /q\r\nSET X=1\r\n");
         pc.tm.fs().setAttributes(u"C:\\AUTOEXEC.BAT", AttrHidden | AttrArchive);
       },
       [](Snapshot& s) {
         s.files[u"C:\\AUTOEXEC.BAT"_s] = {"@ECHO OFF\r\nSET X=1\r\n", AttrArchive};
       }},
      {"G", 'G', [](Pc& pc) { pc.file(u"C:\\CONFIG.SYS"_s, "DEVICE=C:\\SCAN\\ASPI.SYS /D\r\nFILES=40\r\n"); },
       [](Snapshot& s) {
         s.files[u"C:\\CONFIG.SYS"_s] = {"FILES=40\r\n", AttrArchive};
       }},
      {"N", 'N', [](Pc& pc) { pc.key(HKey::LocalMachine, kRunKey)->setValue("Fax", RegSz, "C:\\FAX\\fm.exe /min"); },
       [](Snapshot& s) { s.registry.replace(regLine("Fax", "\"C:\\\\FAX\\\\fm.exe /min\""), ""); }},
      {"O: the copy replaces nothing, so no backup", 'O',
       [](Pc& pc) {
         pc.tm.fs().deleteFile(u"C:\\WINDOWS\\SYSTEM\\GDI32.DLL");
         pc.file(u"C:\\VANTREL\\SAVE\\gdi32.dll"_s, "SAVED GDI");
       },
       [](Snapshot& s) {
         s.files[u"C:\\WINDOWS\\SYSTEM\\GDI32.DLL"_s] = {"SAVED GDI", AttrArchive};
       },
       RepairOutcome::Repaired, 0},
      {"P", 'P', [](Pc& pc) { pc.key(HKey::LocalMachine, kFontsKey)->setValue("Gone (TrueType)", RegSz, "GONE.TTF"); },
       [](Snapshot& s) { s.registry.replace(regLine("Gone (TrueType)", "\"GONE.TTF\""), ""); }},
      {"Q: left to the Device Manager", 'Q',
       [](Pc& pc) { pc.key(HKey::DynData, u"Config Manager\\Enum\\C29A4990")->setValue("Problem", RegBinary, dword(12)); },
       [](Snapshot&) {}, RepairOutcome::DeviceManager, 0},
  };
  for (const FileSystemSwitch& sw : kFileSystemSwitches) {
    const QByteArray name = QString::fromUtf16(sw.name).toLatin1();
    // AsyncFileCommit is set back to 0; the others go, so Windows takes its own default.
    const QByteArray repaired = sw.letter == 'K' ? regLine(name, "dword:00000000") : QByteArray();
    cases.push_back(
        {name.toStdString(), sw.letter,
         [=](Pc& pc) { pc.key(HKey::LocalMachine, kFileSystemKey)->setValue(name, RegDword, dword(sw.problemValue)); },
         [=](Snapshot& s) {
           s.registry.replace(regLine(name, "dword:0000000" + QByteArray::number(sw.problemValue)), repaired);
         }});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pc pc;
    const QStringList details = pc.found(c.letter, c.plant);
    Snapshot expected = pc.snapshot();
    c.change(expected);
    const int sets = pc.sets();
    EXPECT_EQ(pc.repairs.repair(QLatin1Char(c.letter), details), c.outcome);
    const Snapshot after = pc.snapshot();
    EXPECT_EQ(after.registry, expected.registry);
    EXPECT_TRUE(after.files == expected.files);
    EXPECT_EQ(pc.sets(), sets + c.backupSets);
    EXPECT_EQ(pc.dialogs.shown, QStringList());
    if (c.outcome == RepairOutcome::Repaired) {
      EXPECT_EQ(pc.analyse().problems, QString());
    }
  }
}

TEST(Repairs, WhatGoesWrongChangesNothing) {
  const auto blockBackups = [](Pc& pc) { pc.file(u"C:\\VANTREL\\BACKUP"_s, "in the way"); };
  const auto failWritesAfterBackup = [](Pc& pc) { pc.backups.onSetsChanged = [] { setAtomicWriteFailureAfter(1); }; };
  const auto oldDriver = [](Pc& pc) {
    pc.file(u"C:\\WINDOWS\\SYSTEM.INI"_s, "[386Enh]\r\ndevice=C:\\GONE\\X.386\r\n");
    pc.tm.fs().setAttributes(u"C:\\WINDOWS\\SYSTEM.INI", AttrReadOnly);
  };
  const auto syncOff = [](Pc& pc) {
    pc.key(HKey::LocalMachine, kFileSystemKey)->setValue("AsyncFileCommit", RegDword, dword(1));
  };
  const struct {
    const char* name;
    char letter;
    std::function<void(Pc&)> plant, beforeRepair;
    RepairOutcome outcome;
    const char* message;  // the last one shown
  } cases[] = {
      {"C: the write fails", 'C', oldDriver, failWritesAfterBackup, RepairOutcome::Failed, nullptr},
      {"F: no backup", 'F', [](Pc& pc) { pc.file(u"C:\\AUTOEXEC.BAT"_s, "C:\\GONE\\TSR\r\n"); }, blockBackups,
       RepairOutcome::BackupFailed, "warning: Fatal error: Unable to create backup of actual startfiles! Action canceled!"},
      {"K: no backup", 'K', syncOff, blockBackups, RepairOutcome::BackupFailed,
       "warning: Fatal error: Unable to create backup of registry! Action canceled!"},
      {"K: the registry cannot be saved", 'K', syncOff, failWritesAfterBackup, RepairOutcome::Failed, nullptr},
      {"D: the program left the value", 'D',
       [](Pc& pc) { pc.file(u"C:\\WINDOWS\\WIN.INI"_s, "[windows]\r\nload=C:\\GONE\\A.EXE\r\n"); },
       [](Pc& pc) { pc.file(u"C:\\WINDOWS\\WIN.INI"_s, "[windows]\r\nload=C:\\GONE\\B.EXE\r\n"); }, RepairOutcome::Failed,
       nullptr},
      {"O: no safe copy", 'O', [](Pc& pc) { pc.tm.fs().deleteFile(u"C:\\WINDOWS\\SYSTEM\\USER32.DLL"); }, [](Pc&) {},
       RepairOutcome::Failed, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pc pc;
    const QStringList details = pc.found(c.letter, c.plant);
    c.beforeRepair(pc);
    const Snapshot before = pc.snapshot();
    EXPECT_EQ(pc.repairs.repair(QLatin1Char(c.letter), details), c.outcome);
    setAtomicWriteFailureAfter(-1);
    pc.tm.reopen();  // what the files hold, not what memory remembers
    const Snapshot after = pc.snapshot();
    EXPECT_EQ(after.registry, before.registry);
    EXPECT_TRUE(after.files == before.files);
    if (c.message) {
      EXPECT_EQ(pc.dialogs.shown.value(pc.dialogs.shown.size() - 1), QString::fromUtf8(c.message));
    }
  }
}

// On a machine shaped like a real installation, whose INI files, start files and registry
// name drivers, programs and fonts by short paths, the analysis finds nothing; once one of
// them is gone it finds that entry alone, and AUTOFIX takes out that entry and no other.
TEST(Repairs, OnARealInstallationOnlyTheEntryOfAGoneFileIsFoundAndRemoved) {
  const struct {
    const char* removed;
    char letter;
    QStringList details;
  } cases[] = {
      {nullptr, 0, {}},
      {"C:\\Programme Alt\\Maus\\MAUSVXD.386", 'C', {"DEVICE=C:\\PROGRA~2\\MAUS\\MAUSVXD.386"}},
      {"C:\\Programme Alt\\Maus\\MAUSWIN.EXE", 'D', {"C:\\PROGRA~2\\MAUS\\MAUSWIN.EXE"}},
      {"C:\\Programme Alt\\Notizen\\NOTIZEN.EXE", 'E', {"C:\\PROGRA~2\\NOTIZEN\\NOTIZEN.EXE"}},
      {"C:\\Programme Alt\\Maus\\MAUS.COM", 'F', {"C:\\PROGRA~2\\MAUS\\MAUS /Q"}},
      {"C:\\Programme Alt\\Maus\\MAUSDRV.SYS", 'G', {"DEVICEHIGH=C:\\PROGRA~2\\MAUS\\MAUSDRV.SYS /N"}},
      {"C:\\Program Files\\The Microsoft Network\\MOSEARCH.EXE", 'N', {"MoSearch"}},
      {"C:\\Programme Alt\\Notizen\\ERINNER.EXE", 'N', {"Notizen Erinnerung"}},
      {"C:\\Programme Alt\\Notizen\\NOTIZSYM.TTF", 'P', {"Notizen Symbole (TrueType)"}},
  };
  // Every driver, program and font the start files, the INI files and the registry name.
  const auto named = [](Pc& pc) {
    qsizetype n = 0;
    for (const char* file : {"C:\\WINDOWS\\SYSTEM.INI", "C:\\CONFIG.SYS", "C:\\AUTOEXEC.BAT"})
      n += splitLines(pc.tm.fs().readFile(QString::fromLatin1(file)).value_or(QByteArray())).size();
    for (const char16_t* key : {u"load", u"run"})
      n += pc.ini.ReadIniString(pc.w + u"\\WIN.INI"_s, u"windows", key).split(u' ', Qt::SkipEmptyParts).size();
    return n + pc.reg.ValueNames(HKEY_LOCAL_MACHINE, kRunKey).size() + pc.reg.ValueNames(HKEY_LOCAL_MACHINE, kFontsKey).size();
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.removed ? c.removed : "as installed");
    Pc pc;
    test::makeWin95Install(pc.tm);
    const qsizetype before = named(pc);
    if (c.removed) ASSERT_TRUE(pc.tm.fs().deleteFile(QString::fromLatin1(c.removed)));
    const Findings f = pc.analyse();
    if (!c.removed) {
      EXPECT_EQ(f.problems, QString());
      continue;
    }
    EXPECT_EQ(f.problems, QString(QLatin1Char(c.letter)));
    EXPECT_EQ(f.detailsOf(QLatin1Char(c.letter)), c.details);
    EXPECT_EQ(pc.repairs.repair(QLatin1Char(c.letter), c.details), RepairOutcome::Repaired);
    EXPECT_EQ(named(pc), before - 1);
    EXPECT_EQ(pc.analyse().problems, QString());
  }
}

// From a disk where "Programme Alt" came first, PROGRA~1 is that folder: what the texts
// name under it is there, and nothing is found.
TEST(Repairs, OnAnInstallWhoseDiskGaveProgra1ToAnotherFolderNothingIsFound) {
  Pc pc;
  test::makeWin95Install(pc.tm, test::ProgramFolders::ImageOrder);
  EXPECT_EQ(pc.analyse().problems, QString());
  ASSERT_TRUE(pc.tm.fs().deleteFile(u"C:\\Programme Alt\\Maus\\MAUSVXD.386"));
  EXPECT_FALSE(pc.analyse().problems.isEmpty());
}

}  // namespace
}  // namespace vt::diagnosis
