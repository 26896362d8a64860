// SPDX-License-Identifier: GPL-3.0-or-later
// Backup's work on emulators' disk images: a backup set made on an imported disk goes back
// into the image with the export, and the rescue disk goes straight into a bootable floppy
// image.
#include "backup/backups.h"

#include "diskimage/roundtrip.h"
#include "platform/recyclebin.h"
#include "support/testmachine.h"
#include "sysaccess/fakes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace vt {
namespace {

using test::DiskRoundTrip;
using test::DriveContents;
using test::imageFiles;
using test::kPartitionOffset;

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
  QByteArray fsck;
  EXPECT_EQ(fsckPartition(&fsck), 0) << fsck.toStdString();

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

// A floppy the user formatted with FORMAT A: /S in the emulator: boot sector and system
// files of its own, which the rescue disk must leave exactly as they are, but for the
// boot keys it sets in MSDOS.SYS.
TEST(RescueDiskImage, GoesIntoTheFloppyImageBesideItsSystemFiles) {
  SKIP_WITHOUT_DISK_TOOLS();
  test::TestMachine tm;
  const QString image = tm.folder() + "/a.img";
  ASSERT_TRUE(test::makeFloppyImage(image, "RESCUE"));
  const QMap<QString, QByteArray> system{
      {"IO.SYS", QByteArray(40000, 'i')}, {"MSDOS.SYS", QByteArray(1700, 'm')}, {"COMMAND.COM", QByteArray(93000, 'c')}};
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
