// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "app/controls/explorerbutton.h"
#include "app/controls/tarvocheckbox.h"
#include "platform/machine.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QApplication>
#include <QAudioDevice>
#include <QAudioDecoder>
#include <QAudioBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vt {
namespace {

// A host without a sound server (a CI runner) gets a private PulseAudio with a null sink,
// where PulseAudio is installed, so the sound tests play through the real backend there too.
// It must run before the media backend first looks for outputs.
class PrivateSoundServer {
 public:
  PrivateSoundServer() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!qgetenv("PULSE_SERVER").isEmpty() ||
        (!runtime.isEmpty() && QFile::exists(QString::fromLocal8Bit(runtime) + "/pulse/native")))
      return;  // the user's own sound server
    if (!dir_.isValid()) return;
    const QByteArray socket = QFile::encodeName(dir_.path() + QStringLiteral("/native"));
    QByteArray load = "module-native-protocol-unix socket=" + socket;
    const char* argv[] = {"pulseaudio",        "-n",   "--daemonize=no",   "--exit-idle-time=-1",
                          "--use-pid-file=no", "-L",   "module-null-sink", "-L",
                          load.constData(),    nullptr};
    if (posix_spawnp(&pid_, "pulseaudio", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = 0;
      return;
    }
    for (int i = 0; i < 100 && !QFile::exists(QFile::decodeName(socket)); ++i) usleep(50000);
    qputenv("PULSE_SERVER", "unix:" + socket);
    std::printf("[  NOTE    ] started a private PulseAudio with a null sink for the sound tests\n");
  }
  ~PrivateSoundServer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }

 private:
  QTemporaryDir dir_;
  pid_t pid_ = 0;
};

QApplication* app() {
  static PrivateSoundServer sound;
  static int argc = 1;
  static char name[] = "multimedia_window_test";
  static char* argv[] = {name, nullptr};
  static QApplication* instance = new QApplication(argc, argv);
  return instance;
}

// Runs the event loop until `done` holds or the time is up.
template <typename F>
bool waitFor(F done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return true;
}

// Where the README's pictures are written when asked for (VANTREL_SCREENSHOTS=DIR).
void screenshot(QWidget* w, const char* name) {
  const QByteArray dir = qgetenv("VANTREL_SCREENSHOTS");
  if (!dir.isEmpty()) w->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QLatin1String(name));
}

class Window {
 public:
  Window() {
    app();
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());  // no host programs are started
    RegKey* k = tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
    k->setValue("Start", RegSz, "1");
    EXPECT_TRUE(tm.machine().saveRegistry());
    tm.writeRegistryFiles();
    tm.reopen();
    form = std::make_unique<TForm1>(tm.machine(), dialogs, pump, German);
    EXPECT_TRUE(form->Starten());
    form->show();
  }
  template <typename T>
  T* get(const char* name) {
    return form->form().get<T>(QString::fromLatin1(name));
  }
  void click(const char* button) { get<TExplorerButton>(button)->click(); }
  int page() { return form->Notebook1()->currentIndex(); }
  void choose(bool wav, bool midi, bool avi) {
    get<TTarvoCheckBox>("CheckBox_WAV")->setChecked(wav);
    get<TTarvoCheckBox>("CheckBox_MIDI")->setChecked(midi);
    get<TTarvoCheckBox>("Checkbox_AVI")->setChecked(avi);
  }
  // Plays the page shown through the real player and waits for the question.
  bool playToTheEnd() {
    const qsizetype asked = dialogs.shown.size();
    click("ExplorerButton31");
    return waitFor([&] { return dialogs.shown.size() > asked; }, 20000);
  }
  QStringList launched() { return tm.launchedCommands(); }

  QTemporaryDir config;
  test::TestMachine tm;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  std::unique_ptr<TForm1> form;
};

bool haveSoundOutput() {
  app();
  if (!QMediaDevices::audioOutputs().isEmpty()) return true;
  std::printf("[  NOTE    ] no audio output device on this host: the WAV and MIDI playback is not tried\n");
  return false;
}

// The AVI installed at start-up, through the real backend: frames reach the panel, the end
// arrives once, No opens the AVI causes from the installed file, and Check starts the
// multimedia settings.
TEST(MultimediaWindow, TheAviPlaysOnItsPanelAndNoOpensItsCauses) {
  Window w;
  w.click("Knopf3");
  w.click("Knopf_Multimedia");
  EXPECT_EQ(w.page(), 28);
  EXPECT_FALSE(w.form->Notebook2()->isVisible());
  w.choose(false, false, true);
  w.click("ExplorerButton25");
  ASSERT_EQ(w.page(), 25);
  w.dialogs.answer = false;
  auto* panel = w.get<QLabel>("Panel_AVI");
  bool shot = false;
  const qsizetype asked = w.dialogs.shown.size();
  w.click("ExplorerButton31");
  EXPECT_TRUE(w.get<TExplorerButton>("Button_STOP")->isVisible());
  ASSERT_TRUE(waitFor(
      [&] {
        if (!shot && !panel->pixmap().isNull()) {
          shot = true;
          screenshot(w.form.get(), "de-mm-avi.png");
        }
        return w.dialogs.shown.size() > asked;
      },
      20000))
      << w.dialogs.shown.join(QLatin1Char('|')).toStdString();
  EXPECT_TRUE(shot) << "no video frame reached Panel_AVI";
  EXPECT_EQ(w.dialogs.shown.last(), QStringLiteral("confirm: AVI-Test beendet. Konnten Sie den AVI-Film sehen?"));
  waitFor([] { return false; }, 300);  // a second end report would ask again
  EXPECT_EQ(w.dialogs.shown.size(), asked + 1);
  EXPECT_EQ(w.page(), 34);
  w.click("ExplorerButton32");
  EXPECT_EQ(w.page(), 35);
  const QString memo = w.get<QPlainTextEdit>("Memo_MM1")->toPlainText();
  EXPECT_TRUE(memo.startsWith(QStringLiteral("Video-Codec fehlt"))) << memo.toStdString();
  screenshot(w.form.get(), "de-mm-causes.png");
  w.click("MM_Check");
  EXPECT_EQ(w.launched(), QStringList{QStringLiteral("control mmsys.cpl,,4")});
  w.click("ExplorerButton23");
  EXPECT_EQ(w.page(), 2);
}

TEST(MultimediaWindow, WavAndMidiPlayToTheEndOrRefuseWithoutASoundDevice) {
  Window w;
  w.click("Knopf3");
  w.click("Knopf_Multimedia");
  w.choose(true, true, false);
  w.click("ExplorerButton25");
  ASSERT_EQ(w.page(), 26);
  if (!haveSoundOutput()) {
    // The failure row: a clear warning, nothing counted, the start button still there.
    w.click("ExplorerButton31");
    ASSERT_EQ(w.dialogs.shown.size(), 1);
    EXPECT_TRUE(w.dialogs.shown[0].contains(QStringLiteral("kein Gerät für die Tonausgabe")));
    EXPECT_TRUE(w.get<TExplorerButton>("ExplorerButton31")->isEnabled());
    EXPECT_FALSE(w.get<TExplorerButton>("Button_STOP")->isVisible());
    EXPECT_EQ(w.page(), 26);
    GTEST_SKIP() << "no audio output device: WAV and MIDI playback not tried";
  }
  w.dialogs.answer = true;
  ASSERT_TRUE(w.playToTheEnd());
  EXPECT_EQ(w.page(), 27);
  ASSERT_TRUE(w.playToTheEnd());
  EXPECT_EQ(w.page(), 29);
}

// Without a MIDI synthesizer the MIDI step names the package that brings one, and the
// step can be tried again. GStreamer reads which elements to leave out when it starts, so
// the test runs itself again in a process of its own where both synthesizers are ruled out.
TEST(MultimediaWindow, WithoutASynthesizerTheMidiStepNamesThePlugin) {
  const QByteArray ruledOut = "fluiddec:NONE,wildmididec:NONE";
  if (qgetenv("GST_PLUGIN_FEATURE_RANK") != ruledOut) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("GST_PLUGIN_FEATURE_RANK"), QString::fromLatin1(ruledOut));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(),
                {QStringLiteral("--gtest_filter=MultimediaWindow.WithoutASynthesizerTheMidiStepNamesThePlugin")});
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
    return;
  }
  Window w;
  if (!haveSoundOutput()) GTEST_SKIP() << "no audio output device: the MIDI file is never opened";
  w.click("Knopf3");
  w.click("Knopf_Multimedia");
  w.choose(false, true, false);
  w.click("ExplorerButton25");
  ASSERT_EQ(w.page(), 27);
  w.click("ExplorerButton31");
  ASSERT_EQ(w.dialogs.shown.size(), 1);
  EXPECT_TRUE(w.dialogs.shown[0].contains(
      QStringLiteral("Für den MIDI-Test fehlt das GStreamer-Plug-in (Paket gstreamer1.0-plugins-bad).")))
      << w.dialogs.shown[0].toStdString();
  EXPECT_TRUE(w.get<TExplorerButton>("ExplorerButton31")->isEnabled());
  EXPECT_FALSE(w.get<TExplorerButton>("Button_STOP")->isVisible());
}

// The MIDI file, rendered by the synthesizer the player uses, is not silence.
TEST(MultimediaWindow, TheMidiFileSounds) {
  app();
  QTemporaryDir dir;
  const QString file = dir.path() + QStringLiteral("/test.mid");
  ASSERT_TRUE(QFile::copy(QStringLiteral(":/multimedia/test.mid"), file));
  QAudioDecoder decoder;
  QAudioFormat format;
  format.setSampleRate(22050);
  format.setChannelCount(1);
  format.setSampleFormat(QAudioFormat::Int16);
  decoder.setAudioFormat(format);
  decoder.setSource(QUrl::fromLocalFile(file));
  qint64 samples = 0;
  int loudest = 0;
  bool finished = false;
  QString error;
  QObject::connect(&decoder, &QAudioDecoder::bufferReady, [&] {
    const QAudioBuffer b = decoder.read();
    const qint16* data = b.constData<qint16>();
    for (int i = 0; i < b.sampleCount(); ++i) loudest = std::max(loudest, std::abs(int(data[i])));
    samples += b.sampleCount();
  });
  QObject::connect(&decoder, &QAudioDecoder::finished, [&] { finished = true; });
  QObject::connect(&decoder, qOverload<QAudioDecoder::Error>(&QAudioDecoder::error), [&] {
    error = decoder.errorString();
    finished = true;
  });
  decoder.start();
  ASSERT_TRUE(waitFor([&] { return finished; }, 30000));
  ASSERT_TRUE(error.isEmpty()) << error.toStdString();
  EXPECT_GT(samples, 22050 * 2);  // a tune of a few seconds
  EXPECT_GT(loudest, 1000);       // well above silence and dither
}

TEST(MultimediaWindow, TheLaunchersOfTheDiagnosisPage) {
  Window w;
  w.click("Knopf3");
  w.click("Knopf_Manager");
  EXPECT_EQ(w.page(), 37);
  EXPECT_EQ(w.form->Notebook2()->currentIndex(), 10);
  EXPECT_TRUE(w.form->Notebook2()->isVisible());
  EXPECT_EQ(w.get<QPlainTextEdit>("Memo3")->toPlainText().split(QLatin1Char('\n')).size(), 39);
  w.click("ExplorerButton34");
  w.click("ExplorerButton33");
  EXPECT_EQ(w.page(), 2);
  w.click("ExplorerButton12");
  EXPECT_EQ(w.launched(), (QStringList{QStringLiteral("control sysdm.cpl,,1"), QStringLiteral("scandisk /all")}));
}

}  // namespace
}  // namespace vt
