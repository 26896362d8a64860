// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/testapp.h"
#include "app/pages/diagnosispage.h"
#include "diagnosis/browser.h"
#include "diagnosis/problemtexts.h"
#include "multimedia/mmedia.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace vt {
namespace {

// Names, times and contents of everything in the folder.
QByteArray folderHash(const QString& folder) {
  QCryptographicHash h(QCryptographicHash::Sha256);
  QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  QStringList entries;
  while (it.hasNext()) entries << it.next();
  entries.sort();
  for (const QString& path : entries) {
    QFile f(path);
    h.addData(path.toUtf8() + QByteArray::number(QFileInfo(path).lastModified().toMSecsSinceEpoch()));
    if (f.open(QIODevice::ReadOnly)) h.addData(f.readAll());
  }
  return h.result();
}

// The sample machine from its first analysis to the second: every problem AUTOFIX can
// repair is repaired, one backup set each, and the device conflict is left to the user.
TEST(DiagnosisWindow, SampleMachineIsRepairedByAutofix) {
  test::SampleWindow w(English);
  TForm1& form = *w.form;
  auto click = [&](const char* button) { w.click(button); };
  auto visible = [&](const char* button) { return !w.get<TExplorerButton>(button)->isHidden(); };
  auto sets = [&] { return w.get<QTreeWidget>("ListView1")->topLevelItemCount(); };
  const diagnosis::Browser& browser = form.diagnosisPage().problemBrowser();

  // The texts the program installs hold every section in both languages.
  for (const char* name : {"PROBLEME.de", "PROBLEME.eng", "LSG.de", "LSG.eng"}) {
    const auto file = w.fs().readFile(QStringLiteral("C:\\VANTREL\\") + QLatin1String(name));
    for (char letter = 'A'; letter <= 'Q'; ++letter)
      EXPECT_EQ(diagnosis::readProblemSection(file, QLatin1Char(letter)).status, diagnosis::ProblemSection::Complete)
          << name << " " << letter;
  }

  const QByteArray before = folderHash(w.dir.path());
  click("Knopf3");
  click("Knopf_Diagnose");
  EXPECT_EQ(folderHash(w.dir.path()), before);
  EXPECT_EQ(browser.problems(), QStringLiteral("CDEFGKNPQ"));
  EXPECT_EQ(form.Notebook1()->currentIndex(), diagnosis::kProblemsFoundPage);
  EXPECT_FALSE(form.Notebook2()->isHidden());

  click("Diagnose_weiter");
  EXPECT_EQ(form.Notebook1()->currentIndex(), diagnosis::kProblemPage);
  EXPECT_EQ(w.get<QLabel>("Label_PROBLEM")->text(), QStringLiteral("Problem 1:"));
  const QString description = w.get<QPlainTextEdit>("Memo1")->toPlainText();
  EXPECT_TRUE(description.startsWith(QStringLiteral("Old drivers in SYSTEM.INI\n"))) << description.toStdString();
  EXPECT_TRUE(description.endsWith(QStringLiteral("\nDEVICE=C:\\SCANNER\\SCANCTL.386"))) << description.toStdString();

  const int setsBefore = sets();
  for (int i = 0; i < 8 && browser.problems() != QLatin1String("Q"); ++i) {
    ASSERT_TRUE(visible("Knopf_AUTOFIX"));
    click("Knopf_AUTOFIX");
  }
  EXPECT_EQ(browser.problems(), QStringLiteral("Q"));
  EXPECT_EQ(sets(), setsBefore + 8);
  click("Knopf_AUTOFIX");
  EXPECT_EQ(form.Notebook1()->currentIndex(), multimedia::kManagerPage);
  for (const QString& shown : w.dialogs.shown) EXPECT_FALSE(shown.startsWith(QLatin1String("warning"))) << shown.toStdString();

  click("Knopf_Diagnose");
  EXPECT_EQ(browser.problems(), QStringLiteral("Q"));
  click("ExplorerButton29");
  EXPECT_EQ(form.Notebook1()->currentIndex(), 2);
  EXPECT_TRUE(form.Notebook2()->isHidden());
}

}  // namespace
}  // namespace vt
