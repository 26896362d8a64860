// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shortname.h"

#include "platform/filesystem.h"
#include "platform/wildcard.h"
#include "support/testmachine.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

#include <unistd.h>

namespace vt {
namespace {

using test::TestMachine;

TEST(ShortNames, GeneratedAsWindows95Does) {
  struct Case {
    const char* name;
    QStringList taken;
    const char* alias;
  } cases[] = {
      {"WIN.INI", {}, "WIN.INI"},
      {"win.ini", {}, "WIN.INI"},
      {"Readme.txt", {}, "README.TXT"},
      {"Program Files", {}, "PROGRA~1"},
      {"Programme Alt", {"PROGRA~1"}, "PROGRA~2"},
      {"Internet Explorer", {}, "INTERN~1"},
      {"index.html", {}, "INDEX~1.HTM"},
      {"my.long.file.name.html", {}, "MYLONG~1.HTM"},
      {".profile", {}, "PROFIL~1"},
      {"a+b.txt", {}, "A_B~1.TXT"},
      {"x y.doc", {}, "XY~1.DOC"},
      {"\u00dcbersicht.doc", {}, "\u00dcBERSI~1.DOC"},
      {"\u20ac.txt", {}, "_~1.TXT"},
      {"README.TXT", {"README.TXT"}, "README~1.TXT"},
      {"Long filename.txt",
       {"LONGFI~1.TXT", "LONGFI~2.TXT", "LONGFI~3.TXT", "LONGFI~4.TXT", "LONGFI~5.TXT", "LONGFI~6.TXT", "LONGFI~7.TXT",
        "LONGFI~8.TXT", "LONGFI~9.TXT"},
       "LONGF~10.TXT"},
  };
  for (const Case& c : cases) {
    const QSet<QString> taken(c.taken.begin(), c.taken.end());
    const QString alias = shortname::generate(QString::fromUtf8(c.name), [&](const QString& a) { return taken.contains(a); });
    EXPECT_EQ(alias, QString::fromUtf8(c.alias)) << c.name;
    EXPECT_TRUE(shortname::isAlias(alias)) << c.name;
  }
  for (const char* notAlias : {"win.ini", "Program Files", "ABCDEFGHI", "A.BCDE", "A.B.C", ".X", "A+B", "X."})
    EXPECT_FALSE(shortname::isAlias(QString::fromLatin1(notAlias))) << notAlias;
}

// Names with blanks, points, lower case and characters short names cannot hold, most of
// them sharing their first letters so that their aliases compete for the same tails.
QString randomLongName(QRandomGenerator& rng) {
  static const QString pool = QStringLiteral("abcAB  ..+;,[]=xy\u00e9\u00fc~1");
  QString name = QStringLiteral("Prog");
  const int len = rng.bounded(1, 12);
  for (int i = 0; i < len; ++i) name += pool[rng.bounded(int(pool.size()))];
  while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) name.chop(1);
  return name;
}

std::map<QString, QString> aliasesIn(FileSystem& fs, const QString& folder) {
  std::map<QString, QString> out;
  FindData fd;
  auto s = fs.findFirst(folder + QStringLiteral("\\*"), AttrAnyFile, &fd);
  if (!s) return out;
  do
    if (!fd.name.startsWith(QLatin1Char('.'))) out[fd.name] = fd.alternate.isEmpty() ? fd.name : fd.alternate;
  while (fs.findNext(*s, &fd));
  return out;
}

// Each alias unique in its folder and a valid 8.3 name, both names reaching the same file,
// and no alias changing when other entries come and go or when the machine is opened again.
class AliasProperties : public ::testing::TestWithParam<const char*> {};

TEST_P(AliasProperties, UniqueValidAndStable) {
  TestMachine tm(QString::fromLatin1(GetParam()));
  QRandomGenerator rng(19);
  ASSERT_TRUE(tm.fs().createDirectory(u"C:\\P"));
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 12; ++i) {
      const QString name = randomLongName(rng);
      if (i % 3 == 0)
        tm.fs().createDirectory(QStringLiteral("C:\\P\\") + name);
      else
        tm.fs().writeFile(QStringLiteral("C:\\P\\") + name, name.toUtf8());
    }
    const auto before = aliasesIn(tm.fs(), QStringLiteral("C:\\P"));
    QSet<QString> seen;
    for (const auto& [name, alias] : before) {
      EXPECT_TRUE(shortname::isAlias(alias)) << name.toStdString() << " -> " << alias.toStdString();
      EXPECT_FALSE(seen.contains(alias)) << alias.toStdString();
      seen.insert(alias);
      EXPECT_EQ(tm.fs().hostPath(QStringLiteral("c:\\p\\") + alias.toLower()), tm.fs().hostPath(QStringLiteral("C:\\P\\") + name))
          << alias.toStdString();
      EXPECT_EQ(tm.fs().shortPathName(QStringLiteral("C:\\P\\") + name), QStringLiteral("C:\\P\\") + alias);
    }
    // Every third entry goes and every fifth is renamed; the others keep their aliases.
    int i = 0;
    QSet<QString> touched;
    for (const auto& [name, alias] : before) {
      const QString path = QStringLiteral("C:\\P\\") + name;
      if (++i % 3 == 0) {
        tm.fs().isDirectory(path) ? tm.fs().removeDirectory(path) : tm.fs().deleteFile(path);
        touched.insert(name);
      } else if (i % 5 == 0) {
        const QString renamed = name + QStringLiteral(" renamed");
        if (tm.fs().moveFile(path, QStringLiteral("C:\\P\\") + renamed)) touched << name << renamed;
      }
    }
    if (round % 2) tm.reopen();
    for (const auto& [name, alias] : aliasesIn(tm.fs(), QStringLiteral("C:\\P"))) {
      if (touched.contains(name) || !before.count(name)) continue;
      EXPECT_EQ(alias, before.at(name)) << name.toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Stores, AliasProperties, ::testing::Values("", "AttributeStore=file"));

TEST(ShortNameLookup, EitherNameInEveryComponentAndTheNameBeforeAnAlias) {
  TestMachine tm;
  FileSystem& fs = tm.fs();
  tm.putHostFile(QStringLiteral("C"), QStringLiteral("Program Files/Accessories/WORDPAD.EXE"), "wp");
  tm.putHostFile(QStringLiteral("C"), QStringLiteral("Programme Alt/Internet Explorer/iexplore.exe"), "ie");
  const QString wordpad = tm.host(QStringLiteral("C"), QStringLiteral("Program Files/Accessories/WORDPAD.EXE"));
  for (const char* path : {"C:\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE", "C:\\Progra~1\\Accessories\\wordpad.exe",
                           "c:\\program files\\access~1\\WordPad.Exe", "C:\\PROGRA~1\\..\\PROGRA~1\\ACCESS~1\\WORDPAD.EXE"})
    EXPECT_EQ(fs.hostPath(QString::fromLatin1(path)), wordpad) << path;
  EXPECT_EQ(fs.shortPathName(u"C:\\Programme Alt\\Internet Explorer\\iexplore.exe"),
            QStringLiteral("C:\\PROGRA~2\\INTERN~1\\IEXPLORE.EXE"));
  EXPECT_EQ(fs.longPathName(u"c:\\progra~2\\intern~1\\IEXPLORE.EXE"),
            QStringLiteral("C:\\Programme Alt\\Internet Explorer\\iexplore.exe"));
  EXPECT_FALSE(fs.exists(u"C:\\PROGRA~3"));
  EXPECT_EQ(fs.lastError(), WinError::FileNotFound);
  EXPECT_FALSE(fs.exists(u"C:\\PROGRA~3\\X"));
  EXPECT_EQ(fs.lastError(), WinError::PathNotFound);

  FindData fd;
  ASSERT_TRUE(fs.findFirst(u"C:\\PROGRA~1", AttrAnyFile, &fd));
  EXPECT_EQ(fd.name, QStringLiteral("Program Files"));
  EXPECT_EQ(fd.alternate, QStringLiteral("PROGRA~1"));
  ASSERT_TRUE(fs.findFirst(u"C:\\PROGRA~1\\ACCESS~1\\*.EXE", AttrAnyFile, &fd));
  EXPECT_EQ(fd.name, QStringLiteral("WORDPAD.EXE"));
  EXPECT_TRUE(fd.alternate.isEmpty());

  // A host file whose own name is another entry's alias is what that name finds; the
  // alias stays with its entry, which the long name still reaches.
  tm.putHostFile(QStringLiteral("C"), QStringLiteral("PROGRA~1"), "own");
  tm.reopen();
  EXPECT_EQ(tm.fs().readFile(u"C:\\progra~1"), QByteArray("own"));
  EXPECT_EQ(tm.fs().shortPathName(u"C:\\Program Files"), QStringLiteral("C:\\PROGRA~1"));
  EXPECT_EQ(tm.fs().hostPath(u"C:\\Program Files\\ACCESS~1\\WORDPAD.EXE"), wordpad);
}

// A folder big enough that its stored aliases are read on two threads: after the machine
// is opened again, each alias still leads to its own entry, and one nobody holds to none.
TEST(ShortNameLookup, ABigSettledFolderKeepsEveryStoredAlias) {
  TestMachine tm;
  constexpr int kFiles = 700;
  for (int i = 0; i < kFiles; ++i)
    tm.putHostFile(QStringLiteral("C"), QStringLiteral("BIG/Module Number %1.dll").arg(i), QByteArray::number(i));
  std::vector<QString> aliases;
  for (int i = 0; i < kFiles; ++i)
    aliases.push_back(tm.fs().shortPathName(QStringLiteral("C:\\BIG\\Module Number %1.dll").arg(i)).value_or(QString()));
  // The aliases of the files gone are free again: an alias not read back would be given anew.
  constexpr int kGone = 10;
  for (int i = 0; i < kGone; ++i) ASSERT_TRUE(tm.fs().deleteFile(aliases[size_t(i)]));
  tm.reopen();
  ::usleep(150000);  // folders that have just changed are looked into afresh on every call
  for (int i = kGone; i < kFiles; ++i) {
    ASSERT_EQ(tm.fs().readFile(aliases[size_t(i)]), QByteArray::number(i)) << aliases[size_t(i)].toStdString();
    EXPECT_EQ(tm.fs().shortPathName(QStringLiteral("C:\\BIG\\Module Number %1.dll").arg(i)), aliases[size_t(i)]);
  }
  EXPECT_FALSE(tm.fs().exists(u"C:\\BIG\\MODULE~1.EXE"));
  EXPECT_TRUE(tm.fs().isFile(u"C:\\BIG\\module number 50.DLL"));
  EXPECT_FALSE(tm.fs().isDirectory(u"C:\\BIG\\module number 50.DLL"));
}

}  // namespace
}  // namespace vt
