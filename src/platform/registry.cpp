// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry.h"

#include "platform/text.h"

#include <algorithm>
#include <cstring>

namespace vt {

namespace {
constexpr int kIndexThreshold = 24;

template <typename F>
void forEachComponent(QByteArrayView path, F&& f) {
  qsizetype start = 0;
  for (qsizetype i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      if (i > start && !f(path.sliced(start, i - start))) return;
      start = i + 1;
    }
  }
}
}  // namespace

QByteArray ByteSlab::copy(QByteArrayView bytes) {
  // Chunks are large enough that their count stays small, and small enough that the part
  // left unused at the end of the last one does not matter.
  constexpr qsizetype kChunk = 256 * 1024;
  constexpr qsizetype kOwnAllocation = kChunk / 16;
  static const char empty = 0;
  if (bytes.isEmpty()) return QByteArray(&empty, 0);
  const qsizetype need = bytes.size() + 1;
  if (need > kOwnAllocation) return bytes.toByteArray();
  if (chunk_.isNull() || used_ + need > chunk_.size()) {
    chunk_ = QByteArray(kChunk, Qt::Uninitialized);
    used_ = 0;
  }
  // The chunk is shared with earlier copies, so data() would detach it; what lies past
  // used_ belongs to no copy yet, and writing there changes nothing anyone sees.
  char* at = const_cast<char*>(chunk_.constData()) + used_;
  std::memcpy(at, bytes.data(), size_t(bytes.size()));
  at[bytes.size()] = '\0';
  used_ += need;
  QByteArray::DataPointer slice = chunk_.data_ptr();  // takes a reference on the chunk
  slice.ptr = at;
  slice.size = bytes.size();
  return QByteArray(std::move(slice));
}

RegKey::RegKey(QByteArray name, RegKey* parent) : name_(std::move(name)), parent_(parent) {}

const RegKey* RegKey::top() const {
  const RegKey* k = this;
  while (k->parent_) k = k->parent_;
  return k;
}

void RegKey::touch() { ++const_cast<RegKey*>(top())->generation_; }

void RegKey::deferSubkeys(std::shared_ptr<SubkeySource> source, quint32 token) {
  deferred_ = std::move(source);
  deferredToken_ = token;
}

void RegKey::expandNow() const {
  auto* self = const_cast<RegKey*>(this);
  // Taken first, so that the source's own calls on this key do not come back here.
  const std::shared_ptr<SubkeySource> source = std::move(deferred_);
  deferred_.reset();
  RegKey* top = const_cast<RegKey*>(self->top());
  const quint64 generation = top->generation_;
  source->addSubkeys(*self, deferredToken_);
  top->generation_ = generation;
}

RegKey* SubkeySource::appendFound(RegKey& key, QByteArray name) {
  key.subkeys_.push_back(std::make_unique<RegKey>(std::move(name), &key));
  return key.subkeys_.back().get();
}

std::vector<std::unique_ptr<RegKey>> SubkeySource::takeFound(RegKey& key) {
  std::vector<std::unique_ptr<RegKey>> found = std::move(key.subkeys_);
  key.subkeys_.clear();
  key.index_.reset();
  return found;
}

RegKey* SubkeySource::putBack(RegKey& key, std::unique_ptr<RegKey> found) {
  found->parent_ = &key;
  key.subkeys_.push_back(std::move(found));
  return key.subkeys_.back().get();
}

RegKey* RegKey::subkey(int index) const {
  expand();
  if (index < 0 || index >= int(subkeys_.size())) return nullptr;
  return subkeys_[size_t(index)].get();
}

RegKey* RegKey::findSubkey(QByteArrayView name) const {
  if (deferred_) {
    // Looking one key up among thousands (a file type, a class) need not build the others.
    const std::shared_ptr<SubkeySource> source = deferred_;  // the call may drop it
    RegKey* top = const_cast<RegKey*>(this->top());
    const quint64 generation = top->generation_;
    RegKey* found = source->findSubkey(*const_cast<RegKey*>(this), deferredToken_, name);
    top->generation_ = generation;
    return found;
  }
  if (int(subkeys_.size()) >= kIndexThreshold) {
    // Built when first needed: a registry being read adds thousands of sub-keys to keys
    // nobody may look into.
    if (!index_) const_cast<RegKey*>(this)->rebuildIndex();
    return index_->value(ansiUpper(name), nullptr);
  }
  for (const auto& k : subkeys_)
    if (k->name_.size() == name.size() && ansiEqualNoCase(k->name_, name)) return k.get();
  return nullptr;
}

void RegKey::rebuildIndex() {
  if (int(subkeys_.size()) < kIndexThreshold) {
    index_.reset();
    return;
  }
  index_ = std::make_unique<QHash<QByteArray, RegKey*>>();
  index_->reserve(qsizetype(subkeys_.size()));
  // The first of two names that differ only in case wins, as a linear search would.
  for (auto it = subkeys_.rbegin(); it != subkeys_.rend(); ++it) index_->insert(ansiUpper((*it)->name_), it->get());
}

RegKey* RegKey::addSubkey(QByteArrayView name) {
  if (RegKey* existing = findSubkey(name)) return existing;
  return appendSubkey(name.toByteArray());
}

RegKey* RegKey::adoptSubkey(QByteArray name) {
  if (RegKey* existing = findSubkey(name)) return existing;
  return appendSubkey(std::move(name));
}

RegKey* RegKey::appendSubkey(QByteArray name) {
  expand();
  subkeys_.push_back(std::make_unique<RegKey>(std::move(name), this));
  RegKey* k = subkeys_.back().get();
  if (index_) index_->insert(ansiUpper(k->name_), k);
  touch();
  return k;
}

RegKey* RegKey::adoptNewSubkey(QByteArray name) { return appendSubkey(std::move(name)); }

void RegKey::reserveSubkeys(int count) {
  expand();
  subkeys_.reserve(subkeys_.size() + size_t(std::max(count, 0)));
}

// Keeps the name index right after `child` left subkeys_. A bulk clean-up deletes hundreds
// of file types from one key, so the index is mended rather than built again each time.
void RegKey::unindex(const RegKey* child) {
  if (!index_) return;
  if (int(subkeys_.size()) < kIndexThreshold) {
    index_.reset();
    return;
  }
  const QByteArray upper = ansiUpper(child->name_);
  const auto it = index_->find(upper);
  if (it != index_->end() && it.value() == child) index_->erase(it);
}

bool RegKey::removeSubkey(QByteArrayView name) {
  expand();
  auto it = std::find_if(subkeys_.begin(), subkeys_.end(), [&](const auto& k) { return ansiEqualNoCase(k->name_, name); });
  if (it == subkeys_.end()) return false;
  std::unique_ptr<RegKey> gone = std::move(*it);
  subkeys_.erase(it);
  unindex(gone.get());
  touch();
  return true;
}

std::unique_ptr<RegKey> RegKey::detachSubkey(const RegKey* child, int* position) {
  expand();
  auto it = std::find_if(subkeys_.begin(), subkeys_.end(), [&](const auto& k) { return k.get() == child; });
  if (it == subkeys_.end()) return nullptr;
  if (position) *position = int(it - subkeys_.begin());
  std::unique_ptr<RegKey> taken = std::move(*it);
  subkeys_.erase(it);
  unindex(taken.get());
  taken->parent_ = nullptr;
  touch();
  return taken;
}

void RegKey::insertSubkey(std::unique_ptr<RegKey> child, int position) {
  expand();
  position = std::clamp(position, 0, int(subkeys_.size()));
  child->parent_ = this;
  subkeys_.insert(subkeys_.begin() + position, std::move(child));
  index_.reset();
  touch();
}

void RegKey::takeContentsOf(RegKey& other) {
  subkeys_ = std::move(other.subkeys_);
  deferred_ = std::move(other.deferred_);
  deferredToken_ = other.deferredToken_;
  other.deferred_.reset();
  values_ = std::move(other.values_);
  packed_ = std::move(other.packed_);
  packedCount_ = other.packedCount_;
  unpacker_ = other.unpacker_;
  other.subkeys_.clear();
  other.values_.clear();
  other.packed_ = QByteArray();
  other.index_.reset();
  other.valueIndex_.reset();
  for (auto& k : subkeys_) k->parent_ = this;
  index_.reset();
  rebuildValueIndex();
  touch();
  other.touch();
}

void RegKey::clear() {
  subkeys_.clear();
  deferred_.reset();
  values_.clear();
  packed_ = QByteArray();
  index_.reset();
  valueIndex_.reset();
  touch();
}

void RegKey::rebuildValueIndex() {
  if (int(values_.size()) < kIndexThreshold) {
    valueIndex_.reset();
    return;
  }
  valueIndex_ = std::make_unique<QHash<QByteArray, size_t>>();
  valueIndex_->reserve(qsizetype(values_.size()));
  for (size_t i = values_.size(); i-- > 0;) valueIndex_->insert(ansiUpper(values_[i].name), i);
}

void RegKey::adoptPackedValues(QByteArray packed, int count, ValueUnpacker unpacker) {
  if (count <= 0) return;
  packed_ = std::move(packed);
  packedCount_ = count;
  unpacker_ = unpacker;
  touch();
}

void RegKey::unpackNow() const {
  auto* self = const_cast<RegKey*>(this);
  const QByteArray packed = std::move(packed_);
  packed_ = QByteArray();
  self->values_.clear();
  unpacker_(packed, packedCount_, &self->values_);
  self->rebuildValueIndex();
}

RegValue* RegKey::valueNamed(QByteArrayView name) {
  unpack();
  if (valueIndex_) {
    auto it = valueIndex_->constFind(ansiUpper(name));
    return it == valueIndex_->constEnd() ? nullptr : &values_[*it];
  }
  // The length, compared here, rules out most names without a call.
  for (auto& v : values_)
    if (v.name.size() == name.size() && ansiEqualNoCase(v.name, name)) return &v;
  return nullptr;
}

const RegValue* RegKey::findValue(QByteArrayView name) const { return const_cast<RegKey*>(this)->valueNamed(name); }

void RegKey::setValue(QByteArrayView name, quint32 type, QByteArray data) {
  if (RegValue* v = valueNamed(name)) {
    v->type = type;
    v->data = std::move(data);
    touch();
    return;
  }
  adoptValue(name.toByteArray(), type, std::move(data));
}

void RegKey::adoptValue(QByteArray name, quint32 type, QByteArray data) {
  if (RegValue* v = valueNamed(name)) {
    v->type = type;
    v->data = std::move(data);
    touch();
    return;
  }
  values_.push_back(RegValue{std::move(name), type, std::move(data)});
  if (valueIndex_) {
    valueIndex_->insert(ansiUpper(values_.back().name), values_.size() - 1);
  } else if (int(values_.size()) >= kIndexThreshold) {
    rebuildValueIndex();
  }
  touch();
}

bool RegKey::removeValue(QByteArrayView name) {
  const RegValue* v = valueNamed(name);
  if (!v) return false;
  values_.erase(values_.begin() + (v - values_.data()));
  rebuildValueIndex();
  touch();
  return true;
}

std::optional<RegValue> RegKey::takeValue(QByteArrayView name, int* position) {
  RegValue* v = valueNamed(name);
  if (!v) return std::nullopt;
  const auto at = values_.begin() + (v - values_.data());
  if (position) *position = int(at - values_.begin());
  RegValue taken = std::move(*at);
  values_.erase(at);
  rebuildValueIndex();
  touch();
  return taken;
}

void RegKey::insertValue(RegValue value, int position) {
  unpack();
  position = std::clamp(position, 0, int(values_.size()));
  values_.insert(values_.begin() + position, std::move(value));
  rebuildValueIndex();
  touch();
}

RegKey* RegKey::findPath(QByteArrayView path) {
  RegKey* k = this;
  forEachComponent(path, [&](QByteArrayView part) {
    k = k->findSubkey(part);
    return k != nullptr;
  });
  return k;
}

RegKey* RegKey::createPath(QByteArrayView path, RegKey** added) {
  RegKey* k = this;
  if (added) *added = nullptr;
  forEachComponent(path, [&](QByteArrayView part) {
    RegKey* next = k->findSubkey(part);
    if (!next) {
      next = k->appendSubkey(part.toByteArray());
      if (added && !*added) *added = next;
    }
    k = next;
    return true;
  });
  return k;
}

QByteArray RegKey::pathFromTop() const {
  QList<QByteArray> parts;
  for (const RegKey* k = this; k->parent_; k = k->parent_) parts.prepend(k->name_);
  return parts.join('\\');
}

bool parseRootName(QStringView name, HKey* out) {
  struct Entry {
    const char* full;
    const char* abbrev;
    HKey key;
  };
  static const Entry entries[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", HKey::ClassesRoot},     {"HKEY_CURRENT_USER", "HKCU", HKey::CurrentUser},
      {"HKEY_LOCAL_MACHINE", "HKLM", HKey::LocalMachine},   {"HKEY_USERS", "HKU", HKey::Users},
      {"HKEY_CURRENT_CONFIG", "HKCC", HKey::CurrentConfig}, {"HKEY_DYN_DATA", "HKDD", HKey::DynData},
  };
  for (const Entry& e : entries) {
    if (name.compare(QLatin1String(e.full), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String(e.abbrev), Qt::CaseInsensitive) == 0) {
      *out = e.key;
      return true;
    }
  }
  return false;
}

QString rootName(HKey root) {
  switch (root) {
    case HKey::ClassesRoot: return QStringLiteral("HKEY_CLASSES_ROOT");
    case HKey::CurrentUser: return QStringLiteral("HKEY_CURRENT_USER");
    case HKey::LocalMachine: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case HKey::Users: return QStringLiteral("HKEY_USERS");
    case HKey::CurrentConfig: return QStringLiteral("HKEY_CURRENT_CONFIG");
    case HKey::DynData: return QStringLiteral("HKEY_DYN_DATA");
  }
  return {};
}

Registry::Registry() : hklm_(std::make_unique<RegKey>()), hku_(std::make_unique<RegKey>()), dyn_(std::make_unique<RegKey>()) {}

RegKey* Registry::root(HKey root) {
  switch (root) {
    case HKey::LocalMachine: return hklm_.get();
    case HKey::Users: return hku_.get();
    case HKey::DynData: return dyn_.get();
    case HKey::ClassesRoot: return hklm_->findPath("SOFTWARE\\Classes");
    case HKey::CurrentUser: return hku_->findPath(".DEFAULT");
    case HKey::CurrentConfig: return hklm_->findPath("Config\\0001");
  }
  return nullptr;
}

RegKey* Registry::openKey(HKey r, QStringView path) {
  RegKey* base = root(r);
  return base ? base->findPath(toAnsi(path)) : nullptr;
}

RegKey* Registry::createKey(HKey r, QStringView path, RegKey** added) {
  RegKey* base = root(r);
  RegKey* aliasAdded = nullptr;
  if (!base) {
    // Windows 95 builds the alias targets on demand too.
    switch (r) {
      case HKey::ClassesRoot: base = hklm_->createPath("SOFTWARE\\Classes", &aliasAdded); break;
      case HKey::CurrentUser: base = hku_->createPath(".DEFAULT", &aliasAdded); break;
      case HKey::CurrentConfig: base = hklm_->createPath("Config\\0001", &aliasAdded); break;
      default:
        if (added) *added = nullptr;
        return nullptr;
    }
  }
  RegKey* k = base->createPath(toAnsi(path), added);
  if (added && aliasAdded) *added = aliasAdded;
  return k;
}

bool Registry::deleteKey(HKey r, QStringView path) {
  RegKey* k = openKey(r, path);
  if (!k || k == hklm_.get() || k == hku_.get() || k == dyn_.get() || k == root(r)) return false;
  return k->parent()->removeSubkey(k->name());
}

}  // namespace vt
