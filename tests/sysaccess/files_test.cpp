// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/files.h"

#include "platform/recyclebin.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QFile>

#include <gtest/gtest.h>

namespace vt {
namespace {

class FileAccessTest : public ::testing::Test {
 protected:
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  FileAccess files{tm.machine(), state, dialogs, pump};
};

TEST_F(FileAccessTest, ReportUserAbortTellsTheUserAndClearsTheFlags) {
  state.busy = state.cancel = 1;
  files.ReportUserAbort();
  state.language = English;
  files.ReportUserAbort();
  EXPECT_EQ(dialogs.shown, (QStringList{QStringLiteral("info: Aktion vom Benutzer abgebrochen!"),
                                        QStringLiteral("info: User has canceled current action!")}));
  EXPECT_EQ(state.busy, 0);
  EXPECT_EQ(state.cancel, 0);
}

TEST_F(FileAccessTest, PathAccessibleTellsMissingAndNotReadyFromEmpty) {
  tm.putHostFile("C", "WINDOWS/WIN.INI", "[windows]\r\n");
  struct Case {
    const char* path;
    bool accessible;
  } cases[] = {
      {"C:\\*.*", true},  {"C:\\WINDOWS\\*.*", true}, {"C:\\WINDOWS\\*.XYZ", true}, {"C:\\NOWHERE\\*.*", false},
      {"A:\\*.*", false}, {"D:\\*.*", true},          {"Q:\\*.*", false},
  };
  for (const Case& c : cases) EXPECT_EQ(files.PathAccessible(QString::fromLatin1(c.path)), c.accessible) << c.path;
}

TEST_F(FileAccessTest, CountDirectoriesSkipsHiddenAndSystemFoldersAndCountsItself) {
  state.directoryCounter = 0;
  files.CountDirectories(u"D:\\");
  EXPECT_EQ(state.directoryCounter, 1);  // a drive with only its root counts 1

  for (const char* d : {"WINDOWS/SYSTEM", "WINDOWS/TEMP", "GAMES/DOOM", "HIDDEN/INNER", "SYS"})
    tm.putHostFile("C", QString::fromLatin1(d) + "/f.txt", "x");
  ASSERT_TRUE(tm.fs().setAttributes(u"C:\\HIDDEN", AttrHidden));
  ASSERT_TRUE(tm.fs().setAttributes(u"C:\\SYS", AttrSystem));
  state.directoryCounter = 0;
  files.CountDirectories(u"C:\\");
  // C:\, WINDOWS, SYSTEM, TEMP, GAMES, DOOM
  EXPECT_EQ(state.directoryCounter, 6);
  EXPECT_EQ(pump.calls, 1 + 6);
}

TEST_F(FileAccessTest, CountDirectoriesCountsAFolderOnceHoweverManyLinksLeadThere) {
  for (const char* d : {"A/B", "E"}) tm.putHostFile("C", QString::fromLatin1(d) + "/f.txt", "x");
  ASSERT_TRUE(QFile::link(QStringLiteral("."), tm.host("C", "loop")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../.."), tm.host("C", "A/B/up")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../A"), tm.host("C", "E/toA")));
  state.directoryCounter = 0;
  files.CountDirectories(u"C:\\");
  // C:\, WINDOWS, SYSTEM, A, B, E
  EXPECT_EQ(state.directoryCounter, 6);
}

TEST_F(FileAccessTest, CancelStopsTheCountAtTheNextDirectory) {
  for (int i = 0; i < 10; ++i) tm.putHostFile("C", QStringLiteral("D%1/f.txt").arg(i), "x");
  pump.onPump = [&](int calls) {
    if (calls == 4) state.cancel = 1;
  };
  state.directoryCounter = 0;
  files.CountDirectories(u"C:\\");
  EXPECT_EQ(state.directoryCounter, 3);
  EXPECT_EQ(pump.calls, 4);
}

TEST_F(FileAccessTest, CopyOverwritesAndRecycleMovesOnlyExistingFiles) {
  tm.putHostFile("C", "WINDOWS/WIN.INI", "new");
  tm.putHostFile("C", "BACKUP/WIN.INI", "old");
  EXPECT_TRUE(files.CopyFileOverwrite(u"C:\\WINDOWS\\WIN.INI", u"C:\\BACKUP\\WIN.INI"));
  EXPECT_EQ(tm.hostFile("C", "BACKUP/WIN.INI"), QByteArray("new"));
  EXPECT_FALSE(files.CopyFileOverwrite(u"C:\\WINDOWS\\MISSING.INI", u"C:\\BACKUP\\X.INI"));

  tm.putHostFile("C", "TEMP/~DF12.TMP", "junk");
  EXPECT_TRUE(files.MoveToRecycleBin(u"C:\\TEMP\\~DF12.TMP"));
  EXPECT_FALSE(tm.fs().exists(u"C:\\TEMP\\~DF12.TMP"));
  ASSERT_EQ(RecycleBin(tm.fs()).list().size(), 1);
  EXPECT_EQ(RecycleBin(tm.fs()).list().first().originalPath, QStringLiteral("C:\\TEMP\\~DF12.TMP"));
  EXPECT_FALSE(files.MoveToRecycleBin(u"C:\\TEMP\\~DF12.TMP"));  // gone meanwhile: false, nothing asked
  EXPECT_FALSE(files.MoveToRecycleBin(u"C:\\TEMP"));
  const QString deep =
      QStringLiteral("C:\\") + QString(120, QLatin1Char('a')) + QLatin1Char('\\') + QString(131, QLatin1Char('b'));
  tm.putHostFile("C", QString(120, QLatin1Char('a')) + QLatin1Char('/') + QString(131, QLatin1Char('b')), "x");
  EXPECT_FALSE(files.MoveToRecycleBin(deep));
  EXPECT_TRUE(dialogs.shown.isEmpty());
}

// DOS sees aliases only: names that exist are given as theirs, names still to be made as
// written when DOS can make them.
TEST_F(FileAccessTest, DosPathNamesEveryFolderByItsAlias) {
  tm.putHostFile("C", "Program Files/Vantrel/HELP.bat", "x");
  tm.putHostFile("C", "My Documents/Letter to Ulrich.doc", "x");
  const struct {
    const char* path;
    const char* dos;  // nullptr: DOS cannot name it
  } cases[] = {
      {"C:\\Program Files\\Vantrel", "C:\\PROGRA~1\\VANTREL"},
      {"c:\\program files\\vantrel\\help.bat", "C:\\PROGRA~1\\VANTREL\\HELP.BAT"},
      {"C:\\PROGRA~1\\Vantrel\\last\\system.dat", "C:\\PROGRA~1\\VANTREL\\last\\system.dat"},
      {"C:\\My Documents\\Letter to Ulrich.doc", "C:\\MYDOCU~1\\LETTER~1.DOC"},
      {"C:\\WINDOWS\\", "C:\\WINDOWS"},
      {"C:\\", "C:\\"},
      {"C:\\NEW\\SUB\\FILE.TXT", "C:\\NEW\\SUB\\FILE.TXT"},
      {"C:\\Program Files\\New Folder\\A.TXT", nullptr},
      {"C:\\Program Files\\Vantrel\\Read me.txt", nullptr},
      {"A:\\FILE.TXT", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<QString> dos = dosPath(tm.fs(), QString::fromLatin1(c.path));
    EXPECT_EQ(dos, c.dos ? std::optional<QString>(QString::fromLatin1(c.dos)) : std::nullopt) << c.path;
  }
}

}  // namespace
}  // namespace vt
