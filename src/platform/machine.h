// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One Windows 95 computer held in a host folder: machine.ini (the facts and the drives),
// drives/<LETTER>/ (each drive's root), the registry hives inside the Windows directory
// and HKEY_DYN_DATA in dyndata.reg. See docs/machine.md.
#include "platform/filesystem.h"
#include "platform/registry.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

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

class Machine {
 public:
  // Opens a machine folder; loads machine.ini and the registry. A machine.ini that
  // cannot be read, a missing C: drive or registry file, or a damaged hive, is refused
  // with a message in `error`.
  static std::unique_ptr<Machine> open(const QString& folder, QString* error, MachineOpen mode = MachineOpen::Existing);
  ~Machine();

  const QString& folder() const { return folder_; }
  const MachineFacts& facts() const { return facts_; }
  // What was ignored in the machine folder while opening it (one sentence each).
  const QStringList& warnings() const { return warnings_; }
  FileSystem& files() { return *fs_; }
  Registry& registry() { return registry_; }

  // Writes every registry file whose tree changed since it was loaded or last saved,
  // each replaced atomically. The access helpers call this at the end of every change.
  bool saveRegistry(QString* error = nullptr);
  bool registryChanged() const;

  // Windows paths of the three registry files.
  QString systemDatPath() const;
  QString userDatPath() const;
  QString hostPathInFolder(const QString& name) const { return folder_ + QLatin1Char('/') + name; }

 private:
  Machine() = default;
  bool loadRegistry(QString* error);

  QString folder_;
  MachineFacts facts_;
  QStringList warnings_;
  std::unique_ptr<FileSystem> fs_;
  Registry registry_;
  quint64 savedHklm_ = 0, savedHku_ = 0, savedDyn_ = 0;
};

// Reads machine.ini's [Machine] and [Drive X] sections. What the file holds but Vantrel
// deliberately ignores is named in `warnings`.
bool parseMachineIni(const QByteArray& bytes, const QString& machineFolder, MachineFacts* facts,
                     std::map<QChar, DriveInfo>* drives, bool* forceAttributeFile, QString* error,
                     QStringList* warnings = nullptr);

}  // namespace vt
