// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The machine's drives as Windows 95 sees them. Every path a caller passes is a Windows
// path ("C:\WINDOWS\win.ini"); names match without regard to case on the case-sensitive
// host, and no path ever reaches a host file outside the machine folder. Every call sets
// lastError() to the Win32 code Windows would give, so callers judge outcomes as on Windows.
#include "platform/attributes.h"
#include "platform/driveinfo.h"
#include "platform/treewalk.h"
#include "platform/winerror.h"
#include "platform/winpath.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>

namespace vt {

// DOS attributes kept for host files; see attributestore.h.
class AttributeStore;

// An open directory search. Implementations derive from it inside filesystem.cpp; the
// virtual destructor lets callers hold it without seeing its state.
class FileSearch {
 public:
  virtual ~FileSearch() = default;
};

class FileSystem {
 public:
  // `machineFolder` holds the drives; `drives` maps upper-case letters to their facts.
  FileSystem(QString machineFolder, std::map<QChar, DriveInfo> drives, std::unique_ptr<AttributeStore> attributes);
  ~FileSystem();
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;

  WinError lastError() const { return lastError_; }

  // --- paths ---------------------------------------------------------------------
  // "c:/windows\\..\\Win.ini" -> "C:\Win.ini": drive letter upper-cased, separators made
  // backslashes, "." and ".." folded without ever climbing above the root. Relative
  // paths are taken from the current directory (C:\ unless set). Empty on a bad path.
  QString fullPath(QStringView winPath) const;
  void setCurrentDirectory(const QString& winDir);
  // The host file or folder an existing Windows path names, matched without regard to
  // case; nullopt when it does not exist (lastError: 2 or 3), its drive is missing or not
  // ready (3, 21), or it would leave the machine (a symbolic link pointing outside: 2).
  std::optional<QString> hostPath(QStringView winPath);
  // GetShortPathName / GetLongPathName: the full path of an existing file or folder with
  // every name given as its 8.3 alias ("C:\PROGRA~1\ACCESS~1\WORDPAD.EXE") / as its long
  // name. Either accepts a path in which any name is given either way, in any case.
  std::optional<QString> shortPathName(QStringView winPath);
  std::optional<QString> longPathName(QStringView winPath);
  // Where a new file of that path would be created: the parent must exist; the last name
  // keeps the case the caller wrote (an existing entry of any case is reused).
  // Every call that creates an entry refuses (AccessDenied) a name that the host folder
  // holds in some spelling as an entry Windows cannot see, such as a link leading out of
  // the machine: the new entry would be its case twin.
  std::optional<QString> hostPathForCreate(QStringView winPath);

  // --- drives --------------------------------------------------------------------
  const std::map<QChar, DriveInfo>& drives() const;
  const DriveInfo* drive(QChar letter) const;
  DriveType driveType(QStringView rootPath) const;  // NoRootDir for a missing letter
  bool diskFreeSpace(QStringView rootPath, quint32* sectorsPerCluster, quint32* bytesPerSector, quint32* freeClusters,
                     quint32* totalClusters);
  bool diskFreeSpaceEx(QStringView rootPath, qint64* freeBytes, qint64* totalBytes);
  bool volumeInformation(QStringView rootPath, QString* label, QString* fileSystem);

  // --- search (FindFirstFile/FindNextFile and their attribute mask) -----------------
  // Hidden, system, directory and volume entries are returned only when `attrMask` has
  // their bit. A plain name finds its entry by long name or alias; wildcards match the
  // long names. "*" and "?" match without regard to case; "*.*" matches every name.
  // "." and ".." come first in every folder but a root. nullptr when nothing matched,
  // with lastError 2 (no match), 3 (no such folder) or 21 (drive not ready).
  std::unique_ptr<FileSearch> findFirst(QStringView pattern, quint32 attrMask, FindData* out);
  bool findNext(FileSearch& search, FindData* out);  // false at the end, lastError 18

  // A depth-first walk from `root` that finds what the recursion of FindFirstFile calls
  // described by `filter` finds: in each folder the matches of every pattern, then each
  // sub-folder in the order the folder lists them. Unlike such a recursion it enters no
  // folder twice (a link back to an ancestor or to a folder already walked is passed
  // over), and it reads each folder once, relative to the open parent. Folders whose
  // searches would exceed a Windows path are entered but not searched. False when the
  // root cannot be searched (lastError 3, 21 or 206); true otherwise, also when the
  // visitor stopped the walk.
  bool walkTree(QStringView root, const TreeWalkFilter& filter, TreeVisitor& visitor);
  // The same walk with folderMask AttrAnyFile, kept in `out` for the walks of the tree that
  // follow (TreeListing::walk) instead of handed over: the visitor is told of each folder
  // entered, and may stop the walk there, but is offered no match. The listing holds the
  // root alone when it cannot be searched.
  bool listTree(QStringView root, const TreeWalkFilter& filter, TreeVisitor& visitor, TreeListing* out);

  // --- files ---------------------------------------------------------------------
  bool exists(QStringView winPath);
  bool isDirectory(QStringView winPath);
  // Whether the path names an existing file that is no folder (a drive root is a folder).
  bool isFile(QStringView winPath);
  quint32 attributes(QStringView winPath);  // kInvalidAttributes when missing
  // Only AttrSettable bits are kept. A file that has further host names (hard links, made
  // for example by copying a machine folder with `cp -al`) first gets its own copy, so the
  // change never reaches a file outside the machine; setLastWriteTime does the same.
  bool setAttributes(QStringView winPath, quint32 attrs);
  qint64 fileSize(QStringView winPath);          // -1 when missing
  QDateTime lastWriteTime(QStringView winPath);  // invalid when missing
  bool setLastWriteTime(QStringView winPath, const QDateTime& utc);

  // The whole file, or its first `maxBytes` when that is not negative (a signature test
  // need not read a large file to its end).
  std::optional<QByteArray> readFile(QStringView winPath, qint64 maxBytes = -1);
  // Reads a host file that hostPath gave; it touches no cache, so any thread may call it.
  static std::optional<QByteArray> readHostPath(const QString& hostPath, WinError* error);
  // Replaces or creates the file atomically (written beside, then renamed), keeping an
  // existing file's attributes; either way the file gets the archive attribute, as every
  // file Windows writes does. Refuses a read-only file (AccessDenied), as Windows does.
  bool writeFile(QStringView winPath, const QByteArray& bytes);
  // CopyFile: the copy keeps the last-write time and gets the archive attribute only.
  bool copyFile(QStringView from, QStringView to, bool failIfExists);
  bool deleteFile(QStringView winPath);             // refuses read-only files and folders
  bool moveFile(QStringView from, QStringView to);  // files and folders; fails if `to` exists
  bool createDirectory(QStringView winPath);        // the parent must exist
  bool createDirectories(QStringView winPath);      // with every missing parent
  bool removeDirectory(QStringView winPath);        // only an empty folder

  // --- many changes to a disk image as one ---------------------------------------------
  // A drive backed by a disk image writes each change into the image at once. From
  // holdImage until releaseImage it keeps them in its working copy instead, and
  // releaseImage(letter, true) writes them all in one replacement of the image: the image
  // holds either none of them or all of them, also when the program is killed meanwhile.
  // releaseImage(letter, false), or a write that fails, leaves the image byte for byte as
  // it was and the drive showing it again. Other drives are not held: their changes are
  // made as they come, heldImageFits is true and releaseImage succeeds.
  void holdImage(QChar letter);
  // Whether what changed on the held drive would fit on its disk.
  bool heldImageFits(QChar letter);
  bool releaseImage(QChar letter, bool write);

  // --- for the host side (vantrel-machine, tests) ----------------------------------
  // Puts the disk image `image` into the removable drive `letter` for as long as this file
  // system lives, as an Image= line of machine.ini would; machine.ini stays as it is.
  // `image` and `workingCopy` are host paths inside the machine folder. False for a
  // missing or non-removable drive or a drive held by holdImage.
  bool insertImage(QChar letter, const QString& image, const QString& workingCopy);
  // Copies a host file into the machine (attributes as writeFile leaves them) / out of it.
  bool importHostFile(const QString& hostFile, QStringView winPath);
  bool exportHostFile(QStringView winPath, const QString& hostFile);
  AttributeStore& attributeStore() { return *attrs_; }
  const QString& machineFolder() const { return machineFolder_; }

 private:
  friend class FileSystemPrivate;
  struct Caches;
  void followImages(QChar letter) const;
  QString machineFolder_;
  // Mutable: a drive backed by an image follows the image file (inserted, changed,
  // removed) whenever it is looked at.
  mutable std::map<QChar, DriveInfo> drives_;
  std::unique_ptr<AttributeStore> attrs_;
  QString currentDirectory_ = QStringLiteral("C:\\");
  WinError lastError_ = WinError::Success;
  std::unique_ptr<Caches> caches_;
};

}  // namespace vt
