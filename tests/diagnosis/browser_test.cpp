#include "diagnosis/browser.h"

#include "backup/backups.h"
#include "diagnosis/diagnosis_fixture.h"
#include "diagnosis/problemtexts.h"
#include "sysaccess/fakes.h"

#include <gtest/gtest.h>

#include <map>

namespace vt::diagnosis {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::dword;

struct FakeView : BrowserView {
  int page = 2;
  bool stripShown = false;
  std::map<BrowserButton, bool> visible{{BrowserButton::Back, true}, {BrowserButton::Forward, true}, {BrowserButton::Autofix, true}};
  QString label;
  QStringList description, solution;
  QStringList events;  // device manager guide, return to the section

  int currentPage() const override { return page; }
  void showPage(int p) override { page = p; }
  void showStrip(int strip) override { stripShown = strip == kBrowserStrip; }
  void hideStrips() override { stripShown = false; }
  void setVisible(BrowserButton b, bool v) override { visible[b] = v; }
  bool isVisible(BrowserButton b) const override { return visible.at(b); }
  void setProblemLabel(const QString& text) override { label = text; }
  void showDescription(const QStringList& lines) override { description = lines; }
  void showSolution(const QStringList& lines) override { solution = lines; }
  void showDeviceManagerGuide() override { events << u"device manager"_s; }
  void returnToSection() override {
    events << u"section"_s;
    page = 2;
    stripShown = false;
  }
  // Back, forward and AUTOFIX as the strip shows them: "bfa", with "-" for a hidden one.
  QString buttons() const {
    return QString(visible.at(BrowserButton::Back) ? u'b' : u'-') + (visible.at(BrowserButton::Forward) ? u'f' : u'-') +
           (visible.at(BrowserButton::Autofix) ? u'a' : u'-');
  }
};

// A machine with the problems a test names (C, K, O, Q, A), its problem texts in the program
// directory, and a browser over it.
struct Bench : test::HealthyPc {
  test::RecordingDialogs dialogs;
  backup::Backups backups{tm.machine(), state, dialogs};
  FakeView view;
  Browser browser{tm.fs(), state, dialogs, view, Repairs{tm.machine(), reg, ini, backups, dialogs, state, w, s, u"C:\\VANTREL"_s}};

  explicit Bench(const QString& letters) : test::HealthyPc(letters.contains(u'A') ? u"PhysicalMemory=4194304"_s : QString()) {
    tm.fs().createDirectories(u"C:\\VANTREL\\SAVE");
    backups.setDirectories(u"C:\\VANTREL"_s, w, s);
    for (const char* name : {"PROBLEME.eng", "LSG.eng"}) {
      QByteArray text;
      for (char l = 'A'; l <= 'Q'; ++l) text += QByteArray("[") + l + "]\r\n" + name + " " + l + "\r\n";
      file(u"C:\\VANTREL\\"_s + QLatin1String(name), text + "[END]\r\n");
    }
    if (letters.contains(u'C')) file(w + u"\\SYSTEM.INI"_s, "[386Enh]\r\ndevice=C:\\GONE\\X.386\r\n");
    if (letters.contains(u'K')) key(HKey::LocalMachine, kFileSystemKey)->setValue("AsyncFileCommit", RegDword, dword(1));
    if (letters.contains(u'O')) {
      tm.fs().deleteFile(s + u"\\USER32.DLL"_s);
      file(u"C:\\VANTREL\\SAVE\\user32.dll"_s);
    }
    if (letters.contains(u'Q')) key(HKey::DynData, u"Config Manager\\Enum\\C29A4990")->setValue("Problem", RegBinary, dword(12));
    tm.machine().saveRegistry();
    Analysis analysis(tm.machine(), reg, ini, state, folders());
    browser.analyse(analysis);
    EXPECT_EQ(browser.problems(), letters);
  }
  // The letter the memos show, from the first line of the test texts.
  QString shown() const { return view.description.value(0).right(1); }
};

TEST(Browser, AnalysisResultOpensTheBrowserOrTheAllClearPage) {
  Bench none(u""_s);
  EXPECT_EQ(none.view.page, kNoProblemsPage);
  EXPECT_FALSE(none.view.stripShown);

  Bench b(u"CKO"_s);
  EXPECT_EQ(b.view.page, kProblemsFoundPage);
  EXPECT_TRUE(b.view.stripShown);
  EXPECT_EQ(b.view.buttons(), u"-fa"_s);
  EXPECT_EQ(b.view.label, u"Problem 1:"_s);
  EXPECT_EQ(b.view.description, (QStringList{"PROBLEME.eng C", "DEVICE=C:\\GONE\\X.386"}));
  EXPECT_EQ(b.view.solution, QStringList{"LSG.eng C"});
}

TEST(Browser, ForwardAndBackWalkTheList) {
  Bench b(u"CKO"_s);
  const struct {
    void (Browser::*step)();
    int page;
    const char* label;
    const char* letter;
    const char* buttons;
  } steps[] = {
      {&Browser::forward, kProblemPage, "Problem 1:", "C", "-fa"},  // from the announcing page: no move
      {&Browser::back, kProblemPage, "Problem 1:", "C", "-fa"},     // nothing before the first
      {&Browser::forward, kProblemPage, "Problem 2:", "K", "bfa"},
      {&Browser::forward, kProblemPage, "Problem 3:", "O", "b-a"},
      {&Browser::forward, kProblemPage, "Problem 3:", "O", "b-a"},  // nothing after the last
      {&Browser::back, kProblemPage, "Problem 2:", "K", "bfa"},
      {&Browser::back, kProblemPage, "Problem 1:", "C", "-fa"},
  };
  for (const auto& s : steps) {
    (b.browser.*s.step)();
    SCOPED_TRACE(s.label);
    EXPECT_EQ(b.view.page, s.page);
    EXPECT_EQ(b.view.label, QLatin1String(s.label));
    EXPECT_EQ(b.shown(), QLatin1String(s.letter));
    EXPECT_EQ(b.view.buttons(), QLatin1String(s.buttons));
  }
}

TEST(Browser, AutofixTakesTheRepairedProblemOutOfTheList) {
  const struct {
    const char* name;
    const char* problems;
    int forwards;  // presses on the problem page before AUTOFIX
    const char* left;
    const char* label;
    const char* letter;
    const char* buttons;
  } cases[] = {
      // The next problem moves into the position; the label keeps its number.
      {"first of three", "CKO", 0, "KO", "Problem 1:", "K", "-fa"},
      {"middle of three", "CKO", 1, "CO", "Problem 2:", "O", "b-a"},
      // The last one goes: the one before it is shown, with its own number.
      {"last of three", "CKO", 2, "CK", "Problem 2:", "K", "b-a"},
      {"last of two", "CK", 1, "C", "Problem 1:", "C", "--a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bench b(QString::fromLatin1(c.problems));
    b.browser.forward();
    for (int i = 0; i < c.forwards; ++i) b.browser.forward();
    b.browser.AutoFixProblem();
    EXPECT_EQ(b.browser.problems(), QLatin1String(c.left));
    EXPECT_EQ(b.view.label, QLatin1String(c.label));
    EXPECT_EQ(b.shown(), QLatin1String(c.letter));
    EXPECT_EQ(b.view.buttons(), QLatin1String(c.buttons));
    EXPECT_TRUE(b.dialogs.shown.isEmpty()) << b.dialogs.shown.join(u'\n').toStdString();
  }
}

TEST(Browser, RepairingTheOnlyProblemClosesTheBrowser) {
  Bench b(u"C"_s);
  b.browser.forward();
  EXPECT_EQ(b.view.page, kProblemPage);
  EXPECT_EQ(b.view.buttons(), u"--a"_s);
  b.browser.AutoFixProblem();
  EXPECT_EQ(b.dialogs.shown, QStringList{"info: All problems have been fixed successfully!"});
  EXPECT_EQ(b.browser.problems(), QString());
  EXPECT_EQ(b.view.events, QStringList{"section"});
  EXPECT_TRUE(b.browser.findings().detailsOf(u'C').isEmpty());
}

TEST(Browser, ProblemsAutofixCannotSolveStay) {
  // Low memory: no AUTOFIX button.
  Bench low(u"AC"_s);
  EXPECT_EQ(low.view.buttons(), u"-f-"_s);

  // A device conflict leads to the Device Manager, and stays.
  Bench device(u"Q"_s);
  device.browser.AutoFixProblem();
  EXPECT_EQ(device.view.events, QStringList{"device manager"});
  EXPECT_EQ(device.browser.problems(), u"Q"_s);
  EXPECT_TRUE(device.dialogs.shown.isEmpty());

  // A safe copy that is gone: the warning, and the problem stays where it was.
  Bench lost(u"KO"_s);
  lost.tm.fs().deleteFile(u"C:\\VANTREL\\SAVE\\user32.dll");
  lost.browser.forward();
  lost.browser.forward();
  lost.browser.AutoFixProblem();
  EXPECT_EQ(lost.dialogs.shown,
            QStringList{"warning: An error occured during AUTOFIX! The problem has not been solved correctly!"});
  EXPECT_EQ(lost.browser.problems(), u"KO"_s);
  EXPECT_EQ(lost.view.label, u"Problem 2:"_s);
}

TEST(Browser, AbortFreesTheDetailsAndReturns) {
  Bench b(u"CO"_s);
  b.browser.cancel();
  EXPECT_EQ(b.view.events, QStringList{"section"});
  EXPECT_TRUE(b.browser.findings().detailsOf(u'C').isEmpty());
  EXPECT_TRUE(b.browser.findings().detailsOf(u'O').isEmpty());
}

TEST(ProblemTexts, SectionsEndAtTheNextBracketAndMissingPartsAreSaid) {
  const QByteArray file = "intro\r\n[c]\r\nlower\r\n[C] \r\nblank\r\n[C]\r\none\r\n\r\ntwo\r\n[X\r\n[C]\r\nsecond\r\n[D]\r\nopen";
  const struct {
    std::optional<QByteArray> file;
    char letter;
    ProblemSection::Status status;
    QStringList lines;
  } cases[] = {
      {file, 'C', ProblemSection::Complete, {"one", "", "two"}},
      {file, 'D', ProblemSection::NoEnd, {"open"}},
      {file, 'E', ProblemSection::NoHeader, {}},
      {std::nullopt, 'C', ProblemSection::NoFile, {}},
  };
  for (const auto& c : cases) {
    const ProblemSection s = readProblemSection(c.file, QLatin1Char(c.letter));
    EXPECT_EQ(s.status, c.status) << c.letter;
    EXPECT_EQ(s.lines, c.lines) << c.letter;
  }

  test::HealthyPc pc;
  pc.file(u"C:\\VANTREL\\PROBLEME.eng"_s, file);
  const auto memo = [&](char letter, TextKind kind) { return problemText(pc.tm.fs(), u"C:\\VANTREL"_s, kind, QLatin1Char(letter), pc.state); };
  EXPECT_EQ(memo('D', TextKind::Description),
            (QStringList{"open", "", "(The file C:\\VANTREL\\PROBLEME.eng ends inside this section; it may be incomplete.)"}));
  EXPECT_EQ(memo('E', TextKind::Description), QStringList{"The file C:\\VANTREL\\PROBLEME.eng has no section [E]."});
  EXPECT_EQ(memo('C', TextKind::Solution), QStringList{"The file C:\\VANTREL\\LSG.eng is missing or cannot be read."});
}

}  // namespace
}  // namespace vt::diagnosis
