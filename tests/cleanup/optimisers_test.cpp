// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/optimisers.h"

#include "backup/backups.h"
#include "platform/atomicfile.h"
#include "platform/filesystem.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QDir>

#include <gtest/gtest.h>

namespace vt::cleanup {
namespace {

QByteArray crlf(std::initializer_list<const char*> lines) {
  QByteArray out;
  for (const char* l : lines) out += QByteArray(l) + "\r\n";
  return out;
}

struct Fixture {
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  backup::Backups backups{tm.machine(), state, dialogs};
  Optimiser o{tm.fs(), backups, dialogs, state, QStringLiteral("C:\\WINDOWS")};

  Fixture() {
    state.language = English;
    tm.writeRegistryFiles();
    tm.fs().createDirectories(u"C:\\VANTREL");
    tm.putHostFile("C", "WINDOWS/SYSTEM.INI", "[boot]\r\n");
    backups.setDirectories(QStringLiteral("C:\\VANTREL"), QStringLiteral("C:\\WINDOWS"), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  }
  int sets() { return QDir(tm.host("C", "VANTREL/BACKUP")).entryList({"BACKUP.*"}, QDir::Files).size(); }
};

TEST(RemoveCommentLines, RemIsAWordAndSemicolonsStartCommentsInBothSyntaxes) {
  const struct {
    CommentSyntax syntax;
    QList<QByteArray> in, out;
  } cases[] = {
      {CommentSyntax::StartFile,
       {"REM", "REM X", "REM\tX", ";C", "REMOTE=1", "REMIND.EXE", " ;KEEP", "", "LAST"},
       {"REMOTE=1", "REMIND.EXE", " ;KEEP", "", "LAST"}},
      {CommentSyntax::Ini,
       {"[WINDOWS]", "REM X", "REMOTE=1", ";A", ";B", "K=1", ";LAST"},
       {"[WINDOWS]", "REM X", "REMOTE=1", "K=1"}},
  };
  for (const auto& c : cases) {
    QList<QByteArray> lines = c.in;
    RemoveCommentLines(lines, c.syntax);
    EXPECT_EQ(lines, c.out);
  }
}

TEST(ExtensionProgramExists, OnlyAMissingFileWithADriveLetterCounts) {
  test::TestMachine tm;
  tm.putHostFile("C", "OLDAPP/VIEW.EXE", "MZ");
  tm.putHostFile("C", "PROGRAM FILES/MY.APP/EDIT.EXE", "MZ");
  tm.fs().createDirectories(u"C:\\FOLDER.EXE");
  const struct {
    const char* value;
    bool exists;
  } cases[] = {
      {"C:\\OLDAPP\\VIEW.EXE ^.XYZ", true},
      {"C:\\OLDAPP\\GONE.EXE ^.XYZ", false},
      {"NOTEPAD.EXE ^.TXT", true},
      {"\"C:\\PROGRAM FILES\\MY.APP\\EDIT.EXE\" ^.ABC", true},
      {"\"C:\\PROGRAM FILES\\MY.APP\\GONE.EXE\" ^.ABC", false},
      {"C:\\FOLDER.EXE ^.F", false},
      {"C:\\OLDAPP\\VIEW", false},  // no dot: the name up to the first blank
      {"", true},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtensionProgramExists(tm.fs(), QString::fromLatin1(c.value)), c.exists) << c.value;
}

TEST(OptimizedText, ConfigSysAndAutoexecLineByLine) {
  const struct {
    QByteArray (*rewrite)(const QByteArray&);
    QByteArray in, out;
  } cases[] = {
      // HIMEM on line three moves first, keeping DEVICE=; EMM386 goes high; ECHO lines go.
      {&optimizedConfigSys,
       crlf({"files=40", "rem old", "device=c:\\windows\\emm386.exe noems", "DEVICE=C:\\WINDOWS\\HIMEM.SYS", "device = c:\\x.sys",
             "DEVICEHIGH=C:\\Y.SYS", "echo off"}),
       crlf({"DEVICE=C:\\WINDOWS\\HIMEM.SYS", "DEVICEHIGH=C:\\WINDOWS\\EMM386.EXE NOEMS", "FILES=40", "DEVICE = C:\\X.SYS",
             "DEVICEHIGH=C:\\Y.SYS", "FCBS=1"})},
      // Only the last FCBS line is replaced.
      {&optimizedConfigSys, crlf({"FCBS=4", "BUFFERS=20", "fcbs=8,0"}), crlf({"FCBS=4", "BUFFERS=20", "FCBS=1"})},
      // The HIMEM line already first stays first even with a second one below.
      {&optimizedConfigSys, crlf({"DEVICE=A:\\HIMEM.SYS", "X=1", "DEVICE=C:\\HIMEM.SYS"}),
       crlf({"DEVICE=A:\\HIMEM.SYS", "X=1", "DEVICE=C:\\HIMEM.SYS", "FCBS=1"})},
      {&optimizedConfigSys, "", crlf({"FCBS=1"})},
      {&optimizedAutoexec,
       crlf({"c:\\mouse\\mouse.com", "SET PATH=C:\\DOS", "rem x", "REMIND.EXE", "@ECHO OFF", "LH C:\\A.COM", "ECHO HI", "c:"}),
       crlf({"LH C:\\MOUSE\\MOUSE.COM", "SET PATH=C:\\DOS", "REMIND.EXE", "@ECHO OFF", "LH C:\\A.COM", "ECHO HI", "C:"})},
  };
  for (const auto& c : cases) {
    const QByteArray once = c.rewrite(c.in);
    EXPECT_EQ(once, c.out) << c.in.constData();
    EXPECT_EQ(c.rewrite(once), once) << "second run: " << c.in.constData();
  }
}

TEST(OptimizeWinIni, UpperCasesDropsCommentsAndMissingProgramsAndIsIdempotent) {
  Fixture f;
  f.tm.putHostFile("C", "OLDAPP/KEEP.EXE", "MZ");
  f.tm.putHostFile(
      "C", "WINDOWS/WIN.INI",
      crlf({"; top", "[windows]", "Remote=1", "rem x", "  ;indented", "Wallpaper=C:\\Windows\\Clouds.bmp", "", "[Extensions]",
            "txt=notepad.exe ^.txt", "xyz=C:\\OLDAPP\\VIEW.EXE ^.XYZ", "kep=\"C:\\OLDAPP\\KEEP.EXE\" ^.KEP", ";last"}));
  f.tm.fs().setAttributes(u"C:\\WINDOWS\\WIN.INI", AttrReadOnly | AttrHidden);
  const QByteArray expected = crlf({"[WINDOWS]", "REMOTE=1", "REM X", "  ;INDENTED", "WALLPAPER=C:\\WINDOWS\\CLOUDS.BMP", "",
                                    "[EXTENSIONS]", "TXT=NOTEPAD.EXE ^.TXT", "KEP=\"C:\\OLDAPP\\KEEP.EXE\" ^.KEP"});
  for (int run = 1; run <= 2; ++run) {
    EXPECT_TRUE(OptimizeWinIni(f.o));
    EXPECT_EQ(f.tm.hostFile("C", "WINDOWS/WIN.INI"), expected) << run;
    EXPECT_EQ(f.sets(), run);
  }
  EXPECT_EQ(f.tm.fs().attributes(u"C:\\WINDOWS\\WIN.INI"), quint32(AttrArchive));
  EXPECT_EQ(f.dialogs.shown.last(), "info: Your Systemfiles have been optimized. The old systemfiles are saved as backup.");
}

TEST(OptimizeStartFiles, RewritesBothFilesAndShowsSuccessEvenWhenNoneExists) {
  Fixture f;
  EXPECT_TRUE(OptimizeStartFiles(f.o));
  EXPECT_EQ(f.sets(), 1);
  EXPECT_EQ(f.dialogs.shown, QStringList{"info: Your Startfiles have been optimized. The old startfiles are saved as backup."});
  f.tm.putHostFile("C", "CONFIG.SYS", "rem x\r\ndevice=c:\\a.sys\r\n");
  f.tm.putHostFile("C", "AUTOEXEC.BAT", "c:\\mouse.com\n");
  EXPECT_TRUE(OptimizeStartFiles(f.o));
  EXPECT_EQ(f.tm.hostFile("C", "CONFIG.SYS"), crlf({"DEVICEHIGH=C:\\A.SYS", "FCBS=1"}));
  EXPECT_EQ(f.tm.hostFile("C", "AUTOEXEC.BAT"), crlf({"LH C:\\MOUSE.COM"}));
}

TEST(Optimisers, FailedBackupOrWriteLeavesTheFilesAsTheyWere) {
  const QByteArray config = "rem x\r\nDEVICE=C:\\A.SYS\r\n", win = "; c\r\n[windows]\r\n";
  const struct {
    bool failBackup;
    bool (*run)(Optimiser&);
    const char* message;
  } cases[] = {
      {true, &OptimizeWinIni, "warning: Fatal error: Unable to create backup of actual systemfiles! Action canceled!"},
      {true, &OptimizeStartFiles, "warning: Fatal error: Unable to create backup of actual startfiles! Action canceled!"},
      {false, &OptimizeWinIni, "warning: Error: Unable to write C:\\WINDOWS\\win.ini. The file was left unchanged."},
      {false, &OptimizeStartFiles, "warning: Error: Unable to write C:\\config.sys. The file was left unchanged."},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.tm.putHostFile("C", "CONFIG.SYS", config);
    f.tm.putHostFile("C", "WINDOWS/WIN.INI", win);
    f.tm.fs().setAttributes(u"C:\\CONFIG.SYS", AttrReadOnly);
    // The backup needs the store folder; a file in its place makes it fail.
    if (c.failBackup) f.tm.putHostFile("C", "VANTREL/BACKUP", "in the way");
    // Once the backup is made, the next write fails as on a full disk.
    else
      f.backups.onSetsChanged = [] { setAtomicWriteFailureAfter(1); };
    EXPECT_FALSE(c.run(f.o));
    setAtomicWriteFailureAfter(-1);
    ASSERT_FALSE(f.dialogs.shown.isEmpty());
    EXPECT_EQ(f.dialogs.shown.last(), c.message);
    EXPECT_EQ(f.tm.hostFile("C", "CONFIG.SYS"), config);
    EXPECT_EQ(f.tm.hostFile("C", "WINDOWS/WIN.INI"), win);
    EXPECT_EQ(f.tm.fs().attributes(u"C:\\CONFIG.SYS") & AttrReadOnly, AttrReadOnly);
  }
}

}  // namespace
}  // namespace vt::cleanup
