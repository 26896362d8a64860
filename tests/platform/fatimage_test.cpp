#include "platform/diskimage.h"
#include "platform/fat/fatimage.h"
#include "support/diskimages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <functional>

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
    ASSERT_TRUE(c.fatBits == 12 ? test::makeFloppyImage(image, "BOOTDISK") : test::makeHardDiskImage(image, c.fatBits == 32 ? 40 : 20, c.fatBits, "W95 DISK"));
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
  }
}

TEST(FatImage, DamagedImagesAreRefusedWithTheirReasonAndNothingIsMade) {
  SKIP_WITHOUT_DISK_TOOLS();
  QTemporaryDir dir;
  const QString good = dir.filePath("good.img");
  ASSERT_TRUE(test::makeHardDiskImage(good, 16, 16));
  QFile chain(dir.filePath("chain")), other(dir.filePath("other"));
  ASSERT_TRUE(chain.open(QIODevice::WriteOnly) && other.open(QIODevice::WriteOnly));
  chain.write(QByteArray(5000, 'c'));  // three clusters of 2 KB
  other.write(QByteArray(3000, 'o'));
  chain.close();
  other.close();
  test::mtool("mcopy", good, kPartitionOffset, {chain.fileName(), "::/CHAIN.BIN"});
  test::mtool("mcopy", good, kPartitionOffset, {other.fileName(), "::/OTHER.BIN"});
  test::mtool("mcopy", good, kPartitionOffset, {other.fileName(), "::/long name.txt"});
  test::mtool("mmd", good, kPartitionOffset, {"::/SUB", "::/SUB/INNER"});
  QFile g(good);
  ASSERT_TRUE(g.open(QIODevice::ReadOnly));
  const QByteArray bytes = g.readAll();
  const test::FatLayout l(bytes, kPartitionOffset);
  const quint16 first = l.startOf(bytes, "CHAIN   BIN"), second = first + 1, last = first + 2, otherStart = l.startOf(bytes, "OTHER   BIN");
  ASSERT_TRUE(first >= 2 && otherStart == last + 1) << first << " " << otherStart;
  const qint64 chainEntry = l.entry(bytes, "CHAIN   BIN"), otherEntry = l.entry(bytes, "OTHER   BIN");
  // One long-name entry of 13 characters stands before its short entry.
  const qint64 longName = l.entry(bytes, "LONGNA~1TXT") - 32;
  const quint16 sub = l.startOf(bytes, "SUB        ");
  const qint64 inner = l.entry(bytes, "INNER      ", sub);
  ASSERT_TRUE(chainEntry > 0 && otherEntry > 0 && longName > 0 && bytes[longName + 11] == 0x0F && inner > 0);
  auto setLongName = [&](QByteArray& b, const QString& name) {
    static constexpr int kAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (int k = 0; k < 13; ++k)
      qToLittleEndian<quint16>(k < name.size() ? name[k].unicode() : k == name.size() ? 0 : 0xFFFF, b.data() + longName + kAt[k]);
  };

  const struct {
    const char* what;
    std::function<void(QByteArray&)> damage;
    int partition;
    const char* reason;
  } cases[] = {
      {"cut to a few bytes", [](QByteArray& b) { b.truncate(300); }, 0, "too short"},
      {"cut in half", [](QByteArray& b) { b.truncate(b.size() / 2); }, 0, "past the end"},
      {"partition table pointing past the end", [](QByteArray& b) { qToLittleEndian<quint32>(40000, b.data() + 446 + 8); }, 0, "past the end"},
      {"boot sector wiped", [](QByteArray& b) { b.replace(kPartitionOffset, 512, QByteArray(512, '\0')); }, 0, "does not hold a FAT file system"},
      {"no table and no boot sector", [](QByteArray& b) { b.fill('\0'); }, 0, "neither a partition table nor a FAT boot sector"},
      {"only a Linux partition", [](QByteArray& b) { b[446 + 4] = char(0x83); }, 0, "no FAT partition"},
      {"an empty partition asked for", [](QByteArray&) {}, 3, "partition 3 is empty"},
      {"bytes per sector of 700", [](QByteArray& b) { qToLittleEndian<quint16>(700, b.data() + kPartitionOffset + 11); }, 0, "700 bytes per sector"},
      {"a chain that loops", [&](QByteArray& b) { l.setNext(b, last, first); }, 0, "loops"},
      {"a chain that leaves the volume", [&](QByteArray& b) { l.setNext(b, second, 0xFFF0); }, 0, "outside the volume"},
      {"two chains joined", [&](QByteArray& b) { l.setNext(b, otherStart, second); }, 0, "cross-linked"},
      {"two files on one first cluster", [&](QByteArray& b) { qToLittleEndian<quint16>(first, b.data() + otherEntry + 26); }, 0,
       "CHAIN.BIN and OTHER.BIN share cluster"},
      {"a file that starts inside another's chain", [&](QByteArray& b) { qToLittleEndian<quint16>(last, b.data() + otherEntry + 26); }, 0,
       "CHAIN.BIN and OTHER.BIN share cluster"},
      {"a file longer than its chain", [&](QByteArray& b) { qToLittleEndian<quint32>(81920, b.data() + chainEntry + 28); }, 0,
       "CHAIN.BIN is 81920 bytes long, but its cluster chain holds only 6144 bytes"},
      {"a file on a free cluster", [&](QByteArray& b) { l.setNext(b, otherStart, 0); }, 0, "OTHER.BIN starts at cluster"},
      {"the long name \".\"", [&](QByteArray& b) { setLongName(b, "."); }, 0, "the long name of LONGNA~1.TXT (\".\") is no name"},
      {"the long name \"..\"", [&](QByteArray& b) { setLongName(b, ".."); }, 0, "(\"..\") is no name"},
      {"a line break in a long name", [&](QByteArray& b) { setLongName(b, "two\nlines"); }, 0, "(\"two\\nlines\") holds a line break"},
      {"a folder that holds its parent", [&](QByteArray& b) { qToLittleEndian<quint16>(sub, b.data() + inner + 26); }, 0,
       "the folder SUB/INNER leads back into SUB, which holds it"},
      {"a folder that holds the root", [&](QByteArray& b) { qToLittleEndian<quint16>(0, b.data() + inner + 26); }, 0,
       "the folder SUB/INNER leads back into the root folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QByteArray damaged = bytes;
    c.damage(damaged);
    const QString image = dir.filePath("damaged.img");
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(damaged);
    f.close();
    const QString machine = dir.filePath("machine");
    QString why;
    EXPECT_FALSE(disk::importImage(image, machine, c.partition, &why));
    EXPECT_TRUE(why.contains(QLatin1String(c.reason))) << why.toStdString();
    EXPECT_FALSE(QFile::exists(machine));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 4);  // nothing left behind
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), damaged);
    f.close();
  }
}

}  // namespace
}  // namespace vt
