// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One Windows 95 computer held in a host folder: machine.ini (the facts and the drives),
// drives/<LETTER>/ (each drive's root), the registry hives inside the Windows directory
// and HKEY_DYN_DATA in dyndata.reg. See docs/machine.md.
#include "platform/filesystem.h"
#include "platform/registry.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <future>
#include <map>
#include <memory>
#include <optional>

namespace vt {

struct MachineFacts {
  QString platform = QStringLiteral("Win95");  // Win95, WinNT or Win32
  int processor = 586;                         // 386, 486, 586 or another number
  quint64 physicalMemory = 16ull * 1024 * 1024;
  // The total GlobalMemoryStatus reports: Windows 95 leaves out the 384 KB between 640 KB
  // and 1 MB, so a 16 MB computer reports 16,000 KB.
  quint64 reportedPhysicalMemory() const { return physicalMemory > 393216 ? physicalMemory - 393216 : 0; }
  int colorDepth = 8;
  int screenWidth = 800;
  int screenHeight = 600;
  QString userName;
  QString computerName;
  QString windowsDirectory = QStringLiteral("C:\\WINDOWS");
  QString systemDirectory = QStringLiteral("C:\\WINDOWS\\SYSTEM");
  QString programDirectory = QStringLiteral("C:\\VANTREL");
};

inline constexpr const char* kMachineIniName = "machine.ini";
inline constexpr const char* kDynDataFileName = "dyndata.reg";
// Where the files of drives backed by a disk image are worked on (imagedrive.h).
inline constexpr const char* kImageWorkingFolder = "image-drives";

// Opening a machine never makes one up: a mistyped or unmounted folder must not turn into
// an empty Windows 95. Only a machine being built may lack its C: drive (it is created)
// and its registry files (the registry starts empty and its files are written at the
// first change).
enum class MachineOpen { Existing, BeingBuilt };

// The window reads the registry files on a thread of their own while it builds itself;
// everyone else has the registry read by the time open returns.
enum class RegistryLoad { Now, InBackground };

// The registry as it stood before a change that is undone whole when its files cannot take
// it: the registry files' bytes as they are on disk, which a failed save may have replaced,
// and, only where memory held what the file did not (a change not saved yet), the tree in
// file form. Taken by Machine::snapshotRegistry, used by Machine::restoreRegistry.
struct RegistrySnapshot {
  struct File {
    bool read = false;  // false: it could not be read, and a restore leaves the file alone
    bool exists = false;
    QByteArray bytes;
    quint32 attributes = 0;
    QDateTime written;
    QByteArray tree;  // empty when the file holds what memory held
  };
  File systemDat, userDat, dynData;
};

class Machine {
 public:
  // Opens a machine folder; loads machine.ini and the registry. A machine.ini that
  // cannot be read, a missing C: drive or registry file, or a damaged hive, is refused
  // with a message in `error`.
  // With RegistryLoad::InBackground, the registry files are only found, and a damaged one
  // is reported by finishOpening, which must come before anything else uses the machine.
  static std::unique_ptr<Machine> open(const QString& folder, QString* error, MachineOpen mode = MachineOpen::Existing,
                                       RegistryLoad load = RegistryLoad::Now);
  ~Machine();
  // Waits for a registry read in the background; false, with the same message open would
  // have given, when it could not be read.
  bool finishOpening(QString* error);

  const QString& folder() const { return folder_; }
  const MachineFacts& facts() const { return facts_; }
  // What was ignored in the machine folder while opening it (one sentence each).
  const QStringList& warnings() const { return warnings_; }
  FileSystem& files() { return *fs_; }
  Registry& registry() {
    waitForRegistry();
    return registry_;
  }

  // Writes every registry file whose tree changed since it was loaded or last saved,
  // each replaced atomically. The access helpers call this at the end of every change.
  bool saveRegistry(QString* error = nullptr);
  bool registryChanged() const;
  // Costs a read of each registry file, and a serialization only of a tree with unsaved
  // changes. False, with `error`, when such a tree cannot be put into file form: nothing
  // could then undo a change to it, so the change must not be made.
  bool snapshotRegistry(RegistrySnapshot* snapshot, QString* error = nullptr);
  // Writes back the registry files whose bytes differ from the snapshot's (attributes and
  // time included) and puts the registry in memory back as it was. False when a file could
  // not be put back; memory is put back all the same.
  bool restoreRegistry(const RegistrySnapshot& snapshot, QString* error = nullptr);

  // Windows paths of the three registry files.
  QString systemDatPath() const;
  QString userDatPath() const;
  QString hostPathInFolder(const QString& name) const { return folder_ + QLatin1Char('/') + name; }

 private:
  Machine() = default;
  // What loading the registry reads; found on the opening thread, as the file system's
  // caches are not to be shared between threads.
  struct RegistryFiles {
    std::optional<QString> systemDat, userDat;  // host paths; none: no such file yet
    QString dynData;
  };
  bool findRegistryFiles(RegistryFiles* files, QString* error);
  // Touches only the registry and the files named, so it may run on another thread.
  bool loadRegistry(const RegistryFiles& files, QString* error);
  void waitForRegistry() const {
    if (loading_.valid()) waitNow();
  }
  void waitNow() const;

  QString folder_;
  MachineFacts facts_;
  QStringList warnings_;
  std::unique_ptr<FileSystem> fs_;
  Registry registry_;
  // The background read's outcome: empty when it succeeded.
  mutable std::future<QString> loading_;
  mutable QString loadError_;
  quint64 savedHklm_ = 0, savedHku_ = 0, savedDyn_ = 0;
};

// Reads machine.ini's [Machine] and [Drive X] sections. What the file holds but Vantrel
// deliberately ignores is named in `warnings`.
bool parseMachineIni(const QByteArray& bytes, const QString& machineFolder, MachineFacts* facts,
                     std::map<QChar, DriveInfo>* drives, bool* forceAttributeFile, QString* error,
                     QStringList* warnings = nullptr);

}  // namespace vt
