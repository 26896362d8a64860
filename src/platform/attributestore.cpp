// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/attributestore.h"

#include "platform/atomicfile.h"
#include "platform/attributes.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace vt {

namespace {

constexpr const char* kXattrName = "user.DOSATTRIB";
constexpr const char* kAliasXattrName = "user.DOSNAME";

// Samba, Wine and the DOS emulators agree on the leading text "0x<hex>"; Samba follows it
// with a NUL and a binary record we have no use for, so reading stops at the first NUL.
std::optional<quint32> parseDosAttrib(QByteArrayView value) {
  const qsizetype nul = value.indexOf('\0');
  if (nul >= 0) value = value.first(nul);
  const QByteArray text = value.toByteArray().trimmed();
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
  bool ok = false;
  const quint32 v = text.mid(2).toUInt(&ok, 16);
  if (!ok) return std::nullopt;
  return v & AttrSettable;
}

QByteArray formatDosAttrib(quint32 attrs) { return "0x" + QByteArray::number(attrs, 16); }

mode_t processUmask() {
  static const mode_t mask = [] {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
      for (const QByteArray& line : status.readAll().split('\n')) {
        if (!line.startsWith("Umask:")) continue;
        bool ok = false;
        const uint v = line.mid(6).trimmed().toUInt(&ok, 8);
        if (ok) return mode_t(v);
      }
    }
    // Older kernels do not report it; reading it means setting it for a moment.
    const mode_t old = ::umask(022);
    ::umask(old);
    return old;
  }();
  return mask;
}

// Read-only shows as the host file's write permission, so that host tools (and Samba
// serving the same folder) see it too. Folders keep theirs: Windows' read-only bit on a
// folder does not stop anyone creating files in it.
void syncWritePermission(const QByteArray& path, bool readOnly) {
  struct stat st;
  if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const mode_t mode = st.st_mode & 07777;
  if (readOnly && (mode & 0222)) {
    ::chmod(path.constData(), mode & ~mode_t(0222));
  } else if (!readOnly && !(mode & 0222)) {
    ::chmod(path.constData(), mode | 0200 | (0222 & ~processUmask()));
  }
}

bool hostReadOnly(const QByteArray& path) {
  struct stat st;
  return ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & 0222);
}

std::optional<quint32> withHostReadOnly(std::optional<quint32> stored, const QByteArray& path) {
  if (!hostReadOnly(path)) return stored;
  return stored.value_or(0) | AttrReadOnly;
}

// The two stores of this file; `stored` serves searches, which stat the file themselves.
class BuiltInStore : public AttributeStore {
 public:
  virtual std::optional<quint32> stored(const QByteArray& hostPath) = 0;
  virtual std::optional<quint32> storedAt(int, const char*, const QByteArray& hostPath) { return stored(hostPath); }
  virtual std::optional<QString> aliasAt(int, const char* name, const QByteArray& dir) { return alias(dir + '/' + name); }
  std::optional<quint32> get(const QString& hostPath) override {
    const QByteArray path = hostPath.toUtf8();
    return withHostReadOnly(stored(path), path);
  }
};

// getxattrat(2) came with Linux 6.13; the C library of the time may not wrap it yet.
#if defined(__x86_64__) || defined(__aarch64__)
constexpr long kGetxattratCall = 464;
#else
constexpr long kGetxattratCall = -1;
#endif
struct XattrArgs {
  quint64 value;
  quint32 size;
  quint32 flags;
};

class XattrStore : public BuiltInStore {
 public:
  std::optional<quint32> stored(const QByteArray& hostPath) override {
    char buf[256];
    const ssize_t n = ::getxattr(hostPath.constData(), kXattrName, buf, sizeof buf);
    if (n < 0) return std::nullopt;
    return parseDosAttrib(QByteArrayView(buf, n));
  }

  // Relative to the open folder the kernel looks up one name instead of the whole path;
  // older kernels (ENOSYS) and refusing sandboxes (EPERM) get the path.
  std::optional<quint32> storedAt(int dirFd, const char* name, const QByteArray& hostPath) override {
    char buf[256];
    const ssize_t n = readAt(dirFd, name, kXattrName, buf, sizeof buf);
    if (n == kNoCallAt) return stored(hostPath);
    if (n < 0) return std::nullopt;
    return parseDosAttrib(QByteArrayView(buf, n));
  }

  std::optional<QString> aliasAt(int dirFd, const char* name, const QByteArray& dir) override {
    char buf[64];
    const ssize_t n = readAt(dirFd, name, kAliasXattrName, buf, sizeof buf);
    if (n == kNoCallAt) return alias(dir + '/' + name);
    if (n <= 0) return std::nullopt;
    return QString::fromUtf8(buf, n);
  }

  bool set(const QString& hostPath, quint32 attrs) override {
    attrs &= AttrSettable;
    const QByteArray path = hostPath.toUtf8();
    const bool readOnly = attrs & AttrReadOnly;
    // Unprivileged users may only change user.* attributes of files they can write, so
    // the write permission comes back first and goes again afterwards.
    struct stat before;
    const bool known = ::stat(path.constData(), &before) == 0;
    syncWritePermission(path, false);
    bool ok;
    if (attrs == 0) {
      ok = ::removexattr(path.constData(), kXattrName) == 0 || errno == ENODATA;
    } else {
      const QByteArray value = formatDosAttrib(attrs);
      ok = ::setxattr(path.constData(), kXattrName, value.constData(), size_t(value.size()), 0) == 0;
    }
    if (ok)
      syncWritePermission(path, readOnly);
    else if (known)
      ::chmod(path.constData(), before.st_mode & 07777);  // a refusal changes nothing
    return ok;
  }

  // The attribute travelled with the rename; the alias must not.
  void moved(const QString&, const QString& toHostPath) override {
    if (!toHostPath.isEmpty()) storeAlias(toHostPath.toUtf8(), QString());
  }
  void removed(const QString&) override {}
  QString kind() const override { return QStringLiteral("xattr"); }

  std::optional<QString> alias(const QByteArray& hostPath) override {
    char buf[64];
    const ssize_t n = ::lgetxattr(hostPath.constData(), kAliasXattrName, buf, sizeof buf);
    if (n <= 0) return std::nullopt;
    return QString::fromUtf8(buf, n);
  }

  bool setAliases(const std::vector<std::pair<QByteArray, QString>>& aliases) override {
    bool ok = true;
    for (const auto& [path, alias] : aliases) ok = storeAlias(path, alias) && ok;
    return ok;
  }

 private:
  static constexpr ssize_t kNoCallAt = -2;
  // The attribute `attr` of the entry `name` of the open folder `dirFd`, not following a
  // link: its size, or -1 (errno set) when it has none; kNoCallAt when it must be read by path.
  ssize_t readAt(int dirFd, const char* name, const char* attr, char* buf, size_t size) {
    if (!haveAt_ || kGetxattratCall <= 0 || dirFd < 0) return kNoCallAt;
    XattrArgs args{quint64(reinterpret_cast<quintptr>(buf)), quint32(size), 0};
    const long n = ::syscall(kGetxattratCall, dirFd, name, AT_SYMLINK_NOFOLLOW, attr, &args, sizeof args);
    if (n >= 0 || (errno != ENOSYS && errno != EPERM && errno != EINVAL)) return ssize_t(n);
    haveAt_ = false;
    return kNoCallAt;
  }

  // A link has no user.* attributes of its own; its alias lives only as long as the listing.
  static bool storeAlias(const QByteArray& path, const QString& alias) {
    struct stat before;
    if (::lstat(path.constData(), &before) != 0 || S_ISLNK(before.st_mode)) return false;
    const bool locked = S_ISREG(before.st_mode) && !(before.st_mode & 0200);
    if (locked) ::chmod(path.constData(), (before.st_mode & 07777) | 0200);
    bool ok;
    if (alias.isEmpty()) {
      ok = ::lremovexattr(path.constData(), kAliasXattrName) == 0 || errno == ENODATA;
    } else {
      const QByteArray value = alias.toUtf8();
      ok = ::lsetxattr(path.constData(), kAliasXattrName, value.constData(), size_t(value.size()), 0) == 0;
    }
    if (locked) ::chmod(path.constData(), before.st_mode & 07777);
    return ok;
  }

  // Several threads may read at once (storedAliasesAt).
  std::atomic<bool> haveAt_ = true;
};

// One line per file: "0x27<TAB>drives/C/MSDOS.SYS", the path relative to the machine
// folder as the host spells it; an alias is a line of its own, "=PROGRA~1<TAB>drives/C/
// Program Files", which readers that know only attributes pass over. The whole file is
// replaced atomically on every change.
class FileStore : public BuiltInStore {
 public:
  explicit FileStore(const QString& machineFolder)
      : prefix_(machineFolder + QLatin1Char('/')),
        file_((machineFolder + QLatin1Char('/') + QLatin1String(kAttributeFileName)).toUtf8()) {
    reloadIfChanged();
  }

  std::optional<quint32> stored(const QByteArray& hostPath) override {
    const QString rel = relative(QString::fromUtf8(hostPath));
    if (rel.isNull()) return std::nullopt;
    reloadIfChanged();
    if (auto it = map_.constFind(rel); it != map_.constEnd()) return *it;
    return std::nullopt;
  }

  bool set(const QString& hostPath, quint32 attrs) override {
    const QString rel = relative(hostPath);
    if (rel.isNull()) return false;
    attrs &= AttrSettable;
    reloadIfChanged();
    const auto it = map_.constFind(rel);
    const bool same = attrs == 0 ? it == map_.constEnd() : (it != map_.constEnd() && *it == attrs);
    if (!same) {
      if (attrs == 0)
        map_.remove(rel);
      else
        map_.insert(rel, attrs);
      if (!save()) return false;
    }
    syncWritePermission(hostPath.toUtf8(), attrs & AttrReadOnly);
    return true;
  }

  void moved(const QString& fromHostPath, const QString& toHostPath) override {
    const QString from = relative(fromHostPath), to = relative(toHostPath);
    if (from.isNull()) return;
    reloadIfChanged();
    const bool changed = moveKeys(map_, from, to, true) | moveKeys(aliases_, from, to, false);
    if (changed) save();
  }

  void removed(const QString& hostPath) override { moved(hostPath, QString()); }

  QString kind() const override { return QStringLiteral("file"); }

  std::optional<QString> alias(const QByteArray& hostPath) override {
    const QString rel = relative(QString::fromUtf8(hostPath));
    if (rel.isNull()) return std::nullopt;
    reloadIfChanged();
    if (auto it = aliases_.constFind(rel); it != aliases_.constEnd()) return *it;
    return std::nullopt;
  }

  bool setAliases(const std::vector<std::pair<QByteArray, QString>>& aliases) override {
    reloadIfChanged();
    bool changed = false, ok = true;
    for (const auto& [path, alias] : aliases) {
      const QString rel = relative(QString::fromUtf8(path));
      if (rel.isNull()) {
        ok = false;
      } else if (alias.isEmpty()) {
        changed |= aliases_.remove(rel) > 0;
      } else if (aliases_.value(rel) != alias) {
        aliases_.insert(rel, alias);
        changed = true;
      }
    }
    return (!changed || save()) && ok;
  }

 private:
  // Moves the keys of `from` and everything below it to `to` (drops them when `to` is
  // null); `withSelf` false drops `from`'s own key instead of moving it.
  template <typename Map>
  static bool moveKeys(Map& map, const QString& from, const QString& to, bool withSelf) {
    Map moving;
    const QString under = from + QLatin1Char('/');
    bool changed = false;
    for (auto it = map.begin(); it != map.end();) {
      if (it.key() == from || it.key().startsWith(under)) {
        if (withSelf || it.key() != from) moving.insert(it.key(), it.value());
        it = map.erase(it);
        changed = true;
      } else {
        ++it;
      }
    }
    if (!to.isNull())
      for (auto it = moving.cbegin(); it != moving.cend(); ++it) map.insert(to + it.key().mid(from.size()), it.value());
    return changed;
  }

  QString relative(const QString& hostPath) const {
    if (!hostPath.startsWith(prefix_) || hostPath.size() == prefix_.size()) return QString();
    return hostPath.mid(prefix_.size());
  }

  // Another run of the program (the command-line tool beside the GUI) may have changed
  // the file; its inode changes with every atomic rewrite.
  void reloadIfChanged() {
    struct stat st;
    if (::stat(file_.constData(), &st) != 0) {
      if (loadedIno_ != 0) map_.clear();
      loadedIno_ = 0;
      return;
    }
    if (st.st_ino == loadedIno_ && st.st_mtim.tv_sec == loadedMtime_.tv_sec && st.st_mtim.tv_nsec == loadedMtime_.tv_nsec &&
        st.st_size == loadedSize_)
      return;
    map_.clear();
    aliases_.clear();
    QFile f(QString::fromUtf8(file_));
    if (f.open(QIODevice::ReadOnly)) {
      for (QByteArray line : f.readAll().split('\n')) {
        if (line.endsWith('\r')) line.chop(1);
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0 || tab + 1 >= line.size()) continue;
        if (line.startsWith('=')) {
          if (tab > 1) aliases_.insert(QString::fromUtf8(line.mid(tab + 1)), QString::fromUtf8(line.mid(1, tab - 1)));
          continue;
        }
        const auto attrs = parseDosAttrib(QByteArrayView(line).first(tab));
        if (attrs && *attrs) map_.insert(QString::fromUtf8(line.mid(tab + 1)), *attrs);
      }
    }
    remember(st);
  }

  void remember(const struct stat& st) {
    loadedIno_ = st.st_ino;
    loadedMtime_ = st.st_mtim;
    loadedSize_ = st.st_size;
  }

  bool save() {
    if (map_.isEmpty() && aliases_.isEmpty()) {
      const bool ok = ::unlink(file_.constData()) == 0 || errno == ENOENT;
      loadedIno_ = 0;
      return ok;
    }
    QStringList keys = map_.keys();
    std::sort(keys.begin(), keys.end());
    QByteArray text;
    for (const QString& k : keys) text += formatDosAttrib(map_.value(k)) + '\t' + k.toUtf8() + '\n';
    keys = aliases_.keys();
    std::sort(keys.begin(), keys.end());
    for (const QString& k : keys) text += '=' + aliases_.value(k).toUtf8() + '\t' + k.toUtf8() + '\n';
    if (!writeFileAtomically(QString::fromUtf8(file_), text)) return false;
    struct stat st;
    if (::stat(file_.constData(), &st) == 0) remember(st);
    return true;
  }

  QString prefix_;
  QByteArray file_;
  QHash<QString, quint32> map_;
  QHash<QString, QString> aliases_;
  ino_t loadedIno_ = 0;
  struct timespec loadedMtime_ = {};
  off_t loadedSize_ = 0;
};

// Some file systems (tmpfs on older kernels, many network and FUSE mounts) refuse user.*
// attributes; only trying tells.
bool takesExtendedAttributes(const QString& folder) {
  QByteArray tmpl = (folder + QLatin1Char('/') + QLatin1String(kAtomicTempPrefix) + QStringLiteral("probe.XXXXXX")).toUtf8();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  const QByteArray value = formatDosAttrib(AttrArchive);
  bool ok = ::fsetxattr(fd, kXattrName, value.constData(), size_t(value.size()), 0) == 0;
  char buf[16];
  ok = ok && ::fgetxattr(fd, kXattrName, buf, sizeof buf) == value.size();
  ::close(fd);
  ::unlink(tmpl.constData());
  return ok;
}

}  // namespace

std::optional<quint32> storedAttributes(AttributeStore& store, const QByteArray& hostPath) {
  if (auto* own = dynamic_cast<BuiltInStore*>(&store)) return own->stored(hostPath);
  return store.get(QString::fromUtf8(hostPath));
}

std::optional<quint32> storedAttributesAt(AttributeStore& store, int dirFd, const char* name, const QByteArray& hostPath) {
  if (auto* own = dynamic_cast<BuiltInStore*>(&store)) return own->storedAt(dirFd, name, hostPath);
  return store.get(QString::fromUtf8(hostPath));
}

std::optional<QString> storedAliasAt(AttributeStore& store, int dirFd, const QByteArray& dir, const QByteArray& name) {
  if (auto* own = dynamic_cast<BuiltInStore*>(&store)) return own->aliasAt(dirFd, name.constData(), dir);
  return store.alias(dir + '/' + name);
}

std::vector<std::optional<QString>> storedAliasesAt(AttributeStore& store, int dirFd, const QByteArray& dir,
                                                    const std::vector<const QByteArray*>& names) {
  std::vector<std::optional<QString>> out(names.size());
  auto read = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) out[i] = storedAliasAt(store, dirFd, dir, *names[i]);
  };
  // Each read is a system call that waits on nothing but the kernel's own lookup of the
  // name, so a big folder's reads share both cores; the other stores read one table,
  // which is not made for two threads at once.
  constexpr size_t kShared = 512;
  if (names.size() < kShared || dirFd < 0 || !dynamic_cast<XattrStore*>(&store)) {
    read(0, names.size());
    return out;
  }
  const size_t half = names.size() / 2;
  auto upper = std::async(std::launch::async | std::launch::deferred, [&] { read(half, names.size()); });
  read(0, half);
  upper.get();
  return out;
}

bool setsOnOpenEntries(const AttributeStore& store) { return dynamic_cast<const XattrStore*>(&store) != nullptr; }

bool setOnOpenEntry(AttributeStore& store, int fd, quint32 attrs, const QString& alias) {
  if (!setsOnOpenEntries(store)) return false;
  attrs &= AttrSettable;
  // The entry is new: there is nothing stored to remove, and the attributes go on while it
  // may still be written, as unprivileged users may change only those of files they can write.
  if (attrs) {
    const QByteArray value = formatDosAttrib(attrs);
    if (::fsetxattr(fd, kXattrName, value.constData(), size_t(value.size()), 0) != 0) return false;
  }
  if (!alias.isEmpty()) {
    const QByteArray value = alias.toUtf8();
    if (::fsetxattr(fd, kAliasXattrName, value.constData(), size_t(value.size()), 0) != 0) return false;
  }
  if (!(attrs & AttrReadOnly)) return true;
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  return !S_ISREG(st.st_mode) || !(st.st_mode & 0222) || ::fchmod(fd, st.st_mode & 07777 & ~mode_t(0222)) == 0;
}

std::unique_ptr<AttributeStore> makeAttributeStore(const QString& machineFolder, bool forceFile) {
  if (!forceFile && takesExtendedAttributes(machineFolder)) return std::make_unique<XattrStore>();
  return std::make_unique<FileStore>(machineFolder);
}

}  // namespace vt
