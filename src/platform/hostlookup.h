// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding what a Windows name means in a host folder: names match without regard to case
// on the case-sensitive host, and only entries Windows may see are found (plain files and
// folders, and links whose target stays inside the machine), so no lookup ever leads to a
// host file outside the machine folder. Listings of folders are kept between lookups and
// checked against the folder's change time before each use; the machine's own changes in
// a folder drop its listing.
//
// A whole path is looked up through folders kept open, one lookup relative to the open
// folder for each name. Which folder a path names is confirmed afresh on every call, by
// the stat of its entry in the folder above it (the drive root by the stat of its path),
// or, where the folder above has not changed since that entry was last seen, by that
// folder's change time and a stat of the open folder itself; so a folder renamed,
// removed or replaced meanwhile is never looked into; a folder's listing stands for its
// names, and for which of them are plain files, while its change time (which no program
// can set back) is what it was when the listing was read, long enough ago that the host's
// coarse clock cannot hide a later change. Past a link, and in a folder that has only just
// changed, names are looked up by path as lookup() does. At most a few dozen folders are held open
// at once; they are all closed when more are wanted.
//
// Every entry is also found by its 8.3 alias (shortname.h). An alias the attribute store
// keeps for the entry is its alias; an entry without one gets one when its folder's
// aliases are first asked for, generated in the order of the host names and stored at
// once, so that it stays what it is whatever else comes and goes in the folder. When a
// long name equals another entry's alias, the name wins, as on Windows.
#include "platform/attributes.h"
#include "platform/driveinfo.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

namespace vt {

class AttributeStore;

// One file or folder found on the host.
struct Node {
  QByteArray host;   // the file or folder itself (a link inside the machine followed)
  QByteArray entry;  // the directory entry naming it; differs from host for a link
  struct stat st = {};
  bool root = false;

  bool isDir() const { return S_ISDIR(st.st_mode); }
  bool isLink() const { return entry != host; }
};

// Host names Windows never sees: "." and "..", and the temporary files of atomic writes.
bool isHiddenHostName(const char* name);
QDateTime hostTime(const struct timespec& ts);
// Whether `path` is `folder` or lies under it.
bool isUnder(const QByteArray& path, const QByteArray& folder);
QByteArray parentOf(const QByteArray& hostPath);

// A CD-ROM refuses every change and shows every file read-only.
inline bool readOnlyMedium(const DriveInfo* d) { return d->type == DriveType::CdRom; }
// The attributes Windows sees for `n` on drive `d`: the DOS bits the store keeps, the
// folder bit, and read-only where the host's permissions or the medium impose it.
quint32 attributesOf(const Node& n, const DriveInfo* d, AttributeStore& store);
// The same for an entry `name` of the open folder `dirFd`, read relative to it.
quint32 attributesAt(const Node& n, const DriveInfo* d, AttributeStore& store, int dirFd, const QByteArray& name);

class HostLookup {
 public:
  // `drives` is the machine's own map; links may lead into any drive root it names.
  HostLookup(QByteArray machineFolder, const std::map<QChar, DriveInfo>& drives, AttributeStore& store);

  // Fills `n` for a host directory entry, if Windows may see it. With `dirFd`, `name` is
  // looked up relative to it, sparing the kernel the whole path.
  bool visit(const QByteArray& entry, Node* n, int dirFd = -1, const char* name = nullptr) const;
  // The machine's attribute file, which sits in the machine folder and is no drive's file.
  bool isAttributeFile(const QByteArray& dir, const char* name) const;
  // Finds `name` in the host folder `dir` by its long name or its alias: the exact
  // spelling first (one lstat), the folder's listing only when that misses.
  bool lookup(const QByteArray& dir, const QString& name, Node* out);
  // Looks up the first `count` of `names` one after the other from the drive root `root`,
  // each as lookup() finds it, and returns how many were found; `out` is the last entry
  // reached (not a folder when the walk stopped at a file). `entries`, when given,
  // receives the entry of each name found. With `typeOnly` the caller needs of the last
  // entry only whether it is a folder: a plain file the folder's current listing shows
  // may then come back with no stat but its type.
  qsizetype lookupPath(const Node& root, const QStringList& names, qsizetype count, Node* out,
                       std::vector<QByteArray>* entries = nullptr, bool typeOnly = false);
  // The alias of the entry `hostName` of the host folder `dir`; empty when the folder
  // does not hold it.
  QString aliasOf(const QByteArray& dir, const QByteArray& hostName);
  // The aliases of every entry of `dir` by host name, for a search that names many.
  QHash<QByteArray, QString> aliasesIn(const QByteArray& dir);
  // Whether the host folder `dir` holds `name`, in any spelling, as an entry Windows may
  // not see (a link leading out of the machine, a device node). Called after a lookup
  // missed: a new entry spelt as the caller wrote it would sit beside that one as its case
  // twin, two names Windows cannot tell apart.
  bool heldOutOfSight(const QByteArray& dir, const QString& name);

  // After the machine changed the folder `dir` / any folder.
  void forget(const QByteArray& dir);
  void forgetAll();

 private:
  struct Listing {
    dev_t dev = 0;
    ino_t ino = 0;
    struct timespec mtime = {};
    QHash<QString, qsizetype> names;    // folded name -> the first host name of that spelling, in hostNames
    QSet<QString> ambiguous;            // folded names the host has in more than one spelling
    std::vector<QByteArray> hostNames;  // every entry, in the host's order
    std::vector<unsigned char> types;   // the type the listing gave each entry (DT_REG, DT_DIR, ...)
    const QByteArray* first(const QString& folded) const {
      const auto it = names.constFind(folded);
      return it == names.constEnd() ? nullptr : &hostNames[size_t(*it)];
    }
    // Filled when first asked for.
    bool aliased = false;
    QHash<QString, QByteArray> byAlias;  // alias -> host name, where the alias is not the name
    std::vector<QString> aliasOf;        // each entry's alias, in hostNames' order
    // host name -> alias, made when first asked for: most lookups need only byAlias.
    QHash<QByteArray, QString> aliases;
    const QHash<QByteArray, QString>& aliasesByHost();
  };
  // A folder held open for the lookups of a path; its listing is kept with the change time
  // the folder had when it was read.
  struct Folder {
    Folder() = default;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();
    int fd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    bool listed = false;
    struct timespec ctime = {};
    Listing listing;
    // The folder above (its inode and its change time, settled) when its entry was last
    // seen to name this folder: while that time stands, none of its entries has changed.
    bool entrySeen = false;
    dev_t aboveDev = 0;
    ino_t aboveIno = 0;
    struct timespec aboveTime = {};
  };
  std::optional<QByteArray> containedTarget(const QByteArray& link) const;
  // The open folder at `path` whose stat (this call's) is `st`, opened from `parentFd` by
  // `name` without following a link, or by its path for a drive root (parentFd -1).
  // nullptr when it cannot be opened or is no longer what `st` describes.
  Folder* openFolder(const QByteArray& path, const struct stat& st, int parentFd, const char* name);
  // The listing of the open folder `f` that `dir` names, as `dir.st` shows it now; nullptr
  // while the folder has only just changed, or when it cannot be read.
  Listing* currentListing(Folder& f, const Node& dir);
  // The open folder at `path`, an entry of `dir`, when it was last seen there and nothing
  // in `dir` has changed since; nullptr when that is not known.
  Folder* heldFolderAt(const Node& dir, const QByteArray& path);
  // One name in the open folder `f`; `next` receives the folder found, when it is one and
  // could be opened.
  bool lookupIn(Folder& f, const Node& dir, const QString& name, Node* out, Folder** next, bool typeOnly = false);
  void readListing(DIR* d, const QByteArray& dir, Listing& l) const;
  // The folder's listing, kept for later lookups once the folder has settled; a folder that
  // has only just changed gets a listing valid until the next call. nullptr when the
  // folder cannot be read.
  Listing* cachedListing(const QByteArray& dir);
  // `dirFd`, when not -1, is the folder held open, through which the stored aliases are read.
  void giveAliases(const QByteArray& dir, Listing& l, int dirFd = -1);
  // The entry the alias `name` names in a listing, if any.
  const QByteArray* byAlias(const QByteArray& dir, Listing& l, const QString& name, int dirFd = -1);

  QByteArray machineFolder_;
  const std::map<QChar, DriveInfo>& drives_;
  AttributeStore& store_;
  QHash<QByteArray, Listing> listings_;
  Listing scratch_;
  qsizetype cachedNames_ = 0;
  std::map<QByteArray, Folder> folders_;
  qsizetype folderNames_ = 0;
};

}  // namespace vt
