// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A throw-away machine folder for tests: machine.ini with drives A: (removable, no disk),
// C: (fixed) and D: (CD-ROM), created under a temporary directory that is removed at the
// end. It is opened as a machine being built, so its registry files appear with the first
// change; writeRegistryFiles() completes it for the programs, which open only whole machines.
#include "platform/machine.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace vt::test {

class TestMachine {
 public:
  // `machineKeys` are lines of [Machine] that override the defaults; `extraIni` is
  // appended to machine.ini (further sections such as [Programs]).
  explicit TestMachine(const QString& machineKeys = {}, const QString& extraIni = {});

  Machine& machine() { return *machine_; }
  FileSystem& fs() { return machine_->files(); }
  Registry& registry() { return machine_->registry(); }
  QString folder() const { return dir_.path(); }
  // Host path of a drive-relative file: host("C", "WINDOWS/WIN.INI").
  QString host(const QString& drive, const QString& relative = {}) const;
  // Writes a host file directly (creating folders), bypassing the platform layer.
  void putHostFile(const QString& drive, const QString& relative, const QByteArray& bytes) const;
  QByteArray hostFile(const QString& drive, const QString& relative) const;
  // Drops the Machine and opens the folder again, as a new run of the program would.
  void reopen();
  // The command lines the launcher recorded in launch.log, oldest first.
  QStringList launchedCommands() const;
  // Writes an empty SYSTEM.DAT and USER.DAT where they are missing.
  void writeRegistryFiles();

 private:
  QTemporaryDir dir_;
  std::unique_ptr<Machine> machine_;
};

// The folder holding the shared real-world test hives, or empty when it is absent.
QString testDataDir();

}  // namespace vt::test
