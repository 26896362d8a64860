// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Walking a drive's tree as the recursion of FindFirstFile calls does (FileSystem::walkTree),
// and what such a walk hands over. Each folder is read once, relative to its open parent,
// and its entries judged from that one listing by every pattern of the filter, so a walk
// over a large drive costs one listing and one stat per entry. A folder reached twice (a
// link back up the tree, two links to one folder) is entered once. A TreeListing keeps what
// one walk found for the walks of the same tree that follow, so that several searches of
// a drive read its folders once between them.
#include "platform/attributes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <ctime>
#include <vector>

namespace vt {

// One entry as FindFirstFile and FindNextFile report it, and as a walk hands it over.
struct FindData {
  QString name;  // long name as stored, case kept
  quint32 attributes = 0;
  qint64 size = 0;
  QDateTime lastWrite;  // UTC
  QString alternate;    // the 8.3 alias; empty when it is the name itself (cAlternateFileName)
};

// An entry a tree walk found. Its attributes are read when first asked for: a search that
// judges its finds by name and size spares the attribute store a look at each of them.
class WalkMatch {
 public:
  QString name;  // as stored
  qint64 size = 0;
  QDateTime lastWrite;  // UTC
  virtual quint32 attributes() = 0;
  // The entry's 8.3 alias; the first call in a folder gives the folder's entries theirs.
  virtual QString shortName() = 0;
  FindData findData() {
    const QString alias = shortName();
    return FindData{name, attributes(), size, lastWrite, alias == name ? QString() : alias};
  }

 protected:
  ~WalkMatch() = default;
};

// What a tree walk looks for in each folder.
struct TreeWalkFilter {
  // Looked for in each folder, in this order, as FindFirstFile(folder + pattern, matchMask)
  // finds them (a sub-folder whose name matches is found like a file).
  QStringList patterns;
  quint32 matchMask = AttrAnyFile;
  // The sub-folders entered are those FindFirstFile(folder + "*.*", folderMask) returns
  // whose names do not begin with "."; AttrDirectory alone leaves hidden and system
  // folders out.
  quint32 folderMask = AttrAnyFile;
};

class TreeVisitor {
 public:
  virtual ~TreeVisitor() = default;
  // Called for each folder before it is searched (the root first, even when it cannot be
  // searched); `folder` ends with a backslash. False stops the walk.
  virtual bool enterFolder(const QString& folder) = 0;
  // Each match, in the order the folder's searches return them. False stops the walk.
  virtual bool found(const QString& folder, WalkMatch& match) = 0;
};

class HostLookup;

// A tree as one walk saw it (FileSystem::listTree): every folder it entered, with its
// attributes, and in each folder the entries that one of the listing's patterns finds,
// with their sizes, times and attributes. Walking it again finds what walking the disk
// would have found at the time of the listing, as long as the filter asks for no pattern
// the listing was not made with and for the same matchMask; only an alias (shortName)
// is still read from the disk, when asked for. It refers to its file system's lookup and
// must not outlive it.
class TreeListing {
 public:
  // The walk `filter` describes, over the listing: the visitor sees the same folders in the
  // same order, the same matches in the same order. False, with nothing visited, when the
  // listing cannot answer the filter.
  bool walk(const TreeWalkFilter& filter, TreeVisitor& visitor) const;
  // The folders a walk with folderMask AttrDirectory enters, the root included: those
  // neither hidden nor system below none that is. A folder that links lead to both from a
  // hidden folder and from a plain one is where the listing's walk met it first, so a walk
  // that passes hidden folders over (this count, a walk of the listing with such a mask)
  // may miss it where a walk of the disk would enter it by the other link.
  int plainFolderCount() const;
  int folderCount() const { return int(folders_.size()); }
  int entryCount() const { return int(entries_.size()); }
  // The heap the listing holds, for keeping an eye on it.
  size_t bytesUsed() const;

 private:
  friend struct ListingBuilder;
  struct Folder {
    quint32 win = 0, winSize = 0;    // in names_, ending with a backslash
    quint32 host = 0, hostSize = 0;  // in hostNames_
    quint32 first = 0, count = 0;    // in entries_
    qint32 parent = -1;
    quint32 attributes = AttrDirectory;
  };
  enum EntryFlag : quint8 { Dot = 1, Masked = 2 };  // Masked: found, but its attributes keep it from the visitor
  struct Entry {
    quint32 name = 0;  // in names_
    quint32 host = 0;  // in hostNames_
    quint16 nameSize = 0, hostSize = 0;
    quint8 attributes = 0;
    quint8 flags = 0;
    qint64 size = 0;
    struct timespec lastWrite = {};
  };
  QString names_;
  QByteArray hostNames_;
  std::vector<Folder> folders_;
  std::vector<Entry> entries_;
  QStringList patterns_;
  quint32 matchMask_ = AttrAnyFile;
  HostLookup* host_ = nullptr;
};

// --- for the file system ---------------------------------------------------------------

class AttributeStore;
struct DriveInfo;
struct Node;

// Walks the folder `root`, open as `fd` (which the walk takes over) and named `win` on
// Windows (ending with a backslash), on drive `drive`: the visitor has entered it already.
void walkHostTree(HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win);
// The same walk with folderMask AttrAnyFile, kept in `out` (which it fills from empty)
// instead of handed to the visitor, which only enters the folders.
void listHostTree(HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win, TreeListing* out);
// The listing of a root that could not be searched: the root alone, entered already.
void listUnsearchable(const QString& win, TreeListing* out);

}  // namespace vt
