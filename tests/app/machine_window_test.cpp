// SPDX-License-Identifier: GPL-3.0-or-later
// The Info page's machine: which one is open, opening another, and a disk image worked on
// in the window and written back into the image.
#include "app/machinechoice.h"
#include "app/pages/machinepage.h"
#include "app/pages/tuningpage.h"
#include "app/controls/tarvocheckbox.h"
#include "app/controls/tarvolabel.h"
#include "diskimage/roundtrip.h"
#include "testapp.h"

#include <QMenu>
#include <QProgressBar>

namespace vt {
namespace {

using test::RecordingDialogs;

// XDG folders of the test's own, so that images' machines and the recent list stay in it.
struct Home {
  QTemporaryDir dir;
  Home() {
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
  }
  ~Home() {
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
  }
};

class ChoiceDialogs : public RecordingDialogs {
 public:
  QString chooseMachine(bool image) override {
    shown << (image ? QStringLiteral("choose image") : QStringLiteral("choose folder"));
    return chosen;
  }
  QString chosen;
};

// The restarts a window asked for: target and whether to import afresh.
struct Restarts {
  QList<std::pair<QString, bool>> asked;
  explicit Restarts(TForm1& form) {
    QObject::connect(&form, &TForm1::restartRequested, &form, [this](const QString& t, bool r) { asked.append({t, r}); });
  }
};

struct MachineWindow {
  std::unique_ptr<Machine> machine;
  ChoiceDialogs dialogs;
  test::CallbackPump pump;
  std::unique_ptr<TForm1> form;

  explicit MachineWindow(const QString& target, MachineChoice* choice = nullptr) {
    test::windowApp();
    MachineChoice c;
    QString why;
    EXPECT_TRUE(resolveMachine(target, &c, &why)) << why.toStdString();
    if (choice) *choice = c;
    machine = Machine::open(c.folder, &why);
    EXPECT_TRUE(machine) << why.toStdString();
    form = std::make_unique<TForm1>(*machine, dialogs, pump, German);
    form->setMachineChoice(c);
    EXPECT_TRUE(form->Starten());
  }
  template <typename T>
  T* get(const char* name) {
    return form->form().get<T>(QString::fromLatin1(name));
  }
};

TEST(MachineWindow, ShowsTheFolderAndOpensAnotherThroughTheMenu) {
  Home home;
  QTemporaryDir other;
  QString why;
  ASSERT_TRUE(sample::createSampleMachine(home.dir.filePath("w95"), &why)) << why.toStdString();
  ASSERT_TRUE(sample::createSampleMachine(other.path(), &why)) << why.toStdString();
  rememberMachine(other.path());
  MachineWindow w(home.dir.filePath("w95"));
  EXPECT_TRUE(w.get<TTarvoLabel>("TarvoLabel_Maschine")->text().endsWith(QStringLiteral("/w95")));
  EXPECT_TRUE(w.form->windowTitle().contains(QStringLiteral("w95")));
  EXPECT_FALSE(w.get<TExplorerButton>("Knopf_Zurueckschreiben")->isVisibleTo(w.form.get()));

  Restarts restart(*w.form);
  w.get<TExplorerButton>("Knopf_Maschine")->click();
  QMenu* menu = w.form->machinePage().menu();
  ASSERT_TRUE(menu);
  const QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 4);  // the recent machine, a separator, folder and image
  EXPECT_EQ(actions[0]->data().toString(), QFileInfo(other.path()).absoluteFilePath());
  w.dialogs.chosen.clear();
  actions[2]->trigger();  // cancelled: nothing happens
  EXPECT_TRUE(restart.asked.isEmpty());
  actions[0]->trigger();
  ASSERT_EQ(restart.asked.size(), 1);
  EXPECT_EQ(restart.asked[0].first, QFileInfo(other.path()).absoluteFilePath());
  EXPECT_FALSE(restart.asked[0].second);
}

TEST(CommandLine, TheLanguageFollowsTheEnvironmentUnlessGiven) {
  const struct {
    const char *all, *messages, *lang;
    QStringList args;
    bool english;
  } cases[] = {
      {"", "", "de_DE.UTF-8", {}, false},      {"", "", "en_GB.UTF-8", {}, true}, {"", "", "", {}, true},
      {"C", "", "de_DE.UTF-8", {}, true},      {"", "de_AT", "en_US", {}, false}, {"", "", "de_DE", {"--lang", "en"}, true},
      {"", "", "en_US", {"--lang=de"}, false},
  };
  for (const auto& c : cases) {
    qputenv("LC_ALL", c.all);
    qputenv("LC_MESSAGES", c.messages);
    qputenv("LANG", c.lang);
    EXPECT_EQ(parseCommandLine(QStringList{"vantrel"} + c.args).english, c.english) << c.all << c.messages << c.lang;
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) qunsetenv(name);
}

class ImageWindow : public test::DiskRoundTrip {};

// A tuning switch applied in the window goes into the image on "Write back", and only the
// files the window changed differ there afterwards.
TEST_F(ImageWindow, AppliesASwitchAndWritesItBackIntoTheImage) {
  Home home;
  const QMap<QString, QByteArray> before = test::imageFiles(image_, dir_.filePath("before"));
  MachineChoice choice;
  MachineWindow w(image_, &choice);
  EXPECT_EQ(choice.image, QFileInfo(image_).absoluteFilePath());
  EXPECT_TRUE(w.get<TTarvoLabel>("TarvoLabel_Maschine")->text().contains(QStringLiteral("w95.img")));
  EXPECT_TRUE(w.get<TExplorerButton>("Knopf_Zurueckschreiben")->isVisibleTo(w.form.get()));

  auto* logo = w.form->form().get<TTarvoCheckBox>(QStringLiteral("CheckBox_Logo"));
  ASSERT_TRUE(logo);
  logo->setChecked(!logo->isChecked());
  w.dialogs.answer = true;
  w.form->tuningPage().Knopf8Click();
  w.dialogs.shown.clear();
  // The bar shows the files going into the image while they do, and only then.
  auto* bar = w.get<QProgressBar>("ProgressBar_Image");
  ASSERT_TRUE(bar);
  EXPECT_FALSE(bar->isVisibleTo(w.form.get()));
  bool shownWhileWriting = false;
  QObject::connect(bar, &QProgressBar::valueChanged,
                   [&](int v) { shownWhileWriting = bar->isVisibleTo(w.form.get()) && v == bar->maximum() && v > 0; });
  w.get<TExplorerButton>("Knopf_Zurueckschreiben")->click();
  EXPECT_TRUE(shownWhileWriting);
  EXPECT_FALSE(bar->isVisibleTo(w.form.get()));
  ASSERT_EQ(w.dialogs.shown.size(), 1);
  EXPECT_TRUE(w.dialogs.shown[0].startsWith(QStringLiteral("info: Das Disk-Image wurde geschrieben")))
      << w.dialogs.shown[0].toStdString();

  QByteArray fsck;
  EXPECT_EQ(fsckPartition(&fsck), 0) << fsck.toStdString();
  const QMap<QString, QByteArray> after = test::imageFiles(image_, dir_.filePath("after"));
  const QString program = w.machine->facts().programDirectory.mid(3).replace('\\', '/').toUpper();
  bool logoChanged = false;
  for (const auto& [path, bytes] : after.asKeyValueRange()) {
    if (before.value(path) == bytes) continue;
    if (path.toUpper() == QLatin1String("MSDOS.SYS")) {
      logoChanged = true;
      continue;
    }
    // Besides the switch, only the program's own key in the registry and the backup sets
    // the window made on the way.
    EXPECT_TRUE(path.toUpper().startsWith(program + '/') || path.toUpper() == QLatin1String("WINDOWS/SYSTEM.DAT"))
        << path.toStdString();
  }
  EXPECT_TRUE(logoChanged);
  for (const QString& path : before.keys()) EXPECT_TRUE(after.contains(path)) << path.toStdString();
}

TEST_F(ImageWindow, AsksOnCloseAndOffersAFreshImportOfAnImageChangedMeanwhile) {
  Home home;
  MachineWindow w(image_);
  ASSERT_TRUE(w.machine->files().writeFile(u"C:\\NOTES.TXT", "new"));
  // The image is started in an emulator meanwhile.
  ASSERT_TRUE(test::writeImage(dir_.filePath("booted.txt"), "booted"));
  test::mtool("mcopy", image_, test::kPartitionOffset, {"-o", dir_.filePath("booted.txt"), "::/BOOTED.TXT"});
  Restarts restart(*w.form);
  w.dialogs.shown.clear();
  w.dialogs.answer = true;
  EXPECT_FALSE(w.form->machinePage().mayClose());
  ASSERT_EQ(w.dialogs.shown.size(), 2);
  EXPECT_TRUE(w.dialogs.shown[0].contains(QStringLiteral("noch nicht im Disk-Image")));
  EXPECT_TRUE(w.dialogs.shown[1].contains(QStringLiteral("neu aus dem Disk-Image importieren")));
  ASSERT_EQ(restart.asked.size(), 1);
  EXPECT_TRUE(restart.asked[0].second);
  EXPECT_TRUE(test::imageFile(image_, test::kPartitionOffset, "NOTES.TXT").isEmpty());
}

// A packed image from QEMU or VirtualBox goes the same way and stays in its own format.
TEST_F(ImageWindow, WritesASwitchBackIntoAQcow2AndAVdi) {
  SKIP_WITHOUT_QEMU_IMG();
  for (const char* format : {"qcow2", "vdi"}) {
    SCOPED_TRACE(format);
    Home home;
    const QString packed = dir_.filePath(QStringLiteral("w95.") + format);
    ASSERT_EQ(test::runProgram("qemu-img", {"convert", "-f", "raw", "-O", format, image_, packed}), 0);
    MachineChoice choice;
    MachineWindow w(packed, &choice);
    auto* logo = w.form->form().get<TTarvoCheckBox>(QStringLiteral("CheckBox_Logo"));
    ASSERT_TRUE(logo);
    logo->setChecked(!logo->isChecked());
    w.form->tuningPage().Knopf8Click();
    w.dialogs.shown.clear();
    w.get<TExplorerButton>("Knopf_Zurueckschreiben")->click();
    ASSERT_EQ(w.dialogs.shown.size(), 1);
    EXPECT_TRUE(w.dialogs.shown[0].startsWith(QStringLiteral("info: Das Disk-Image wurde geschrieben")))
        << w.dialogs.shown[0].toStdString();
    // Clean, still of its format, and holding exactly the disk the machine wrote.
    EXPECT_EQ(test::runProgram("qemu-img", {"check", "-f", format, packed}), 0);
    EXPECT_EQ(test::runProgram("qemu-img", {"compare", "-f", format, "-F", "raw", packed, choice.folder + "/diskimage.raw"}), 0);
    const QString raw = dir_.filePath(QStringLiteral("back.") + format + ".raw");
    ASSERT_EQ(test::runProgram("qemu-img", {"convert", "-f", format, "-O", "raw", packed, raw}), 0);
    EXPECT_NE(test::imageFile(raw, test::kPartitionOffset, "MSDOS.SYS"),
              test::imageFile(image_, test::kPartitionOffset, "MSDOS.SYS"));
  }
}

}  // namespace
}  // namespace vt
