// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/registryclean.h"

#include "backup/backups.h"
#include "platform/atomicfile.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"
#include "sysaccess/options.h"
#include "sysaccess/reg.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace vt::cleanup {
namespace {

const QString kUninstall = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
const QString kTips = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Tips");

struct Fixture {
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  backup::Backups backups{tm.machine(), state, dialogs};
  RegAccess reg{tm.machine(), state};
  RegistryCleaner c{reg, tm.fs(), backups, dialogs, state};
  DeletionList list;

  Fixture() {
    state.language = English;
    tm.writeRegistryFiles();
    tm.fs().createDirectories(u"C:\\VANTREL");
    backups.setDirectories(QStringLiteral("C:\\VANTREL"), QStringLiteral("C:\\WINDOWS"), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  }
  void set(HKey root, const QString& path, const char* name, const QString& text) {
    tm.registry().createKey(root, path)->setValue(name, RegSz, text.toLatin1());
  }
  // The extension names its type, whose open command names the program; without a type
  // the extension holds the command itself.
  void fileType(const QString& extension, const QString& type, const QString& command) {
    set(HKey::ClassesRoot, extension, "", type);
    set(HKey::ClassesRoot, (type.isEmpty() ? extension : type) + "\\shell\\open\\command", "", command);
  }
  // A folder where SYSTEM.DAT belongs makes every save of HKEY_LOCAL_MACHINE fail.
  void blockSystemDat() {
    ASSERT_TRUE(tm.machine().saveRegistry());
    const QString hive = tm.host("C", "WINDOWS/SYSTEM.DAT");
    ASSERT_TRUE(QFile::remove(hive) && QDir().mkdir(hive));
  }
};

TEST(DeleteWindowsTips, CountsNamesAndDataAndKeepsEveryTipWhenTheSaveFails) {
  const struct {
    bool hasTips, failSave;
    const char* message;
  } cases[] = {
      {true, false, "info: The Windows-tips have been deleted.\r10 Bytes have been deleted."},
      {false, false, "info: The Windows-tips have been deleted.\r0 Bytes have been deleted."},
      {true, true,
       "warning: Error: Unable to delete the Windows-tips because the registry could not be saved. The tips "
       "were left as they were."},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.set(HKey::CurrentUser, kTips, "Show", "1");
    if (c.hasTips) {
      f.set(HKey::LocalMachine, kTips, "0", "abc");
      f.set(HKey::LocalMachine, kTips, "1", "hello");
    }
    if (c.failSave) f.blockSystemDat();
    // What a dry run shows is what the deletion counts.
    qint64 stored = 0;
    for (const auto& [name, bytes] : StoredWindowsTips(f.c)) stored += bytes;
    EXPECT_EQ(stored, c.hasTips ? 10 : 0);
    EXPECT_EQ(DeleteWindowsTips(f.c), !c.failSave);
    EXPECT_EQ(f.dialogs.shown, QStringList{c.message});
    EXPECT_EQ(f.reg.ReadRegDword(HKEY_CURRENT_USER, kTips, u"Show"), 0u);
    if (c.failSave) {
      const RegKey* tips = f.tm.registry().openKey(HKey::LocalMachine, kTips);
      ASSERT_EQ(tips->valueCount(), 2);
      EXPECT_EQ(tips->values()[0].name + tips->values()[1].data, "0hello");  // in their places
    } else if (c.hasTips) {
      f.tm.reopen();
      EXPECT_EQ(f.tm.registry().openKey(HKey::LocalMachine, kTips)->valueCount(), 0);
    }
  }
}

TEST(ScanUninstallEntries, ProposesEntriesWhoseUninstallerNamedWithADriveIsGone) {
  Fixture f;
  f.tm.putHostFile("C", "PROGRAM FILES/HERE/UNINST.EXE", "MZ");
  f.tm.putHostFile("C", "OLD/UNINST.BAT", "@ECHO OFF");
  f.tm.fs().createDirectories(u"C:\\Folder\\Setup.exe");
  const struct {
    QString key, command, name;  // a null text: no such value
  } entries[] = {
      {"Gone", "\"C:\\Program Files\\Gone\\Uninst.exe\" /S", "Gone App"},
      {"Here", "\"C:\\Program Files\\Here\\Uninst.exe\" /S", "Here App"},
      {"Inf", "RunDll32 advpack.dll,LaunchINFSection C:\\GONE.INF", "Inf App"},
      {"NoName", "C:\\Gone\\Remove.exe", {}},
      {"Folder", "C:\\Folder\\Setup.exe -u", "Folder App"},
      {"Batch", "C:\\OLD\\UNINST.BAT /Q", "Batch App"},
      {"GoneBatch", "\"C:\\GONE DIR\\UNINST.BAT\" /Q", "Gone Batch App"},
      {"TooLong", QStringLiteral("C:\\GONE.EXE /LOG=").leftJustified(255, 'x'), "Too Long"},
      {QString(100, 'L'), "C:\\GONE.EXE", "Beyond The Name Buffer"},
      {"Last", "C:\\GONE.EXE", "Never Reached"},
  };
  for (const auto& e : entries) {
    f.tm.registry().createKey(HKey::LocalMachine, kUninstall + e.key);
    if (!e.command.isNull()) f.set(HKey::LocalMachine, kUninstall + e.key, "UninstallString", e.command);
    if (!e.name.isNull()) f.set(HKey::LocalMachine, kUninstall + e.key, "DisplayName", e.name);
  }
  f.list.add("left over");
  EXPECT_TRUE(ScanUninstallEntries(f.c, f.list));
  EXPECT_EQ(f.list.kind, ListKind::Uninstall);
  EXPECT_EQ(f.list.entries, (QStringList{"Gone App", "Folder App", "Gone Batch App"}));
  EXPECT_EQ(f.list.keys, (QStringList{"Gone", "Folder", "GoneBatch"}));
  EXPECT_EQ(f.list.marked, (std::vector<bool>{true, true, true}));

  ASSERT_TRUE(f.reg.DeleteRegKey(HKEY_LOCAL_MACHINE, kUninstall));
  f.list.kind = ListKind::Files;
  EXPECT_FALSE(ScanUninstallEntries(f.c, f.list));
  EXPECT_EQ(f.list.size(), 0);
  EXPECT_EQ(f.list.kind, ListKind::Files);
}

TEST(RemoveUninstallEntries, DeletesTheMarkedSubTreesOrNothingWhenTheSaveFails) {
  for (bool failSave : {false, true}) {
    Fixture f;
    for (const char* k : {"A", "B", "C"}) {
      f.set(HKey::LocalMachine, kUninstall + k + "\\Sub", "x", "1");
      f.list.add(k, k);
    }
    f.list.marked = {true, false, true};
    if (failSave) f.blockSystemDat();
    EXPECT_EQ(RemoveUninstallEntries(f.c, f.list), !failSave);
    EXPECT_EQ(f.dialogs.shown, QStringList{failSave ? "warning: An error occured during cleaning up the registry!"
                                                    : "info: The specified Uninstall-items have been erased!"});
    EXPECT_EQ(f.list.size(), 0);
    EXPECT_EQ(f.reg.SubKeyNames(HKEY_LOCAL_MACHINE, kUninstall), (failSave ? QStringList{"A", "B", "C"} : QStringList{"B"}));
  }
}

TEST(ScanFileTypes, ProposesExtensionsWhoseProgramIsGoneByDriveTypeAndOptions) {
  Fixture f;
  f.tm.putHostFile("C", "WINDOWS/NOTEPAD.EXE", "MZ");
  f.tm.putHostFile("D", "APP/PLAY.EXE", "MZ");
  f.fileType(".xyz", "xyzfile", "C:\\Old\\View.exe \"%1\"");
  f.fileType(".txt", "txtfile", "C:\\WINDOWS\\NOTEPAD.EXE %1");
  f.fileType(".clx", "CLSID\\{00000000-0000-0000-0000-000000000001}", "C:\\GONE.EXE");
  f.fileType(".Dll", "dllfile", "C:\\GONE\\RUN.EXE");  // never, in any case
  f.fileType(".hlp", "hlpfile", "C:\\WINDOWS\\WINHLP32.EXE %1");
  f.fileType(".cdp", "cdpfile", "\"D:\\App\\Play.exe\" /play \"%1\"");
  f.fileType(".nod", "nodfile", "VIEW.EXE %1");
  f.fileType(".bare", "", "c:\\gone\\bare.exe");
  f.fileType(".zzz", "zzzfile", "Z:\\SHARE\\ZZZ.EXE");  // not a drive of the machine
  for (bool cdrom : {false, true}) {
    OptionFlags options;
    options.cdromShortcuts = cdrom;
    EXPECT_TRUE(ScanFileTypes(f.c, f.list, options));
    EXPECT_EQ(f.list.kind, ListKind::FileTypes);
    QStringList expected{".xyz - C:\\OLD\\VIEW.EXE", ".bare - C:\\GONE\\BARE.EXE"};
    if (cdrom) expected.insert(1, ".cdp - D:\\APP\\PLAY.EXE");
    EXPECT_EQ(f.list.entries, expected);
    EXPECT_EQ(f.list.keys.first(), ".xyz");
    EXPECT_EQ(f.list.marked, std::vector<bool>(expected.size(), true));
  }
}

TEST(RemoveFileTypes, DeletesTheExtensionAndItsTypeOnlyAfterABackup) {
  enum Failure { None, Backup, Save };
  const struct {
    Failure failure;
    int sets;
    const char* message;
  } cases[] = {
      {None, 1, "info: The marked file-formats have been erased from your registry. The old registry has been saved as backup."},
      {Backup, 0, "warning: Fatal error: Unable to create backup of registry! Action canceled!"},
      {Save, 1,
       "warning: An error occured! One or more items could not been deleted! The old registry has been saved as backup."},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.fileType(".xyz", "sharedfile", "C:\\OLD\\VIEW.EXE");
    f.fileType(".xy2", "sharedfile", "C:\\OLD\\VIEW.EXE");
    f.fileType(".abc", "abcfile", "C:\\OLD\\ABC.EXE");
    ASSERT_TRUE(f.tm.machine().saveRegistry());
    f.list.add(".xyz", ".xyz");
    f.list.add(".abc", ".abc");
    f.list.marked = {true, false};
    if (c.failure == Backup) f.tm.putHostFile("C", "VANTREL/BACKUP", "in the way");
    // Once the backup is made, every later write fails as on a full disk.
    if (c.failure == Save) f.backups.onSetsChanged = [] { setAtomicWriteFailureAfter(1); };
    EXPECT_EQ(RemoveFileTypes(f.c, f.list), c.failure == None);
    setAtomicWriteFailureAfter(-1);
    ASSERT_FALSE(f.dialogs.shown.isEmpty());
    EXPECT_EQ(f.dialogs.shown.last(), c.message);  // a full disk makes the last-state copy complain first
    EXPECT_EQ(f.list.size(), c.failure == Backup ? 2 : 0);
    EXPECT_EQ(QDir(f.tm.host("C", "VANTREL/BACKUP")).entryList({"BACKUP.*"}, QDir::Files).size(), c.sets);
    f.tm.reopen();
    RegAccess reg(f.tm.machine(), f.state);
    for (const char* k : {".xyz", "sharedfile"})
      EXPECT_EQ(reg.RegKeyExists(HKEY_CLASSES_ROOT, QString::fromLatin1(k)), c.failure != None) << k;
    // The extension that shared the type keeps its key, now naming a type that is gone.
    for (const char* k : {".xy2", ".abc", "abcfile"})
      EXPECT_TRUE(reg.RegKeyExists(HKEY_CLASSES_ROOT, QString::fromLatin1(k))) << k;
  }
}

}  // namespace
}  // namespace vt::cleanup
