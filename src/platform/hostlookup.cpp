// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/hostlookup.h"

#include "platform/atomicfile.h"
#include "platform/attributestore.h"
#include "platform/shortname.h"
#include "platform/wildcard.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <utility>

namespace vt {

namespace {

// Names the cached listings of all folders may hold together before they are dropped.
constexpr qsizetype kMaxCachedNames = 100000;
// Folders held open for lookups at most, before all are closed.
constexpr size_t kMaxOpenFolders = 64;

std::optional<QByteArray> realPath(const QByteArray& path) {
  char* r = ::realpath(path.constData(), nullptr);
  if (!r) return std::nullopt;
  QByteArray out(r);
  std::free(r);
  return out;
}

QString foldedName(QStringView name) {
  QString out(name.size(), Qt::Uninitialized);
  QChar* o = out.data();
  for (QChar c : name) *o++ = QChar(foldNameChar(c.unicode()));
  return out;
}

// The same for a host name as the listing gives it, without decoding a name of plain ASCII.
QString foldedHostName(const char* name) {
  const size_t size = std::strlen(name);
  QString out(qsizetype(size), Qt::Uninitialized);
  char16_t* o = reinterpret_cast<char16_t*>(out.data());
  for (size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) return foldedName(QString::fromUtf8(name, qsizetype(size)));
    o[i] = foldNameChar(c);
  }
  return out;
}

// A folder changed within the last moments may change again without its time moving on
// (the host's clock ticks coarsely), so its listing is not kept until it has settled.
bool recentlyChanged(const struct timespec& mtime) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  const qint64 ageMs = (qint64(now.tv_sec) - mtime.tv_sec) * 1000 + (now.tv_nsec - mtime.tv_nsec) / 1000000;
  return ageMs < 100;
}

bool sameTime(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

quint32 withHostBits(const Node& n, const DriveInfo* d, std::optional<quint32> stored) {
  quint32 a = stored.value_or(0) & AttrSettable;
  if (n.isDir()) return a | AttrDirectory;
  if (readOnlyMedium(d) || !(n.st.st_mode & 0222)) a |= AttrReadOnly;
  return a;
}

}  // namespace

bool isHiddenHostName(const char* name) {
  if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) return true;
  return std::strncmp(name, kAtomicTempPrefix, std::strlen(kAtomicTempPrefix)) == 0;
}

QDateTime hostTime(const struct timespec& ts) {
  return QDateTime::fromMSecsSinceEpoch(qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000, Qt::UTC);
}

bool isUnder(const QByteArray& path, const QByteArray& folder) {
  return path == folder || (path.startsWith(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

QByteArray parentOf(const QByteArray& hostPath) { return hostPath.left(hostPath.lastIndexOf('/')); }

quint32 attributesOf(const Node& n, const DriveInfo* d, AttributeStore& store) {
  if (n.root) return AttrDirectory;
  return withHostBits(n, d, storedAttributes(store, n.host));
}

quint32 attributesAt(const Node& n, const DriveInfo* d, AttributeStore& store, int dirFd, const QByteArray& name) {
  if (n.root) return AttrDirectory;
  if (n.isLink() || dirFd < 0) return attributesOf(n, d, store);
  return withHostBits(n, d, storedAttributesAt(store, dirFd, name.constData(), n.host));
}

HostLookup::HostLookup(QByteArray machineFolder, const std::map<QChar, DriveInfo>& drives, AttributeStore& store)
    : machineFolder_(std::move(machineFolder)), drives_(drives), store_(store) {}

// Where a symbolic link leads, as a path under the machine folder or one of the drive
// roots (which may themselves be links the owner set up); nullopt when it leads out.
std::optional<QByteArray> HostLookup::containedTarget(const QByteArray& link) const {
  const auto real = realPath(link);
  if (!real) return std::nullopt;
  for (const auto& [letter, d] : drives_) {
    const QByteArray root = d.hostRoot.toUtf8();
    if (const auto rr = realPath(root); rr && isUnder(*real, *rr)) return root + real->mid(rr->size());
  }
  if (const auto rf = realPath(machineFolder_); rf && isUnder(*real, *rf)) return machineFolder_ + real->mid(rf->size());
  return std::nullopt;
}

bool HostLookup::visit(const QByteArray& entry, Node* n, int dirFd, const char* name) const {
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

bool HostLookup::isAttributeFile(const QByteArray& dir, const char* name) const {
  return std::strcmp(name, kAttributeFileName) == 0 && dir == machineFolder_;
}

void HostLookup::readListing(DIR* d, const QByteArray& dir, Listing& l) const {
  while (const dirent* e = ::readdir(d)) {
    if (isHiddenHostName(e->d_name) || isAttributeFile(dir, e->d_name)) continue;
    l.hostNames.emplace_back(e->d_name);
    l.types.push_back(e->d_type);
  }
  // Made to size once the count is known, rather than grown while reading.
  l.names.reserve(qsizetype(l.hostNames.size()));
  for (size_t i = 0; i < l.hostNames.size(); ++i) {
    const QString key = foldedHostName(l.hostNames[i].constData());
    const qsizetype before = l.names.size();
    qsizetype& first = l.names[key];
    if (l.names.size() != before)
      first = qsizetype(i);
    else
      l.ambiguous.insert(key);
  }
}

// The names of the host folder `dir` by their folded form.
HostLookup::Listing* HostLookup::cachedListing(const QByteArray& dir) {
  struct stat st;
  if (::stat(dir.constData(), &st) != 0) return nullptr;
  auto it = listings_.find(dir);
  if (it != listings_.end()) {
    if (it->dev == st.st_dev && it->ino == st.st_ino && sameTime(it->mtime, st.st_mtim)) return &*it;
    cachedNames_ -= it->names.size();
    listings_.erase(it);
  }
  DIR* d = ::opendir(dir.constData());
  if (!d) return nullptr;
  Listing l;
  l.dev = st.st_dev;
  l.ino = st.st_ino;
  l.mtime = st.st_mtim;
  readListing(d, dir, l);
  ::closedir(d);
  if (recentlyChanged(st.st_mtim)) {
    scratch_ = std::move(l);
    return &scratch_;
  }
  if (cachedNames_ + l.names.size() > kMaxCachedNames) {
    listings_.clear();
    cachedNames_ = 0;
  }
  cachedNames_ += l.names.size();
  return &*listings_.insert(dir, std::move(l));
}

void HostLookup::giveAliases(const QByteArray& dir, Listing& l, int dirFd) {
  if (l.aliased) return;
  l.aliased = true;
  const size_t count = l.hostNames.size();
  std::vector<QString> names;
  std::vector<bool> ownAlias;
  names.reserve(count);
  ownAlias.reserve(count);
  for (const QByteArray& host : l.hostNames) {
    names.push_back(QString::fromUtf8(host));
    ownAlias.push_back(shortname::isAlias(names.back()));
  }
  QSet<QString> taken;
  taken.reserve(qsizetype(count));
  l.aliasOf.assign(count, QString());
  std::vector<size_t> pending;
  auto assign = [&](size_t i, const QString& alias) {
    l.aliasOf[i] = alias;
    taken.insert(alias);
    if (!namesEqualNoCase(names[i], alias)) l.byAlias.insert(alias, l.hostNames[i]);
  };
  // A stored alias is the entry's for good, even when a name that came later is the same
  // (the name is found first); only two entries storing one alias make the second give
  // its up. A name that is an alias as it stands needs nothing stored: it is its own.
  // Until the names that are their own come next, every alias taken is a stored one.
  std::vector<size_t> maybeStored;
  std::vector<const QByteArray*> storedNames;
  for (size_t i = 0; i < count; ++i) {
    if (ownAlias[i]) continue;
    maybeStored.push_back(i);
    storedNames.push_back(&l.hostNames[i]);
  }
  // Nearly every entry that is not its own alias has one that is not its name.
  l.byAlias.reserve(qsizetype(maybeStored.size()));
  const auto stored = storedAliasesAt(store_, dirFd, dir, storedNames);
  for (size_t k = 0; k < maybeStored.size(); ++k) {
    const size_t i = maybeStored[k];
    const std::optional<QString>& alias = stored[k];
    if (alias && shortname::isAlias(*alias) && !taken.contains(*alias)) {
      assign(i, *alias);
    } else {
      pending.push_back(i);
    }
  }
  for (size_t i = 0; i < count; ++i)
    if (ownAlias[i]) assign(i, names[i]);
  // Without a stored alias a name that fits 8.3 in another case is its own alias in upper
  // case; that follows from the name alone and is not stored either.
  std::vector<size_t> generated;
  for (size_t i : pending) {
    const QString own = shortname::ownAlias(names[i]);
    if (!own.isEmpty() && !taken.contains(own))
      assign(i, own);
    else
      generated.push_back(i);
  }
  std::sort(generated.begin(), generated.end(), [&](size_t a, size_t b) { return l.hostNames[a] < l.hostNames[b]; });
  std::vector<std::pair<QByteArray, QString>> toStore;
  for (size_t i : generated) {
    const QString alias = shortname::generate(names[i], [&](const QString& a) { return taken.contains(a); });
    assign(i, alias);
    toStore.emplace_back(dir + '/' + l.hostNames[i], alias);
  }
  // A folder the store cannot write into (a read-only copy) keeps its aliases for as long
  // as the listing lives; they come out the same the next time.
  if (!toStore.empty()) store_.setAliases(toStore);
}

const QHash<QByteArray, QString>& HostLookup::Listing::aliasesByHost() {
  if (aliases.isEmpty() && !aliasOf.empty()) {
    aliases.reserve(qsizetype(aliasOf.size()));
    for (size_t i = 0; i < aliasOf.size(); ++i) aliases.insert(hostNames[i], aliasOf[i]);
  }
  return aliases;
}

QHash<QByteArray, QString> HostLookup::aliasesIn(const QByteArray& dir) {
  Listing* l = cachedListing(dir);
  if (!l) return {};
  giveAliases(dir, *l);
  return l->aliasesByHost();
}

const QByteArray* HostLookup::byAlias(const QByteArray& dir, Listing& l, const QString& name, int dirFd) {
  const QString key = foldedName(name);
  if (!shortname::isAlias(key)) return nullptr;
  giveAliases(dir, l, dirFd);
  const auto it = l.byAlias.constFind(key);
  return it == l.byAlias.constEnd() ? nullptr : &*it;
}

QString HostLookup::aliasOf(const QByteArray& dir, const QByteArray& hostName) {
  const QString name = QString::fromUtf8(hostName);
  if (shortname::isAlias(name)) return name;
  Listing* l = cachedListing(dir);
  if (!l) return {};
  giveAliases(dir, *l);
  return l->aliasesByHost().value(hostName);
}

void HostLookup::forget(const QByteArray& dir) {
  if (auto it = listings_.find(dir); it != listings_.end()) {
    cachedNames_ -= it->names.size();
    listings_.erase(it);
  }
  if (auto it = folders_.find(dir); it != folders_.end() && it->second.listed) {
    folderNames_ -= it->second.listing.names.size();
    it->second.listed = false;
    it->second.listing = {};
  }
}

void HostLookup::forgetAll() {
  listings_.clear();
  cachedNames_ = 0;
  for (auto& [path, f] : folders_) {
    f.listed = false;
    f.listing = {};
  }
  folderNames_ = 0;
}

HostLookup::Folder::~Folder() {
  if (fd >= 0) ::close(fd);
}

HostLookup::Folder* HostLookup::openFolder(const QByteArray& path, const struct stat& st, int parentFd, const char* name) {
  if (auto it = folders_.find(path); it != folders_.end()) {
    // The open folder keeps its inode from being reused: the same number is the same folder.
    if (it->second.dev == st.st_dev && it->second.ino == st.st_ino) return &it->second;
    if (it->second.listed) folderNames_ -= it->second.listing.names.size();
    folders_.erase(it);
  }
  const int fd = parentFd >= 0 ? ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                               : ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat own;
  if (::fstat(fd, &own) != 0 || own.st_dev != st.st_dev || own.st_ino != st.st_ino) {
    ::close(fd);
    return nullptr;
  }
  // Only now: the parent may be one of the folders closed here, and its descriptor was
  // needed above.
  if (folders_.size() >= kMaxOpenFolders) {
    folders_.clear();
    folderNames_ = 0;
  }
  Folder& f = folders_[path];
  f.fd = fd;
  f.dev = st.st_dev;
  f.ino = st.st_ino;
  return &f;
}

HostLookup::Listing* HostLookup::currentListing(Folder& f, const Node& dir) {
  const struct timespec& ctime = dir.st.st_ctim;
  if (f.listed && sameTime(f.ctime, ctime)) return &f.listing;
  if (recentlyChanged(ctime)) return nullptr;
  if (f.listed) folderNames_ -= f.listing.names.size();
  f.listed = false;
  f.listing = {};
  const int fd = ::openat(f.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return nullptr;
  }
  readListing(d, dir.host, f.listing);
  ::closedir(d);
  if (folderNames_ + f.listing.names.size() > kMaxCachedNames) {
    for (auto& [path, other] : folders_) {
      if (&other == &f) continue;
      other.listed = false;
      other.listing = {};
    }
    folderNames_ = 0;
  }
  // Read after the stat that gave `ctime`: a change in between moves the time on, and the
  // next call reads the folder again.
  f.listed = true;
  f.ctime = ctime;
  folderNames_ += f.listing.names.size();
  return &f.listing;
}

HostLookup::Folder* HostLookup::heldFolderAt(const Node& dir, const QByteArray& path) {
  const auto it = folders_.find(path);
  if (it == folders_.end()) return nullptr;
  const Folder& h = it->second;
  if (!h.entrySeen || h.aboveDev != dir.st.st_dev || h.aboveIno != dir.st.st_ino || !sameTime(h.aboveTime, dir.st.st_ctim))
    return nullptr;
  return &it->second;
}

bool HostLookup::lookupIn(Folder& f, const Node& dir, const QString& name, Node* out, Folder** next, bool typeOnly) {
  *next = nullptr;
  auto found = [&](const QByteArray& hostName, const struct stat& st) {
    out->host = out->entry = dir.host + '/' + hostName;
    out->root = false;
    out->st = st;
    if (S_ISDIR(st.st_mode)) *next = openFolder(out->host, st, f.fd, hostName.constData());
    // The entry was read after the stat that gave the folder's change time; had the folder
    // changed in between, its time would have moved on from one already settled.
    if (*next && !recentlyChanged(dir.st.st_ctim)) {
      (*next)->entrySeen = true;
      (*next)->aboveDev = dir.st.st_dev;
      (*next)->aboveIno = dir.st.st_ino;
      (*next)->aboveTime = dir.st.st_ctim;
    }
    return true;
  };
  // A folder its entry named when this folder last changed still is what the entry names;
  // its own stat, with no name looked up, tells the rest.
  auto held = [&](const QByteArray& hostName) {
    QByteArray path = dir.host + '/' + hostName;
    Folder* h = heldFolderAt(dir, path);
    struct stat st;
    if (!h || ::fstat(h->fd, &st) != 0) return false;
    out->host = out->entry = std::move(path);
    out->root = false;
    out->st = st;
    *next = h;
    return true;
  };
  struct stat st;
  Listing* l = f.listed && sameTime(f.ctime, dir.st.st_ctim) ? &f.listing : nullptr;
  if (!l) {
    // Without a current listing the exact spelling comes first, as in lookup(): a name
    // found as written needs no listing.
    const QByteArray exact = name.toUtf8();
    if (held(exact)) return true;
    if (!isAttributeFile(dir.host, exact.constData()) && ::fstatat(f.fd, exact.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return found(exact, st);
      if (S_ISLNK(st.st_mode) && visit(dir.host + '/' + exact, out)) return true;
    }
    l = currentListing(f, dir);
    if (!l) return lookup(dir.host, name, out);
  }
  const QString key = foldedName(name);
  QByteArray hostName;
  if (const auto it = l->names.constFind(key); it != l->names.constEnd()) {
    // Two spellings of one name: the exact one first, as lookup() has it.
    if (l->ambiguous.contains(key)) return lookup(dir.host, name, out);
    hostName = l->hostNames[size_t(*it)];
    // Nothing in the folder has changed since the listing gave this entry's type, and a
    // plain file cannot become anything else without its entry changing too.
    if (typeOnly && l->types[size_t(*it)] == DT_REG) {
      struct stat typed = {};
      typed.st_mode = S_IFREG;
      return found(hostName, typed);
    }
  } else if (const QByteArray* aliased = byAlias(dir.host, *l, name, f.fd)) {
    hostName = *aliased;
  } else {
    return false;  // the folder has not changed since its listing lacked the name
  }
  if (held(hostName)) return true;
  if (::fstatat(f.fd, hostName.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) return lookup(dir.host, name, out);
  if (S_ISLNK(st.st_mode)) return visit(dir.host + '/' + hostName, out) || lookup(dir.host, name, out);
  // A device node or pipe hides nothing: lookup() knows what lies behind it.
  if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return lookup(dir.host, name, out);
  return found(hostName, st);
}

qsizetype HostLookup::lookupPath(const Node& root, const QStringList& names, qsizetype count, Node* out,
                                 std::vector<QByteArray>* entries, bool typeOnly) {
  Node cur = root;
  Folder* f = cur.isDir() ? openFolder(root.host, root.st, -1, nullptr) : nullptr;
  qsizetype i = 0;
  for (; i < count && cur.isDir(); ++i) {
    Node child;
    Folder* next = nullptr;
    // Past a link the names are looked up by path, as the link's target is confirmed by it.
    if (!(f ? lookupIn(*f, cur, names[i], &child, &next, typeOnly && i == count - 1) : lookup(cur.host, names[i], &child))) break;
    if (entries) entries->push_back(child.entry);
    cur = std::move(child);
    f = next;
  }
  *out = std::move(cur);
  return i;
}

bool HostLookup::lookup(const QByteArray& dir, const QString& name, Node* out) {
  const QByteArray exact = name.toUtf8();
  // A name the folder's listing knows in one spelling is that entry while the entry is
  // still there; only a miss needs to know that the listing is current.
  if (const auto l = listings_.find(dir); l != listings_.end()) {
    const QString key = foldedName(name);
    const QByteArray* first = l->first(key);
    if (first && !l->ambiguous.contains(key) && visit(dir + '/' + *first, out)) return true;
    if (l->aliased && !first)
      if (const auto it = l->byAlias.constFind(key); it != l->byAlias.constEnd() && visit(dir + '/' + *it, out)) return true;
  }
  const bool exactTaken = visit(dir + '/' + exact, out);
  if (exactTaken && !isAttributeFile(dir, exact.constData())) return true;
  if (Listing* l = cachedListing(dir)) {
    const QByteArray* first = l->first(foldedName(name));
    if (!first) {
      const QByteArray* host = byAlias(dir, *l, name);
      return host && visit(dir + '/' + *host, out);
    }
    if (*first != exact && visit(dir + '/' + *first, out)) return true;
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

bool HostLookup::heldOutOfSight(const QByteArray& dir, const QString& name) {
  struct stat st;
  if (::lstat((dir + '/' + name.toUtf8()).constData(), &st) == 0) return true;
  if (const Listing* l = cachedListing(dir)) return l->names.contains(foldedName(name));
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

}  // namespace vt
