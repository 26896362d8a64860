#pragma once
// DOS attributes of host files. Kept the way Samba, Wine and the DOS emulators keep them:
// the extended attribute user.DOSATTRIB holding the text "0x%x", with read-only also shown
// as the host file's write permission. Where the host file system refuses extended
// attributes, a text file inside the machine folder holds them instead.
#include <QString>

#include <memory>
#include <optional>

namespace vt {

class AttributeStore {
 public:
  virtual ~AttributeStore() = default;
  // The stored bits (read-only, hidden, system, archive); nullopt when nothing is stored.
  // Read-only is also reported when the host file has no write permission.
  virtual std::optional<quint32> get(const QString& hostPath) = 0;
  // Stores the bits and sets the host write permission to match read-only.
  virtual bool set(const QString& hostPath, quint32 attrs) = 0;
  // Called after the host file moved or was deleted (the xattr store has nothing to do).
  virtual void moved(const QString& fromHostPath, const QString& toHostPath) = 0;
  virtual void removed(const QString& hostPath) = 0;
  virtual QString kind() const = 0;  // "xattr" or "file"
};

// Chooses the extended-attribute store when the machine folder's file system takes
// user.* attributes, else the file store; `forceFile` always picks the file store.
std::unique_ptr<AttributeStore> makeAttributeStore(const QString& machineFolder, bool forceFile);

// The name of the fallback store inside the machine folder.
inline constexpr const char* kAttributeFileName = "dosattrib.txt";

}  // namespace vt
