#include "app/testapp.h"

#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vt {
namespace {

TEST(CleanupWindow, BothOptimisersOnTheSampleMachineBackUpFirstAndAreIdempotent) {
  test::SampleWindow w(English);
  auto& dialogs = w.dialogs;
  auto file = [&](const char* path) { return w.fs().readFile(QString::fromLatin1(path)).value_or("<missing>"); };
  auto click = [&](const char* button) { w.click(button); };
  auto sets = [&] { return w.get<QTreeWidget>("ListView1")->topLevelItemCount(); };

  const int before = sets();
  click("Knopf_WINini");
  click("Knopf_Startdateien");
  EXPECT_EQ(sets(), before + 2);
  EXPECT_EQ(dialogs.shown.mid(dialogs.shown.size() - 2),
            (QStringList{"info: Your Systemfiles have been optimized. The old systemfiles are saved as backup.",
                         "info: Your Startfiles have been optimized. The old startfiles are saved as backup."}));

  const QByteArray win = file("C:\\WINDOWS\\WIN.INI"), config = file("C:\\CONFIG.SYS"), autoexec = file("C:\\AUTOEXEC.BAT");
  EXPECT_FALSE(win.contains("\r\n;"));
  EXPECT_FALSE(win.contains("PXW="));
  EXPECT_TRUE(win.contains("\r\nZIP=\"C:\\PROGRAM FILES\\ZIPCASE\\ZIPCASE.EXE\" ^.ZIP\r\n"));
  EXPECT_TRUE(config.startsWith("DEVICE=C:\\WINDOWS\\HIMEM.SYS\r\nDEVICEHIGH=C:\\WINDOWS\\EMM386.EXE NOEMS\r\n"));
  EXPECT_TRUE(config.contains("\r\nFCBS=1\r\n"));
  EXPECT_FALSE(config.contains("REM "));
  EXPECT_TRUE(autoexec.contains("\r\nLH C:\\SB16\\DIAGNOSE /S\r\n"));
  EXPECT_TRUE(autoexec.contains("\r\nSET PATH=C:\\WINDOWS;C:\\WINDOWS\\COMMAND;C:\\SB16\r\n"));

  click("Knopf_WINini");
  click("Knopf_Startdateien");
  EXPECT_EQ(sets(), before + 4);
  EXPECT_EQ(file("C:\\WINDOWS\\WIN.INI"), win);
  EXPECT_EQ(file("C:\\CONFIG.SYS"), config);
  EXPECT_EQ(file("C:\\AUTOEXEC.BAT"), autoexec);
}

}  // namespace
}  // namespace vt
