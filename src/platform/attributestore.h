// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// DOS attributes of host files. Kept the way Samba, Wine and the DOS emulators keep them:
// the extended attribute user.DOSATTRIB holding the text "0x%x", with read-only also shown
// as the host file's write permission. Where the host file system refuses extended
// attributes, a text file inside the machine folder holds them instead.
//
// The same store keeps each entry's 8.3 alias (shortname.h) where the alias is a fact of
// its own: the extended attribute user.DOSNAME, or a line of the text file.
#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace vt {

class AttributeStore {
 public:
  virtual ~AttributeStore() = default;
  // The stored bits (read-only, hidden, system, archive); nullopt when nothing is stored.
  // Read-only is also reported when the host file has no write permission.
  virtual std::optional<quint32> get(const QString& hostPath) = 0;
  // Stores the bits and sets the host write permission to match read-only.
  virtual bool set(const QString& hostPath, quint32 attrs) = 0;
  // Called after the host file moved or was deleted. What is inside a moved folder keeps
  // its attributes and aliases; the moved entry keeps its attributes and loses its alias,
  // since a name in a new place, or a new name, is a new directory entry to Windows.
  virtual void moved(const QString& fromHostPath, const QString& toHostPath) = 0;
  virtual void removed(const QString& hostPath) = 0;
  virtual QString kind() const = 0;  // "xattr" or "file"

  // The alias stored for the entry; nullopt when none is.
  virtual std::optional<QString> alias(const QByteArray& hostPath) {
    (void)hostPath;
    return std::nullopt;
  }
  // Stores aliases (an empty one removes what is stored) for several entries at once;
  // false when one of them could not be stored.
  virtual bool setAliases(const std::vector<std::pair<QByteArray, QString>>& aliases) { return aliases.empty(); }
};

// Chooses the extended-attribute store when the machine folder's file system takes
// user.* attributes, else the file store; `forceFile` always picks the file store.
std::unique_ptr<AttributeStore> makeAttributeStore(const QString& machineFolder, bool forceFile);

// The directory search's fast path: only the stored DOS bits, without the store's own look
// at the host file's write permission, which the search already knows from the stat it
// made for size and time. nullopt when nothing is stored. Stores other than the two
// built-in ones answer through get().
std::optional<quint32> storedAttributes(AttributeStore& store, const QByteArray& hostPath);
// The same for the entry `name` of the open folder `dirFd`, read relative to it where the
// kernel allows; `hostPath` names the same entry for the stores that go by path.
std::optional<quint32> storedAttributesAt(AttributeStore& store, int dirFd, const char* name, const QByteArray& hostPath);
// The alias stored for the entry `name` of the open folder `dirFd` (-1: none open), whose
// host path is `dir`; read relative to the folder where the kernel allows.
std::optional<QString> storedAliasAt(AttributeStore& store, int dirFd, const QByteArray& dir, const QByteArray& name);
// The same for many entries of one folder at once, in the order of `names`.
std::vector<std::optional<QString>> storedAliasesAt(AttributeStore& store, int dirFd, const QByteArray& dir,
                                                    const std::vector<const QByteArray*>& names);

// For an entry just made and still open, such as a file being copied in: whether the store
// keeps its bits and aliases on the entry itself (the extended attributes), and then sets
// them through `fd` with no path looked up: the bits, the alias (empty: none) and read-only
// as a file's write permission. Stores that go by path answer false to both and take set()
// and setAliases() instead.
bool setsOnOpenEntries(const AttributeStore& store);
bool setOnOpenEntry(AttributeStore& store, int fd, quint32 attrs, const QString& alias);

// The name of the fallback store inside the machine folder.
inline constexpr const char* kAttributeFileName = "dosattrib.txt";

}  // namespace vt
