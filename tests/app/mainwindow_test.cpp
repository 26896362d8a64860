// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "app/helpwindow.h"
#include "app/image.h"
#include "app/pages/backuppage.h"
#include "app/pages/cleanuppage.h"
#include "app/pages/diagnosispage.h"
#include "app/pages/machinepage.h"
#include "app/pages/multimediapage.h"
#include "app/pages/reportpage.h"
#include "app/pages/tuningpage.h"
#include "app/singleinstance.h"
#include "app/testapp.h"
#include "buildinfo.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QFontInfo>
#include <QLibraryInfo>
#include <QStatusTipEvent>
#include <QProcess>
#include <QTextBrowser>
#include <QLabel>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace vt {
namespace {

QApplication* app() { return test::windowApp(); }

class Window {
 public:
  explicit Window(const QString& machineKeys = {}, int language = German) : tm(machineKeys) {
    app();
    RegKey* k = tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
    k->setValue("Start", RegSz, "1");
    k->setValue("Sprache", RegSz, "0");
    EXPECT_TRUE(tm.machine().saveRegistry());
    form = std::make_unique<TForm1>(tm.machine(), dialogs, pump, language);
  }
  template <typename T>
  T* get(const char* name) {
    return form->form().get<T>(QString::fromLatin1(name));
  }
  TExplorerButton* button(const char* name) { return get<TExplorerButton>(name); }
  int page() { return form->Notebook1()->currentIndex(); }
  bool stripShown() { return !form->Notebook2()->isHidden(); }

  test::TestMachine tm;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  std::unique_ptr<TForm1> form;
};

TEST(StartUp, OpensOnTheInfoSectionWithItsButtonSelected) {
  Window w;
  ASSERT_TRUE(w.form->Starten());
  EXPECT_TRUE(w.dialogs.shown.isEmpty()) << w.dialogs.shown.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(w.page(), 20);
  EXPECT_FALSE(w.stripShown());
  EXPECT_FALSE(w.button("Knopf7")->isEnabled());
  for (const char* b : {"Knopf0", "Knopf1", "Knopf2", "Knopf3", "Knopf4", "Knopf5", "Knopf6"})
    EXPECT_TRUE(w.button(b)->isEnabled()) << b;
  EXPECT_EQ(w.form->currentSection(), 7);
  EXPECT_EQ(w.form->objectName(), QStringLiteral("Form1"));
  EXPECT_EQ(w.form->size(), QSize(620, 400));
}

// The window starts without Qt Multimedia; the media module brings it with the first test
// file the multimedia section opens, found from the test program as from the window. The
// skin and the logos are read as what they are, so no image plug-in is loaded either.
TEST(StartUp, WithoutQtMultimediaAndImagePlugins) {
  auto loaded = [](const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
  };
  Window w;
  ASSERT_TRUE(w.form->Starten());
  w.form->show();
  w.button("Knopf3")->click();
  w.button("Knopf_Multimedia")->click();
  EXPECT_FALSE(loaded("libQt6Multimedia"));
  EXPECT_FALSE(loaded("libvantrel-media"));
  EXPECT_FALSE(loaded("/imageformats/"));
  w.get<TTarvoCheckBox>("CheckBox_WAV")->setChecked(false);
  w.get<TTarvoCheckBox>("CheckBox_MIDI")->setChecked(false);
  w.get<TTarvoCheckBox>("Checkbox_AVI")->setChecked(true);
  w.button("ExplorerButton25")->click();
  w.button("ExplorerButton31")->click();
  EXPECT_TRUE(loaded("libvantrel-media")) << w.dialogs.shown.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(loaded("libQt6Multimedia"));
  w.button("ExplorerButton23")->click();
}

TEST(StartUp, AMissingProgramKeyWarnsInGermanAndWritesTheDefaults) {
  Window w({}, English);
  w.tm.registry().deleteKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo");
  ASSERT_TRUE(w.tm.machine().saveRegistry());
  ASSERT_TRUE(w.form->Starten());
  ASSERT_FALSE(w.dialogs.shown.isEmpty());
  EXPECT_EQ(w.dialogs.shown.first(),
            QString::fromUtf8("warning: Vantrel konnte seine Einstellungen in der Registry nicht finden!\r"
                              "Verwende Standart-Einstellungen."));
  w.tm.reopen();
  const RegKey* k = w.tm.registry().openKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->findValue("Start")->data, QByteArray("0"));
  EXPECT_EQ(k->findValue("Sprache")->data, QByteArray("0"));
}

TEST(StartUp, RefusesAnythingButWindows95) {
  for (const char* platform : {"WinNT", "Win32"}) {
    Window w(QStringLiteral("Platform=%1\r\n").arg(QLatin1String(platform)));
    EXPECT_FALSE(w.form->Starten()) << platform;
    EXPECT_EQ(w.dialogs.shown, QStringList{QString::fromUtf8("warning: Dieses Programm läuft nur unter Windows95!")});
    EXPECT_FALSE(w.form->isVisible());
  }
}

TEST(StartUp, SixteenColoursSwapTheSkinAndWarn) {
  Window w(QStringLiteral("ColorDepth=4\r\n"), English);
  ASSERT_TRUE(w.form->Starten());
  ASSERT_EQ(w.dialogs.shown.size(), 1);
  EXPECT_TRUE(w.dialogs.shown.first().startsWith(QStringLiteral("warning: You are currently running Windows in 16-color mode!")));
  const QImage large = w.get<TImage>("BKnopf_16col")->picture();
  for (const char* t : {"Knopf_n1", "Knopf_m1", "Knopf_s1"}) EXPECT_EQ(w.get<TImage>(t)->picture(), large) << t;
  EXPECT_TRUE(w.get<TImage>("Seite1")->picture().isNull());
}

TEST(Navigation, SectionsShowTheirPagesAndStrips) {
  Window w;
  ASSERT_TRUE(w.form->Starten());
  struct Case {
    const char* button;
    int page;
    bool strip;
    int stripIndex;
  } cases[] = {
      {"Knopf0", 16, false, -1}, {"Knopf1", 9, true, 0},    {"Knopf2", 6, true, 1},    {"Knopf3", 2, false, -1},
      {"Knopf4", 18, true, 5},   {"Knopf5", 13, false, -1}, {"Knopf6", 14, false, -1}, {"Knopf7", 20, false, -1},
  };
  for (const Case& c : cases) {
    w.button(c.button)->click();
    EXPECT_EQ(w.page(), c.page) << c.button;
    EXPECT_EQ(w.stripShown(), c.strip) << c.button;
    if (c.strip) {
      EXPECT_EQ(w.form->Notebook2()->currentIndex(), c.stripIndex) << c.button;
    }
    EXPECT_FALSE(w.button(c.button)->isEnabled()) << c.button;
    int disabled = 0;
    for (const char* b : {"Knopf0", "Knopf1", "Knopf2", "Knopf3", "Knopf4", "Knopf5", "Knopf6", "Knopf7"})
      disabled += !w.button(b)->isEnabled();
    EXPECT_EQ(disabled, 1) << c.button;
  }
}

TEST(Navigation, SubSectionsAndTheSectionEntry) {
  Window w;
  ASSERT_TRUE(w.form->Starten());
  w.button("Knopf1")->click();
  EXPECT_FALSE(w.button("ExplorerButton1")->isEnabled());
  w.button("ExplorerButton2")->click();
  EXPECT_EQ(w.page(), 10);
  EXPECT_FALSE(w.button("ExplorerButton2")->isEnabled());
  EXPECT_TRUE(w.button("ExplorerButton1")->isEnabled());
  w.form->tuning();
  EXPECT_EQ(w.page(), 9);
  EXPECT_FALSE(w.button("ExplorerButton1")->isEnabled());
  EXPECT_TRUE(w.button("ExplorerButton2")->isEnabled());

  w.button("Knopf2")->click();
  w.button("ExplorerButton11")->click();
  EXPECT_EQ(w.page(), 8);
  w.form->CleanUp();
  EXPECT_EQ(w.page(), 6);
}

TEST(Navigation, SectionClicksAreIgnoredWhileBusy) {
  Window w;
  ASSERT_TRUE(w.form->Starten());
  w.form->state().busy = 1;
  w.button("Knopf1")->click();
  EXPECT_EQ(w.page(), 20);
  EXPECT_TRUE(w.button("Knopf1")->isEnabled());
  EXPECT_FALSE(w.button("Knopf7")->isEnabled());
}

TEST(Help, TheHelpImageOpensTheTopicOfThePageShown) {
  Window w({}, English);
  ASSERT_TRUE(w.form->Starten());
  w.button("Knopf0")->click();
  emit w.get<TImage>("Image4")->clicked();
  auto* help = w.form->findChild<HelpWindow*>(QStringLiteral("HelpWindow"));
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_TRUE(help->browser()->toPlainText().contains(QLatin1String("Options")))
      << help->browser()->toPlainText().left(200).toStdString();
  // A page without a topic opens nothing new.
  help->hide();
  w.form->Notebook1()->setCurrentIndex(17);
  emit w.get<TImage>("Image4")->clicked();
  EXPECT_FALSE(help->isVisible());
}

TEST(Help, PagesMapToTheirTopics) {
  struct Case {
    int page;
    int context;
  } cases[] = {
      {3, 14}, {4, 14}, {5, 14}, {33, 14}, {17, 0}, {37, 0}, {0, 0}, {16, 2}, {20, 25}, {9, 4}, {13, 23}, {36, 11},
  };
  for (const Case& c : cases) EXPECT_EQ(TForm1::helpContext(c.page), c.context) << c.page;
}

// The binding tables name their controls as text and pass over a name the form lacks, so a
// misspelt or renamed one would leave its button dead without a word.
TEST(MainWindow, BindingTablesNameControlsOfTheForm) {
  QFile description(QStringLiteral(":/form/form.json"));
  ASSERT_TRUE(description.open(QIODevice::ReadOnly));
  QHash<QString, QString> classOf;
  for (const QJsonValue& c : QJsonDocument::fromJson(description.readAll())["components"].toArray())
    classOf.insert(c["name"].toString(), c["class"].toString());
  ASSERT_FALSE(classOf.isEmpty());

  QList<std::pair<QString, const char*>> expected;  // control name, class its binding needs
  auto clicks = [&](auto table) {
    for (const auto& c : table) expected.append({QString::fromLatin1(c.button), "TExplorerButton"});
  };
  clicks(TForm1::clicks());
  clicks(TuningPage::clicks());
  clicks(CleanupPage::clicks());
  clicks(DiagnosisPage::clicks());
  clicks(ReportPage::clicks());
  clicks(BackupPage::clicks());
  clicks(MultimediaPage::clicks());
  clicks(MachinePage::clicks());
  for (const TuningPage::SwitchBinding& s : TuningPage::switches())
    expected.append({QString::fromLatin1(s.box), "TTarvoCheckBox"});
  for (const auto& [name, cls] : expected) EXPECT_EQ(classOf.value(name), QLatin1String(cls)) << name.toStdString();
}

class Options : public ::testing::Test {
 protected:
  void start(const QByteArray& file) {
    if (!file.isNull()) {
      ASSERT_TRUE(w.tm.fs().createDirectories(u"C:\\VANTREL"));
      ASSERT_TRUE(w.tm.fs().writeFile(u"C:\\VANTREL\\OPTIONS.OPT", file));
    }
    ASSERT_TRUE(w.form->Starten());
  }
  QString states() {
    QString s;
    for (const char* b :
         {"Checkbox_ExtTMP", "Checkbox_sichern", "checkbox_loeschen", "CheckBox_DISK", "Checkbox_CDROM", "Checkbox_Netzwerk",
          "CheckBox_REPLACEREG", "Checkbox_Shortcuts", "Checkbox_MSCREATE", "Checkbox_GID", "Checkbox_TEMP", "Checkbox_Win3x"})
      s += w.get<TTarvoCheckBox>(b)->property("checked").toBool() ? QLatin1Char('1') : QLatin1Char('0');
    return s;
  }
  Window w;
};

TEST_F(Options, NoFileKeepsTheFormsStates) {
  start(QByteArray());
  EXPECT_EQ(states(), QStringLiteral("011000011110"));
  EXPECT_EQ(w.form->flags().saveOptions, 1);
}

TEST_F(Options, TwelveZerosUncheckEverything) {
  start(QByteArray("0\r\n").repeated(12));
  EXPECT_EQ(states(), QStringLiteral("000000000000"));
  EXPECT_EQ(w.form->flags().saveOptions, 0);
}

TEST_F(Options, ElevenLinesAreIgnored) {
  start(QByteArray("1\r\n").repeated(11));
  EXPECT_EQ(states(), QStringLiteral("011000011110"));
}

TEST_F(Options, OnlyAnExactOneChecksAndAnyLineEndIsRead) {
  start("1\n01\n 1\n1\r\n1\r0\n1\n1\n1\n1\n1\n1\n1\n");
  EXPECT_EQ(states(), QStringLiteral("100110111111"));
}

TEST_F(Options, SavingWritesTwelveLinesAndClearsAttributesUnlessTheFileHoldsThemAlready) {
  start(QByteArray("1\r\n").repeated(13));
  EXPECT_EQ(states(), QStringLiteral("111111111111"));
  ASSERT_TRUE(w.tm.fs().setAttributes(u"C:\\VANTREL\\OPTIONS.OPT", AttrReadOnly | AttrHidden));
  ASSERT_TRUE(w.form->SAVE_OPTIONS());
  EXPECT_EQ(w.tm.hostFile("C", "VANTREL/OPTIONS.OPT"), QByteArray("1\r\n").repeated(12));
  EXPECT_EQ(w.tm.fs().attributes(u"C:\\VANTREL\\OPTIONS.OPT") & (AttrReadOnly | AttrHidden), 0u);
  // Saved again with nothing changed, the file is left as it is, attributes and all.
  ASSERT_TRUE(w.tm.fs().setAttributes(u"C:\\VANTREL\\OPTIONS.OPT", AttrReadOnly));
  ASSERT_TRUE(w.form->SAVE_OPTIONS());
  EXPECT_EQ(w.tm.fs().attributes(u"C:\\VANTREL\\OPTIONS.OPT") & AttrSettable, quint32(AttrReadOnly));
}

TEST_F(Options, TheGuardedBoxesWarnOnlyWhenSwitchedOn) {
  start(QByteArray());
  auto* net = w.get<TTarvoCheckBox>("Checkbox_Netzwerk");
  net->click();
  EXPECT_TRUE(net->property("checked").toBool());
  net->click();
  net->click();
  ASSERT_EQ(w.dialogs.shown.size(), 2);
  EXPECT_TRUE(w.dialogs.shown[0].startsWith(QStringLiteral("warning: WARNUNG: Diese Einstellung")));
  w.get<TTarvoCheckBox>("CheckBox_REPLACEREG")->click();
  EXPECT_TRUE(w.dialogs.shown.last().startsWith(QStringLiteral("warning: WARNUNG: Die Einstellung Registry")));
  // The flags follow the boxes only at the next section click.
  EXPECT_EQ(w.form->flags().replaceRegistry, 0);
  w.button("Knopf0")->click();
  EXPECT_EQ(w.form->flags().replaceRegistry, 1);
  EXPECT_EQ(w.form->flags().networkShortcuts, 1);
}

TEST_F(Options, ClosingTheWindowSavesOnceWhenTheFlagIsSet) {
  start(QByteArray());
  int ended = 0;
  QObject::connect(w.form.get(), &TForm1::terminateRequested, [&] { ++ended; });
  w.form->close();
  w.form->ProgEnde();
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(w.tm.hostFile("C", "VANTREL/OPTIONS.OPT"),
            QByteArray("0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n0\r\n1\r\n1\r\n1\r\n1\r\n0\r\n"));
}

TEST_F(Options, AFailedSaveOnExitTellsTheUserAndStillEnds) {
  start(QByteArray());
  bool ended = false;
  QObject::connect(w.form.get(), &TForm1::terminateRequested, [&] { ended = true; });
  // A folder where the options file should be makes the write fail.
  ASSERT_TRUE(w.tm.fs().createDirectories(u"C:\\VANTREL\\OPTIONS.OPT"));
  w.form->ProgEnde();
  EXPECT_TRUE(ended);
  ASSERT_EQ(w.dialogs.shown.size(), 1);
  EXPECT_TRUE(w.dialogs.shown[0].startsWith(QStringLiteral("warning: Die Optionen konnten nicht gespeichert werden")));
}

TEST(Language, EnglishReplacesCustomCaptionsOnly) {
  Window w({}, English);
  ASSERT_TRUE(w.form->Starten());
  EXPECT_EQ(w.button("Knopf0")->property("Caption").toString(), QStringLiteral("Options"));
  EXPECT_EQ(w.get<TImage>("Image3")->hint(), QStringLiteral("Quit VTR"));
  w.button("Knopf2")->click();
  EXPECT_EQ(w.get<QLabel>("Label_Thema")->text(), QStringLiteral("Clean up Windows"));
}

// Qt's own texts (the buttons of the standard dialogs) follow each window's language, also
// when windows of both languages follow each other in one run; the product line and the
// options title carry the build's version.
TEST(Language, QtsOwnTextsAndTheVersionFollowTheWindow) {
  if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_de.qm")))
    GTEST_SKIP() << "Qt's German texts are not installed (qt6-translations-l10n)";
  const QString version = QLatin1String(build::kVersion);
  struct Case {
    int language;
    const char* yes;
    QString options;
  };
  for (const Case& c : {Case{German, "&Ja", QStringLiteral("Vantrel - Optionen")},
                        Case{English, "&Yes", QStringLiteral("Vantrel V%1 - Options").arg(version)},
                        Case{German, "&Ja", QStringLiteral("Vantrel - Optionen")}}) {
    Window w({}, c.language);
    ASSERT_TRUE(w.form->Starten());
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QString::fromUtf8(c.yes));
    EXPECT_EQ(w.get<QLabel>("TarvoLabel71")->text(), QStringLiteral("Vantrel pro V") + version);
    w.button("Knopf0")->click();
    EXPECT_EQ(w.get<QLabel>("Label_Thema")->text(), c.options);
  }
}

TEST(Look, TheHintOfTheControlUnderTheMouseShowsInTheStatusLine) {
  Window w;
  ASSERT_TRUE(w.form->Starten());
  TExplorerButton* b = w.button("Knopf2");
  QStatusTipEvent hover(b->statusTip());
  QApplication::sendEvent(b, &hover);
  EXPECT_EQ(w.get<QLabel>("Label_status")->text(),
            QString::fromUtf8("Automatisches oder manuelles Aufräumen ihres Windows-Systems"));
}

TEST(Look, TheWindowFontResolvesToArialOrItsMetricTwin) {
  Window w;
  ASSERT_TRUE(w.form->Starten());
  const QString family = QFontInfo(w.form->font()).family();
  EXPECT_TRUE(family == QLatin1String("Arial") || family == QLatin1String("Liberation Sans")) << family.toStdString();
  EXPECT_TRUE(QFontInfo(w.form->font()).bold());
}

TEST(SingleInstance, ASecondVantrelOnTheSameMachineEndsSilently) {
  test::TestMachine tm;
  tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel")->setValue("Start", RegSz, "1");
  ASSERT_TRUE(tm.machine().saveRegistry());
  tm.writeRegistryFiles();
  QProcess first, second;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  first.setProcessEnvironment(env);
  second.setProcessEnvironment(env);
  first.start(QStringLiteral(VANTREL_APP), {QStringLiteral("--machine"), tm.folder()});
  ASSERT_TRUE(first.waitForStarted());
  // The first one holds the machine before it starts up; installing its help files is a
  // sign that it got that far.
  QDeadlineTimer started(30000);
  while (!QFile::exists(tm.host("C", "VANTREL/HELP/EN/25.HTML")) && !started.hasExpired()) QThread::msleep(50);
  ASSERT_FALSE(started.hasExpired()) << "the first Vantrel did not start";
  second.start(QStringLiteral(VANTREL_APP), {QStringLiteral("--machine"), tm.folder()});
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
  EXPECT_EQ(first.state(), QProcess::Running);
  first.kill();
  first.waitForFinished();
}

TEST(SingleInstance, OneVantrelPerMachineFolder) {
  QTemporaryDir a, b;
  SingleInstance first(a.path()), second(a.path()), other(b.path());
  EXPECT_EQ(first.acquire(), SingleInstance::Acquired);
  EXPECT_EQ(second.acquire(), SingleInstance::HeldByAnother);
  EXPECT_EQ(other.acquire(), SingleInstance::Acquired);
  EXPECT_TRUE(first.lockPath().contains(QLatin1String("Vantrel by Kestrin")));
  // A lock file whose Vantrel has gone, crashed or ended, is taken over.
  QTemporaryDir c;
  const QString left = SingleInstance(c.path()).lockPath();
  QFile crashed(left);
  ASSERT_TRUE(crashed.open(QIODevice::WriteOnly) && crashed.write("4711\nvantrel\n") > 0);
  crashed.close();
  {
    SingleInstance again(c.path());
    EXPECT_EQ(again.acquire(), SingleInstance::Acquired);
  }
  EXPECT_FALSE(QFile::exists(left));
  SingleInstance after(c.path());
  EXPECT_EQ(after.acquire(), SingleInstance::Acquired);
}

TEST(Install, HelpTopicsArePutIntoTheProgramDirectoryButNeverOverwritten) {
  Window w;
  ASSERT_TRUE(w.tm.fs().createDirectories(u"C:\\VANTREL\\HELP\\DE"));
  ASSERT_TRUE(w.tm.fs().writeFile(u"C:\\VANTREL\\HELP\\DE\\04.HTML", "<p>mine</p>"));
  ASSERT_TRUE(w.form->Starten());
  EXPECT_TRUE(w.tm.fs().exists(u"C:\\VANTREL\\HELP\\EN\\25.HTML"));
  EXPECT_EQ(*w.tm.fs().readFile(u"C:\\VANTREL\\HELP\\DE\\04.HTML"), QByteArray("<p>mine</p>"));
}

}  // namespace
}  // namespace vt
