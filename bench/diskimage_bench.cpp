// SPDX-License-Identifier: GPL-3.0-or-later
// Times a disk image's import and export, each against a reference in the same run: the
// import of a FAT32 image holding many files against mtools copying the same image into a
// folder (`mcopy -s -m`), and the export after one small change and after none, at several
// image sizes, against mtools writing that one file into the image (`mcopy -o`), with the
// image's allocated size before and after (a sparse image must stay sparse).
// Usage: bench_diskimage_bench [files for the import, 50000] [folder for the images, /dev/shm]
#include "diskimage/diskimage.h"
#include "platform/machine.h"
#include "sample/samplemachine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/stat.h>

namespace {

bool run(const QString& program, const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
  env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForFinished(-1) || p.exitCode() != 0) {
    std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
    return false;
  }
  return true;
}

qint64 allocated(const QString& path) {
  struct stat st;
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_blocks) * 512 : -1;
}

// A whole-image FAT32 volume of `megabytes` (sparse, as mkfs.fat makes it) holding the
// sample's C: and the folders of `extra`.
bool makeImage(const QString& image, int megabytes, const QString& sample, const QStringList& extra = {}) {
  QFile::remove(image);
  if (!run(QStringLiteral("mkfs.fat"),
           {QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-C"), image, QString::number(megabytes * 1024)}))
    return false;
  QStringList top;
  const QString c = sample + QStringLiteral("/drives/C");
  for (const QString& name : QDir(c).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) top << c + '/' + name;
  return run(QStringLiteral("mcopy"), QStringList{QStringLiteral("-s"), QStringLiteral("-m"), QStringLiteral("-i"), image} + top +
                                          extra + QStringList{QStringLiteral("::/")});
}

double seconds(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e9; }

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int files = argc > 1 ? std::atoi(argv[1]) : 50000;
  // Memory by default, where the time is the programs' own and not the disk's of the day.
  const QString where = argc > 2                                             ? QString::fromLocal8Bit(argv[2])
                        : QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                                             : QDir::tempPath();
  QTemporaryDir base(where + QStringLiteral("/diskimage_bench-XXXXXX"));
  QString why;
  const QString sample = base.filePath(QStringLiteral("sample"));
  if (!base.isValid() || !vt::sample::createSampleMachine(sample, &why)) {
    std::fprintf(stderr, "cannot make the sample machine: %s\n", qPrintable(why));
    return 2;
  }

  // Import: many files of a few KiB to a few tens, as a Windows folder of programs holds them.
  {
    const QString many = base.filePath(QStringLiteral("Programs"));
    QByteArray data(64 * 1024, 'x');
    for (int i = 0; i < data.size(); ++i) data[i] = char('a' + (i * 7919) % 26);
    for (int i = 0; i < files; ++i) {
      const QString folder = many + QStringLiteral("/Folder %1").arg(i / 500, 3, 10, QLatin1Char('0'));
      if (i % 500 == 0) QDir().mkpath(folder);
      QFile f(folder + QStringLiteral("/File number %1.dat").arg(i));
      if (!f.open(QIODevice::WriteOnly) || f.write(data.constData(), 1024 + (i * 2654435761u) % (16 * 1024)) < 0) return 2;
    }
    const QString image = base.filePath(QStringLiteral("many.img"));
    if (!makeImage(image, 1024, sample, {many})) return 2;
    QDir(many).removeRecursively();
    // The image's blocks are in the page cache for both.
    const QString out = base.filePath(QStringLiteral("mcopy-out"));
    QDir().mkpath(out);
    QElapsedTimer t;
    t.start();
    if (!run(QStringLiteral("mcopy"), {QStringLiteral("-s"), QStringLiteral("-m"), QStringLiteral("-n"), QStringLiteral("-i"),
                                       image, QStringLiteral("::/"), out + '/'}))
      return 2;
    const double reference = seconds(t);
    QDir(out).removeRecursively();
    const QString machine = base.filePath(QStringLiteral("many-machine"));
    t.start();
    if (!vt::disk::importImage(image, machine, 0, &why)) {
      std::fprintf(stderr, "import failed: %s\n", qPrintable(why));
      return 2;
    }
    const double took = seconds(t);
    std::printf("import, 1 GiB FAT32, %d files: %.2f s; mcopy -s -m %.2f s; ratio %.2f (target <= 1.5)\n", files + 0, took,
                reference, took / reference);
    QDir(machine).removeRecursively();
    QFile::remove(image);
  }

  // Export, at each size: one small change, then none.
  for (const int megabytes : {64, 512, 2048}) {
    const QString image = base.filePath(QStringLiteral("w95-%1.img").arg(megabytes));
    const QString machine = base.filePath(QStringLiteral("machine-%1").arg(megabytes));
    if (!makeImage(image, megabytes, sample) || !vt::disk::importImage(image, machine, 0, &why)) {
      std::fprintf(stderr, "cannot import the %d MiB image: %s\n", megabytes, qPrintable(why));
      return 2;
    }
    // The reference: mtools alone writing the same file into a copy of the image.
    const QString note = base.filePath(QStringLiteral("NOTE.TXT")), copy = image + QStringLiteral(".ref");
    {
      QFile f(note);
      if (!f.open(QIODevice::WriteOnly) || f.write("one small change\r\n") < 0) return 2;
    }
    if (!run(QStringLiteral("cp"), {QStringLiteral("--sparse=always"), image, copy})) return 2;
    QElapsedTimer t;
    t.start();
    if (!run(QStringLiteral("mcopy"), {QStringLiteral("-o"), QStringLiteral("-i"), copy, note, QStringLiteral("::/NOTE.TXT")}))
      return 2;
    const double reference = seconds(t);
    QFile::remove(copy);
    {
      std::unique_ptr<vt::Machine> m = vt::Machine::open(machine, &why);
      if (!m || !m->files().writeFile(u"C:\\NOTE.TXT", "one small change\r\n")) return 2;
    }
    const qint64 before = allocated(image);
    t.start();
    vt::disk::ExportSummary s;
    if (!vt::disk::exportImage(machine, image, 0, &why, &s) || s.written != 1) {
      std::fprintf(stderr, "export failed: %s\n", qPrintable(why));
      return 2;
    }
    const double changed = seconds(t);
    const qint64 after = allocated(image);
    t.start();
    if (!vt::disk::exportImage(machine, image, 0, &why, &s) || !s.nothingChanged()) return 2;
    const double unchanged = seconds(t);
    std::printf(
        "export, %4d MiB: one small change %.3f s (mcopy -o alone %.3f s, ratio %.1f), no change %.3f s (target <= 0.5 s); "
        "allocated %lld KiB before, %lld KiB after\n",
        megabytes, changed, reference, changed / reference, unchanged, before / 1024, after / 1024);
    std::fflush(stdout);
    QDir(machine).removeRecursively();
    QFile::remove(image);
  }
  return 0;
}
