// SPDX-License-Identifier: GPL-3.0-or-later
#include "cleanup/filesearch.h"

#include "platform/filesystem.h"
#include "platform/shelllink.h"
#include "platform/text.h"
#include "platform/versioninfo.h"
#include "sysaccess/files.h"

#include <memory>

namespace vt::cleanup {

bool SearchKinds::has(SearchKind k) const {
  switch (k) {
    case SearchKind::MscreateDir: return mscreateDir;
    case SearchKind::Temp: return temp;
    case SearchKind::Gid: return gid;
    case SearchKind::Shortcuts: return shortcuts;
    case SearchKind::Win3: return win3;
  }
  return false;
}

ShortcutReader machineShortcutReader(FileSystem& fs) {
  auto link = std::make_shared<TShellLink>(fs);
  link->setQuiet(true);
  return [link](const QString& winPath) {
    link->setPath(winPath);
    // A failed read leaves the previous shortcut's target in place; only this file counts.
    if (!link->Success() || link->Path() != winPath) return ShortcutTarget{};
    return ShortcutTarget{true, link->Target(), link->WorkingDir()};
  };
}

qint64 clusterRounded(qint64 size, qint64 clusterSize) {
  if (size <= clusterSize) return clusterSize;
  return (size + clusterSize - 1) / clusterSize * clusterSize;
}

qint64 clusterSizeOf(FileSystem& fs, const QString& root) {
  // From the drive's facts, not from GetDiskFreeSpace: the free space of a drive of a fixed
  // size is what its files leave, and finding that out would read the whole drive again.
  const DriveInfo* drive = root.isEmpty() ? nullptr : fs.drive(root[0]);
  if (!drive || !drive->ready) return 512;
  const qint64 cluster = qint64(drive->sectorsPerCluster) * drive->bytesPerSector;
  return cluster > 0 ? cluster : 512;
}

namespace {

QByteArray head(FileSystem& fs, const QString& path) { return fs.readFile(path, 5).value_or(QByteArray()); }

bool hasDrive(const QString& path) { return path.size() >= 2 && path[1] == QLatin1Char(':'); }

// What a PATH or SET PATH line of a batch file sets the path to, "%PATH%" standing for
// `current`; nullopt for any other line, and for a bare PATH, which only shows it.
std::optional<QByteArray> pathSetBy(QByteArray line, const QByteArray& current) {
  line = ansiUpper(line).trimmed();
  if (line.startsWith('@')) line = line.mid(1).trimmed();
  QByteArray value;
  if (line.startsWith("SET ")) {
    line = line.mid(4).trimmed();
    if (!line.startsWith("PATH")) return std::nullopt;
    value = line.mid(4).trimmed();
    if (!value.startsWith('=')) return std::nullopt;
    value = value.mid(1);
  } else if (line.startsWith("PATH") && line.size() > 4 && QByteArrayView(" \t=;").contains(line[4])) {
    value = line.mid(4).trimmed();
    if (value.startsWith('=')) value = value.mid(1);
  } else {
    return std::nullopt;
  }
  return value.replace("%PATH%", current).trimmed();
}

}  // namespace

bool HasGidSignature(FileSystem& fs, const QString& path) {
  const QByteArray h = head(fs, path);
  return h.size() == 5 && h.startsWith(QByteArrayLiteral("\x3F\x5F\x03\x00"));
}

bool HasGrpSignature(FileSystem& fs, const QString& path) {
  const QByteArray h = head(fs, path);
  return h.size() == 5 && h.mid(1, 3) == "MCC";
}

struct FileSearch::Pass {
  QStringList patterns;
  // Judges a candidate by its full path and the size its directory entry gives.
  std::function<bool(const QString&, qint64)> listed;
};

struct FileSearch::Listings {
  std::vector<std::pair<QString, TreeListing>> drives;
};

FileSearch::FileSearch(FileSystem& fs, FileAccess& files, SharedState& state, EventPump& pump, const OptionFlags& flags,
                       QString windowsDirectory, DeletionList& list, SearchView* view)
    : fs_(fs),
      files_(files),
      state_(state),
      pump_(pump),
      flags_(flags),
      windowsDirectory_(std::move(windowsDirectory)),
      list_(list),
      view_(view),
      reader_(machineShortcutReader(fs)) {}

void FileSearch::AddFoundFile(const QString& path, qint64 size) {
  list_.add(path);
  ++counters_.filesFound;
  counters_.bytesSaved += size;
  const qint64 onDisk = clusterRounded(size, clusterSize_);
  counters_.bytesReallySaved += onDisk;
  if (view_) {
    view_->listed(path, size, onDisk, pass_);
    view_->showCounters(counters_);
  }
}

const QStringList& FileSearch::pathFolders() {
  if (pathFolders_) return *pathFolders_;
  // Windows 95 starts with its own folder and COMMAND on the path; AUTOEXEC.BAT takes it from there.
  QByteArray path = toAnsi(windowsDirectory_ + QLatin1Char(';') + windowsDirectory_ + QLatin1String("\\COMMAND"));
  if (const auto bytes = fs_.readFile(u"C:\\Autoexec.bat"))
    for (const QByteArray& line : splitLines(*bytes))
      if (auto set = pathSetBy(line, path)) path = *set;
  pathFolders_.emplace();
  for (const QByteArray& entry : path.split(';')) {
    QString folder = fromAnsi(entry.trimmed());
    while (folder.endsWith(QLatin1Char('\\'))) folder.chop(1);
    // A folder without its drive depends on the current one, which no shortcut fixes.
    if (hasDrive(folder)) pathFolders_->append(folder);
  }
  return *pathFolders_;
}

bool FileSearch::foundWhereWindowsLooks(const QString& shortcut, const QString& workingDir, const QString& name) {
  auto there = [&](const QString& path) {
    if (fs_.exists(path)) return true;
    // A program named without its extension is started as DOS finds it.
    if (path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1).contains(QLatin1Char('.'))) return false;
    for (const char* ext : {".COM", ".EXE", ".BAT"})
      if (fs_.exists(path + QLatin1String(ext))) return true;
    return false;
  };
  // "\GAMES\X.EXE" lies on the shortcut's own drive.
  if (name.startsWith(QLatin1Char('\\'))) return there(shortcut.left(2) + name);
  QStringList folders{shortcut.left(shortcut.lastIndexOf(QLatin1Char('\\')))};
  if (hasDrive(workingDir)) folders << workingDir;
  folders << windowsDirectory_ << windowsDirectory_ + QLatin1String("\\SYSTEM") << pathFolders();
  for (const QString& folder : folders)
    if (there(folder + QLatin1Char('\\') + name)) return true;
  return false;
}

bool FileSearch::IsOrphanedShortcut(const QString& path) {
  const ShortcutTarget link = reader_(path);
  // A shortcut that cannot be read says nothing about any target; proposing it because of
  // another file's target would be a guess, so it is kept.
  if (!link.success) return false;
  QString t = link.target;
  if (t.size() < 4) return false;
  if (t.mid(1, 3) == QLatin1String(":\\\"")) {
    t.remove(0, 4);
    t.chop(1);
    if (t.isEmpty()) return false;
  }
  // A program named without its drive ("INT13TST.EXE" in a PIF) runs from whichever folder
  // Windows finds it in; the current folder of this program says nothing about it.
  if (!hasDrive(t) && !t.startsWith(QLatin1String("\\\\"))) return !foundWhereWindowsLooks(path, link.workingDir, t);
  // A share (\\SERVER\SHARE\...) is a network target like a mapped network drive.
  const DriveType type =
      t.startsWith(QLatin1String("\\\\")) ? DriveType::Remote : fs_.driveType(QString(t[0]) + QLatin1String(":\\"));
  if (type == DriveType::Removable && !flags_.floppyShortcuts) return false;
  if (type == DriveType::CdRom && !flags_.cdromShortcuts) return false;
  if (type == DriveType::Remote && !flags_.networkShortcuts) return false;
  // A folder is a target too: a shortcut to an existing folder still works. A target in
  // short names (PROGRA~1) is looked up by them like any other.
  return !fs_.exists(t);
}

void FileSearch::walk(const QString& dir, const Pass& pass) {
  struct Visitor : TreeVisitor {
    FileSearch& s;
    const Pass& pass;
    bool root = true;
    Visitor(FileSearch& s, const Pass& p) : s(s), pass(p) {}
    bool enterFolder(const QString&) override {
      if (!root) {
        ++s.counters_.foldersEntered;
        if (s.view_) s.view_->showProgress(s.counters_.foldersEntered, s.state_.directoryCounter);
      }
      root = false;
      s.pump_.processPendingEvents();
      return !s.state_.cancel;
    }
    bool found(const QString& folder, WalkMatch& match) override {
      // What lies in a drive's recycle bin was removed already, and the bin refuses to take
      // it again: proposing it would list the same files after every clean-up.
      if (folder.size() >= 12 && QStringView(folder).sliced(1, 11).compare(u":\\RECYCLED\\", Qt::CaseInsensitive) == 0)
        return !s.state_.cancel;
      const QString path = folder + match.name;
      if (pass.listed(path, match.size)) s.AddFoundFile(path, match.size);
      return !s.state_.cancel;
    }
  } visitor(*this, pass);
  TreeWalkFilter filter;
  filter.patterns = pass.patterns;
  if (listings_)
    for (const auto& [root, listing] : listings_->drives)
      if (root == dir && listing.walk(filter, visitor)) return;
  fs_.walkTree(dir, filter, visitor);
}

FileSearch::Pass FileSearch::passFor(SearchKind kind) {
  switch (kind) {
    case SearchKind::MscreateDir:
      return {{QStringLiteral("MSCREATE.DIR")}, [](const QString&, qint64 size) { return size == 0; }};
    case SearchKind::Temp:
      return {{flags_.extendedTempSearch ? QStringLiteral("*.TMP") : QStringLiteral("~*.TMP"), QStringLiteral("*.$$$")},
              [](const QString&, qint64) { return true; }};
    case SearchKind::Gid:
      return {{QStringLiteral("*.GID")},
              [this](const QString& path, qint64 size) { return size >= 5 && HasGidSignature(fs_, path); }};
    case SearchKind::Shortcuts:
      return {{QStringLiteral("*.LNK"), QStringLiteral("*.PIF")},
              [this](const QString& path, qint64 size) { return size > 0 && IsOrphanedShortcut(path); }};
    case SearchKind::Win3:
      return {{QStringLiteral("*.GRP")},
              [this](const QString& path, qint64 size) { return size >= 5 && HasGrpSignature(fs_, path); }};
  }
  return {};
}

void FileSearch::SearchMscreateDir(const QString& dir) { walk(dir, passFor(SearchKind::MscreateDir)); }
void FileSearch::SearchTempFiles(const QString& dir) { walk(dir, passFor(SearchKind::Temp)); }
void FileSearch::SearchGidFiles(const QString& dir) { walk(dir, passFor(SearchKind::Gid)); }
void FileSearch::SearchShortcuts(const QString& dir) { walk(dir, passFor(SearchKind::Shortcuts)); }
void FileSearch::SearchWin3Files(const QString& dir) { walk(dir, passFor(SearchKind::Win3)); }

void FileSearch::CheckWin3Programs() {
  if (windowsDirectory_.size() < 2) return;
  const qint64 saved = clusterSize_;
  clusterSize_ = clusterSizeOf(fs_, windowsDirectory_.left(2) + QLatin1String("\\"));
  for (const char* name : {"\\taskman.exe", "\\WinFile.exe"}) {
    const QString path = windowsDirectory_ + QLatin1String(name);
    if (!fs_.isFile(path)) continue;
    // Windows 95 installs programs of these names itself; only those of Windows 3.x, which
    // carry no version or one below 4.0, are left over.
    const std::optional<FixedFileInfo> version = fileVersionInfo(fs_, path);
    if (!version || version->below(4, 0)) AddFoundFile(path, fs_.fileSize(path));
  }
  clusterSize_ = saved;
}

namespace {

QList<QString> fixedDriveRoots(FileSystem& fs) {
  QList<QString> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const QString root = QChar::fromLatin1(letter) + QStringLiteral(":\\");
    if (fs.driveType(root) == DriveType::Fixed) roots << root;
  }
  return roots;
}

}  // namespace

void FileSearch::runPass(SearchKind kind) {
  static const struct {
    const char* german;
    const char* english;
  } statuses[] = {
      {"Suche nach MSCREATE.DIR Dateien", "Searching for MSCREATE.DIR files"},
      {"Suche nach Temporären Dateien", "Searching for temporary files"},
      {"Suche nach GID Dateien", "Searching for GID files"},
      {"Suche nach verwaisten Verknüpfungen", "Searching for lost shortcuts"},
      {"Suche nach Windows 3.x Dateien", "Searching for Windows 3.x files"},
  };
  counters_.foldersEntered = 0;
  pass_ = kind;
  if (view_) {
    view_->showProgress(0, state_.directoryCounter);
    view_->showStatus(text(statuses[int(kind)].german, statuses[int(kind)].english));
  }
  if (kind == SearchKind::Win3) CheckWin3Programs();
  if (kind == SearchKind::Shortcuts) pathFolders_.reset();
  for (const QString& root : fixedDriveRoots(fs_)) {
    clusterSize_ = clusterSizeOf(fs_, root);
    if (view_) view_->showDrive(root);
    switch (kind) {
      case SearchKind::MscreateDir: SearchMscreateDir(root); break;
      case SearchKind::Temp: SearchTempFiles(root); break;
      case SearchKind::Gid: SearchGidFiles(root); break;
      case SearchKind::Shortcuts: SearchShortcuts(root); break;
      case SearchKind::Win3: SearchWin3Files(root); break;
    }
    if (state_.cancel) return;
  }
}

SearchOutcome FileSearch::run(const SearchKinds& kinds) {
  list_.clear();
  list_.kind = ListKind::Files;
  state_.cancel = 0;
  state_.busy = 1;
  state_.directoryCounter = 0;
  counters_ = {};
  if (view_) {
    view_->showProgress(0, 0);
    view_->showCounters(counters_);
    view_->showStatus(text("Initialisiere... Bitte warten...", "Initializing... Please wait..."));
  }
  static constexpr SearchKind order[] = {SearchKind::MscreateDir, SearchKind::Temp, SearchKind::Gid, SearchKind::Shortcuts,
                                         SearchKind::Win3};
  // The count reads every folder anyway: what it keeps of them spares each pass reading
  // them again. It keeps only what some chosen pass's patterns find.
  TreeWalkFilter candidates;
  for (SearchKind k : order)
    if (kinds.has(k))
      for (const QString& pattern : passFor(k).patterns)
        if (!candidates.patterns.contains(pattern)) candidates.patterns << pattern;
  struct Counter : TreeVisitor {
    FileSearch& s;
    explicit Counter(FileSearch& s) : s(s) {}
    bool enterFolder(const QString&) override {
      s.pump_.processPendingEvents();
      return !s.state_.cancel;
    }
    bool found(const QString&, WalkMatch&) override { return true; }
  } counter(*this);
  // Dropped however run() ends: a listing is only as fresh as this search.
  struct Drop {
    std::shared_ptr<Listings>& l;
    ~Drop() { l.reset(); }
  } drop{listings_};
  listings_ = std::make_shared<Listings>();
  for (const QString& root : fixedDriveRoots(fs_)) {
    if (view_) view_->showDrive(root);
    TreeListing& listing = listings_->drives.emplace_back(root, TreeListing()).second;
    fs_.listTree(root, candidates, counter, &listing);
    // Hidden and system folders are walked by the passes but left out of the count.
    state_.directoryCounter += listing.plainFolderCount();
    if (state_.cancel) break;
  }

  SearchKind last = SearchKind::MscreateDir;
  for (SearchKind k : order)
    if (kinds.has(k)) last = k;
  for (SearchKind k : order) {
    if (!kinds.has(k)) continue;
    if (state_.cancel) {
      list_.clear();
      return SearchOutcome::Cancelled;
    }
    runPass(k);
    // A cancel in the last pass shows what was found so far, as the list is complete
    // up to that point and nothing is lost by offering it.
    if (k == last) break;
  }
  state_.busy = 0;
  state_.cancel = 0;
  if (list_.entries.isEmpty()) return SearchOutcome::NothingFound;
  list_.markAll();
  return SearchOutcome::Found;
}

QStringList DeleteMarkedFiles(FileSystem& fs, FileAccess& files, const DeletionList& list, bool toRecycleBin) {
  QStringList left;
  for (int i = 0; i < list.size(); ++i) {
    if (!list.marked[size_t(i)]) continue;
    const QString& path = list.entries[i];
    if (!fs.exists(path)) continue;
    if (fs.isDirectory(path)) {
      left << path;
      continue;
    }
    const quint32 before = fs.attributes(path);
    fs.setAttributes(path, 0);
    const bool removed = toRecycleBin ? files.MoveToRecycleBin(path) : fs.deleteFile(path);
    if (!removed && fs.exists(path)) {
      fs.setAttributes(path, before);
      left << path;
    }
  }
  return left;
}

}  // namespace vt::cleanup
