// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An emulator's disk for the round-trip tests: the sample machine's C: on a 64 MB FAT16
// partition of a raw image, made once per test program, of which each test imports its own
// copy.
#include "diskimage/diskimage.h"
#include "platform/machine.h"
#include "sample/samplemachine.h"
#include "support/diskimages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vt::test {

inline QString letters(quint32 a) {
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
inline QMap<QString, QByteArray> imageFiles(const QString& image, const QString& into) {
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

// The sample machine `sample` (made already) copied onto the FAT volume at `offset`,
// attributes and all.
inline bool copySampleOnto(const QString& image, qint64 offset, const QString& sample) {
  QString why;
  QStringList top;
  for (const QString& name : QDir(sample + "/drives/C").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
    top << sample + "/drives/C/" + name;
  int code = 0;
  test::mtool("mcopy", image, offset, QStringList{"-s", "-m"} + top + QStringList{"::/"}, &code);
  std::unique_ptr<Machine> m = Machine::open(sample, &why);
  if (code != 0 || !m) return false;
  QMap<QString, QStringList> byAttributes;
  for (const auto& [path, attrs] : DriveContents(m->files()).attributes.asKeyValueRange()) byAttributes[attrs] << "::/" + path;
  for (const auto& [attrs, paths] : byAttributes.asKeyValueRange()) {
    QStringList flags;
    for (QChar c : QStringLiteral("ASHR")) flags << (attrs.contains(c) ? "+" : "-") + QString(c).toLower();
    test::mtool("mattrib", image, offset, flags + paths, &code);
    if (code != 0) return false;
  }
  return true;
}

// The sample machine's C: copied onto a fresh 64 MB FAT16 partition, attributes and all,
// after the folders `first` were made there.
inline bool makeSampleDisk(const QString& image, const QString& sample, const QStringList& first = {}) {
  QString why;
  if (!sample::createSampleMachine(sample, &why)) {
    ADD_FAILURE() << why.toStdString();
    return false;
  }
  if (!test::makeHardDiskImage(image, 64, 16, "ATELIER")) return false;
  for (const QString& folder : first) test::mtool("mmd", image, kPartitionOffset, {"::/" + folder});
  return copySampleOnto(image, kPartitionOffset, sample);
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
  // fsck.fat -n on a copy of the partition (it takes no offset); its exit code.
  int fsckPartition(QByteArray* report) {
    const QString partition = dir_.filePath("partition.img");
    QFile p(partition);
    if (!p.open(QIODevice::WriteOnly)) return -1;
    p.write(region(kPartitionOffset, QFileInfo(image_).size() - kPartitionOffset));
    p.close();
    return test::runProgram("fsck.fat", {"-n", partition}, report);
  }

  QTemporaryDir dir_;
  QString image_, machine_;
};

}  // namespace vt::test
