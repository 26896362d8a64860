// SPDX-License-Identifier: GPL-3.0-or-later
#include "multimedia/mmedia.h"

#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace vt::multimedia {
namespace {

class FakePlayer : public Player {
 public:
  void setFileName(const QString& f) override { file = f; }
  bool open(QString* error) override {
    if (!opens) *error = QStringLiteral("no device");
    return opens;
  }
  void play() override { ++plays; }
  void stop() override {
    ++stops;
    if (notify) notify();
  }
  void finish(int reports = 1) {
    for (int i = 0; i < reports; ++i) notify();
  }
  QString file;
  bool opens = true;
  int plays = 0, stops = 0;
};

class FakeScreen : public Screen {
 public:
  int currentPage() const override { return page; }
  void showPage(int p) override { page = p; }
  void showStrip(int s) override { strip = s; }
  void hideStrips() override { strip = -1; }
  void setVisible(Control c, bool v) override { visible[c] = v; }
  void setEnabled(Control c, bool e) override { enabled[c] = e; }
  bool isSelected(Kind k) const override { return selected.at(k); }
  void showCause(const QStringList& l) override { memo = l; }
  int page = 2, strip = -1;
  std::map<Control, bool> visible{{Control::Stop, true}, {Control::Forward, true}, {Control::Back, true}, {Control::Check, true}};
  std::map<Control, bool> enabled{{Control::StartPlayback, true}};
  std::map<Kind, bool> selected{{Wav, true}, {Midi, true}, {Avi, true}};
  QStringList memo;
};

// Seven sections for WAV and MIDI, three for AVI, each naming its letter; the WAV file also
// carries a text line before the first header and an empty line and a "[" line in [B].
QByteArray problemFile(int sections) {
  QByteArray f = "intro that belongs to no section\r\n";
  for (int i = 0; i < sections; ++i) {
    const char letter = char('A' + i);
    f += QByteArray("[") + letter + "]\r\nCause " + letter + "\r\n";
    if (letter == 'B') f += "\r\n[not a header, but it ends the section\r\nhidden\r\n";
  }
  return f + "[END]\r\n";
}

class MultimediaTest : public ::testing::Test {
 protected:
  MultimediaTest() : seq(tm.machine(), state, dialogs, screen, player) {
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());  // no host programs are started
    for (const char* kind : {"WAV", "MIDI", "AVI"})
      for (const char* lang : {"de", "eng"})
        tm.putHostFile("C", QStringLiteral("VANTREL/PROB%1.%2").arg(kind, lang), problemFile(kind[0] == 'A' ? 3 : 7));
    seq.setDirectories(QStringLiteral("C:\\VANTREL"), QStringLiteral("C:\\WINDOWS"));
    seq.reset();
  }
  void select(bool wav, bool midi, bool avi) { screen.selected = {{Wav, wav}, {Midi, midi}, {Avi, avi}}; }
  // Starts the page shown and answers the question.
  void play(bool answer) {
    seq.startPlayback();
    dialogs.answer = answer;
    player.finish();
  }
  QStringList launched() { return tm.launchedCommands(); }

  QTemporaryDir config;
  test::TestMachine tm;
  SharedState state;
  test::RecordingDialogs dialogs;
  FakeScreen screen;
  FakePlayer player;
  Sequence seq;
};

TEST_F(MultimediaTest, EachSelectionRunsItsTestsInOrderToTheSuccessPage) {
  struct Case {
    bool wav, midi, avi;
    std::vector<int> pages;  // test pages in the order shown
  };
  const Case cases[] = {
      {true, true, true, {kWavPage, kMidiPage, kAviPage}},
      {true, false, true, {kWavPage, kAviPage}},
      {false, true, false, {kMidiPage}},
      {false, false, true, {kAviPage}},
      {true, true, false, {kWavPage, kMidiPage}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.wav << c.midi << c.avi);
    select(c.wav, c.midi, c.avi);
    seq.enter();
    seq.begin();
    EXPECT_EQ(screen.strip, kPlaybackStrip);
    EXPECT_FALSE(screen.visible[Control::Stop]);
    for (int page : c.pages) {
      ASSERT_EQ(screen.page, page);
      seq.startPlayback();
      EXPECT_TRUE(screen.visible[Control::Stop]);
      EXPECT_FALSE(screen.enabled[Control::StartPlayback]);
      player.finish();
      EXPECT_TRUE(screen.enabled[Control::StartPlayback]);
    }
    EXPECT_EQ(screen.page, kSuccessPage);
    EXPECT_EQ(screen.strip, -1);
  }
  EXPECT_EQ(player.file, QStringLiteral("C:\\VANTREL\\test.mid"));

  select(false, false, false);
  seq.enter();
  seq.begin();
  EXPECT_EQ(screen.page, kSelectionPage);
  EXPECT_TRUE(dialogs.shown.last().startsWith(QStringLiteral("warning: Sie müssen mind. eine Komponente")));
}

// Forward through every cause and back again: where the buttons hide, where the check
// button shows, and what it starts.
TEST_F(MultimediaTest, PagingThroughTheCauses) {
  struct Case {
    Kind kind;                          // the test answered with No; the later kinds are selected too
    const char* withTool;               // letters whose cause has a check button
    std::vector<const char*> commands;  // started by Check on those, in letter order
  };
  const Case cases[] = {
      {Wav, "CDEF", {"C:\\WINDOWS\\sndvol32.exe", "C:\\WINDOWS\\sndvol32.exe", "control sysdm.cpl,,1", "control mmsys.cpl,,4"}},
      {Midi, "CDEF", {"C:\\WINDOWS\\sndvol32.exe", "C:\\WINDOWS\\sndvol32.exe", "control sysdm.cpl,,1", "control mmsys.cpl,,4"}},
      {Avi, "AB", {"control mmsys.cpl,,4", "control mmsys.cpl,,4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    QFile::remove(tm.folder() + QStringLiteral("/launch.log"));
    select(c.kind == Wav, c.kind != Avi, true);
    seq.begin();
    play(false);
    EXPECT_EQ(screen.page, kCausesIntroPage);  // no further test ran
    EXPECT_EQ(screen.strip, kCausesStrip);
    seq.forward();
    EXPECT_EQ(screen.page, kCausesPage);
    const int last = causeCount(c.kind);
    QString checked;
    for (int i = 1;; ++i) {
      const QChar letter(u'A' + i - 1);
      EXPECT_EQ(screen.memo.value(0), QStringLiteral("Cause ") + letter);
      EXPECT_EQ(screen.visible[Control::Forward], i < last) << i;
      EXPECT_EQ(screen.visible[Control::Back], i > 1) << i;
      if (screen.visible[Control::Check]) {
        checked += letter;
        seq.check();
      }
      if (i == last) break;
      seq.forward();
    }
    EXPECT_EQ(checked, QString::fromLatin1(c.withTool));
    QStringList expected;
    for (const char* cmd : c.commands) expected << QString::fromLatin1(cmd);
    EXPECT_EQ(launched(), expected);
    seq.forward();  // hidden; a stray click changes nothing
    EXPECT_EQ(seq.problemIndex(), last);
    for (int i = last - 1; i >= 1; --i) seq.back();
    EXPECT_EQ(seq.problemIndex(), 1);
    EXPECT_FALSE(screen.visible[Control::Back]);
    EXPECT_TRUE(screen.visible[Control::Forward]);
    seq.back();
    EXPECT_EQ(seq.problemIndex(), 1);
  }
}

TEST_F(MultimediaTest, ANewSequenceAfterABrowseStartsAfresh) {
  select(true, false, true);
  seq.begin();
  play(false);
  seq.forward();
  for (int i = 1; i < 7; ++i) seq.forward();
  EXPECT_FALSE(screen.visible[Control::Forward]);
  seq.leave();
  select(false, false, true);
  seq.enter();
  seq.begin();
  EXPECT_EQ(screen.page, kAviPage);  // the done flags were set anew
  EXPECT_FALSE(seq.done(Avi));
  play(false);
  EXPECT_EQ(screen.page, kCausesIntroPage);
  EXPECT_TRUE(screen.visible[Control::Forward]);
  EXPECT_FALSE(screen.visible[Control::Back]);
  EXPECT_TRUE(screen.visible[Control::Check]);  // AVI [A] has a tool, WAV [G] had none
  EXPECT_EQ(seq.problemIndex(), 1);
}

TEST_F(MultimediaTest, APlayerThatCannotOpenLeavesTheTestUndone) {
  seq.begin();
  player.opens = false;
  seq.startPlayback();
  EXPECT_EQ(player.plays, 0);
  EXPECT_FALSE(seq.done(Wav));
  EXPECT_TRUE(screen.enabled[Control::StartPlayback]);
  EXPECT_FALSE(screen.visible[Control::Stop]);
  ASSERT_EQ(dialogs.shown.size(), 1);
  EXPECT_TRUE(dialogs.shown[0].contains(QStringLiteral("C:\\VANTREL\\test.wav")));
  EXPECT_TRUE(dialogs.shown[0].contains(QStringLiteral("no device")));
  player.opens = true;  // another try works
  play(true);
  EXPECT_TRUE(seq.done(Wav));
  EXPECT_EQ(screen.page, kMidiPage);
}

TEST_F(MultimediaTest, OneQuestionPerPlaybackAndNoneAfterLeaving) {
  seq.begin();
  seq.startPlayback();
  dialogs.answer = true;
  seq.stopPlayback();  // this player reports the stop once ...
  player.finish();     // ... and the aborted play once more
  EXPECT_EQ(dialogs.shown.size(), 1);
  EXPECT_EQ(screen.page, kMidiPage);

  seq.startPlayback();
  seq.leave();  // Abort while it plays
  EXPECT_EQ(player.stops, 2);
  player.finish();
  EXPECT_EQ(dialogs.shown.size(), 1);
  EXPECT_EQ(screen.page, kMidiPage);
  seq.startPlayback();  // the start button works again on the next visit
  EXPECT_EQ(player.plays, 3);
}

TEST_F(MultimediaTest, EnglishAsksAndExplainsInEnglish) {
  tm.putHostFile("C", "VANTREL/PROBMIDI.eng", "[A]\r\nNo synthesizer\r\n[B]\r\n");
  state.language = English;
  select(false, true, false);
  seq.begin();
  play(false);
  EXPECT_EQ(dialogs.shown.last(), QStringLiteral("confirm: MIDI-test complete. Have you heared the MIDI-Sound?"));
  EXPECT_EQ(screen.memo, QStringList{QStringLiteral("No synthesizer")});
}

TEST(ProblemSection, SectionRules) {
  const QByteArray file = "before\r\n[A]\r\nfirst\r\n\r\n[B] \r\n[B]\r\nB text\r\n[a]\r\nstill B\r\n[C]\r\nlast\r\n";
  struct Case {
    std::optional<QByteArray> file;
    char letter;
    Section::Status status;
    QStringList lines;
  };
  const Case cases[] = {
      {file, 'A', Section::Complete, {"first", ""}},  // "[B] " is no header, but it ends [A]
      {file, 'B', Section::Complete, {"B text"}},
      {file, 'C', Section::NoEnd, {"last"}},
      {file, 'D', Section::NoHeader, {}},
      {std::nullopt, 'A', Section::NoFile, {}},
      {QByteArray("[A]\r\nGr\xfc\xdf"
                  "e \x80\r\n[B]\r\n"),
       'A',
       Section::Complete,
       {QString::fromUtf8("Grüße €")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.letter);
    const Section s = readSection(c.file, QLatin1Char(c.letter));
    EXPECT_EQ(s.status, c.status);
    EXPECT_EQ(s.lines, c.lines);
  }
}

TEST_F(MultimediaTest, ADamagedProblemFileIsExplainedInTheMemo) {
  struct Case {
    const char* content;  // nullptr: the file is missing
    QStringList start;    // what the memo starts with
    const char* note;     // what the note says
  };
  const Case cases[] = {
      {nullptr, {}, "fehlt"},
      {"[B]\r\nonly B\r\n[C]\r\n", {}, "keinen Abschnitt [A]"},
      {"[A]\r\ncut off", {QStringLiteral("cut off")}, "endet mitten"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    QFile::remove(tm.host("C", "VANTREL/PROBAVI.de"));
    if (c.content) tm.putHostFile("C", "VANTREL/PROBAVI.de", c.content);
    select(false, false, true);
    seq.begin();
    play(false);
    ASSERT_FALSE(screen.memo.isEmpty());
    EXPECT_EQ(screen.memo.mid(0, c.start.size()), c.start);
    EXPECT_TRUE(screen.memo.last().contains(QString::fromLatin1(c.note))) << screen.memo.join('|').toStdString();
  }
}

}  // namespace
}  // namespace vt::multimedia
