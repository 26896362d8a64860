// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The multimedia test of the Diagnosis section. The user picks WAV, MIDI and AVI; each
// picked kind is played once and the user says whether it was heard or seen. The first
// "No" ends the series and opens a browser of possible causes for that kind, read from the
// kind's problem file, with a button that opens the matching Windows setting. Nothing is
// measured: the answers decide.
//
// The sequence knows no widgets. It drives the pages and buttons through Screen and the
// media player through Player, so it runs the same behind the window and in tests.
#include "sysaccess/dialogs.h"
#include "sysaccess/problemfiles.h"
#include "sysaccess/state.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

namespace vt {

class Machine;

namespace multimedia {

enum Kind { NoKind = 0, Wav = 1, Midi = 2, Avi = 3 };

// Pages of Notebook1 and strips of Notebook2 the test uses.
inline constexpr int kAviPage = 25;
inline constexpr int kWavPage = 26;
inline constexpr int kMidiPage = 27;
inline constexpr int kSelectionPage = 28;
inline constexpr int kSuccessPage = 29;
inline constexpr int kCausesIntroPage = 34;
inline constexpr int kCausesPage = 35;
inline constexpr int kManagerPage = 37;
inline constexpr int kPlaybackStrip = 8;
inline constexpr int kCausesStrip = 9;
inline constexpr int kManagerStrip = 10;

inline constexpr const char* kDeviceManagerCommand = "control sysdm.cpl,,1";
inline constexpr const char* kMultimediaSettingsCommand = "control mmsys.cpl,,4";
inline constexpr const char* kDiskCheckCommand = "scandisk /all";

// The media player: one file at a time, played asynchronously.
class Player {
 public:
  virtual ~Player() = default;
  virtual void setFileName(const QString& windowsPath) = 0;
  // Opens the device for the file set, closing one still open. False, with a reason the
  // user can read, when the file or the device cannot be opened.
  virtual bool open(QString* error) = 0;
  virtual void play() = 0;
  virtual void stop() = 0;
  // Set by the sequence. The player calls it whenever a playback started by play has ended,
  // normally or by stop; some players report one end twice.
  std::function<void()> notify;
};

// The buttons the sequence shows, hides, enables and disables.
enum class Control {
  StartPlayback,  // ExplorerButton31
  Stop,           // Button_STOP
  Forward,        // ExplorerButton32
  Back,           // ExplorerButton24
  Check,          // MM_Check
};

class Screen : public PageView {
 public:
  virtual void setVisible(Control c, bool visible) = 0;
  virtual void setEnabled(Control c, bool enabled) = 0;
  // Whether the kind's box on the selection page is ticked.
  virtual bool isSelected(Kind k) const = 0;
  // Replaces the cause memo's text and shows it from its first line.
  virtual void showCause(const QStringList& lines) = 0;
};

// --- problem files --------------------------------------------------------------------

// "PROBWAV.de", "PROBMIDI.eng", ... for a kind and language.
QString problemFileName(Kind k, int language);
// How many causes a kind's file has: 7 for WAV and MIDI, 3 for AVI.
int causeCount(Kind k);
// Whether the cause at that index (1 = "[A]") has a setting the check button opens.
bool causeHasTool(Kind k, int index);
// The command line the check button runs for a cause, empty where there is none.
QString toolCommand(Kind k, int index, const QString& windowsDirectory);

// The texts of the causes, one section per problem letter.
using Section = LetteredSection;
inline Section readSection(const std::optional<QByteArray>& file, QChar letter) { return readLetteredSection(file, letter); }

// --- the sequence -----------------------------------------------------------------------

class Sequence {
 public:
  Sequence(Machine& machine, SharedState& state, DialogService& dialogs, Screen& screen, Player& player);

  void setDirectories(const QString& programDirectory, const QString& windowsDirectory);
  // Start-up: no test has run, no cause is browsed.
  void reset();

  // The Multimedia button: the selection page with the start button enabled and no strip.
  void enter();
  // Start on the selection page: the first selected test page.
  void begin();
  // Start on a test page: plays that page's file.
  void startPlayback();
  void stopPlayback();
  // The player reports the end of a playback: ask, then go on or open the causes.
  void playbackEnded();
  void forward();
  void back();
  // Opens the setting that belongs to the cause shown.
  void check();
  void showProblemSection(QChar letter);
  // The user leaves the test (Abort, Ok, another section). A playback still running is
  // stopped and its end is not evaluated: there is no page left to ask on.
  void leave();

  bool playing() const { return awaitingEnd_; }
  int currentTest() const { return currentTest_; }
  bool done(Kind k) const { return k >= Wav && k <= Avi && done_[k - 1]; }
  int problemKind() const { return problemKind_; }
  int problemIndex() const { return problemIndex_; }

 private:
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }
  bool allDone() const { return done_[0] && done_[1] && done_[2]; }

  Machine& machine_;
  SharedState& state_;
  DialogService& dialogs_;
  Screen& screen_;
  Player& player_;
  QString programDirectory_, windowsDirectory_;
  int currentTest_ = NoKind;
  std::array<bool, 3> done_{};  // WAV, MIDI, AVI
  int problemKind_ = NoKind;
  int problemIndex_ = 1;
  // A playback was started and its end has not been evaluated yet.
  bool awaitingEnd_ = false;
};

// The launchers of the Diagnosis start page. True when the command was started.
bool startDeviceManager(Machine& machine);
bool startDiskCheck(Machine& machine);

}  // namespace multimedia
}  // namespace vt
