// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Walking a drive's tree as the recursion of FindFirstFile calls does (FileSystem::walkTree),
// and what such a walk hands over. Each folder is read once, relative to its open parent,
// and its entries judged from that one listing by every pattern of the filter, so a walk
// over a large drive costs one listing and one stat per entry. A folder reached twice (a
// link back up the tree, two links to one folder) is entered once.
#include "platform/attributes.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

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

// --- for the file system ---------------------------------------------------------------

class AttributeStore;
class HostLookup;
struct DriveInfo;
struct Node;

// Walks the folder `root`, open as `fd` (which the walk takes over) and named `win` on
// Windows (ending with a backslash), on drive `drive`: the visitor has entered it already.
void walkHostTree(HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win);

}  // namespace vt
