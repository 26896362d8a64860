// The round trip of an emulator's disk: the sample machine's C: on a 64 MB FAT16 partition
// of a raw image, imported, changed through Vantrel, and exported back; and the rescue disk
// written straight into a bootable floppy image.
#include "backup/backups.h"

#include "platform/diskimage.h"
#include "platform/machine.h"
#include "platform/recyclebin.h"
#include "sample/samplemachine.h"
#include "support/diskimages.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt {
namespace {

using test::kPartitionOffset;

QString letters(quint32 a) {
  QString s;
  if (a & AttrArchive) s += 'A';
  if (a & AttrSystem) s += 'S';
  if (a & AttrHidden) s += 'H';
  if (a & AttrReadOnly) s += 'R';
  return s;
}

// Every file and folder of a machine's C: as path -> attributes, and the files' contents.
struct DriveContents : TreeVisitor {
  QMap<QString, QString> attributes;
  QMap<QString, QByteArray> files;
  FileSystem* fs = nullptr;
  bool enterFolder(const QString&) override { return true; }
  bool found(const QString& folder, WalkMatch& m) override {
    if (m.name == "." || m.name == "..") return true;
    const QString win = folder + m.name;
    const QString path = win.mid(3).replace('\\', '/');
    attributes.insert(path, letters(m.attributes()));
    if (!(m.attributes() & AttrDirectory)) files.insert(path, *fs->readFile(win));
    return true;
  }
  explicit DriveContents(FileSystem& f) : fs(&f) { f.walkTree(u"C:\\", TreeWalkFilter{{"*"}, AttrAnyFile, AttrAnyFile}, *this); }
};

// The files of the image's partition, copied out with mtools.
QMap<QString, QByteArray> imageFiles(const QString& image, const QString& into) {
  QDir().mkpath(into);
  test::mtool("mcopy", image, kPartitionOffset, {"-s", "-n", "::", into + "/"});
  QMap<QString, QByteArray> out;
  for (QDirIterator it(into, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
    const QString path = it.next();
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    out.insert(path.mid(into.size() + 1), f.readAll());
  }
  return out;
}

// The sample machine's C: copied onto a fresh 64 MB FAT16 partition, attributes and all.
bool makeSampleDisk(const QString& image, const QString& sample) {
  QString why;
  if (!sample::createSampleMachine(sample, &why)) {
    ADD_FAILURE() << why.toStdString();
    return false;
  }
  if (!test::makeHardDiskImage(image, 64, 16, "ATELIER")) return false;
  QStringList top;
  for (const QString& name : QDir(sample + "/drives/C").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
    top << sample + "/drives/C/" + name;
  int code = 0;
  test::mtool("mcopy", image, kPartitionOffset, QStringList{"-s", "-m"} + top + QStringList{"::/"}, &code);
  std::unique_ptr<Machine> m = Machine::open(sample, &why);
  if (code != 0 || !m) return false;
  QMap<QString, QStringList> byAttributes;
  for (const auto& [path, attrs] : DriveContents(m->files()).attributes.asKeyValueRange()) byAttributes[attrs] << "::/" + path;
  for (const auto& [attrs, paths] : byAttributes.asKeyValueRange()) {
    QStringList flags;
    for (QChar c : QStringLiteral("ASHR")) flags << (attrs.contains(c) ? "+" : "-") + QString(c).toLower();
    test::mtool("mattrib", image, kPartitionOffset, flags + paths, &code);
    if (code != 0) return false;
  }
  return true;
}

class DiskRoundTrip : public ::testing::Test {
 protected:
  // The sample's disk is made once; each test works on its own copy.
  static QTemporaryDir& shared() {
    static QTemporaryDir dir;
    return dir;
  }
  static QString sampleFolder() { return shared().filePath("sample"); }
  void SetUp() override {
    SKIP_WITHOUT_DISK_TOOLS();
    static const bool made = makeSampleDisk(shared().filePath("w95.img"), sampleFolder());
    ASSERT_TRUE(made);
    image_ = dir_.filePath("w95.img");
    ASSERT_TRUE(QFile::copy(shared().filePath("w95.img"), image_));
    machine_ = dir_.filePath("imported");
    QString why;
    ASSERT_TRUE(disk::importImage(image_, machine_, 0, &why)) << why.toStdString();
  }
  bool exportNow(QString* why, disk::ExportSummary* s = nullptr) { return disk::exportImage(machine_, image_, 0, why, s); }
  // Writes `bytes` at `at` and hands back what was there.
  QByteArray poke(qint64 at, const QByteArray& bytes) {
    const QByteArray old = region(at, bytes.size());
    QFile f(image_);
    f.open(QIODevice::ReadWrite);
    f.seek(at);
    f.write(bytes);
    return old;
  }
  QByteArray region(qint64 from, qint64 size) {
    QFile f(image_);
    f.open(QIODevice::ReadOnly);
    f.seek(from);
    return f.read(size);
  }

  QTemporaryDir dir_;
  QString image_, machine_;
};

TEST_F(DiskRoundTrip, TheImportIsTheSampleWithItsAttributesAndFacts) {
  QString why;
  std::unique_ptr<Machine> sample = Machine::open(sampleFolder(), &why);
  std::unique_ptr<Machine> imported = Machine::open(machine_, &why);
  ASSERT_TRUE(sample && imported) << why.toStdString();
  const DriveContents want(sample->files()), got(imported->files());
  EXPECT_EQ(got.attributes, want.attributes);
  EXPECT_TRUE(got.files == want.files);
  // FAT keeps times to two seconds.
  EXPECT_LE(qAbs(imported->files().lastWriteTime(u"C:\\WINDOWS\\WIN.INI").secsTo(sample->files().lastWriteTime(u"C:\\WINDOWS\\WIN.INI"))), 2);

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

TEST_F(DiskRoundTrip, ExportWritesExactlyWhatVantrelChanged) {
  const QByteArray outside = region(0, kPartitionOffset);
  QString why;
  {
    std::unique_ptr<Machine> m = Machine::open(machine_, &why);
    ASSERT_TRUE(m) << why.toStdString();
    FileSystem& fs = m->files();
    m->registry().createKey(HKey::LocalMachine, u"Software\\Round Trip")->setValue("Exported", RegSz, "yes");
    ASSERT_TRUE(m->saveRegistry(&why)) << why.toStdString();
    SharedState state;
    test::RecordingDialogs dialogs;
    backup::Backups backups(*m, state, dialogs);
    backups.setDirectories("C:\\VANTREL", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM");
    backup::Choice choice{{true, true, true, true, true, true}, "before the round trip"};
    backups.setSilent(true);
    ASSERT_TRUE(backups.CreateBackupSet(choice)) << backups.failureReason().toStdString();
    ASSERT_TRUE(RecycleBin(fs).recycle(u"C:\\AUTOEXEC.OLD", &why)) << why.toStdString();
    ASSERT_TRUE(fs.setAttributes(u"C:\\Program Files\\DiskMap\\MSCREATE.DIR", 0));
    ASSERT_TRUE(fs.deleteFile(u"C:\\Program Files\\DiskMap\\MSCREATE.DIR"));
    ASSERT_TRUE(fs.deleteFile(u"C:\\Program Files\\DiskMap\\DISKMAP.EXE"));
    ASSERT_TRUE(fs.deleteFile(u"C:\\Program Files\\DiskMap\\DMAP0001.$$$"));
    ASSERT_TRUE(fs.removeDirectory(u"C:\\Program Files\\DiskMap"));
    ASSERT_TRUE(fs.setAttributes(u"C:\\CONFIG.SYS", AttrReadOnly | AttrHidden));
  }
  disk::ExportSummary s;
  ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
  EXPECT_GE(s.written, 9);  // the hives, INFO, the recycled file and the backup set's files
  EXPECT_EQ(s.removed, 5);
  EXPECT_EQ(s.folders, 1);  // BACKUP

  std::unique_ptr<Machine> m = Machine::open(machine_, &why);
  ASSERT_TRUE(m);
  const DriveContents want(m->files());
  EXPECT_EQ(test::imageAttributes(image_, kPartitionOffset), want.attributes);
  EXPECT_TRUE(imageFiles(image_, dir_.filePath("out")) == want.files);
  const QMap<QString, QString> attrs = test::imageAttributes(image_, kPartitionOffset);
  EXPECT_EQ(attrs.value("CONFIG.SYS"), "HR");
  EXPECT_FALSE(attrs.contains("AUTOEXEC.OLD"));
  EXPECT_FALSE(attrs.contains("Program Files/DiskMap"));
  EXPECT_TRUE(attrs.contains("VANTREL/BACKUP/BACKUP.000"));
  EXPECT_EQ(attrs.value("WINDOWS/SYSTEM.DAT"), want.attributes.value("WINDOWS/SYSTEM.DAT"));
  EXPECT_TRUE(test::imageFile(image_, kPartitionOffset, "WINDOWS/SYSTEM.DAT").contains("Round Trip"));

  // The rest of the image as it was, and a file system fsck.fat finds clean.
  EXPECT_EQ(region(0, kPartitionOffset), outside);
  const QString partition = dir_.filePath("partition.img");
  QFile p(partition);
  ASSERT_TRUE(p.open(QIODevice::WriteOnly));
  p.write(region(kPartitionOffset, 64 * 1024 * 1024 - kPartitionOffset));
  p.close();
  QByteArray fsck;
  EXPECT_EQ(test::runProgram("fsck.fat", {"-n", partition}, &fsck), 0) << fsck.toStdString();

  // Nothing changed since: the image is not touched at all.
  const QByteArray hash = test::sha256(image_);
  struct stat before, after;
  ::stat(QFile::encodeName(image_).constData(), &before);
  ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
  EXPECT_TRUE(s.nothingChanged());
  ::stat(QFile::encodeName(image_).constData(), &after);
  EXPECT_EQ(test::sha256(image_), hash);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
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
  const struct {
    const char* what;
    std::function<void()> make, undo;
    const char* reason;
  } cases[] = {
      {"started in an emulator since", [&] { saved = poke(lastSector, "booted"); }, [&] { poke(lastSector, saved); }, "changed since"},
      {"held open with a lock", [&] {
         lockFd = ::open(QFile::encodeName(image_).constData(), O_RDWR);
         struct flock fl = {};
         fl.l_type = F_RDLCK;
         fl.l_whence = SEEK_SET;
         fl.l_start = 100;
         fl.l_len = 1;
         ASSERT_EQ(::fcntl(lockFd, F_OFD_SETLK, &fl), 0);
       },
       [&] { ::close(lockFd); }, "in use"},
      {"a lock file beside it", [&] { QFile(image_ + ".lck").open(QIODevice::WriteOnly); }, [&] { QFile::remove(image_ + ".lck"); }, "in use"},
      {"no FAT where it was", [&] { saved = poke(kPartitionOffset, QByteArray(3, '\0')); }, [&] { poke(kPartitionOffset, saved); },
       "does not hold a FAT file system"},
      {"more than fits", [&] { QFile f(bigFile); f.open(QIODevice::WriteOnly); f.resize(80 * 1024 * 1024); },
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

// A floppy the user formatted with FORMAT A: /S in the emulator: boot sector and system
// files of its own, which the rescue disk must leave exactly as they are, but for the
// boot keys it sets in MSDOS.SYS.
TEST(RescueDiskImage, GoesIntoTheFloppyImageBesideItsSystemFiles) {
  SKIP_WITHOUT_DISK_TOOLS();
  test::TestMachine tm;
  const QString image = tm.folder() + "/a.img";
  ASSERT_TRUE(test::makeFloppyImage(image, "RESCUE"));
  const QMap<QString, QByteArray> system{{"IO.SYS", QByteArray(40000, 'i')}, {"MSDOS.SYS", QByteArray(1700, 'm')}, {"COMMAND.COM", QByteArray(93000, 'c')}};
  for (const auto& [name, bytes] : system.asKeyValueRange()) {
    QFile f(tm.folder() + "/" + name);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    f.close();
    test::mtool("mcopy", image, 0, {f.fileName(), "::/" + name});
    f.remove();
  }
  test::mtool("mattrib", image, 0, {"+s", "+h", "+r", "::/IO.SYS", "::/MSDOS.SYS"});
  auto bootSector = [&] {
    QFile f(image);
    f.open(QIODevice::ReadOnly);
    return f.read(512);
  };
  const QByteArray boot = bootSector();

  QFile ini(tm.folder() + "/machine.ini");
  ini.open(QIODevice::ReadOnly);
  const QByteArray text = ini.readAll().replace("Ready=0", "Image=a.img");
  ini.close();
  ini.open(QIODevice::WriteOnly | QIODevice::Truncate);
  ini.write(text);
  ini.close();
  tm.reopen();
  tm.writeRegistryFiles();
  tm.putHostFile("C", "VANTREL/HELP.bat", "@type a:\\help.txt\r\n");
  tm.putHostFile("C", "VANTREL/HELP.eng", "Help\r\n");
  tm.putHostFile("C", "WINDOWS/COMMAND/ATTRIB.EXE", "attrib");
  tm.reopen();
  SharedState state;
  state.language = English;
  test::RecordingDialogs dialogs;
  backup::Backups backups(tm.machine(), state, dialogs);
  backups.setDirectories("C:\\VANTREL", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM");

  const QByteArray before = test::sha256(image);
  ::chmod(QFile::encodeName(image).constData(), 0444);
  EXPECT_FALSE(backups.CreateRescueDisk());
  EXPECT_EQ(test::sha256(image), before);
  ASSERT_EQ(dialogs.shown.size(), 1);
  EXPECT_TRUE(dialogs.shown[0].contains("write protected")) << dialogs.shown[0].toStdString();

  ::chmod(QFile::encodeName(image).constData(), 0644);
  dialogs.shown.clear();
  EXPECT_TRUE(backups.CreateRescueDisk()) << dialogs.shown.join('|').toStdString();
  EXPECT_EQ(bootSector(), boot);
  for (const auto& [name, bytes] : system.asKeyValueRange())
    EXPECT_TRUE(test::imageFile(image, 0, name) == (name == "MSDOS.SYS" ? backup::Backups::rescueBootConfig(bytes) : bytes))
        << name.toStdString();
  const QMap<QString, QString> attrs = test::imageAttributes(image, 0);
  EXPECT_EQ(attrs.value("IO.SYS"), "ASHR");
  EXPECT_EQ(attrs.value("MSDOS.SYS"), "ASHR");
  EXPECT_EQ(test::imageFile(image, 0, "autoexec.bat"), backups.rescueAutoexec());
  EXPECT_EQ(test::imageFile(image, 0, "restore.bat"), backups.rescueRestoreBat());
  EXPECT_EQ(test::imageFile(image, 0, "help.txt"), "Help\r\n");
  EXPECT_EQ(test::imageFile(image, 0, "attrib.exe"), "attrib");

  // No disk in the drive: the image is gone.
  QFile::remove(image);
  dialogs.shown.clear();
  EXPECT_FALSE(backups.CreateRescueDisk());
  ASSERT_EQ(dialogs.shown.size(), 1);
  EXPECT_TRUE(dialogs.shown[0].contains("no disk in drive A:")) << dialogs.shown[0].toStdString();
}

}  // namespace
}  // namespace vt
