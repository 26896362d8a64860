// SPDX-License-Identifier: GPL-3.0-or-later
// The round trip of an emulator's disk: imported into a machine, changed through Vantrel,
// and exported back; and images whose damage the import refuses.
#include "diskimage/roundtrip.h"
#include "platform/attributestore.h"

#include <QtEndian>

#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt {
namespace {

using test::DiskRoundTrip;
using test::DriveContents;
using test::kPartitionOffset;

TEST_F(DiskRoundTrip, TheImportIsTheSampleWithItsAttributesAndFacts) {
  QString why;
  std::unique_ptr<Machine> sample = Machine::open(sampleFolder(), &why);
  std::unique_ptr<Machine> imported = Machine::open(machine_, &why);
  ASSERT_TRUE(sample && imported) << why.toStdString();
  const DriveContents want(sample->files()), got(imported->files());
  EXPECT_EQ(got.attributes, want.attributes);
  EXPECT_TRUE(got.files == want.files);
  // FAT keeps times to two seconds.
  EXPECT_LE(qAbs(imported->files()
                     .lastWriteTime(u"C:\\WINDOWS\\WIN.INI")
                     .secsTo(sample->files().lastWriteTime(u"C:\\WINDOWS\\WIN.INI"))),
            2);

  const MachineFacts& f = imported->facts();
  EXPECT_EQ(f.windowsDirectory, "C:\\WINDOWS");
  EXPECT_EQ(f.computerName, "ATELIER");
  EXPECT_EQ(f.userName, "Martina");
  EXPECT_EQ(f.screenWidth, 800);
  EXPECT_EQ(f.colorDepth, 16);
  const DriveInfo* c = imported->files().drive('C');
  EXPECT_EQ(c->label, "ATELIER");
  EXPECT_EQ(c->fileSystem, "FAT");
  EXPECT_EQ(c->sectorsPerCluster, 4u);
  EXPECT_GT(c->totalBytes, 60 * 1024 * 1024);
  EXPECT_FALSE(imported->files().drive('A')->ready);
  EXPECT_EQ(imported->files().drive('D')->type, DriveType::CdRom);
}

// Files of no cluster, of exactly one and of clusters not in a row, read-only, hidden and
// system: each comes out with the bytes, attributes and time mtools reads in the image, and
// read-only as the host file's permission too. A name the host cannot hold makes nothing.
TEST_F(DiskRoundTrip, EachFileComesOutAsMtoolsReadsIt) {
  constexpr qint64 kCluster = 2048;
  const QString host = dir_.filePath("host"), theirs = dir_.filePath("mcopy"), again = dir_.filePath("again");
  QDir().mkpath(host);
  QDir().mkpath(theirs);
  QByteArray pattern(int(4 * kCluster), Qt::Uninitialized);
  for (int i = 0; i < pattern.size(); ++i) pattern[i] = char((i * 7919) >> 3);
  // FRAG.BIN starts in the hole HOLE.BIN leaves before KEEP.BIN and goes on beyond it.
  const std::pair<const char*, int> files[] = {{"HOLE.BIN", kCluster}, {"KEEP.BIN", 7},       {"FRAG.BIN", 3 * kCluster + 1},
                                               {"EMPTY.TXT", 0},       {"ONE.BIN", kCluster}, {"RO.TXT", 9},
                                               {"HIDDEN.SYS", 13}};
  QStringList first{"-m"}, rest{"-m"};
  for (const auto& [name, size] : files) {
    QFile f(host + '/' + name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(pattern.left(size)) == size);
    (first.size() < 3 ? first : rest) << f.fileName();
  }
  auto mtool = [&](const char* tool, const QStringList& args) {
    int code = 0;
    test::mtool(tool, image_, kPartitionOffset, args, &code);
    return code == 0;
  };
  ASSERT_TRUE(mtool("mcopy", first << "::/") && mtool("mdel", {"::/HOLE.BIN"}) && mtool("mcopy", rest << "::/"));
  ASSERT_GT(test::mtool("mshowfat", image_, kPartitionOffset, {"::/FRAG.BIN"}).count('<'), 1) << "FRAG.BIN lies in one run";
  ASSERT_TRUE(mtool("mattrib", {"+r", "::/RO.TXT"}) && mtool("mattrib", {"+h", "+s", "-a", "::/HIDDEN.SYS"}));

  QString why;
  ASSERT_TRUE(disk::importImage(image_, again, 0, &why)) << why.toStdString();
  std::unique_ptr<Machine> m = Machine::open(again, &why);
  ASSERT_TRUE(m) << why.toStdString();
  const QMap<QString, QString> attributes = test::imageAttributes(image_, kPartitionOffset);
  for (const auto& [name, size] : files) {
    if (QByteArrayView(name) == "HOLE.BIN") continue;
    SCOPED_TRACE(name);
    ASSERT_TRUE(mtool("mcopy", {"-m", "-n", QStringLiteral("::/") + name, theirs + '/'}));
    const QFileInfo imported(again + "/drives/C/" + name), copied(theirs + '/' + name);
    EXPECT_EQ(test::sha256(imported.filePath()), test::sha256(copied.filePath()));
    EXPECT_EQ(imported.lastModified(), copied.lastModified());
    EXPECT_EQ(test::letters(m->files().attributes(QStringLiteral("C:\\") + name)), attributes.value(name));
    EXPECT_EQ(!(imported.permissions() & QFile::WriteOwner), attributes.value(name).contains('R'));
  }

  const QString tooLong(128, QChar(0x00E4));  // 256 bytes in UTF-8, where the host takes 255
  ASSERT_TRUE(mtool("mmd", {"::/" + tooLong}));
  EXPECT_FALSE(disk::importImage(image_, dir_.filePath("third"), 0, &why));
  EXPECT_TRUE(why.contains(tooLong)) << why.toStdString();
  EXPECT_TRUE(QDir(dir_.path()).entryList({"*third*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
}

TEST_F(DiskRoundTrip, AnImageThatCannotBeWrittenSafelyIsLeftAlone) {
  QString why;
  {
    std::unique_ptr<Machine> m = Machine::open(machine_, &why);
    ASSERT_TRUE(m->files().writeFile(u"C:\\NEW.TXT", "pending"));
  }
  const qint64 lastSector = 64 * 1024 * 1024 - 512;
  const QString bigFile = machine_ + "/drives/C/BIG.BIN";
  int lockFd = -1;
  QByteArray saved;
  struct timespec times[2] = {};
  // Put back byte for byte and with its time, as a backup tool restores a file: then only
  // the volume itself can tell, and it holds what was imported.
  auto restore = [&](qint64 at) {
    poke(at, saved);
    ::utimensat(AT_FDCWD, QFile::encodeName(image_).constData(), times, 0);
  };
  auto keepTimes = [&] {
    struct stat st;
    ::stat(QFile::encodeName(image_).constData(), &st);
    times[0] = st.st_atim;
    times[1] = st.st_mtim;
  };
  const struct {
    const char* what;
    std::function<void()> make, undo;
    const char* reason;
  } cases[] = {
      {"started in an emulator since",
       [&] {
         keepTimes();
         saved = poke(lastSector, "booted");
       },
       [&] { restore(lastSector); }, "changed since"},
      {"held open with a lock",
       [&] {
         lockFd = ::open(QFile::encodeName(image_).constData(), O_RDWR);
         struct flock fl = {};
         fl.l_type = F_RDLCK;
         fl.l_whence = SEEK_SET;
         fl.l_start = 100;
         fl.l_len = 1;
         ASSERT_EQ(::fcntl(lockFd, F_OFD_SETLK, &fl), 0);
       },
       [&] { ::close(lockFd); }, "in use"},
      {"a lock file beside it", [&] { QFile(image_ + ".lck").open(QIODevice::WriteOnly); },
       [&] { QFile::remove(image_ + ".lck"); }, "in use"},
      {"no FAT where it was",
       [&] {
         keepTimes();
         saved = poke(kPartitionOffset, QByteArray(3, '\0'));
       },
       [&] { restore(kPartitionOffset); }, "does not hold a FAT file system"},
      {"more than fits",
       [&] {
         QFile f(bigFile);
         f.open(QIODevice::WriteOnly);
         f.resize(80 * 1024 * 1024);
       },
       [&] { QFile::remove(bigFile); }, "do not fit"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.make();
    const QByteArray before = region(0, 64 * 1024 * 1024);
    EXPECT_FALSE(exportNow(&why));
    EXPECT_TRUE(why.contains(QLatin1String(c.reason))) << why.toStdString();
    EXPECT_TRUE(region(0, 64 * 1024 * 1024) == before);
    c.undo();
  }
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);  // no working copy left
  ASSERT_TRUE(exportNow(&why)) << why.toStdString();
  EXPECT_EQ(test::imageFile(image_, kPartitionOffset, "NEW.TXT"), "pending");
}

// A killed export leaves its full-size working copy behind; one still being written is
// locked by its writer and must stay.
TEST_F(DiskRoundTrip, CopiesThatKilledExportsLeftGoAtTheNextExportOrImport) {
  auto leave = [&](const char* name) {
    const QString path = dir_.filePath(QLatin1String(name));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write("a copy of the image") > 0);
    return path;
  };
  const QString abandoned = leave(".w95.img.vantrel~Ab12Cd"), held = leave(".w95.img.vantrel~Xy34Zw");
  const QString otherImage = leave(".w95.imgx.vantrel~Ab12Cd"), notOurs = leave(".w95.img.vantrel~notmkstemp");
  const int fd = ::open(QFile::encodeName(held).constData(), O_RDONLY);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  QString why;
  disk::ExportSummary s;
  ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
  EXPECT_TRUE(s.nothingChanged());
  EXPECT_FALSE(QFile::exists(abandoned));
  EXPECT_TRUE(QFile::exists(held));
  EXPECT_TRUE(QFile::exists(otherImage));
  EXPECT_TRUE(QFile::exists(notOurs));

  ::close(fd);
  leave(".w95.img.vantrel~Ab12Cd");
  ASSERT_TRUE(disk::importImage(image_, dir_.filePath("again"), 0, &why)) << why.toStdString();
  EXPECT_FALSE(QFile::exists(abandoned));
  EXPECT_FALSE(QFile::exists(held));
  EXPECT_TRUE(QFile::exists(otherImage));
}

// "Program Files" made after "Programme Alt" is PROGRA~2 on the image: the machine knows it
// by that alias, and an export keeps every alias the image holds and writes the machine's
// for what it adds, also where mtools would have chosen another.
TEST_F(DiskRoundTrip, TheImagesAliasesComeInAndTheMachinesGoOut) {
  const QString image = dir_.filePath("aliases.img"), machine = dir_.filePath("aliased");
  ASSERT_TRUE(test::makeSampleDisk(image, dir_.filePath("sample"), {"Programme Alt", "Program Files"}));
  QFile note(dir_.filePath("note"));
  ASSERT_TRUE(note.open(QIODevice::WriteOnly) && note.write("setup notes") > 0);
  note.close();
  test::mtool("mcopy", image, kPartitionOffset, {note.fileName(), "::/Program Files/Setup Notes.txt"});
  QString why;
  ASSERT_TRUE(disk::importImage(image, machine, 0, &why)) << why.toStdString();
  const QMap<QString, QString> before = test::imageAliases(image, kPartitionOffset);
  ASSERT_EQ(before.value("Program Files"), "PROGRA~2");
  const QByteArray imported = test::sha256(image);
  {
    std::unique_ptr<Machine> m = Machine::open(machine, &why);
    FileSystem& fs = m->files();
    EXPECT_EQ(fs.readFile(u"C:\\PROGRA~2\\SETUPN~1.TXT").value_or("missing"), "setup notes");
    EXPECT_EQ(fs.shortPathName(u"C:\\Program Files\\Setup Notes.txt").value_or("?"), "C:\\PROGRA~2\\SETUPN~1.TXT");
    EXPECT_EQ(fs.longPathName(u"C:\\PROGRA~1").value_or("?"), "C:\\Programme Alt");
  }
  ASSERT_TRUE(disk::exportImage(machine, image, 0, &why)) << why.toStdString();
  EXPECT_EQ(test::sha256(image), imported);

  const char* added[] = {"Program Files/Report One.txt", "Program Files/Report Two.txt", "Programs Extra",
                         "Programs Extra/Long File Name.txt"};
  {
    std::unique_ptr<Machine> m = Machine::open(machine, &why);
    FileSystem& fs = m->files();
    ASSERT_TRUE(fs.writeFile(u"C:\\Program Files\\Report Two.txt", "2"));
    ASSERT_EQ(fs.shortPathName(u"C:\\Program Files\\Report Two.txt").value_or("?"), "C:\\PROGRA~2\\REPORT~1.TXT");
    // REPORT~2.TXT on the machine; mtools, writing in name order, would make it REPORT~1.TXT.
    ASSERT_TRUE(fs.writeFile(u"C:\\Program Files\\Report One.txt", "1"));
    ASSERT_TRUE(fs.writeFile(u"C:\\Program Files\\Setup Notes.txt", "rewritten"));  // mcopy -o makes a new entry
    ASSERT_TRUE(fs.createDirectory(u"C:\\Programs Extra"));
    ASSERT_TRUE(fs.writeFile(u"C:\\Programs Extra\\Long File Name.txt", "x"));
  }
  ASSERT_TRUE(disk::exportImage(machine, image, 0, &why)) << why.toStdString();
  const QMap<QString, QString> after = test::imageAliases(image, kPartitionOffset);
  for (const auto& [path, alias] : before.asKeyValueRange()) EXPECT_EQ(after.value(path), alias) << path.toStdString();
  EXPECT_EQ(after.value("Program Files/Report One.txt"), "REPORT~2.TXT");
  {
    std::unique_ptr<Machine> m = Machine::open(machine, &why);
    for (const char* path : added) {
      const QString shortPath = m->files().shortPathName(QString("C:\\") + QString(path).replace('/', '\\')).value_or("?");
      EXPECT_EQ(after.value(path), shortPath.mid(shortPath.lastIndexOf('\\') + 1)) << path;
    }
  }
  const QString partition = dir_.filePath("partition.img");
  QFile whole(image), p(partition);
  ASSERT_TRUE(whole.open(QIODevice::ReadOnly) && p.open(QIODevice::WriteOnly));
  whole.seek(kPartitionOffset);
  p.write(whole.readAll());
  p.close();
  QByteArray fsck;
  EXPECT_EQ(test::runProgram("fsck.fat", {"-n", partition}, &fsck), 0) << fsck.toStdString();

  // An alias the machine gave a new folder that an untouched entry holds in the image.
  {
    std::unique_ptr<Machine> m = Machine::open(machine, &why);
    ASSERT_TRUE(m->files().createDirectory(u"C:\\Program Data"));
    const QByteArray c = QFile::encodeName(machine + "/drives/C/");
    ASSERT_TRUE(m->files().attributeStore().setAliases({{c + "Programme Alt", QString()}, {c + "Program Data", "PROGRA~1"}}));
  }
  const QByteArray exported = test::sha256(image);
  EXPECT_FALSE(disk::exportImage(machine, image, 0, &why));
  EXPECT_TRUE(why.contains("Program Data cannot have its alias PROGRA~1 in the image, where Programme Alt has it"))
      << why.toStdString();
  EXPECT_EQ(test::sha256(image), exported);
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
  const quint16 first = l.startOf(bytes, "CHAIN   BIN"), second = first + 1, last = first + 2,
                otherStart = l.startOf(bytes, "OTHER   BIN");
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
      {"partition table pointing past the end", [](QByteArray& b) { qToLittleEndian<quint32>(40000, b.data() + 446 + 8); }, 0,
       "past the end"},
      {"boot sector wiped", [](QByteArray& b) { b.replace(kPartitionOffset, 512, QByteArray(512, '\0')); }, 0,
       "does not hold a FAT file system"},
      {"no table and no boot sector", [](QByteArray& b) { b.fill('\0'); }, 0, "neither a partition table nor a FAT boot sector"},
      {"only a Linux partition", [](QByteArray& b) { b[446 + 4] = char(0x83); }, 0, "no FAT partition"},
      {"an empty partition asked for", [](QByteArray&) {}, 3, "partition 3 is empty"},
      {"bytes per sector of 700", [](QByteArray& b) { qToLittleEndian<quint16>(700, b.data() + kPartitionOffset + 11); }, 0,
       "700 bytes per sector"},
      {"a chain that loops", [&](QByteArray& b) { l.setNext(b, last, first); }, 0, "loops"},
      {"a chain that leaves the volume", [&](QByteArray& b) { l.setNext(b, second, 0xFFF0); }, 0, "outside the volume"},
      {"two chains joined", [&](QByteArray& b) { l.setNext(b, otherStart, second); }, 0, "cross-linked"},
      {"two files on one first cluster", [&](QByteArray& b) { qToLittleEndian<quint16>(first, b.data() + otherEntry + 26); }, 0,
       "CHAIN.BIN and OTHER.BIN share cluster"},
      {"a file that starts inside another's chain",
       [&](QByteArray& b) { qToLittleEndian<quint16>(last, b.data() + otherEntry + 26); }, 0,
       "CHAIN.BIN and OTHER.BIN share cluster"},
      {"a file longer than its chain", [&](QByteArray& b) { qToLittleEndian<quint32>(81920, b.data() + chainEntry + 28); }, 0,
       "CHAIN.BIN is 81920 bytes long, but its cluster chain holds only 6144 bytes"},
      {"a file on a free cluster", [&](QByteArray& b) { l.setNext(b, otherStart, 0); }, 0, "OTHER.BIN starts at cluster"},
      {"the long name \".\"", [&](QByteArray& b) { setLongName(b, "."); }, 0, "the long name of LONGNA~1.TXT (\".\") is no name"},
      {"the long name \"..\"", [&](QByteArray& b) { setLongName(b, ".."); }, 0, "(\"..\") is no name"},
      {"a line break in a long name", [&](QByteArray& b) { setLongName(b, "two\nlines"); }, 0,
       "(\"two\\nlines\") holds a line break"},
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
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
              4);  // nothing left behind
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), damaged);
    f.close();
  }
}

// A disk of two primary FAT partitions, a Linux one and two logical drives: the machine gets
// C: to F: in Windows 95's order, each export goes into its own partition, and what holds
// no drive stays as it was; names and folder times come in as Windows 95 shows them.
TEST(DiskPartitions, EveryFatPartitionIsADriveAndGoesBackIntoItsOwnPlace) {
  SKIP_WITHOUT_DISK_TOOLS();
  QTemporaryDir dir;
  const QString sample = dir.filePath("sample"), image = dir.filePath("disk.img"), machine = dir.filePath("m");
  QString why, summary;
  ASSERT_TRUE(sample::createSampleMachine(sample, &why)) << why.toStdString();
  const QList<qint64> at =
      test::makePartitionedDisk(image, {{0x06, 131072}, {0x06, 16384}, {0x83, 2048}, {0x06, 16384, true}, {0x0E, 16384, true}});
  ASSERT_EQ(at.size(), 5);
  ASSERT_TRUE(test::copySampleOnto(image, at[0], sample));
  QDir().mkpath(dir.filePath("host"));
  QFile lower(dir.filePath("host/readme.txt"));
  ASSERT_TRUE(lower.open(QIODevice::WriteOnly) && lower.write("lower") == 5);
  lower.close();
  test::mtool("mcopy", image, at[3], {lower.fileName(), "::/"});
  test::mtool("mmd", image, at[3], {"::/OLDDIR"});
  QFile f(image);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  QByteArray bytes = f.readAll();
  const test::FatLayout d(bytes, at[3]);
  const qint64 readme = d.entry(bytes, "README  TXT"), oldDir = d.entry(bytes, "OLDDIR     ");
  ASSERT_TRUE(readme > 0 && oldDir > 0);
  ASSERT_TRUE(quint8(bytes[readme + 12]) & 0x18) << "mtools kept the lower case in the entry";
  f.seek(oldDir + 22);
  f.write(QByteArray("\0\0\xCF\x22", 4));  // 1997-06-15 00:00
  f.close();
  const QByteArray readmeEntry = bytes.mid(readme, 32);

  // The progress counts every file up to the last, and never back.
  QList<std::pair<int, int>> steps;
  const disk::Progress progress = [&](int done, int toDo) {
    if (!steps.isEmpty() && (done < steps.last().first || toDo != steps.last().second)) ADD_FAILURE() << done << "/" << toDo;
    steps.append({done, toDo});
  };
  ASSERT_TRUE(disk::importImage(image, machine, 0, &why, &summary, progress)) << why.toStdString();
  EXPECT_TRUE(summary.contains("left alone: partition 3 (type 0x83)")) << summary.toStdString();
  ASSERT_GT(steps.size(), 2);
  EXPECT_EQ(steps.last().first, steps.last().second);
  EXPECT_TRUE(summary.startsWith(QStringLiteral("Imported %1 files").arg(steps.last().first))) << summary.toStdString();
  EXPECT_EQ(QDir(machine + "/drives/D").entryList(QDir::Files), QStringList{"README.TXT"});
  EXPECT_EQ(QFileInfo(machine + "/drives/D/OLDDIR").lastModified().toUTC(), QDateTime(QDate(1997, 6, 15), QTime(0, 0), Qt::UTC));
  {
    std::unique_ptr<Machine> m = Machine::open(machine, &why);
    ASSERT_TRUE(m) << why.toStdString();
    const std::pair<char, const char*> drives[] = {{'D', "PART4"}, {'E', "PART5"}, {'F', "PART2"}};
    for (const auto& [letter, label] : drives) EXPECT_EQ(m->files().drive(QChar(letter))->label, label) << letter;
    EXPECT_EQ(m->files().drive('G')->type, DriveType::CdRom);
    for (char letter : {'C', 'D', 'E', 'F'})
      ASSERT_TRUE(m->files().writeFile(QStringLiteral("%1:\\NEW%1.TXT").arg(QChar(letter)), QByteArray("on ") + letter));
  }
  const QByteArray before = bytes;
  steps.clear();
  ASSERT_TRUE(disk::exportImage(machine, image, 0, &why, nullptr, nullptr, progress)) << why.toStdString();
  EXPECT_EQ(steps.last(), std::make_pair(4, 4));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray after = f.readAll();
  const std::pair<int, char> written[] = {{0, 'C'}, {3, 'D'}, {4, 'E'}, {1, 'F'}};
  for (const auto& [i, letter] : written)
    EXPECT_EQ(test::imageFile(image, at[i], QStringLiteral("NEW%1.TXT").arg(QChar(letter))), QByteArray("on ") + letter);
  EXPECT_EQ(after.mid(readme, 32), readmeEntry);
  // Outside the four volumes, not a byte changed: the tables, the gaps, the Linux partition.
  QByteArray outside = after, was = before;
  for (const auto& [i, letter] : written) {
    const qint64 size = i == 0 ? 131072 * 512 : 16384 * 512;
    outside.replace(at[i], size, QByteArray(size, '\0'));
    was.replace(at[i], size, QByteArray(size, '\0'));
  }
  EXPECT_TRUE(outside == was);

  // A chain of logical drives that leads back into itself makes no machine.
  after[at[4] - 2048 * 512 + 446 + 16 + 4] = char(0x05);
  qToLittleEndian<quint32>(0, after.data() + at[4] - 2048 * 512 + 446 + 16 + 8);
  qToLittleEndian<quint32>(4096, after.data() + at[4] - 2048 * 512 + 446 + 16 + 12);
  ASSERT_TRUE(test::writeImage(image, after));
  EXPECT_FALSE(disk::importImage(image, dir.filePath("looped"), 0, &why));
  EXPECT_TRUE(why.contains("leads back into itself")) << why.toStdString();
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("looped")));
}

}  // namespace
}  // namespace vt
