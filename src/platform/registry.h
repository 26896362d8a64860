// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry as Windows 95 holds it: a tree of keys, each with named values kept in
// stored order. Names are ANSI bytes matched without regard to case; value data is kept
// as the raw bytes the hive stores, so a hive read and written again is byte-identical.
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace vt {

enum RegType : quint32 {
  RegNone = 0,
  RegSz = 1,
  RegExpandSz = 2,
  RegBinary = 3,
  RegDword = 4,
  RegDwordBigEndian = 5,
  RegLink = 6,
  RegMultiSz = 7,
};

struct RegValue {
  QByteArray name;  // empty: the key's default value
  quint32 type = RegSz;
  QByteArray data;  // REG_SZ is stored without a terminating NUL, as Windows 95 writes it
};

// How a reader turns a key's values, kept as it read them (registry files keep them packed
// one after another), into values; called once, the first time they are asked for.
using ValueUnpacker = void (*)(const QByteArray& packed, int count, std::vector<RegValue>* out);

// Copies many small byte strings into a few shared chunks. Each copy is an ordinary
// QByteArray (NUL-terminated, copy-on-write: changing it first gives it its own buffer)
// that shares its chunk by reference count, so loading a hive of 200,000 values makes a
// few dozen allocations instead of 400,000, and dropping the tree frees them at once.
class ByteSlab {
 public:
  QByteArray copy(QByteArrayView bytes);

 private:
  QByteArray chunk_;
  qsizetype used_ = 0;
};

class RegKey;

// For readers that add a key's sub-keys only when something first asks for them: at start
// a large registry is validated whole, but most of its keys are never looked at.
class SubkeySource {
 public:
  virtual ~SubkeySource() = default;
  // Adds the sub-keys `token` stands for to `key`, as the reader found them. Those that
  // findSubkey made already are in `key`: takeFound hands them over, to be put back in
  // their places with putBack.
  virtual void addSubkeys(RegKey& key, quint32 token) = 0;
  // The one sub-key of that name (any case) among those `token` stands for; nullptr when
  // there is none. A source may make just that key (appendFound) or all of them.
  virtual RegKey* findSubkey(RegKey& key, quint32 token, QByteArrayView name) = 0;

 protected:
  // For a key whose sub-keys are still deferred: adds one that was looked up.
  static RegKey* appendFound(RegKey& key, QByteArray name);
  static std::vector<std::unique_ptr<RegKey>> takeFound(RegKey& key);
  static RegKey* putBack(RegKey& key, std::unique_ptr<RegKey> found);
};

class RegKey {
 public:
  explicit RegKey(QByteArray name = {}, RegKey* parent = nullptr);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  const QByteArray& name() const { return name_; }
  RegKey* parent() const { return parent_; }

  // Sub-keys, in stored order.
  int subkeyCount() const {
    expand();
    return int(subkeys_.size());
  }
  RegKey* subkey(int index) const;
  RegKey* findSubkey(QByteArrayView name) const;
  // Returns the existing sub-key of that name (any case) or appends a new one.
  RegKey* addSubkey(QByteArrayView name);
  bool removeSubkey(QByteArrayView name);
  // As addSubkey, keeping `name` itself (no copy) when the key is new.
  RegKey* adoptSubkey(QByteArray name);
  // For readers that know no sub-key of this key has that name in any case: appends it
  // without looking.
  RegKey* adoptNewSubkey(QByteArray name);
  void reserveSubkeys(int count);
  // For readers: the key's sub-keys are added by `source` when first asked for. The key must
  // hold no sub-keys yet. Adding them is no change of the tree (its generation stays).
  void deferSubkeys(std::shared_ptr<SubkeySource> source, quint32 token);
  // Takes a sub-key with its sub-tree out of this key; `position` receives where it stood,
  // so that insertSubkey can put it back exactly. nullptr when `child` is not a sub-key.
  std::unique_ptr<RegKey> detachSubkey(const RegKey* child, int* position = nullptr);
  void insertSubkey(std::unique_ptr<RegKey> child, int position);
  // Moves every sub-key and value of `other` into this key, replacing what this key held.
  void takeContentsOf(RegKey& other);
  void clear();

  // Values, in stored order.
  const std::vector<RegValue>& values() const {
    unpack();
    return values_;
  }
  int valueCount() const { return packed_.isNull() ? int(values_.size()) : packedCount_; }
  // The values for a reader that only passes through them (an export): packed values are
  // unpacked into `scratch` and left packed in the key.
  const std::vector<RegValue>& peekValues(std::vector<RegValue>* scratch) const {
    if (packed_.isNull()) return values_;
    scratch->clear();
    unpacker_(packed_, packedCount_, scratch);
    return *scratch;
  }
  const RegValue* findValue(QByteArrayView name) const;
  // Replaces the value's type and data in place (its position and the case of its name
  // stay) or appends a new value.
  void setValue(QByteArrayView name, quint32 type, QByteArray data);
  // As setValue, keeping `name` itself when the value is new; for loaders, which also
  // reserve room for the values they are about to add.
  void adoptValue(QByteArray name, quint32 type, QByteArray data);
  void reserveValues(int count) {
    unpack();
    values_.reserve(values_.size() + size_t(std::max(count, 0)));
  }
  // For readers: the key's `count` values as the file holds them, left packed until
  // something asks for them (most of a large registry never is), so that reading it costs
  // no allocation per value. The key must hold no values yet; `packed` shares the file's
  // bytes. Values whose names repeat must not be given packed.
  void adoptPackedValues(QByteArray packed, int count, ValueUnpacker unpacker);
  // The bytes given to adoptPackedValues while nothing has asked for the values since:
  // a writer of the same format copies them as they are. Null once unpacked.
  const QByteArray& packedValues() const { return packed_; }
  bool removeValue(QByteArrayView name);
  // As removeValue, handing back the value and where it stood for insertValue.
  std::optional<RegValue> takeValue(QByteArrayView name, int* position);
  void insertValue(RegValue value, int position);

  // Backslash-separated path below this key; empty means this key. Empty components
  // (a doubled or trailing backslash) are skipped.
  RegKey* findPath(QByteArrayView path);
  // `added`, when given, receives the topmost key the call created (nullptr when the
  // whole path existed): detaching it undoes the call.
  RegKey* createPath(QByteArrayView path, RegKey** added = nullptr);

  // Names from the top of the tree down to this key, joined by backslashes.
  QByteArray pathFromTop() const;

  // Counts every change made anywhere below the top key; the owner of a tree compares it
  // with the count at its last save to know whether the tree must be written.
  quint64 generation() const { return top()->generation_; }

 private:
  friend class SubkeySource;
  const RegKey* top() const;
  void touch();
  void rebuildIndex();
  void unindex(const RegKey* child);
  // Appends a sub-key the caller has just looked for and not found.
  RegKey* appendSubkey(QByteArray name);
  void rebuildValueIndex();
  RegValue* valueNamed(QByteArrayView name);
  void unpack() const {
    if (!packed_.isNull()) unpackNow();
  }
  void unpackNow() const;
  void expand() const {
    if (deferred_) expandNow();
  }
  void expandNow() const;

  QByteArray name_;
  RegKey* parent_;
  mutable std::vector<std::unique_ptr<RegKey>> subkeys_;
  mutable std::shared_ptr<SubkeySource> deferred_;
  mutable quint32 deferredToken_ = 0;
  // Filled from packed_ when first asked for; unpacking changes nothing anyone can see.
  mutable std::vector<RegValue> values_;
  mutable QByteArray packed_;
  mutable int packedCount_ = 0;
  ValueUnpacker unpacker_ = nullptr;
  // Upper-cased name -> sub-key, kept only for keys with many sub-keys (file types,
  // CLSIDs), where a linear search would make looking up each of them quadratic; built
  // by the first lookup.
  std::unique_ptr<QHash<QByteArray, RegKey*>> index_;
  // Upper-cased name -> position in values_, likewise only for keys with many values.
  std::unique_ptr<QHash<QByteArray, size_t>> valueIndex_;
  quint64 generation_ = 0;
};

// The predefined keys. CLASSES_ROOT, CURRENT_USER and CURRENT_CONFIG are views of keys
// inside LOCAL_MACHINE and USERS, as on Windows 95.
enum class HKey { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

// "HKEY_LOCAL_MACHINE" and the rest; also accepts the HKLM-style abbreviations.
bool parseRootName(QStringView name, HKey* out);
QString rootName(HKey root);

class Registry {
 public:
  Registry();

  RegKey& localMachine() { return *hklm_; }
  RegKey& users() { return *hku_; }
  RegKey& dynData() { return *dyn_; }
  const RegKey& localMachine() const { return *hklm_; }
  const RegKey& users() const { return *hku_; }
  const RegKey& dynData() const { return *dyn_; }

  // The key a predefined handle stands for; nullptr where an alias's target is missing
  // (a machine without SOFTWARE\Classes has no HKEY_CLASSES_ROOT).
  RegKey* root(HKey root);
  RegKey* openKey(HKey root, QStringView path);
  // `added` as for RegKey::createPath; an alias target built on demand counts too.
  RegKey* createKey(HKey root, QStringView path, RegKey** added = nullptr);
  // Deletes the key with its sub-tree; a predefined key itself cannot be deleted.
  bool deleteKey(HKey root, QStringView path);

 private:
  std::unique_ptr<RegKey> hklm_, hku_, dyn_;
};

}  // namespace vt
