// SPDX-License-Identifier: GPL-3.0-or-later
// "vantrel-machine dir": the DOS DIR command on a machine's drives, one line per entry
// with its full Windows path, so that a search can be scripted (and timed) from the host.
//
// Each line as DOS 7's DIR shows an entry, the short name first: the 8.3 alias's name and
// extension in their columns (8 and 3 characters), the size or <DIR>, the last-write time
// (UTC, as the machine keeps it), the attribute letters R H S A in their columns or "-",
// and at the right, from column 56, the full path in long names. A summary as DIR prints
// it ends the list. As DIR does, hidden and system entries are left out unless /A asks
// for them; /A:letters keeps the entries that have every attribute named, and none of
// those named with a "-" (D for folders). /S searches every sub-folder too, hidden ones
// included, through the same walk the clean-up's file search makes. A path may name any
// folder or file by its alias.
#include "commands.h"

#include "platform/filesystem.h"
#include "platform/machine.h"

#include <cstdio>
#include <ctime>

namespace vt::tool {

namespace {

struct AttrFilter {
  quint32 required = 0;
  quint32 refused = AttrHidden | AttrSystem;

  bool accepts(quint32 attrs) const { return (attrs & required) == required && !(attrs & refused); }

  // "/A", "/A:HS", "/A-D", "/AH"; false on a letter DIR does not know.
  bool parse(QStringView letters) {
    required = refused = 0;
    if (letters.startsWith(QLatin1Char(':'))) letters = letters.mid(1);
    bool negate = false;
    for (QChar c : letters) {
      if (c == QLatin1Char('-')) {
        negate = true;
        continue;
      }
      quint32 bit = 0;
      switch (c.toUpper().unicode()) {
        case 'R': bit = AttrReadOnly; break;
        case 'H': bit = AttrHidden; break;
        case 'S': bit = AttrSystem; break;
        case 'A': bit = AttrArchive; break;
        case 'D': bit = AttrDirectory; break;
        default: return false;
      }
      (negate ? refused : required) |= bit;
      negate = false;
    }
    return !negate;
  }
};

QByteArray attributeLetters(quint32 a) {
  QByteArray s("----");
  if (a & AttrReadOnly) s[0] = 'R';
  if (a & AttrHidden) s[1] = 'H';
  if (a & AttrSystem) s[2] = 'S';
  if (a & AttrArchive) s[3] = 'A';
  return s;
}

class Lister : public TreeVisitor {
 public:
  Lister(QTextStream& out, const AttrFilter& filter) : out_(out), filter_(filter) {}

  bool enterFolder(const QString&) override { return true; }

  bool found(const QString& folder, WalkMatch& m) override {
    if (m.name == QLatin1String(".") || m.name == QLatin1String("..")) return true;
    const quint32 attrs = m.attributes();
    if (!filter_.accepts(attrs)) return true;
    const bool isDir = attrs & AttrDirectory;
    // Formatted by hand: a listing of many thousand lines spends its time here otherwise.
    const qint64 ms = m.lastWrite.toMSecsSinceEpoch();
    const time_t secs = time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    struct tm t = {};
    ::gmtime_r(&secs, &t);
    const QString alias = m.shortName();
    const qsizetype dot = alias.indexOf(QLatin1Char('.'));
    char head[80];
    std::snprintf(head, sizeof head, "%14s  %04d-%02d-%02d %02d:%02d:%02d  %s  ",
                  isDir ? "<DIR>      " : QByteArray::number(m.size).constData(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, attributeLetters(attrs).constData());
    out_ << alias.left(dot).leftJustified(8) << ' ' << (dot < 0 ? QString() : alias.mid(dot + 1)).leftJustified(3) << head
         << folder << m.name << '\n';
    if (isDir) {
      ++dirs;
    } else {
      ++files;
      bytes += m.size;
    }
    return true;
  }

  qint64 files = 0, dirs = 0, bytes = 0;

 private:
  QTextStream& out_;
  const AttrFilter& filter_;
};

bool hasWildcard(QStringView name) { return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?')); }

}  // namespace

int cmdDir(Machine& machine, const QStringList& args, Io& io) {
  bool recurse = false;
  AttrFilter filter;
  QString path;
  for (const QString& a : args) {
    if (a.startsWith(QLatin1Char('/'))) {
      const QChar sw = a.size() > 1 ? a[1].toUpper() : QChar();
      if (sw == QLatin1Char('S') && a.size() == 2) {
        recurse = true;
      } else if (sw == QLatin1Char('A')) {
        if (!filter.parse(QStringView(a).mid(2))) return io.fail(Usage, QStringLiteral("dir: invalid switch - %1").arg(a));
      } else {
        return io.fail(Usage, QStringLiteral("dir: invalid switch - %1").arg(a));
      }
    } else if (path.isEmpty()) {
      path = a;
    } else {
      return io.fail(Usage, QStringLiteral("dir: too many parameters - %1").arg(a));
    }
  }
  FileSystem& fs = machine.files();
  const QString full = fs.fullPath(path.isEmpty() ? QStringLiteral("*.*") : path);
  if (full.isEmpty()) {
    const WinError e = fs.lastError() == WinError::Success ? WinError::InvalidName : fs.lastError();
    return io.fail(Failed, QStringLiteral("dir: %1 - %2").arg(describe(e), path));
  }
  // A folder named without a pattern lists what it holds, as DIR C:\WINDOWS does.
  QString folder = full.left(full.lastIndexOf(QLatin1Char('\\')) + 1);
  QString name = full.mid(folder.size());
  if (name.isEmpty()) {
    name = QStringLiteral("*.*");
  } else if (!hasWildcard(name) && fs.isDirectory(full)) {
    folder = full + QLatin1Char('\\');
    name = QStringLiteral("*.*");
  }
  // The paths at the right are in long names, however the folder was named.
  if (const std::optional<QString> longFolder = fs.longPathName(folder)) {
    folder = *longFolder;
    if (!folder.endsWith(QLatin1Char('\\'))) folder += QLatin1Char('\\');
  }

  TreeWalkFilter search;
  search.patterns = QStringList{name};
  search.matchMask = AttrAnyFile & ~quint32(AttrVolume);
  search.folderMask = recurse ? quint32(AttrAnyFile) : 0;
  Lister lister(io.out, filter);
  if (!fs.walkTree(folder, search, lister)) {
    io.out.flush();
    return io.fail(Failed, QStringLiteral("dir: %1 - %2").arg(describe(fs.lastError()), folder));
  }
  if (lister.files + lister.dirs == 0) {
    io.out.flush();
    return io.fail(Failed, QStringLiteral("dir: File Not Found - %1").arg(folder + name));
  }
  io.out << QStringLiteral("%1 file(s) %2 bytes").arg(lister.files, 14).arg(lister.bytes, 15) << '\n'
         << QStringLiteral("%1 dir(s)").arg(lister.dirs, 14) << '\n';
  io.out.flush();
  return Ok;
}

}  // namespace vt::tool
