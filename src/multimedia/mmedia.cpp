// SPDX-License-Identifier: GPL-3.0-or-later
#include "multimedia/mmedia.h"

#include "platform/launcher.h"
#include "platform/machine.h"
#include "platform/text.h"

namespace vt::multimedia {

namespace {

constexpr int kShowNormal = 1;  // SW_SHOWNORMAL

struct TestPage {
  Kind kind;
  int page;
  const char* file;
};

constexpr TestPage kTestPages[] = {
    {Wav, kWavPage, "test.wav"},
    {Midi, kMidiPage, "test.mid"},
    {Avi, kAviPage, "test.avi"},
};

const TestPage* testPageOf(int page) {
  for (const TestPage& t : kTestPages)
    if (t.page == page) return &t;
  return nullptr;
}

int pageOf(Kind k) {
  for (const TestPage& t : kTestPages)
    if (t.kind == k) return t.page;
  return -1;
}

}  // namespace

// --- problem files --------------------------------------------------------------------

QString problemFileName(Kind k, int language) {
  const char* base = k == Wav ? "PROBWAV" : k == Midi ? "PROBMIDI" : "PROBAVI";
  return QString::fromLatin1(base) + QString::fromLatin1(language == English ? ".eng" : ".de");
}

int causeCount(Kind k) { return k == Avi ? 3 : 7; }

bool causeHasTool(Kind k, int index) {
  if (k == Avi) return index == 1 || index == 2;
  return index >= 3 && index <= 6;
}

QString toolCommand(Kind k, int index, const QString& windowsDirectory) {
  if (!causeHasTool(k, index)) return {};
  if (k == Avi || index == 6) return QString::fromLatin1(kMultimediaSettingsCommand);
  if (index == 5) return QString::fromLatin1(kDeviceManagerCommand);
  return windowsDirectory + QStringLiteral("\\sndvol32.exe");
}

// --- the sequence -----------------------------------------------------------------------

Sequence::Sequence(Machine& machine, SharedState& state, DialogService& dialogs, Screen& screen, Player& player)
    : machine_(machine), state_(state), dialogs_(dialogs), screen_(screen), player_(player) {
  player_.notify = [this] { playbackEnded(); };
}

void Sequence::setDirectories(const QString& programDirectory, const QString& windowsDirectory) {
  programDirectory_ = programDirectory;
  windowsDirectory_ = windowsDirectory;
}

void Sequence::reset() {
  currentTest_ = NoKind;
  problemKind_ = NoKind;
}

void Sequence::enter() {
  screen_.setEnabled(Control::StartPlayback, true);
  screen_.showPage(kSelectionPage);
  screen_.hideStrips();
}

void Sequence::begin() {
  if (!screen_.isSelected(Wav) && !screen_.isSelected(Midi) && !screen_.isSelected(Avi)) {
    dialogs_.warning(text("Sie müssen mind. eine Komponente anwählen. Was soll denn sonst getestet werden?",
                          "You have to select at least 1 component!"));
    return;
  }
  // A kind that was not picked needs no test.
  for (Kind k : {Wav, Midi, Avi}) done_[k - 1] = !screen_.isSelected(k);
  screen_.setVisible(Control::Stop, false);
  screen_.showStrip(kPlaybackStrip);
  for (Kind k : {Wav, Midi, Avi})
    if (!done_[k - 1]) {
      screen_.showPage(pageOf(k));
      return;
    }
}

void Sequence::startPlayback() {
  const TestPage* t = testPageOf(screen_.currentPage());
  if (!t || awaitingEnd_) return;
  currentTest_ = t->kind;
  const QString file = programDirectory_ + QLatin1Char('\\') + QString::fromLatin1(t->file);
  player_.setFileName(file);
  QString why;
  if (!player_.open(&why)) {
    // The start button stays usable for another try, and the kind is not counted as tested.
    dialogs_.warning(
        text("Die Testdatei %1 konnte nicht abgespielt werden:\r%2", "The test file %1 could not be played:\r%2").arg(file, why));
    return;
  }
  awaitingEnd_ = true;
  player_.play();
  done_[t->kind - 1] = true;
  screen_.setVisible(Control::Stop, true);
  screen_.setEnabled(Control::StartPlayback, false);
}

void Sequence::stopPlayback() { player_.stop(); }

void Sequence::playbackEnded() {
  // One question per playback: a player that reports a stopped playback twice, or the end
  // of a playback the user already left, asks nothing more.
  if (!awaitingEnd_) return;
  awaitingEnd_ = false;
  screen_.setEnabled(Control::StartPlayback, true);
  const Kind k = Kind(currentTest_);
  bool seen = false;
  switch (k) {
    case Wav:
      seen = dialogs_.confirm(
          text("WAV-Test beendet. Konnten Sie den Sound hören?", "WAV-test complete. Have you heared the WAV-Sound?"));
      break;
    case Midi:
      seen = dialogs_.confirm(
          text("MIDI-Test beendet. Konnten Sie den MIDI-Sound hören?", "MIDI-test complete. Have you heared the MIDI-Sound?"));
      break;
    case Avi:
      seen = dialogs_.confirm(
          text("AVI-Test beendet. Konnten Sie den AVI-Film sehen?", "AVI-test complete. Have you seen the AVI-movie?"));
      break;
    default: return;
  }
  if (!seen) {
    screen_.showPage(kCausesIntroPage);
    screen_.setVisible(Control::Back, false);
    screen_.setVisible(Control::Forward, true);
    problemIndex_ = 1;
    problemKind_ = k;
    showProblemSection(QLatin1Char('A'));
    screen_.showStrip(kCausesStrip);
    return;
  }
  if (k == Wav) {
    if (screen_.isSelected(Midi))
      screen_.showPage(kMidiPage);
    else if (screen_.isSelected(Avi))
      screen_.showPage(kAviPage);
  } else if (k == Midi) {
    if (screen_.isSelected(Avi)) screen_.showPage(kAviPage);
  }
  if (allDone()) {
    screen_.showPage(kSuccessPage);
    screen_.hideStrips();
  }
}

void Sequence::forward() {
  if (screen_.currentPage() == kCausesIntroPage) {
    screen_.showPage(kCausesPage);
    return;
  }
  const Kind k = Kind(problemKind_);
  if (k == NoKind || problemIndex_ >= causeCount(k)) return;
  ++problemIndex_;
  showProblemSection(QChar(u'A' + problemIndex_ - 1));
  screen_.setVisible(Control::Back, true);
  if (problemIndex_ == causeCount(k)) screen_.setVisible(Control::Forward, false);
}

void Sequence::back() {
  if (problemKind_ == NoKind || problemIndex_ <= 1) return;
  --problemIndex_;
  showProblemSection(QChar(u'A' + problemIndex_ - 1));
  screen_.setVisible(Control::Forward, true);
  if (problemIndex_ == 1) screen_.setVisible(Control::Back, false);
}

void Sequence::check() {
  const QString command = toolCommand(Kind(problemKind_), problemIndex_, windowsDirectory_);
  if (!command.isEmpty()) winExec(machine_, command, kShowNormal);
}

void Sequence::showProblemSection(QChar letter) {
  const Kind k = Kind(problemKind_);
  if (k == NoKind) return;
  const QString name = problemFileName(k, state_.language);
  const QString path = programDirectory_ + QLatin1Char('\\') + name;
  screen_.setVisible(Control::Check, causeHasTool(k, problemIndex_));
  const QStringList lines =
      problemSectionLines(machine_.files(), path, letter, state_, "Die Datei %1 mit den möglichen Ursachen fehlt.",
                          "The file %1 with the possible causes is missing.");
  screen_.showCause(lines);
}

void Sequence::leave() {
  if (!awaitingEnd_) return;
  awaitingEnd_ = false;
  player_.stop();
}

bool startDeviceManager(Machine& machine) { return winExec(machine, QString::fromLatin1(kDeviceManagerCommand), kShowNormal); }

bool startDiskCheck(Machine& machine) { return winExec(machine, QString::fromLatin1(kDiskCheckCommand), kShowNormal); }

}  // namespace vt::multimedia
