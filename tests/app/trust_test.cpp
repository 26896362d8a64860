// SPDX-License-Identifier: GPL-3.0-or-later
// A machine folder is data that users pass around: one made by someone else must not run
// host programs or open host files, and one that is not a machine must not start at all.
#include "app/controls/explorerbutton.h"
#include "app/helpwindow.h"
#include "app/image.h"
#include "app/pages/tuningpage.h"
#include "app/singleinstance.h"
#include "app/unit1.h"
#include "platform/machine.h"
#include "app/testapp.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextDocument>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace vt {
namespace {

QApplication* app() { return test::windowApp(); }

TEST(HostileMachine, RunsNoHostProgramAndOpensNothingOutsideItsTopics) {
  app();
  QTemporaryDir outside, config;
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));  // the user has mapped nothing
  const QString marker = outside.path() + QStringLiteral("/ran");
  const QString script = outside.path() + QStringLiteral("/payload");
  {
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  QFile picture(outside.path() + QStringLiteral("/secret.png"));
  ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
  QImage(4, 4, QImage::Format_RGB32).save(&picture, "PNG");
  picture.close();

  test::TestMachine tm({}, QStringLiteral("\r\n[Programs]\r\nDEFRAG=%1\r\nSCANDISK=%1\r\nREGEDIT=%1\r\n").arg(script));
  RegKey* k = tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
  k->setValue("Start", RegSz, "1");
  ASSERT_TRUE(tm.machine().saveRegistry());
  // The machine's own help topic for the options page, with links out of the machine.
  tm.putHostFile("C", "VANTREL/HELP/EN/02.HTML",
                 QStringLiteral("<p>Options</p><img src=\"%1\"><img src=\"/etc/hostname\">"
                                "<a href=\"file:///etc/passwd\">a</a><a href=\"%2\">b</a><a href=\"../../x.html\">c</a>"
                                "<a href=\"smb://server/share\">d</a><a href=\"https://example.org/help\">e</a>")
                     .arg(picture.fileName(), script)
                     .toUtf8());

  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  TForm1 form(tm.machine(), dialogs, pump, English);
  ASSERT_TRUE(form.Starten());
  form.tuningPage().ExplorerButton22Click();  // the defragmenter
  form.form().get<TExplorerButton>(QStringLiteral("Knopf0"))->click();
  emit form.form().get<TImage>(QStringLiteral("Image4"))->clicked();
  auto* help = form.findChild<HelpWindow*>(QStringLiteral("HelpWindow"));
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->browser()->toPlainText().contains(QLatin1String("Options")));
  const QVariant shown =
      help->browser()->document()->resource(QTextDocument::ImageResource, QUrl::fromLocalFile(picture.fileName()));
  EXPECT_TRUE(shown.toByteArray().isEmpty() && shown.value<QImage>().isNull()) << "a host picture was read";
  for (const char* link :
       {"file:///etc/passwd", "../../x.html", "smb://server/share", "https://example.org/help", "/tmp/09.html"})
    help->openLink(QUrl(QString::fromLatin1(link)));
  help->openLink(QUrl::fromLocalFile(script));

  QThread::msleep(300);
  EXPECT_FALSE(QFile::exists(marker)) << "a host program ran";
  EXPECT_EQ(dialogs.shown.filter(QStringLiteral("web: ")), QStringList{QStringLiteral("web: https://example.org/help")});
  EXPECT_TRUE(help->browser()->toPlainText().contains(QLatin1String("Options")));  // still the same topic
  // Its own topics are still followed.
  help->openLink(QUrl(QStringLiteral("04.html")));
  EXPECT_FALSE(help->browser()->toPlainText().contains(QLatin1String("Options")));
  qunsetenv("XDG_CONFIG_HOME");
}

// What Vantrel says when it cannot start; the process must end with a failure and a reason.
TEST(StartUp, AFolderThatIsNotACompleteMachineIsRefusedWithItsReason) {
  struct Case {
    const char* name;
    std::function<void(const QString&)> damage;
    const char* mentions;
  } cases[] = {
      {"no C: drive", [](const QString& m) { QDir(m + "/drives/C").removeRecursively(); }, "drive C: is missing"},
      {"broken machine.ini", [](const QString& m) { QFile::remove(m + "/machine.ini"); }, "machine.ini"},
      // The window reads the registry while it builds itself; a damaged one still stops it.
      {"damaged SYSTEM.DAT",
       [](const QString& m) {
         QFile hive(QDir(m + "/drives/C").filePath(QStringLiteral("WINDOWS/SYSTEM.DAT")));
         ASSERT_TRUE(hive.open(QIODevice::WriteOnly | QIODevice::Truncate));
         hive.write("CREG but not a registry file");
       },
       "is not a usable registry file"},
  };
  for (const Case& c : cases) {
    test::TestMachine tm;
    tm.writeRegistryFiles();
    c.damage(tm.folder());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VANTREL_NO_ERROR_BOX"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VANTREL_APP), {QStringLiteral("--machine"), tm.folder()});
    ASSERT_TRUE(p.waitForFinished(20000)) << c.name;
    EXPECT_EQ(p.exitCode(), 1) << c.name;
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains(QLatin1String(c.mentions))) << c.name << ": " << err.toStdString();
  }
}

TEST(SingleInstance, ALockThatCannotBeMadeIsAnErrorNotAnotherCopy) {
  QTemporaryDir dir;
  QFile notAFolder(dir.path() + QStringLiteral("/file"));
  ASSERT_TRUE(notAFolder.open(QIODevice::WriteOnly));
  SingleInstance guard(dir.path(), notAFolder.fileName());
  EXPECT_EQ(guard.acquire(), SingleInstance::Failed);
  EXPECT_TRUE(guard.error().contains(notAFolder.fileName())) << guard.error().toStdString();
}

}  // namespace
}  // namespace vt
