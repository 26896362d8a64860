// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "app/pages/backuppage.h"
#include "app/testapp.h"
#include "platform/machine.h"
#include "platform/profile.h"
#include "sample/samplemachine.h"
#include "sysaccess/fakes.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vt {
namespace {

struct SampleWindow : test::SampleWindow {
  QTreeWidget* list() { return get<QTreeWidget>("ListView1"); }
  QStringList names() {
    QStringList n;
    for (int i = 0; i < list()->topLevelItemCount(); ++i) n << list()->topLevelItem(i)->text(1);
    return n;
  }
  void selectSet(const QString& name) {
    for (int i = 0; i < list()->topLevelItemCount(); ++i)
      list()->topLevelItem(i)->setSelected(list()->topLevelItem(i)->text(1) == name);
  }
  QString store(const QString& name) { return form->programDirectory() + "\\BACKUP\\" + name; }
  QString start() {
    return RegAccess(*machine, form->state()).ReadRegString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarvo\\Vantrel", u"Start");
  }
};

TEST(BackupWindow, SampleMachineFirstStartBackupThenRestoreAndDeleteASetByHand) {
  SampleWindow w;
  EXPECT_TRUE(
      w.dialogs.shown.contains(QString::fromUtf8("info: Sie starten Vantrel zum ersten Mal.\rEs wird nun ein Backup Ihres "
                                                 "Systems angelegt.\rDies dauert ca. 1-2 Minuten.")));
  EXPECT_EQ(w.start(), "1");
  EXPECT_EQ(w.names(), QStringList{QString::fromUtf8("AUTO-Backup : 1.Start von Vantrel")});
  FileSystem& fs = w.machine->files();
  for (const char* f : {"BACKUP.000", "REGISTRY.000", "WIN.000", "SYSTEM.000", "MSDOS.000"})
    EXPECT_TRUE(fs.exists(w.store(f))) << f;
  EXPECT_TRUE(fs.exists(w.form->programDirectory() + "\\LAST\\system.dat"));
  EXPECT_TRUE(fs.exists(w.form->programDirectory() + "\\SAVE\\kernel32.dll"));

  w.click("Knopf4");
  w.click("ExplorerButton16");
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 21);
  w.get<QLineEdit>("Edit_BACKUP")->setText("Vor dem Test");
  w.click("ExplorerButton15");
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 18);
  EXPECT_EQ(w.names().size(), 2);

  const QString win = w.form->OSInfo1().WindowsDirectory() + "\\WIN.INI";
  const QByteArray winIni = *fs.readFile(win);
  RegAccess reg(*w.machine, w.form->state());
  const QString owner =
      reg.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"RegisteredOwner");
  ASSERT_TRUE(fs.writeFile(win, "[windows]\r\nbroken=1\r\n"));
  ASSERT_TRUE(
      reg.WriteRegString(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"RegisteredOwner", u"Nobody"));

  w.selectSet("Vor dem Test");
  w.click("ExplorerButton17");
  ASSERT_EQ(w.form->Notebook1()->currentIndex(), 22);
  for (int i = 7; i <= 12; ++i)
    EXPECT_TRUE(w.form->form().get<TTarvoCheckBox>(QStringLiteral("TarvoCheckBox%1").arg(i))->isChecked());
  w.dialogs.shown.clear();
  w.click("ExplorerButton21");
  EXPECT_EQ(w.dialogs.shown, QStringList{"info: Restore erfolgreich.\rBitte Computer neu starten!"});
  EXPECT_EQ(*fs.readFile(win), winIni);
  EXPECT_EQ(reg.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"RegisteredOwner"), owner);

  w.selectSet("Vor dem Test");
  w.dialogs.answer = false;
  w.click("ExplorerButton18");
  EXPECT_EQ(w.names().size(), 2);
  w.dialogs.answer = true;
  w.click("ExplorerButton18");
  EXPECT_EQ(w.names(), QStringList{QString::fromUtf8("AUTO-Backup : 1.Start von Vantrel")});
  EXPECT_FALSE(fs.exists(w.store("BACKUP.001")));
}

TEST(BackupWindow, AutomaticBackupLeavesTheCreationPageAndTheRestorePageOffersOnlyWhatTheSetHolds) {
  SampleWindow w;
  auto* edit = w.get<QLineEdit>("Edit_BACKUP");
  edit->setText("mein Text");
  w.get<TTarvoCheckBox>("TarvoCheckBox2")->setChecked(false);
  ASSERT_TRUE(w.form->backupPage().AutoBackup(backup::AutoStartfiles));
  EXPECT_EQ(edit->text(), "mein Text");
  for (int i = 1; i <= 6; ++i)
    EXPECT_EQ(w.form->form().get<TTarvoCheckBox>(QStringLiteral("TarvoCheckBox%1").arg(i))->isChecked(), i != 2) << i;
  ASSERT_EQ(w.names().size(), 2);

  w.click("Knopf4");
  w.selectSet(QString::fromUtf8("AUTO-Backup : Änderungen an Startdateien"));
  w.click("ExplorerButton17");
  for (int i = 7; i <= 12; ++i) {
    auto* box = w.form->form().get<TTarvoCheckBox>(QStringLiteral("TarvoCheckBox%1").arg(i));
    EXPECT_EQ(box->isChecked(), i == 9) << i;
    EXPECT_EQ(box->isEnabled(), i == 9) << i;
  }
  w.click("ExplorerButton20");
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 18);
}

TEST(BackupWindow, RescueDiskWithoutADiskSaysSoAndReturnsToTheBackupSection) {
  SampleWindow w;
  w.click("Knopf4");
  w.click("ExplorerButton19");
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 23);
  EXPECT_FALSE(w.form->Notebook2()->isVisibleTo(w.form.get()));
  w.dialogs.shown.clear();
  w.click("Knopf_Start_Bootdisk");
  EXPECT_EQ(w.form->Notebook1()->currentIndex(), 18);
  EXPECT_TRUE(w.form->Notebook2()->isVisibleTo(w.form.get()));
  EXPECT_EQ(w.form->state().cancel, 0);
  ASSERT_EQ(w.dialogs.shown.size(), 1);
  EXPECT_TRUE(w.dialogs.shown[0].startsWith("warning: In Laufwerk A: liegt keine Diskette"));  // the sample's A: is empty
}

}  // namespace
}  // namespace vt
