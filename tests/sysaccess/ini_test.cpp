// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/ini.h"

#include "support/testmachine.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(IniAccessNumbers, DecimalOrHexWithEitherPrefix) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"3", true, 3},          {"-12", true, -12},        {"0x1F", true, 31}, {"0X1f", true, 31}, {"$1F", true, 31},
      {"0x", false, 0},        {"12abc", false, 0},       {"", false, 0},     {"  7", true, 7},   {"7 ", false, 0},
      {"$FFFFFFFF", true, -1}, {"99999999999", false, 0}, {"0x-1", false, 0},
  };
  for (const Case& c : cases) {
    int v = 0;
    EXPECT_EQ(IniAccess::parseInteger(QString::fromLatin1(c.text), &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

class IniAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tm.putHostFile("C", "MSDOS.SYS",
                   "[Paths]\r\nWinDir=C:\\WINDOWS\r\n\r\n[Options]\r\nBootGUI=1\r\nBootDelay=0x1F\r\nLogo=12abc\r\n"
                   ";padding line\r\n");
    ASSERT_TRUE(tm.fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
  }
  test::TestMachine tm;
  IniAccess ini{tm.machine()};
};

TEST_F(IniAccessTest, ReadsIntegersAndStrings) {
  EXPECT_EQ(ini.ReadIniInteger(u"C:\\MsDos.sys", u"options", u"BootDelay"), 31);
  EXPECT_EQ(ini.ReadIniInteger(u"C:\\msdos.sys", u"Options", u"Logo"), 0);
  EXPECT_EQ(ini.ReadIniInteger(u"C:\\msdos.sys", u"Options", u"Missing"), 0);
  EXPECT_EQ(ini.ReadIniString(u"C:\\msdos.sys", u"Paths", u"WinDir"), QStringLiteral("C:\\WINDOWS"));
  EXPECT_TRUE(ini.IniIntegerEquals(u"C:\\msdos.sys", u"Options", u"Missing", 0));
  EXPECT_FALSE(ini.IniIntegerEquals(u"C:\\nofile.ini", u"Options", u"Missing", 0));
}

TEST_F(IniAccessTest, WritesIntoAProtectedFileAndPutsItsAttributesBack) {
  EXPECT_TRUE(ini.WriteIniInteger(u"C:\\msdos.sys", u"Options", u"BootMenuDelay", 3));
  EXPECT_TRUE(ini.WriteIniInteger(u"C:\\msdos.sys", u"Options", u"BootGUI", 0));
  EXPECT_TRUE(ini.WriteIniString(u"C:\\msdos.sys", u"Paths", u"WinBootDir", u"C:\\WINDOWS"));
  // Written, so marked for the next backup as Windows marks what it writes.
  EXPECT_EQ(tm.fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
  EXPECT_EQ(tm.hostFile("C", "MSDOS.SYS"),
            QByteArray("[Paths]\r\nWinDir=C:\\WINDOWS\r\nWinBootDir=C:\\WINDOWS\r\n\r\n[Options]\r\nBootGUI=0\r\n"
                       "BootDelay=0x1F\r\nLogo=12abc\r\nBootMenuDelay=3\r\n;padding line\r\n"));
  tm.reopen();
  IniAccess again(tm.machine());
  EXPECT_EQ(again.ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"BootMenuDelay"), 3);
  EXPECT_EQ(tm.fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrReadOnly | AttrHidden | AttrSystem | AttrArchive));
  // A value that is already there leaves the file, and so its archive bit, alone.
  ASSERT_TRUE(tm.fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
  EXPECT_TRUE(again.WriteIniInteger(u"C:\\msdos.sys", u"Options", u"BootMenuDelay", 3));
  EXPECT_EQ(tm.fs().attributes(u"C:\\MSDOS.SYS"), quint32(AttrReadOnly | AttrHidden | AttrSystem));
}

TEST_F(IniAccessTest, NeverCreatesAFile) {
  EXPECT_FALSE(ini.WriteIniInteger(u"C:\\WINDOWS\\NEW.INI", u"s", u"k", 1));
  EXPECT_FALSE(ini.WriteIniString(u"C:\\WINDOWS\\NEW.INI", u"s", u"k", u"v"));
  EXPECT_FALSE(tm.fs().exists(u"C:\\WINDOWS\\NEW.INI"));
  EXPECT_EQ(ini.ReadIniInteger(u"C:\\WINDOWS\\NEW.INI", u"s", u"k"), 0);
  // A removable drive without a disk fails the same quiet way.
  EXPECT_FALSE(ini.WriteIniString(u"A:\\X.INI", u"s", u"k", u"v"));
}

TEST(IniAccess, AFolderWhereMsdosSysShouldBeReadsAsAMissingFile) {
  test::TestMachine tm;
  ASSERT_TRUE(tm.fs().createDirectories(u"C:\\MSDOS.SYS"));
  IniAccess ini(tm.machine());
  EXPECT_EQ(ini.ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"BootGUI"), 0);
  EXPECT_FALSE(ini.IniIntegerEquals(u"C:\\MSDOS.SYS", u"Options", u"BootGUI", 0));
  EXPECT_EQ(ini.ReadIniString(u"C:\\MSDOS.SYS", u"Options", u"BootGUI"), QString());
  EXPECT_FALSE(ini.WriteIniInteger(u"C:\\MSDOS.SYS", u"Options", u"BootGUI", 1));
  EXPECT_TRUE(tm.fs().isDirectory(u"C:\\MSDOS.SYS"));
}

TEST_F(IniAccessTest, ReadBackCatchesValuesTheFileCannotHold) {
  // A value's blanks at either end are lost on reading, so the write cannot be verified.
  EXPECT_FALSE(ini.WriteIniString(u"C:\\msdos.sys", u"Options", u"Padded", u"  x  "));
  EXPECT_TRUE(ini.WriteIniString(u"C:\\msdos.sys", u"Options", u"Long", QString(1023, QLatin1Char('a'))));
  EXPECT_FALSE(ini.WriteIniString(u"C:\\msdos.sys", u"Options", u"Longer", QString(1024, QLatin1Char('a'))));
}

}  // namespace
}  // namespace vt
