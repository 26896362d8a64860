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
  pump_.processPendingEvents();
  if (state_.cancel) return;
  FileSystem& fs = machine_.files();
  FindData entry;
  auto search = fs.findFirst(directory.toString() + QStringLiteral("*.*"), AttrDirectory, &entry);
  ++state_.directoryCounter;
  if (!search) return;
  do {
    if ((entry.attributes & AttrDirectory) && !entry.name.startsWith(QLatin1Char('.'))) {
      CountDirectories(directory.toString() + entry.name + QLatin1Char('\\'));
      if (state_.cancel) return;
    }
  } while (fs.findNext(*search, &entry));
}

bool FileAccess::CopyFileOverwrite(QStringView from, QStringView to) {
  return machine_.files().copyFile(from, to, false);
}

bool FileAccess::MoveToRecycleBin(QStringView file) {
  FileSystem& fs = machine_.files();
  if (!fs.exists(file) || fs.isDirectory(file)) return false;
  // The shell takes a double-NUL-terminated list in a 256-byte buffer.
  const QString full = fs.fullPath(file);
  if (full.isEmpty() || toAnsi(full).size() > 254) return false;
  return RecycleBin(fs).recycle(full);
}

}  // namespace vt
