// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/unit1.h"

#include "app/image.h"
#include "app/pages/tuningpage.h"
#include "app/testapp.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"
#include "tuning/logos.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace vt {
namespace {

QApplication* app() { return test::windowApp(); }

QByteArray bitmapBytes(int w, int h, QColor c) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  QByteArray bytes;
  QBuffer b(&bytes);
  b.open(QIODevice::WriteOnly);
  img.save(&b, "BMP");
  return bytes;
}

class LogoPage : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    RegKey* k = tm.registry().createKey(HKey::LocalMachine, u"SOFTWARE\\Tarvo\\Vantrel");
    k->setValue("Start", RegSz, "1");
    ASSERT_TRUE(tm.machine().saveRegistry());
  }
  void start() {
    form = std::make_unique<TForm1>(tm.machine(), dialogs, pump, German);
    ASSERT_TRUE(form->Starten());
  }
  TImage* logo(int n) { return form->form().get<TImage>(QStringLiteral("Logo_%1").arg(n)); }

  test::TestMachine tm;
  test::RecordingDialogs dialogs;
  test::CallbackPump pump;
  std::unique_ptr<TForm1> form;
  QTemporaryDir picks;
};

TEST_F(LogoPage, LoadsTheLogosAndDisablesMissingShutDownPictures) {
  tm.putHostFile("C", "LOGO.SYS", bitmapBytes(320, 400, Qt::blue));
  tm.putHostFile("C", "WINDOWS/LOGOW.SYS", bitmapBytes(320, 400, Qt::red));
  start();
  EXPECT_EQ(logo(1)->picture().size(), QSize(320, 400));
  EXPECT_EQ(logo(2)->picture().pixelColor(5, 5), QColor(Qt::red));
  EXPECT_TRUE(logo(2)->isEnabled());
  EXPECT_TRUE(logo(3)->picture().isNull());
  EXPECT_FALSE(logo(3)->isEnabled());
  // The files are read where they are, never renamed.
  EXPECT_TRUE(tm.fs().exists(u"C:\\LOGO.SYS"));
  EXPECT_FALSE(tm.fs().exists(u"C:\\LOGO.BMP"));
}

TEST_F(LogoPage, APickedPictureIsSavedAs320By400In256ColoursReadOnlyAndHidden) {
  tm.putHostFile("C", "WINDOWS/LOGOW.SYS", bitmapBytes(320, 400, Qt::red));
  start();
  const QString pick = picks.path() + QStringLiteral("/sunset.bmp");
  QImage big(640, 480, QImage::Format_RGB32);
  big.fill(QColor(200, 120, 40));
  ASSERT_TRUE(big.save(pick, "BMP"));
  dialogs.picture = pick;
  form->tuningPage().Logo_Click(2);
  EXPECT_EQ(form->tuningPage().logoChanged()[1], 1);
  EXPECT_EQ(form->tuningPage().logoChanged()[0], 0);
  ASSERT_TRUE(form->tuningPage().SaveChangedLogos());

  const QByteArray file = tm.hostFile("C", "WINDOWS/LOGOW.SYS");
  ASSERT_GE(file.size(), 0x36);
  EXPECT_EQ(file.left(2), QByteArray("BM"));
  EXPECT_EQ(qFromLittleEndian<qint32>(file.constData() + 0x12), 320);
  EXPECT_EQ(qFromLittleEndian<qint32>(file.constData() + 0x16), 400);
  EXPECT_EQ(qFromLittleEndian<quint16>(file.constData() + 0x1C), 8);
  EXPECT_EQ(tm.fs().attributes(u"C:\\WINDOWS\\LOGOW.SYS"), quint32(AttrReadOnly | AttrHidden | AttrArchive));
  // Only changed panels are written.
  EXPECT_FALSE(tm.fs().exists(u"C:\\LOGO.SYS"));
}

TEST_F(LogoPage, AnEmptyBootLogoPanelCanStillBeFilled) {
  start();
  EXPECT_TRUE(logo(1)->isEnabled());
  const QString pick = picks.path() + QStringLiteral("/small.bmp");
  QImage small(10, 10, QImage::Format_RGB32);
  small.fill(Qt::green);
  ASSERT_TRUE(small.save(pick, "BMP"));
  dialogs.picture = pick;
  form->tuningPage().Logo_Click(1);
  ASSERT_TRUE(form->tuningPage().SaveChangedLogos());
  EXPECT_EQ(tm.fs().attributes(u"C:\\LOGO.SYS"), quint32(AttrReadOnly | AttrHidden | AttrArchive));
  EXPECT_EQ(logos::load(tm.fs(), u"C:\\LOGO.SYS").size(), QSize(320, 400));
}

TEST_F(LogoPage, CancelOrAnUnreadablePictureChangesNothing) {
  tm.putHostFile("C", "LOGO.SYS", bitmapBytes(320, 400, Qt::blue));
  start();
  const QImage before = logo(1)->picture();
  dialogs.picture.clear();
  form->tuningPage().Logo_Click(1);
  const QString junk = picks.path() + QStringLiteral("/broken.bmp");
  {
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("BM this is not a bitmap");
  }
  dialogs.picture = junk;
  form->tuningPage().Logo_Click(1);
  EXPECT_EQ(logo(1)->picture(), before);
  EXPECT_EQ(form->tuningPage().logoChanged()[0], 0);
  ASSERT_EQ(dialogs.shown.size(), 3);
  EXPECT_TRUE(dialogs.shown[2].startsWith(QStringLiteral("warning: Das Bild")));
  // A disabled panel does not even ask.
  form->tuningPage().Logo_Click(3);
  EXPECT_EQ(dialogs.shown.size(), 3);
}

TEST_F(LogoPage, ALogoThatCannotBeSavedStopsTheApply) {
  tm.putHostFile("C", "WINDOWS/LOGOW.SYS", bitmapBytes(320, 400, Qt::red));
  tm.putHostFile("C", "WINDOWS/LOGOS.SYS", bitmapBytes(320, 400, Qt::red));
  start();
  const QString pick = picks.path() + QStringLiteral("/pick.bmp");
  QImage green(40, 40, QImage::Format_RGB32);
  green.fill(Qt::green);
  ASSERT_TRUE(green.save(pick, "BMP"));
  dialogs.picture = pick;
  form->tuningPage().Logo_Click(2);
  form->tuningPage().Logo_Click(3);
  // The shut-down picture's place is taken by a folder before the apply.
  ASSERT_TRUE(QFile::remove(tm.host("C", "WINDOWS/LOGOW.SYS")));
  ASSERT_TRUE(QDir().mkpath(tm.host("C", "WINDOWS/LOGOW.SYS")));
  const QByteArray third = tm.hostFile("C", "WINDOWS/LOGOS.SYS");
  dialogs.shown.clear();
  form->tuningPage().Knopf8Click();
  ASSERT_EQ(dialogs.shown.size(), 2);
  EXPECT_EQ(dialogs.shown[1], QString::fromUtf8("warning: Das Logo \"C:\\WINDOWS\\LOGOW.SYS\" konnte nicht gespeichert "
                                                "werden.\rEs wurden keine weiteren Änderungen übernommen."));
  EXPECT_EQ(tm.hostFile("C", "WINDOWS/LOGOS.SYS"), third) << "the panel after the failed one is not written";
  EXPECT_FALSE(form->tuningPage().SaveChangedLogos());
}

}  // namespace
}  // namespace vt
