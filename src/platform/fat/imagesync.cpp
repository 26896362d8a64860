// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fat/imagesync.h"

#include "platform/atomicfile.h"
#include "platform/attributes.h"
#include "platform/attributestore.h"
#include "platform/fat/mtools.h"
#include "platform/text.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vt::imagesync {

namespace {

QByteArray stampOf(const struct stat& st) {
  return QByteArray::number(quint64(st.st_ino)) + ':' +
         QByteArray::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec) + ':' +
         QByteArray::number(qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec);
}

bool walk(const QByteArray& dir, const QString& relative, AttributeStore& store, Tree* out, QString* error, int depth) {
  auto fail = [&](const QString& why) {
    *error = why;
    return false;
  };
  if (depth > 64) return fail(QStringLiteral("%1: folders are nested too deeply").arg(relative));
  DIR* d = ::opendir(dir.constData());
  if (!d)
    return fail(QStringLiteral("cannot read the folder %1: %2")
                    .arg(QFile::decodeName(dir), QString::fromLocal8Bit(std::strerror(errno))));
  QList<QByteArray> names;
  while (const dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0 || isAtomicTempName(e->d_name)) continue;
    names << QByteArray(e->d_name);
  }
  ::closedir(d);
  QHash<QString, QString> seen;  // upper-cased -> as spelt
  for (const QByteArray& raw : names) {
    const QString name = QString::fromUtf8(raw);
    const QString path = relative.isEmpty() ? name : relative + QLatin1Char('/') + name;
    if (QString why = fat::nameFault(name); !why.isEmpty()) return fail(QStringLiteral("%1 %2").arg(path, why));
    const QString upper = winUpper(name);
    if (auto it = seen.constFind(upper); it != seen.constEnd())
      return fail(QStringLiteral("%1 and %2 differ only in case, which FAT cannot keep apart").arg(path, *it));
    seen.insert(upper, name);
    const QByteArray host = dir + '/' + raw;
    struct stat st;
    if (::lstat(host.constData(), &st) != 0) return fail(QStringLiteral("%1 cannot be read").arg(path));
    Entry e;
    e.mtime = st.st_mtim.tv_sec;
    e.attributes = store.get(QFile::decodeName(host)).value_or(0) & AttrSettable;
    if (S_ISDIR(st.st_mode)) {
      e.folder = true;
      (*out)[path] = e;
      if (!walk(host, path, store, out, error, depth + 1)) return false;
    } else if (S_ISREG(st.st_mode)) {
      e.size = st.st_size;
      e.stamp = stampOf(st);
      (*out)[path] = e;
    } else {
      return fail(QStringLiteral("%1 is a symbolic link or a device, which a FAT volume cannot hold").arg(path));
    }
  }
  return true;
}

// mattrib's arguments for exactly these attributes.
QStringList attributeFlags(quint32 a) {
  auto flag = [&](quint32 bit, char letter) { return QString(QLatin1Char(a & bit ? '+' : '-')) + QLatin1Char(letter); };
  return {flag(AttrArchive, 'a'), flag(AttrReadOnly, 'r'), flag(AttrSystem, 's'), flag(AttrHidden, 'h')};
}

QString parentOf(const QString& path) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  return slash < 0 ? QString() : path.left(slash);
}

qint64 inClusters(qint64 size, qint64 cluster) { return (size + cluster - 1) / cluster * cluster; }

// Copies `bytes` from `at` of `in` to the same place of `out`: in the kernel where it can,
// else through a buffer.
bool copyRange(int in, int out, qint64 at, qint64 bytes, int* err) {
  loff_t from = at, to = at;
  qint64 left = bytes;
  while (left > 0) {
    const ssize_t n = ::copy_file_range(in, &from, out, &to, size_t(std::min<qint64>(left, 1 << 30)), 0);
    if (n > 0) {
      left -= n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
      *err = errno;
      return false;
    }
    break;  // not between these files (or the source ended early): the buffer from here
  }
  QByteArray buf(int(std::min<qint64>(left, 1 << 20)), Qt::Uninitialized);
  while (left > 0) {
    const qint64 n = std::min<qint64>(left, buf.size());
    if (!readAt(in, buf.data(), n, from) || !writeAt(out, buf.constData(), n, to)) {
      *err = errno ? errno : EIO;
      return false;
    }
    from += n, to += n, left -= n;
  }
  return true;
}

// A copy of `from` in the open, empty file `toFd`: shared blocks where the file system
// offers them, else only the parts that hold data, so that a sparse image stays sparse.
bool copyContents(const QByteArray& from, int toFd, int* err) {
  const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *err = errno;
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{in};
  if (::ioctl(toFd, FICLONE, in) == 0) return true;
  struct stat st;
  if (::fstat(in, &st) != 0 || ::ftruncate(toFd, st.st_size) != 0) {
    *err = errno;
    return false;
  }
  for (qint64 at = 0; at < st.st_size;) {
    qint64 data = ::lseek(in, at, SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // a hole to the end
    // A file system that cannot tell holes has data everywhere.
    if (data < 0) data = at;
    qint64 hole = ::lseek(in, data, SEEK_HOLE);
    if (hole < 0) hole = st.st_size;
    if (!copyRange(in, toFd, data, hole - data, err)) return false;
    at = hole;
  }
  return true;
}

// The working copy beside `image`: ".IMAGE.vantrel~" and six letters or digits (mkostemp's).
QString copyPrefix(const QFileInfo& image) { return QStringLiteral(".") + image.fileName() + QStringLiteral(".vantrel~"); }

bool noRoom(const mtools::Result& r) {
  const QByteArray text = r.err + r.out;
  return text.contains("Disk full") || text.contains("disk full") || text.contains("No space") ||
         text.contains("Root directory full") || text.contains("directory full");
}

// The paths of a tree found by a path as the volume spells it, which may differ from the
// host's in case.
class Spellings {
 public:
  explicit Spellings(const Tree& tree) : tree_(tree) {
    for (const auto& [path, e] : tree) folded_.insert(winUpper(path), path);
  }
  QString find(const QString& path) const { return tree_.count(path) ? path : folded_.value(winUpper(path)); }

 private:
  const Tree& tree_;
  QHash<QString, QString> folded_;
};

// Gives the entries of the working copy `image` that mtools has just written the aliases
// the machine holds for them, by writing their short names (and the checksum in their
// long-name entries) through `fd`. Empty when done; else why the copy cannot be finished.
QString writeAliases(const QString& image, int fd, const fat::Volume& volume, const QStringList& written,
                     const AliasOf& aliasOf) {
  std::vector<fat::DirEntry> entries;
  QString why;
  const auto v = fat::inspectFile(image, volume.partition, &why, &entries);
  if (!v || v->offset != volume.offset) return QStringLiteral("the copy cannot be read back: %1").arg(why);
  std::map<QString, size_t> byPath;  // by the path's folded form
  for (size_t i = 0; i < entries.size(); ++i) byPath[winUpper(entries[i].path)] = i;
  std::map<size_t, QByteArray> patches;
  for (const QString& path : written) {
    const auto it = byPath.find(winUpper(path));
    if (it == byPath.end()) return QStringLiteral("%1 is not in the copy").arg(path);
    const fat::DirEntry& e = entries[it->second];
    const QString alias = aliasOf ? aliasOf(path) : QString();
    if (alias.isEmpty()) return QStringLiteral("%1 has no 8.3 alias on the machine").arg(path);
    const QByteArray bytes = fat::aliasBytes(alias);
    if (bytes.isEmpty()) return QStringLiteral("the alias %1 of %2 has no place in a FAT directory entry").arg(alias, path);
    if (bytes == e.shortName) continue;
    if (e.longNameAt.empty())
      return QStringLiteral("%1 cannot have the alias %2 without a long name of its own").arg(path, alias);
    patches[it->second] = bytes;
  }
  if (patches.empty()) return {};
  // The short names of each folder that gets one, as they will be; the first entry holding each.
  QSet<QString> folders;
  for (const auto& [i, bytes] : patches) folders.insert(winUpper(parentOf(entries[i].path)));
  std::map<std::pair<QString, QByteArray>, size_t> holder;
  for (size_t i = 0; i < entries.size(); ++i) {
    const QString folder = winUpper(parentOf(entries[i].path));
    if (!folders.contains(folder)) continue;
    const auto p = patches.find(i);
    const QByteArray name = p == patches.end() ? entries[i].shortName : p->second;
    const auto [at, fresh] = holder.try_emplace({folder, name}, i);
    if (fresh) continue;
    const size_t mine = patches.count(i) ? i : at->second, other = mine == i ? at->second : i;
    return QStringLiteral("%1 cannot have its alias %2 in the image, where %3 has it already")
        .arg(entries[mine].path, fat::aliasText(name), entries[other].path);
  }
  for (const auto& [i, bytes] : patches) {
    const quint8 sum = fat::shortNameChecksum(bytes.constData());
    bool ok = ::pwrite(fd, bytes.constData(), 11, entries[i].at) == 11;
    for (qint64 at : entries[i].longNameAt) ok = ok && ::pwrite(fd, &sum, 1, at + 13) == 1;
    if (!ok) return QStringLiteral("cannot write the copy: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
  }
  return {};
}

// Whether a file of the same size and time holds what it held: the same stamp, the same
// hash of older records, or what `sameContent` finds.
bool sameFile(const QString& path, const Entry& base, const Entry& now, const SameContent& sameContent) {
  if (!base.stamp.isEmpty() && base.stamp == now.stamp) return true;
  if (!base.hash.isEmpty() && !now.hash.isEmpty()) return base.hash == now.hash;
  return sameContent && sameContent(path, base, now);
}

}  // namespace

int Changes::count() const {
  qsizetype n = removeFiles.size() + removeFolders.size() + makeFolders.size() + writeFiles.size();
  QSet<QString> touched(writeFiles.begin(), writeFiles.end());
  for (const QString& f : makeFolders) touched.insert(f);
  for (const auto& [attrs, paths] : attributes)
    for (const QString& p : paths)
      if (!touched.contains(p)) ++n;
  return int(n);
}

QByteArray hashFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return {};
  QCryptographicHash h(QCryptographicHash::Sha256);
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return {};
    }
    if (n == 0) break;
    h.addData(QByteArrayView(buf, n));
  }
  ::close(fd);
  return h.result().toHex();
}

bool readTree(const QString& root, AttributeStore& store, Tree* out, QString* error) {
  out->clear();
  QString why;
  if (!walk(QFile::encodeName(root), QString(), store, out, &why, 0)) {
    if (error) *error = why;
    return false;
  }
  return true;
}

bool extract(int image, const fat::Layout& layout, const std::vector<fat::DirEntry>& entries, const QString& root,
             AttributeStore& store, Tree* out, QString* error, const Progress& progress, int done, int toDo) {
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };
  auto failWith = [&](const char* what, const QString& path, int err) {
    return fail(QStringLiteral("cannot %1 %2: %3").arg(QLatin1String(what), path, QString::fromLocal8Bit(std::strerror(err))));
  };
  out->clear();
  // Each entry's name on the host and the folder it goes into (`none`: the root), parents
  // first as the volume was read.
  const size_t none = entries.size();
  std::vector<QString> hostPath(entries.size());
  std::vector<QByteArray> hostName(entries.size());
  std::vector<QString> aliasOf(entries.size());  // empty where the alias is the name
  std::vector<std::vector<size_t>> held(entries.size() + 1);
  QHash<QString, size_t> indexOf;
  indexOf.reserve(qsizetype(entries.size()));
  int files = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const fat::DirEntry& e = entries[i];
    const qsizetype slash = e.path.lastIndexOf(QLatin1Char('/'));
    const QString leaf = e.path.mid(slash + 1);
    size_t parent = none;
    if (slash >= 0) {
      const auto it = indexOf.constFind(e.path.left(slash));
      if (it == indexOf.constEnd() || !entries[*it].folder)
        return fail(QStringLiteral("%1 was read before the folder holding it").arg(e.path));
      parent = *it;
    }
    // A short name without a long one is what Windows 95 shows, in upper case, whatever case
    // bits an NT or mtools left in the entry.
    const QString alias = fat::aliasText(e.shortName);
    const QString name = e.longNameAt.empty() && alias != leaf && winEqualNoCase(alias, leaf) ? alias : leaf;
    hostName[i] = QFile::encodeName(name);
    if (QFile::decodeName(hostName[i]) != name)
      return fail(QStringLiteral("%1 has a name the host's file names cannot spell").arg(e.path));
    hostPath[i] = parent == none ? name : hostPath[parent] + QLatin1Char('/') + name;
    if (alias != name) aliasOf[i] = alias;
    held[parent].push_back(i);
    indexOf.insert(e.path, i);
    files += e.folder ? 0 : 1;
  }
  if (toDo == 0) toDo = files;

  // Each entry's attributes and the alias its directory entry holds (whatever Windows would
  // make of the long name today: "Program Files" may well be PROGRA~2), wherever the alias
  // is not the name itself: on the open entry where the store allows, else by path.
  const bool onEntry = setsOnOpenEntries(store);
  std::vector<std::pair<QByteArray, QString>> aliases;
  auto keep = [&](size_t i, int fd) {
    const quint32 attrs = entries[i].attributes & AttrSettable;
    const QString& alias = aliasOf[i];
    if (onEntry) return setOnOpenEntry(store, fd, attrs, alias);
    const QString host = root + QLatin1Char('/') + hostPath[i];
    if (attrs && !store.set(host, attrs)) return false;
    if (!alias.isEmpty()) aliases.emplace_back(QFile::encodeName(host), alias);
    return true;
  };
  // The entry's own time, the seconds the volume gives (an entry without a date keeps the
  // time of the copy), then what the tree notes of it.
  auto settle = [&](size_t i, int fd) {
    const fat::DirEntry& e = entries[i];
    if (e.mtime != 0) {
      const struct timespec times[2] = {{e.mtime, 0}, {e.mtime, 0}};
      if (::futimens(fd, times) != 0) return failWith("set the time of", e.path, errno);
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) return failWith("read", e.path, errno);
    Entry t;
    t.folder = e.folder;
    t.attributes = e.attributes & AttrSettable;
    t.mtime = st.st_mtim.tv_sec;
    if (!t.folder) {
      t.size = st.st_size;
      t.stamp = stampOf(st);
    }
    (*out)[hostPath[i]] = std::move(t);
    return true;
  };

  // A file's clusters, a run of consecutive ones in one read, up to its size.
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  auto copyFile = [&](int folderFd, size_t i) {
    const fat::DirEntry& e = entries[i];
    // In a folder made just now, with no link followed, so nothing leads outside it.
    const int fd = ::openat(folderFd, hostName[i].constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
      return errno == EEXIST ? fail(QStringLiteral("%1 has the name of another entry of its folder on the host").arg(e.path))
                             : failWith("create", e.path, errno);
    struct Closer {
      int fd;
      ~Closer() {
        if (fd >= 0) ::close(fd);
      }
    } closer{fd};
    qint64 left = e.size, written = 0;
    for (quint32 c = e.firstCluster; left > 0;) {
      if (c < 2 || c >= layout.next.size()) return fail(QStringLiteral("%1 is longer than its cluster chain").arg(e.path));
      const quint32 first = c;
      qint64 run = layout.clusterBytes;
      while (run < left && c + 1 < layout.next.size() && layout.next[c] == c + 1) {
        ++c;
        run += layout.clusterBytes;
      }
      c = layout.next[c];
      run = std::min(run, left);
      for (qint64 at = layout.clusterAt(first), end = at + run; at < end;) {
        const qint64 n = std::min<qint64>(end - at, buffer.size());
        if (!readAt(image, buffer.data(), n, at))
          return fail(QStringLiteral("cannot read %1 from the image at byte %2").arg(e.path).arg(at));
        errno = 0;
        if (!writeAt(fd, buffer.constData(), n, written)) return failWith("write", e.path, errno ? errno : EIO);
        at += n, written += n;
      }
      left -= run;
    }
    if (!keep(i, fd)) return fail(QStringLiteral("cannot keep the attributes of %1").arg(e.path));
    if (!settle(i, fd)) return false;
    closer.fd = -1;
    // Some file systems tell of a failed write only here.
    if (::close(fd) != 0) return failWith("write", e.path, errno);
    return true;
  };

  // Folder by folder from the root, each open while what it holds is made in it; a folder
  // gets its time when everything is in it, deepest first.
  struct Open {
    size_t entry;
    int fd;
    size_t next = 0;
  };
  std::vector<Open> folders;
  struct CloseAll {
    std::vector<Open>& folders;
    ~CloseAll() {
      for (const Open& o : folders) ::close(o.fd);
    }
  } closeAll{folders};
  const int rootFd = ::open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (rootFd < 0) return failWith("open the folder", root, errno);
  folders.push_back({none, rootFd});
  int copied = 0;
  while (!folders.empty()) {
    Open& folder = folders.back();
    const std::vector<size_t>& inside = held[folder.entry];
    if (folder.next == inside.size()) {
      if (folder.entry != none && !settle(folder.entry, folder.fd)) return false;
      ::close(folder.fd);
      folders.pop_back();
      continue;
    }
    const size_t i = inside[folder.next++];
    const int at = folder.fd;
    if (!entries[i].folder) {
      if (!copyFile(at, i)) return false;
      ++done;
      if (progress && ++copied % 100 == 0) progress(done, toDo);
      continue;
    }
    if (::mkdirat(at, hostName[i].constData(), 0777) != 0)
      return errno == EEXIST
                 ? fail(QStringLiteral("%1 has the name of another entry of its folder on the host").arg(entries[i].path))
                 : failWith("create the folder", entries[i].path, errno);
    const int fd = ::openat(at, hostName[i].constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return failWith("open the folder", entries[i].path, errno);
    folders.push_back({i, fd});
    if (!keep(i, fd)) return fail(QStringLiteral("cannot keep the attributes of %1").arg(entries[i].path));
  }
  if (!store.setAliases(aliases)) return fail(QStringLiteral("cannot keep the 8.3 aliases of the files"));
  if (progress && copied % 100 != 0) progress(done, toDo);
  if (out->size() != entries.size())
    return fail(QStringLiteral("the volume holds names that cannot be copied out as they are (%1 entries read, %2 copied)")
                    .arg(entries.size())
                    .arg(out->size()));
  return true;
}

Changes compare(const Tree& base, const Tree& now, qint64 clusterBytes, const SameContent& sameContent) {
  Changes c;
  for (auto it = base.rbegin(); it != base.rend(); ++it) {
    const auto n = now.find(it->first);
    if (n != now.end() && n->second.folder == it->second.folder) continue;
    if (it->second.folder) {
      c.removeFolders << it->first;
    } else {
      c.removeFiles << it->first;
      c.bytesNeeded -= inClusters(it->second.size, clusterBytes);
    }
  }
  for (const auto& [path, e] : now) {
    const auto b = base.find(path);
    const bool fresh = b == base.end() || b->second.folder != e.folder;
    if (e.folder) {
      if (fresh) {
        c.makeFolders << path;
        c.bytesNeeded += clusterBytes;
      }
    } else if (fresh || b->second.size != e.size || b->second.mtime != e.mtime || !sameFile(path, b->second, e, sameContent)) {
      c.writeFiles << path;
      c.bytesNeeded += inClusters(e.size, clusterBytes) - (fresh ? 0 : inClusters(b->second.size, clusterBytes));
      c.attributes[e.attributes] << path;
      continue;
    }
    if ((fresh && e.attributes) || (!fresh && b->second.attributes != e.attributes)) c.attributes[e.attributes] << path;
  }
  return c;
}

void removeAbandonedCopies(const QString& image) {
  const QFileInfo info(image);
  const QByteArray prefix = QFile::encodeName(copyPrefix(info)), folder = QFile::encodeName(info.absolutePath());
  DIR* d = ::opendir(folder.constData());
  if (!d) return;
  QList<QByteArray> found;
  while (const dirent* e = ::readdir(d)) {
    const QByteArray name(e->d_name);
    if (name.size() != prefix.size() + 6 || !name.startsWith(prefix)) continue;
    bool random = true;
    for (char c : name.mid(prefix.size())) random = random && std::isalnum(quint8(c));
    if (random) found << folder + '/' + name;
  }
  ::closedir(d);
  for (const QByteArray& path : found) removeAbandonedAtomicTemp(path.constData());
}

bool writeProtected(const QString& image) {
  const QByteArray path = QFile::encodeName(image);
  struct stat st;
  // The permission bits count for root too, who may write anything.
  return ::stat(path.constData(), &st) == 0 && (!(st.st_mode & 0222) || ::access(path.constData(), W_OK) != 0);
}

bool inUse(const QString& image, QString* why) {
  for (const char* suffix : {".lck", ".lock"}) {
    const QString lockFile = image + QLatin1String(suffix);
    if (QFileInfo::exists(lockFile)) {
      if (why)
        *why = QStringLiteral("%1 is in use: the lock file %2 says a program (an emulator?) has it open").arg(image, lockFile);
      return true;
    }
  }
  const int fd = ::open(QFile::encodeName(image).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  const bool locked = ::fcntl(fd, F_OFD_GETLK, &fl) == 0 && fl.l_type != F_UNLCK;
  ::close(fd);
  if (locked && why)
    *why = QStringLiteral("%1 is in use: a program (an emulator?) holds a lock on it; close it first").arg(image);
  return locked;
}

bool apply(const QString& image, const fat::Volume& volume, const QString& root, const Changes& changes, const Tree& now,
           const AliasOf& aliasOf, QString* error, Failure* why, QByteArray* newHash) {
  return apply(image, {VolumeWrite{volume, root, changes, now, aliasOf, QString()}}, error, why, newHash);
}

namespace {

// The working copy beside the image that a write goes into, with what apply and
// planInPlace share: the checks before it, mtools' steps on it, and the look at the result.
class WorkingCopy {
 public:
  WorkingCopy(const QString& image, const std::vector<VolumeWrite>& writes, QString* error, Failure* why)
      : image_(image), writes_(writes), error_(error), why_(why) {}
  ~WorkingCopy() {
    // Removed before the close gives up the lock, so no clean-up takes it for abandoned.
    if (!keep_ && !temp_.isEmpty()) ::unlink(temp_.constData());
    if (fd_ >= 0) ::close(fd_);
  }

  bool fail(Failure k, const QString& message) {
    if (why_) *why_ = k;
    if (error_) *error_ = message;
    return false;
  }

  // The checks that need no copy, then an empty copy beside the image, locked.
  bool create() {
    if (why_) *why_ = Failure::None;
    if (writeProtected(image_))
      return fail(Failure::WriteProtected, QStringLiteral("%1 is write-protected (the file may not be written)").arg(image_));
    QString busy;
    if (inUse(image_, &busy)) return fail(Failure::InUse, busy);
    for (const VolumeWrite& w : writes_) {
      toDo_ += int(w.changes.writeFiles.size());
      if (w.changes.bytesNeeded > w.volume.freeBytes())
        return fail(Failure::NoRoom,
                    QStringLiteral("%1the changes do not fit: they need %2 bytes more on the volume, which has %3 bytes free")
                        .arg(on(w))
                        .arg(w.changes.bytesNeeded)
                        .arg(w.volume.freeBytes()));
    }
    removeAbandonedCopies(image_);
    const QFileInfo info(image_);
    target_ = QFile::encodeName(info.absoluteFilePath());
    if (::stat(target_.constData(), &st_) != 0) return fail(Failure::Failed, QStringLiteral("cannot read %1").arg(image_));
    temp_ = QFile::encodeName(info.absolutePath() + QLatin1Char('/') + copyPrefix(info) + QStringLiteral("XXXXXX"));
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      temp_.clear();
      return fail(
          Failure::Failed,
          QStringLiteral("cannot make a working copy beside %1: %2").arg(image_, QString::fromLocal8Bit(std::strerror(errno))));
    }
    // Held until the copy is renamed or removed: it tells a clean-up that this write is alive.
    ::flock(fd_, LOCK_EX);
    return true;
  }

  // mtools' steps on the copy, the machine's aliases, and the check that the copy holds
  // exactly the trees it was written from.
  bool write(const Progress& progress) {
    Failure kind = Failure::Failed;
    int done = 0;
    const QString temp = QFile::decodeName(temp_);
    for (const VolumeWrite& w : writes_) {
      const Changes& changes = w.changes;
      const mtools::Volume vol(temp, w.volume.offset);
      if (!vol.valid()) return fail(Failure::Failed, QStringLiteral("cannot prepare mtools for %1").arg(image_));
      QString toolError;
      auto onVolume = [&](const char* tool, const QStringList& before, const QStringList& paths) {
        if (paths.isEmpty()) return true;
        QStringList items;
        for (const QString& p : paths) items << mtools::volumePath(p);
        const mtools::Result r = vol.runChunked(tool, before, items);
        if (r.ok()) return true;
        kind = noRoom(r) ? Failure::NoRoom : Failure::Failed;
        toolError = QStringLiteral("%1 failed: %2").arg(QLatin1String(tool), r.complaint());
        return false;
      };
      if (!onVolume("mdel", {}, changes.removeFiles) || !onVolume("mrd", {}, changes.removeFolders) ||
          !onVolume("mmd", {}, changes.makeFolders))
        return fail(kind, on(w) + toolError);

      // New and changed files, one mcopy per folder they go to; each keeps its host name.
      std::map<QString, QStringList> byFolder;
      for (const QString& f : changes.writeFiles) byFolder[parentOf(f)] << w.root + QLatin1Char('/') + f;
      for (const auto& [folder, sources] : byFolder) {
        const QString to = mtools::volumePath(folder.isEmpty() ? QString() : folder + QLatin1Char('/'));
        for (qsizetype i = 0; i < sources.size(); i += 200) {
          const mtools::Result r =
              vol.run("mcopy", QStringList{QStringLiteral("-o"), QStringLiteral("-m")} + sources.mid(i, 200) + QStringList{to});
          done += int(qMin<qsizetype>(200, sources.size() - i));
          if (progress) progress(done, toDo_);
          if (!r.ok())
            return fail(noRoom(r) ? Failure::NoRoom : Failure::Failed,
                        on(w) + QStringLiteral("mcopy failed: %1").arg(r.complaint()));
        }
      }
      for (const auto& [attrs, paths] : changes.attributes)
        if (!onVolume("mattrib", attributeFlags(attrs), paths)) return fail(kind, on(w) + toolError);
      // mtools names what it writes after its own fashion, and a file it overwrites gets a new
      // directory entry: each takes the alias the machine knows it by.
      if (const QString failed = writeAliases(temp, fd_, w.volume, changes.makeFolders + changes.writeFiles, w.aliasOf);
          !failed.isEmpty())
        return fail(Failure::Failed, on(w) + failed);

      // The copy must now hold exactly the tree it was written from.
      QString listError;
      const auto listed = vol.list(&listError);
      if (!listed) return fail(Failure::Failed, on(w) + listError);
      QString mismatch;
      if (listed->size() != w.now.size())
        mismatch = QStringLiteral("%1 entries instead of %2").arg(listed->size()).arg(w.now.size());
      const Spellings spelt(w.now);
      for (const mtools::Listed& l : *listed) {
        if (!mismatch.isEmpty()) break;
        // A short name the volume shows in lower case is in upper case on the machine.
        const auto n = w.now.find(spelt.find(l.path));
        if (n == w.now.end())
          mismatch = QStringLiteral("%1 is there").arg(l.path);
        else if (n->second.attributes != l.attributes)
          mismatch = QStringLiteral("%1 has other attributes").arg(l.path);
      }
      if (!mismatch.isEmpty())
        return fail(
            Failure::Failed,
            on(w) + QStringLiteral("after writing, the copy of the image does not hold what it should (%1)").arg(mismatch));
    }
    return true;
  }

  static QString on(const VolumeWrite& w) { return w.name.isEmpty() ? QString() : w.name + QStringLiteral(": "); }

  const QString& image_;
  const std::vector<VolumeWrite>& writes_;
  QString* error_;
  Failure* why_;
  QByteArray target_, temp_;
  int fd_ = -1;
  bool keep_ = false;
  int toDo_ = 0;
  struct stat st_ = {};
};

// Copies the runs [at, at + bytes) of `in` into the same places of `out`.
bool copyRuns(int in, int out, const std::vector<std::pair<qint64, qint64>>& runs, int* err) {
  for (const auto& [at, bytes] : runs)
    if (bytes > 0 && !copyRange(in, out, at, bytes, err)) return false;
  return true;
}

// Sorted, with overlapping and touching runs joined.
std::vector<std::pair<qint64, qint64>> joined(std::vector<std::pair<qint64, qint64>> runs) {
  std::sort(runs.begin(), runs.end());
  std::vector<std::pair<qint64, qint64>> out;
  for (const auto& [at, bytes] : runs) {
    if (bytes <= 0) continue;
    if (!out.empty() && at <= out.back().first + out.back().second)
      out.back().second = std::max(out.back().second, at + bytes - out.back().first);
    else
      out.emplace_back(at, bytes);
  }
  return out;
}

// The runs of clusters, as bytes of the image.
void addClusters(const fat::Layout& l, std::vector<quint32> clusters, std::vector<std::pair<qint64, qint64>>* runs) {
  std::sort(clusters.begin(), clusters.end());
  for (size_t i = 0; i < clusters.size();) {
    size_t j = i + 1;
    while (j < clusters.size() && clusters[j] <= clusters[j - 1] + 1) ++j;
    runs->emplace_back(l.clusterAt(clusters[i]), qint64(clusters[j - 1] - clusters[i] + 1) * l.clusterBytes);
    i = j;
  }
}

// What of a volume its own structures take: the boot sector and what follows it up to the
// FAT, the FATs, the root folder of FAT12 and FAT16, and every folder's clusters.
void addStructures(const fat::Layout& l, std::vector<std::pair<qint64, qint64>>* runs) {
  runs->emplace_back(l.reservedAt, l.reservedBytes);
  runs->emplace_back(l.fatAt, l.fatBytes);
  runs->emplace_back(l.rootAt, l.rootBytes);
  addClusters(l, l.folderClusters, runs);
}

}  // namespace

bool apply(const QString& image, const std::vector<VolumeWrite>& writes, QString* error, Failure* why, QByteArray* newHash,
           const Progress& progress) {
  WorkingCopy copy(image, writes, error, why);
  if (!copy.create()) return false;
  int err = 0;
  if (!copyContents(copy.target_, copy.fd_, &err)) {
    return copy.fail(
        err == ENOSPC ? Failure::NoRoom : Failure::Failed,
        QStringLiteral("cannot make a working copy of %1: %2").arg(image, QString::fromLocal8Bit(std::strerror(err))));
  }
  ::fchmod(copy.fd_, copy.st_.st_mode & 07777);
  if (::fchown(copy.fd_, copy.st_.st_uid, copy.st_.st_gid) != 0) {
    // Only root may give the copy to another owner; the user's own image keeps its owner anyway.
  }
  if (!copy.write(progress)) return false;
  if (::fsync(copy.fd_) != 0)
    return copy.fail(Failure::Failed,
                     QStringLiteral("cannot write %1: %2").arg(image, QString::fromLocal8Bit(std::strerror(errno))));
  if (newHash) *newHash = hashFile(QFile::decodeName(copy.temp_));
  if (::rename(copy.temp_.constData(), copy.target_.constData()) != 0)
    return copy.fail(Failure::Failed,
                     QStringLiteral("cannot replace %1: %2").arg(image, QString::fromLocal8Bit(std::strerror(errno))));
  copy.keep_ = true;
  const int dirFd = ::open(QFile::encodeName(QFileInfo(image).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

bool planInPlace(const QString& image, const std::vector<VolumeWrite>& writes, std::vector<Patch>* patches, QString* error,
                 Failure* why, const Progress& progress) {
  patches->clear();
  WorkingCopy copy(image, writes, error, why);
  if (!copy.create()) return false;
  const int in = ::open(copy.target_.constData(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return copy.fail(Failure::Failed, QStringLiteral("cannot read %1").arg(image));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{in};
  QFile original;
  if (!original.open(in, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
    return copy.fail(Failure::Failed, QStringLiteral("cannot read %1").arg(image));

  // What mtools and the checks read: the partition tables, and each written volume's structures.
  std::vector<std::pair<qint64, qint64>> needed;
  std::vector<fat::Layout> before(writes.size());
  QString whyNot;
  for (size_t i = 0; i < writes.size(); ++i) {
    const fat::Volume& v = writes[i].volume;
    const auto again = fat::inspect(original, v.partition, &whyNot, nullptr, &before[i]);
    if (!again || again->offset != v.offset)
      return copy.fail(Failure::Failed, WorkingCopy::on(writes[i]) + QStringLiteral("%1: %2").arg(image, whyNot));
    addStructures(before[i], &needed);
    if (v.partition != 0) {
      std::vector<qint64> tables;
      if (!fat::partitionTable(original, &whyNot, &tables)) return copy.fail(Failure::Failed, whyNot);
      for (qint64 at : tables) needed.emplace_back(at, 512);
    }
  }
  needed = joined(std::move(needed));
  int err = 0;
  if (::ftruncate(copy.fd_, copy.st_.st_size) != 0 || !copyRuns(in, copy.fd_, needed, &err))
    return copy.fail(err == ENOSPC || errno == ENOSPC ? Failure::NoRoom : Failure::Failed,
                     QStringLiteral("cannot make a working copy of %1: %2")
                         .arg(image, QString::fromLocal8Bit(std::strerror(err ? err : errno))));
  if (!copy.write(progress)) return false;

  // Where the copy may differ: the structures, and the clusters of what was written.
  QFile written;
  if (!written.open(copy.fd_, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
    return copy.fail(Failure::Failed, QStringLiteral("cannot read the copy of %1").arg(image));
  std::vector<std::pair<qint64, qint64>> compared;
  for (size_t i = 0; i < writes.size(); ++i) {
    const VolumeWrite& w = writes[i];
    std::vector<fat::DirEntry> entries;
    fat::Layout after;
    const auto v = fat::inspect(written, w.volume.partition, &whyNot, &entries, &after);
    if (!v)
      return copy.fail(Failure::Failed, WorkingCopy::on(w) + QStringLiteral("the copy cannot be read back: %1").arg(whyNot));
    addStructures(after, &compared);
    QSet<QString> wanted;
    for (const QString& f : w.changes.writeFiles) wanted.insert(winUpper(f));
    std::vector<quint8> covered(after.next.size(), 0);
    for (quint32 c : after.folderClusters) covered[c] = 1;
    for (const fat::DirEntry& e : entries) {
      if (e.folder || !wanted.contains(winUpper(e.path))) continue;
      // Up to the file's end: beyond it mtools leaves the cluster as it was, which the copy
      // does not hold.
      qint64 left = e.size;
      for (quint32 c : after.chain(e.firstCluster)) {
        covered[c] = 1;
        if (left > 0) compared.emplace_back(after.clusterAt(c), std::min(left, after.clusterBytes));
        left -= after.clusterBytes;
      }
    }
    // mtools writes clusters only for the folders and the files it was given; one taken
    // anywhere else would be written from a copy that does not hold it.
    for (size_t c = 2; c < after.free.size() && c < before[i].free.size(); ++c)
      if (!after.free[c] && before[i].free[c] && !covered[c])
        return copy.fail(Failure::Failed, WorkingCopy::on(w) + QStringLiteral("after writing, the copy of the image takes "
                                                                              "cluster %1, which none of the files written holds")
                                                                   .arg(c));
  }
  compared = joined(std::move(compared));

  // Sector by sector; runs of sectors that differ become one patch.
  constexpr qint64 kSector = 512, kChunk = 1 << 20;
  QByteArray a(int(kChunk), Qt::Uninitialized), b(int(kChunk), Qt::Uninitialized);
  for (const auto& [start, bytes] : compared) {
    for (qint64 at = start; at < start + bytes; at += kChunk) {
      const qint64 n = std::min(kChunk, start + bytes - at);
      if (!readAt(in, a.data(), n, at) || !readAt(copy.fd_, b.data(), n, at))
        return copy.fail(Failure::Failed, QStringLiteral("cannot read %1 or its copy at byte %2").arg(image).arg(at));
      for (qint64 s = 0; s < n; s += kSector) {
        const qint64 len = std::min(kSector, n - s);
        if (std::memcmp(a.constData() + s, b.constData() + s, size_t(len)) == 0) continue;
        if (!patches->empty() && patches->back().at + patches->back().bytes.size() == at + s &&
            patches->back().bytes.size() < kChunk)
          patches->back().bytes.append(b.constData() + s, len);
        else
          patches->push_back({at + s, QByteArray(b.constData() + s, len)});
      }
    }
  }
  return true;
}

}  // namespace vt::imagesync
