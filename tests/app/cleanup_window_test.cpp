#include "app/unit1.h"

#include "app/controls/explbtn.h"
#include "platform/machine.h"
#include "sample/samplemachine.h"
#include "sysaccess/fakes.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vt {
namespace {

QApplication* app() {
  static int argc = 1;
  static char name[] = "cleanup_window_test";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return instance;
}

TEST(CleanupWindow, BothOptimisersOnTheSampleMachineBackUpFirstAndAreIdempotent) {
  app();
  QTemporaryDir dir;
  QString error;
  ASSERT_TRUE(sample::createSampleMachine(dir.path(), &error)) << error.toStdString();
  std::unique_ptr<Machine> machine = Machine::open(dir.path(), &error);
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  TForm1 form(*machine, dialogs, pump, English);
  ASSERT_TRUE(form.Starten());
  FileSystem& fs = machine->files();
  auto file = [&](const char* path) { return fs.readFile(QString::fromLatin1(path)).value_or("<missing>"); };
  auto click = [&](const char* button) { form.form().get<TExplorerButton>(QString::fromLatin1(button))->click(); };
  auto sets = [&] { return form.form().get<QTreeWidget>("ListView1")->topLevelItemCount(); };

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
