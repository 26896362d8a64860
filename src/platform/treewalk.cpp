// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/treewalk.h"

#include "platform/atomicfile.h"
#include "platform/hostlookup.h"
#include "platform/shortname.h"
#include "platform/wildcard.h"
#include "platform/winpath.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <set>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vt {

namespace {

// One entry of a folder as the host lists it.
struct Listed {
  QByteArray host;
  QString name;
  unsigned char type = DT_UNKNOWN;
};

struct WalkState {
  HostLookup& host;
  AttributeStore& attrs;
  const TreeWalkFilter& filter;
  TreeVisitor& visitor;
  const DriveInfo* drive;
  std::vector<WildcardPattern> patterns;
  std::set<std::pair<dev_t, ino_t>> seen;
  bool stopped = false;
  // Set when the walk fills a listing instead of offering matches: the folder being
  // listed, and the attributes of the one about to be entered.
  TreeListing* listing = nullptr;
  qint32 listedFolder = -1;
  quint32 nextAttributes = AttrDirectory;
  // The aliases of the folder whose matches are being offered: a folder's matches all
  // come before the walk goes into its sub-folders, so one folder's worth is enough.
  QByteArray aliasFolder;
  QHash<QByteArray, QString> aliases;
  const QString& aliasOf(const QByteArray& hostDir, const QByteArray& hostName) {
    static const QString none;
    if (aliasFolder != hostDir || aliasFolder.isNull()) {
      aliases = host.aliasesIn(hostDir);
      aliasFolder = hostDir;
    }
    const auto it = aliases.constFind(hostName);
    return it == aliases.constEnd() ? none : *it;
  }
};

class Match final : public WalkMatch {
 public:
  Match(WalkState& w, int dirFd, const QByteArray& hostDir) : w_(w), dirFd_(dirFd), hostDir_(hostDir) {}
  quint32 attributes() override {
    if (!attrs_) attrs_ = dot_ ? quint32(AttrDirectory) : attributesAt(node_, w_.drive, w_.attrs, dirFd_, hostName_);
    return *attrs_;
  }
  QString shortName() override {
    if (dot_ || shortname::isAlias(name)) return name;
    return w_.aliasOf(hostDir_, hostName_);
  }
  void setEntry(QString winName, const Node& n, const QByteArray& hostName, std::optional<quint32> attrs) {
    name = std::move(winName);
    size = n.isDir() ? 0 : qint64(n.st.st_size);
    lastWrite = hostTime(n.st.st_mtim);
    node_ = n;
    hostName_ = hostName;
    attrs_ = attrs;
    dot_ = false;
  }
  void setDot(const QString& dotName, const struct stat& st) {
    name = dotName;
    size = 0;
    lastWrite = hostTime(st.st_mtim);
    attrs_ = quint32(AttrDirectory);
    dot_ = true;
  }

 private:
  WalkState& w_;
  int dirFd_;
  const QByteArray& hostDir_;
  Node node_;
  QByteArray hostName_;
  std::optional<quint32> attrs_;
  bool dot_ = false;
};

// Hands one entry that matched a pattern to the visitor if the mask lets it through.
// Its attributes are read here only when hidden or system decides.
bool offer(WalkState& w, int dirFd, const QByteArray& hostDir, const QString& win, const Listed& e, const Node& n) {
  constexpr quint32 special = AttrHidden | AttrSystem | AttrDirectory | AttrVolume;
  const quint32 mask = w.filter.matchMask;
  if (n.isDir() && !(mask & AttrDirectory)) return true;
  std::optional<quint32> attrs;
  if ((mask & (AttrHidden | AttrSystem)) != (AttrHidden | AttrSystem)) {
    attrs = attributesAt(n, w.drive, w.attrs, dirFd, e.host);
    if (*attrs & special & ~mask) return true;
  }
  Match m(w, dirFd, hostDir);
  m.setEntry(e.name, n, e.host, attrs);
  return w.visitor.found(win, m);
}

// Whether `pattern` finds the folder's "." or ".." (`dot`), as FindFirstFile does.
bool dotFound(const QString& pattern, const WildcardPattern& wild, const QString& dot) {
  const bool dotName = pattern == QLatin1String(".") || pattern == QLatin1String("..");
  return dotName ? pattern == dot : wild.matches(dot);
}

// The entries of a folder other than "." and ".." that `pattern` finds, as findFirst and
// findNext return them: take(i) for each, in order, where visible(i) says whether Windows
// may see entry i at all. Both the walk of the disk and the walk of a listing judge a
// folder through this one matcher. False when take() stopped the search.
template <class Name, class Host, class Alias, class Visible, class Take>
bool eachFound(qsizetype count, const QString& pattern, const WildcardPattern& wild, Name name, Host host, Alias alias,
               Visible visible, Take take) {
  if (pattern.isEmpty() || pattern == QLatin1String(".") || pattern == QLatin1String("..")) return true;
  if (wild.hasWildcards()) {
    for (qsizetype i = 0; i < count; ++i)
      if (wild.matches(name(i)) && visible(i) && !take(i)) return false;
    return true;
  }
  // A plain name finds one entry: its own spelling first, else the first in another case,
  // else the entry it is the alias of. Every alias Windows makes up has its "~"; a name
  // without one is an alias only of itself, so other folders are spared their aliases.
  const QString plain = withoutTrailingDots(pattern);
  if (plain.isEmpty() || startsWithTempPrefix(plain)) return true;
  const QByteArray exact = plain.toUtf8();
  for (qsizetype i = 0; i < count; ++i)
    if (host(i) == exact && visible(i)) return take(i);
  for (qsizetype i = 0; i < count; ++i)
    if (host(i) != exact && namesEqualNoCase(name(i), plain) && visible(i)) return take(i);
  if (!plain.contains(QLatin1Char('~'))) return true;
  for (qsizetype i = 0; i < count; ++i)
    if (namesEqualNoCase(alias(i), plain) && visible(i)) return take(i);
  return true;
}

// eachFound over a folder as read from the disk: an entry is seen when the lookup can visit
// it, and `n` then holds what it is, for take().
template <class Take>
bool eachFoundOnDisk(WalkState& w, int dirFd, const QByteArray& hostDir, const std::vector<Listed>& entries,
                     const QString& pattern, const WildcardPattern& wild, Node* n, Take take) {
  return eachFound(
      qsizetype(entries.size()), pattern, wild, [&](qsizetype i) { return QStringView(entries[size_t(i)].name); },
      [&](qsizetype i) { return QByteArrayView(entries[size_t(i)].host); },
      [&](qsizetype i) -> const QString& { return w.aliasOf(hostDir, entries[size_t(i)].host); },
      [&](qsizetype i) {
        const Listed& e = entries[size_t(i)];
        return w.host.visit(hostDir + '/' + e.host, n, dirFd, e.host.constData());
      },
      take);
}

// Where `piece` starts once appended to `arena`.
template <class Arena, class Piece>
quint32 append(Arena& arena, const Piece& piece) {
  const auto at = quint32(arena.size());
  arena += piece;
  return at;
}

// The matches of one pattern in a folder, as findFirst and findNext return them.
bool searchFolder(WalkState& w, int dirFd, const QByteArray& hostDir, const QString& win, bool root,
                  const std::vector<Listed>& entries, const QString& pattern, const WildcardPattern& wild) {
  if (!root && (w.filter.matchMask & AttrDirectory)) {
    for (const char* dot : {".", ".."}) {
      const QString d = QString::fromLatin1(dot);
      if (!dotFound(pattern, wild, d)) continue;
      struct stat st;
      if (::fstatat(dirFd, dot, &st, 0) != 0) st = {};
      Match m(w, dirFd, hostDir);
      m.setDot(d, st);
      if (!w.visitor.found(win, m)) return false;
    }
  }
  Node n;
  return eachFoundOnDisk(w, dirFd, hostDir, entries, pattern, wild, &n,
                         [&](qsizetype i) { return offer(w, dirFd, hostDir, win, entries[size_t(i)], n); });
}

}  // namespace

// Fills a listing as the walk goes: a folder's record when it is entered, its entries once
// every pattern has judged them.
struct ListingBuilder {
  static void start(TreeListing& l, HostLookup* host, const TreeWalkFilter& filter);
  static void finish(TreeListing& l);
  static void addFolder(TreeListing& l, const QString& win, const QByteArray& hostDir, qint32 parent, quint32 attrs) {
    TreeListing::Folder f;
    f.win = append(l.names_, win);
    f.winSize = quint32(win.size());
    f.host = append(l.hostNames_, hostDir);
    f.hostSize = quint32(hostDir.size());
    f.first = quint32(l.entries_.size());
    f.parent = parent;
    f.attributes = attrs;
    l.folders_.push_back(f);
  }
  static TreeListing::Entry entry(TreeListing& l, QStringView name, QByteArrayView host, const struct stat& st, bool dir,
                                  quint32 attrs, quint8 flags) {
    TreeListing::Entry e;
    e.name = append(l.names_, name);
    e.nameSize = quint16(name.size());
    e.host = append(l.hostNames_, host);
    e.hostSize = quint16(host.size());
    e.size = dir ? 0 : qint64(st.st_size);
    e.lastWrite = st.st_mtim;
    e.attributes = quint8(attrs);
    e.flags = flags;
    return e;
  }
  // Judges the folder just recorded by every pattern of the walk's filter.
  static void listFolder(TreeListing& l, WalkState& w, int dirFd, const QByteArray& hostDir, const QString& win, bool root,
                         const std::vector<Listed>& entries) {
    constexpr quint32 special = AttrHidden | AttrSystem | AttrDirectory | AttrVolume;
    const quint32 mask = w.filter.matchMask;
    std::vector<std::pair<qsizetype, TreeListing::Entry>> found;  // by the entry's place in the folder, dots first
    std::vector<bool> taken(entries.size());
    bool dotTaken[2] = {false, false};
    Node n;
    for (qsizetype p = 0; p < w.filter.patterns.size(); ++p) {
      const QString& pattern = w.filter.patterns[p];
      if (win.size() + pattern.size() > kMaxWinPathLength) continue;
      const WildcardPattern& wild = w.patterns[size_t(p)];
      if (!root && (mask & AttrDirectory)) {
        for (int d = 0; d < 2; ++d) {
          const char* dot = d == 0 ? "." : "..";
          if (dotTaken[d] || !dotFound(pattern, wild, QString::fromLatin1(dot))) continue;
          dotTaken[d] = true;
          struct stat st;
          if (::fstatat(dirFd, dot, &st, 0) != 0) st = {};
          found.emplace_back(d - 2, entry(l, QString::fromLatin1(dot), dot, st, true, AttrDirectory, TreeListing::Dot));
        }
      }
      eachFoundOnDisk(w, dirFd, hostDir, entries, pattern, wild, &n, [&](qsizetype i) {
        if (taken[size_t(i)]) return true;
        taken[size_t(i)] = true;
        const Listed& e = entries[size_t(i)];
        const quint32 attrs = attributesAt(n, w.drive, w.attrs, dirFd, e.host);
        // What a walk of the disk would find and pass over stays in the listing, so that a
        // plain name finds nothing in it rather than the next entry in line.
        const bool masked = (n.isDir() && !(mask & AttrDirectory)) ||
                            ((mask & (AttrHidden | AttrSystem)) != (AttrHidden | AttrSystem) && (attrs & special & ~mask));
        found.emplace_back(i, entry(l, e.name, e.host, n.st, n.isDir(), attrs, masked ? TreeListing::Masked : 0));
        return true;
      });
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    TreeListing::Folder& f = l.folders_.back();
    f.first = quint32(l.entries_.size());
    f.count = quint32(found.size());
    for (const auto& [place, e] : found) l.entries_.push_back(e);
  }
};

namespace {

// Searches a folder that the visitor has entered, then walks its sub-folders. Takes `fd`.
void walkFolder(WalkState& w, int fd, const QByteArray& hostDir, const QString& win, bool root) {
  const qint32 parent = w.listedFolder;
  if (w.listing) {
    ListingBuilder::addFolder(*w.listing, win, hostDir, parent, w.nextAttributes);
    w.listedFolder = qint32(w.listing->folderCount() - 1);
  }
  struct Restore {
    WalkState& w;
    qint32 parent;
    ~Restore() { w.listedFolder = parent; }
  } restore{w, parent};
  DIR* dir = ::fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return;
  }
  const int dirFd = ::dirfd(dir);
  std::vector<Listed> entries;
  while (const dirent* e = ::readdir(dir)) {
    if (isHiddenHostName(e->d_name)) {
      if (e->d_type == DT_REG || e->d_type == DT_UNKNOWN) removeAbandonedAtomicTempAt(dirFd, e->d_name);
      continue;
    }
    if (w.host.isAttributeFile(hostDir, e->d_name)) continue;
    entries.push_back(Listed{QByteArray(e->d_name), QString::fromUtf8(e->d_name), e->d_type});
  }
  if (w.listing) ListingBuilder::listFolder(*w.listing, w, dirFd, hostDir, win, root, entries);
  for (qsizetype i = 0; i < w.filter.patterns.size() && !w.stopped && !w.listing; ++i) {
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
      if (!w.host.visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData()) || !n.isDir()) continue;
      childFd = ::open(n.host.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (childFd < 0 || ::fstat(childFd, &n.st) != 0) {
        if (childFd >= 0) ::close(childFd);
        continue;
      }
    }
    // A listing keeps every folder's attributes, so that walks of it can pass over hidden ones.
    const quint32 attrs = attrsDecide || w.listing ? attributesAt(n, w.drive, w.attrs, dirFd, e.host) : 0;
    if (attrsDecide && (attrs & (AttrHidden | AttrSystem) & ~mask)) {
      ::close(childFd);
      continue;
    }
    w.nextAttributes = attrs;
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

}  // namespace

void walkHostTree(HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win) {
  WalkState w{host, attrs, filter, visitor, drive, {}, {}, false, nullptr, -1, AttrDirectory, {}, {}};
  for (const QString& pattern : filter.patterns) w.patterns.emplace_back(pattern);
  w.seen.insert({root.st.st_dev, root.st.st_ino});
  walkFolder(w, fd, root.host, win, root.root);
}

void ListingBuilder::start(TreeListing& l, HostLookup* host, const TreeWalkFilter& filter) {
  l = TreeListing();
  l.host_ = host;
  l.patterns_ = filter.patterns;
  l.matchMask_ = filter.matchMask;
}

void ListingBuilder::finish(TreeListing& l) {
  l.names_.squeeze();
  l.hostNames_.squeeze();
  l.folders_.shrink_to_fit();
  l.entries_.shrink_to_fit();
}

void listHostTree(HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win, TreeListing* out) {
  ListingBuilder::start(*out, &host, filter);
  TreeWalkFilter all = filter;
  all.folderMask = AttrAnyFile;
  WalkState w{host, attrs, all, visitor, drive, {}, {}, false, out, -1, AttrDirectory, {}, {}};
  for (const QString& pattern : filter.patterns) w.patterns.emplace_back(pattern);
  w.seen.insert({root.st.st_dev, root.st.st_ino});
  walkFolder(w, fd, root.host, win, root.root);
  ListingBuilder::finish(*out);
}

void listUnsearchable(const QString& win, TreeListing* out) {
  ListingBuilder::start(*out, nullptr, {});
  ListingBuilder::addFolder(*out, win, {}, -1, AttrDirectory);
  ListingBuilder::finish(*out);
}

bool TreeListing::walk(const TreeWalkFilter& filter, TreeVisitor& visitor) const {
  if (filter.matchMask != matchMask_) return false;
  std::vector<qsizetype> listed;  // each pattern's place among the listing's
  for (const QString& p : filter.patterns) {
    const qsizetype at = patterns_.indexOf(p);
    if (at < 0) return false;
    listed.push_back(at);
  }
  std::vector<WildcardPattern> wild;
  for (const QString& p : filter.patterns) wild.emplace_back(p);

  class Kept final : public WalkMatch {
   public:
    quint32 attributes() override { return attrs; }
    QString shortName() override {
      if (dot || shortname::isAlias(name)) return name;
      return alias();
    }
    quint32 attrs = 0;
    bool dot = false;
    std::function<QString()> alias;
  };
  // Aliases are read from the disk, one folder's worth at a time, only when asked for.
  qsizetype aliasFolder = -1;
  QHash<QByteArray, QString> aliases;
  auto aliasOf = [&](const Folder& f, qsizetype folder, const Entry& e) -> const QString& {
    static const QString none;
    if (!host_) return none;
    if (aliasFolder != folder) {
      aliases = host_->aliasesIn(hostNames_.mid(f.host, f.hostSize));
      aliasFolder = folder;
    }
    const auto it = aliases.constFind(hostNames_.mid(e.host, e.hostSize));
    return it == aliases.constEnd() ? none : *it;
  };
  auto nameOf = [&](const Entry& e) { return QStringView(names_).sliced(e.name, e.nameSize); };
  auto hostOf = [&](const Entry& e) { return QByteArrayView(hostNames_).sliced(e.host, e.hostSize); };

  const quint32 folderMask = filter.folderMask;
  std::vector<bool> passedOver(folders_.size());
  for (size_t i = 0; i < folders_.size(); ++i) {
    const Folder& f = folders_[i];
    if (f.parent >= 0 && (passedOver[size_t(f.parent)] || !(folderMask & AttrDirectory) ||
                          (f.attributes & (AttrHidden | AttrSystem) & ~folderMask))) {
      passedOver[i] = true;
      continue;
    }
    const QString win = names_.mid(f.win, f.winSize);
    if (!visitor.enterFolder(win)) return true;
    const Entry* entries = entries_.data() + f.first;
    qsizetype dots = 0;
    while (dots < qsizetype(f.count) && (entries[dots].flags & Dot)) ++dots;
    const Entry* named = entries + dots;
    for (size_t p = 0; p < wild.size(); ++p) {
      const QString& pattern = filter.patterns[qsizetype(p)];
      if (win.size() + pattern.size() > kMaxWinPathLength) continue;
      auto offer = [&](const Entry& e) {
        if (e.flags & Masked) return true;
        Kept m;
        m.name = nameOf(e).toString();
        m.size = e.size;
        m.lastWrite = hostTime(e.lastWrite);
        m.attrs = e.attributes;
        m.dot = e.flags & Dot;
        m.alias = [&, i] { return aliasOf(f, qsizetype(i), e); };
        return visitor.found(win, m);
      };
      for (qsizetype d = 0; d < dots; ++d)
        if (dotFound(pattern, wild[p], nameOf(entries[d]).toString()) && !offer(entries[d])) return true;
      const bool more = eachFound(
          qsizetype(f.count) - dots, pattern, wild[p], [&](qsizetype k) { return nameOf(named[k]); },
          [&](qsizetype k) { return hostOf(named[k]); },
          [&](qsizetype k) -> const QString& { return aliasOf(f, qsizetype(i), named[k]); }, [](qsizetype) { return true; },
          [&](qsizetype k) { return offer(named[k]); });
      if (!more) return true;
    }
  }
  return true;
}

int TreeListing::plainFolderCount() const {
  int count = 0;
  std::vector<bool> hidden(folders_.size());
  for (size_t i = 0; i < folders_.size(); ++i) {
    const Folder& f = folders_[i];
    hidden[i] = f.parent >= 0 && (hidden[size_t(f.parent)] || (f.attributes & (AttrHidden | AttrSystem)));
    if (!hidden[i]) ++count;
  }
  return count;
}

size_t TreeListing::bytesUsed() const {
  return size_t(names_.capacity()) * sizeof(QChar) + size_t(hostNames_.capacity()) + folders_.capacity() * sizeof(Folder) +
         entries_.capacity() * sizeof(Entry) + sizeof(*this);
}

}  // namespace vt
