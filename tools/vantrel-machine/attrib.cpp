// SPDX-License-Identifier: GPL-3.0-or-later
// "vantrel-machine attrib": the DOS ATTRIB command on a machine's drives.
//
// Shown as ATTRIB shows it: the archive letter in column 3, system, hidden and read-only
// in columns 6 to 8, the full path (names as the folder stores them) from column 14.
// A wildcard in the last name picks files only; a folder is shown or changed when named
// exactly. As ATTRIB does, a hidden or system file keeps its other attributes unless the
// command also names +H/-H or +S/-S ("Not resetting hidden file"); unlike ATTRIB, such a
// refusal, or any other failure, leaves every file of the command as it was.
#include "commands.h"

#include "platform/filesystem.h"
#include "platform/machine.h"

#include <QList>

namespace vt::tool {

namespace {

struct Match {
  QString path;  // full Windows path, stored case
  quint32 attrs = 0;
};

bool hasWildcard(QStringView name) { return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')); }

QString join(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('\\')) ? folder + name : folder + QLatin1Char('\\') + name;
}

// The full path with every name spelt as the folders store it.
QString storedCase(FileSystem& fs, const QString& full) {
  QString out = full.left(3);
  const QStringList parts = full.mid(3).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    FindData fd;
    auto search = fs.findFirst(join(out, part), AttrAnyFile, &fd);
    out = join(out, search ? fd.name : part);
  }
  return out;
}

class Walker {
 public:
  Walker(FileSystem& fs, QString name, bool recurse) : fs_(fs), name_(std::move(name)), recurse_(recurse) {}

  // Collects the matches in `folder` (and below it with /S). False only when the folder
  // itself cannot be read (drive not ready, no such folder).
  bool walk(const QString& folder) {
    FindData fd;
    auto search = fs_.findFirst(join(folder, name_), AttrAnyFile & ~quint32(AttrVolume), &fd);
    if (!search) {
      const WinError e = fs_.lastError();
      if (e != WinError::FileNotFound && e != WinError::NoMoreFiles) {
        error_ = e;
        return false;
      }
    } else {
      do {
        if (fd.name == QLatin1String(".") || fd.name == QLatin1String("..")) continue;
        if ((fd.attributes & AttrDirectory) && hasWildcard(name_)) continue;
        matches_.append({join(folder, fd.name), fd.attributes});
      } while (fs_.findNext(*search, &fd));
    }
    if (!recurse_) return true;
    auto sub = fs_.findFirst(join(folder, QStringLiteral("*.*")), AttrAnyFile & ~quint32(AttrVolume), &fd);
    if (!sub) return true;
    QStringList folders;
    do {
      if ((fd.attributes & AttrDirectory) && fd.name != QLatin1String(".") && fd.name != QLatin1String(".."))
        folders.append(join(folder, fd.name));
    } while (fs_.findNext(*sub, &fd));
    for (const QString& f : folders)
      if (!walk(f)) return false;
    return true;
  }

  const QList<Match>& matches() const { return matches_; }
  WinError error() const { return error_; }

 private:
  FileSystem& fs_;
  QString name_;
  bool recurse_;
  QList<Match> matches_;
  WinError error_ = WinError::Success;
};

QString attribLine(const Match& m) {
  QString line(13, QLatin1Char(' '));
  if (m.attrs & AttrArchive) line[2] = QLatin1Char('A');
  if (m.attrs & AttrSystem) line[5] = QLatin1Char('S');
  if (m.attrs & AttrHidden) line[6] = QLatin1Char('H');
  if (m.attrs & AttrReadOnly) line[7] = QLatin1Char('R');
  return line + m.path;
}

}  // namespace

int cmdAttrib(Machine& machine, const QStringList& args, Io& io) {
  FileSystem& fs = machine.files();
  quint32 setMask = 0, clearMask = 0;
  bool recurse = false;
  QString path;
  for (const QString& a : args) {
    if (a.size() == 2 && (a[0] == QLatin1Char('+') || a[0] == QLatin1Char('-'))) {
      quint32 bit = 0;
      switch (a[1].toUpper().unicode()) {
        case 'R': bit = AttrReadOnly; break;
        case 'H': bit = AttrHidden; break;
        case 'S': bit = AttrSystem; break;
        case 'A': bit = AttrArchive; break;
        default: return io.fail(Usage, QStringLiteral("attrib: invalid switch - %1").arg(a));
      }
      if ((a[0] == QLatin1Char('+') ? clearMask : setMask) & bit)
        return io.fail(Usage, QStringLiteral("attrib: %1 contradicts an earlier switch").arg(a));
      (a[0] == QLatin1Char('+') ? setMask : clearMask) |= bit;
    } else if (a.compare(QLatin1String("/S"), Qt::CaseInsensitive) == 0) {
      recurse = true;
    } else if (a.startsWith(QLatin1Char('/')) || a.startsWith(QLatin1Char('+')) ||
               (a.startsWith(QLatin1Char('-')) && a.size() <= 3)) {
      return io.fail(Usage, QStringLiteral("attrib: invalid switch - %1").arg(a));
    } else if (path.isEmpty()) {
      path = a;
    } else {
      return io.fail(Usage, QStringLiteral("attrib: too many parameters - %1").arg(a));
    }
  }
  if (path.isEmpty()) path = QStringLiteral("*.*");

  // Split off the last name, which may hold wildcards; the rest must be a real folder.
  QString winPath = path;
  winPath.replace(QLatin1Char('/'), QLatin1Char('\\'));
  const qsizetype slash = winPath.lastIndexOf(QLatin1Char('\\'));
  QString folderPart = slash >= 0 ? winPath.left(slash + 1) : QString();
  QString name = slash >= 0 ? winPath.mid(slash + 1) : winPath;
  if (folderPart.isEmpty() && name.size() >= 2 && name[1] == QLatin1Char(':')) {
    folderPart = name.left(2) + QLatin1Char('\\');
    name = name.mid(2);
  }
  if (name.isEmpty()) name = QStringLiteral("*.*");
  const QString folder = fs.fullPath(folderPart.isEmpty() ? QStringLiteral(".") : folderPart);
  if (folder.isEmpty()) return io.fail(Failed, QStringLiteral("attrib: invalid path - %1").arg(path));
  if (!hasWildcard(name) && !recurse) {
    // An exact name: the file or folder itself.
    const QString full = fs.fullPath(join(folder, name));
    if (full.isEmpty() || full.size() <= 3) return io.fail(Failed, QStringLiteral("attrib: invalid path - %1").arg(path));
    const quint32 attrs = fs.attributes(full);
    if (attrs == kInvalidAttributes) {
      const WinError e = fs.lastError();
      if (e == WinError::NotReady) return io.fail(Failed, QStringLiteral("attrib: drive %1 is not ready").arg(full.left(2)));
      if (e == WinError::PathNotFound) return io.fail(Failed, QStringLiteral("attrib: path not found - %1").arg(path));
      return io.fail(Failed, QStringLiteral("attrib: file not found - %1").arg(path));
    }
  }

  Walker walker(fs, name, recurse);
  if (!walker.walk(storedCase(fs, folder))) {
    if (walker.error() == WinError::NotReady)
      return io.fail(Failed, QStringLiteral("attrib: drive %1 is not ready").arg(folder.left(2)));
    return io.fail(Failed, QStringLiteral("attrib: path not found - %1").arg(path));
  }
  const QList<Match>& matches = walker.matches();
  if (matches.isEmpty()) return io.fail(Failed, QStringLiteral("attrib: file not found - %1").arg(path));

  if (setMask == 0 && clearMask == 0) {
    for (const Match& m : matches) io.out << attribLine(m) << '\n';
    return Ok;
  }

  const bool namesHiddenOrSystem = (setMask | clearMask) & (AttrHidden | AttrSystem);
  QStringList refused;
  for (const Match& m : matches) {
    if (namesHiddenOrSystem) continue;
    if (m.attrs & AttrSystem)
      refused << QStringLiteral("Not resetting system file %1").arg(m.path);
    else if (m.attrs & AttrHidden)
      refused << QStringLiteral("Not resetting hidden file %1").arg(m.path);
  }
  if (!refused.isEmpty()) {
    for (const QString& r : refused) io.err << r << '\n';
    io.err.flush();
    return io.fail(Failed, QStringLiteral("attrib: nothing changed; name +H/-H or +S/-S to change hidden or system files"));
  }

  QList<Match> done;
  for (const Match& m : matches) {
    const quint32 now = ((m.attrs & AttrSettable) & ~clearMask) | setMask;
    if (now == (m.attrs & AttrSettable)) continue;
    if (!fs.setAttributes(m.path, now)) {
      QString why = describe(fs.lastError());
      if (!why.endsWith(QLatin1Char('.'))) why += QLatin1Char('.');
      for (const Match& back : done) fs.setAttributes(back.path, back.attrs & AttrSettable);
      return io.fail(Failed, QStringLiteral("attrib: cannot change %1: %2 Nothing was changed.").arg(m.path, why));
    }
    done.append(m);
  }
  return Ok;
}

}  // namespace vt::tool
