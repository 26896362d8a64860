// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/testapp.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QLabel>
#include <QListWidget>
#include <QStackedWidget>

#include <gtest/gtest.h>

namespace vt {
namespace {

// Every file of the machine folder and its contents, so a change anywhere shows.
QByteArray folderDigest(const QString& folder) {
  QCryptographicHash hash(QCryptographicHash::Sha256);
  QStringList files;
  for (QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();)
    files << it.next();
  files.sort();
  for (const QString& f : files) {
    QFile file(f);
    if (!file.open(QIODevice::ReadOnly)) continue;
    hash.addData(f.toUtf8());
    hash.addData(file.readAll());
  }
  return hash.result();
}

TEST(ReportWindow, TheSampleMachineReportsRealHardwareOnThreePagesAndWritesNothing) {
  test::SampleWindow w(English);
  TForm1& form = *w.form;
  const QTemporaryDir& dir = w.dir;
  auto button = [&](const char* name) { return w.get<TExplorerButton>(name); };
  auto label = [&](const char* name) { return w.get<QLabel>(name)->text(); };

  const QByteArray before = folderDigest(dir.path());
  button("Knopf_Report")->click();
  EXPECT_EQ(folderDigest(dir.path()), before);
  EXPECT_EQ(form.Notebook1()->currentIndex(), 3);
  const QString notFound = QStringLiteral("Not exist / Not noticed");
  for (const char* row : {"Label_CPU", "Label_RAM", "Label_BIOS", "Label_GFX", "Label_SFX", "Label_Maus", "Label_Tastatur"}) {
    EXPECT_FALSE(label(row).isEmpty()) << row;
    EXPECT_NE(label(row), notFound) << row;
  }
  EXPECT_GE(form.form().get<QListWidget>(QStringLiteral("ListBox_Drives"))->count(), 3);

  // Forward, forward, back, back: the buttons show only where there is somewhere to go.
  const struct {
    const char* click;
    int page;
    bool forward, back;
  } steps[] = {{"ExplorerButton14", 4, true, true},
               {"ExplorerButton14", 5, false, true},
               {"ExplorerButton5", 4, true, true},
               {"ExplorerButton5", 3, true, false}};
  for (const auto& s : steps) {
    button(s.click)->click();
    EXPECT_EQ(form.Notebook1()->currentIndex(), s.page);
    EXPECT_EQ(button("ExplorerButton14")->isVisibleTo(&form), s.forward) << s.page;
    EXPECT_EQ(button("ExplorerButton5")->isVisibleTo(&form), s.back) << s.page;
  }
  button("ExplorerButton30")->click();
  EXPECT_EQ(form.Notebook1()->currentIndex(), 2);
  EXPECT_TRUE(w.dialogs.shown.size() <= 1);  // the first-start note at most; the report shows none
}

}  // namespace
}  // namespace vt
