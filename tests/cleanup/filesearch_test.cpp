// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/filesearch.h"

#include "backup/backups.h"
#include "cleanup/deletion.h"
#include "platform/filesystem.h"
#include "platform/recyclebin.h"
#include "platform/shelllink.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"
#include "sysaccess/files.h"
#include "sysaccess/reg.h"

#include <gtest/gtest.h>

namespace vt::cleanup {
namespace {

// A second fixed drive E: with 4 KiB clusters beside the test machine's C: (8 KiB).
const QString kDriveE = QStringLiteral("\r\n[Drive E]\r\nType=fixed\r\nBytesPerSector=512\r\nSectorsPerCluster=8\r\n");

struct Fixture {
  test::TestMachine tm{{}, kDriveE};
  SharedState state;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  OptionFlags flags;
  FileAccess files{tm.machine(), state, dialogs, pump};
  DeletionList list;
  FileSearch search{tm.fs(), files, state, pump, flags, QStringLiteral("C:\\WINDOWS"), list};

  Fixture() { QDir().mkpath(tm.host("E")); }
  void put(const char* drive, const char* path, const QByteArray& bytes) { tm.putHostFile(drive, path, bytes); }
  void hide(const char* winPath) { tm.fs().setAttributes(QString::fromLatin1(winPath), AttrHidden | AttrDirectory); }
};

TEST(FileSearch, EachKindListsItsFilesInWalkOrderOnFixedDrivesOnly) {
  Fixture f;
  const QByteArray gid("\x3F\x5F\x03\x00\x01", 5);
  f.put("C", "MSCREATE.DIR", "");
  f.put("C", "APP/MSCREATE.DIR", "x");  // not empty: kept
  f.put("C", "APP/SUB/MSCREATE.DIR", "");
  f.put("C", "WINDOWS/TEMP/~DF1.TMP", "abc");
  f.put("C", "WINDOWS/TEMP/DF2.TMP", "abc");
  f.put("C", "WINDOWS/TEMP/SETUP.$$$", "abc");
  f.put("C", "WINDOWS/HELP/WIN.GID", gid);
  f.put("C", "WINDOWS/HELP/FOUR.GID", gid.left(4));
  f.put("C", "WINDOWS/HELP/OTHER.GID", "ABCDE");
  f.put("C", "WINDOWS/MAIN.GRP", "PMCC.");
  f.put("C", "WINDOWS/OLD.GRP", "XMCC.");
  f.put("C", "WINDOWS/BAD.GRP", "PMCX.");
  f.put("C", "WINDOWS/taskman.exe", "MZ");
  f.put("C", "HIDDEN/~H.TMP", "1");
  f.hide("C:\\HIDDEN");
  const auto lnk = [](const char* target) {
    ShellLink l;
    l.target = QString::fromLatin1(target);
    return writeShellLink(l);
  };
  f.put("C", "DESK/A-LIVE.LNK", lnk("C:\\WINDOWS\\taskman.exe"));
  f.put("C", "DESK/B-BROKEN.LNK", "not a shortcut at all");  // judged by itself, not by the one before
  f.put("C", "DESK/C-DEAD.LNK", lnk("C:\\WINDOWS\\GONE.EXE"));
  f.put("C", "DESK/EMPTY.LNK", "");
  f.put("C", "DESK/GAME.PIF", writePif({"Game", "C:\\GAMES\\GAME.EXE", "C:\\GAMES", ""}));
  // Already in the recycle bin: removed once, and not to be proposed (and refused) again.
  f.put("C", "Recycled/DC3.TMP", "1");
  f.put("C", "Recycled/DC4.$$$", "1");
  f.put("C", "Recycled/DC5.LNK", lnk("C:\\WINDOWS\\GONE.EXE"));
  f.put("E", "~E.TMP", "1");
  f.put("D", "~CD.TMP", "1");  // CD-ROM: never walked
  f.put("A", "~FD.TMP", "1");

  const struct {
    SearchKinds kinds;
    bool extendedTemp;
    QStringList expected;
  } cases[] = {
      {{true, false, false, false, false}, false, {"C:\\MSCREATE.DIR", "C:\\APP\\SUB\\MSCREATE.DIR"}},
      {{false, true, false, false, false},
       false,
       {"C:\\HIDDEN\\~H.TMP", "C:\\WINDOWS\\TEMP\\~DF1.TMP", "C:\\WINDOWS\\TEMP\\SETUP.$$$", "E:\\~E.TMP"}},
      {{false, true, false, false, false},
       true,
       {"C:\\HIDDEN\\~H.TMP", "C:\\WINDOWS\\TEMP\\~DF1.TMP", "C:\\WINDOWS\\TEMP\\DF2.TMP", "C:\\WINDOWS\\TEMP\\SETUP.$$$",
        "E:\\~E.TMP"}},
      {{false, false, true, false, false}, false, {"C:\\WINDOWS\\HELP\\WIN.GID"}},
      {{false, false, false, true, false}, false, {"C:\\DESK\\C-DEAD.LNK", "C:\\DESK\\GAME.PIF"}},
      {{false, false, false, false, true}, false, {"C:\\WINDOWS\\taskman.exe", "C:\\WINDOWS\\MAIN.GRP", "C:\\WINDOWS\\OLD.GRP"}},
  };
  for (const auto& c : cases) {
    f.flags.extendedTempSearch = c.extendedTemp;
    EXPECT_EQ(f.search.run(c.kinds), SearchOutcome::Found);
    // The order of a folder's entries is the host's; the order of the drives is fixed.
    EXPECT_EQ(QSet<QString>(f.list.entries.begin(), f.list.entries.end()), QSet<QString>(c.expected.begin(), c.expected.end()));
    if (c.kinds.temp) EXPECT_EQ(f.list.entries.last(), QStringLiteral("E:\\~E.TMP"));
    if (c.kinds.win3) EXPECT_EQ(f.list.entries.first(), QStringLiteral("C:\\WINDOWS\\taskman.exe"));
    EXPECT_EQ(f.list.kind, ListKind::Files);
    EXPECT_EQ(f.list.marked, std::vector<bool>(size_t(f.list.size()), true));
    EXPECT_EQ(f.state.busy, 0);
  }
  f.tm.fs().deleteFile(u"C:\\DESK\\C-DEAD.LNK");
  f.tm.fs().deleteFile(u"C:\\DESK\\GAME.PIF");
  EXPECT_EQ(f.search.run({false, false, false, true, false}), SearchOutcome::NothingFound);
}

TEST(FileSearch, CountersRoundToTheClustersOfEachDriveAndStartAgainEachRun) {
  const struct {
    qint64 size, cluster, rounded;
  } rounding[] = {
      {0, 4096, 4096}, {10, 4096, 4096}, {4096, 4096, 4096}, {4097, 4096, 8192}, {3'000'000'000, 32768, 3'000'008'704}};
  for (const auto& r : rounding) EXPECT_EQ(clusterRounded(r.size, r.cluster), r.rounded) << r.size;

  Fixture f;
  f.put("C", "~A.TMP", QByteArray(8193, 'a'));  // C: 8 KiB clusters
  f.put("E", "~B.TMP", QByteArray(10, 'b'));    // E: 4 KiB clusters
  f.put("C", "SUB/HID/X", "");
  f.hide("C:\\SUB\\HID");
  const SearchKinds temp{false, true, false, false, false};
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(f.search.run(temp), SearchOutcome::Found);
    EXPECT_EQ(f.search.counters().filesFound, 2);
    EXPECT_EQ(f.search.counters().bytesSaved, 8203);
    EXPECT_EQ(f.search.counters().bytesReallySaved, 16384 + 4096);
    // The hidden folder is walked but not counted; the two roots are counted but not entered.
    EXPECT_EQ(f.search.counters().foldersEntered, f.state.directoryCounter - 2 + 1);
  }
  // Past 2 GB the sums go on.
  f.search.setClusterSize(32768);
  f.search.AddFoundFile(QStringLiteral("C:\\BIG1"), 3'000'000'000);
  f.search.AddFoundFile(QStringLiteral("C:\\BIG2"), 3'000'000'000);
  EXPECT_EQ(f.search.counters().bytesSaved, 6'000'008'203);
}

TEST(FileSearch, CancelEndsTheWalkAtTheNextFolder) {
  for (const bool inLastPass : {false, true}) {
    Fixture f;
    for (int i = 0; i < 20; ++i) f.put("C", QStringLiteral("D%1/~X.TMP").arg(i).toLatin1(), "1");
    struct Status : SearchView {
      QString status;
      int pumpsInPass = 0;
      void showStatus(const QString& text) override { status = text, pumpsInPass = 0; }
      void showDrive(const QString&) override {}
      void showProgress(int, int) override {}
      void showCounters(const SearchCounters&) override {}
    } view;
    FileSearch search{f.tm.fs(), f.files, f.state, f.pump, f.flags, QStringLiteral("C:\\WINDOWS"), f.list, &view};
    f.pump.onPump = [&](int) {
      const char* pass = inLastPass ? "Searching for Windows 3.x files" : "Searching for temporary files";
      if (view.status == QLatin1String(pass) && ++view.pumpsInPass == 3) f.state.cancel = 1;
    };
    f.state.language = English;
    const SearchOutcome outcome = search.run({false, true, false, false, true});
    if (inLastPass) {
      // Only the last pass's cancel shows what was found so far.
      EXPECT_EQ(outcome, SearchOutcome::Found);
      EXPECT_EQ(f.list.size(), 20);
    } else {
      EXPECT_EQ(outcome, SearchOutcome::Cancelled);
      EXPECT_EQ(f.list.size(), 0);
      EXPECT_EQ(view.pumpsInPass, 3);
    }
  }
}

// The count reads the drives for every pass: a cancel there ends the search before any pass
// looks at what it read, and the next search reads the drives afresh.
TEST(FileSearch, CancelInTheCountListsNothingAndTheNextSearchSeesTheDrivesAnew) {
  Fixture f;
  for (int i = 0; i < 20; ++i) f.put("C", QStringLiteral("D%1/~X.TMP").arg(i).toLatin1(), "1");
  struct Status : SearchView {
    QStringList statuses;
    void showStatus(const QString& text) override { statuses << text; }
    void showDrive(const QString&) override {}
    void showProgress(int, int) override {}
    void showCounters(const SearchCounters&) override {}
  } view;
  FileSearch search{f.tm.fs(), f.files, f.state, f.pump, f.flags, QStringLiteral("C:\\WINDOWS"), f.list, &view};
  f.state.language = English;
  f.pump.onPump = [&](int n) {
    if (n == 5) f.state.cancel = 1;
  };
  EXPECT_EQ(search.run({false, true, false, false, false}), SearchOutcome::Cancelled);
  EXPECT_EQ(f.list.size(), 0);
  EXPECT_EQ(view.statuses, QStringList{"Initializing... Please wait..."});

  f.pump.onPump = nullptr;
  f.put("C", "D3/~NEW.TMP", "1");
  EXPECT_EQ(search.run({false, true, false, false, false}), SearchOutcome::Found);
  EXPECT_EQ(f.list.size(), 21);
}

TEST(IsOrphanedShortcut, JudgesTheTargetByItsDriveAndTheOptions) {
  Fixture f;
  f.put("C", "WINDOWS/NOTEPAD.EXE", "MZ");
  f.put("C", "GAMES/README.TXT", "x");
  f.put("C", "Program Files/Accessories/WORDPAD.EXE", "MZ");
  const struct {
    ShortcutTarget link;
    bool floppy, cdrom, network;
    bool orphaned;
  } cases[] = {
      {{true, "C:\\WINDOWS\\NOTEPAD.EXE"}, false, false, false, false},
      {{true, "c:\\windows\\notepad.exe"}, false, false, false, false},
      {{true, "C:\\WINDOWS\\GONE.EXE"}, false, false, false, true},
      {{true, "C:\\GAMES"}, false, false, false, false},  // a folder that is there
      {{true, "C:\\"}, false, false, false, false},
      {{true, ""}, false, false, false, false},
      {{true, "C:\\\"C:\\WINDOWS\\NOTEPAD.EXE\""}, false, false, false, false},
      {{true, "C:\\\"C:\\WINDOWS\\GONE.EXE\""}, false, false, false, true},
      {{true, "A:\\SETUP.EXE"}, false, false, false, false},
      {{true, "A:\\SETUP.EXE"}, true, false, false, true},
      {{true, "D:\\GAME.EXE"}, false, false, false, false},
      {{true, "D:\\GAME.EXE"}, false, true, false, true},
      {{true, "Q:\\APP.EXE"}, false, false, false, true},  // no such drive
      {{true, "\\\\SERVER\\APPS\\APP.EXE"}, false, false, false, false},
      {{true, "\\\\SERVER\\APPS\\APP.EXE"}, false, false, true, true},
      {{false, "C:\\WINDOWS\\GONE.EXE"}, false, false, false, false},  // unreadable: kept
      // Short names are looked up like long ones.
      {{true, "C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE"}, false, false, false, false},
      {{true, "C:\\PROGRA~1\\GONE\\GONE.EXE"}, false, false, false, true},
      {{true, "C:\\Progra~1\\Access~1\\GONE~1.EXE"}, false, false, false, true},
  };
  for (const auto& c : cases) {
    f.flags.floppyShortcuts = c.floppy;
    f.flags.cdromShortcuts = c.cdrom;
    f.flags.networkShortcuts = c.network;
    f.search.setShortcutReader([&](const QString&) { return c.link; });
    EXPECT_EQ(f.search.IsOrphanedShortcut(QStringLiteral("C:\\X.LNK")), c.orphaned) << c.link.target.toStdString();
  }
}

TEST(IsOrphanedShortcut, AProgramWithoutItsFolderIsLookedForWhereWindowsStartsIt) {
  Fixture f;
  f.put("C", "DIAG/INT13TST.EXE", "MZ");
  f.put("C", "WORK/TOOL.EXE", "MZ");
  f.put("C", "WINDOWS/EDIT.COM", "MZ");
  f.put("C", "WINDOWS/SYSTEM/SYSTOOL.EXE", "MZ");
  f.put("C", "WINDOWS/COMMAND/XCOPY.EXE", "MZ");
  f.put("C", "UTILS/PKZIP.EXE", "MZ");
  f.put("E", "BIN/LATE.BAT", "x");
  f.put("C", "GAMES/GAME.EXE", "MZ");
  const struct {
    const char* autoexec;  // nullptr: no AUTOEXEC.BAT
    const char* pif;       // where the shortcut lies
    ShortcutTarget link;
    bool orphaned;
  } cases[] = {
      {nullptr, "C:\\DIAG\\INT13.PIF", {true, "INT13TST.EXE"}, false},
      {nullptr, "C:\\DESK\\INT13.PIF", {true, "int13tst.exe"}, true},
      {nullptr, "C:\\DESK\\TOOL.PIF", {true, "TOOL.EXE", "C:\\WORK"}, false},
      {nullptr, "C:\\DESK\\EDIT.PIF", {true, "EDIT.COM"}, false},
      {nullptr, "C:\\DESK\\EDIT.PIF", {true, "EDIT"}, false},  // found as DOS finds it, with .COM
      {nullptr, "C:\\DESK\\S.PIF", {true, "SYSTOOL.EXE"}, false},
      {nullptr, "C:\\DESK\\X.PIF", {true, "XCOPY.EXE"}, false},  // Windows' own PATH
      {nullptr, "C:\\DESK\\Z.PIF", {true, "PKZIP.EXE"}, true},
      {"@ECHO OFF\r\nPATH C:\\UTILS;C:\\WINDOWS\r\n", "C:\\DESK\\Z.PIF", {true, "PKZIP.EXE"}, false},
      {"path=c:\\utils\\\r\n", "C:\\DESK\\Z.PIF", {true, "PKZIP.EXE"}, false},
      {"PATH C:\\UTILS\r\nPATH C:\\DOS\r\n", "C:\\DESK\\Z.PIF", {true, "PKZIP.EXE"}, true},  // replaced
      {"PATH C:\\UTILS\r\nSET PATH=%PATH%;E:\\BIN\r\n", "C:\\DESK\\L.PIF", {true, "LATE.BAT"}, false},
      {"PATH C:\\UTILS\r\nSET PATH=%PATH%;E:\\BIN\r\n", "C:\\DESK\\Z.PIF", {true, "PKZIP.EXE"}, false},
      {"PATH C:\\UTILS\r\n", "C:\\DESK\\X.PIF", {true, "XCOPY.EXE"}, true},
      {"REM PATH C:\\UTILS\r\nPATHS C:\\UTILS\r\n", "C:\\DESK\\Z.PIF", {true, "PKZIP.EXE"}, true},
      {nullptr, "C:\\DESK\\G.PIF", {true, "\\GAMES\\GAME.EXE"}, false},  // the shortcut's own drive
      {nullptr, "E:\\DESK\\G.PIF", {true, "\\GAMES\\GAME.EXE"}, true},
      {nullptr, "C:\\DESK\\G.PIF", {true, "GAMES\\GAME.EXE"}, true},
      {nullptr, "C:\\G.PIF", {true, "GAMES\\GAME.EXE"}, false},
  };
  for (const auto& c : cases) {
    f.tm.fs().deleteFile(u"C:\\AUTOEXEC.BAT");
    if (c.autoexec) f.put("C", "AUTOEXEC.BAT", c.autoexec);
    f.search.setShortcutReader([&](const QString&) { return c.link; });
    // The path is read once per search: a search's start forgets the last one.
    f.search.run({false, false, false, true, false});
    EXPECT_EQ(f.search.IsOrphanedShortcut(QString::fromLatin1(c.pif)), c.orphaned)
        << c.link.target.toStdString() << " " << (c.autoexec ? c.autoexec : "");
  }
}

TEST(DeleteMarkedFiles, RemovesOnlyMarkedFilesAndRecyclesProtectedOnes) {
  for (const bool recycle : {true, false}) {
    Fixture f;
    f.tm.writeRegistryFiles();
    for (int i = 0; i < 10; ++i) {
      f.put("C", QStringLiteral("T/F%1.TMP").arg(i).toLatin1(), "data");
      f.list.add(QStringLiteral("C:\\T\\F%1.TMP").arg(i));
    }
    f.tm.fs().setAttributes(u"C:\\T\\F0.TMP", AttrReadOnly | AttrHidden);
    f.tm.fs().createDirectories(u"C:\\T\\DIR.TMP");
    f.list.add(QStringLiteral("C:\\T\\DIR.TMP"));
    f.list.markAll();
    f.list.marked[3] = f.list.marked[5] = f.list.marked[7] = false;

    const QStringList left = DeleteMarkedFiles(f.tm.fs(), f.files, f.list, recycle);
    EXPECT_EQ(left, QStringList{"C:\\T\\DIR.TMP"});
    for (int i = 0; i < 10; ++i)
      EXPECT_EQ(f.tm.fs().exists(QStringLiteral("C:\\T\\F%1.TMP").arg(i)), i == 3 || i == 5 || i == 7) << i;
    EXPECT_EQ(RecycleBin(f.tm.fs()).list().size(), recycle ? 7 : 0);
  }
}

// Delete on the list page: an empty selection changes nothing and keeps the list for
// another try; what could not go is named, and the list is done with either way.
TEST(DeleteMarked, RefusesAnEmptySelectionAndNamesTheFilesThatStayed) {
  Fixture f;
  f.tm.writeRegistryFiles();
  RegAccess reg(f.tm.machine(), f.state);
  backup::Backups backups(f.tm.machine(), f.state, f.dialogs);
  RegistryCleaner cleaner{reg, f.tm.fs(), backups, f.dialogs, f.state};
  Deletion d{cleaner, f.files, false};
  f.put("C", "T/A.TMP", "x");
  f.tm.fs().createDirectories(u"C:\\T\\DIR.TMP");
  f.list.kind = ListKind::Files;
  f.list.add(QStringLiteral("C:\\T\\A.TMP"));
  f.list.add(QStringLiteral("C:\\T\\DIR.TMP"));

  EXPECT_TRUE(DeleteMarked(d, f.list).refused);
  EXPECT_EQ(f.list.kind, ListKind::Files);
  EXPECT_TRUE(f.tm.fs().exists(u"C:\\T\\A.TMP"));
  EXPECT_EQ(f.dialogs.shown, QStringList{"warning: Sie müssen mind. 1 Element markieren!"});

  f.list.markAll();
  const DeletionOutcome outcome = DeleteMarked(d, f.list);
  EXPECT_FALSE(outcome.refused);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.filesLeft, QStringList{"C:\\T\\DIR.TMP"});
  EXPECT_EQ(f.list.kind, ListKind::None);
  EXPECT_FALSE(f.tm.fs().exists(u"C:\\T\\A.TMP"));
  EXPECT_EQ(f.dialogs.shown.last(), QStringLiteral("warning: Folgende Dateien konnten nicht entfernt werden:\rC:\\T\\DIR.TMP"));
}

}  // namespace
}  // namespace vt::cleanup
