// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/files.h"

#include "platform/machine.h"
#include "platform/recyclebin.h"
#include "platform/shortname.h"
#include "platform/text.h"

#include <QStringList>

namespace vt {

std::optional<QString> dosPath(FileSystem& fs, QStringView winPath) {
  QString existing = fs.fullPath(winPath);
  if (existing.size() < 3) return std::nullopt;
  // A name that is not there yet has no alias: DOS will create it by the name as written.
  QStringList missing;
  for (;;) {
    if (std::optional<QString> shortPath = fs.shortPathName(existing)) {
      for (const QString& name : missing) {
        if (!shortPath->endsWith(QLatin1Char('\\'))) *shortPath += QLatin1Char('\\');
        *shortPath += name;
      }
      return shortPath;
    }
    if (existing.size() <= 3) return std::nullopt;
    const qsizetype cut = existing.lastIndexOf(QLatin1Char('\\'));
    const QString name = existing.mid(cut + 1);
    if (shortname::ownAlias(name).isEmpty()) return std::nullopt;
    missing.prepend(name);
    existing = existing.left(cut > 2 ? cut : 3);
  }
}

void FileAccess::ReportUserAbort() {
  dialogs_.information(QString::fromUtf8(state_.pick("Aktion vom Benutzer abgebrochen!", "User has canceled current action!")));
  state_.busy = 0;
  state_.cancel = 0;
}

bool FileAccess::PathAccessible(QStringView pathOrPattern) {
  FileSystem& fs = machine_.files();
  FindData found;
  if (fs.findFirst(pathOrPattern, AttrAnyFile, &found)) return true;
  const WinError e = fs.lastError();
  return e != WinError::PathNotFound && e != WinError::NotReady;
}

void FileAccess::CountDirectories(QStringView directory) {
  // Each folder is counted whether or not it can be searched, as the progress bar counts it.
  struct Counter : TreeVisitor {
    FileAccess& f;
    explicit Counter(FileAccess& f) : f(f) {}
    bool enterFolder(const QString&) override {
      f.pump_.processPendingEvents();
      if (f.state_.cancel) return false;
      ++f.state_.directoryCounter;
      return true;
    }
    bool found(const QString&, WalkMatch&) override { return true; }
  } counter(*this);
  TreeWalkFilter filter;
  filter.folderMask = AttrDirectory;
  machine_.files().walkTree(directory, filter, counter);
}

bool FileAccess::CopyFileOverwrite(QStringView from, QStringView to) { return machine_.files().copyFile(from, to, false); }

bool FileAccess::MoveToRecycleBin(QStringView file) {
  FileSystem& fs = machine_.files();
  if (!fs.isFile(file)) return false;
  // The shell takes a double-NUL-terminated list in a 256-byte buffer.
  const QString full = fs.fullPath(file);
  if (full.isEmpty() || toAnsi(full).size() > 254) return false;
  return RecycleBin(fs).recycle(full);
}

}  // namespace vt
