// SPDX-License-Identifier: GPL-3.0-or-later
// import and export: a machine from the FAT partitions of a disk image, and its changes
// back into the image.
#include "commands.h"

#include "diskimage/diskimage.h"

namespace vt::tool {

namespace {

// IMAGE DIR or DIR IMAGE, with an optional --partition N and --verify anywhere after the
// command (and import's --refresh).
bool parseDiskArguments(const char* command, const QStringList& args, QStringList* plain, int* partition, bool* verify, Io& io,
                        int* code, bool* refresh = nullptr) {
  *partition = 0;
  *verify = false;
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    QString value;
    if (refresh && a == QLatin1String("--refresh")) {
      *refresh = true;
      continue;
    }
    if (a == QLatin1String("--verify")) {
      *verify = true;
      continue;
    }
    if (a == QLatin1String("--partition")) {
      if (i + 1 >= args.size()) {
        *code = io.fail(Usage, QStringLiteral("%1: --partition needs a number (1-4 a primary partition, 5 on a logical drive)")
                                   .arg(QLatin1String(command)));
        return false;
      }
      value = args[++i];
    } else if (a.startsWith(QLatin1String("--partition="))) {
      value = a.mid(12);
    } else {
      plain->append(a);
      continue;
    }
    bool ok = false;
    *partition = value.toInt(&ok);
    if (!ok || *partition < 1 || *partition > 999) {
      *code =
          io.fail(Usage, QStringLiteral("%1: --partition needs a number (1-4 a primary partition, 5 on a logical drive), not %2")
                             .arg(QLatin1String(command), value));
      return false;
    }
  }
  if (plain->size() != 2) {
    *code = io.fail(Usage, QStringLiteral("%1 needs two arguments (see --help)").arg(QLatin1String(command)));
    return false;
  }
  return true;
}

}  // namespace

int cmdImport(const QStringList& args, Io& io) {
  QStringList plain;
  int partition = 0, code = 0;
  bool refresh = false, verify = false;
  if (!parseDiskArguments("import", args, &plain, &partition, &verify, io, &code, &refresh)) return code;
  if (refresh && partition)
    return io.fail(Usage, QStringLiteral("import: --refresh takes the partition the machine was imported from"));
  if (refresh && verify) return io.fail(Usage, QStringLiteral("import: --verify is for a first import, not --refresh"));
  QString why, summary;
  bool ok = false;
  {
    TerminalProgress progress{io, "import"};
    ok = refresh ? disk::refreshImport(plain[0], plain[1], &why, &summary)
                 : disk::importImage(plain[0], plain[1], partition, &why, &summary, progress.callback(), verify);
  }
  if (!ok) return io.fail(Failed, QStringLiteral("import: %1").arg(why));
  io.out << summary << '\n';
  return Ok;
}

int cmdExport(const QStringList& args, Io& io) {
  QStringList plain;
  int partition = 0, code = 0;
  bool verify = false;
  if (!parseDiskArguments("export", args, &plain, &partition, &verify, io, &code)) return code;
  QString why;
  disk::ExportSummary s;
  bool ok = false;
  {
    TerminalProgress progress{io, "export"};
    ok = disk::exportImage(plain[0], plain[1], partition, &why, &s, nullptr, progress.callback(), verify);
  }
  if (!ok) return io.fail(Failed, QStringLiteral("export: %1").arg(why));
  if (s.nothingChanged())
    io.out << "Nothing changed on the drives since the last import or export; " << plain[1] << " was not touched\n";
  else
    io.out << QStringLiteral(
                  "Wrote %1 files, removed %2 files and folders, made %3 folders and changed the attributes of %4 more in %5")
                  .arg(s.written)
                  .arg(s.removed)
                  .arg(s.folders)
                  .arg(s.attributesOnly)
                  .arg(plain[1])
           << '\n';
  return Ok;
}

}  // namespace vt::tool
