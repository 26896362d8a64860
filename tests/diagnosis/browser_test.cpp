// SPDX-License-Identifier: GPL-3.0-or-later
#include "diagnosis/browser.h"

#include "backup/backups.h"
#include "diagnosis/diagnosis_fixture.h"
#include "diagnosis/problemtexts.h"
#include "sysaccess/fakes.h"

#include <gtest/gtest.h>

namespace vt::diagnosis {
namespace {

using namespace Qt::Literals::StringLiterals;
using test::dword;

struct FakeView : BrowserView {
  int page = 2;
  bool strip = false, shown[3] = {true, true, true};  // back, forward, AUTOFIX
  QString label;
  QStringList description, solution, events;

  int currentPage() const override { return page; }
  void showPage(int p) override { page = p; }
  void showStrip(int s) override { strip = s == kBrowserStrip; }
  void hideStrips() override { strip = false; }
  void setVisible(BrowserButton b, bool v) override { shown[int(b)] = v; }
  bool isVisible(BrowserButton b) const override { return shown[int(b)]; }
  void setProblemLabel(const QString& text) override { label = text; }
  void showDescription(const QStringList& lines) override { description = lines; }
  void showSolution(const QStringList& lines) override { solution = lines; }
  void showDeviceManagerGuide() override { events << u"device manager"_s; }
  void returnToSection() override { events << u"section"_s; }
  // What the page shows: the label, the letter of the text shown, and the strip as "bfa"
  // with "-" for a hidden button.
  QString state() const {
    return label + u' ' + description.value(0).right(1) + u' ' + (shown[0] ? u'b' : u'-') + (shown[1] ? u'f' : u'-') +
           (shown[2] ? u'a' : u'-');
  }
};

// A machine with the problems named (A, C, K, O, Q), test texts whose lines name their file
// and letter, and a browser over the analysis of it.
struct Bench : test::HealthyPc {
  test::RecordingDialogs dialogs;
  backup::Backups backups{tm.machine(), state, dialogs};
  FakeView view;
  Browser browser{tm.fs(), state, dialogs, view,
                  Repairs{tm.machine(), reg, ini, backups, dialogs, state, w, s, u"C:\\VANTREL"_s}};

  explicit Bench(const QString& letters) : HealthyPc(letters.contains(u'A') ? u"PhysicalMemory=4194304"_s : QString()) {
    backups.setDirectories(u"C:\\VANTREL"_s, w, s);
    for (const char* name : {"PROBLEME.eng", "LSG.eng"}) {
      QByteArray text;
      for (char l = 'A'; l <= 'Q'; ++l) text += QByteArray("[") + l + "]\r\n" + name + ' ' + l + "\r\n";
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
};

TEST(Browser, AnalysisOpensTheBrowserOrTheAllClearPage) {
  Bench none(u""_s);
  EXPECT_EQ(none.view.page, kNoProblemsPage);
  EXPECT_FALSE(none.view.strip);

  Bench b(u"CKO"_s);
  EXPECT_EQ(b.view.page, kProblemsFoundPage);
  EXPECT_TRUE(b.view.strip);
  EXPECT_EQ(b.view.state(), u"Problem 1: C -fa"_s);
  EXPECT_EQ(b.view.description, (QStringList{"PROBLEME.eng C", "DEVICE=C:\\GONE\\X.386"}));
  EXPECT_EQ(b.view.solution, QStringList{"LSG.eng C"});

  // Forward from the announcing page only turns the page; then it walks, as back does.
  const std::pair<void (Browser::*)(), const char*> steps[] = {
      {&Browser::forward, "Problem 1: C -fa"}, {&Browser::back, "Problem 1: C -fa"},    {&Browser::forward, "Problem 2: K bfa"},
      {&Browser::forward, "Problem 3: O b-a"}, {&Browser::forward, "Problem 3: O b-a"}, {&Browser::back, "Problem 2: K bfa"},
  };
  for (const auto& [step, state] : steps) {
    (b.browser.*step)();
    EXPECT_EQ(b.view.page, kProblemPage);
    EXPECT_EQ(b.view.state(), QLatin1String(state));
  }
}

TEST(Browser, AutofixTakesTheRepairedProblemOutOfTheList) {
  const struct {
    const char* problems;
    int forwards;  // on the problem page, before AUTOFIX
    const char* left;
    const char* state;
  } cases[] = {
      // The next problem moves into the position, which keeps its number.
      {"CKO", 0, "KO", "Problem 1: K -fa"},
      {"CKO", 1, "CO", "Problem 2: O b-a"},
      // The last one goes: the one before it comes, with its own number.
      {"CKO", 2, "CK", "Problem 2: K b-a"},
      {"CK", 1, "C", "Problem 1: C --a"},
  };
  for (const auto& c : cases) {
    Bench b(QString::fromLatin1(c.problems));
    for (int i = 0; i <= c.forwards; ++i) b.browser.forward();
    b.browser.AutoFixProblem();
    EXPECT_EQ(b.browser.problems(), QLatin1String(c.left));
    EXPECT_EQ(b.view.state(), QLatin1String(c.state));
    EXPECT_EQ(b.dialogs.shown, QStringList());
  }
}

TEST(Browser, RepairingTheOnlyProblemClosesTheBrowserAndFreesTheDetails) {
  Bench b(u"C"_s);
  b.browser.forward();
  EXPECT_EQ(b.view.state(), u"Problem 1: C --a"_s);
  b.browser.AutoFixProblem();
  EXPECT_EQ(b.dialogs.shown, QStringList{"info: All problems have been fixed successfully!"});
  EXPECT_EQ(b.browser.problems(), QString());
  EXPECT_EQ(b.view.events, QStringList{"section"});
  EXPECT_EQ(b.browser.findings().detailsOf(u'C'), QStringList());
}

TEST(Browser, ProblemsAutofixCannotSolveStay) {
  Bench low(u"AC"_s);
  EXPECT_EQ(low.view.state(), u"Problem 1: A -f-"_s);

  Bench device(u"Q"_s);
  device.browser.AutoFixProblem();
  EXPECT_EQ(device.view.events, QStringList{"device manager"});
  EXPECT_EQ(device.browser.problems(), u"Q"_s);
  EXPECT_EQ(device.dialogs.shown, QStringList());

  Bench lost(u"KO"_s);
  lost.tm.fs().deleteFile(u"C:\\VANTREL\\SAVE\\user32.dll");
  for (int i = 0; i < 2; ++i) lost.browser.forward();
  lost.browser.AutoFixProblem();
  EXPECT_EQ(lost.dialogs.shown,
            QStringList{"warning: An error occured during AUTOFIX! The problem has not been solved correctly!"});
  EXPECT_EQ(lost.browser.problems(), u"KO"_s);
  EXPECT_EQ(lost.view.state(), u"Problem 2: O b-a"_s);
}

// Only an exact header opens a section; a missing file, section or end line is said in the memo.
TEST(ProblemTexts, SectionsAndWhatIsMissing) {
  test::HealthyPc pc;
  pc.file(u"C:\\VANTREL\\PROBLEME.eng"_s,
          "[c]\r\nlower\r\n[C] \r\nblank\r\n[C]\r\none\r\n\r\ntwo\r\n[X\r\n[C]\r\n2nd\r\n[D]\r\nopen");
  const auto memo = [&](char letter, TextKind kind) {
    return problemText(pc.tm.fs(), u"C:\\VANTREL"_s, kind, QLatin1Char(letter), pc.state);
  };
  EXPECT_EQ(memo('C', TextKind::Description), (QStringList{"one", "", "two"}));
  EXPECT_EQ(memo('D', TextKind::Description),
            (QStringList{"open", "", "(The file C:\\VANTREL\\PROBLEME.eng ends inside this section; it may be incomplete.)"}));
  EXPECT_EQ(memo('E', TextKind::Description), QStringList{"The file C:\\VANTREL\\PROBLEME.eng has no section [E]."});
  EXPECT_EQ(memo('C', TextKind::Solution), QStringList{"The file C:\\VANTREL\\LSG.eng is missing or cannot be read."});
}

}  // namespace
}  // namespace vt::diagnosis
