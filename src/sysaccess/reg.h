// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry operations every section uses. Callers name a root, a key path and a value
// and get a text, a number or a yes/no; nothing throws or shows a message, every failure
// gives the empty text, 0 or false. Each change reaches the hive files before it returns.
#include "platform/registry.h"
#include "sysaccess/state.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace vt {

class Machine;

// A predefined key, or a key an earlier call opened (ListInstalledUpdates reads below one).
class RegRoot {
 public:
  RegRoot(HKey hkey) : hkey_(hkey) {}  // NOLINT: used like the Windows HKEY constants
  explicit RegRoot(RegKey* key) : key_(key) {}
  RegKey* resolve(Registry& reg) const { return key_ ? key_ : reg.root(hkey_); }
  // Opens the path below the root, creating every missing key (and an alias's target);
  // `added` receives the topmost key created, nullptr when none was.
  RegKey* create(Registry& reg, QStringView path, RegKey** added) const;

 private:
  HKey hkey_ = HKey::LocalMachine;
  RegKey* key_ = nullptr;
};

inline constexpr HKey HKEY_CLASSES_ROOT = HKey::ClassesRoot;
inline constexpr HKey HKEY_CURRENT_USER = HKey::CurrentUser;
inline constexpr HKey HKEY_LOCAL_MACHINE = HKey::LocalMachine;
inline constexpr HKey HKEY_USERS = HKey::Users;
inline constexpr HKey HKEY_CURRENT_CONFIG = HKey::CurrentConfig;
inline constexpr HKey HKEY_DYN_DATA = HKey::DynData;

// Strings are read through a buffer of this size, so texts of up to 254 characters come back whole.
inline constexpr int kRegStringBuffer = 255;

class RegAccess {
 public:
  RegAccess(Machine& machine, const SharedState& state) : machine_(machine), state_(state) {}

  bool RegKeyExists(RegRoot root, QStringView keyPath);
  // True when a value's name begins with `name` (without regard to case): a key holding
  // only IsShortcut also "has" IsShort, and the empty name is found in any key with values.
  static bool RegValueExists(const RegKey* key, QStringView name);
  bool RegValueExistsAt(RegRoot root, QStringView keyPath, QStringView name);
  bool DeleteRegKey(RegRoot root, QStringView keyPath);
  bool DeleteRegValue(RegRoot root, QStringView keyPath, QStringView name);
  // Deletes every value of the key with a single save, so a key of many values costs one
  // write of its hive; when that save fails they all come back in place. `removedBytes`
  // receives the length of the deleted names and data together (0 when nothing went).
  // False when the key is missing or the save failed.
  bool DeleteAllRegValues(RegRoot root, QStringView keyPath, qint64* removedBytes = nullptr);
  // The names of the key's sub-keys in stored order; none for a missing key.
  QStringList SubKeyNames(RegRoot root, QStringView keyPath);
  QString ReadRegString(RegRoot root, QStringView keyPath, QStringView name);
  // As ReadRegString, but a text the buffer cannot hold whole counts as unreadable, as a
  // query through that buffer fails then: nothing for a missing value or one of more than
  // 254 characters.
  std::optional<QString> ReadWholeRegString(RegRoot root, QStringView keyPath, QStringView name);
  bool RegStringEquals(RegRoot root, QStringView keyPath, QStringView name, QStringView expected);
  quint32 ReadRegDword(RegRoot root, QStringView keyPath, QStringView name);
  bool RegDwordEquals(RegRoot root, QStringView keyPath, QStringView name, quint32 expected);
  bool WriteRegString(RegRoot root, QStringView keyPath, QStringView name, QStringView text);
  bool WriteRegStringCreate(RegRoot root, QStringView keyPath, QStringView name, QStringView text);
  bool WriteRegDword(RegRoot root, QStringView keyPath, QStringView name, quint32 value);

  // Walks HKLM\Enum bus by bus, device by device, testing each device's first instance;
  // the last matching device wins. Mode 0: no further condition; mode 1: the instance
  // must have a LogConfig sub-key.
  QString FindEnumDeviceValue(QStringView matchName, QStringView matchText, QStringView resultName, int mode);
  // The default values of the installed-update keys, one line each, in stored order.
  QStringList ListInstalledUpdates();

  // --- enumeration ---------------------------------------------------------------------
  // The names of a key's values, in stored order, as RegEnumValueA hands them out; none
  // for a missing key.
  QStringList ValueNames(RegRoot root, QStringView keyPath);
  // Each value's name with the bytes its name and data take together, as
  // DeleteAllRegValues counts them, in stored order; none for a missing key.
  QList<std::pair<QString, qint64>> ValueSizes(RegRoot root, QStringView keyPath);

 private:
  RegKey* open(RegRoot root, QStringView keyPath);
  const RegValue* existingValue(RegRoot root, QStringView keyPath, QStringView name);
  bool commit();
  // Sets a value and saves; when the save fails the value is put back as it was and the
  // keys the caller `added` for it are taken out again, so the registry in memory never
  // holds what its files could not take (a later, unrelated save would write it).
  bool setAndCommit(RegKey* key, QStringView name, quint32 type, QByteArray data, RegKey* added = nullptr);
  bool writeString(RegRoot root, QStringView keyPath, QStringView name, QStringView text, bool create);

  Machine& machine_;
  const SharedState& state_;
};

}  // namespace vt
