// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/machine.h"

#include "platform/atomicfile.h"
#include "platform/regedit4.h"
#include "support/testmachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vt {
namespace {

bool parse(const char* ini, MachineFacts* facts, std::map<QChar, DriveInfo>* drives, QString* error) {
  return parseMachineIni(QByteArray(ini), QStringLiteral("/m"), facts, drives, nullptr, error);
}

TEST(MachineIni, DefaultsFillWhatTheFileLeavesOut) {
  MachineFacts f;
  std::map<QChar, DriveInfo> d;
  QString error;
  ASSERT_TRUE(parse("[Machine]\n[Drive c]\n[Drive A]\nType=removable\nReady=0\n", &f, &d, &error)) << error.toStdString();
  EXPECT_EQ(f.platform, QStringLiteral("Win95"));
  EXPECT_EQ(f.windowsDirectory, QStringLiteral("C:\\WINDOWS"));
  EXPECT_EQ(f.systemDirectory, QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  EXPECT_EQ(f.programDirectory, QStringLiteral("C:\\VANTREL"));
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[QLatin1Char('C')].type, DriveType::Fixed);
  EXPECT_EQ(d[QLatin1Char('C')].hostRoot, QStringLiteral("/m/drives/C"));
  EXPECT_FALSE(d[QLatin1Char('C')].freeBytes.has_value());
  EXPECT_EQ(d[QLatin1Char('A')].type, DriveType::Removable);
  EXPECT_FALSE(d[QLatin1Char('A')].ready);
}

TEST(MachineIni, SystemDirectoryFollowsAMovedWindowsDirectory) {
  MachineFacts f;
  std::map<QChar, DriveInfo> d;
  QString error;
  ASSERT_TRUE(
      parse("[Machine]\nWindowsDirectory=D:\\WIN95\\\nPlatform=WinNT\nProcessor=0486\n[Drive C]\n[Drive D]\nFreeBytes=0x100\n",
            &f, &d, &error));
  EXPECT_EQ(f.windowsDirectory, QStringLiteral("D:\\WIN95"));
  EXPECT_EQ(f.systemDirectory, QStringLiteral("D:\\WIN95\\SYSTEM"));
  EXPECT_EQ(f.platform, QStringLiteral("WinNT"));
  EXPECT_EQ(f.processor, 486);
  EXPECT_EQ(d[QLatin1Char('D')].freeBytes.value_or(-1), 256);
}

TEST(MachineIni, MistakesAreNamed) {
  struct Case {
    const char* ini;
    const char* mentions;
  } cases[] = {
      {"[Drive C]\n", "[Machine]"},
      {"[Machine]\n", "[Drive C]"},
      {"[Machine]\nPlatform=Win98\n[Drive C]\n", "Platform=Win98"},
      {"[Machine]\nPhysicalMemory=lots\n[Drive C]\n", "PhysicalMemory=lots"},
      {"[Machine]\n[Drive C]\nType=floppy\n", "Type=floppy"},
      {"[Machine]\n[Drive CD]\n", "[Drive CD]"},
      {"[Machine]\n[Drive C]\nSectorsPerCluster=0\n", "must not be 0"},
      {"[Machine]\n[Drive C]\nBytesPerSector=4294967296\n", "below 4294967296"},
      {"[Machine]\nAttributeStore=db\n[Drive C]\n", "AttributeStore=db"},
  };
  for (const Case& c : cases) {
    MachineFacts f;
    std::map<QChar, DriveInfo> d;
    QString error;
    EXPECT_FALSE(parse(c.ini, &f, &d, &error)) << c.ini;
    EXPECT_TRUE(error.contains(QLatin1String(c.mentions))) << error.toStdString();
  }
}

TEST(Machine, OpeningRefusesAMissingFolderOrADamagedHive) {
  QString error;
  EXPECT_EQ(Machine::open(QStringLiteral("/nonexistent/machine"), &error), nullptr);
  EXPECT_TRUE(error.contains(QLatin1String("no such machine folder")));

  test::TestMachine tm;
  tm.writeRegistryFiles();
  tm.putHostFile("C", "WINDOWS/SYSTEM.DAT", "CREG but not really a hive");
  EXPECT_EQ(Machine::open(tm.folder(), &error), nullptr);
  EXPECT_TRUE(error.contains(QLatin1String("SYSTEM.DAT"))) << error.toStdString();
}

TEST(MachineIni, HostProgramsInTheFolderAreIgnoredWithAWarning) {
  struct Case {
    const char* programs;
    int warnings;
  } cases[] = {
      {"[Programs]\r\nDEFRAG=/bin/sh -c evil\r\n", 1},
      {"[Programs]\r\n;DEFRAG=/home/me/bin/defrag\r\n", 0},  // only a commented-out example
      {"", 0},
  };
  for (const Case& c : cases) {
    const QByteArray ini = QByteArray("[Machine]\r\n[Drive C]\r\n") + c.programs;
    MachineFacts f;
    std::map<QChar, DriveInfo> d;
    QString error;
    QStringList warnings;
    ASSERT_TRUE(parseMachineIni(ini, QStringLiteral("/m"), &f, &d, nullptr, &error, &warnings)) << error.toStdString();
    EXPECT_EQ(warnings.size(), c.warnings) << c.programs;
  }
}

// A mistyped or unmounted folder must not become an empty Windows 95: nothing is created.
TEST(Machine, AFolderWithoutItsCDriveOrRegistryIsRefusedAndLeftAlone) {
  struct Case {
    const char* remove;
    const char* mentions;
  } cases[] = {
      {"drives/C", "drive C: is missing"},
      {"drives/C/WINDOWS/SYSTEM.DAT", "SYSTEM.DAT is missing"},
      {"drives/C/WINDOWS/USER.DAT", "USER.DAT is missing"},
  };
  for (const Case& c : cases) {
    test::TestMachine tm;
    tm.writeRegistryFiles();
    const QString victim = tm.folder() + QLatin1Char('/') + QLatin1String(c.remove);
    ASSERT_TRUE(QFileInfo(victim).isDir() ? QDir(victim).removeRecursively() : QFile::remove(victim)) << c.remove;
    QString error;
    EXPECT_EQ(Machine::open(tm.folder(), &error), nullptr) << c.remove;
    EXPECT_TRUE(error.contains(QLatin1String(c.mentions))) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(victim)) << c.remove << " was made up";
  }
  test::TestMachine tm;
  tm.writeRegistryFiles();
  tm.putHostFile("C", "WINDOWS/SYSTEM.DAT", "");
  QString error;
  EXPECT_EQ(Machine::open(tm.folder(), &error), nullptr);
  EXPECT_TRUE(error.contains(QLatin1String("SYSTEM.DAT"))) << error.toStdString();
}

TEST(Machine, RegistryChangesReachTheirFilesOnlyWhenMade) {
  test::TestMachine tm;
  EXPECT_FALSE(tm.machine().registryChanged());
  ASSERT_TRUE(tm.machine().saveRegistry());
  EXPECT_FALSE(tm.fs().exists(u"C:\\WINDOWS\\SYSTEM.DAT"));  // nothing changed, nothing written

  tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel")->setValue("Start", RegSz, "0");
  tm.registry().createKey(HKey::DynData, u"Config Manager\\Enum\\C29A3C40")->setValue("Problem", RegDword, QByteArray(4, '\0'));
  EXPECT_TRUE(tm.machine().registryChanged());
  ASSERT_TRUE(tm.machine().saveRegistry());
  EXPECT_FALSE(tm.machine().registryChanged());
  EXPECT_TRUE(tm.fs().exists(u"C:\\WINDOWS\\SYSTEM.DAT"));
  EXPECT_FALSE(tm.fs().exists(u"C:\\WINDOWS\\USER.DAT"));
  // Windows keeps its registry files read-only, hidden and system.
  EXPECT_EQ(tm.fs().attributes(u"C:\\WINDOWS\\SYSTEM.DAT") & (AttrReadOnly | AttrHidden | AttrSystem),
            quint32(AttrReadOnly | AttrHidden | AttrSystem));

  tm.reopen();
  const RegKey* k = tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->findValue("Start")->data, QByteArray("0"));
  EXPECT_NE(tm.registry().openKey(HKey::DynData, u"Config Manager\\Enum\\C29A3C40"), nullptr);

  // A DOS backup program took the hive: saved again, it is marked for the next one.
  ASSERT_TRUE(tm.fs().setAttributes(u"C:\\WINDOWS\\SYSTEM.DAT", AttrReadOnly | AttrHidden | AttrSystem));
  tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel")->setValue("Start", RegSz, "1");
  ASSERT_TRUE(tm.machine().saveRegistry());
  EXPECT_EQ(tm.fs().attributes(u"C:\\WINDOWS\\SYSTEM.DAT"), quint32(AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
}

TEST(AtomicWrite, AFailureHalfWayLeavesTheOldFileWholeAndNoTemporaryFile) {
  QTemporaryDir dir;
  const QString path = dir.path() + QStringLiteral("/WIN.INI");
  ASSERT_TRUE(writeFileAtomically(path, QByteArray("[windows]\r\nload=\r\n")));
  setAtomicWriteFailureAfter(5);
  int err = 0;
  EXPECT_FALSE(writeFileAtomically(path, QByteArray(4096, 'x'), &err));
  setAtomicWriteFailureAfter(-1);
  EXPECT_EQ(err, ENOSPC);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("[windows]\r\nload=\r\n"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("WIN.INI")});
}

QByteArray readHost(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// What a failed change is undone with: the files as they were on disk, attributes and time
// included, and memory as it was, a change not saved yet among it.
TEST(RegistrySnapshot, PutsBackTheFilesAsOnDiskAndMemoryAsItWas) {
  for (const bool unsavedBefore : {false, true}) {
    test::TestMachine tm;
    tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Old")->setValue("v", RegSz, "1");
    tm.registry().createKey(HKey::DynData, u"Config Manager")->setValue("v", RegSz, "1");
    ASSERT_TRUE(tm.machine().saveRegistry());
    ASSERT_TRUE(tm.fs().setAttributes(u"C:\\WINDOWS\\SYSTEM.DAT", AttrHidden | AttrSystem));
    const QDateTime written = tm.fs().lastWriteTime(u"C:\\WINDOWS\\SYSTEM.DAT");
    const QByteArray systemDat = tm.hostFile("C", "WINDOWS/SYSTEM.DAT"), userDat = tm.hostFile("C", "WINDOWS/USER.DAT");
    const QByteArray dyn = readHost(tm.folder() + "/dyndata.reg");
    if (unsavedBefore) tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Unsaved");
    const QByteArray memory = regedit4::exportRegistry(tm.registry());

    RegistrySnapshot snapshot;
    ASSERT_TRUE(tm.machine().snapshotRegistry(&snapshot));
    tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\New");
    tm.registry().createKey(HKey::Users, u".Default\\New");
    tm.registry().createKey(HKey::DynData, u"New");
    ASSERT_TRUE(tm.machine().saveRegistry());
    ASSERT_TRUE(tm.machine().restoreRegistry(snapshot));

    EXPECT_EQ(tm.hostFile("C", "WINDOWS/SYSTEM.DAT"), systemDat) << unsavedBefore;
    EXPECT_EQ(tm.hostFile("C", "WINDOWS/USER.DAT"), userDat) << unsavedBefore;
    EXPECT_EQ(readHost(tm.folder() + "/dyndata.reg"), dyn) << unsavedBefore;
    EXPECT_EQ(tm.fs().attributes(u"C:\\WINDOWS\\SYSTEM.DAT"), AttrHidden | AttrSystem) << unsavedBefore;
    EXPECT_EQ(tm.fs().lastWriteTime(u"C:\\WINDOWS\\SYSTEM.DAT"), written) << unsavedBefore;
    EXPECT_EQ(regedit4::exportRegistry(tm.registry()), memory) << unsavedBefore;
    EXPECT_EQ(tm.registry().dynData().findSubkey("New"), nullptr) << unsavedBefore;
    // The change not saved yet is still to be saved; a tree put back from its file is not.
    EXPECT_EQ(tm.machine().registryChanged(), unsavedBefore);
  }
}

}  // namespace
}  // namespace vt
