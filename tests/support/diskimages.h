// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Raw disk and floppy images for the tests, made with Debian's dosfstools and mtools as a
// user's emulator would hold them, without mounting anything (so the tests run as any
// user), and looked into with mtools independently of Vantrel's own use of them.
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace vt::test {

// Empty when mkfs.fat, fsck.fat and the mtools are there; else what is missing, for
// GTEST_SKIP (scripts/setup.sh installs them).
QString missingDiskTools();
// Ends a test that needs mtools and dosfstools, saying which is missing.
#define SKIP_WITHOUT_DISK_TOOLS() \
  if (const QString missing = vt::test::missingDiskTools(); !missing.isEmpty()) GTEST_SKIP() << missing.toStdString()

// Ends a test that needs qemu-img (qemu-utils) for the packed image formats.
#define SKIP_WITHOUT_QEMU_IMG()                                                             \
  if (vt::test::runProgram(QStringLiteral("qemu-img"), {QStringLiteral("--version")}) != 0) \
  GTEST_SKIP() << "qemu-img missing: install qemu-utils (scripts/setup.sh does)"

// Runs a host program to its end; its exit code, or -1 when it did not start.
int runProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr);

// A hard-disk image of `megabytes` with an MBR whose first entry spans sector 2048 to the
// end, formatted with mkfs.fat as FAT`fatBits` (16 or 32) with `label`. False (and a
// test failure) when a tool failed.
bool makeHardDiskImage(const QString& path, int megabytes, int fatBits, const QString& label = QStringLiteral("TESTDISK"));
inline constexpr qint64 kPartitionOffset = 2048 * 512;
// One partition of makePartitionedDisk: `logical` ones go, in order, into one extended
// partition after the primaries, each behind its own extended boot record. FAT types are
// formatted with mkfs.fat (labelled PART1, PART2, ... in order); others are filled with a
// pattern of their own.
struct PartitionSpec {
  quint8 type = 0x06;
  quint32 sectors = 16384;
  bool logical = false;
};
// A hard disk with the partitions `parts`, the MBR and EBRs written by hand; the byte offset
// of each partition, in the order of `parts` (empty, and a test failure, when a tool failed).
QList<qint64> makePartitionedDisk(const QString& path, const QList<PartitionSpec>& parts);

// A 1.44 MB FAT12 floppy image, one volume from its first byte.
bool makeFloppyImage(const QString& path, const QString& label = QStringLiteral("FLOPPY"));

// One of the mtools on IMAGE@@offset; stdout, and the exit code in `code`.
QByteArray mtool(const char* tool, const QString& image, qint64 offset, const QStringList& args, int* code = nullptr);
// `mattrib -/` as path -> attribute letters ("ASHR" in this order, blanks dropped).
QMap<QString, QString> imageAttributes(const QString& image, qint64 offset);
// Every entry's 8.3 alias as `mdir -/ -a` shows it: path -> "PROGRA~1", "README.TXT".
QMap<QString, QString> imageAliases(const QString& image, qint64 offset);
// The contents of one file of the image (empty when missing).
QByteArray imageFile(const QString& image, qint64 offset, const QString& path);

QByteArray sha256(const QString& hostFile);

// Where things lie in the bytes of a FAT12 or FAT16 volume that starts at `volume` in an
// image, for tests that damage it on purpose. Names are 8.3 names as stored: "CHAIN   BIN".
struct FatLayout {
  qint64 volume = 0, fat = 0, fatBytes = 0, root = 0, data = 0, clusterBytes = 0;
  int fats = 0;
  FatLayout(const QByteArray& image, qint64 volume);
  // The offset of the entry `name83` in the root folder (`folderCluster` 0) or in the folder
  // starting at that cluster; -1 when it has none.
  qint64 entry(const QByteArray& image, const char* name83, quint16 folderCluster = 0) const;
  quint16 startOf(const QByteArray& image, const char* name83, quint16 folderCluster = 0) const;
  // Sets the FAT entry of `cluster` in every copy of the FAT (FAT16 only).
  void setNext(QByteArray& image, quint16 cluster, quint16 next) const;
};
// Writes `bytes` over the image file.
bool writeImage(const QString& path, const QByteArray& bytes);

}  // namespace vt::test
