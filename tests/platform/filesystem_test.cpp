// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/filesystem.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/wildcard.h"
#include "support/testmachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace vt {
namespace {

using test::TestMachine;

// Names a search returns, in the order it returns them.
QStringList search(FileSystem& fs, const QString& pattern, quint32 mask) {
  QStringList names;
  FindData fd;
  auto s = fs.findFirst(pattern, mask, &fd);
  if (!s) return names;
  do names.append(fd.name);
  while (fs.findNext(*s, &fd));
  EXPECT_EQ(fs.lastError(), WinError::NoMoreFiles);
  return names;
}

QStringList sorted(QStringList l) {
  l.sort();
  return l;
}

mode_t hostMode(const QString& path) {
  struct stat st = {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

const QDateTime kOldTime(QDate(1998, 8, 25), QTime(10, 30, 0), Qt::UTC);

TEST(FileSystemPaths, FullPathFoldsLikeWindows) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"c:/windows\\..\\Win.ini", "C:\\Win.ini"},
      {"C:\\..\\..\\x", "C:\\x"},
      {"C:\\a\\.\\b\\\\c\\", "C:\\a\\b\\c"},
      {"README.", "C:\\README"},
      {"\\x", "C:\\x"},
      {"C:", "C:\\"},
      {"d:x", "D:\\x"},
      {"C:\\*.TXT", "C:\\*.TXT"},
      // Refused: UNC, bad letters, devices, invalid characters, our temporary names.
      {"\\\\server\\share\\x", ""},
      {"1:\\x", ""},
      {"C:\\CON", ""},
      {"C:\\dir\\nul.txt", ""},
      {"C:\\a|b", ""},
      {"C:\\a:b", ""},
      {"C:\\.vt~WIN.INI.x", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(fs.fullPath(QString::fromLatin1(c.in)), QString::fromLatin1(c.out)) << c.in;
  EXPECT_EQ(fs.fullPath(QStringLiteral("C:\\a") + QChar(0) + QStringLiteral("b")), QString());

  fs.setCurrentDirectory(QStringLiteral("c:/windows/"));
  EXPECT_EQ(fs.fullPath(u"system\\x"), QStringLiteral("C:\\windows\\system\\x"));
  EXPECT_EQ(fs.fullPath(u"C:x"), QStringLiteral("C:\\windows\\x"));
  EXPECT_EQ(fs.fullPath(u"..\\..\\..\\y"), QStringLiteral("C:\\y"));
}

TEST(FileSystemPaths, ErrorCodesTellMissingFileFolderAndDrive) {
  TestMachine tm;
  tm.putHostFile("C", "WINDOWS/WIN.INI", "x");
  struct Case {
    const char* path;
    WinError error;
  } cases[] = {
      {"C:\\NOWHERE.TXT", WinError::FileNotFound},
      {"C:\\NOWHERE\\X.TXT", WinError::PathNotFound},
      {"C:\\WINDOWS\\WIN.INI\\X", WinError::PathNotFound},
      {"A:\\X.TXT", WinError::NotReady},
      {"Q:\\X.TXT", WinError::PathNotFound},
      {"\\\\srv\\share\\x", WinError::BadPathName},
      {"C:\\a<b", WinError::InvalidName},
      {"C:\\WINDOWS\\*.INI", WinError::InvalidName},
      {"C:\\AUX.TXT", WinError::AccessDenied},
      {"", WinError::PathNotFound},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tm.fs().attributes(QString::fromLatin1(c.path)), kInvalidAttributes) << c.path;
    EXPECT_EQ(tm.fs().lastError(), c.error) << c.path;
  }
  EXPECT_TRUE(tm.fs().exists(u"c:\\windows\\win.ini"));
  EXPECT_EQ(tm.fs().lastError(), WinError::Success);
}

TEST(FileSystemPaths, PathsEndWhereWindows95EndsThem) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  const QString a(100, QLatin1Char('a')), b(100, QLatin1Char('b'));
  const QString folder = QStringLiteral("C:\\") + a + QLatin1Char('\\') + b + QLatin1Char('\\');  // 206 characters
  tm.putHostFile("C", a + QLatin1Char('/') + b + QLatin1Char('/') + QString(54, QLatin1Char('c')), "259");
  tm.putHostFile("C", a + QLatin1Char('/') + b + QLatin1Char('/') + QString(55, QLatin1Char('c')), "260");
  const QString longest = folder + QString(54, QLatin1Char('C'));
  const QString tooLong = folder + QString(55, QLatin1Char('C'));
  ASSERT_EQ(longest.size(), 259);
  EXPECT_EQ(fs.readFile(longest).value_or("-"), QByteArray("259"));
  struct Case {
    const char* what;
    std::function<bool()> call;
  } refused[] = {
      {"exists", [&] { return fs.exists(tooLong); }},
      {"read", [&] { return fs.readFile(tooLong).has_value(); }},
      {"write", [&] { return fs.writeFile(tooLong + QStringLiteral("X"), "new"); }},
      {"create folder", [&] { return fs.createDirectory(tooLong + QStringLiteral("X")); }},
      {"search",
       [&] {
         FindData fd;
         return fs.findFirst(folder + QString(52, QLatin1Char('?')) + QStringLiteral("*.*"), AttrAnyFile, &fd) != nullptr;
       }},
  };
  for (const Case& c : refused) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(fs.lastError(), WinError::FilenameTooLong) << c.what;
  }
  EXPECT_EQ(fs.fullPath(tooLong), QString());
  EXPECT_FALSE(QFileInfo::exists(
      tm.host("C", a + QLatin1Char('/') + b + QLatin1Char('/') + QString(55, QLatin1Char('C')) + QLatin1Char('X'))));
}

TEST(FileSystemNames, LookupIgnoresCaseAndNewNamesKeepTheirs) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  tm.putHostFile("C", "WINDOWS/Win.ini", "old");
  tm.putHostFile("C", QStringLiteral("Gr\u00F6\u00DFe.Txt"), "umlaut");
  EXPECT_EQ(fs.readFile(u"c:\\WINDOWS\\WIN.INI").value_or("-"), QByteArray("old"));
  EXPECT_EQ(fs.readFile(QStringLiteral("C:\\GR\u00D6\u00DFE.TXT")).value_or("-"), QByteArray("umlaut"));
  EXPECT_TRUE(fs.hostPath(u"C:\\windows\\win.INI").value_or(QString()).endsWith(QLatin1String("/WINDOWS/Win.ini")));

  // Writing through another case replaces the file rather than adding a second one.
  ASSERT_TRUE(fs.writeFile(u"C:\\windows\\WIN.INI", "new"));
  EXPECT_EQ(tm.hostFile("C", "WINDOWS/Win.ini"), QByteArray("new"));
  ASSERT_TRUE(fs.writeFile(u"c:\\windows\\NewFile.Txt", "n"));
  ASSERT_TRUE(fs.createDirectory(u"C:\\MixedCase"));
  EXPECT_EQ(sorted(QDir(tm.host("C", "WINDOWS")).entryList(QDir::Files)), (QStringList{"NewFile.Txt", "Win.ini"}));
  EXPECT_TRUE(QFileInfo(tm.host("C", "MixedCase")).isDir());
  EXPECT_EQ(search(fs, QStringLiteral("C:\\WINDOWS\\newfile.*"), 0), QStringList{"NewFile.Txt"});
}

TEST(FileSystemContainment, NothingReachesOutsideTheMachine) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  QTemporaryDir outside;
  const QString secret = outside.path() + QStringLiteral("/secret.txt");
  QFile f(secret);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("secret");
  f.close();
  ASSERT_TRUE(QFile::link(QStringLiteral("/etc"), tm.host("C", "ETC")));
  ASSERT_TRUE(QFile::link(secret, tm.host("C", "SECRET.TXT")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../../.."), tm.host("C", "UP")));  // the machine folder's parent

  // ".." at a root stays at the root.
  ASSERT_TRUE(fs.writeFile(u"C:\\..\\..\\..\\escape.txt", "x"));
  EXPECT_TRUE(QFileInfo::exists(tm.host("C", "escape.txt")));

  for (const char* p : {"C:\\ETC", "C:\\SECRET.TXT", "C:\\UP"}) EXPECT_FALSE(fs.exists(QString::fromLatin1(p))) << p;
  EXPECT_FALSE(fs.exists(u"C:\\ETC\\passwd"));
  EXPECT_EQ(fs.lastError(), WinError::PathNotFound);
  EXPECT_EQ(sorted(search(fs, QStringLiteral("C:\\*.*"), AttrAnyFile)), (QStringList{"WINDOWS", "escape.txt"}));

  EXPECT_FALSE(fs.deleteFile(u"C:\\SECRET.TXT"));
  EXPECT_EQ(fs.lastError(), WinError::FileNotFound);
  EXPECT_FALSE(fs.writeFile(u"C:\\SECRET.TXT", "overwritten"));
  EXPECT_EQ(fs.lastError(), WinError::AccessDenied);
  EXPECT_FALSE(fs.removeDirectory(u"C:\\ETC"));
  EXPECT_FALSE(fs.moveFile(u"C:\\SECRET.TXT", u"C:\\MINE.TXT"));
  EXPECT_FALSE(fs.readFile(u"C:\\UP\\machine.ini"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("secret"));
  EXPECT_TRUE(QFileInfo(tm.host("C", "SECRET.TXT")).isSymLink());
}

TEST(FileSystemContainment, LinksInsideTheMachineAreFollowedAndDeletedAsLinks) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  tm.putHostFile("C", "WINDOWS/WIN.INI", "ini");
  tm.putHostFile("D", "SETUP.EXE", "cd");
  ASSERT_TRUE(QFile::link(QStringLiteral("WINDOWS"), tm.host("C", "WINLINK")));
  ASSERT_TRUE(QFile::link(QStringLiteral("WINDOWS/WIN.INI"), tm.host("C", "ALIAS.INI")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../D"), tm.host("C", "CDROM")));

  EXPECT_EQ(fs.readFile(u"C:\\winlink\\win.ini").value_or("-"), QByteArray("ini"));
  EXPECT_EQ(fs.readFile(u"C:\\CDROM\\SETUP.EXE").value_or("-"), QByteArray("cd"));
  EXPECT_EQ(fs.attributes(u"C:\\WINLINK"), quint32(AttrDirectory));
  ASSERT_TRUE(fs.writeFile(u"C:\\ALIAS.INI", "changed"));
  EXPECT_EQ(tm.hostFile("C", "WINDOWS/WIN.INI"), QByteArray("changed"));
  ASSERT_TRUE(fs.deleteFile(u"C:\\ALIAS.INI"));
  EXPECT_TRUE(fs.exists(u"C:\\WINDOWS\\WIN.INI"));
}

// Folders held open with their listings kept (they have settled), then changed by another
// program between two calls: the next call sees the change, and a folder swapped for a
// link out of the machine, or moved out itself, is not looked into.
TEST(FileSystemContainment, ChangesBetweenTwoCallsAreSeen) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  QTemporaryDir outside;
  // A path in the case's folder, inside the machine or outside; "." is the folder itself.
  auto at = [](const QString& base, int n, const char* relative) {
    const QString folder = base + QStringLiteral("/C%1").arg(n);
    return std::strcmp(relative, ".") == 0 ? folder : folder + QLatin1Char('/') + QLatin1String(relative);
  };
  auto out = [&](int n, const char* relative) { return at(outside.path(), n, relative); };
  auto in = [&](int n, const char* relative) { return at(tm.host("C"), n, relative); };
  auto mkdir = [](const QString& path) { return QDir().mkpath(path); };
  auto link = [](const QString& target, const QString& at) { return QFile::link(target, at); };
  auto move = [](const QString& from, const QString& to) {
    return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
  };
  struct Case {
    const char* what;
    const char* name;  // in C:\Cn\SUB
    bool before;
    std::function<bool(int)> change;
  } cases[] = {
      {"created", "NEW.DLL", false, [&](int n) { return QFile(in(n, "SUB/new.dll")).open(QIODevice::WriteOnly); }},
      {"removed", "OLD.DLL", true, [&](int n) { return QFile::remove(in(n, "SUB/OLD.DLL")); }},
      {"renamed away", "OLD.DLL", true, [&](int n) { return move(in(n, "SUB/OLD.DLL"), in(n, "SUB/KEPT.DLL")); }},
      {"renamed onto", "MOVED.DLL", false, [&](int n) { return move(in(n, "SUB/OLD.DLL"), in(n, "SUB/Moved.dll")); }},
      {"file became a folder", "OLD.DLL", true,
       [&](int n) { return QFile::remove(in(n, "SUB/OLD.DLL")) && mkdir(in(n, "SUB/OLD.DLL")); }},
      {"folder replaced", "OLD.DLL", true, [&](int n) { return move(in(n, "SUB"), in(n, "SUB.OLD")) && mkdir(in(n, "SUB")); }},
      {"folder swapped for a link out", "OLD.DLL", true,
       [&](int n) { return move(in(n, "SUB"), in(n, "SUB.OLD")) && link(out(n, "SUB"), in(n, "SUB")); }},
      {"parent swapped for a link out", "OLD.DLL", true,
       [&](int n) { return move(in(n, "."), in(n, "../OLD%1").arg(n)) && link(out(n, "."), in(n, ".")); }},
      {"folder moved out", "OLD.DLL", true, [&](int n) { return move(in(n, "SUB"), out(n, "MOVED")); }},
  };
  const int count = int(std::size(cases));
  for (int n = 0; n < count; ++n) {
    tm.putHostFile("C", QStringLiteral("C%1/SUB/OLD.DLL").arg(n), "in");
    ASSERT_TRUE(mkdir(out(n, "SUB")));
    QFile outsider(out(n, "SUB/OLD.DLL"));
    ASSERT_TRUE(outsider.open(QIODevice::WriteOnly));
  }
  auto path = [&](int n) { return QStringLiteral("C:\\C%1\\SUB\\").arg(n) + QLatin1String(cases[n].name); };
  // Listings are kept only of folders that have not changed for a moment.
  auto settle = [] { ::usleep(150000); };
  settle();
  for (int n = 0; n < count; ++n) {
    EXPECT_EQ(fs.isFile(path(n)), cases[n].before) << cases[n].what;
    EXPECT_EQ(fs.isFile(path(n)), cases[n].before) << cases[n].what << " (from the listing)";
  }
  for (int n = 0; n < count; ++n) ASSERT_TRUE(cases[n].change(n)) << cases[n].what;
  for (int pass = 0; pass < 2; ++pass) {
    for (int n = 0; n < count; ++n) {
      EXPECT_EQ(fs.isFile(path(n)), !cases[n].before) << cases[n].what << pass;
      EXPECT_EQ(fs.exists(path(n)), !cases[n].before || std::strcmp(cases[n].what, "file became a folder") == 0)
          << cases[n].what << pass;
    }
    settle();  // once while the folders have just changed, once from their new listings
  }
}

// A folder whose time is long past, as the listings of a settled folder are kept.
void age(const QString& hostFolder) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {900000000, 0}};
  ::utimensat(AT_FDCWD, QFile::encodeName(hostFolder).constData(), times, 0);
}

// A name that a link leading out (or nowhere) holds is refused in every spelling: a new
// entry beside it would be its case twin, which Windows cannot have.
TEST(FileSystemContainment, ANameHeldOutOfSightGetsNoCaseTwin) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  QTemporaryDir outside;
  const QString secret = outside.filePath(QStringLiteral("config.sys"));
  QFile f(secret);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("outside");
  f.close();
  tm.putHostFile("C", "NEW.SYS", "new");
  ASSERT_TRUE(QFile::link(secret, tm.host("C", "CONFIG.SYS")));
  ASSERT_TRUE(QFile::link(outside.filePath(QStringLiteral("gone")), tm.host("C", "DEAD.SYS")));
  const QStringList before = QDir(tm.host("C")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
  struct Case {
    const char* what;
    std::function<bool()> call;
  } cases[] = {
      {"write", [&] { return fs.writeFile(u"C:\\CONFIG.sys", "x"); }},
      {"write where a link leads nowhere", [&] { return fs.writeFile(u"C:\\dead.sys", "x"); }},
      {"copy", [&] { return fs.copyFile(u"C:\\NEW.SYS", u"C:\\Config.Sys", false); }},
      {"move", [&] { return fs.moveFile(u"C:\\NEW.SYS", u"C:\\config.sys"); }},
      {"import", [&] { return fs.importHostFile(tm.host("C", "NEW.SYS"), u"C:\\config.SYS"); }},
      {"folder", [&] { return fs.createDirectory(u"C:\\config.sys"); }},
      {"folders", [&] { return fs.createDirectories(u"C:\\Config.sys\\SUB"); }},
  };
  // Once while the folder has just changed, once from the listing of a settled folder.
  for (int pass = 0; pass < 2; ++pass) {
    for (const Case& c : cases) {
      EXPECT_FALSE(c.call()) << c.what << pass;
      EXPECT_EQ(fs.lastError(), WinError::AccessDenied) << c.what << pass;
    }
    EXPECT_EQ(QDir(tm.host("C")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot), before);
    age(tm.host("C"));
  }
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), QByteArray("outside"));
}

TEST(FileSystemNames, OtherCaseLookupsFollowChangesOfTheFolder) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  for (int i = 0; i < 50; ++i) tm.putHostFile("C", QStringLiteral("BIG/File%1.Txt").arg(i), "x");
  tm.putHostFile("C", "BIG/Dup.txt", "mixed");
  tm.putHostFile("C", "BIG/DUP.TXT", "upper");
  age(tm.host("C", "BIG"));
  EXPECT_TRUE(fs.exists(u"C:\\BIG\\FILE7.TXT"));
  EXPECT_FALSE(fs.exists(u"C:\\BIG\\FILE70.TXT"));
  // A name the host has in two spellings: the one written wins.
  for (const char* dup : {"Dup.txt", "DUP.TXT"})
    EXPECT_EQ(fs.readFile(QStringLiteral("C:\\BIG\\") + QLatin1String(dup)).value_or("-"),
              QByteArray(dup[1] == 'u' ? "mixed" : "upper"));

  // Changed by the host: the folder's time moves on.
  ASSERT_TRUE(QFile::rename(tm.host("C", "BIG/File7.Txt"), tm.host("C", "BIG/Renamed.Txt")));
  EXPECT_FALSE(fs.exists(u"C:\\BIG\\FILE7.TXT"));
  EXPECT_TRUE(fs.exists(u"C:\\BIG\\RENAMED.TXT"));

  // Changed by the machine within one tick of the host's clock, which the folder's time
  // cannot show: the machine's own changes are never missed.
  struct Case {
    const char* what;
    std::function<bool()> change;
    const char16_t* gone;
    const char16_t* there;
  } cases[] = {
      {"write", [&] { return fs.writeFile(u"C:\\big\\New.Txt", "n"); }, u"C:\\BIG\\NEW.TXT.OLD", u"C:\\BIG\\NEW.TXT"},
      {"move", [&] { return fs.moveFile(u"C:\\BIG\\NEW.TXT", u"C:\\BIG\\Moved.Txt"); }, u"C:\\BIG\\NEW.TXT",
       u"C:\\BIG\\MOVED.TXT"},
      {"delete", [&] { return fs.deleteFile(u"C:\\BIG\\moved.txt"); }, u"C:\\BIG\\MOVED.TXT", u"C:\\BIG\\FILE8.TXT"},
      {"folder", [&] { return fs.createDirectory(u"C:\\BIG\\Sub"); }, u"C:\\BIG\\NEW.TXT", u"C:\\BIG\\SUB"},
      {"copy", [&] { return fs.copyFile(u"C:\\BIG\\FILE8.TXT", u"C:\\BIG\\Copy.Txt", true); }, u"C:\\BIG\\NEW.TXT",
       u"C:\\BIG\\COPY.TXT"},
  };
  for (const Case& c : cases) {
    (void)fs.exists(c.gone);  // the folder's listing is known before the change
    ASSERT_TRUE(c.change()) << c.what;
    age(tm.host("C", "BIG"));
    EXPECT_FALSE(fs.exists(c.gone)) << c.what;
    EXPECT_TRUE(fs.exists(c.there)) << c.what;
  }
}

TEST(Wildcards, MatchLikeWindows95) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "README", true},
      {"*.*", "a.b.c", true},
      {"*", ".", true},
      {"*.", "README", true},
      {"*.", "READ.ME", false},
      {"*.", "..", true},
      {"?", "A", true},
      {"?", "AB", false},
      {"?", "", false},
      {"a*b?.t*", "AxxBc.TXT", true},
      {"a*b?.t*", "abbb.t", true},
      {"a*b?.t*", "ab.txt", false},
      {"*.TXT", "readme.txt", true},
      {"*.txt", "a.txt.bak", false},
      {"x.*", "x", true},
      {"?.*", "a", true},
      {"*a", "aaaa", true},
      {"*a*b", "xaxbxb", true},
      {"*.tmp", "~DF12.TMP", true},
      {"WIN.INI", "win.ini", true},
      {"WIN.INI", "win.ini2", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WildcardPattern(QString::fromLatin1(c.pattern)).matches(QString::fromLatin1(c.name)), c.match)
        << c.pattern << " on " << c.name;
  EXPECT_TRUE(WildcardPattern(QStringLiteral("\u00C4B*")).matches(QStringLiteral("\u00E4bc")));
  EXPECT_TRUE(namesEqualNoCase(QStringLiteral("\u0161\u00FF"), QStringLiteral("\u0160\u0178")));
  EXPECT_FALSE(namesEqualNoCase(QStringLiteral("\u4E00"), QStringLiteral("\u4E01")));
}

class FileSearchTest : public ::testing::Test {
 protected:
  FileSearchTest() {
    for (const char* n : {"NORMAL.TXT", "HIDDEN.TXT", "SYSTEM.TXT", "RO.TXT", "HS.TXT", "README", "READ.ME"})
      tm.putHostFile("C", QStringLiteral("T/") + QLatin1String(n), "x");
    QDir().mkpath(tm.host("C", "T/DIR"));
    QDir().mkpath(tm.host("C", "T/HDIR"));
    fs().setAttributes(u"C:\\T\\HIDDEN.TXT", AttrHidden);
    fs().setAttributes(u"C:\\T\\SYSTEM.TXT", AttrSystem | AttrArchive);
    fs().setAttributes(u"C:\\T\\RO.TXT", AttrReadOnly);
    fs().setAttributes(u"C:\\T\\HS.TXT", AttrHidden | AttrSystem);
    fs().setAttributes(u"C:\\T\\HDIR", AttrHidden);
  }
  FileSystem& fs() { return tm.fs(); }
  TestMachine tm;
};

TEST_F(FileSearchTest, TheMaskAdmitsSpecialEntriesOnlyWithTheirBits) {
  const QStringList plain{"NORMAL.TXT", "RO.TXT", "README", "READ.ME"};
  struct Case {
    quint32 mask;
    QStringList extra;
  } cases[] = {
      {0, {}},
      {AttrVolume, {}},
      {AttrReadOnly | AttrArchive, {}},
      {AttrHidden, {"HIDDEN.TXT"}},
      {AttrSystem, {"SYSTEM.TXT"}},
      {AttrHidden | AttrSystem, {"HIDDEN.TXT", "SYSTEM.TXT", "HS.TXT"}},
      {AttrDirectory, {".", "..", "DIR"}},
      {AttrDirectory | AttrHidden, {".", "..", "DIR", "HDIR", "HIDDEN.TXT"}},
      {AttrAnyFile, {".", "..", "DIR", "HDIR", "HIDDEN.TXT", "SYSTEM.TXT", "HS.TXT"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sorted(search(fs(), QStringLiteral("C:\\T\\*.*"), c.mask)), sorted(plain + c.extra)) << c.mask;
}

TEST_F(FileSearchTest, PatternsDotsAndFoundData) {
  EXPECT_EQ(sorted(search(fs(), QStringLiteral("c:\\t\\*."), AttrDirectory)), (QStringList{".", "..", "DIR", "README"}));
  EXPECT_EQ(sorted(search(fs(), QStringLiteral("C:\\T\\r*.t?t"), AttrAnyFile)), QStringList{"RO.TXT"});
  EXPECT_EQ(search(fs(), QStringLiteral("C:\\T\\readme"), 0), QStringList{"README"});
  const QStringList all = search(fs(), QStringLiteral("C:\\T\\*"), AttrAnyFile);
  ASSERT_GE(all.size(), 2);
  EXPECT_EQ(all.mid(0, 2), (QStringList{".", ".."}));                                                // first, as on Windows
  EXPECT_FALSE(search(fs(), QStringLiteral("C:\\*.*"), AttrAnyFile).contains(QStringLiteral(".")));  // not at a root

  FindData fd;
  ASSERT_TRUE(fs().setLastWriteTime(u"C:\\T\\NORMAL.TXT", kOldTime));
  ASSERT_TRUE(fs().findFirst(u"C:\\T\\normal.txt", 0, &fd));
  EXPECT_EQ(fd.name, QStringLiteral("NORMAL.TXT"));
  EXPECT_EQ(fd.size, 1);
  EXPECT_EQ(fd.attributes, 0u);
  EXPECT_EQ(fd.lastWrite, kOldTime);
  ASSERT_TRUE(fs().findFirst(u"C:\\T\\SYSTEM.TXT", AttrSystem, &fd));
  EXPECT_EQ(fd.attributes, quint32(AttrSystem | AttrArchive));
}

TEST_F(FileSearchTest, FailuresTellNoMatchMissingFolderAndNotReady) {
  struct Case {
    const char* pattern;
    WinError error;
  } cases[] = {
      {"C:\\T\\*.XYZ", WinError::FileNotFound},
      {"C:\\NOWHERE\\*.*", WinError::PathNotFound},
      {"C:\\T\\RO.TXT\\*.*", WinError::PathNotFound},
      {"A:\\*.*", WinError::NotReady},
      {"Q:\\*.*", WinError::PathNotFound},
      {"D:\\*.*", WinError::FileNotFound},  // an empty root
      {"C:\\T\\", WinError::FileNotFound},
      {"C:\\T\\HIDDEN.TXT", WinError::FileNotFound},
  };
  FindData fd;
  for (const Case& c : cases) {
    EXPECT_EQ(fs().findFirst(QString::fromLatin1(c.pattern), 0, &fd), nullptr) << c.pattern;
    EXPECT_EQ(fs().lastError(), c.error) << c.pattern;
  }
}

TEST_F(FileSearchTest, TemporaryFilesOfWritesStayUnseen) {
  tm.putHostFile("C", QStringLiteral("T/") + QLatin1String(kAtomicTempPrefix) + QStringLiteral("README.abc123"), "half");
  EXPECT_FALSE(search(fs(), QStringLiteral("C:\\T\\*.*"), AttrAnyFile).join(' ').contains(QLatin1String("abc123")));
  // A folder holding only such leftovers is empty to Windows.
  tm.putHostFile("C", QStringLiteral("EMPTY/") + QLatin1String(kAtomicTempPrefix) + QStringLiteral("x.1"), "half");
  EXPECT_TRUE(fs().removeDirectory(u"C:\\EMPTY"));

  setAtomicWriteFailureAfter(3);
  EXPECT_FALSE(fs().writeFile(u"C:\\T\\NORMAL.TXT", "longer than three"));
  setAtomicWriteFailureAfter(-1);
  EXPECT_EQ(fs().lastError(), WinError::DiskFull);
  EXPECT_EQ(tm.hostFile("C", "T/NORMAL.TXT"), QByteArray("x"));
  EXPECT_EQ(QDir(tm.host("C", "T")).entryList(QDir::Files | QDir::Hidden).filter(QLatin1String(kAtomicTempPrefix)).size(), 1);
}

// Everything attributes touch runs against both stores.
class AttributeTest : public ::testing::TestWithParam<const char*> {
 protected:
  AttributeTest()
      : tm(QStringLiteral("AttributeStore=%1\r\n").arg(QLatin1String(GetParam())),
           QStringLiteral("\r\n[Drive E]\r\nType=fixed\r\nTotalBytes=10737418240\r\nSectorsPerCluster=8\r\n")) {}
  FileSystem& fs() { return tm.fs(); }
  TestMachine tm;
};

TEST_P(AttributeTest, AttributesPersistAndReadOnlyShowsOnTheHost) {
  if (QLatin1String(GetParam()) == QLatin1String("file")) {
    EXPECT_EQ(fs().attributeStore().kind(), QStringLiteral("file"));
  }
  tm.putHostFile("C", "MSDOS.SYS", "[Options]\r\n");
  tm.putHostFile("C", "PLAIN.TXT", "x");
  EXPECT_EQ(fs().attributes(u"C:\\PLAIN.TXT"), 0u);
  EXPECT_EQ(fs().attributes(u"C:\\WINDOWS"), quint32(AttrDirectory));
  EXPECT_EQ(fs().attributes(u"C:\\"), quint32(AttrDirectory));
  ASSERT_TRUE(fs().setAttributes(u"C:\\msdos.sys", AttrReadOnly | AttrHidden | AttrSystem | AttrArchive | AttrDirectory));
  EXPECT_EQ(hostMode(tm.host("C", "MSDOS.SYS")) & 0222, 0u);
  ASSERT_TRUE(fs().setAttributes(u"C:\\WINDOWS", AttrHidden));

  tm.reopen();
  EXPECT_EQ(fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
  EXPECT_EQ(fs().attributes(u"C:\\WINDOWS"), quint32(AttrDirectory | AttrHidden));
  ASSERT_TRUE(fs().setAttributes(u"C:\\MSDOS.SYS", AttrArchive));
  EXPECT_NE(hostMode(tm.host("C", "MSDOS.SYS")) & 0200, 0u);
  EXPECT_EQ(fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrArchive));

  // A file the host made unwritable is read-only to Windows too.
  ::chmod(QFile::encodeName(tm.host("C", "PLAIN.TXT")).constData(), 0444);
  EXPECT_EQ(fs().attributes(u"C:\\PLAIN.TXT"), quint32(AttrReadOnly));
}

TEST_P(AttributeTest, ReadOnlyFilesAndFoldersRefuseWhatWindowsRefuses) {
  tm.putHostFile("C", "RO.TXT", "keep");
  tm.putHostFile("C", "DIR/F.TXT", "x");
  ASSERT_TRUE(fs().setAttributes(u"C:\\RO.TXT", AttrReadOnly));
  FileSystem& f = fs();
  struct Case {
    const char* what;
    std::function<bool()> call;
    WinError error;
  } cases[] = {
      {"write", [&] { return f.writeFile(u"C:\\RO.TXT", "new"); }, WinError::AccessDenied},
      {"delete", [&] { return f.deleteFile(u"C:\\RO.TXT"); }, WinError::AccessDenied},
      {"copy onto", [&] { return f.copyFile(u"C:\\DIR\\F.TXT", u"C:\\RO.TXT", false); }, WinError::AccessDenied},
      {"copy no-overwrite", [&] { return f.copyFile(u"C:\\DIR\\F.TXT", u"C:\\RO.TXT", true); }, WinError::FileExists},
      {"time", [&] { return f.setLastWriteTime(u"C:\\RO.TXT", kOldTime); }, WinError::AccessDenied},
      {"delete folder", [&] { return f.deleteFile(u"C:\\DIR"); }, WinError::AccessDenied},
      {"remove full folder", [&] { return f.removeDirectory(u"C:\\DIR"); }, WinError::DirNotEmpty},
      {"remove file as folder", [&] { return f.removeDirectory(u"C:\\RO.TXT"); }, WinError::AccessDenied},
      {"remove root", [&] { return f.removeDirectory(u"C:\\"); }, WinError::AccessDenied},
      {"create existing", [&] { return f.createDirectory(u"C:\\dir"); }, WinError::AlreadyExists},
      {"create without parent", [&] { return f.createDirectory(u"C:\\NO\\NEW"); }, WinError::PathNotFound},
      {"write on CD", [&] { return f.writeFile(u"D:\\X.TXT", "x"); }, WinError::AccessDenied},
      {"copy self", [&] { return f.copyFile(u"C:\\DIR\\F.TXT", u"c:\\dir\\f.txt", false); }, WinError::SharingViolation},
      {"copy folder", [&] { return f.copyFile(u"C:\\DIR", u"C:\\DIR2", false); }, WinError::AccessDenied},
      {"read folder", [&] { return f.readFile(u"C:\\DIR").has_value(); }, WinError::AccessDenied},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(c.call()) << c.what;
    EXPECT_EQ(f.lastError(), c.error) << c.what;
  }
  EXPECT_EQ(tm.hostFile("C", "RO.TXT"), QByteArray("keep"));
}

TEST_P(AttributeTest, CopyKeepsTheTimeAndGivesArchiveOnly) {
  tm.putHostFile("C", "MSDOS.SYS", "original");
  ASSERT_TRUE(fs().setLastWriteTime(u"C:\\MSDOS.SYS", kOldTime));
  ASSERT_TRUE(fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
  ASSERT_TRUE(fs().createDirectories(u"C:\\VANTREL\\BACKUP"));
  ASSERT_TRUE(fs().copyFile(u"C:\\MSDOS.SYS", u"C:\\VANTREL\\BACKUP\\MSDOS.BAK", true));
  EXPECT_EQ(fs().attributes(u"C:\\VANTREL\\BACKUP\\MSDOS.BAK"), quint32(AttrArchive));
  EXPECT_EQ(fs().lastWriteTime(u"C:\\VANTREL\\BACKUP\\MSDOS.BAK"), kOldTime);

  // Restoring: lift the attributes, copy back; the file ends normal + archive.
  ASSERT_TRUE(fs().setAttributes(u"C:\\MSDOS.SYS", 0));
  ASSERT_TRUE(fs().writeFile(u"C:\\MSDOS.SYS", "damaged"));
  ASSERT_TRUE(fs().copyFile(u"C:\\VANTREL\\BACKUP\\MSDOS.BAK", u"C:\\MSDOS.SYS", false));
  EXPECT_EQ(fs().readFile(u"C:\\MSDOS.SYS").value_or("-"), QByteArray("original"));
  EXPECT_EQ(fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrArchive));
}

TEST_P(AttributeTest, WritesKeepAttributesAndAddArchive) {
  ASSERT_TRUE(fs().writeFile(u"C:\\NEW.TXT", "1"));
  EXPECT_EQ(fs().attributes(u"C:\\NEW.TXT"), quint32(AttrArchive));
  ASSERT_TRUE(fs().setAttributes(u"C:\\NEW.TXT", AttrHidden | AttrSystem));
  ASSERT_TRUE(fs().writeFile(u"C:\\new.txt", "2"));
  EXPECT_EQ(fs().attributes(u"C:\\NEW.TXT"), quint32(AttrHidden | AttrSystem | AttrArchive));
  // The host side's import changes the file as much as a write does.
  QTemporaryDir host;
  const QString fromHost = host.filePath(QStringLiteral("new.txt"));
  ASSERT_TRUE(QFile(fromHost).open(QIODevice::WriteOnly));
  ASSERT_TRUE(fs().setAttributes(u"C:\\NEW.TXT", AttrHidden));
  ASSERT_TRUE(fs().importHostFile(fromHost, u"C:\\NEW.TXT"));
  EXPECT_EQ(fs().attributes(u"C:\\NEW.TXT"), quint32(AttrHidden | AttrArchive));
  // Deleted and created again: the old attributes do not come back.
  ASSERT_TRUE(fs().deleteFile(u"C:\\NEW.TXT"));
  ASSERT_TRUE(fs().writeFile(u"C:\\NEW.TXT", "3"));
  EXPECT_EQ(fs().attributes(u"C:\\NEW.TXT"), quint32(AttrArchive));
}

TEST_P(AttributeTest, MovesTakeAttributesAlong) {
  tm.putHostFile("C", "A/SUB/F.SYS", "f");
  tm.putHostFile("C", "B.TXT", "b");
  ASSERT_TRUE(fs().setAttributes(u"C:\\A\\SUB\\F.SYS", AttrHidden | AttrSystem | AttrReadOnly));
  ASSERT_TRUE(fs().moveFile(u"C:\\A", u"C:\\Moved"));  // a folder, with a read-only file inside
  EXPECT_EQ(fs().attributes(u"C:\\MOVED\\SUB\\F.SYS"), quint32(AttrHidden | AttrSystem | AttrReadOnly));
  ASSERT_TRUE(fs().moveFile(u"C:\\MOVED\\SUB\\F.SYS", u"E:\\F.SYS"));  // a file, across drives
  EXPECT_EQ(fs().attributes(u"E:\\F.SYS"), quint32(AttrHidden | AttrSystem | AttrReadOnly));
  EXPECT_FALSE(fs().exists(u"C:\\MOVED\\SUB\\F.SYS"));
  ASSERT_TRUE(fs().writeFile(u"C:\\MOVED\\SUB\\F.SYS", "new"));
  EXPECT_EQ(fs().attributes(u"C:\\MOVED\\SUB\\F.SYS"), quint32(AttrArchive));

  ASSERT_TRUE(fs().moveFile(u"C:\\b.txt", u"C:\\B.TXT.OLD"));
  ASSERT_TRUE(fs().moveFile(u"C:\\b.txt.old", u"C:\\b.txt.old"));
  ASSERT_TRUE(fs().moveFile(u"C:\\B.TXT.OLD", u"C:\\b.txt.old"));  // only the case changes
  EXPECT_TRUE(QFileInfo::exists(tm.host("C", "b.txt.old")));
  EXPECT_FALSE(QFileInfo::exists(tm.host("C", "B.TXT.OLD")));

  struct Case {
    const char* from;
    const char* to;
    WinError error;
  } refusals[] = {
      {"C:\\B.TXT.OLD", "C:\\MOVED", WinError::AlreadyExists}, {"C:\\MISSING", "C:\\X", WinError::FileNotFound},
      {"C:\\B.TXT.OLD", "C:\\NO\\X", WinError::PathNotFound},  {"C:\\MOVED", "C:\\MOVED\\SUB\\INSIDE", WinError::AccessDenied},
      {"C:\\MOVED", "E:\\MOVED", WinError::AccessDenied},  // folders stay on their drive
  };
  for (const Case& c : refusals) {
    EXPECT_FALSE(fs().moveFile(QString::fromLatin1(c.from), QString::fromLatin1(c.to))) << c.from;
    EXPECT_EQ(fs().lastError(), c.error) << c.from << " -> " << c.to;
  }
}

TEST_P(AttributeTest, FoldersAreMadeAndRemoved) {
  ASSERT_TRUE(fs().createDirectories(u"C:\\A\\B\\C"));
  EXPECT_TRUE(fs().createDirectories(u"c:\\a\\b"));  // already there: fine
  ASSERT_TRUE(fs().writeFile(u"C:\\A\\FILE", "x"));
  EXPECT_FALSE(fs().createDirectories(u"C:\\A\\FILE\\SUB"));
  EXPECT_EQ(fs().lastError(), WinError::PathNotFound);
  ASSERT_TRUE(fs().setAttributes(u"C:\\A\\B\\C", AttrHidden));
  EXPECT_FALSE(fs().removeDirectory(u"C:\\A\\B"));
  EXPECT_EQ(fs().lastError(), WinError::DirNotEmpty);
  ASSERT_TRUE(fs().removeDirectory(u"C:\\A\\B\\C"));
  ASSERT_TRUE(fs().createDirectory(u"C:\\A\\B\\C"));
  EXPECT_EQ(fs().attributes(u"C:\\A\\B\\C"), quint32(AttrDirectory));  // nothing left of the old folder
}

TEST_P(AttributeTest, AFileLinkedFromOutsideGetsItsOwnCopyBeforeItChanges) {
  QTemporaryDir outside;
  const QString shared = outside.path() + QStringLiteral("/shared.sys");
  QFile f(shared);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("shared");
  f.close();
  ::chmod(QFile::encodeName(shared).constData(), 0644);
  const QDateTime newTime(QDate(2001, 1, 2), QTime(3, 4, 5), Qt::UTC);
  struct Case {
    const char* what;
    std::function<bool(const QString&)> change;
    quint32 attrs;
    QDateTime time;
  } cases[] = {
      {"attributes", [&](const QString& p) { return fs().setAttributes(p, AttrReadOnly | AttrHidden); },
       AttrReadOnly | AttrHidden, kOldTime},
      {"time", [&](const QString& p) { return fs().setLastWriteTime(p, newTime); }, 0, newTime},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(kOldTime, QFileDevice::FileModificationTime));
    f.close();
    const QString name = QStringLiteral("LINK%1.SYS").arg(QLatin1String(c.what).size());
    ASSERT_EQ(::link(QFile::encodeName(shared).constData(), QFile::encodeName(tm.host("C", name)).constData()), 0);
    ASSERT_TRUE(c.change(QStringLiteral("C:\\") + name)) << c.what;
    EXPECT_EQ(fs().attributes(QStringLiteral("C:\\") + name), c.attrs) << c.what;
    EXPECT_EQ(fs().lastWriteTime(QStringLiteral("C:\\") + name), c.time) << c.what;
    EXPECT_EQ(fs().readFile(QStringLiteral("C:\\") + name).value_or("-"), QByteArray("shared")) << c.what;
    // The file outside is as it was.
    EXPECT_EQ(hostMode(shared), mode_t(0644)) << c.what;
    EXPECT_LT(::getxattr(QFile::encodeName(shared).constData(), "user.DOSATTRIB", nullptr, 0), 0) << c.what;
    EXPECT_EQ(QFileInfo(shared).lastModified().toUTC(), kOldTime) << c.what;
    struct stat st = {};
    ::stat(QFile::encodeName(shared).constData(), &st);
    EXPECT_EQ(st.st_nlink, nlink_t(1)) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, AttributeTest, ::testing::Values("xattr", "file"));

TEST(FileSystemDrives, TypesLabelsAndFreeSpace) {
  TestMachine tm({}, QStringLiteral("\r\n[Drive E]\r\nType=fixed\r\nTotalBytes=10737418240\r\nSectorsPerCluster=8\r\n"
                                    "\r\n[Drive F]\r\nType=ramdisk\r\n"));
  FileSystem& fs = tm.fs();
  EXPECT_EQ(fs.driveType(u"C:\\"), DriveType::Fixed);
  EXPECT_EQ(fs.driveType(u"a:"), DriveType::Removable);
  EXPECT_EQ(fs.driveType(u"D:\\"), DriveType::CdRom);
  EXPECT_EQ(fs.driveType(u"Q:\\"), DriveType::NoRootDir);
  EXPECT_EQ(fs.driveType(u"D"), DriveType::NoRootDir);
  EXPECT_EQ(fs.driveType(u"\\\\srv\\share\\"), DriveType::NoRootDir);
  EXPECT_EQ(fs.driveType(u""), DriveType::Fixed);  // the current drive
  QString label, fsName;
  ASSERT_TRUE(fs.volumeInformation(u"C:\\", &label, &fsName));
  EXPECT_EQ(label + fsName, QStringLiteral("TESTDISKFAT"));
  EXPECT_FALSE(fs.volumeInformation(u"A:\\", &label, &fsName));
  EXPECT_EQ(fs.lastError(), WinError::NotReady);

  // C: 500 MB in 8 KB clusters; files count in whole clusters.
  tm.putHostFile("C", "ONE", QByteArray(1, 'x'));
  tm.putHostFile("C", "WINDOWS/EXACT", QByteArray(8192, 'x'));
  tm.putHostFile("C", "WINDOWS/SYSTEM/MORE", QByteArray(8193, 'x'));
  qint64 freeBytes = 0, totalBytes = 0;
  ASSERT_TRUE(fs.diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes));
  EXPECT_EQ(totalBytes, 524288000);
  EXPECT_EQ(freeBytes, 524288000 - 4 * 8192);
  quint32 spc = 0, bps = 0, freeClusters = 0, totalClusters = 0;
  ASSERT_TRUE(fs.diskFreeSpace(u"C:\\", &spc, &bps, &freeClusters, &totalClusters));
  EXPECT_EQ(std::vector<quint32>({spc, bps, freeClusters, totalClusters}), std::vector<quint32>({16, 512, 63996, 64000}));

  // D: says it is full; E: is 10 GB, which GetDiskFreeSpace reports as at most 2 GB.
  ASSERT_TRUE(fs.diskFreeSpace(u"D:\\", &spc, &bps, &freeClusters, &totalClusters));
  EXPECT_EQ(std::vector<quint32>({spc, freeClusters, totalClusters}), std::vector<quint32>({64, 0, 20800}));
  ASSERT_TRUE(fs.diskFreeSpace(u"E:\\", &spc, &bps, &freeClusters, &totalClusters));
  EXPECT_EQ(totalClusters, 2147155968u / 4096);
  EXPECT_EQ(freeClusters, totalClusters);
  ASSERT_TRUE(fs.diskFreeSpaceEx(u"E:\\", &freeBytes, &totalBytes));
  EXPECT_EQ(totalBytes, 10737418240);
  // F: has no size: the host's file system lends its own.
  ASSERT_TRUE(fs.diskFreeSpaceEx(u"F:\\", &freeBytes, &totalBytes));
  EXPECT_GT(totalBytes, 0);
  EXPECT_LE(freeBytes, totalBytes);

  EXPECT_FALSE(fs.diskFreeSpaceEx(u"A:\\", &freeBytes, &totalBytes));
  EXPECT_EQ(fs.lastError(), WinError::NotReady);
  EXPECT_FALSE(fs.diskFreeSpaceEx(u"Q:\\", &freeBytes, &totalBytes));
  EXPECT_EQ(fs.lastError(), WinError::PathNotFound);
}

TEST(FileSystemDrives, FreeSpaceFollowsTheMachinesOwnWritesWithoutCounting) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  tm.putHostFile("C", "ONE", QByteArray(1, 'x'));
  qint64 free0 = 0, freeBytes = 0, totalBytes = 0;
  ASSERT_TRUE(fs.diskFreeSpaceEx(u"C:\\", &free0, &totalBytes));
  // C: has 8 KB clusters; `used` is the change since the first call.
  struct Case {
    const char* what;
    std::function<bool()> change;
    qint64 used;
  } cases[] = {
      {"new file", [&] { return fs.writeFile(u"C:\\A.TXT", QByteArray(8193, 'a')); }, 2 * 8192},
      {"shorter", [&] { return fs.writeFile(u"C:\\a.txt", QByteArray(10, 'a')); }, 8192},
      {"copy", [&] { return fs.copyFile(u"C:\\A.TXT", u"C:\\WINDOWS\\B.TXT", true); }, 2 * 8192},
      {"move", [&] { return fs.moveFile(u"C:\\WINDOWS\\B.TXT", u"C:\\B.TXT"); }, 2 * 8192},
      {"delete", [&] { return fs.deleteFile(u"C:\\B.TXT"); }, 8192},
      {"delete", [&] { return fs.deleteFile(u"C:\\ONE"); }, 0},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(c.change()) << c.what;
    ASSERT_TRUE(fs.diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes));
    EXPECT_EQ(free0 - freeBytes, c.used) << c.what;
  }
  // What the host adds behind the machine's back is counted when the machine opens again.
  tm.putHostFile("C", "HOST.BIN", QByteArray(100, 'h'));
  ASSERT_TRUE(fs.diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes));
  EXPECT_EQ(freeBytes, free0);
  tm.reopen();
  ASSERT_TRUE(tm.fs().diskFreeSpaceEx(u"C:\\", &freeBytes, &totalBytes));
  EXPECT_EQ(freeBytes, free0 - 8192);
}

TEST(FileSystemHost, ImportAndExportKeepContentsAndTime) {
  TestMachine tm;
  QTemporaryDir host;
  const QString in = host.path() + QStringLiteral("/in.bin"), out = host.path() + QStringLiteral("/out.bin");
  QFile f(in);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("\x00\x01payload", 9);
  f.flush();
  ASSERT_TRUE(f.setFileTime(kOldTime, QFileDevice::FileModificationTime));
  f.close();
  ASSERT_TRUE(tm.fs().importHostFile(in, u"D:\\SETUP.BIN"));  // the host side may fill a CD
  EXPECT_EQ(tm.fs().lastWriteTime(u"D:\\SETUP.BIN"), kOldTime);
  EXPECT_EQ(tm.fs().attributes(u"D:\\SETUP.BIN") & AttrReadOnly, quint32(AttrReadOnly));
  ASSERT_TRUE(tm.fs().exportHostFile(u"d:\\setup.bin", out));
  EXPECT_EQ(QFileInfo(out).lastModified().toUTC(), kOldTime);
  QFile o(out);
  ASSERT_TRUE(o.open(QIODevice::ReadOnly));
  EXPECT_EQ(o.readAll(), QByteArray("\x00\x01payload", 9));
  EXPECT_FALSE(tm.fs().importHostFile(host.path() + QStringLiteral("/missing"), u"C:\\X"));
  EXPECT_EQ(tm.fs().lastError(), WinError::FileNotFound);
}

}  // namespace
}  // namespace vt

namespace vt {
namespace {

// What a search found, in the order found: folder, name, attributes, size, time.
QString describeFind(const QString& folder, const FindData& fd) {
  return QStringLiteral("%1%2 %3 %4 %5")
      .arg(folder, fd.name)
      .arg(fd.attributes, 0, 16)
      .arg(fd.size)
      .arg(fd.lastWrite.toMSecsSinceEpoch());
}

// The recursion of FindFirstFile calls that the tree walk stands for.
void findFirstWalk(FileSystem& fs, const QString& folder, const TreeWalkFilter& filter, QStringList* found,
                   QStringList* folders) {
  folders->append(folder);
  FindData fd;
  for (const QString& pattern : filter.patterns) {
    if (auto s = fs.findFirst(folder + pattern, filter.matchMask, &fd)) {
      do found->append(describeFind(folder, fd));
      while (fs.findNext(*s, &fd));
    }
  }
  auto s = fs.findFirst(folder + QStringLiteral("*.*"), filter.folderMask, &fd);
  if (!s) return;
  do {
    if ((fd.attributes & AttrDirectory) && !fd.name.startsWith(QLatin1Char('.')))
      findFirstWalk(fs, folder + fd.name + QLatin1Char('\\'), filter, found, folders);
  } while (fs.findNext(*s, &fd));
}

struct Recorder : TreeVisitor {
  bool enterFolder(const QString& folder) override {
    folders.append(folder);
    return true;
  }
  bool found(const QString& folder, WalkMatch& m) override {
    found_.append(describeFind(folder, m.findData()));
    return true;
  }
  QStringList folders, found_;
};

// A tree with what a walk must get right: case twins, hidden and system files and folders,
// a folder named like a file, links inside and out of the machine, a name beyond ASCII.
// Returns the filters the walks are held to.
std::vector<TreeWalkFilter> putWalkTree(TestMachine& tm) {
  FileSystem& fs = tm.fs();
  for (const char* f :
       {"WINDOWS/WIN.INI", "WINDOWS/Temp/~DF1.TMP", "WINDOWS/Temp/a.tmp", "WINDOWS/Temp/B.Tmp", "WINDOWS/Temp/HIDE.TMP",
        "WINDOWS/Temp/SYS.TMP", "WINDOWS/Temp/RO.TMP", "WINDOWS/Temp/sub.tmp/x.txt", "WINDOWS/SYSTEM/HID.TMP", "SysDir/X.TMP",
        ".dotdir/Y.TMP", "mScReAtE.dir", "MSCREATE.DIR", "Gr\u00F6\u00DFe.tmp"})
    tm.putHostFile("C", QString::fromUtf8(f), QByteArray(int(std::strlen(f)), 'x'));
  tm.putHostFile("D", "Z.TMP", "cd");
  EXPECT_TRUE(fs.setAttributes(u"C:\\WINDOWS\\TEMP\\HIDE.TMP", AttrHidden));
  EXPECT_TRUE(fs.setAttributes(u"C:\\WINDOWS\\TEMP\\SYS.TMP", AttrSystem | AttrArchive));
  EXPECT_TRUE(fs.setAttributes(u"C:\\WINDOWS\\TEMP\\RO.TMP", AttrReadOnly));
  EXPECT_TRUE(fs.setAttributes(u"C:\\WINDOWS\\SYSTEM", AttrHidden));
  EXPECT_TRUE(fs.setAttributes(u"C:\\SYSDIR", AttrSystem));
  EXPECT_TRUE(fs.setLastWriteTime(u"C:\\WINDOWS\\TEMP\\A.TMP", kOldTime));
  EXPECT_TRUE(QFile::link(QStringLiteral("WINDOWS/WIN.INI"), tm.host("C", "LINKF.TMP")));
  EXPECT_TRUE(QFile::link(QStringLiteral("../D"), tm.host("C", "CDROM")));
  EXPECT_TRUE(QFile::link(QStringLiteral("/tmp"), tm.host("C", "OUT")));

  auto filter = [](QStringList patterns, quint32 matchMask, quint32 folderMask) {
    TreeWalkFilter s;
    s.patterns = std::move(patterns);
    s.matchMask = matchMask;
    s.folderMask = folderMask;
    return s;
  };
  return {
      filter({"~*.TMP", "*.TMP"}, AttrAnyFile, AttrAnyFile),  // the clean-up's temporary files
      filter({"*.tmp"}, AttrReadOnly | AttrArchive, AttrDirectory),
      filter({"mscreate.dir", "*", "."}, AttrAnyFile, AttrDirectory | AttrHidden),
      filter({}, 0, AttrDirectory),  // the folder count
  };
}

TEST(TreeWalk, FindsWhatTheRecursionOfSearchesFinds) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  const std::vector<TreeWalkFilter> filters = putWalkTree(tm);
  for (const TreeWalkFilter& s : filters) {
    QStringList expected, expectedFolders;
    findFirstWalk(fs, QStringLiteral("C:\\"), s, &expected, &expectedFolders);
    Recorder r;
    ASSERT_TRUE(fs.walkTree(u"C:\\", s, r));
    EXPECT_EQ(r.found_, expected) << s.patterns.join(' ').toStdString();
    EXPECT_EQ(r.folders, expectedFolders) << s.patterns.join(' ').toStdString();
  }
  Recorder r;
  EXPECT_FALSE(fs.walkTree(u"C:\\NOWHERE", filters[0], r));
  EXPECT_EQ(fs.lastError(), WinError::PathNotFound);
  EXPECT_FALSE(fs.walkTree(u"A:\\", filters[0], r));
  EXPECT_EQ(fs.lastError(), WinError::NotReady);
}

// A listing made with more patterns than a walk asks for, and with its own folder mask,
// still gives that walk what the disk gives it: the same folders, the same matches with
// their aliases, attributes, sizes and times, in the same order.
TEST(TreeListing, AWalkOfTheListingFindsWhatAWalkOfTheDiskFinds) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  std::vector<TreeWalkFilter> filters = putWalkTree(tm);
  tm.putHostFile("C", "WINDOWS/Temp/Long name.tmp", "long");
  const std::optional<QString> alias = fs.shortPathName(u"C:\\WINDOWS\\TEMP\\LONG NAME.TMP");
  ASSERT_TRUE(alias && alias->contains(QLatin1Char('~')));
  filters.push_back(filters[0]);
  filters.back().patterns = QStringList{alias->mid(alias->lastIndexOf(QLatin1Char('\\')) + 1),
                                        QStringLiteral("mscreate.dir")};  // looked up by alias and by case
  struct Aliases : Recorder {
    bool found(const QString& folder, WalkMatch& m) override {
      found_.append(m.shortName());
      return Recorder::found(folder, m);
    }
  };
  for (const TreeWalkFilter& s : filters) {
    Aliases disk, listed;
    ASSERT_TRUE(fs.walkTree(u"C:\\", s, disk));
    TreeWalkFilter wider = s;
    wider.patterns << QStringLiteral("*.DIR") << QStringLiteral("*.INI") << QStringLiteral("*.tmp");
    TreeListing listing;
    Recorder entered;
    ASSERT_TRUE(fs.listTree(u"C:\\", wider, entered, &listing));
    EXPECT_TRUE(entered.found_.isEmpty());
    ASSERT_TRUE(listing.walk(s, listed));
    EXPECT_EQ(listed.found_, disk.found_) << s.patterns.join(' ').toStdString();
    EXPECT_EQ(listed.folders, disk.folders) << s.patterns.join(' ').toStdString();
    if (s.patterns.isEmpty()) EXPECT_EQ(listing.plainFolderCount(), disk.folders.size());

    // What the listing did not keep it cannot answer, rather than answer wrongly.
    Recorder none;
    TreeWalkFilter other = s;
    other.patterns << QStringLiteral("*.GID");
    EXPECT_FALSE(listing.walk(other, none));
    other = s;
    other.matchMask ^= AttrHidden;
    EXPECT_FALSE(listing.walk(other, none));
    EXPECT_TRUE(none.folders.isEmpty());
  }
}

TEST(TreeWalk, LinksBackUpTheTreeEndNoWalk) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  tm.putHostFile("C", "A/B/F.TMP", "f");
  ASSERT_TRUE(QFile::link(QStringLiteral("."), tm.host("C", "loop")));
  ASSERT_TRUE(QFile::link(QStringLiteral("../.."), tm.host("C", "A/B/up")));
  ASSERT_TRUE(QFile::link(QStringLiteral("B"), tm.host("C", "A/again")));
  TreeWalkFilter filter;
  filter.patterns = QStringList{QStringLiteral("*.TMP")};
  Recorder r;
  ASSERT_TRUE(fs.walkTree(u"C:\\", filter, r));
  // Every folder once (C:\, WINDOWS, SYSTEM, A and B under one of its two names), F.TMP once.
  EXPECT_EQ(r.folders.size(), 5) << r.folders.join(' ').toStdString();
  EXPECT_EQ(r.found_.size(), 1);

  // A recursion of searches has no memory of where it was; Windows' path length ends it.
  QStringList found, folders;
  ASSERT_TRUE(QFile::remove(tm.host("C", "A/B/up")));  // one link left: the paths grow a name a step
  ASSERT_TRUE(QFile::remove(tm.host("C", "A/again")));
  findFirstWalk(fs, QStringLiteral("C:\\"), filter, &found, &folders);
  EXPECT_GT(folders.size(), 4 * 40);
  EXPECT_TRUE(folders.last().startsWith(QStringLiteral("C:\\loop\\loop\\loop\\")));
}

}  // namespace
}  // namespace vt
