// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/atomicfile.h"

#include "support/testmachine.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(AtomicWrite, NamesUpToWindowsLimitCanBeWrittenAndReplaced) {
  test::TestMachine m;
  for (int length : {8, 244, 245, 250, 255}) {
    const QString name = QString(length - 4, QLatin1Char('n')) + QStringLiteral(".TXT");
    const QString win = QStringLiteral("C:\\") + name;
    for (const QByteArray& bytes : {QByteArray("first"), QByteArray("second")})
      ASSERT_TRUE(m.fs().writeFile(win, bytes)) << length << ": " << describe(m.fs().lastError()).toStdString();
    EXPECT_EQ(m.hostFile("C", name), QByteArray("second")) << length;
  }
  // Nothing is left beside them.
  EXPECT_TRUE(QDir(m.host("C")).entryList(QDir::Files | QDir::Hidden).filter(QLatin1String(kAtomicTempPrefix)).isEmpty());
}

TEST(AtomicWrite, OpeningTheMachineAndWalkingItsDrivesRemoveOnlyAbandonedTemporaryFiles) {
  test::TestMachine m;
  const QString prefix = QLatin1String(kAtomicTempPrefix);
  struct Case {
    QString relative;  // below the machine folder
    bool removed;
  } cases[] = {
      {QStringLiteral("drives/C/WINDOWS/") + prefix + QStringLiteral("Ab12Cd"), true},
      {prefix + QStringLiteral("x9Y8z7"), true},                                 // beside machine.ini
      {QStringLiteral("drives/C/") + prefix + QStringLiteral("locked"), false},  // a write in progress
      {QStringLiteral("drives/C/") + prefix + QStringLiteral("WIN.INI.abc123"), false},
      {QStringLiteral("drives/C/") + prefix + QStringLiteral("Ab1-Cd"), false},
      {QStringLiteral("drives/C/x") + prefix + QStringLiteral("Ab12Cd"), false},
      {QStringLiteral("drives/C/") + prefix + QStringLiteral("Ab12C"), false},
  };
  for (const Case& c : cases) {
    const QString path = m.folder() + QLatin1Char('/') + c.relative;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << c.relative.toStdString();
  }
  // A folder of that name, and one behind a symbolic link leading out of the machine, stay.
  QDir().mkpath(m.folder() + QStringLiteral("/drives/C/") + prefix + QStringLiteral("Folder"));
  QTemporaryDir outside;
  const QString outsideFile = outside.path() + QLatin1Char('/') + prefix + QStringLiteral("Ou7s1d");
  QFile(outsideFile).open(QIODevice::WriteOnly);
  ASSERT_TRUE(QFile::link(outside.path(), m.folder() + QStringLiteral("/drives/C/OUT")));

  const QByteArray locked = QFile::encodeName(m.folder() + QStringLiteral("/drives/C/") + prefix + QStringLiteral("locked"));
  const int fd = ::open(locked.constData(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  m.reopen();
  EXPECT_FALSE(QFile::exists(m.folder() + QLatin1Char('/') + prefix + QStringLiteral("x9Y8z7")));
  EXPECT_TRUE(QFile::exists(m.folder() + QLatin1Char('/') + cases[0].relative)) << "opening walks no drive";
  struct : TreeVisitor {
    bool enterFolder(const QString&) override { return true; }
    bool found(const QString&, WalkMatch&) override { return true; }
  } visitor;
  ASSERT_TRUE(m.machine().files().walkTree(u"C:\\", TreeWalkFilter{{QStringLiteral("*.*")}}, visitor));
  ::close(fd);

  for (const Case& c : cases)
    EXPECT_EQ(QFile::exists(m.folder() + QLatin1Char('/') + c.relative), !c.removed) << c.relative.toStdString();
  EXPECT_TRUE(QFileInfo(m.folder() + QStringLiteral("/drives/C/") + prefix + QStringLiteral("Folder")).isDir());
  EXPECT_TRUE(QFile::exists(outsideFile));
}

}  // namespace
}  // namespace vt
