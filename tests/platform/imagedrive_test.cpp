// SPDX-License-Identifier: GPL-3.0-or-later
// Drive A: backed by a floppy image in the machine folder ([Drive A] Image=).
#include "platform/attributestore.h"
#include "platform/machine.h"
#include "support/diskimages.h"
#include "support/testmachine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vt {
namespace {

// A test machine whose drive A: is disks/a.img, with a system file of its own on it.
struct FloppyMachine {
  test::TestMachine tm;
  QString image;

  FloppyMachine() {
    image = tm.folder() + "/disks/a.img";
    QDir().mkpath(tm.folder() + "/disks");
    if (!test::makeFloppyImage(image)) return;
    const QString sys = tm.folder() + "/IO.SYS";
    writeHost(sys, "boot code stand-in");
    test::mtool("mcopy", image, 0, {sys, "::/IO.SYS"});
    test::mtool("mattrib", image, 0, {"+s", "+h", "+r", "::/IO.SYS"});
    test::mtool("mcopy", image, 0, {sys, "::/OLD.TXT"});
    QFile::remove(sys);
    QFile ini(tm.folder() + "/machine.ini");
    ini.open(QIODevice::ReadOnly);
    const QByteArray text = ini.readAll().replace("Type=removable\r\nReady=0", "Type=removable\r\nImage=disks/a.img");
    ini.close();
    writeHost(ini.fileName(), text);
    tm.reopen();
  }
  static void writeHost(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  FileSystem& fs() { return tm.fs(); }
  QByteArray bootSector() const {
    QFile f(image);
    return f.open(QIODevice::ReadOnly) ? f.read(512) : QByteArray();
  }
};

TEST(ImageDrive, ChangesThroughDriveAGoIntoTheImageAndNothingElseMoves) {
  SKIP_WITHOUT_DISK_TOOLS();
  FloppyMachine m;
  FileSystem& fs = m.fs();
  const QByteArray boot = m.bootSector();
  ASSERT_TRUE(fs.drive('A')->ready);
  EXPECT_EQ(fs.drive('A')->label, "FLOPPY");
  EXPECT_EQ(fs.attributes(u"A:\\IO.SYS"), AttrSystem | AttrHidden | AttrReadOnly | AttrArchive);
  EXPECT_EQ(fs.readFile(u"A:\\io.sys"), QByteArray("boot code stand-in"));

  m.tm.putHostFile("C", "TOOLS/EDIT.COM", "edit");
  EXPECT_TRUE(fs.writeFile(u"A:\\autoexec.bat", "echo hi\r\n"));
  EXPECT_TRUE(fs.createDirectory(u"A:\\Tools"));
  EXPECT_TRUE(fs.copyFile(u"C:\\TOOLS\\EDIT.COM", u"A:\\Tools\\EDIT.COM", true));
  EXPECT_TRUE(fs.setAttributes(u"A:\\autoexec.bat", AttrReadOnly | AttrHidden));
  EXPECT_TRUE(fs.deleteFile(u"A:\\OLD.TXT"));
  EXPECT_TRUE(fs.moveFile(u"A:\\Tools\\EDIT.COM", u"A:\\EDIT.COM"));
  EXPECT_TRUE(fs.removeDirectory(u"A:\\Tools"));
  EXPECT_TRUE(fs.moveFile(u"C:\\TOOLS\\EDIT.COM", u"A:\\MOVED.COM"));
  EXPECT_FALSE(fs.exists(u"C:\\TOOLS\\EDIT.COM"));

  const QMap<QString, QString> expected{{"IO.SYS", "ASHR"}, {"autoexec.bat", "HR"}, {"EDIT.COM", "A"}, {"MOVED.COM", ""}};
  EXPECT_EQ(test::imageAttributes(m.image, 0), expected);
  EXPECT_EQ(test::imageFile(m.image, 0, "autoexec.bat"), "echo hi\r\n");
  EXPECT_EQ(test::imageFile(m.image, 0, "EDIT.COM"), "edit");
  EXPECT_EQ(test::imageFile(m.image, 0, "IO.SYS"), "boot code stand-in");
  EXPECT_EQ(m.bootSector(), boot);

  // Another run of the program sees the same disk.
  m.tm.reopen();
  EXPECT_EQ(m.tm.fs().attributes(u"A:\\AUTOEXEC.BAT"), AttrReadOnly | AttrHidden);
}

TEST(ImageDrive, TheDriveFollowsTheImageFile) {
  SKIP_WITHOUT_DISK_TOOLS();
  FloppyMachine m;
  FileSystem& fs = m.fs();
  ASSERT_TRUE(fs.exists(u"A:\\OLD.TXT"));

  // Changed by an emulator while the machine is open.
  const QString extra = m.tm.folder() + "/extra";
  FloppyMachine::writeHost(extra, "from the emulator");
  test::mtool("mcopy", m.image, 0, {extra, "::/EMU.TXT"});
  EXPECT_EQ(fs.readFile(u"A:\\EMU.TXT"), QByteArray("from the emulator"));

  QFile::rename(m.image, m.image + ".out");
  EXPECT_FALSE(fs.exists(u"A:\\OLD.TXT"));
  EXPECT_EQ(fs.lastError(), WinError::NotReady);
  EXPECT_FALSE(fs.drive('A')->ready);
  EXPECT_FALSE(fs.writeFile(u"A:\\NEW.TXT", "x"));
  EXPECT_EQ(fs.lastError(), WinError::NotReady);

  // A file that is no FAT volume is no readable disk either.
  FloppyMachine::writeHost(m.image, QByteArray(1474560, '\xF6'));
  EXPECT_FALSE(fs.exists(u"A:\\OLD.TXT"));
  EXPECT_EQ(fs.lastError(), WinError::NotReady);

  QFile::remove(m.image);
  QFile::rename(m.image + ".out", m.image);
  EXPECT_TRUE(fs.exists(u"A:\\OLD.TXT"));

  // A freshly formatted disk holds nothing yet.
  ASSERT_TRUE(test::makeFloppyImage(m.image));
  EXPECT_FALSE(fs.exists(u"A:\\OLD.TXT"));
  EXPECT_EQ(fs.lastError(), WinError::FileNotFound);
  EXPECT_TRUE(fs.writeFile(u"A:\\FIRST.TXT", "1"));
  EXPECT_EQ(test::imageFile(m.image, 0, "FIRST.TXT"), "1");
}

TEST(ImageDrive, AChangeTheDiskCannotTakeIsUndoneAndTheImageKept) {
  SKIP_WITHOUT_DISK_TOOLS();
  const struct {
    const char* what;
    bool protect;
    qint64 bytes;
    WinError error;
  } cases[] = {
      {"write-protected disk", true, 10, WinError::WriteProtect},
      {"disk full", false, 1500000, WinError::DiskFull},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FloppyMachine m;
    FileSystem& fs = m.fs();
    ASSERT_TRUE(fs.exists(u"A:\\OLD.TXT"));
    if (c.protect) ::chmod(QFile::encodeName(m.image).constData(), 0444);
    const QByteArray before = test::sha256(m.image);
    EXPECT_FALSE(fs.writeFile(u"A:\\BIG.BIN", QByteArray(c.bytes, 'b')));
    EXPECT_EQ(fs.lastError(), c.error);
    EXPECT_FALSE(fs.exists(u"A:\\BIG.BIN"));
    EXPECT_EQ(test::sha256(m.image), before);
    // A file moved there from C: stays on C:.
    m.tm.putHostFile("C", "BIG.BIN", QByteArray(c.bytes, 'b'));
    EXPECT_FALSE(fs.moveFile(u"C:\\BIG.BIN", u"A:\\BIG.BIN"));
    EXPECT_EQ(fs.lastError(), c.error);
    EXPECT_EQ(fs.fileSize(u"C:\\BIG.BIN"), c.bytes);
    EXPECT_EQ(test::sha256(m.image), before);
    if (c.protect) {
      EXPECT_FALSE(fs.deleteFile(u"A:\\OLD.TXT"));
      EXPECT_EQ(fs.lastError(), WinError::WriteProtect);
      EXPECT_TRUE(fs.exists(u"A:\\OLD.TXT"));
      EXPECT_EQ(test::sha256(m.image), before);
    }
  }
}

// The floppy's own aliases are the drive's; what a held write adds gets the machine's.
TEST(ImageDrive, AliasesAreTheDisksAndWhatIsAddedGetsTheMachines) {
  SKIP_WITHOUT_DISK_TOOLS();
  FloppyMachine m;
  FileSystem& fs = m.fs();
  test::mtool("mmd", m.image, 0, {"::/Programme Alt", "::/Program Files"});
  FloppyMachine::writeHost(m.tm.folder() + "/copy", "a copy");
  test::mtool("mcopy", m.image, 0, {m.tm.folder() + "/copy", "::/Program Files/Disk Copy.img"});
  EXPECT_EQ(fs.readFile(u"A:\\PROGRA~2\\DISKCO~1.IMG").value_or("?"), "a copy");
  EXPECT_EQ(fs.longPathName(u"A:\\PROGRA~1").value_or("?"), "A:\\Programme Alt");
  test::mtool("mcopy", m.image, 0, {m.tm.folder() + "/copy", "::/\u00C0BC.TXT"});  // a short name only, byte 0xB7
  EXPECT_EQ(fs.shortPathName(u"A:\\\u00C0BC.TXT").value_or("?"), "A:\\\u00C0BC.TXT");

  fs.holdImage('A');
  ASSERT_TRUE(fs.writeFile(u"A:\\Program Files\\Report Two.txt", "2"));
  ASSERT_EQ(fs.shortPathName(u"A:\\Program Files\\Report Two.txt").value_or("?"), "A:\\PROGRA~2\\REPORT~1.TXT");
  ASSERT_TRUE(fs.writeFile(u"A:\\Program Files\\Report One.txt", "1"));
  ASSERT_TRUE(fs.releaseImage('A', true));
  const QMap<QString, QString> aliases = test::imageAliases(m.image, 0);
  EXPECT_EQ(aliases.value("Program Files"), "PROGRA~2");
  EXPECT_EQ(aliases.value("Program Files/Disk Copy.img"), "DISKCO~1.IMG");
  EXPECT_EQ(aliases.value("Program Files/Report Two.txt"), "REPORT~1.TXT");
  EXPECT_EQ(aliases.value("Program Files/Report One.txt"), "REPORT~2.TXT");
  QByteArray fsck;
  EXPECT_EQ(test::runProgram("fsck.fat", {"-n", m.image}, &fsck), 0) << fsck.toStdString();
}

// A machine folder on a file system without extended attributes keeps them in a file of
// its own: the disk's attributes and aliases go there, read-only also as the permission.
TEST(ImageDrive, WithTheStoreInAFileTheDisksAttributesAndAliasesComeInToo) {
  SKIP_WITHOUT_DISK_TOOLS();
  FloppyMachine m;
  test::mtool("mmd", m.image, 0, {"::/Program Files"});
  test::mtool("mattrib", m.image, 0, {"+h", "::/Program Files"});
  QFile ini(m.tm.folder() + "/machine.ini");
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  QByteArray text = ini.readAll();
  ini.close();
  ASSERT_TRUE(text.contains("[Machine]\r\n"));
  text.replace("[Machine]\r\n", "[Machine]\r\nAttributeStore=file\r\n");
  FloppyMachine::writeHost(ini.fileName(), text);
  m.tm.reopen();
  FileSystem& fs = m.fs();
  EXPECT_EQ(fs.attributes(u"A:\\IO.SYS"), AttrSystem | AttrHidden | AttrReadOnly | AttrArchive);
  EXPECT_EQ(fs.attributes(u"A:\\Program Files"), AttrDirectory | AttrHidden);
  EXPECT_EQ(fs.shortPathName(u"A:\\Program Files").value_or("?"), "A:\\PROGRA~1");
  EXPECT_TRUE(QFile::exists(m.tm.folder() + "/" + kAttributeFileName));
  struct stat st;
  ASSERT_EQ(::stat(QFile::encodeName(m.tm.folder() + "/image-drives/A/IO.SYS").constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
}

// A machine folder is passed around: links in it must not lead Vantrel to the host's files.
TEST(ImageDrive, LinksOutOfTheMachineFolderAreNeverFollowed) {
  SKIP_WITHOUT_DISK_TOOLS();
  QTemporaryDir outside;
  QDir().mkpath(outside.filePath("A"));
  FloppyMachine::writeHost(outside.filePath("A/keep.txt"), "mine");
  FloppyMachine m;
  const QString working = m.tm.folder() + "/image-drives";
  QDir(working).removeRecursively();
  ASSERT_EQ(::symlink(QFile::encodeName(outside.path()).constData(), QFile::encodeName(working).constData()), 0);
  m.tm.reopen();
  EXPECT_TRUE(m.fs().exists(u"A:\\OLD.TXT"));
  EXPECT_TRUE(QFile::exists(outside.filePath("A/keep.txt")));
  EXPECT_FALSE(QFileInfo(working).isSymLink());

  QFile::rename(m.image, outside.filePath("b.img"));
  ASSERT_EQ(::symlink(QFile::encodeName(outside.filePath("b.img")).constData(), QFile::encodeName(m.image).constData()), 0);
  m.tm.reopen();
  EXPECT_FALSE(m.fs().drive('A')->ready);
}

// A second hard disk's image is a fixed drive of the machine: its first FAT partition, written
// through as a floppy's image is.
TEST(ImageDrive, ASecondHardDiskImageIsAFixedDrive) {
  SKIP_WITHOUT_DISK_TOOLS();
  test::TestMachine tm({}, "\r\n[Drive E]\r\nType=fixed\r\nImage=disks/disk2.img\r\n");
  QDir().mkpath(tm.folder() + "/disks");
  const QString image = tm.folder() + "/disks/disk2.img";
  ASSERT_TRUE(test::makeHardDiskImage(image, 20, 16, "SECOND"));
  tm.reopen();
  FileSystem& fs = tm.fs();
  ASSERT_TRUE(fs.drive('E')->ready);
  EXPECT_EQ(fs.drive('E')->label, "SECOND");
  ASSERT_TRUE(fs.writeFile(u"E:\\DATA.TXT", "second disk"));
  EXPECT_EQ(test::imageFile(image, test::kPartitionOffset, "DATA.TXT"), "second disk");
}

TEST(ImageDrive, TheImageMustBeAFileInsideTheMachineFolder) {
  const struct {
    const char* section;
    bool ok;
  } cases[] = {
      {"[Drive A]\nType=removable\nImage=disks/a.img", true},  {"[Drive A]\nType=removable\nImage=disks\\a.img", true},
      {"[Drive A]\nType=removable\nImage=../a.img", false},    {"[Drive A]\nType=removable\nImage=disks/../../a.img", false},
      {"[Drive A]\nType=removable\nImage=/etc/passwd", false}, {"[Drive D]\nType=cdrom\nImage=d.img", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.section);
    MachineFacts facts;
    std::map<QChar, DriveInfo> drives;
    QString why;
    const QByteArray ini = QByteArray("[Machine]\n[Drive C]\n") + c.section + "\n";
    EXPECT_EQ(parseMachineIni(ini, "/m", &facts, &drives, nullptr, &why), c.ok) << why.toStdString();
    if (c.ok) {
      EXPECT_EQ(drives.at('A').image, "/m/disks/a.img");
      EXPECT_EQ(drives.at('A').hostRoot, "/m/image-drives/A");
    } else {
      EXPECT_TRUE(why.contains("Image=")) << why.toStdString();
    }
  }
}

}  // namespace
}  // namespace vt
