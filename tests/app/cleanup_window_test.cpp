// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/controls/tarvocheckbox.h"
#include "app/testapp.h"

#include <QListWidget>
#include <QProcess>
#include <QStackedWidget>
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

namespace vt {
namespace {

// While the search runs, the window is alive but only Abort acts: no other section, no apply.
TEST(CleanupWindow, DuringTheSearchOnlyAbortActs) {
  test::SampleWindow w(English);
  w.click("Knopf2");
  w.pump.onPump = [&](int calls) {
    if (calls != 5) return;
    w.click("Knopf0");
    w.click("Knopf8");
    EXPECT_EQ(w.form->Notebook1()->currentIndex(), 15);
    w.click("Knopf_Abbrechen1");
  };
  const qsizetype shown = w.dialogs.shown.size();
  w.click("Knopf_Starten1");
  EXPECT_EQ(w.dialogs.shown.mid(shown), QStringList{"info: User has canceled current action!"});
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 6);
  EXPECT_EQ(w.form->state().busy, 0);
}

QString runTool(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(VANTREL_MACHINE_TOOL), args);
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError());
}

// A user's pass through every clean-up of the sample machine: the files go to the recycle
// bin with their records, and every registry clean-up leaves a backup set first.
TEST(CleanupWindow, EveryCleanUpOnTheSampleMachine) {
  test::SampleWindow w(English);
  const QString machine = w.dir.path();
  auto sets = [&] { return w.get<QTreeWidget>("ListView1")->topLevelItemCount(); };
  auto* list = w.get<QListWidget>("ListBox_Files");
  const int setsBefore = sets();
  for (const char* box : {"Checkbox_MSCREATE", "Checkbox_TEMP", "Checkbox_GID", "Checkbox_Shortcuts", "Checkbox_Win3x"})
    w.get<TTarvoCheckBox>(box)->setChecked(true);
  w.click("Knopf2");
  w.click("Knopf_Starten1");
  ASSERT_EQ(w.form->Notebook1()->currentIndex(), 17);
  QStringList listed;
  for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
  for (const char* expected :
       {"C:\\WINDOWS\\taskman.exe", "C:\\WINDOWS\\TEMP\\ZCX0001\\~ZC0042.TMP", "C:\\WINDOWS\\HELP\\WINDOWS.GID",
        "C:\\WINDOWS\\Start Menu\\Programs\\Scanned Images.lnk", "C:\\WINDOWS\\MAIN.GRP"})
    EXPECT_TRUE(listed.contains(QString::fromLatin1(expected))) << expected;
  for (const char* kept : {"ZIPCASE.GID", "Common Files\\MSCREATE.DIR", "Tank Battle (CD).pif", "DEL4F2.TMP"})
    EXPECT_FALSE(listed.join('|').contains(QString::fromLatin1(kept))) << kept;

  w.click("ExplorerButton7");
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 6);
  for (const QString& path : listed) EXPECT_FALSE(w.fs().exists(path)) << path.toStdString();
  const QString recycled = runTool({QStringLiteral("--machine"), machine, QStringLiteral("recycle"), QStringLiteral("list")});
  for (const QString& path : listed)
    EXPECT_TRUE(recycled.contains(QLatin1Char(' ') + path + QLatin1Char('\n'), Qt::CaseInsensitive)) << path.toStdString();
  // The sample's bin held one file already.
  const QString restored = runTool({QStringLiteral("--machine"), machine, QStringLiteral("recycle"), QStringLiteral("restore"),
                                    QStringLiteral("C"), QStringLiteral("1")});
  EXPECT_TRUE(restored.contains(listed.first())) << restored.toStdString();
  EXPECT_TRUE(w.fs().exists(listed.first()));

  // The registry: the tips at once, then the two lists, each removed from the list page.
  w.click("Knopf_Tips");
  EXPECT_TRUE(w.dialogs.shown.last().startsWith(QStringLiteral("info: The Windows-tips have been deleted.")));
  w.click("Knopf_Uninstall");
  ASSERT_EQ(w.form->Notebook1()->currentIndex(), 17);
  auto items = [&] {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
  };
  EXPECT_TRUE(items().contains(QStringLiteral("XYZ Viewer 2.1"))) << items().join('|').toStdString();
  w.click("ExplorerButton7");
  EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("info: The specified Uninstall-items have been erased!"));
  w.click("Knopf_Dateiformate");
  ASSERT_EQ(w.form->Notebook1()->currentIndex(), 17);
  EXPECT_TRUE(items().contains(QStringLiteral(".xyz - C:\\OLDVIEW\\VIEW.EXE"))) << items().join('|').toStdString();
  w.click("ExplorerButton7");
  EXPECT_TRUE(w.dialogs.shown.last().startsWith(QStringLiteral("info: The marked file-formats have been erased")));
  EXPECT_EQ(sets(), setsBefore + 3);

  // Nothing left to find: each scan says so.
  w.click("Knopf_Uninstall");
  EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("info: No lost Uninstall-items have been found!"));
  w.click("Knopf_Dateiformate");
  EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("info: No lost file-formats have been found in registry!"));
}

}  // namespace
}  // namespace vt
