#include "sysaccess/files.h"

#include "platform/machine.h"
#include "platform/recyclebin.h"
#include "platform/text.h"

namespace vt {

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
  if (!fs.exists(file) || fs.isDirectory(file)) return false;
  // The shell takes a double-NUL-terminated list in a 256-byte buffer.
  const QString full = fs.fullPath(file);
  if (full.isEmpty() || toAnsi(full).size() > 254) return false;
  return RecycleBin(fs).recycle(full);
}

}  // namespace vt
