// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeping a host folder and a FAT volume of a disk image in step: reading the folder as a
// tree of files with their DOS attributes and what tells a changed file, copying a
// volume's files out with their 8.3 aliases, and writing back into the image what changed
// in the folder since a tree was taken of it, and nothing else. This unit never writes the
// image in place: the changes go into a copy beside it, which either replaces it by rename
// (apply) or is turned into the few runs of bytes that differ (planInPlace), for a caller
// that writes them with an undo journal of its own; in both only when mtools did every
// step, what it wrote has its aliases, and the copy holds exactly the files and attributes
// it should.
#include "platform/fat/fatimage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace vt {

class AttributeStore;

namespace imagesync {

// One file or folder of a drive.
struct Entry {
  bool folder = false;
  quint32 attributes = 0;  // read-only, hidden, system, archive
  qint64 size = 0;
  qint64 mtime = 0;  // seconds since 1970, UTC
  // A file's host inode, modification and change times in ns ("ino:mtime:ctime"): the same
  // stamp is the same content, since no write leaves the change time as it was.
  QByteArray stamp;
  QByteArray hash;  // SHA-256 of a file's contents, in hex, where a record of older days gave it; else empty
  bool operator==(const Entry&) const = default;
};
// Paths below the drive's root, '/'-separated, spelt as the host spells them.
using Tree = std::map<QString, Entry>;

// The tree of the host folder `root`: its folders and regular files with the DOS attributes
// `store` keeps, each file with its stamp (no file is read). Refuses (with `error`) what a FAT volume cannot hold: symbolic links
// and other special files, names FAT does not allow, two names in one folder that differ only in case. Vantrel's own
// unfinished-write files are left out.
bool readTree(const QString& root, AttributeStore& store, Tree* out, QString* error);

// Told of long work as it goes: how many files are done of how many to do.
using Progress = std::function<void(int done, int toDo)>;

// Copies every file and folder of the volume into the empty host folder `root`, read from
// the image open as `image` where `layout` and `entries` (as fat::inspect read and checked
// them) place them, with their times (folders' too), the DOS attributes of their directory
// entries in `store`, and the aliases the entries hold wherever an alias is not the name
// itself. A short name without a long one that the entry's case bits show in lower case is
// named in upper case, as Windows 95 shows it. `out` is the tree of `root` then. Fails on a
// name the host cannot hold and on a failed write (a full disk), leaving what it made for
// the caller to remove. `progress` hears of the files copied, counted from `done` of `toDo`
// (0: the volume's own count).
bool extract(int image, const fat::Layout& layout, const std::vector<fat::DirEntry>& entries, const QString& root,
             AttributeStore& store, Tree* out, QString* error, const Progress& progress = {}, int done = 0, int toDo = 0);

// What turns the volume that held `base` into one that holds `now`.
struct Changes {
  QStringList removeFiles, removeFolders;     // removeFolders deepest first
  QStringList makeFolders;                    // parents first
  QStringList writeFiles;                     // new or changed
  std::map<quint32, QStringList> attributes;  // paths that get these attributes
  qint64 bytesNeeded = 0;                     // clusters taken minus clusters freed, in bytes; may be negative
  bool empty() const {
    return removeFiles.isEmpty() && removeFolders.isEmpty() && makeFolders.isEmpty() && writeFiles.isEmpty() &&
           attributes.empty();
  }
  int count() const;
};
// Whether a file whose size and time are as in `base` still holds what it held, where the
// stamps cannot say (the change time moved: new attributes, or a write that put the time
// back). Without one, such a file counts as changed.
using SameContent = std::function<bool(const QString& path, const Entry& base, const Entry& now)>;
Changes compare(const Tree& base, const Tree& now, qint64 clusterBytes, const SameContent& sameContent = {});

enum class Failure { None, WriteProtected, InUse, NoRoom, Failed };

// The 8.3 alias the machine holds for an entry, by its path in a Tree; empty when it has none.
using AliasOf = std::function<QString(const QString& path)>;

// Writes `changes` (taking the files from the host folder `root`) into `volume` of the
// image, through a copy that replaces the image only when its listing then matches `now`.
// Every entry written or made gets the alias `aliasOf` gives it, in place of the one mtools
// chose; the others keep their directory entries as they were. An alias that another entry
// of its folder holds in the image is refused. On failure the image is as it was and `why`
// says which kind of failure it was. `newHash` receives the SHA-256 of the image written.
bool apply(const QString& image, const fat::Volume& volume, const QString& root, const Changes& changes, const Tree& now,
           const AliasOf& aliasOf, QString* error, Failure* why, QByteArray* newHash = nullptr);

// What goes into one volume of an image, for writing several at once.
struct VolumeWrite {
  fat::Volume volume;
  QString root;  // the host folder the files come from
  Changes changes;
  Tree now;
  AliasOf aliasOf;
  QString name;  // for messages ("drive D:"); empty when the image has one volume written
};
// apply for several volumes of one image in one copy: every volume gets its changes or none
// does. `progress` hears of the files written.
bool apply(const QString& image, const std::vector<VolumeWrite>& writes, QString* error, Failure* why,
           QByteArray* newHash = nullptr, const Progress& progress = {});

// A run of bytes of an image and what it is to hold.
struct Patch {
  qint64 at = 0;
  QByteArray bytes;
};
// What apply would change in the image, as the runs of bytes that differ, without changing
// it: mtools works on a sparse copy beside the image that holds only the partition tables
// and the written volumes' own structures (boot sectors, FATs, folders), and the copy is
// compared with the image there and in the clusters of the files written. The copy costs
// the room of those structures, not of the image. Checks and failures as apply.
bool planInPlace(const QString& image, const std::vector<VolumeWrite>& writes, std::vector<Patch>* patches, QString* error,
                 Failure* why, const Progress& progress = {});

// Removes the working copies beside `image` that writes killed half-way left behind (each as
// large as the image). The copy of a write still running is locked by it and stays.
void removeAbandonedCopies(const QString& image);

// Whether a program has the image open for itself: a lock on the file (QEMU locks the
// images it runs with fcntl), or a lock file beside it ("IMAGE.lck", "IMAGE.lock").
bool inUse(const QString& image, QString* why);
// Whether the host file may be written: a file without write permission is a
// write-protected disk.
bool writeProtected(const QString& image);

// SHA-256 of a host file, in hex; empty when it cannot be read.
QByteArray hashFile(const QString& path);

}  // namespace imagesync
}  // namespace vt
