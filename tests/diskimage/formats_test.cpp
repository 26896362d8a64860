// SPDX-License-Identifier: GPL-3.0-or-later
// The emulators' containers around the disk: a fixed VHD worked on in place, the packed
// formats through qemu-img, and the images that cannot be written back without loss.
#include "diskimage/roundtrip.h"

#include <functional>
#include <utime.h>

namespace vt {
namespace {

using test::kPartitionOffset;

class DiskFormats : public test::DiskRoundTrip {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_QEMU_IMG();
    DiskRoundTrip::SetUp();
  }
  static int qemu(const QStringList& args, QByteArray* out = nullptr) { return test::runProgram("qemu-img", args, out); }
  // The same change in a machine, to the second, so that two exports write the same bytes.
  static void change(const QString& machine) {
    QString why;
    std::unique_ptr<Machine> m = Machine::open(machine, &why);
    ASSERT_TRUE(m) << why.toStdString();
    ASSERT_TRUE(m->files().writeFile(u"C:\\NEW.TXT", "written back"));
    ASSERT_TRUE(m->files().deleteFile(u"C:\\WINDOWS\\WIN.INI"));
    const struct utimbuf t { 1000000000, 1000000000 };
    ASSERT_EQ(::utime(QFile::encodeName(machine + "/drives/C/NEW.TXT").constData(), &t), 0);
  }
};

// Each packed image (named so that its extension says nothing) comes in, takes a change
// and goes back in its own format, holding what the raw image holds after the same export.
TEST_F(DiskFormats, PackedImagesGoBackInTheirOwnFormatHoldingWhatARawExportWrites) {
  change(machine_);
  QString why;
  ASSERT_TRUE(exportNow(&why)) << why.toStdString();
  const QString pristine = shared().filePath("w95.img");
  const struct {
    const char* format;
    QStringList options;
  } cases[] = {
      {"qcow2", {"-o", "cluster_size=32768"}}, {"vdi", {"-o", "static=on"}}, {"vpc", {"-o", "subformat=dynamic"}}, {"vmdk", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const QString image = dir_.filePath(QStringLiteral("%1.img").arg(c.format)), machine = dir_.filePath(c.format);
    ASSERT_EQ(qemu(QStringList{"convert", "-f", "raw", "-O", c.format} + c.options + QStringList{pristine, image}), 0);
    ASSERT_TRUE(disk::importImage(image, machine, 0, &why)) << why.toStdString();
    EXPECT_TRUE(QFileInfo::exists(machine + "/diskimage.raw"));
    change(machine);
    // VirtualBox knows a VDI, and a VHD too, by the UUID in its header or footer.
    const qint64 uuidAt = c.format == QLatin1String("vdi") ? 0x188 : c.format == QLatin1String("vpc") ? 0x44 : -1;
    const auto uuid = [&] {
      QFile f(image);
      return uuidAt >= 0 && f.open(QIODevice::ReadOnly) && f.seek(uuidAt) ? f.read(16) : QByteArray();
    };
    const QByteArray uuidBefore = uuid();
    disk::ExportSummary s;
    ASSERT_TRUE(disk::exportImage(machine, image, 0, &why, &s)) << why.toStdString();
    EXPECT_EQ(s.written, 1);
    EXPECT_EQ(QDir(dir_.path()).entryList({QStringLiteral(".%1.img*").arg(c.format)}, QDir::Files | QDir::Hidden), QStringList());
    EXPECT_EQ(qemu({"check", "-f", c.format, image}), c.format == QLatin1String("vpc") ? 63 : 0);
    EXPECT_EQ(qemu({"compare", "-f", "raw", "-F", c.format, image_, image}), 0);
    EXPECT_EQ(uuid(), uuidBefore);
    QByteArray info;
    qemu({"info", "--output=json", image}, &info);
    EXPECT_TRUE(info.contains(QByteArray("\"format\": \"") + c.format + '"')) << info.toStdString();
    // The layout options are the image's own again.
    if (c.options.contains("cluster_size=32768")) {
      EXPECT_TRUE(info.contains("\"cluster-size\": 32768"));
    }
    if (c.options.contains("static=on")) {
      EXPECT_GE(QFileInfo(image).size(), 64 * 1024 * 1024);
    }
    // The next export starts from what this one wrote.
    {
      std::unique_ptr<Machine> m = Machine::open(machine, &why);
      ASSERT_TRUE(m->files().writeFile(u"C:\\SECOND.TXT", "again"));
    }
    ASSERT_TRUE(disk::exportImage(machine, image, 0, &why, &s)) << why.toStdString();
    EXPECT_EQ(s.written, 1);
    const QString back = dir_.filePath(QStringLiteral("%1.back").arg(c.format));
    ASSERT_TRUE(disk::importImage(image, back, 0, &why)) << why.toStdString();
    std::unique_ptr<Machine> m = Machine::open(back, &why);
    EXPECT_EQ(m->files().readFile(u"C:\\SECOND.TXT").value_or(QByteArray()), "again");
  }
}

TEST_F(DiskFormats, AFixedVhdIsWrittenInPlaceAndKeepsItsFooter) {
  const QString vhd = dir_.filePath("w95.vhd"), machine = dir_.filePath("fixed");
  ASSERT_EQ(qemu({"convert", "-f", "raw", "-O", "vpc", "-o", "subformat=fixed", shared().filePath("w95.img"), vhd}), 0);
  QFile f(vhd);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly) && f.seek(f.size() - 512));
  const QByteArray footer = f.read(512);
  f.close();
  ASSERT_TRUE(footer.startsWith("conectix"));
  QString why;
  ASSERT_TRUE(disk::importImage(vhd, machine, 0, &why)) << why.toStdString();
  EXPECT_FALSE(QFileInfo::exists(machine + "/diskimage.raw"));
  change(machine);
  ASSERT_TRUE(disk::exportImage(machine, vhd, 0, &why)) << why.toStdString();
  ASSERT_TRUE(f.open(QIODevice::ReadOnly) && f.seek(f.size() - 512));
  EXPECT_TRUE(f.read(512) == footer);
  EXPECT_EQ(test::imageFile(vhd, kPartitionOffset, "NEW.TXT"), "written back");
  f.close();

  // A partition that would reach into the footer is not the disk's.
  ASSERT_TRUE(f.open(QIODevice::ReadWrite) && f.seek(446 + 12));
  const quint32 sectors = quint32((f.size() - 512) / 512 - 2048 + 1);
  f.write(reinterpret_cast<const char*>(&sectors), 4);
  f.close();
  EXPECT_FALSE(disk::importImage(vhd, dir_.filePath("overlong"), 0, &why));
  EXPECT_TRUE(why.contains("past the end")) << why.toStdString();
}

// Snapshots, a backing file, extents in other files, VHDX and an unreadable image: refused
// on import with their reason, and the image and the folder left as they were.
TEST_F(DiskFormats, ImagesThatCannotGoBackWholeAreRefused) {
  const QString pristine = shared().filePath("w95.img");
  const QString base = dir_.filePath("base.qcow2");
  ASSERT_EQ(qemu({"convert", "-f", "raw", "-O", "qcow2", pristine, base}), 0);
  auto file = [&](const char* name, const QByteArray& bytes) {
    const QString path = dir_.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    return path;
  };
  const struct {
    const char* what;
    std::function<QString()> make;
    const char* reason;
  } cases[] = {
      {"a backing file",
       [&] {
         const QString over = dir_.filePath("over.qcow2");
         EXPECT_EQ(qemu({"create", "-f", "qcow2", "-b", base, "-F", "qcow2", over}), 0);
         return over;
       },
       "backing file"},
      {"a snapshot",
       [&] {
         const QString snap = dir_.filePath("snap.img");
         EXPECT_EQ(qemu({"convert", "-f", "raw", "-O", "qcow2", pristine, snap}), 0);
         EXPECT_EQ(qemu({"snapshot", "-c", "before", snap}), 0);
         return snap;
       },
       "snapshot"},
      {"two extents",
       [&] {
         file("split-s001.vmdk", "");
         file("split-s002.vmdk", "");
         return file("split.vmdk",
                     "# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=ffffffff\ncreateType=\"twoGbMaxExtentSparse\"\n"
                     "RW 4192256 SPARSE \"split-s001.vmdk\"\nRW 4192256 SPARSE \"split-s002.vmdk\"\n");
       },
       "2 extent files"},
      {"VHDX",
       [&] {
         const QString vhdx = dir_.filePath("w95.vhdx");
         EXPECT_EQ(qemu({"convert", "-f", "raw", "-O", "vhdx", pristine, vhdx}), 0);
         return vhdx;
       },
       "not support"},
      {"unreadable", [&] { return file("junk.qcow2", QByteArray("QFI\xfb\0\0\0\3", 8) + QByteArray(600, 'x')); }, "cannot read"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const QString image = c.make();
    const QByteArray before = test::sha256(image);
    const QString machine = dir_.filePath("refused");
    QString why;
    EXPECT_FALSE(disk::importImage(image, machine, 0, &why));
    EXPECT_TRUE(why.contains(QLatin1String(c.reason))) << why.toStdString();
    EXPECT_EQ(test::sha256(image), before);
    EXPECT_FALSE(QFileInfo::exists(machine));
  }

  // A snapshot taken after the import: the export refuses and writes nothing.
  QString why;
  const QString machine = dir_.filePath("fromqcow");
  ASSERT_TRUE(disk::importImage(base, machine, 0, &why)) << why.toStdString();
  change(machine);
  ASSERT_EQ(qemu({"snapshot", "-c", "later", base}), 0);
  const QByteArray before = test::sha256(base);
  disk::Refusal refusal = disk::Refusal::None;
  EXPECT_FALSE(disk::exportImage(machine, base, 0, &why, nullptr, &refusal));
  EXPECT_EQ(refusal, disk::Refusal::ImageChanged) << why.toStdString();
  EXPECT_EQ(test::sha256(base), before);
  EXPECT_EQ(QDir(dir_.path()).entryList({".base.qcow2*"}, QDir::Files | QDir::Hidden).size(), 0);
}

}  // namespace
}  // namespace vt
