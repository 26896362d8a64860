// SPDX-License-Identifier: GPL-3.0-or-later
#include "roundtrip.h"

namespace vt::test {
namespace {

using Refresh = DiskRoundTrip;

// What the image holds after it was started in an emulator replaces the machine as a
// whole; a refresh that cannot be made leaves the machine as it was.
TEST_F(Refresh, ImportsTheImageAfreshOrLeavesTheMachineAsItWas) {
  {
    QString why;
    auto m = Machine::open(machine_, &why);
    ASSERT_TRUE(m) << why.toStdString();
    ASSERT_TRUE(m->files().writeFile(u"C:\\NOTES.TXT", "not exported"));
  }
  ASSERT_TRUE(writeImage(dir_.filePath("booted.txt"), "booted"));
  mtool("mcopy", image_, kPartitionOffset, {"-o", dir_.filePath("booted.txt"), "::/BOOTED.TXT"});
  QString why, summary;
  disk::Refusal refusal = disk::Refusal::None;
  EXPECT_FALSE(disk::exportImage(machine_, image_, 0, &why, nullptr, &refusal));
  EXPECT_EQ(refusal, disk::Refusal::ImageChanged);

  EXPECT_FALSE(disk::refreshImport(dir_.filePath("missing.img"), machine_, &why));
  EXPECT_TRUE(QFile::exists(machine_ + "/drives/C/NOTES.TXT"));

  ASSERT_TRUE(disk::refreshImport(image_, machine_, &why, &summary)) << why.toStdString();
  EXPECT_TRUE(summary.contains(machine_)) << summary.toStdString();
  EXPECT_FALSE(QFile::exists(machine_ + "/drives/C/NOTES.TXT"));
  EXPECT_TRUE(QFile::exists(machine_ + "/drives/C/BOOTED.TXT"));
  EXPECT_EQ(QDir(QFileInfo(machine_).absolutePath()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList({"booted.txt", "imported", "w95.img"}));
  EXPECT_TRUE(disk::exportImage(machine_, image_, 0, &why)) << why.toStdString();
}

}  // namespace
}  // namespace vt::test
