// SPDX-License-Identifier: GPL-3.0-or-later
// An export writes into the image in place: only what changes, a sparse image stays sparse,
// and an export cut off at any moment leaves the old image or the new one.
#include "diskimage/journal.h"
#include "diskimage/roundtrip.h"

#include <QElapsedTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace vt {
namespace {

using test::DiskRoundTrip;
using test::kPartitionOffset;

qint64 allocated(const QString& path) {
  struct stat st;
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

QByteArray wholeFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class InPlace : public DiskRoundTrip {
 protected:
  void changeSomething(int files = 1) {
    QString why;
    std::unique_ptr<Machine> m = Machine::open(machine_, &why);
    ASSERT_TRUE(m) << why.toStdString();
    for (int i = 0; i < files; ++i)
      ASSERT_TRUE(m->files().writeFile(QStringLiteral("C:\\NOTE%1.TXT").arg(i), QByteArray(3000, char('a' + i % 26))));
    ASSERT_TRUE(m->files().deleteFile(u"C:\\WINDOWS\\WIN.INI"));
  }
  // Puts the image back as the import left it, its time too.
  void putBack(const QByteArray& bytes, const QByteArray& recordBytes) {
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(image_).constData(), &st), 0);
    ASSERT_TRUE(test::writeImage(image_, bytes) && test::writeImage(record(), recordBytes));
    if (!keptTime_) keptTime_ = st.st_mtim;
    const struct timespec times[2] = {{0, UTIME_OMIT}, *keptTime_};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(image_).constData(), times, 0), 0);
  }
  QString record() const { return machine_ + "/" + disk::kRecordName; }
  QString journal() const { return machine_ + "/" + disk::kJournalName; }
  std::optional<struct timespec> keptTime_;
  void expectSound() {
    QByteArray report;
    EXPECT_EQ(fsckPartition(&report), 0) << report.toStdString();
  }
};

TEST_F(InPlace, ASparseImageStaysSparse) {
  const QString sparse = dir_.filePath("sparse.img");
  ASSERT_EQ(test::runProgram("cp", {"--sparse=always", image_, sparse}), 0);
  ASSERT_TRUE(QFile::remove(image_) && QFile::rename(sparse, image_));
  QDir(machine_).removeRecursively();
  QString why;
  ASSERT_TRUE(disk::importImage(image_, machine_, 0, &why)) << why.toStdString();
  const qint64 before = allocated(image_);
  ASSERT_LT(before, 40 * 1024 * 1024);  // the sample's files, not the 64 MB
  changeSomething(4);
  disk::ExportSummary s;
  ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
  EXPECT_EQ(s.written, 4);
  // Four 3,000-byte files take two clusters each; the FAT's and the folder's blocks were there.
  EXPECT_LE(allocated(image_) - before, 8 * 2048 + 16 * 4096);
  EXPECT_EQ(test::imageFile(image_, kPartitionOffset, "NOTE3.TXT"), QByteArray(3000, 'd'));
  EXPECT_TRUE(test::imageFile(image_, kPartitionOffset, "WINDOWS/WIN.INI").isEmpty());
  expectSound();
}

// A journal as a killed export leaves it: complete and the image half written, or cut off
// while it was written (the image not touched yet).
TEST_F(InPlace, AnInterruptedExportIsUndoneByTheNext) {
  const QByteArray oldImage = wholeFile(image_), oldRecord = wholeFile(record());
  const qint64 fat = kPartitionOffset + 512;  // the FAT16's first sector, after the boot sector
  const std::vector<imagesync::Patch> patches{{fat, QByteArray(1024, '\xff')}, {kPartitionOffset + 40 * 2048, "half"}};
  const struct {
    const char* what;
    qint64 cutJournalTo;  // 0: complete
  } cases[] = {{"complete, image half written", 0}, {"cut off", 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QString why;
    ASSERT_TRUE(disk::writeJournal(journal(), image_, patches, oldRecord, &why)) << why.toStdString();
    if (c.cutJournalTo) {
      ASSERT_TRUE(QFile(journal()).resize(c.cutJournalTo));
    } else {
      ASSERT_TRUE(disk::writePatches(image_, {patches[0]}, &why)) << why.toStdString();
      ASSERT_TRUE(test::writeImage(record(), "ImageBytes=1\n"));  // the new record, written before the kill
    }
    disk::ExportSummary s;
    ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
    EXPECT_TRUE(s.nothingChanged());
    EXPECT_FALSE(QFile::exists(journal()));
    EXPECT_TRUE(wholeFile(image_) == oldImage);
    EXPECT_EQ(wholeFile(record()), oldRecord);
  }
  expectSound();
}

// Killed at moments spread over an export: every time the image is the old one or the new
// one, sound, and the machine's record says which.
TEST_F(InPlace, AnExportKilledAnywhereLeavesTheOldImageOrTheNew) {
  changeSomething(40);
  const QByteArray oldImage = wholeFile(image_), oldRecord = wholeFile(record());
  putBack(oldImage, oldRecord);  // keeps the time
  QElapsedTimer t;
  t.start();
  QString why;
  ASSERT_TRUE(exportNow(&why)) << why.toStdString();
  const qint64 took = t.nsecsElapsed() / 1000;
  const QByteArray newImage = wholeFile(image_);
  ASSERT_FALSE(newImage == oldImage);
  int sawOld = 0, sawNew = 0;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    putBack(oldImage, oldRecord);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      QString w;
      ::_exit(disk::exportImage(machine_, image_, 0, &w) ? 0 : 1);
    }
    const qint64 us = took * (round + 1) / 10;
    const timespec wait{time_t(us / 1000000), long(us % 1000000) * 1000};
    ::nanosleep(&wait, nullptr);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    disk::ExportSummary pending;
    ASSERT_TRUE(disk::pendingChanges(machine_, &pending, &why)) << why.toStdString();  // undoes what was cut off
    const QByteArray now = wholeFile(image_);
    ASSERT_TRUE(now == oldImage || now == newImage);
    EXPECT_EQ(pending.nothingChanged(), now == newImage);
    (now == oldImage ? sawOld : sawNew)++;
    expectSound();
  }
  EXPECT_GT(sawOld, 0);
}

// A file whose attributes alone changed has a new stamp and the same contents: it is not
// written again, with a record of this version (which compares it with the image) and one
// of earlier versions (a hash of the whole image and of every file), which then takes the
// new form.
TEST_F(InPlace, AttributesAloneAreNotAWriteWithEitherFormOfRecord) {
  auto olderForm = [&] {
    QByteArray old;
    for (const QByteArray& line : wholeFile(record()).split('\n')) {
      if (line.startsWith("ImageInode") || line.startsWith("ImageMTimeNs") || line.startsWith("ImageCTimeNs") ||
          line.startsWith("Structures"))
        continue;
      QList<QByteArray> f = line.split('\t');
      if (f.size() == 6 && f[0] == "F") f[4] = test::sha256(machine_ + "/drives/C/" + QString::fromUtf8(f[5]));
      old += f.join('\t') + '\n';
      if (line.startsWith("ImageBytes=")) old += "ImageSHA256=" + test::sha256(image_) + '\n';
    }
    ASSERT_TRUE(test::writeImage(record(), old));
  };
  const struct {
    bool older;
    const char16_t *hidden, *written;
    const char* hiddenInImage;
  } cases[] = {{false, u"C:\\WINDOWS\\SYSTEM.INI", u"C:\\NEW1.TXT", "WINDOWS/SYSTEM.INI"},
               {true, u"C:\\WINDOWS\\WIN.INI", u"C:\\NEW2.TXT", "WINDOWS/WIN.INI"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.older ? "older record" : "this version's record");
    if (c.older) olderForm();
    QString why;
    {
      std::unique_ptr<Machine> m = Machine::open(machine_, &why);
      ASSERT_TRUE(m->files().setAttributes(QStringView(c.hidden), AttrHidden));
      ASSERT_TRUE(m->files().writeFile(QStringView(c.written), "new"));
    }
    disk::ExportSummary s;
    ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
    EXPECT_EQ(s.written, 1);
    EXPECT_EQ(s.attributesOnly, 1);
    EXPECT_FALSE(wholeFile(record()).contains("ImageSHA256"));
    EXPECT_TRUE(wholeFile(record()).contains("Structures="));
    ASSERT_TRUE(exportNow(&why, &s)) << why.toStdString();
    EXPECT_TRUE(s.nothingChanged());
    EXPECT_EQ(test::imageAttributes(image_, kPartitionOffset).value(c.hiddenInImage), "H");
  }
}

}  // namespace
}  // namespace vt
