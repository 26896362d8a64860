#pragma once
// The machine's drives as Windows 95 sees them. Every path a caller passes is a Windows
// path ("C:\WINDOWS\win.ini"); names match without regard to case on the case-sensitive
// host, and no path ever reaches a host file outside the machine folder. Every call sets
// lastError() to the Win32 code Windows would give, so callers judge outcomes as on Windows.
#include "platform/winerror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <map>
#include <memory>
#include <optional>

namespace vt {

enum FileAttr : quint32 {
  AttrReadOnly = 0x01,
  AttrHidden = 0x02,
  AttrSystem = 0x04,
  AttrVolume = 0x08,
  AttrDirectory = 0x10,
  AttrArchive = 0x20,
  // The four bits a DOS program can set with ATTRIB.
  AttrSettable = AttrReadOnly | AttrHidden | AttrSystem | AttrArchive,
  AttrAnyFile = 0x3F,
};
constexpr quint32 kInvalidAttributes = 0xFFFFFFFF;

// Win32 drive types (GetDriveType).
enum class DriveType { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CdRom = 5, RamDisk = 6 };

struct DriveInfo {
  QChar letter;  // upper case
  DriveType type = DriveType::Fixed;
  bool ready = true;  // false: a removable or CD-ROM drive with no disk inserted
  QString label;
  QString fileSystem = QStringLiteral("FAT");
  qint64 totalBytes = 0;                // 0: as large as the host folder's file system allows
  std::optional<qint64> freeBytes;      // absent: total minus what the drive holds
  quint32 bytesPerSector = 512;
  quint32 sectorsPerCluster = 64;
  QString hostRoot;  // the host folder holding the drive's root
};

struct FindData {
  QString name;  // long name as stored, case kept
  quint32 attributes = 0;
  qint64 size = 0;
  QDateTime lastWrite;  // UTC
};

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
  // Where a new file of that path would be created: the parent must exist; the last name
  // keeps the case the caller wrote (an existing entry of any case is reused).
  std::optional<QString> hostPathForCreate(QStringView winPath);

  // --- drives --------------------------------------------------------------------
  const std::map<QChar, DriveInfo>& drives() const { return drives_; }
  const DriveInfo* drive(QChar letter) const;
  DriveType driveType(QStringView rootPath) const;  // NoRootDir for a missing letter
  bool diskFreeSpace(QStringView rootPath, quint32* sectorsPerCluster, quint32* bytesPerSector,
                     quint32* freeClusters, quint32* totalClusters);
  bool diskFreeSpaceEx(QStringView rootPath, qint64* freeBytes, qint64* totalBytes);
  bool volumeInformation(QStringView rootPath, QString* label, QString* fileSystem);

  // --- search (FindFirstFile/FindNextFile with Delphi's attribute filter) ----------
  // Hidden, system, directory and volume entries are returned only when `attrMask` has
  // their bit. "*" and "?" match without regard to case; "*.*" matches every name.
  // "." and ".." come first in every folder but a root. nullptr when nothing matched,
  // with lastError 2 (no match), 3 (no such folder) or 21 (drive not ready).
  std::unique_ptr<FileSearch> findFirst(QStringView pattern, quint32 attrMask, FindData* out);
  bool findNext(FileSearch& search, FindData* out);  // false at the end, lastError 18

  // --- files ---------------------------------------------------------------------
  bool exists(QStringView winPath);
  bool isDirectory(QStringView winPath);
  quint32 attributes(QStringView winPath);  // kInvalidAttributes when missing
  bool setAttributes(QStringView winPath, quint32 attrs);  // only AttrSettable bits are kept
  qint64 fileSize(QStringView winPath);  // -1 when missing
  QDateTime lastWriteTime(QStringView winPath);  // invalid when missing
  bool setLastWriteTime(QStringView winPath, const QDateTime& utc);

  std::optional<QByteArray> readFile(QStringView winPath);
  // Replaces or creates the file atomically (written beside, then renamed), keeping an
  // existing file's attributes; a new file gets the archive attribute. Refuses a
  // read-only file (AccessDenied), as Windows does.
  bool writeFile(QStringView winPath, const QByteArray& bytes);
  // CopyFile: the copy keeps the last-write time and gets the archive attribute only.
  bool copyFile(QStringView from, QStringView to, bool failIfExists);
  bool deleteFile(QStringView winPath);  // refuses read-only files and folders
  bool moveFile(QStringView from, QStringView to);  // files and folders; fails if `to` exists
  bool createDirectory(QStringView winPath);   // the parent must exist
  bool createDirectories(QStringView winPath); // with every missing parent
  bool removeDirectory(QStringView winPath);   // only an empty folder

  // --- for the host side (vantrel-machine, tests) ----------------------------------
  // Copies a host file into the machine / out of it.
  bool importHostFile(const QString& hostFile, QStringView winPath);
  bool exportHostFile(QStringView winPath, const QString& hostFile);
  AttributeStore& attributeStore() { return *attrs_; }
  const QString& machineFolder() const { return machineFolder_; }

 private:
  friend class FileSystemPrivate;
  QString machineFolder_;
  std::map<QChar, DriveInfo> drives_;
  std::unique_ptr<AttributeStore> attrs_;
  QString currentDirectory_ = QStringLiteral("C:\\");
  WinError lastError_ = WinError::Success;
};

}  // namespace vt
