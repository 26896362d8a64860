#include "platform/filesystem.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/imagedrive.h"
#include "platform/wildcard.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <ctime>
#include <unistd.h>
#include <set>
#include <utility>
#include <vector>

namespace vt {

namespace {

// Windows 95's GetDiskFreeSpace never reported more than this: 65526 clusters of 32 KB,
// the largest FAT16 volume. Programs of the time multiply the counts in 32 bits, so
// larger figures would wrap for them; GetDiskFreeSpaceEx gives the true numbers.
constexpr qint64 kMaxReportedDiskBytes = 65526LL * 32768;

constexpr int kMaxNameLength = 255;

// A Windows path split into its drive and its names, "." and ".." already folded away.
struct WinPath {
  QChar drive;
  QStringList parts;
};

// One file or folder found on the host.
struct Node {
  QByteArray host;   // the file or folder itself (a link inside the machine followed)
  QByteArray entry;  // the directory entry naming it; differs from host for a link
  struct stat st = {};
  bool root = false;

  bool isDir() const { return S_ISDIR(st.st_mode); }
  bool isLink() const { return entry != host; }
};

bool isAsciiLetter(QChar c) {
  const char16_t u = c.unicode();
  return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
}

bool hasInvalidChar(QStringView name, bool allowWildcards) {
  for (QChar c : name) {
    switch (c.unicode()) {
      case '"': case '<': case '>': case '|': case ':': return true;
      case '*': case '?':
        if (!allowWildcards) return true;
        break;
      default:
        if (c.unicode() < 0x20) return true;
    }
  }
  return false;
}

// Windows 95 opens these devices whatever folder or extension the name carries.
bool isDeviceName(QStringView name) {
  const qsizetype dot = name.indexOf(QLatin1Char('.'));
  QStringView base = dot >= 0 ? name.first(dot) : name;
  while (base.endsWith(QLatin1Char(' '))) base.chop(1);
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$"};
  for (const char* d : devices)
    if (namesEqualNoCase(base, QString::fromLatin1(d))) return true;
  if (base.size() == 4 && (namesEqualNoCase(base.first(3), u"COM") || namesEqualNoCase(base.first(3), u"LPT")))
    return base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
  return false;
}

bool startsWithTempPrefix(QStringView name) {
  static const QString prefix = QString::fromLatin1(kAtomicTempPrefix);
  return name.size() >= prefix.size() && namesEqualNoCase(name.first(prefix.size()), prefix);
}

bool isHiddenHostName(const char* name) {
  if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) return true;
  return std::strncmp(name, kAtomicTempPrefix, std::strlen(kAtomicTempPrefix)) == 0;
}

WinError fromErrno(int e, WinError fallback = WinError::AccessDenied) {
  switch (e) {
    case ENOENT: return WinError::FileNotFound;
    case ENOTDIR: return WinError::PathNotFound;
    case EACCES: case EPERM: case EROFS: return WinError::AccessDenied;
    case ENOSPC: case EDQUOT: case EFBIG: return WinError::DiskFull;
    case EEXIST: return WinError::AlreadyExists;
    case ENOTEMPTY: return WinError::DirNotEmpty;
    case EBUSY: case ETXTBSY: return WinError::SharingViolation;
    case ENAMETOOLONG: return WinError::InvalidName;
    case EIO: return WinError::WriteFault;
    default: return fallback;
  }
}

QDateTime toDateTime(const struct timespec& ts) {
  return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000, Qt::UTC);
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
  QByteArray data;
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0)
    data.reserve(qsizetype(limit >= 0 ? std::min<qint64>(limit, st.st_size) : st.st_size));
  char buf[65536];
  for (;;) {
    const qint64 want = limit >= 0 ? std::min<qint64>(qint64(sizeof buf), limit - data.size()) : qint64(sizeof buf);
    if (want <= 0) break;
    const ssize_t n = ::read(fd, buf, size_t(want));
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(buf, n);
  }
  ::close(fd);
  *out = std::move(data);
  return true;
}

std::optional<QByteArray> realPath(const QByteArray& path) {
  char* r = ::realpath(path.constData(), nullptr);
  if (!r) return std::nullopt;
  QByteArray out(r);
  std::free(r);
  return out;
}

bool isUnder(const QByteArray& path, const QByteArray& folder) {
  return path == folder || (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

QByteArray parentOf(const QByteArray& hostPath) { return hostPath.left(hostPath.lastIndexOf('/')); }

QString foldedName(QStringView name) {
  QString out(name.size(), Qt::Uninitialized);
  QChar* o = out.data();
  for (QChar c : name) *o++ = QChar(foldNameChar(c.unicode()));
  return out;
}

// Names the cached listings of all folders may hold together before they are dropped.
constexpr qsizetype kMaxCachedNames = 100000;

// A folder changed within the last moments may change again without its time moving on
// (the host's clock ticks coarsely), so its listing is not kept until it has settled.
bool recentlyChanged(const struct timespec& mtime) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  const qint64 ageMs = (qint64(now.tv_sec) - mtime.tv_sec) * 1000 + (now.tv_nsec - mtime.tv_nsec) / 1000000;
  return ageMs < 100;
}

bool sameTime(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// One entry of a folder as the host lists it.
struct Listed {
  QByteArray host;
  QString name;
  unsigned char type = DT_UNKNOWN;
};

}  // namespace

// What the machine keeps between calls. A folder's listing is checked against the folder's
// change time before each use and dropped by the machine's own changes in the folder; the
// bytes a drive uses are counted once and then follow the machine's own writes.
struct FileSystem::Caches {
  struct Listing {
    dev_t dev = 0;
    ino_t ino = 0;
    struct timespec mtime = {};
    QHash<QString, QByteArray> names;  // folded name -> the first host name of that spelling
    QSet<QString> ambiguous;           // folded names the host has in more than one spelling
  };
  QHash<QByteArray, Listing> listings;
  qsizetype cachedNames = 0;
  std::map<QChar, qint64> used;
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
  std::vector<QByteArray> names;  // host names that match the pattern, in directory order
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

  // --- Windows paths -------------------------------------------------------------

  // Splits `in` into drive and names. With `pattern`, the last name is handed back as
  // written (wildcards allowed, possibly empty) instead of being added to the parts.
  static bool parse(const QString& currentDir, QStringView in, WinPath* out, WinError* err, QString* pattern,
                    bool allowWildcards = false) {
    if (in.isEmpty()) {
      *err = WinError::PathNotFound;
      return false;
    }
    QString s = in.toString();
    s.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (s.contains(QChar(0))) {
      *err = WinError::InvalidName;
      return false;
    }
    // UNC names and the \\.\ and \\?\ device spaces: this machine has no network.
    if (s.startsWith(QLatin1String("\\\\"))) {
      *err = WinError::BadPathName;
      return false;
    }
    QString rest;
    WinPath base;
    if (s.size() >= 2 && s[1] == QLatin1Char(':')) {
      if (!isAsciiLetter(s[0])) {
        *err = WinError::InvalidName;
        return false;
      }
      base.drive = s[0].toUpper();
      rest = s.mid(2);
      // "C:name" is relative to the drive's current folder; only one drive has one here.
      if (!rest.startsWith(QLatin1Char('\\')) && !currentDir.isEmpty() && currentDir[0] == base.drive)
        parse(QString(), currentDir, &base, err, nullptr);
    } else if (s.startsWith(QLatin1Char('\\'))) {
      if (currentDir.isEmpty()) {
        *err = WinError::PathNotFound;
        return false;
      }
      base.drive = currentDir[0];
      rest = s;
    } else {
      if (currentDir.isEmpty() || !parse(QString(), currentDir, &base, err, nullptr)) {
        *err = WinError::PathNotFound;
        return false;
      }
      rest = s;
    }
    const QStringList names = rest.split(QLatin1Char('\\'), Qt::KeepEmptyParts);
    for (qsizetype i = 0; i < names.size(); ++i) {
      QString name = names[i];
      const bool last = i == names.size() - 1;
      if (pattern && last) {
        if (hasInvalidChar(name, true) || name.size() > kMaxNameLength) {
          *err = WinError::InvalidName;
          return false;
        }
        *pattern = name;
        break;
      }
      if (name.isEmpty() || name == QLatin1String(".")) continue;
      if (name == QLatin1String("..")) {
        // Windows folds ".." at the root away rather than failing.
        if (!base.parts.isEmpty()) base.parts.removeLast();
        continue;
      }
      // Windows drops trailing points and blanks: "README." names "README".
      while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' '))) name.chop(1);
      if (name.isEmpty() || name.size() > kMaxNameLength || hasInvalidChar(name, allowWildcards) ||
          startsWithTempPrefix(name)) {
        *err = WinError::InvalidName;
        return false;
      }
      if (isDeviceName(name)) {
        *err = WinError::AccessDenied;
        return false;
      }
      base.parts.append(name);
    }
    // Measured on the full path as Windows builds it: "C:\" and the names between backslashes.
    qsizetype length = 3;
    for (const QString& n : base.parts) length += n.size() + 1;
    if (!base.parts.isEmpty()) --length;
    if (pattern) length += (base.parts.isEmpty() ? 0 : 1) + pattern->size();
    if (length > kMaxWinPathLength) {
      *err = WinError::FilenameTooLong;
      return false;
    }
    *out = std::move(base);
    return true;
  }

  bool parse(QStringView in, WinPath* out, QString* pattern = nullptr) {
    WinError err = WinError::Success;
    if (parse(fs.currentDirectory_, in, out, &err, pattern)) return true;
    return fail(err);
  }

  // --- the host side -------------------------------------------------------------

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

  // Where a symbolic link leads, as a path under the machine folder or one of the drive
  // roots (which may themselves be links the owner set up); nullopt when it leads out.
  std::optional<QByteArray> containedTarget(const QByteArray& link) const {
    const auto real = realPath(link);
    if (!real) return std::nullopt;
    for (const auto& [letter, d] : fs.drives_) {
      const QByteArray root = d.hostRoot.toUtf8();
      if (const auto rr = realPath(root); rr && isUnder(*real, *rr)) return root + real->mid(rr->size());
    }
    const QByteArray folder = fs.machineFolder_.toUtf8();
    if (const auto rf = realPath(folder); rf && isUnder(*real, *rf)) return folder + real->mid(rf->size());
    return std::nullopt;
  }

  // Fills `n` for a host directory entry, if Windows may see it: plain files and folders,
  // and links whose target stays inside the machine.
  // With `dirFd`, `name` is looked up relative to it, sparing the kernel the whole path.
  bool visit(const QByteArray& entry, Node* n, int dirFd = -1, const char* name = nullptr) const {
    struct stat st;
    const int rc = dirFd >= 0 ? ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) : ::lstat(entry.constData(), &st);
    if (rc != 0) return false;
    n->entry = entry;
    n->root = false;
    if (S_ISLNK(st.st_mode)) {
      const auto target = containedTarget(entry);
      if (!target || ::stat(target->constData(), &st) != 0) return false;
      n->host = *target;
    } else {
      n->host = entry;
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return false;
    n->st = st;
    return true;
  }

  bool isAttributeFile(const QByteArray& dir, const char* name) const {
    return std::strcmp(name, kAttributeFileName) == 0 && dir == fs.machineFolder_.toUtf8();
  }

  // The names of the host folder `dir` by their folded form; nullptr when the folder cannot
  // be read or has only just changed.
  const FileSystem::Caches::Listing* cachedListing(const QByteArray& dir) const {
    FileSystem::Caches& c = *fs.caches_;
    struct stat st;
    if (::stat(dir.constData(), &st) != 0) return nullptr;
    auto it = c.listings.find(dir);
    if (it != c.listings.end()) {
      if (it->dev == st.st_dev && it->ino == st.st_ino && sameTime(it->mtime, st.st_mtim)) return &*it;
      c.cachedNames -= it->names.size();
      c.listings.erase(it);
    }
    if (recentlyChanged(st.st_mtim)) return nullptr;
    DIR* d = ::opendir(dir.constData());
    if (!d) return nullptr;
    FileSystem::Caches::Listing l;
    l.dev = st.st_dev;
    l.ino = st.st_ino;
    l.mtime = st.st_mtim;
    while (const dirent* e = ::readdir(d)) {
      if (isHiddenHostName(e->d_name) || isAttributeFile(dir, e->d_name)) continue;
      const QString key = foldedName(QString::fromUtf8(e->d_name));
      if (!l.names.contains(key))
        l.names.insert(key, QByteArray(e->d_name));
      else
        l.ambiguous.insert(key);
    }
    ::closedir(d);
    if (c.cachedNames + l.names.size() > kMaxCachedNames) {
      c.listings.clear();
      c.cachedNames = 0;
    }
    c.cachedNames += l.names.size();
    return &*c.listings.insert(dir, std::move(l));
  }

  void forgetListing(const QByteArray& dir) {
    FileSystem::Caches& c = *fs.caches_;
    if (auto it = c.listings.find(dir); it != c.listings.end()) {
      c.cachedNames -= it->names.size();
      c.listings.erase(it);
    }
  }
  void forgetListings() {
    fs.caches_->listings.clear();
    fs.caches_->cachedNames = 0;
  }

  // Finds `name` in the host folder `dir`: the exact spelling first (one lstat), the
  // folder's listing only when that misses.
  bool lookup(const QByteArray& dir, const QString& name, Node* out) const {
    const QByteArray exact = name.toUtf8();
    // A name the folder's listing knows in one spelling is that entry while the entry is
    // still there; only a miss needs to know that the listing is current.
    if (const auto l = fs.caches_->listings.constFind(dir); l != fs.caches_->listings.constEnd()) {
      const QString key = foldedName(name);
      if (const auto it = l->names.constFind(key); it != l->names.constEnd() && !l->ambiguous.contains(key) &&
                                                   visit(dir + '/' + *it, out))
        return true;
    }
    const bool exactTaken = visit(dir + '/' + exact, out);
    if (exactTaken && !isAttributeFile(dir, exact.constData())) return true;
    if (const FileSystem::Caches::Listing* l = cachedListing(dir)) {
      const auto it = l->names.constFind(foldedName(name));
      if (it == l->names.constEnd()) return false;
      if (*it != exact && visit(dir + '/' + *it, out)) return true;
      // The first of that spelling is one Windows may not see; the others are behind it.
    }
    DIR* d = ::opendir(dir.constData());
    if (!d) return false;
    bool found = false;
    while (const dirent* e = ::readdir(d)) {
      if (isHiddenHostName(e->d_name) || isAttributeFile(dir, e->d_name) || exact == e->d_name) continue;
      if (!namesEqualNoCase(QString::fromUtf8(e->d_name), name)) continue;
      if (visit(dir + '/' + QByteArray(e->d_name), out)) {
        found = true;
        break;
      }
    }
    ::closedir(d);
    return found;
  }

  // Whether the host folder `dir` holds `name`, in any spelling, as an entry Windows may
  // not see (a link leading out of the machine, a device node). Called after a lookup
  // missed: a new entry spelt as the caller wrote it would sit beside that one as its case
  // twin, two names Windows cannot tell apart.
  bool heldOutOfSight(const QByteArray& dir, const QString& name) const {
    struct stat st;
    if (::lstat((dir + '/' + name.toUtf8()).constData(), &st) == 0) return true;
    if (const FileSystem::Caches::Listing* l = cachedListing(dir)) return l->names.contains(foldedName(name));
    DIR* d = ::opendir(dir.constData());
    if (!d) return false;
    bool held = false;
    while (const dirent* e = ::readdir(d)) {
      if (isHiddenHostName(e->d_name) || isAttributeFile(dir, e->d_name)) continue;
      if (namesEqualNoCase(QString::fromUtf8(e->d_name), name)) {
        held = true;
        break;
      }
    }
    ::closedir(d);
    return held;
  }

  bool rootNode(const DriveInfo& d, Node* out) {
    out->host = out->entry = d.hostRoot.toUtf8();
    out->root = true;
    if (::stat(out->host.constData(), &out->st) != 0 || !S_ISDIR(out->st.st_mode)) return fail(WinError::PathNotFound);
    return true;
  }

  // Resolves the first `count` names of `p`; -1 for all of them.
  bool walk(const WinPath& p, qsizetype count, Node* out, const DriveInfo** drive = nullptr) {
    const DriveInfo* d = driveFor(p.drive);
    if (!d) return false;
    if (drive) *drive = d;
    if (count < 0) count = p.parts.size();
    Node cur;
    if (!rootNode(*d, &cur)) return false;
    for (qsizetype i = 0; i < count; ++i) {
      if (!cur.isDir()) return fail(WinError::PathNotFound);
      Node child;
      if (!lookup(cur.host, p.parts[i], &child))
        return fail(i == p.parts.size() - 1 ? WinError::FileNotFound : WinError::PathNotFound);
      cur = std::move(child);
    }
    *out = std::move(cur);
    return ok();
  }

  bool resolve(QStringView winPath, Node* out, const DriveInfo** drive = nullptr) {
    WinPath p;
    return parse(winPath, &p) && walk(p, -1, out, drive);
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
    if (lookup(t->parent.host, p.parts.last(), &n)) {
      t->existing = std::move(n);
    } else if (heldOutOfSight(t->parent.host, p.parts.last())) {
      // Never write through or over what Windows cannot see, nor beside it.
      return fail(WinError::AccessDenied);
    }
    return ok();
  }

  static bool readOnlyMedium(const DriveInfo* d) { return d->type == DriveType::CdRom; }

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
    forgetListings();
    fs.caches_->used.erase(d->letter);
    return fail(e);
  }

  quint32 attributesOf(const Node& n, const DriveInfo* d) const {
    if (n.root) return AttrDirectory;
    return withHostBits(n, d, storedAttributes(*fs.attrs_, n.host));
  }
  // The same for an entry of the open folder `dirFd`, read relative to it.
  quint32 attributesAt(const Node& n, const DriveInfo* d, int dirFd, const QByteArray& name) const {
    if (n.root) return AttrDirectory;
    if (n.isLink() || dirFd < 0) return attributesOf(n, d);
    return withHostBits(n, d, storedAttributesAt(*fs.attrs_, dirFd, name.constData(), n.host));
  }
  static quint32 withHostBits(const Node& n, const DriveInfo* d, std::optional<quint32> stored) {
    quint32 a = stored.value_or(0) & AttrSettable;
    if (n.isDir()) return a | AttrDirectory;
    if (readOnlyMedium(d) || !(n.st.st_mode & 0222)) a |= AttrReadOnly;
    return a;
  }

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

  // --- the bytes a drive uses --------------------------------------------------------

  static qint64 inClusters(qint64 size, const DriveInfo* d) {
    const qint64 cluster = qint64(d->bytesPerSector) * d->sectorsPerCluster;
    return cluster > 0 ? (size + cluster - 1) / cluster * cluster : size;
  }
  // A change of `delta` bytes (in whole clusters) by the machine's own hand.
  void usedChanged(const DriveInfo* d, qint64 delta) {
    auto it = fs.caches_->used.find(d->letter);
    if (it != fs.caches_->used.end()) it->second += delta;
  }
  // After a change through a link, whose target may be counted on any drive.
  void usedUnknown() { fs.caches_->used.clear(); }
  // What writing `newSize` bytes over the found file (or none) changes.
  void usedByWrite(const DriveInfo* d, const std::optional<Node>& existing, qint64 newSize) {
    if (existing && existing->isLink()) return usedUnknown();
    usedChanged(d, inClusters(newSize, d) - (existing ? inClusters(existing->st.st_size, d) : 0));
  }
  qint64 usedOf(const DriveInfo* d) {
    auto it = fs.caches_->used.find(d->letter);
    if (it == fs.caches_->used.end())
      it = fs.caches_->used.emplace(d->letter, usedBytes(d->hostRoot.toUtf8(), qint64(d->bytesPerSector) * d->sectorsPerCluster)).first;
    return it->second;
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

  // Sum of the drive's file sizes, each rounded up to whole clusters as FAT stores them.
  static qint64 usedBytes(const QByteArray& dir, qint64 cluster, int depth = 0) {
    if (depth > 64) return 0;
    const int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return 0;
    DIR* d = ::fdopendir(dfd);
    if (!d) {
      ::close(dfd);
      return 0;
    }
    qint64 used = 0;
    while (const dirent* e = ::readdir(d)) {
      if (isHiddenHostName(e->d_name)) continue;
      struct stat st;
      if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      if (S_ISREG(st.st_mode))
        used += (qint64(st.st_size) + cluster - 1) / cluster * cluster;
      else if (S_ISDIR(st.st_mode))
        used += usedBytes(dir + '/' + QByteArray(e->d_name), cluster, depth + 1);
    }
    ::closedir(d);
    return used;
  }

  // Total and free bytes of a drive as its facts describe it.
  bool driveSpace(QStringView rootPath, const DriveInfo** drive, qint64* total, qint64* free) {
    QChar letter;
    if (!driveLetter(fs.currentDirectory_, rootPath, &letter)) return fail(WinError::PathNotFound);
    const DriveInfo* d = driveFor(letter);
    if (!d) return false;
    *drive = d;
    if (d->totalBytes > 0) {
      *total = d->totalBytes;
      *free = d->freeBytes ? *d->freeBytes : *total - usedOf(d);
    } else {
      // As large as the host's file system: then its free space is the truth too.
      struct statvfs vfs;
      if (::statvfs(d->hostRoot.toUtf8().constData(), &vfs) != 0) return fail(WinError::PathNotFound);
      *total = qint64(vfs.f_blocks) * qint64(vfs.f_frsize);
      *free = d->freeBytes ? *d->freeBytes : qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
    }
    *free = std::clamp<qint64>(*free, 0, *total);
    return ok();
  }

  // The drive a root path names ("C:\", "c:", "C:/WINDOWS"); an empty path or one that
  // starts at a root means the current drive. A bare name ("D") names no drive.
  static bool driveLetter(const QString& currentDir, QStringView rootPath, QChar* letter) {
    if (rootPath.size() >= 2 && rootPath[1] == QLatin1Char(':')) {
      if (!isAsciiLetter(rootPath[0])) return false;
      *letter = rootPath[0].toUpper();
      return true;
    }
    const bool fromRoot = rootPath.startsWith(QLatin1Char('\\')) || rootPath.startsWith(QLatin1Char('/'));
    if (currentDir.isEmpty() || !(rootPath.isEmpty() || fromRoot) ||
        rootPath.startsWith(u"\\\\") || rootPath.startsWith(u"//"))
      return false;
    *letter = currentDir[0];
    return true;
  }

  // Moves one search on to its next entry Windows may see under the search's mask.
  bool advance(DirSearch& s, FindData* out) {
    if (!s.dots.isEmpty()) {
      const QString dot = s.dots.takeFirst();
      struct stat st;
      if (::stat((s.dir + '/' + dot.toLatin1()).constData(), &st) != 0) st = {};
      *out = FindData{dot, AttrDirectory, 0, toDateTime(st.st_mtim)};
      return true;
    }
    constexpr quint32 special = AttrHidden | AttrSystem | AttrDirectory | AttrVolume;
    while (s.next < s.names.size()) {
      const QByteArray& name = s.names[s.next++];
      Node n;
      const int dirFd = s.listing ? ::dirfd(s.listing) : -1;
      if (!visit(s.dir + '/' + name, &n, dirFd, name.constData())) continue;
      const quint32 attrs = attributesAt(n, s.drive, dirFd, name);
      if (attrs & special & ~s.mask) continue;
      out->name = QString::fromUtf8(name);
      out->attributes = attrs;
      out->size = n.isDir() ? 0 : qint64(n.st.st_size);
      out->lastWrite = toDateTime(n.st.st_mtim);
      return true;
    }
    return false;
  }

  // --- the tree walk -------------------------------------------------------------------

  struct WalkState {
    const TreeWalkFilter& filter;
    TreeVisitor& visitor;
    const DriveInfo* drive;
    std::vector<WildcardPattern> patterns;
    std::set<std::pair<dev_t, ino_t>> seen;
    bool stopped = false;
  };

  class Match final : public WalkMatch {
   public:
    Match(const FileSystemPrivate& p, const DriveInfo* d, int dirFd) : p_(p), d_(d), dirFd_(dirFd) {}
    quint32 attributes() override {
      if (!attrs_) attrs_ = dot_ ? quint32(AttrDirectory) : p_.attributesAt(node_, d_, dirFd_, hostName_);
      return *attrs_;
    }
    void setEntry(QString winName, const Node& n, const QByteArray& hostName, std::optional<quint32> attrs) {
      name = std::move(winName);
      size = n.isDir() ? 0 : qint64(n.st.st_size);
      lastWrite = toDateTime(n.st.st_mtim);
      node_ = n;
      hostName_ = hostName;
      attrs_ = attrs;
      dot_ = false;
    }
    void setDot(const QString& dotName, const struct stat& st) {
      name = dotName;
      size = 0;
      lastWrite = toDateTime(st.st_mtim);
      attrs_ = quint32(AttrDirectory);
      dot_ = true;
    }

   private:
    const FileSystemPrivate& p_;
    const DriveInfo* d_;
    int dirFd_;
    Node node_;
    QByteArray hostName_;
    std::optional<quint32> attrs_;
    bool dot_ = false;
  };

  // Hands one entry that matched a pattern to the visitor if the mask lets it through.
  // Its attributes are read here only when hidden or system decides.
  bool offer(WalkState& w, int dirFd, const QString& win, const Listed& e, const Node& n) {
    constexpr quint32 special = AttrHidden | AttrSystem | AttrDirectory | AttrVolume;
    const quint32 mask = w.filter.matchMask;
    if (n.isDir() && !(mask & AttrDirectory)) return true;
    std::optional<quint32> attrs;
    if ((mask & (AttrHidden | AttrSystem)) != (AttrHidden | AttrSystem)) {
      attrs = attributesAt(n, w.drive, dirFd, e.host);
      if (*attrs & special & ~mask) return true;
    }
    Match m(*this, w.drive, dirFd);
    m.setEntry(e.name, n, e.host, attrs);
    return w.visitor.found(win, m);
  }

  // The matches of one pattern in a folder, as findFirst and findNext return them.
  bool searchFolder(WalkState& w, int dirFd, const QByteArray& hostDir, const QString& win, bool root,
                    const std::vector<Listed>& entries, const QString& pattern, const WildcardPattern& wild) {
    const bool dotName = pattern == QLatin1String(".") || pattern == QLatin1String("..");
    if (!root && (w.filter.matchMask & AttrDirectory)) {
      for (const char* dot : {".", ".."}) {
        const QString d = QString::fromLatin1(dot);
        if (!(dotName ? pattern == d : wild.matches(d))) continue;
        struct stat st;
        if (::fstatat(dirFd, dot, &st, 0) != 0) st = {};
        Match m(*this, w.drive, dirFd);
        m.setDot(d, st);
        if (!w.visitor.found(win, m)) return false;
      }
    }
    if (pattern.isEmpty() || dotName) return true;
    Node n;
    if (wild.hasWildcards()) {
      for (const Listed& e : entries) {
        if (!wild.matches(e.name) || !visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData())) continue;
        if (!offer(w, dirFd, win, e, n)) return false;
      }
      return true;
    }
    // A plain name finds one entry: its own spelling first, else the first in another case.
    QString plain = pattern;
    while (plain.endsWith(QLatin1Char('.')) || plain.endsWith(QLatin1Char(' '))) plain.chop(1);
    if (plain.isEmpty() || startsWithTempPrefix(plain)) return true;
    const QByteArray exact = plain.toUtf8();
    for (const Listed& e : entries)
      if (e.host == exact && visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData())) return offer(w, dirFd, win, e, n);
    for (const Listed& e : entries)
      if (e.host != exact && namesEqualNoCase(e.name, plain) && visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData()))
        return offer(w, dirFd, win, e, n);
    return true;
  }

  // Searches a folder that the visitor has entered, then walks its sub-folders. Takes `fd`.
  void walkFolder(WalkState& w, int fd, const QByteArray& hostDir, const QString& win, bool root) {
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
      ::close(fd);
      return;
    }
    const int dirFd = ::dirfd(dir);
    std::vector<Listed> entries;
    const bool inMachineFolder = hostDir == fs.machineFolder_.toUtf8();
    while (const dirent* e = ::readdir(dir)) {
      if (isHiddenHostName(e->d_name) || (inMachineFolder && std::strcmp(e->d_name, kAttributeFileName) == 0)) continue;
      entries.push_back(Listed{QByteArray(e->d_name), QString::fromUtf8(e->d_name), e->d_type});
    }
    for (qsizetype i = 0; i < w.filter.patterns.size() && !w.stopped; ++i) {
      const QString& pattern = w.filter.patterns[i];
      if (win.size() + pattern.size() > kMaxWinPathLength) continue;  // FindFirstFile would refuse the path
      if (!searchFolder(w, dirFd, hostDir, win, root, entries, pattern, w.patterns[size_t(i)])) w.stopped = true;
    }
    const quint32 mask = w.filter.folderMask;
    if (w.stopped || !(mask & AttrDirectory) || win.size() + 3 > kMaxWinPathLength) {
      ::closedir(dir);
      return;
    }
    const bool attrsDecide = (mask & (AttrHidden | AttrSystem)) != (AttrHidden | AttrSystem);
    for (const Listed& e : entries) {
      if (e.name.startsWith(QLatin1Char('.'))) continue;
      if (e.type != DT_DIR && e.type != DT_LNK && e.type != DT_UNKNOWN) continue;
      Node n;
      int childFd = -1;
      if (e.type == DT_DIR) {
        childFd = ::openat(dirFd, e.host.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (childFd < 0 || ::fstat(childFd, &n.st) != 0) {
          if (childFd >= 0) ::close(childFd);
          continue;
        }
        n.host = n.entry = hostDir + '/' + e.host;
      } else {
        if (!visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData()) || !n.isDir()) continue;
        childFd = ::open(n.host.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (childFd < 0 || ::fstat(childFd, &n.st) != 0) {
          if (childFd >= 0) ::close(childFd);
          continue;
        }
      }
      if (attrsDecide && (attributesAt(n, w.drive, dirFd, e.host) & (AttrHidden | AttrSystem) & ~mask)) {
        ::close(childFd);
        continue;
      }
      if (!w.seen.insert({n.st.st_dev, n.st.st_ino}).second) {
        ::close(childFd);
        continue;
      }
      const QString childWin = win + e.name + QLatin1Char('\\');
      if (!w.visitor.enterFolder(childWin)) {
        ::close(childFd);
        w.stopped = true;
        break;
      }
      walkFolder(w, childFd, n.host, childWin, false);
      if (w.stopped) break;
    }
    ::closedir(dir);
  }
};

// -------------------------------------------------------------------------------

FileSystem::FileSystem(QString machineFolder, std::map<QChar, DriveInfo> drives, std::unique_ptr<AttributeStore> attributes)
    : machineFolder_(std::move(machineFolder)),
      drives_(std::move(drives)),
      attrs_(std::move(attributes)),
      caches_(std::make_unique<Caches>()) {
  while (machineFolder_.size() > 1 && machineFolder_.endsWith(QLatin1Char('/'))) machineFolder_.chop(1);
  for (auto& [letter, d] : drives_) {
    if (d.image.isEmpty()) continue;
    d.ready = false;
    caches_->images[letter] = std::make_unique<ImageDrive>(machineFolder_, d.image, d.hostRoot, *attrs_);
  }
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
  p.forgetListings();
  caches_->used.erase(letter);
  return e == WinError::Success ? p.ok() : p.fail(e);
}

void FileSystem::followImages(QChar letter) const {
  for (auto& [l, image] : caches_->images) {
    if (!letter.isNull() && l != letter) continue;
    if (image->refresh(drives_.at(l))) {
      caches_->listings.clear();
      caches_->cachedNames = 0;
      caches_->used.erase(l);
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
  if (!FileSystemPrivate::parse(currentDirectory_, winPath, &p, &err, nullptr, true)) return {};
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
  if (!FileSystemPrivate::driveLetter(currentDirectory_, rootPath, &letter)) return DriveType::NoRootDir;
  const DriveInfo* d = drive(letter);
  return d ? d->type : DriveType::NoRootDir;
}

bool FileSystem::diskFreeSpace(QStringView rootPath, quint32* sectorsPerCluster, quint32* bytesPerSector,
                               quint32* freeClusters, quint32* totalClusters) {
  FileSystemPrivate p(*this);
  const DriveInfo* d = nullptr;
  qint64 total = 0, free = 0;
  if (!p.driveSpace(rootPath, &d, &total, &free)) return false;
  const qint64 cluster = qint64(d->bytesPerSector) * d->sectorsPerCluster;
  const qint64 maxClusters = std::max<qint64>(1, kMaxReportedDiskBytes / cluster);
  if (sectorsPerCluster) *sectorsPerCluster = d->sectorsPerCluster;
  if (bytesPerSector) *bytesPerSector = d->bytesPerSector;
  if (totalClusters) *totalClusters = quint32(std::min(total / cluster, maxClusters));
  if (freeClusters) *freeClusters = quint32(std::min(free / cluster, maxClusters));
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
  if (!FileSystemPrivate::driveLetter(currentDirectory_, rootPath, &letter)) return p.fail(WinError::PathNotFound);
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
    QString plain = name;
    while (plain.endsWith(QLatin1Char('.')) || plain.endsWith(QLatin1Char(' '))) plain.chop(1);
    Node n;
    if (!plain.isEmpty() && !startsWithTempPrefix(plain) && p.lookup(dir.host, plain, &n)) {
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
      if (isHiddenHostName(e->d_name) || p.isAttributeFile(s->dir, e->d_name)) continue;
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

bool FileSystem::walkTree(QStringView root, const TreeWalkFilter& filter, TreeVisitor& visitor) {
  FileSystemPrivate p(*this);
  QString folder = root.toString();
  if (!folder.endsWith(QLatin1Char('\\')) && !folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('\\');
  if (!visitor.enterFolder(folder)) return p.ok();
  WinPath wp;
  QString none;
  if (!p.parse(folder, &wp, &none)) return false;
  Node dir;
  const DriveInfo* drive = nullptr;
  if (!p.walk(wp, -1, &dir, &drive)) {
    if (lastError_ == WinError::FileNotFound) lastError_ = WinError::PathNotFound;
    return false;
  }
  if (!dir.isDir()) return p.fail(WinError::PathNotFound);
  const int fd = ::open(dir.host.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return p.fail(fromErrno(errno, WinError::PathNotFound));
  FileSystemPrivate::WalkState w{filter, visitor, drive, {}, {}, false};
  for (const QString& pattern : filter.patterns) w.patterns.emplace_back(pattern);
  w.seen.insert({dir.st.st_dev, dir.st.st_ino});
  p.walkFolder(w, fd, dir.host, folder, dir.root);
  return p.ok();
}

bool FileSystem::findNext(FileSearch& search, FindData* out) {
  FileSystemPrivate p(*this);
  if (!p.advance(static_cast<DirSearch&>(search), out)) return p.fail(WinError::NoMoreFiles);
  return p.ok();
}

bool FileSystem::exists(QStringView winPath) {
  Node n;
  return FileSystemPrivate(*this).resolve(winPath, &n);
}

bool FileSystem::isDirectory(QStringView winPath) {
  Node n;
  return FileSystemPrivate(*this).resolve(winPath, &n) && n.isDir();
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
  if (n.root || p.readOnlyMedium(d)) return p.fail(WinError::AccessDenied);
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
  return toDateTime(n.st.st_mtim);
}

bool FileSystem::setLastWriteTime(QStringView winPath, const QDateTime& utc) {
  FileSystemPrivate p(*this);
  if (!utc.isValid()) return p.fail(WinError::InvalidParameter);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return false;
  // Setting a file's time takes opening it for writing, which a read-only file refuses.
  if (!p.mayWrite(d)) return false;
  if (p.readOnlyMedium(d) || (!n.isDir() && (p.attributesOf(n, d) & AttrReadOnly))) return p.fail(WinError::AccessDenied);
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

bool FileSystem::writeFile(QStringView winPath, const QByteArray& bytes) {
  FileSystemPrivate p(*this);
  WinPath wp;
  FileSystemPrivate::Target t;
  if (!p.parse(winPath, &wp) || !p.target(wp, &t)) return false;
  if (p.readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(t.drive)) return false;
  if (t.existing && (t.existing->isDir() || (p.attributesOf(*t.existing, t.drive) & AttrReadOnly)))
    return p.fail(WinError::AccessDenied);
  const QByteArray dest = t.hostPath();
  const quint32 kept = t.existing ? p.attributesOf(*t.existing, t.drive) & AttrSettable : 0;
  int err = 0;
  if (!writeFileAtomically(QString::fromUtf8(dest), bytes, &err)) return p.fail(fromErrno(err, WinError::WriteFault));
  // Windows marks every file it writes for the next backup, whatever else the file keeps.
  attrs_->set(QString::fromUtf8(dest), kept | AttrArchive);
  p.forgetListing(t.parent.host);
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
  if (p.readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
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
  p.forgetListing(t.parent.host);
  p.usedByWrite(t.drive, t.existing, src.st.st_size);
  return p.committed(t.drive);
}

bool FileSystem::deleteFile(QStringView winPath) {
  FileSystemPrivate p(*this);
  Node n;
  const DriveInfo* d = nullptr;
  if (!p.resolve(winPath, &n, &d)) return false;
  if (!n.root && !n.isDir() && !p.mayWrite(d)) return false;
  if (n.root || n.isDir() || p.readOnlyMedium(d) || (p.attributesOf(n, d) & AttrReadOnly))
    return p.fail(WinError::AccessDenied);
  // A link goes, never what it points to.
  if (::unlink(n.entry.constData()) != 0) return p.fail(fromErrno(errno));
  p.forgetListing(parentOf(n.entry));
  if (!n.isLink()) {
    attrs_->removed(QString::fromUtf8(n.host));
    p.usedChanged(d, -p.inClusters(n.st.st_size, d));
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
  if (n.root || p.readOnlyMedium(srcDrive) || p.readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
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
    p.forgetListing(t.parent.host);
    p.usedUnknown();
    if (!p.committed(t.drive)) return false;
    if (::unlink(n.entry.constData()) != 0) return p.fail(fromErrno(errno));
    p.forgetListing(parentOf(n.entry));
    if (!n.isLink()) attrs_->removed(fromHost);
    return p.committed(srcDrive);
  }
  // Whatever happens below, both folders may have changed.
  if (n.isDir()) {
    p.forgetListings();
  } else {
    p.forgetListing(parentOf(n.entry));
    p.forgetListing(t.parent.host);
  }
  if (::rename(n.entry.constData(), t.fresh.constData()) == 0) {
    if (!n.isLink()) {
      attrs_->moved(fromHost, QString::fromUtf8(t.fresh));
      if (!sameDrive) {
        p.usedChanged(srcDrive, -p.inClusters(n.st.st_size, srcDrive));
        p.usedChanged(t.drive, p.inClusters(n.st.st_size, t.drive));
      }
    }
    return p.committed(srcDrive);
  }
  if (errno != EXDEV || n.isDir()) return p.fail(fromErrno(errno));
  // Across host file systems a file goes by copy and delete, its attributes along.
  p.usedUnknown();
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
  if (p.readOnlyMedium(t.drive)) return p.fail(WinError::AccessDenied);
  if (!p.mayWrite(t.drive)) return false;
  if (::mkdir(t.fresh.constData(), 0777) != 0) return p.fail(fromErrno(errno));
  p.forgetListing(t.parent.host);
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
    if (!p.lookup(cur.host, wp.parts[i], &child)) {
      if (p.readOnlyMedium(d) || p.heldOutOfSight(cur.host, wp.parts[i])) return p.fail(WinError::AccessDenied);
      if (!p.mayWrite(d)) return false;
      made = true;
      const QByteArray fresh = cur.host + '/' + wp.parts[i].toUtf8();
      p.forgetListing(cur.host);
      if (::mkdir(fresh.constData(), 0777) != 0 && errno != EEXIST) return p.fail(fromErrno(errno));
      if (!p.visit(fresh, &child)) return p.fail(WinError::AccessDenied);
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
  if (n.root || !n.isDir() || p.readOnlyMedium(d)) return p.fail(WinError::AccessDenied);
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
  p.forgetListings();
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
  p.forgetListing(t.parent.host);
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
