// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "app/pages/tuningpage.h"
#include "app/updown.h"
#include "platform/launcher.h"
#include "platform/machine.h"
#include "sample/samplemachine.h"
#include "app/testapp.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"
#include "tuning/switches.h"

#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <map>

namespace vt {
namespace {

QApplication* app() { return test::windowApp(); }

constexpr const char16_t* kPolicies = u"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

QByteArray dword(quint32 v) {
  QByteArray d(4, '\0');
  qToLittleEndian(v, d.data());
  return d;
}

// A Windows 95 machine with every place a switch uses, every switch "off".
void prepare(test::TestMachine& tm) {
  Registry& r = tm.registry();
  RegKey* k = r.createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
  k->setValue("Start", RegSz, "1");
  k->setValue("Sprache", RegSz, "0");
  r.createKey(HKey::CurrentUser, u"Control Panel\\Desktop\\WindowMetrics")->setValue("MinAnimate", RegSz, "0");
  r.createKey(HKey::CurrentUser, u"Control Panel\\Desktop\\WindowMetrics")->setValue("Shell Icon BPP", RegSz, "4");
  r.createKey(HKey::CurrentUser, u"Control Panel\\Desktop")->setValue("MenuShowDelay", RegSz, "400");
  r.createKey(HKey::CurrentUser, kPolicies)->setValue("NoStartBanner", RegDword, dword(1));
  r.createKey(HKey::CurrentUser, kPolicies)->setValue("NoDriveTypeAutoRun", RegBinary, dword(0xB5));
  r.createKey(HKey::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer")
      ->setValue("link", RegBinary, dword(0));
  r.createKey(HKey::CurrentUser, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders")
      ->setValue("Start Menu", RegSz, "C:\\WINDOWS\\Start Menu");
  r.createKey(HKey::ClassesRoot, u"Piffile");
  r.createKey(HKey::ClassesRoot, u"lnkfile");
  r.createKey(HKey::ClassesRoot, u".bmp")->setValue("", RegSz, "Paint.Picture");
  r.createKey(HKey::ClassesRoot, u"Paint.Picture\\DefaultIcon")->setValue("", RegSz, "");
  r.createKey(HKey::ClassesRoot, u"CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}")->setValue("", RegSz, "Systemsteuerung");
  r.createKey(HKey::ClassesRoot, u"CLSID\\{2227A280-3AEA-1069-A2DE-08002B30309D}")->setValue("", RegSz, "Drucker");
  r.createKey(HKey::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion")->setValue("RegisteredOwner", RegSz, "Anna");
  r.createKey(HKey::LocalMachine, u"Software\\Microsoft\\Windows\\CurrentVersion")
      ->setValue("RegisteredOrganization", RegSz, "Firma");
  r.createKey(HKey::LocalMachine, u"System\\CurrentControlSet\\control\\ComputerName\\ComputerName")
      ->setValue("ComputerName", RegSz, "ANNAPC");
  EXPECT_TRUE(tm.machine().saveRegistry());
  tm.putHostFile("C", "MSDOS.SYS",
                 "[Paths]\r\nWinDir=C:\\WINDOWS\r\n[Options]\r\nBootMenu=0\r\nBootMulti=0\r\nNetwork=0\r\nLogo=0\r\n"
                 "DblSpace=0\r\nDrvSpace=0\r\nLoadTop=0\r\nDoubleBuffer=0\r\nBootMenuDelay=5\r\n");
  tm.putHostFile("C", "WINDOWS/SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n[386Enh]\r\nRemoveableIDE=0\r\nLocalLoadHigh=0\r\n");
  EXPECT_TRUE(tm.fs().setAttributes(u"C:\\MSDOS.SYS", AttrReadOnly | AttrHidden | AttrSystem));
  EXPECT_TRUE(tm.fs().createDirectories(u"C:\\WINDOWS\\Start Menu"));
  tm.reopen();
}

// Every file of a machine folder with its bytes (hives, MSDOS.SYS, SYSTEM.INI, the
// attribute list) and every folder, to see that nothing changed.
std::map<QString, QByteArray> snapshotOf(const QString& folder) {
  std::map<QString, QByteArray> all;
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile f(path);
    all[path] = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<dir>");
  }
  return all;
}

class Window {
 public:
  explicit Window(bool prepared = true) {
    app();
    if (prepared) prepare(tm);
    start();
  }
  // A new run of Vantrel on the same machine folder.
  void start() {
    form.reset();
    tm.reopen();
    dialogs.shown.clear();
    form = std::make_unique<TForm1>(tm.machine(), dialogs, pump, German);
    ASSERT_TRUE(form->Starten());
  }
  template <typename T>
  T* get(const char* name) {
    return form->form().get<T>(QString::fromLatin1(name));
  }
  TTarvoCheckBox* box(const char* name) { return get<TTarvoCheckBox>(name); }
  QString label(const char* name) { return get<QLabel>(name)->text(); }

  std::map<QString, QByteArray> snapshot() { return snapshotOf(tm.folder()); }

  test::TestMachine tm;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  std::unique_ptr<TForm1> form;
};

TEST(TuningWindow, TheWalksReachTheTwentyThreeSwitchesInCreationOrder) {
  Window w;
  QStringList bound;
  for (QObject* o : w.form->form().components)
    if (auto* c = qobject_cast<TTarvoCheckBox*>(o); c && c->hasSwitchHandler()) bound << c->objectName();
  QStringList catalogue;
  for (const tuning::Switch& s : tuning::catalogue()) catalogue << QString::fromLatin1(s.box);
  EXPECT_EQ(bound, catalogue);
  for (const char* other : {"Checkbox_Netzwerk", "Checkbox_sichern", "TarvoCheckBox1"})
    if (auto* c = w.box(other)) {
      EXPECT_FALSE(c->hasSwitchHandler()) << other;
    }
}

TEST(TuningWindow, HandlersReadOnlyInModeZeroAndWriteOnlyInModeOne) {
  Window w;
  TTarvoCheckBox* logo = w.box("CheckBox_Logo");
  ASSERT_FALSE(logo->isChecked());
  logo->setChecked(true);
  w.form->tuningPage().CheckBox_LogoDragDrop(static_cast<SwitchMode>(2));
  EXPECT_TRUE(logo->isChecked());
  EXPECT_EQ(IniAccess(w.tm.machine()).ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"Logo"), 0);
  w.form->tuningPage().CheckBox_LogoDragDrop(SwitchMode::Write);
  EXPECT_EQ(IniAccess(w.tm.machine()).ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"Logo"), 1);
  logo->setChecked(false);
  w.form->tuningPage().CheckBox_LogoDragDrop(SwitchMode::Read);
  EXPECT_TRUE(logo->isChecked());
}

// Every switch, through the real window: applied, then read by a new run on the same folder.
TEST(TuningWindow, EverySwitchAppliedShowsTheSameAfterARestart) {
  Window w;
  for (const tuning::Switch& s : tuning::catalogue()) EXPECT_FALSE(w.box(s.box)->isChecked()) << s.box;
  for (bool on : {true, false}) {
    for (const tuning::Switch& s : tuning::catalogue()) w.box(s.box)->setChecked(on);
    w.dialogs.answer = true;
    w.form->tuningPage().Knopf8Click();
    w.start();
    for (const tuning::Switch& s : tuning::catalogue()) EXPECT_EQ(w.box(s.box)->isChecked(), on) << s.box;
    EXPECT_TRUE(w.dialogs.shown.isEmpty()) << w.dialogs.shown.join(QLatin1Char('\n')).toStdString();
  }
}

TEST(TuningWindow, ApplyAsksAndNoChangesNothing) {
  Window w;
  for (const tuning::Switch& s : tuning::catalogue()) w.box(s.box)->setChecked(true);
  w.get<QLineEdit>("Edit_User")->setText(QStringLiteral("Bert"));
  w.get<TUpDown>("UpDown_BootDelay")->stepUp();
  const auto before = w.snapshot();
  w.dialogs.answer = false;
  w.get<TExplorerButton>("Knopf8")->click();
  ASSERT_EQ(w.dialogs.shown.size(), 1);
  EXPECT_EQ(w.dialogs.shown[0], QString::fromUtf8("confirm: Sind Sie sicher, daß Sie alle Änderungen jetzt übernehmen wollen?"));
  EXPECT_EQ(w.snapshot(), before);
}

TEST(TuningWindow, ApplyWritesTheValueFields) {
  Window w;
  w.get<QLineEdit>("Edit_User")->setText(QStringLiteral("Bert"));
  w.get<QLineEdit>("Edit_Firma")->setText(QStringLiteral("Werk AG"));
  w.get<QLineEdit>("Edit_Computer")->setText(QStringLiteral("BERTPC"));
  w.get<TUpDown>("UpDown_MenuShowDelay")->stepUp();
  w.get<TExplorerButton>("Knopf8")->click();
  SharedState state;
  RegAccess reg(w.tm.machine(), state);
  EXPECT_EQ(reg.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"RegisteredOwner"),
            QStringLiteral("Bert"));
  EXPECT_EQ(reg.ReadRegString(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion", u"RegisteredOrganization"),
            QStringLiteral("Werk AG"));
  EXPECT_EQ(reg.ReadRegString(HKEY_CURRENT_USER, u"Control Panel\\Desktop", u"MenuShowDelay"), QStringLiteral("500"));
  IniAccess ini(w.tm.machine());
  EXPECT_EQ(ini.ReadIniString(u"C:\\MSDOS.SYS", u"Options", u"BootDelay"), QString())
      << "an untouched delay missing from the file stays missing, never written as 0";
  EXPECT_EQ(w.tm.fs().attributes(u"C:\\MSDOS.SYS") & (AttrReadOnly | AttrHidden | AttrSystem),
            quint32(AttrReadOnly | AttrHidden | AttrSystem));
  w.start();
  EXPECT_EQ(w.get<QLineEdit>("Edit_User")->text(), QStringLiteral("Bert"));
  EXPECT_EQ(w.get<QLineEdit>("Edit_Firma")->text(), QStringLiteral("Werk AG"));
  EXPECT_EQ(w.get<QLineEdit>("Edit_Computer")->text(), QStringLiteral("BERTPC"));
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("500 msec"));
}

TEST(TuningWindow, ApplyWithNoLogoPickedLeavesTheLogoFilesAlone) {
  Window w;
  w.tm.putHostFile("C", "LOGO.SYS", "not really a bitmap");
  const QByteArray before = w.tm.hostFile("C", "LOGO.SYS");
  w.form->tuningPage().Knopf8Click();
  EXPECT_EQ(w.tm.hostFile("C", "LOGO.SYS"), before);
  EXPECT_FALSE(w.tm.fs().exists(u"C:\\WINDOWS\\LOGOW.SYS"));
  EXPECT_FALSE(w.tm.fs().exists(u"C:\\WINDOWS\\LOGOS.SYS"));
}

TEST(TuningWindow, StartUpShowsTheDelaysAndUserFields) {
  Window w;
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("400 msec"));
  EXPECT_EQ(w.label("Label_BootmenuDelay"), QStringLiteral("5 sec"));
  EXPECT_EQ(w.label("Label_BootDelay"), QStringLiteral("2 sec"));  // absent: Windows' default
  EXPECT_EQ(w.get<QLineEdit>("Edit_User")->text(), QStringLiteral("Anna"));
  EXPECT_EQ(w.get<QLineEdit>("Edit_Firma")->text(), QStringLiteral("Firma"));
  EXPECT_EQ(w.get<QLineEdit>("Edit_Computer")->text(), QStringLiteral("ANNAPC"));
  w.get<TUpDown>("UpDown_MenuShowDelay")->stepUp();
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("500 msec"));
}

TEST(TuningWindow, BootDelayUpDownsStopAtZeroAndThirty) {
  Window w;
  for (const char* name : {"UpDown_BootMenuDelay", "UpDown_BootDelay"}) {
    TUpDown* u = w.get<TUpDown>(name);
    for (int i = 0; i < 40; ++i) u->stepUp();
    EXPECT_EQ(u->position(), 30) << name;
    for (int i = 0; i < 40; ++i) u->stepDown();
    EXPECT_EQ(u->position(), 0) << name;
  }
  EXPECT_EQ(w.label("Label_BootmenuDelay"), QStringLiteral("0 sec"));
  EXPECT_EQ(w.label("Label_BootDelay"), QStringLiteral("0 sec"));
}

TEST(TuningWindow, BootMenuDelayTwoClicksDownIsAppliedAsThree) {
  Window w;
  TUpDown* u = w.get<TUpDown>("UpDown_BootMenuDelay");
  u->stepDown();
  u->stepDown();
  EXPECT_EQ(w.label("Label_BootmenuDelay"), QStringLiteral("3 sec"));
  w.form->tuningPage().Knopf8Click();
  EXPECT_EQ(IniAccess(w.tm.machine()).ReadIniInteger(u"C:\\MSDOS.SYS", u"Options", u"BootMenuDelay"), 3);
}

TEST(TuningWindow, OddStoredDelaysStillLetStartUpFinish) {
  Window w;
  w.tm.registry().openKey(HKey::CurrentUser, u"Control Panel\\Desktop")->setValue("MenuShowDelay", RegSz, "fast");
  ASSERT_TRUE(w.tm.machine().saveRegistry());
  IniAccess(w.tm.machine()).WriteIniInteger(u"C:\\MSDOS.SYS", u"Options", u"BootDelay", 99);
  w.start();
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("0 msec"));
  EXPECT_EQ(w.label("Label_BootDelay"), QStringLiteral("30 sec"));
}

TEST(TuningWindow, AutoTuneSetsTheRecommendedControlsOnly) {
  Window w;
  w.box("Checkbox_noAnim")->setChecked(true);
  w.box("Checkbox_DragFullWindows")->setChecked(true);
  const auto before = w.snapshot();
  w.get<TExplorerButton>("ExplorerButton9")->click();
  for (const tuning::Recommendation& r : tuning::recommendations()) EXPECT_EQ(w.box(r.box)->isChecked(), r.checked) << r.box;
  EXPECT_TRUE(w.box("Checkbox_DragFullWindows")->isChecked()) << "not part of automatic tuning";
  EXPECT_FALSE(w.box("CheckBox_DblSpace")->isChecked());
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("200 msec"));
  EXPECT_EQ(w.dialogs.shown,
            QStringList({QString::fromUtf8("confirm: Sind Sie sicher, daß Vantrel jetzt tunen soll?"),
                         QString::fromUtf8("info: Automatisches Tuning beendet.\rSie müssen die Änderungen übernehmen, "
                                           "bevor Sie Vantrel verlassen.")}));
  EXPECT_EQ(w.snapshot(), before) << "nothing reaches the machine";
  // ... not even when the apply question is answered No.
  w.dialogs.answer = false;
  w.form->tuningPage().Knopf8Click();
  EXPECT_EQ(w.snapshot(), before);
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("200 msec"));
}

TEST(TuningWindow, AutoTuneAnsweredNoChangesNoControl) {
  Window w;
  w.dialogs.answer = false;
  w.form->tuningPage().ExplorerButton9Click();
  for (const tuning::Switch& s : tuning::catalogue()) EXPECT_FALSE(w.box(s.box)->isChecked()) << s.box;
  EXPECT_EQ(w.label("Label_MenuShowDelay"), QStringLiteral("400 msec"));
  EXPECT_EQ(w.dialogs.shown.size(), 1);
}

TEST(TuningWindow, EnglishQuestions) {
  Window w;
  w.form->state().language = English;
  w.dialogs.answer = false;
  w.form->tuningPage().Knopf8Click();
  w.form->tuningPage().ExplorerButton9Click();
  EXPECT_EQ(w.dialogs.shown, QStringList({QStringLiteral("confirm: Are you sure, you wish to assign all changes now?"),
                                          QStringLiteral("confirm: Are you sure, you wish Vantrel to tune now?")}));
}

TEST(TuningWindow, DefragIsStartedWithItsCommandLine) {
  Window w;
  w.get<TExplorerButton>("ExplorerButton22")->click();
  QFile journal(w.tm.machine().hostPathInFolder(QLatin1String(kLaunchJournalName)));
  ASSERT_TRUE(journal.open(QIODevice::ReadOnly));
  EXPECT_TRUE(journal.readAll().contains("defrag /all /details"));
  EXPECT_TRUE(w.dialogs.shown.isEmpty());
}

TEST(TuningWindow, AnEmptyMachineStartsWithEveryBoxUncheckedButTheDefaultOnes) {
  Window w(false);
  // Without any of the places, Windows animates windows, prefixes shortcuts, shows the
  // banner and starts CDs; everything else reads off.
  const QStringList on = {"Checkbox_noAnim", "CheckBox_link", "Checkbox_StartBanner", "CheckBox_Autostart"};
  for (const tuning::Switch& s : tuning::catalogue())
    EXPECT_EQ(w.box(s.box)->isChecked(), on.contains(QLatin1String(s.box))) << s.box;
  EXPECT_EQ(w.label("Label_BootDelay"), QStringLiteral("0 sec"));
}

// The built-in sample machine: every switch flipped, applied, and read back by a new run.
TEST(TuningWindow, SampleMachineShowsWhatWasAppliedAfterARestart) {
  app();
  QTemporaryDir dir;
  QString error;
  ASSERT_TRUE(sample::createSampleMachine(dir.path(), &error)) << error.toStdString();
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  std::map<std::string, bool> flipped;
  {
    auto machine = Machine::open(dir.path(), &error);
    ASSERT_TRUE(machine) << error.toStdString();
    TForm1 form(*machine, dialogs, pump, German);
    ASSERT_TRUE(form.Starten());
    for (const tuning::Switch& s : tuning::catalogue()) {
      auto* box = form.form().get<TTarvoCheckBox>(QString::fromLatin1(s.box));
      box->setChecked(!box->isChecked());
      flipped[s.box] = box->isChecked();
    }
    form.tuningPage().Knopf8Click();
  }
  auto machine = Machine::open(dir.path(), &error);
  ASSERT_TRUE(machine) << error.toStdString();
  TForm1 form(*machine, dialogs, pump, German);
  ASSERT_TRUE(form.Starten());
  for (const tuning::Switch& s : tuning::catalogue()) {
    EXPECT_EQ(form.form().get<TTarvoCheckBox>(QString::fromLatin1(s.box))->isChecked(), flipped[s.box]) << s.box;
  }
}

// Applying what start-up read leaves every byte of the machine as it was, down to values
// no box can show (Paint's own bitmap icon, a binary "link", keys MSDOS.SYS lacks).
TEST(TuningWindow, ApplyingTheSampleMachineUntouchedChangesNothing) {
  app();
  QTemporaryDir dir;
  QString error;
  ASSERT_TRUE(sample::createSampleMachine(dir.path(), &error)) << error.toStdString();
  auto machine = Machine::open(dir.path(), &error);
  ASSERT_TRUE(machine) << error.toStdString();
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  TForm1 form(*machine, dialogs, pump, German);
  ASSERT_TRUE(form.Starten());
  const auto before = snapshotOf(dir.path());
  dialogs.shown.clear();
  form.tuningPage().Knopf8Click();
  EXPECT_EQ(dialogs.shown.size(), 1) << dialogs.shown.join(QLatin1Char('\n')).toStdString();
  EXPECT_TRUE(snapshotOf(dir.path()) == before);
}

TEST(TuningWindow, ARefusedSwitchIsNamedAndNothingAfterItIsApplied) {
  Window w;
  ASSERT_TRUE(QDir(w.tm.host("C", "WINDOWS/Start Menu")).removeRecursively());
  w.box("CheckBox_Systemsteuerung")->setChecked(true);
  w.box("Checkbox_Schnellansicht")->setChecked(true);
  w.form->tuningPage().Knopf8Click();
  ASSERT_EQ(w.dialogs.shown.size(), 2);
  EXPECT_EQ(w.dialogs.shown[1], QString::fromUtf8("warning: \"Systemsteuerung ins Startmenü einbinden\" konnte nicht "
                                                  "übernommen werden.\rEs wurden keine weiteren Änderungen übernommen."));
  EXPECT_FALSE(RegAccess(w.tm.machine(), w.form->state()).RegKeyExists(HKEY_CLASSES_ROOT, u"*\\Quickview"));
}

}  // namespace
}  // namespace vt
