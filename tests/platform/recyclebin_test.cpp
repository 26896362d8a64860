// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/recyclebin.h"

#include "support/testmachine.h"

#include "platform/atomicfile.h"

#include <QDir>
#include <QtEndian>

#include <gtest/gtest.h>

namespace vt {
namespace {

constexpr int kHeader = 0x14;
constexpr int kRecord = 0x118;
constexpr quint32 kCluster = 16 * 512;  // TestMachine's drive C:

quint32 dword(const QByteArray& b, qsizetype at) { return qFromLittleEndian<quint32>(b.constData() + at); }
QString s(const char* text) { return QString::fromLatin1(text); }
// An INFO as another program may have left it: `next` in the header, records as given.
QByteArray makeInfo(quint32 next, const QList<std::pair<QByteArray, quint32>>& records) {
  QByteArray out(kHeader, '\0');
  qToLittleEndian<quint32>(quint32(records.size()), out.data() + 0x04);
  qToLittleEndian<quint32>(next, out.data() + 0x08);
  qToLittleEndian<quint32>(kRecord, out.data() + 0x0C);
  for (const auto& [path, index] : records) {
    QByteArray r(kRecord, '\0');
    r.replace(0, path.size(), path);
    qToLittleEndian<quint32>(index, r.data() + 0x104);
    qToLittleEndian<quint32>(2, r.data() + 0x108);
    out += r;
  }
  return out;
}

quint64 fileTimeNow() { return 116444736000000000ULL + quint64(QDateTime::currentMSecsSinceEpoch()) * 10000ULL; }

class RecycleBinTest : public ::testing::Test {
 protected:
  test::TestMachine m;
  RecycleBin bin{m.fs()};

  QByteArray info() const { return m.hostFile("C", "RECYCLED/INFO"); }
  QByteArray record(int n) const { return info().mid(kHeader + n * kRecord, kRecord); }
};

TEST_F(RecycleBinTest, TwoFilesGoIntoTheBinAsWindows95LaysItOut) {
  const QByteArray letter(100, 'l'), picture(kCluster + 1, 'p');
  m.putHostFile("C", "DOCS/Letter.txt", letter);
  m.putHostFile("C", "DOCS/Picture.bmp", picture);
  const quint64 before = fileTimeNow();
  ASSERT_TRUE(bin.recycle(u"C:\\DOCS\\Letter.txt"));
  ASSERT_TRUE(bin.recycle(u"c:\\docs\\..\\docs\\PICTURE.BMP"));  // recorded as spelled on disk
  const quint64 after = fileTimeNow();

  EXPECT_FALSE(m.fs().exists(u"C:\\DOCS\\Letter.txt"));
  EXPECT_EQ(m.hostFile("C", "RECYCLED/DC0.TXT"), letter);
  EXPECT_EQ(m.hostFile("C", "RECYCLED/DC1.BMP"), picture);
  EXPECT_EQ(m.fs().attributes(u"C:\\RECYCLED") & (AttrHidden | AttrSystem), quint32(AttrHidden | AttrSystem));
  EXPECT_EQ(m.hostFile("C", "RECYCLED/DESKTOP.INI"),
            QByteArray("[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n"));

  const QByteArray bytes = info();
  ASSERT_EQ(bytes.size(), kHeader + 2 * kRecord);
  EXPECT_EQ(dword(bytes, 0x00), 0u);
  EXPECT_EQ(dword(bytes, 0x04), 2u);
  EXPECT_EQ(dword(bytes, 0x08), 2u);
  EXPECT_EQ(dword(bytes, 0x0C), quint32(kRecord));
  EXPECT_EQ(dword(bytes, 0x10), 3 * kCluster);
  const struct {
    QByteArray path;
    quint32 size;
  } expected[] = {{"C:\\DOCS\\Letter.txt", kCluster}, {"C:\\docs\\Picture.bmp", 2 * kCluster}};
  for (quint32 n = 0; n < 2; ++n) {
    const QByteArray r = record(int(n));
    EXPECT_EQ(r.first(260), expected[n].path + QByteArray(260 - expected[n].path.size(), '\0'));
    EXPECT_EQ(dword(r, 0x104), n);
    EXPECT_EQ(dword(r, 0x108), 2u);
    EXPECT_GE(qFromLittleEndian<quint64>(r.constData() + 0x10C), before);
    EXPECT_LE(qFromLittleEndian<quint64>(r.constData() + 0x10C), after);
    EXPECT_EQ(dword(r, 0x114), expected[n].size);
  }
}

TEST_F(RecycleBinTest, StoredNamesCarryTheUpperCasedExtension) {
  const struct {
    const char* host;
    const char* stored;
  } cases[] = {{"A/archive.tar.gz", "DC0.GZ"}, {"A/README", "DC1"}, {"B.D/FILE", "DC2"}, {"A/page.html", "DC3.HTML"}};
  for (const auto& c : cases) {
    m.putHostFile("C", QString::fromLatin1(c.host), c.host);
    ASSERT_TRUE(bin.recycle(QStringLiteral("C:\\") + QString::fromLatin1(c.host).replace(u'/', u'\\')));
    EXPECT_EQ(m.hostFile("C", QStringLiteral("RECYCLED/") + QLatin1String(c.stored)), QByteArray(c.host));
  }
}

TEST_F(RecycleBinTest, RestoreMovesLaterRecordsDownAndTheIndexKeepsCounting) {
  m.putHostFile("C", "DOCS/A.TXT", "first");
  m.putHostFile("C", "DOCS/B.DOC", QByteArray(3 * kCluster, 'b'));
  ASSERT_TRUE(bin.recycle(u"C:\\DOCS\\A.TXT"));
  ASSERT_TRUE(bin.recycle(u"C:\\DOCS\\B.DOC"));
  const QByteArray second = record(1);

  QString error;
  ASSERT_TRUE(bin.restore(QLatin1Char('c'), 0, &error)) << error.toStdString();
  EXPECT_EQ(m.hostFile("C", "DOCS/A.TXT"), QByteArray("first"));
  ASSERT_EQ(info().size(), kHeader + kRecord);
  EXPECT_EQ(dword(info(), 0x04), 1u);
  EXPECT_EQ(dword(info(), 0x08), 2u);
  EXPECT_EQ(dword(info(), 0x10), 3 * kCluster);
  EXPECT_EQ(record(0), second);

  m.putHostFile("C", "C.TXT", "third");
  ASSERT_TRUE(bin.recycle(u"C:\\C.TXT"));
  EXPECT_EQ(dword(record(1), 0x104), 2u);
  EXPECT_EQ(m.hostFile("C", "RECYCLED/DC2.TXT"), QByteArray("third"));
  ASSERT_TRUE(bin.restore(QLatin1Char('C'), 2, &error)) << error.toStdString();  // into the root
  EXPECT_EQ(m.hostFile("C", "C.TXT"), QByteArray("third"));
  EXPECT_FALSE(bin.restore(QLatin1Char('C'), 2));
}

TEST_F(RecycleBinTest, ListReadsTheBinBackAfterReopening) {
  m.putHostFile("C", "WINDOWS/DESKTOP/Old.lnk", QByteArray(10, 'x'));
  const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
  ASSERT_TRUE(bin.recycle(u"C:\\WINDOWS\\DESKTOP\\Old.lnk"));
  m.reopen();
  const QList<RecycledItem> items = RecycleBin(m.fs()).list();
  ASSERT_EQ(items.size(), 1);
  EXPECT_EQ(items[0].originalPath, QStringLiteral("C:\\WINDOWS\\DESKTOP\\Old.lnk"));
  EXPECT_EQ(items[0].index, 0u);
  EXPECT_EQ(items[0].driveNumber, 2);
  EXPECT_EQ(items[0].sizeOnDisk, kCluster);
  EXPECT_EQ(items[0].storedPath, QStringLiteral("C:\\RECYCLED\\DC0.LNK"));
  EXPECT_GE(items[0].deleted, before);
  EXPECT_LE(items[0].deleted, QDateTime::currentDateTimeUtc().addSecs(1));
}

TEST_F(RecycleBinTest, RefusesWhatHasNoPlaceInABinAndChangesNothing) {
  m.putHostFile("C", "DOCS/FILE.TXT", "x");
  m.putHostFile("D", "CDFILE.TXT", "cd");
  const QString dir = QString(120, u'a') + u'/';
  m.putHostFile("C", dir + QString(135, u'b'), "fits");  // "C:\" path of 259 bytes, NUL makes 260
  m.putHostFile("C", dir + QString(136, u'c'), "long");
  const QString winDir = QStringLiteral("C:\\") + QString(120, u'a') + u'\\';

  for (const QString& path : {s("C:\\DOCS\\MISSING.TXT"), s("C:\\DOCS"), s("A:\\SETUP.EXE"), s("D:\\CDFILE.TXT"),
                              s("C:\\DOCS\\*.TXT"), winDir + QString(136, u'c')})
    EXPECT_FALSE(bin.recycle(path)) << path.toStdString();
  EXPECT_EQ(m.hostFile("D", "CDFILE.TXT"), QByteArray("cd"));
  EXPECT_EQ(m.hostFile("C", dir + QString(136, u'c')), QByteArray("long"));
  EXPECT_FALSE(QDir(m.host("C", "RECYCLED")).exists());
  EXPECT_FALSE(QDir(m.host("D", "RECYCLED")).exists());

  EXPECT_TRUE(bin.recycle(winDir + QString(135, u'b')));
  EXPECT_FALSE(bin.recycle(u"C:\\RECYCLED\\DC0"));  // the bin's own files stay put
  EXPECT_FALSE(bin.recycle(u"C:\\RECYCLED\\INFO"));
  EXPECT_EQ(dword(info(), 0x04), 1u);
}

TEST_F(RecycleBinTest, RestoreRefusesATakenPlaceOrAMissingFolderAndChangesNothing) {
  m.putHostFile("C", "DOCS/A.TXT", "old");
  m.putHostFile("C", "GONE/B.TXT", "b");
  ASSERT_TRUE(bin.recycle(u"C:\\DOCS\\A.TXT"));
  ASSERT_TRUE(bin.recycle(u"C:\\GONE\\B.TXT"));
  m.putHostFile("C", "DOCS/A.TXT", "new");
  ASSERT_TRUE(QDir(m.host("C", "GONE")).removeRecursively());
  const QByteArray infoBefore = info();
  for (quint32 index : {0u, 1u, 7u}) {
    QString error;
    EXPECT_FALSE(bin.restore(QLatin1Char('C'), index, &error)) << index;
    EXPECT_FALSE(error.isEmpty());
  }
  EXPECT_EQ(info(), infoBefore);
  EXPECT_EQ(m.hostFile("C", "DOCS/A.TXT"), QByteArray("new"));
  EXPECT_EQ(m.hostFile("C", "RECYCLED/DC0.TXT"), QByteArray("old"));
  EXPECT_EQ(m.hostFile("C", "RECYCLED/DC1.TXT"), QByteArray("b"));
}

TEST_F(RecycleBinTest, EmptyDeletesReadOnlyFilesTooAndKeepsTheIndexCounting) {
  m.putHostFile("C", "A.TXT", "a");
  ASSERT_TRUE(m.fs().setAttributes(u"C:\\A.TXT", AttrReadOnly));
  ASSERT_TRUE(bin.recycle(u"C:\\A.TXT"));
  ASSERT_TRUE(bin.empty(QLatin1Char('C')));
  EXPECT_TRUE(bin.list().isEmpty());
  EXPECT_FALSE(m.fs().exists(u"C:\\RECYCLED\\DC0.TXT"));
  EXPECT_EQ(info().size(), kHeader);
  EXPECT_EQ(dword(info(), 0x08), 1u);
  EXPECT_FALSE(bin.empty(QLatin1Char('A')));
}

TEST_F(RecycleBinTest, UnreadableInfoIsNeverOverwritten) {
  m.putHostFile("C", "RECYCLED/INFO", "not an index");
  m.putHostFile("C", "DOCS/A.TXT", "a");
  EXPECT_FALSE(bin.recycle(u"C:\\DOCS\\A.TXT"));
  EXPECT_EQ(m.hostFile("C", "DOCS/A.TXT"), QByteArray("a"));
  EXPECT_EQ(info(), QByteArray("not an index"));
}

TEST_F(RecycleBinTest, NoIndexIsHandedOutTwiceEvenAfterTheLastOne) {
  struct Case {
    const char* name;
    quint32 header;
    QList<std::pair<QByteArray, quint32>> records;
    quint32 expected;
  } cases[] = {
      {"a record at 0xFFFFFFFF", 0, {{"C:\\A.TXT", 0}, {"C:\\B.TXT", 1}, {"C:\\X.DOC", 0xFFFFFFFF}}, 2},
      {"the header at 0xFFFFFFFF", 0xFFFFFFFF, {{"C:\\A.TXT", 0}, {"C:\\X.DOC", 0xFFFFFFFF}}, 1},
      {"a header behind the records", 1, {{"C:\\A.TXT", 5}}, 6},
  };
  for (const Case& c : cases) {
    test::TestMachine tm;
    tm.putHostFile("C", "RECYCLED/INFO", makeInfo(c.header, c.records));
    for (const auto& [path, index] : c.records)
      tm.putHostFile("C", QStringLiteral("RECYCLED/DC%1%2").arg(index).arg(QString::fromLatin1(path.right(4))), path);
    tm.putHostFile("C", "NEW.BMP", "new");
    RecycleBin b(tm.fs());
    QString error;
    ASSERT_TRUE(b.recycle(u"C:\\NEW.BMP", &error)) << c.name << ": " << error.toStdString();
    const QList<RecycledItem> items = b.list();
    ASSERT_EQ(items.size(), c.records.size() + 1) << c.name;
    EXPECT_EQ(items.last().index, c.expected) << c.name;
    EXPECT_EQ(tm.hostFile("C", QStringLiteral("RECYCLED/DC%1.BMP").arg(c.expected)), QByteArray("new")) << c.name;

    // Every record comes back as itself.
    for (const RecycledItem& it : items) {
      QString restored;
      ASSERT_TRUE(b.restore(QLatin1Char('C'), it.index, &error, &restored)) << c.name << ": " << error.toStdString();
      EXPECT_EQ(restored, it.originalPath) << c.name;
    }
  }
}

TEST_F(RecycleBinTest, AnyDeletionTimeInARecordIsListed) {
  const struct {
    quint64 fileTime;
    int year;
  } cases[] = {{0, 1601}, {0x8000000000000000ULL, 30828}, {0xFFFFFFFFFFFFFFFFULL, 60056}};
  QList<std::pair<QByteArray, quint32>> records;
  for (quint32 i = 0; i < 3; ++i) records.append({"C:\\A.TXT", i});
  QByteArray bytes = makeInfo(3, records);
  for (int i = 0; i < 3; ++i) qToLittleEndian<quint64>(cases[i].fileTime, bytes.data() + kHeader + i * kRecord + 0x10C);
  m.putHostFile("C", "RECYCLED/INFO", bytes);
  const QList<RecycledItem> items = bin.list();
  ASSERT_EQ(items.size(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(items[i].deleted.date().year(), cases[i].year) << cases[i].fileTime;
}

TEST_F(RecycleBinTest, EveryRefusalSaysWhatFailed) {
  m.putHostFile("C", "DOCS/FILE.TXT", "x");
  m.putHostFile("D", "CDFILE.TXT", "cd");
  ASSERT_TRUE(bin.recycle(u"C:\\DOCS\\FILE.TXT"));
  m.putHostFile("C", "DOCS/FILE.TXT", "y");
  const QByteArray infoBefore = info();
  struct Case {
    const char* path;
    const char* reason;
  } cases[] = {
      {"C:\\DOCS", "is a folder"},
      {"D:\\CDFILE.TXT", "CD-ROM"},
      {"A:\\SETUP.EXE", "removable"},
      {"Q:\\FILE.TXT", "Q: does not exist"},
      {"C:\\RECYCLED\\INFO", "recycle bin itself"},
      {"C:\\DOCS\\MISSING.TXT", "cannot find"},
      {"C:\\DOCS\\*.TXT", "single file"},
  };
  for (const Case& c : cases) {
    QString error;
    EXPECT_FALSE(bin.recycle(QString::fromLatin1(c.path), &error)) << c.path;
    EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << c.path << ": " << error.toStdString();
  }
  for (const char* drive : {"Q", "D"}) {
    QString error;
    EXPECT_FALSE(bin.empty(QLatin1Char(drive[0]), &error)) << drive;
    EXPECT_TRUE(error.contains(QLatin1String(drive) + QLatin1Char(':'))) << error.toStdString();
  }

  // A full disk as INFO is written: the file goes back and the reason is the disk, not
  // whatever the undo left in lastError.
  QString error;
  setAtomicWriteFailureAfter(0);
  EXPECT_FALSE(bin.recycle(u"C:\\DOCS\\FILE.TXT", &error));
  setAtomicWriteFailureAfter(-1);
  EXPECT_TRUE(error.contains(QLatin1String("not enough space"))) << error.toStdString();
  EXPECT_EQ(m.hostFile("C", "DOCS/FILE.TXT"), QByteArray("y"));
  EXPECT_EQ(info(), infoBefore);
}

}  // namespace
}  // namespace vt
