// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/launcher.h"

#include "platform/regedit4.h"
#include "support/testmachine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace vt {
namespace {

QByteArray readHost(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A machine whose registry holds SOFTWARE\Old, saved, and what a refused import must leave of
// it: the registry in memory and SYSTEM.DAT on disk as they are now.
struct SavedRegistry {
  test::TestMachine tm;
  QByteArray before, systemDat;
  explicit SavedRegistry(bool withUserKey = false) {
    tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Old")->setValue("v", RegSz, "1");
    if (withUserKey) tm.registry().createKey(HKey::Users, u".Default\\Old")->setValue("v", RegSz, "1");
    EXPECT_TRUE(tm.machine().saveRegistry());
    before = regedit4::exportRegistry(tm.registry());
    systemDat = tm.hostFile("C", "WINDOWS/SYSTEM.DAT");
  }
  void expectUnchanged(const char* context = "") {
    EXPECT_EQ(regedit4::exportRegistry(tm.registry()), before) << context;
    EXPECT_EQ(tm.hostFile("C", "WINDOWS/SYSTEM.DAT"), systemDat) << context;
  }
};

TEST(WinExec, RegistryEditorCommandLinesWorkOnTheMachineRegistry) {
  test::TestMachine tm;
  tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Old")->setValue("v", RegSz, "1");
  ASSERT_TRUE(tm.machine().saveRegistry());

  ASSERT_TRUE(winExec(tm.machine(), QStringLiteral("REGEDIT /e C:\\VANTREL\\BACKUP\\REGISTRY.001"), 0) == false);
  ASSERT_TRUE(tm.fs().createDirectories(u"C:\\VANTREL\\BACKUP"));
  ASSERT_TRUE(winExec(tm.machine(), QStringLiteral("REGEDIT /e C:\\VANTREL\\BACKUP\\REGISTRY.001"), 0));
  const QByteArray exported = tm.hostFile("C", "VANTREL/BACKUP/REGISTRY.001");
  EXPECT_TRUE(exported.startsWith("REGEDIT4\r\n"));
  EXPECT_TRUE(exported.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]"));

  tm.putHostFile(
      "C", "NEW.REG",
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"w\"=dword:00000002\r\n\r\n[HKEY_USERS\\.Default]\r\n\r\n");
  ASSERT_TRUE(winExec(tm.machine(), QStringLiteral("regedit c:\\new.reg"), 0));
  tm.reopen();
  EXPECT_NE(tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\Old"), nullptr);
  EXPECT_NE(tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\New"), nullptr);

  // /c replaces the registry with the file: what the file lacks is gone.
  ASSERT_TRUE(winExec(tm.machine(), QStringLiteral("C:\\WINDOWS\\REGEDIT.EXE /c C:\\NEW.REG"), 0));
  tm.reopen();
  EXPECT_EQ(tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\Old"), nullptr);
  EXPECT_NE(tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\New"), nullptr);

  // A file the editor refuses changes nothing.
  tm.putHostFile("C", "BAD.REG", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Bad]\r\n\"x\"=dword:zz\r\n");
  EXPECT_FALSE(winExec(tm.machine(), QStringLiteral("REGEDIT /c C:\\BAD.REG"), 0));
  EXPECT_FALSE(winExec(tm.machine(), QStringLiteral("REGEDIT C:\\MISSING.REG"), 0));
  tm.reopen();
  EXPECT_NE(tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\New"), nullptr);
  EXPECT_EQ(tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\Bad"), nullptr);
  EXPECT_FALSE(QFile::exists(tm.folder() + "/launch.log"));
}

// Its only HKEY_LOCAL_MACHINE key deleted again, the file would leave a machine that cannot
// start: refused, with the registry as it was in memory and on disk.
TEST(RegistryEditor, AReplacementLeavingNoMachineKeysIsRefused) {
  SavedRegistry saved;
  test::TestMachine& tm = saved.tm;
  tm.putHostFile("C", "EMPTY.REG",
                 "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\X]\r\n\"v\"=\"1\"\r\n\r\n[-HKEY_LOCAL_MACHINE\\X]\r\n\r\n"
                 "[HKEY_USERS\\.Default]\r\n\r\n");
  QString error;
  EXPECT_FALSE(runRegistryEditor(tm.machine(), QStringLiteral("/c C:\\EMPTY.REG"), &error));
  EXPECT_TRUE(error.contains("holds no HKEY_LOCAL_MACHINE keys")) << error.toStdString();
  saved.expectUnchanged();
  tm.reopen();
  EXPECT_EQ(regedit4::exportRegistry(tm.registry()), saved.before);
}

TEST(RegistryEditor, AnImportTheRegistryFilesCannotTakeIsUndoneInMemoryAndOnDisk) {
  SavedRegistry saved(true);
  test::TestMachine& tm = saved.tm;
  tm.putHostFile("C", "NEW.REG",
                 "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"v\"=\"2\"\r\n\r\n"
                 "[HKEY_USERS\\.Default\\New]\r\n\"v\"=\"2\"\r\n");
  // USER.DAT cannot be replaced; SYSTEM.DAT is written first and must get its old contents back.
  ASSERT_TRUE(QFile::remove(tm.host("C", "WINDOWS/USER.DAT")));
  ASSERT_TRUE(QDir().mkpath(tm.host("C", "WINDOWS/USER.DAT/x")));
  for (const char* args : {"C:\\NEW.REG", "/c C:\\NEW.REG"}) {
    QString error;
    EXPECT_FALSE(runRegistryEditor(tm.machine(), QString::fromLatin1(args), &error)) << args;
    EXPECT_FALSE(error.isEmpty());
    saved.expectUnchanged(args);
  }
}

// Host programs come from the user's own programs.ini; a machine folder that asks for one
// (someone else's machine, say) starts nothing and is told so.
TEST(WinExec, OnlyTheUsersOwnMappingStartsHostPrograms) {
  QTemporaryDir out;
  const QString marker = out.path() + QStringLiteral("/ran");
  const QString script = out.path() + QStringLiteral("/fake-tool");
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\necho \"$1 $*\" >> '%1'\n").arg(marker).toUtf8());
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
  QDir(config.path()).mkpath(QStringLiteral("vantrel"));
  {
    QFile ini(config.path() + QStringLiteral("/vantrel/programs.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[Programs]\ndefrag=%1 user\n").arg(script).toUtf8());
  }
  EXPECT_EQ(hostProgramsFile(), config.path() + QStringLiteral("/vantrel/programs.ini"));

  test::TestMachine tm({}, QStringLiteral("\r\n[Programs]\r\nDEFRAG=%1 machine\r\nSCANDISK=%1 machine\r\n").arg(script));
  ASSERT_EQ(tm.machine().warnings().size(), 1);
  EXPECT_TRUE(tm.machine().warnings()[0].contains(QLatin1String("[Programs] is ignored")));
  EXPECT_TRUE(winExec(tm.machine(), QStringLiteral("defrag /all /details"), 1));
  EXPECT_TRUE(winExec(tm.machine(), QStringLiteral("scandisk /all"), 1));  // mapped only by the machine
  EXPECT_TRUE(winExec(tm.machine(), QStringLiteral("\"C:\\Program Files\\Tool\\x.exe\" -q"), 1));
  const QList<QByteArray> lines = readHost(tm.folder() + "/launch.log").split('\n');
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[0].endsWith("\tdefrag /all /details"));
  EXPECT_TRUE(lines[2].endsWith("\t\"C:\\Program Files\\Tool\\x.exe\" -q"));
  EXPECT_EQ(lines[0].indexOf('\t'), 19);  // "YYYY-MM-DD HH:MM:SS"

  QDeadlineTimer deadline(10000);
  while (!QFile::exists(marker) && !deadline.hasExpired()) QThread::msleep(20);
  QThread::msleep(200);
  EXPECT_EQ(readHost(marker), QByteArray("user user /all /details\n"));
  qunsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace vt
