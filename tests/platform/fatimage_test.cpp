// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fat/fatimage.h"
#include "support/diskimages.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtEndian>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vt {
namespace {

using test::kPartitionOffset;

TEST(FatImage, ReadsTheGeometryThatMtoolsSees) {
  SKIP_WITHOUT_DISK_TOOLS();
  QTemporaryDir dir;
  const struct {
    const char* kind;
    int fatBits;
    int partition;
  } cases[] = {{"floppy", 12, 0}, {"FAT16 disk", 16, 1}, {"FAT32 disk", 32, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const QString image = dir.filePath(QString::fromLatin1(c.kind));
    ASSERT_TRUE(c.fatBits == 12 ? test::makeFloppyImage(image, "BOOTDISK")
                                : test::makeHardDiskImage(image, c.fatBits == 32 ? 40 : 20, c.fatBits, "W95 DISK"));
    const qint64 offset = c.partition ? kPartitionOffset : 0;
    QFile payload(dir.filePath("payload"));
    ASSERT_TRUE(payload.open(QIODevice::WriteOnly));
    payload.write(QByteArray(5000, 'x'));
    payload.close();
    test::mtool("mcopy", image, offset, {payload.fileName(), "::/PAYLOAD.BIN"});
    QString why;
    const auto v = fat::inspectFile(image, 0, &why);
    ASSERT_TRUE(v) << why.toStdString();
    EXPECT_EQ(v->fatBits, c.fatBits);
    EXPECT_EQ(v->partition, c.partition);
    EXPECT_EQ(v->offset, offset);
    EXPECT_EQ(v->label, c.fatBits == 12 ? "BOOTDISK" : "W95 DISK");
    EXPECT_EQ(v->fileSystemName(), c.fatBits == 32 ? "FAT32" : "FAT");
    // mdir ends with the free bytes as the FAT counts them: "   1 234 567 bytes free".
    const QList<QByteArray> lines = test::mtool("mdir", image, offset, {"::/"}).trimmed().split('\n');
    const QByteArray freeLine = lines.last().simplified();
    ASSERT_TRUE(freeLine.endsWith("bytes free")) << freeLine.toStdString();
    EXPECT_EQ(QString::number(v->freeBytes()), QString::fromLatin1(freeLine.chopped(11)).remove(' '));
    EXPECT_EQ(v->freeBytes() + v->clusterBytes() * ((5000 + v->clusterBytes() - 1) / v->clusterBytes()) +
                  (c.fatBits == 32 ? v->clusterBytes() : 0),  // the FAT32 root folder takes a cluster
              v->totalBytes());
    QStringList many{"::/Many Files"};
    for (int i = 0; i < 12; ++i) many << QStringLiteral("::/Many Files/Long Name %1.txt").arg(i);
    test::mtool("mmd", image, offset, many.mid(0, 1));
    for (const QString& to : many.mid(1)) test::mtool("mcopy", image, offset, {payload.fileName(), to});

    // Each entry is where it says, with its long-name entries (over more than one cluster).
    QFile f(image);
    std::vector<fat::DirEntry> entries;
    ASSERT_TRUE(fat::inspectFile(image, 0, &why, &entries) && f.open(QIODevice::ReadOnly) && entries.size() == 14);
    for (const fat::DirEntry& e : entries) {
      f.seek(e.at);
      EXPECT_EQ(f.read(11), e.shortName) << e.path.toStdString();
      const QString name = e.path.section('/', -1);
      EXPECT_EQ(e.longNameAt.size(), name.contains(' ') ? size_t(name.size() + 12) / 13 : 0u) << e.path.toStdString();
      for (qint64 at : e.longNameAt) {
        f.seek(at + 11);
        EXPECT_EQ(f.read(3), QByteArray("\x0F\0", 2) + char(fat::shortNameChecksum(e.shortName.constData())));
      }
    }
  }
}

// Logical drives are numbered along the chain of EBRs and get their letters between the
// first primary FAT partition and the others; a table Windows would not read is refused.
TEST(FatImage, ReadsTheExtendedPartitionsChainAndRefusesADamagedOne) {
  SKIP_WITHOUT_DISK_TOOLS();
  QTemporaryDir dir;
  const QString image = dir.filePath("disk.img");
  const QList<qint64> at =
      test::makePartitionedDisk(image, {{0x06, 4096}, {0x83, 2048}, {0x0E, 4096}, {0x06, 4096, true}, {0x01, 4096, true}});
  ASSERT_EQ(at.size(), 5);
  QFile f(image);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  QString why;
  QBuffer whole;
  whole.setData(bytes);
  whole.open(QIODevice::ReadOnly);
  const auto table = fat::partitionTable(whole, &why);
  ASSERT_TRUE(table) << why.toStdString();
  QList<int> letters;
  for (const fat::Partition& p : fat::driveOrder(*table)) letters << p.number;
  EXPECT_EQ(letters, (QList<int>{1, 5, 6, 3}));
  const auto logical = fat::inspectFile(image, 6, &why);
  ASSERT_TRUE(logical) << why.toStdString();
  EXPECT_EQ(logical->offset, at[4]);
  EXPECT_EQ(logical->label, "PART5");

  const qint64 secondEbr = at[4] - 2048 * 512, firstEbr = at[3] - 2048 * 512;
  const qint64 link = secondEbr + 446 + 16 + 8;  // the second EBR's entry for a third
  auto withLink = [&](quint32 relative) {
    QByteArray b = bytes;
    b[link - 4] = char(0x05);
    qToLittleEndian<quint32>(relative, b.data() + link);
    qToLittleEndian<quint32>(4096, b.data() + link + 4);
    return b;
  };
  const struct {
    const char* what;
    QByteArray image;
    const char* reason;
  } cases[] = {
      {"a chain that loops", withLink(0), "leads back into itself"},
      {"a chain past the end", withLink(1u << 30), "past the end"},
      {"overlapping primaries",
       [&] {
         QByteArray b = bytes;
         qToLittleEndian<quint32>(2048 + 4096 - 8, b.data() + 446 + 16 + 8);
         return b;
       }(),
       "overlap"},
      {"a logical drive over its own EBR",
       [&] {
         QByteArray b = bytes;
         qToLittleEndian<quint32>(0, b.data() + firstEbr + 446 + 8);
         return b;
       }(),
       "overlaps the table"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QBuffer damaged;
    damaged.setData(c.image);
    damaged.open(QIODevice::ReadOnly);
    why.clear();
    EXPECT_FALSE(fat::partitionTable(damaged, &why));
    EXPECT_TRUE(why.contains(c.reason)) << why.toStdString();
    EXPECT_FALSE(fat::inspect(damaged, 0, &why));
  }
}

// Short names are bytes of code page 850; the alias is their text and goes back the same way.
TEST(FatImage, ShortNamesAreReadAndWrittenInTheOemCodePage) {
  const struct {
    QByteArray bytes;
    const char16_t* alias;
  } cases[] = {
      {"PROGRA~1   ", u"PROGRA~1"},
      {"README  TXT", u"README.TXT"},
      {"\267BC     TXT", u"\u00C0BC.TXT"},  // no such letter in code page 437
      {"\216RGER~1 DOC", u"\u00C4RGER~1.DOC"},
      {"GR\341E    \232B ", u"GR\u00DFE.\u00DCB"},
      {"\005BC        ", u"\u00D5BC"},  // 0xE5 first would mark the entry deleted
  };
  for (const auto& c : cases) {
    const QString alias = QString::fromUtf16(c.alias);
    SCOPED_TRACE(alias.toStdString());
    EXPECT_EQ(fat::aliasText(c.bytes), alias);
    EXPECT_EQ(fat::aliasBytes(alias), c.bytes);
  }
  for (const char16_t* notAlias : {u"Program Files", u"readme.txt", u"TOOLONGNAME.TXT", u"\u20ACURO.TXT", u"A.B.C"})
    EXPECT_TRUE(fat::aliasBytes(QString::fromUtf16(notAlias)).isEmpty()) << QString::fromUtf16(notAlias).toStdString();
}

}  // namespace
}  // namespace vt
