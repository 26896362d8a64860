// SPDX-License-Identifier: GPL-3.0-or-later
// complete-path: the Windows paths of a machine that start with what the user typed, for
// the shell's completion. Not in --help: people type it through Tab, not by hand.
#include "commands.h"

#include "platform/attributes.h"
#include "platform/filesystem.h"
#include "platform/machine.h"

namespace vt::tool {

int cmdCompletePath(Machine& m, const QStringList& args, Io& io) {
  if (args.size() > 1) return Usage;
  const QString typed = args.value(0);
  FileSystem& fs = m.files();
  // A completion answers in the separator the user types: forward slashes need no quoting.
  const QChar sep = typed.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
  const qsizetype cut = std::max(typed.lastIndexOf(QLatin1Char('\\')), typed.lastIndexOf(QLatin1Char('/')));
  if (cut < 0) {
    // No folder yet: the drives, or names in C:\ for a relative path.
    if (typed.size() <= 2 && (typed.isEmpty() || typed[0].isLetter()) && (typed.size() < 2 || typed[1] == QLatin1Char(':'))) {
      for (const auto& [letter, drive] : fs.drives()) {
        const QString root = QString(letter) + QLatin1Char(':') + sep;
        if (root.startsWith(typed, Qt::CaseInsensitive)) io.out << root << '\n';
      }
      return Ok;
    }
  }
  const QString folder = cut < 0 ? QString() : typed.left(cut + 1);
  const QString start = typed.mid(cut + 1);
  const QString searchFolder = folder.isEmpty() ? QStringLiteral("C:\\") : folder;
  FindData found;
  const quint32 all = AttrHidden | AttrSystem | AttrDirectory | AttrReadOnly | AttrArchive;
  std::unique_ptr<FileSearch> search = fs.findFirst(QString(searchFolder + QStringLiteral("*")), all, &found);
  if (!search) return Ok;
  do {
    if (found.name == QLatin1String(".") || found.name == QLatin1String("..")) continue;
    QString name;
    if (found.name.startsWith(start, Qt::CaseInsensitive))
      name = found.name;
    else if (!found.alternate.isEmpty() && found.alternate.startsWith(start, Qt::CaseInsensitive))
      name = found.alternate;
    else
      continue;
    io.out << folder << name;
    if (found.attributes & AttrDirectory) io.out << sep;
    io.out << '\n';
  } while (fs.findNext(*search, &found));
  return Ok;
}

}  // namespace vt::tool
