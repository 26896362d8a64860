#include "platform/launcher.h"

#include "platform/regedit4.h"
#include "support/testmachine.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

namespace vt {
namespace {

QByteArray readHost(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

  tm.putHostFile("C", "NEW.REG", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\New]\r\n\"w\"=dword:00000002\r\n\r\n");
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

TEST(WinExec, OtherProgramsAreJournaledAndMappedOnesStarted) {
  QTemporaryDir out;
  const QString marker = out.path() + QStringLiteral("/defrag-ran");
  const QString script = out.path() + QStringLiteral("/fake-defrag");
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\necho \"$*\" > '%1'\n").arg(marker).toUtf8());
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  test::TestMachine tm({}, QStringLiteral("\r\n[Programs]\r\nDEFRAG=%1\r\n").arg(script));
  EXPECT_TRUE(winExec(tm.machine(), QStringLiteral("defrag /all /details"), 1));
  EXPECT_TRUE(winExec(tm.machine(), QStringLiteral("\"C:\\Program Files\\Tool\\x.exe\" -q"), 1));
  const QList<QByteArray> lines = readHost(tm.folder() + "/launch.log").split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_TRUE(lines[0].endsWith("\tdefrag /all /details"));
  EXPECT_TRUE(lines[1].endsWith("\t\"C:\\Program Files\\Tool\\x.exe\" -q"));
  EXPECT_EQ(lines[0].indexOf('\t'), 19);  // "YYYY-MM-DD HH:MM:SS"

  QDeadlineTimer deadline(10000);
  while (!QFile::exists(marker) && !deadline.hasExpired()) QThread::msleep(20);
  QThread::msleep(50);
  EXPECT_EQ(readHost(marker), QByteArray("/all /details\n"));
}

}  // namespace
}  // namespace vt
