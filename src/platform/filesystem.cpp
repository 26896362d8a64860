// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/filesystem.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/drivespace.h"
#include "platform/hugepages.h"
#include "platform/hostlookup.h"
#include "platform/imagedrive.h"
#include "platform/shortname.h"
#include "platform/treewalk.h"
#include "platform/wildcard.h"
#include "platform/winpath.h"

#include <QStringList>

#include <algorithm>
#include <limits>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <ctime>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vt {

namespace {

WinError fromErrno(int e, WinError fallback = WinError::AccessDenied) {
  switch (e) {
    case ENOENT: return WinError::FileNotFound;
    case ENOTDIR: return WinError::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return WinError::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return WinError::DiskFull;
    case EEXIST: return WinError::AlreadyExists;
    case ENOTEMPTY: return WinError::DirNotEmpty;
    case EBUSY:
    case ETXTBSY: return WinError::SharingViolation;
    case ENAMETOOLONG: return WinError::InvalidName;
    case EIO: return WinError::WriteFault;
    default: return fallback;
  }
}

bool setHostMtime(const QByteArray& path, const struct timespec& mtime) {
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1] = mtime;
  return ::utimensat(AT_FDCWD, path.constData(), times, 0) == 0;
}

bool readHostFile(const QByteArray& path, QByteArray* out, int* err, qint64 limit = -1) {
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  // Read straight into a buffer of the file's size: a registry file of many megabytes is
  // read at every start, and a copy through a small buffer costs as much again.
  struct stat st;
  qint64 expected = ::fstat(fd, &st) == 0 && st.st_size > 0 ? qint64(st.st_size) : 0;
  if (limit >= 0) expected = std::min(expected, limit);
  QByteArray data(qsizetype(expected), Qt::Uninitialized);
  adviseHugePages(data);
  qsizetype used = 0;
  for (;;) {
    const qint64 room = limit >= 0 ? limit - used : std::numeric_limits<qint64>::max();
    if (room <= 0) break;
    char probe[4096];
    // Past the size the file had, a small buffer finds out whether it has grown since.
    char* at = used < data.size() ? data.data() + used : probe;
    const qint64 want = std::min<qint64>(room, at == probe ? qint64(sizeof probe) : data.size() - used);
    const ssize_t n = ::read(fd, at, size_t(want));
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    if (at == probe) {
      data.truncate(used);
      data.append(probe, n);
    }
    used += n;
  }
  ::close(fd);
  data.truncate(used);
  *out = std::move(data);
  return true;
}

}  // namespace

// What the machine keeps between calls: the folders' listings (hostlookup.h), the bytes
// each drive uses (drivespace.h) and the working copies of the disk images.
struct FileSystem::Caches {
  Caches(const QString& machineFolder, const std::map<QChar, DriveInfo>& drives, AttributeStore& attrs)
      : host(machineFolder.toUtf8(), drives, attrs) {}
  HostLookup host;
  DriveSpace space;
  std::map<QChar, std::unique_ptr<ImageDrive>> images;
};

class DirSearch : public FileSearch {
 public:
  ~DirSearch() override {
    if (listing) ::closedir(listing);
  }
  DIR* listing = nullptr;  // kept open so that entries are stat'ed relative to it
  const DriveInfo* drive = nullptr;
  QByteArray dir;
  quint32 mask = 0;
  std::vector<QByteArray> names;                      // host names that match the pattern, in directory order
  std::optional<QHash<QByteArray, QString>> aliases;  // the folder's, once one is asked for
  size_t next = 0;
  QStringList dots;  // "." and "..", while they are still to come
};

class FileSystemPrivate {
 public:
  explicit FileSystemPrivate(FileSystem& fs) : fs(fs) {}
  FileSystem& fs;

  bool fail(WinError e) {
    fs.lastError_ = e;
    return false;
  }
  bool ok() {
    fs.lastError_ = WinError::Success;
    return true;
  }
  HostLookup& host() { return fs.caches_->host; }
  DriveSpace& space() { return fs.caches_->space; }

  bool parse(QStringView in, WinPath* out, QString* pattern = nullptr) {
    WinError err = WinError::Success;
    if (parseWinPath(fs.currentDirectory_, in, out, &err, pattern)) return true;
    return fail(err);
  }

  const DriveInfo* driveFor(QChar letter) {
    const DriveInfo* d = fs.drive(letter);
    if (!d) {
      fail(WinError::PathNotFound);
      return nullptr;
    }
    if (!d->ready) {
      fail(WinError::NotReady);
      return nullptr;
    }
    return d;
  }

  bool rootNode(const DriveInfo& d, Node* out) {
    out->host = out->entry = d.hostRoot.toUtf8();
    out->root = true;
    if (::stat(out->host.constData(), &out->st) != 0 || !S_ISDIR(out->st.st_mode)) return fail(WinError::PathNotFound);
    return true;
  }

  // Resolves the first `count` names of `p`; -1 for all of them. `names` receives each
  // entry's host name and `aliases` its alias, when asked for.
  bool walk(const WinPath& p, qsizetype count, Node* out, const DriveInfo** drive = nullptr, QStringList* names = nullptr,
            QStringList* aliases = nullptr, bool typeOnly = false) {
    const DriveInfo* d = driveFor(p.drive);
    if (!d) return false;
    if (drive) *drive = d;
    if (count < 0) count = p.parts.size();
    Node root, cur;
    if (!rootNode(*d, &root)) return false;
    std::vector<QByteArray> entries;
    const qsizetype found = host().lookupPath(root, p.parts, count, &cur, names || aliases ? &entries : nullptr, typeOnly);
    if (found < count) return fail(!cur.isDir() || found < p.parts.size() - 1 ? WinError::PathNotFound : WinError::FileNotFound);
    for (const QByteArray& entry : entries) {
      const qsizetype slash = entry.lastIndexOf('/');
      const QByteArray entryName = entry.mid(slash + 1);
      if (names) names->append(QString::fromUtf8(entryName));
      if (aliases) aliases->append(host().aliasOf(entry.left(slash), entryName));
    }
    *out = std::move(cur);
    return ok();
  }

  // GetShortPathName and GetLongPathName: the path with every name as its entry's alias
  // or its long name.
  std::optional<QString> spelled(QStringView winPath, bool shortNames) {
    WinPath p;
    Node n;
    QStringList names;
    if (!parse(winPath, &p) || !walk(p, -1, &n, nullptr, shortNames ? nullptr : &names, shortNames ? &names : nullptr))
      return std::nullopt;
    return QString(p.drive) + QStringLiteral(":\\") + names.join(QLatin1Char('\\'));
  }

  // `typeOnly`: for the questions that need of the entry only whether it is there and is a folder.
  bool resolve(QStringView winPath, Node* out, const DriveInfo** drive = nullptr, bool typeOnly = false) {
    WinPath p;
    return parse(winPath, &p) && walk(p, -1, out, drive, nullptr, nullptr, typeOnly);
  }

  // Where a file or folder named by `p` goes: the parent must exist. `existing` is set
  // when an entry of that name (in any case) is there already; `fresh` is the host path
  // for a new entry, spelt as the caller wrote it.
  struct Target {
    const DriveInfo* drive = nullptr;
    Node parent;
    std::optional<Node> existing;
    QByteArray fresh;
    QByteArray hostPath() const { return existing ? existing->host : fresh; }
  };
  bool target(const WinPath& p, Target* t) {
    if (p.parts.isEmpty()) return fail(WinError::AccessDenied);
    if (!walk(p, p.parts.size() - 1, &t->parent, &t->drive)) {
      if (fs.lastError_ == WinError::FileNotFound) fs.lastError_ = WinError::PathNotFound;
      return false;
    }
    if (!t->parent.isDir()) return fail(WinError::PathNotFound);
    t->fresh = t->parent.host + '/' + p.parts.last().toUtf8();
    Node n;
    if (host().lookup(t->parent.host, p.parts.last(), &n)) {
      t->existing = std::move(n);
    } else if (host().heldOutOfSight(t->parent.host, p.parts.last())) {
      // Never write through or over what Windows cannot see, nor beside it.
      return fail(WinError::AccessDenied);
    }
    return ok();
  }

  // A drive backed by an image refuses changes as a write-protected disk does.
  bool mayWrite(const DriveInfo* d) {
    if (d->image.isEmpty()) return true;
    const WinError e = fs.caches_->images.at(d->letter)->writable();
    return e == WinError::Success || fail(e);
  }
  // After a change on the drive: an image-backed drive writes it into its image, or undoes
  // it in the working copy when the image cannot take it.
  bool committed(const DriveInfo* d) {
    if (d->image.isEmpty()) return ok();
    const WinError e = fs.caches_->images.at(d->letter)->commit(fs.drives_.at(d->letter));
    if (e == WinError::Success) return ok();
    host().forgetAll();
    space().forget(d->letter);
    return fail(e);
  }

  quint32 attributesOf(const Node& n, const DriveInfo* d) const { return vt::attributesOf(n, d, *fs.attrs_); }

  // Gives a file that has further host names its own copy (contents, permissions,
  // extended attributes and time kept), so that changing what the host keeps per file
  // (the write permission, extended attributes, the time) stays with this name.
  bool ownCopy(Node& n) {
    if (n.isDir() || n.st.st_nlink <= 1) return true;
    QByteArray bytes;
    int err = 0;
    if (!readHostFile(n.host, &bytes, &err)) return fail(fromErrno(err, WinError::ReadFault));
    // The atomic write needs the file writable only for a moment: the rename replaces it.
    if (!writeFileAtomically(QString::fromUtf8(n.host), bytes, &err)) return fail(fromErrno(err, WinError::WriteFault));
    setHostMtime(n.host, n.st.st_mtim);
    if (::stat(n.host.constData(), &n.st) != 0) return fail(fromErrno(errno));
    return true;
  }

  // What writing `newSize` bytes over the found file (or none) changes in the bytes used.
  void usedByWrite(const DriveInfo* d, const std::optional<Node>& existing, qint64 newSize) {
    // The target of a link may be counted on any drive.
    if (existing && existing->isLink()) return space().forgetAll();
    space().replaced(*d, existing ? qint64(existing->st.st_size) : 0, newSize);
  }

  // Copies a file's contents to `dest` atomically and gives it the source's time.
  bool copyContents(const Node& src, const QByteArray& dest) {
    QByteArray bytes;
    int err = 0;
    if (!readHostFile(src.host, &bytes, &err)) return fail(fromErrno(err, WinError::ReadFault));
    if (!writeFileAtomically(QString::fromUtf8(dest), bytes, &err)) return fail(fromErrno(err, WinError::WriteFault));
    setHostMtime(dest, src.st.st_mtim);
    return true;
  }

  // Total and free bytes of the drive a root path names.
  bool driveSpace(QStringView rootPath, const DriveInfo** drive, qint64* total, qint64* free) {
    QChar letter;
    if (!driveLetterOf(fs.currentDirectory_, rootPath, &letter)) return fail(WinError::PathNotFound);
    const DriveInfo* d = driveFor(letter);
    if (!d) return false;
    *drive = d;
    if (!space().space(*d, total, free)) return fail(WinError::PathNotFound);
    return ok();
  }

  // Moves one search on to its next entry Windows may see under the search's mask.
  bool advance(DirSearch& s, FindData* out) {
    if (!s.dots.isEmpty()) {
      const QString dot = s.dots.takeFirst();
      struct stat st;
      if (::stat((s.dir + '/' + dot.toLatin1()).constData(), &st) != 0) st = {};
      *out = FindData{dot, AttrDirectory, 0, hostTime(st.st_mtim), {}};
      return true;
    }
    constexpr quint32 special = AttrHidden | AttrSystem | AttrDirectory | AttrVolume;
    while (s.next < s.names.size()) {
      const QByteArray& name = s.names[s.next++];
      Node n;
      const int dirFd = s.listing ? ::dirfd(s.listing) : -1;
      if (!host().visit(s.dir + '/' + name, &n, dirFd, name.constData())) continue;
      const quint32 attrs = attributesAt(n, s.drive, *fs.attrs_, dirFd, name);
      if (attrs & special & ~s.mask) continue;
      out->name = QString::fromUtf8(name);
      out->alternate.clear();
      if (!shortname::isAlias(out->name)) {
        if (!s.aliases) s.aliases = host().aliasesIn(s.dir);
        out->alternate = s.aliases->value(name);
      }
      out->attributes = attrs;
      out->size = n.isDir() ? 0 : qint64(n.st.st_size);
      out->lastWrite = hostTime(n.st.st_mtim);
      return true;
    }
    return false;
  }
};

// -------------------------------------------------------------------------------

FileSystem::FileSystem(QString machineFolder, std::map<QChar, DriveInfo> drives, std::unique_ptr<AttributeStore> attributes)
    : machineFolder_(std::move(machineFolder)), drives_(std::move(drives)), attrs_(std::move(attributes)) {
  while (machineFolder_.size() > 1 && machineFolder_.endsWith(QLatin1Char('/'))) machineFolder_.chop(1);
  caches_ = std::make_unique<Caches>(machineFolder_, drives_, *attrs_);
  for (auto& [letter, d] : drives_) {
    if (d.image.isEmpty()) continue;
    d.ready = false;
    caches_->images[letter] = std::make_unique<ImageDrive>(machineFolder_, d.image, d.hostRoot, *attrs_);
  }
}

bool FileSystem::insertImage(QChar letter, const QString& image, const QString& workingCopy) {
  auto d = drives_.find(letter.toUpper());
  if (d == drives_.end() || d->second.type != DriveType::Removable) return false;
  auto& slot = caches_->images[d->first];
  if (slot && slot->held()) return false;
  d->second.image = image;
  d->second.hostRoot = workingCopy;
  d->second.ready = false;
  slot = std::make_unique<ImageDrive>(machineFolder_, image, workingCopy, *attrs_);
  caches_->host.forgetAll();
  caches_->space.forget(d->first);
  return true;
}

void FileSystem::holdImage(QChar letter) {
  followImages(letter);
  if (auto it = caches_->images.find(letter); it != caches_->images.end()) it->second->hold();
}

bool FileSystem::heldImageFits(QChar letter) {
  auto it = caches_->images.find(letter);
  return it == caches_->images.end() || !it->second->held() || it->second->heldChangesFit();
}

bool FileSystem::releaseImage(QChar letter, bool write) {
  FileSystemPrivate p(*this);
  auto it = caches_->images.find(letter);
  if (it == caches_->images.end() || !it->second->held()) return p.ok();
  const WinError e = it->second->release(drives_.at(letter), write);
  // The working copy may have been read from the image again.
  p.host().forgetAll();
  caches_->space.forget(letter);
  return e == WinError::Success ? p.ok() : p.fail(e);
}

void FileSystem::followImages(QChar letter) const {
  for (auto& [l, image] : caches_->images) {
    if (!letter.isNull() && l != letter) continue;
    if (image->refresh(drives_.at(l))) {
      caches_->host.forgetAll();
      caches_->space.forget(l);
    }
  }
}

const std::map<QChar, DriveInfo>& FileSystem::drives() const {
  followImages(QChar());
  return drives_;
}

FileSystem::~FileSystem() = default;

QString FileSystem::fullPath(QStringView winPath) const {
  WinPath p;
  WinError err = WinError::Success;
  if (!parseWinPath(currentDirectory_, winPath, &p, &err, nullptr, true)) return {};
  QString out = QString(p.drive) + QStringLiteral(":\\");
  out += p.parts.join(QLatin1Char('\\'));
  return out;
}

void FileSystem::setCurrentDirectory(const QString& winDir) {
  const QString full = fullPath(winDir);
  if (!full.isEmpty()) currentDirectory_ = full;
}

std::optional<QString> FileSystem::hostPath(QStringView winPath) {
  FileSystemPrivate d(*this);
  Node n;
  if (!d.resolve(winPath, &n)) return std::nullopt;
  return QString::fromUtf8(n.host);
}

std::optional<QString> FileSystem::shortPathName(QStringView winPath) { return FileSystemPrivate(*this).spelled(winPath, true); }

std::optional<QString> FileSystem::longPathName(QStringView winPath) { return FileSystemPrivate(*this).spelled(winPath, false); }

std::optional<QString> FileSystem::hostPathForCreate(QStringView winPath) {
  FileSystemPrivate d(*this);
  WinPath p;
  FileSystemPrivate::Target t;
  if (!d.parse(winPath, &p) || !d.target(p, &t)) return std::nullopt;
  return QString::fromUtf8(t.hostPath());
}

const DriveInfo* FileSystem::drive(QChar letter) const {
  if (!caches_->images.empty()) followImages(letter.toUpper());
  auto it = drives_.find(letter.toUpper());
  return it == drives_.end() ? nullptr : &it->second;
}

DriveType FileSystem::driveType(QStringView rootPath) const {
  QChar letter;
  if (!driveLetterOf(currentDirectory_, rootPath, &letter)) return DriveType::NoRootDir;
  const DriveInfo* d = drive(letter);
  return d ? d->type : DriveType::NoRootDir;
}

bool FileSystem::diskFreeSpace(QStringView rootPath, quint32* sectorsPerCluster, quint32* bytesPerSector, quint32* freeClusters,
                               quint32* totalClusters) {
  FileSystemPrivate p(*this);
  const DriveInfo* d = nullptr;
  qint64 total = 0, free = 0;
  if (!p.driveSpace(rootPath, &d, &total, &free)) return false;
  const ReportedClusters clusters = reportedClusters(*d, total, free);
  if (sectorsPerCluster) *sectorsPerCluster = d->sectorsPerCluster;
  if (bytesPerSector) *bytesPerSector = d->bytesPerSector;
  if (totalClusters) *totalClusters = clusters.total;
  if (freeClusters) *freeClusters = clusters.free;
  return true;
}

bool FileSystem::diskFreeSpaceEx(QStringView rootPath, qint64* freeBytes, qint64* totalBytes) {
  FileSystemPrivate p(*this);
  const DriveInfo* d = nullptr;
  qint64 total = 0, free = 0;
  if (!p.driveSpace(rootPath, &d, &total, &free)) return false;
  if (freeBytes) *freeBytes = free;
  if (totalBytes) *totalBytes = total;
  return true;
}

bool FileSystem::volumeInformation(QStringView rootPath, QString* label, QString* fileSystem) {
  FileSystemPrivate p(*this);
  QChar letter;
  if (!driveLetterOf(currentDirectory_, rootPath, &letter)) return p.fail(WinError::PathNotFound);
  const DriveInfo* d = p.driveFor(letter);
  if (!d) return false;
  if (label) *label = d->label;
  if (fileSystem) *fileSystem = d->fileSystem;
  return p.ok();
}

std::unique_ptr<FileSearch> FileSystem::findFirst(QStringView pattern, quint32 attrMask, FindData* out) {
  FileSystemPrivate p(*this);
  WinPath folder;
  QString name;
  if (!p.parse(pattern, &folder, &name)) return nullptr;
  Node dir;
  const DriveInfo* drive = nullptr;
  if (!p.walk(folder, -1, &dir, &drive)) {
    if (lastError_ == WinError::FileNotFound) lastError_ = WinError::PathNotFound;
    return nullptr;
  }
  if (!dir.isDir()) {
    p.fail(WinError::PathNotFound);
    return nullptr;
  }
  auto s = std::make_unique<DirSearch>();
  s->drive = drive;
  s->dir = dir.host;
  s->mask = attrMask;
  const WildcardPattern wild(name);
  const bool dotName = name == QLatin1String(".") || name == QLatin1String("..");
  if (!dir.root && (attrMask & AttrDirectory)) {
    for (const char* dot : {".", ".."})
      if (dotName ? name == QLatin1String(dot) : wild.matches(QString::fromLatin1(dot))) s->dots.append(QLatin1String(dot));
  }
  if (name.isEmpty() || dotName) {
    // Nothing more to list.
  } else if (!wild.hasWildcards()) {
    // A plain name is a lookup, not a listing, however large the folder.
    const QString plain = withoutTrailingDots(name);
    Node n;
    if (!plain.isEmpty() && !startsWithTempPrefix(plain) && p.host().lookup(dir.host, plain, &n)) {
      const qsizetype slash = n.entry.lastIndexOf('/');
      s->names.push_back(n.entry.mid(slash + 1));
    }
  } else {
    s->listing = ::opendir(dir.host.constData());
    if (!s->listing) {
      p.fail(fromErrno(errno, WinError::PathNotFound));
      return nullptr;
    }
    while (const dirent* e = ::readdir(s->listing)) {
      if (isHiddenHostName(e->d_name) || p.host().isAttributeFile(s->dir, e->d_name)) continue;
      if (wild.matches(QString::fromUtf8(e->d_name))) s->names.emplace_back(e->d_name);
    }
  }
  if (!p.advance(*s, out)) {
    p.fail(WinError::FileNotFound);
    return nullptr;
  }
  p.ok();
  return s;
}

namespace {

// Enters `root` as a tree walk starts, then hands the open root folder to `walk`.
template <class Walk>
bool walkFrom(FileSystemPrivate& p, QStringView root, TreeVisitor& visitor, Walk walk) {
  QString folder = root.toString();
  if (!folder.endsWith(QLatin1Char('\\')) && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('\\');
  if (!visitor.enterFolder(folder)) return p.ok();
  WinPath wp;
  QString none;
  if (!p.parse(folder, &wp, &none)) return false;
  Node dir;
  const DriveInfo* drive = nullptr;
  if (!p.walk(wp, -1, &dir, &drive)) {
    if (p.fs.lastError() == WinError::FileNotFound) p.fail(WinError::PathNotFound);
    return false;
  }
  if (!dir.isDir()) return p.fail(WinError::PathNotFound);
  const int fd = ::open(dir.host.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return p.fail(fromErrno(errno, WinError::PathNotFound));
  walk(fd, dir, drive, folder);
  return p.ok();
}

}  // namespace

bool FileSystem::walkTree(QStringView root, const TreeWalkFilter& filter, TreeVisitor& visitor) {
  FileSystemPrivate p(*this);
  return walkFrom(p, root, visitor, [&](int fd, const Node& dir, const DriveInfo* drive, const QString& folder) {
    walkHostTree(caches_->host, *attrs_, drive, filter, visitor, fd, dir, folder);
  });
}

bool FileSystem::listTree(QStringView root, const TreeWalkFilter& filter, TreeVisitor& visitor, TreeListing* out) {
  FileSystemPrivate p(*this);
  QString folder = root.toString();
  if (!folder.endsWith(QLatin1Char('\\')) && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('\\');
  listUnsearchable(folder, out);
  return walkFrom(p, root, visitor, [&](int fd, const Node& dir, const DriveInfo* drive, const QString& win) {
    listHostTree(caches_->host, *attrs_, drive, filter, visitor, fd, dir, win, out);
  });
}

bool FileSystem::findNext(FileSearch& search, FindData* out) {
  FileSystemPrivate p(*this);
  if (!p.advance(static_cast<DirSearch&>(search), out)) return p.fail(WinError::NoMoreFiles);
  return p.ok();
}

bool FileSystem::exists(QStringView winPath) {
  Node n;
  return FileSystemPrivate(*this).resolve(winPath, &n, nullptr, true);
}

bool FileSystem::isDirectory(QStringView winPath) {
  Node n;
  return FileSystemPrivate(*this).resolve(winPath, &n, nullptr, true) && n.isDir();
}

bool FileSystem::isFile(QStringView winPath) {
  Node n;
  return FileSystemPrivate(*this).resolve(winPath, &n, nullptr, true) && !n.isDir();
}

quint32 FileSystem::attributes(QStringView winPath) {
  FileSystemPrivate p(*this);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return kInvalidAttributes;
  return p.attributesOf(n, d);
}

bool FileSystem::setAttributes(QStringView winPath, quint32 attrs) {
  FileSystemPrivate p(*this);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return false;
  if (n.root || readOnlyMedium(d)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(d) || !p.ownCopy(n)) return false;
  if (!attrs_->set(QString::fromUtf8(n.host), attrs & AttrSettable)) return p.fail(WinError::AccessDenied);
  return p.committed(d);
}

qint64 FileSystem::fileSize(QStringView winPath) {
  Node n;
  if (!FileSystemPrivate(*this).resolve(winPath, &n)) return -1;
  return n.isDir() ? 0 : qint64(n.st.st_size);
}

QDateTime FileSystem::lastWriteTime(QStringView winPath) {
  Node n;
  if (!FileSystemPrivate(*this).resolve(winPath, &n)) return {};
  return hostTime(n.st.st_mtim);
}

bool FileSystem::setLastWriteTime(QStringView winPath, const QDateTime& utc) {
  FileSystemPrivate p(*this);
  if (!utc.isValid()) return p.fail(WinError::InvalidParameter);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return false;
  // Setting a file's time takes opening it for writing, which a read-only file refuses.
  if (!p.mayWrite(d)) return false;
  if (readOnlyMedium(d) || (!n.isDir() && (p.attributesOf(n, d) & AttrReadOnly))) return p.fail(WinError::AccessDenied);
  if (!p.ownCopy(n)) return false;
  const qint64 ms = utc.toMSecsSinceEpoch();
  struct timespec ts;
  ts.tv_sec = time_t(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
  ts.tv_nsec = long(ms - qint64(ts.tv_sec) * 1000) * 1000000;
  if (!setHostMtime(n.host, ts)) return p.fail(fromErrno(errno));
  return p.committed(d);
}

std::optional<QByteArray> FileSystem::readFile(QStringView winPath, qint64 maxBytes) {
  FileSystemPrivate p(*this);
  Node n;
  if (!p.resolve(winPath, &n)) return std::nullopt;
  if (n.isDir()) {
    p.fail(WinError::AccessDenied);
    return std::nullopt;
  }
  QByteArray bytes;
  int err = 0;
  if (!readHostFile(n.host, &bytes, &err, maxBytes)) {
    p.fail(fromErrno(err, WinError::ReadFault));
    return std::nullopt;
  }
  p.ok();
  return bytes;
}

std::optional<QByteArray> FileSystem::readHostPath(const QString& hostPath, WinError* error) {
  QByteArray bytes;
  int err = 0;
  if (readHostFile(hostPath.toUtf8(), &bytes, &err)) return bytes;
  *error = fromErrno(err, WinError::ReadFault);
  return std::nullopt;
}

bool FileSystem::writeFile(QStringView winPath, const QByteArray& bytes) {
  FileSystemPrivate p(*this);
  WinPath wp;
  FileSystemPrivate::Target t;
  if (!p.parse(winPath, &wp) || !p.target(wp, &t)) return false;
  if (readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(t.drive)) return false;
  if (t.existing && (t.existing->isDir() || (p.attributesOf(*t.existing, t.drive) & AttrReadOnly)))
    return p.fail(WinError::AccessDenied);
  const QByteArray dest = t.hostPath();
  const quint32 kept = t.existing ? p.attributesOf(*t.existing, t.drive) & AttrSettable : 0;
  int err = 0;
  if (!writeFileAtomically(QString::fromUtf8(dest), bytes, &err)) return p.fail(fromErrno(err, WinError::WriteFault));
  // Windows marks every file it writes for the next backup, whatever else the file keeps.
  attrs_->set(QString::fromUtf8(dest), kept | AttrArchive);
  p.host().forget(t.parent.host);
  p.usedByWrite(t.drive, t.existing, bytes.size());
  return p.committed(t.drive);
}

bool FileSystem::copyFile(QStringView from, QStringView to, bool failIfExists) {
  FileSystemPrivate p(*this);
  Node src;
  WinPath wp;
  FileSystemPrivate::Target t;
  if (!p.resolve(from, &src)) return false;
  if (src.isDir()) return p.fail(WinError::AccessDenied);
  if (!p.parse(to, &wp) || !p.target(wp, &t)) return false;
  if (readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(t.drive)) return false;
  if (t.existing) {
    if (failIfExists) return p.fail(WinError::FileExists);
    const Node& e = *t.existing;
    if (e.isDir() || (p.attributesOf(e, t.drive) & AttrReadOnly)) return p.fail(WinError::AccessDenied);
    if (e.st.st_dev == src.st.st_dev && e.st.st_ino == src.st.st_ino) return p.fail(WinError::SharingViolation);
  }
  const QByteArray dest = t.hostPath();
  if (!p.copyContents(src, dest)) return false;
  attrs_->set(QString::fromUtf8(dest), AttrArchive);
  p.host().forget(t.parent.host);
  p.usedByWrite(t.drive, t.existing, src.st.st_size);
  return p.committed(t.drive);
}

bool FileSystem::deleteFile(QStringView winPath) {
  FileSystemPrivate p(*this);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return false;
  if (!n.root && !n.isDir() && !p.mayWrite(d)) return false;
  if (n.root || n.isDir() || readOnlyMedium(d) || (p.attributesOf(n, d) & AttrReadOnly)) return p.fail(WinError::AccessDenied);
  // A link goes, never what it points to.
  if (::unlink(n.entry.constData()) != 0) return p.fail(fromErrno(errno));
  p.host().forget(parentOf(n.entry));
  if (!n.isLink()) {
    attrs_->removed(QString::fromUtf8(n.host));
    p.space().changed(*d, -inClusters(n.st.st_size, *d));
  }
  return p.committed(d);
}

bool FileSystem::moveFile(QStringView from, QStringView to) {
  FileSystemPrivate p(*this);
  WinPath src, dst;
  Node n;
  const DriveInfo* srcDrive = nullptr;
  FileSystemPrivate::Target t;
  if (!p.parse(from, &src) || !p.walk(src, -1, &n, &srcDrive)) return false;
  if (!p.parse(to, &dst) || !p.target(dst, &t)) return false;
  if (n.root || readOnlyMedium(srcDrive) || readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(srcDrive) || !p.mayWrite(t.drive)) return false;
  if (t.existing) {
    if (t.existing->entry != n.entry) return p.fail(WinError::AlreadyExists);
    if (t.fresh == n.entry) return p.ok();  // the same name: nothing to do
    // Otherwise only the case changes ("readme.txt" -> "README.TXT").
  }
  const bool sameDrive = src.drive == dst.drive;
  if (n.isDir()) {
    // Windows moves folders only within a drive, and never into themselves.
    if (!sameDrive || isUnder(t.parent.host, n.host)) return p.fail(WinError::AccessDenied);
  }
  const QString fromHost = QString::fromUtf8(n.host);
  if (!sameDrive && (!srcDrive->image.isEmpty() || !t.drive->image.isEmpty())) {
    // To or from a disk image, the file is copied first and leaves its old place only when
    // its new one took it, so that a disk that cannot take it loses nothing.
    const quint32 attrs = p.attributesOf(n, srcDrive) & AttrSettable;
    if (!p.copyContents(n, t.fresh)) return false;
    attrs_->set(QString::fromUtf8(t.fresh), attrs);
    p.host().forget(t.parent.host);
    p.space().forgetAll();
    if (!p.committed(t.drive)) return false;
    if (::unlink(n.entry.constData()) != 0) return p.fail(fromErrno(errno));
    p.host().forget(parentOf(n.entry));
    if (!n.isLink()) attrs_->removed(fromHost);
    return p.committed(srcDrive);
  }
  // Whatever happens below, both folders may have changed.
  if (n.isDir()) {
    p.host().forgetAll();
  } else {
    p.host().forget(parentOf(n.entry));
    p.host().forget(t.parent.host);
  }
  if (::rename(n.entry.constData(), t.fresh.constData()) == 0) {
    if (!n.isLink()) {
      attrs_->moved(fromHost, QString::fromUtf8(t.fresh));
      if (!sameDrive) {
        p.space().changed(*srcDrive, -inClusters(n.st.st_size, *srcDrive));
        p.space().changed(*t.drive, inClusters(n.st.st_size, *t.drive));
      }
    }
    return p.committed(srcDrive);
  }
  if (errno != EXDEV || n.isDir()) return p.fail(fromErrno(errno));
  // Across host file systems a file goes by copy and delete, its attributes along.
  p.space().forgetAll();
  const quint32 attrs = p.attributesOf(n, srcDrive) & AttrSettable;
  if (!p.copyContents(n, t.fresh)) return false;
  attrs_->set(QString::fromUtf8(t.fresh), attrs);
  if (::unlink(n.entry.constData()) != 0) return p.fail(fromErrno(errno));
  if (!n.isLink()) attrs_->removed(fromHost);
  return p.ok();
}

bool FileSystem::createDirectory(QStringView winPath) {
  FileSystemPrivate p(*this);
  WinPath wp;
  FileSystemPrivate::Target t;
  if (!p.parse(winPath, &wp)) return false;
  if (wp.parts.isEmpty()) {
    Node root;
    return p.walk(wp, -1, &root) && p.fail(WinError::AlreadyExists);
  }
  if (!p.target(wp, &t)) return false;
  if (t.existing) return p.fail(WinError::AlreadyExists);
  if (readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(t.drive)) return false;
  if (::mkdir(t.fresh.constData(), 0777) != 0) return p.fail(fromErrno(errno));
  p.host().forget(t.parent.host);
  return p.committed(t.drive);
}

bool FileSystem::createDirectories(QStringView winPath) {
  FileSystemPrivate p(*this);
  WinPath wp;
  Node cur;
  const DriveInfo* d = nullptr;
  if (!p.parse(winPath, &wp)) return false;
  if (!p.walk(wp, 0, &cur, &d)) return false;
  bool made = false;
  for (qsizetype i = 0; i < wp.parts.size(); ++i) {
    if (!cur.isDir()) return p.fail(WinError::PathNotFound);
    Node child;
    if (!p.host().lookup(cur.host, wp.parts[i], &child)) {
      if (readOnlyMedium(d) || p.host().heldOutOfSight(cur.host, wp.parts[i])) return p.fail(WinError::AccessDenied);
      if (!p.mayWrite(d)) return false;
      made = true;
      const QByteArray fresh = cur.host + '/' + wp.parts[i].toUtf8();
      p.host().forget(cur.host);
      if (::mkdir(fresh.constData(), 0777) != 0 && errno != EEXIST) return p.fail(fromErrno(errno));
      if (!p.host().visit(fresh, &child)) return p.fail(WinError::AccessDenied);
    }
    cur = std::move(child);
  }
  if (!cur.isDir()) return p.fail(WinError::AlreadyExists);
  return made ? p.committed(d) : p.ok();
}

bool FileSystem::removeDirectory(QStringView winPath) {
  FileSystemPrivate p(*this);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return false;
  if (n.root || !n.isDir() || readOnlyMedium(d)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(d)) return false;
  DIR* dir = ::opendir(n.host.constData());
  if (!dir) return p.fail(fromErrno(errno));
  // Leftovers of interrupted writes are ours; Windows would call the folder empty.
  QList<QByteArray> leftovers;
  bool empty = true;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    if (isHiddenHostName(e->d_name)) {
      leftovers.append(n.host + '/' + QByteArray(e->d_name));
      continue;
    }
    empty = false;
    break;
  }
  ::closedir(dir);
  if (!empty) return p.fail(WinError::DirNotEmpty);
  p.host().forgetAll();
  if (n.isLink()) {
    if (::unlink(n.entry.constData()) != 0) return p.fail(fromErrno(errno));
    return p.ok();
  }
  for (const QByteArray& l : leftovers) ::unlink(l.constData());
  if (::rmdir(n.host.constData()) != 0) return p.fail(fromErrno(errno));
  attrs_->removed(QString::fromUtf8(n.host));
  return p.committed(d);
}

bool FileSystem::importHostFile(const QString& hostFile, QStringView winPath) {
  FileSystemPrivate p(*this);
  const QByteArray source = hostFile.toUtf8();
  struct stat st;
  if (::stat(source.constData(), &st) != 0) return p.fail(fromErrno(errno, WinError::FileNotFound));
  if (!S_ISREG(st.st_mode)) return p.fail(WinError::AccessDenied);
  WinPath wp;
  FileSystemPrivate::Target t;
  // The host side fills CD-ROMs and may replace read-only files; only folders are in the way.
  if (!p.parse(winPath, &wp) || !p.target(wp, &t)) return false;
  if (t.existing && t.existing->isDir()) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(t.drive)) return false;
  Node src;
  src.host = src.entry = source;
  src.st = st;
  const QByteArray dest = t.hostPath();
  // What the file itself keeps: a CD-ROM's read-only is the medium's, not the file's.
  const quint32 kept = t.existing ? attrs_->get(QString::fromUtf8(dest)).value_or(0) & AttrSettable : 0;
  if (!p.copyContents(src, dest)) return false;
  attrs_->set(QString::fromUtf8(dest), kept | AttrArchive);
  p.host().forget(t.parent.host);
  p.usedByWrite(t.drive, t.existing, st.st_size);
  return p.committed(t.drive);
}

bool FileSystem::exportHostFile(QStringView winPath, const QString& hostFile) {
  FileSystemPrivate p(*this);
  Node n;
  if (!p.resolve(winPath, &n)) return false;
  if (n.isDir()) return p.fail(WinError::AccessDenied);
  if (!p.copyContents(n, hostFile.toUtf8())) return false;
  return p.ok();
}

}  // namespace vt
