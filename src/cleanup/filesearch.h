// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The search for useless files: every fixed drive is read once, while its folders are
// counted for the progress bar, into a listing of the candidates of every chosen kind; each
// kind's pass then walks that listing, and what it judges useless goes into the deletion
// list for the user to choose from. Nothing is deleted here. The window stays alive through
// the event pump, once per folder of the count and of each pass, which is also when a click
// on Abort gets through.
#include "cleanup/deletionlist.h"
#include "sysaccess/dialogs.h"
#include "sysaccess/options.h"
#include "sysaccess/state.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace vt {

class FileSystem;
class FileAccess;

namespace cleanup {

// The five kinds, in the order they are searched.
enum class SearchKind { MscreateDir, Temp, Gid, Shortcuts, Win3 };
struct SearchKinds {
  bool mscreateDir = true, temp = true, gid = true, shortcuts = true, win3 = false;
  bool any() const { return mscreateDir || temp || gid || shortcuts || win3; }
  bool has(SearchKind k) const;
};

// The working page's four numbers. Disks today are far past 2 GB, so the sums are 64-bit.
struct SearchCounters {
  int foldersEntered = 0;
  qint64 filesFound = 0;
  qint64 bytesSaved = 0;
  qint64 bytesReallySaved = 0;  // in whole clusters of the file's drive
};

// What the working page shows while the search runs.
class SearchView {
 public:
  virtual ~SearchView() = default;
  virtual void showStatus(const QString& text) = 0;
  virtual void showDrive(const QString& root) = 0;
  // Folders entered in this pass out of those counted (the position may pass the maximum:
  // hidden folders are walked but not counted).
  virtual void showProgress(int position, int maximum) = 0;
  virtual void showCounters(const SearchCounters& counters) = 0;
  // Each file as it goes into the list: its size, the whole clusters it takes and the
  // kind whose pass found it.
  virtual void listed(const QString& path, qint64 size, qint64 onDisk, SearchKind kind) {
    (void)path, (void)size, (void)onDisk, (void)kind;
  }
};

// What a shortcut (.LNK or .PIF) points at, and whether it could be read at all.
struct ShortcutTarget {
  ShortcutTarget() = default;
  ShortcutTarget(bool success, QString target, QString workingDir = {})
      : success(success), target(std::move(target)), workingDir(std::move(workingDir)) {}
  bool success = false;
  QString target;
  QString workingDir;  // where a program named without its folder is looked for first
};
using ShortcutReader = std::function<ShortcutTarget(const QString& winPath)>;
// The machine's own reader.
ShortcutReader machineShortcutReader(FileSystem& fs);

// Cluster rounding: every file takes whole clusters, an empty one too.
qint64 clusterRounded(qint64 size, qint64 clusterSize);
// The bytes per cluster of a drive; 512, one sector, when the drive cannot say, so that
// the saving shown is never more than the real one.
qint64 clusterSizeOf(FileSystem& fs, const QString& root);

bool HasGidSignature(FileSystem& fs, const QString& path);
bool HasGrpSignature(FileSystem& fs, const QString& path);

enum class SearchOutcome { Found, NothingFound, Cancelled };

class FileSearch {
 public:
  FileSearch(FileSystem& fs, FileAccess& files, SharedState& state, EventPump& pump, const OptionFlags& flags,
             QString windowsDirectory, DeletionList& list, SearchView* view = nullptr);

  void setShortcutReader(ShortcutReader reader) { reader_ = std::move(reader); }

  // The whole search. The caller has checked that a kind is ticked and shows the result:
  // Found leaves the list filled and marked; the other two leave it empty or partial.
  SearchOutcome run(const SearchKinds& kinds);

  // One pass over the tree below `dir` (ending with "\"): over the listing run() made of it
  // while run() goes on, over the disk otherwise.
  void SearchMscreateDir(const QString& dir);
  void SearchTempFiles(const QString& dir);
  void SearchGidFiles(const QString& dir);
  void SearchShortcuts(const QString& dir);
  void SearchWin3Files(const QString& dir);
  // Task Manager and File Manager in the Windows directory, when they are Windows 3.x's:
  // Windows 95 installs its own under the same names, version 4.0 and above.
  void CheckWin3Programs();
  void AddFoundFile(const QString& path, qint64 size);
  // A target named without a drive is looked for where Windows 95 would start it from:
  // the shortcut's folder, its working folder, the Windows and System folders and the
  // folders of the PATH that AUTOEXEC.BAT sets.
  bool IsOrphanedShortcut(const QString& path);

  const SearchCounters& counters() const { return counters_; }
  void setClusterSize(qint64 bytes) { clusterSize_ = bytes; }

 private:
  struct Pass;
  struct Listings;
  Pass passFor(SearchKind kind);
  void walk(const QString& dir, const Pass& pass);
  void runPass(SearchKind kind);
  bool foundWhereWindowsLooks(const QString& shortcut, const QString& workingDir, const QString& name);
  const QStringList& pathFolders();
  QString text(const char* german, const char* english) const { return QString::fromUtf8(state_.pick(german, english)); }

  FileSystem& fs_;
  FileAccess& files_;
  SharedState& state_;
  EventPump& pump_;
  const OptionFlags& flags_;
  QString windowsDirectory_;
  DeletionList& list_;
  SearchView* view_;
  ShortcutReader reader_;
  SearchCounters counters_;
  // Read once per search from AUTOEXEC.BAT, when a shortcut first needs it.
  std::optional<QStringList> pathFolders_;
  // The drives as the count found them, for the passes of one run().
  std::shared_ptr<Listings> listings_;
  qint64 clusterSize_ = 512;
  SearchKind pass_ = SearchKind::MscreateDir;
};

// The file step of Delete: each marked file loses its attributes and goes to the recycle
// bin or away for good. Folders are left alone; a file that cannot be removed gets its
// attributes back. Returns the entries that are still there afterwards.
QStringList DeleteMarkedFiles(FileSystem& fs, FileAccess& files, const DeletionList& list, bool toRecycleBin);

}  // namespace cleanup
}  // namespace vt
