#pragma once
// The walk behind FileSystem::walkTree: each folder is read once, relative to its open
// parent, and its entries judged from that one listing by every pattern of the filter, so
// a walk over a large drive costs one listing and one stat per entry. A folder reached
// twice (a link back up the tree, two links to one folder) is entered once.
#include "platform/filesystem.h"

#include <QByteArray>
#include <QString>

namespace vt {

class HostLookup;
struct Node;

// Walks the folder `root`, open as `fd` (which the walk takes over) and named `win` on
// Windows (ending with a backslash): the visitor has entered it already.
void walkHostTree(const HostLookup& host, AttributeStore& attrs, const DriveInfo* drive, const TreeWalkFilter& filter,
                  TreeVisitor& visitor, int fd, const Node& root, const QString& win);

}  // namespace vt
