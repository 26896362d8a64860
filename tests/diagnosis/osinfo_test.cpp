// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/osinfo.h"

#include "support/testmachine.h"

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(TOSInfo, ProcessorTypesMapToTheirTexts) {
  struct Case {
    int type;
    const char* text;
  } cases[] = {
      {386, "386"}, {486, "486"}, {586, "Pentium"}, {686, "x"}, {0, "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(TOSInfo::processorText(c.type), QString::fromLatin1(c.text)) << c.type;
}

TEST(TOSInfo, FactsComeFromTheMachine) {
  test::TestMachine tm(QStringLiteral("Platform=WinNT\r\nColorDepth=4\r\nComputerName=AVERYLONGCOMPUTERNAME\r\n"));
  TOSInfo info(tm.machine());
  EXPECT_EQ(info.Platform(), QStringLiteral("WinNT"));
  EXPECT_EQ(info.ColorDepth(), 4);
  EXPECT_EQ(info.WindowsDirectory(), QStringLiteral("C:\\WINDOWS"));
  EXPECT_EQ(info.SystemDirectory(), QStringLiteral("C:\\WINDOWS\\SYSTEM"));
  EXPECT_EQ(info.Processor(), QStringLiteral("Pentium"));
  EXPECT_EQ(info.ComputerName(), QString());  // too long for GetComputerName's buffer
  EXPECT_EQ(info.UserName(), QStringLiteral("Tester"));
}

TEST(TOSInfo, ShellFoldersComeFromTheRegistryAndMissingOnesAreEmpty) {
  test::TestMachine tm;
  RegKey* k =
      tm.registry().createKey(HKey::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  k->setValue("Start Menu", RegSz, "C:\\WINDOWS\\Start Menu");
  k->setValue("Fonts", RegSz, QByteArray("C:\\WINDOWS\\FONTS\0", 17));
  k->setValue("Personal", RegSz, QByteArray(250, 'p'));
  TOSInfo info(tm.machine());
  EXPECT_EQ(info.StartMenu(), QStringLiteral("C:\\WINDOWS\\Start Menu"));
  EXPECT_EQ(info.Fonts(), QStringLiteral("C:\\WINDOWS\\FONTS"));
  EXPECT_EQ(info.Personal().size(), 199);
  EXPECT_EQ(info.Desktop(), QString());
  EXPECT_EQ(info.SendTo(), QString());
}

}  // namespace
}  // namespace vt
