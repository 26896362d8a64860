// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/treewalk.h"

#include "platform/atomicfile.h"
#include "platform/hostlookup.h"
#include "platform/shortname.h"
#include "platform/wildcard.h"
#include "platform/winpath.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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
      Match m(w, dirFd, hostDir);
      m.setDot(d, st);
      if (!w.visitor.found(win, m)) return false;
    }
  }
  if (pattern.isEmpty() || dotName) return true;
  Node n;
  if (wild.hasWildcards()) {
    for (const Listed& e : entries) {
      if (!wild.matches(e.name) || !w.host.visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData())) continue;
      if (!offer(w, dirFd, hostDir, win, e, n)) return false;
    }
    return true;
  }
  // A plain name finds one entry: its own spelling first, else the first in another case,
  // else the entry it is the alias of. Every alias Windows makes up has its "~"; a name
  // without one is an alias only of itself, so other folders are spared their aliases.
  const QString plain = withoutTrailingDots(pattern);
  if (plain.isEmpty() || startsWithTempPrefix(plain)) return true;
  const QByteArray exact = plain.toUtf8();
  auto visible = [&](const Listed& e) { return w.host.visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData()); };
  for (const Listed& e : entries)
    if (e.host == exact && visible(e)) return offer(w, dirFd, hostDir, win, e, n);
  for (const Listed& e : entries)
    if (e.host != exact && namesEqualNoCase(e.name, plain) && visible(e)) return offer(w, dirFd, hostDir, win, e, n);
  if (!plain.contains(QLatin1Char('~'))) return true;
  for (const Listed& e : entries)
    if (namesEqualNoCase(w.aliasOf(hostDir, e.host), plain) && visible(e)) return offer(w, dirFd, hostDir, win, e, n);
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
  while (const dirent* e = ::readdir(dir)) {
    if (isHiddenHostName(e->d_name)) {
      if (e->d_type == DT_REG || e->d_type == DT_UNKNOWN) removeAbandonedAtomicTempAt(dirFd, e->d_name);
      continue;
    }
    if (w.host.isAttributeFile(hostDir, e->d_name)) continue;
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
      if (!w.host.visit(hostDir + '/' + e.host, &n, dirFd, e.host.constData()) || !n.isDir()) continue;
      childFd = ::open(n.host.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (childFd < 0 || ::fstat(childFd, &n.st) != 0) {
        if (childFd >= 0) ::close(childFd);
        continue;
      }
    }
    if (attrsDecide && (attributesAt(n, w.drive, w.attrs, dirFd, e.host) & (AttrHidden | AttrSystem) & ~mask)) {
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

}  // namespace

void walkHostTree(HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win) {
  WalkState w{host, attrs, filter, visitor, drive, {}, {}, false, {}, {}};
  for (const QString& pattern : filter.patterns) w.patterns.emplace_back(pattern);
  w.seen.insert({root.st.st_dev, root.st.st_ino});
  walkFolder(w, fd, root.host, win, root.root);
}

}  // namespace vt
