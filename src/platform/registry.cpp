#include "platform/registry.h"

#include "platform/text.h"

#include <algorithm>

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

RegKey::RegKey(QByteArray name, RegKey* parent) : name_(std::move(name)), parent_(parent) {}

const RegKey* RegKey::top() const {
  const RegKey* k = this;
  while (k->parent_) k = k->parent_;
  return k;
}

void RegKey::touch() { ++const_cast<RegKey*>(top())->generation_; }

RegKey* RegKey::subkey(int index) const {
  if (index < 0 || index >= int(subkeys_.size())) return nullptr;
  return subkeys_[size_t(index)].get();
}

RegKey* RegKey::findSubkey(QByteArrayView name) const {
  if (index_) return index_->value(ansiUpper(name), nullptr);
  for (const auto& k : subkeys_)
    if (ansiEqualNoCase(k->name_, name)) return k.get();
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
  for (auto it = subkeys_.rbegin(); it != subkeys_.rend(); ++it)
    index_->insert(ansiUpper((*it)->name_), it->get());
}

RegKey* RegKey::addSubkey(QByteArrayView name) {
  if (RegKey* existing = findSubkey(name)) return existing;
  subkeys_.push_back(std::make_unique<RegKey>(name.toByteArray(), this));
  RegKey* k = subkeys_.back().get();
  if (index_) {
    index_->insert(ansiUpper(name), k);
  } else if (int(subkeys_.size()) >= kIndexThreshold) {
    rebuildIndex();
  }
  touch();
  return k;
}

bool RegKey::removeSubkey(QByteArrayView name) {
  auto it = std::find_if(subkeys_.begin(), subkeys_.end(),
                         [&](const auto& k) { return ansiEqualNoCase(k->name_, name); });
  if (it == subkeys_.end()) return false;
  subkeys_.erase(it);
  if (index_) rebuildIndex();
  touch();
  return true;
}

void RegKey::takeContentsOf(RegKey& other) {
  subkeys_ = std::move(other.subkeys_);
  values_ = std::move(other.values_);
  other.subkeys_.clear();
  other.values_.clear();
  other.index_.reset();
  other.valueIndex_.reset();
  for (auto& k : subkeys_) k->parent_ = this;
  rebuildIndex();
  rebuildValueIndex();
  touch();
  other.touch();
}

void RegKey::clear() {
  subkeys_.clear();
  values_.clear();
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

RegValue* RegKey::valueNamed(QByteArrayView name) {
  if (valueIndex_) {
    auto it = valueIndex_->constFind(ansiUpper(name));
    return it == valueIndex_->constEnd() ? nullptr : &values_[*it];
  }
  for (auto& v : values_)
    if (ansiEqualNoCase(v.name, name)) return &v;
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
  values_.push_back(RegValue{name.toByteArray(), type, std::move(data)});
  if (valueIndex_) {
    valueIndex_->insert(ansiUpper(name), values_.size() - 1);
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

RegKey* RegKey::findPath(QByteArrayView path) {
  RegKey* k = this;
  forEachComponent(path, [&](QByteArrayView part) {
    k = k->findSubkey(part);
    return k != nullptr;
  });
  return k;
}

RegKey* RegKey::createPath(QByteArrayView path) {
  RegKey* k = this;
  forEachComponent(path, [&](QByteArrayView part) {
    k = k->addSubkey(part);
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
  struct Entry { const char* full; const char* abbrev; HKey key; };
  static const Entry entries[] = {
      {"HKEY_CLASSES_ROOT", "HKCR", HKey::ClassesRoot},
      {"HKEY_CURRENT_USER", "HKCU", HKey::CurrentUser},
      {"HKEY_LOCAL_MACHINE", "HKLM", HKey::LocalMachine},
      {"HKEY_USERS", "HKU", HKey::Users},
      {"HKEY_CURRENT_CONFIG", "HKCC", HKey::CurrentConfig},
      {"HKEY_DYN_DATA", "HKDD", HKey::DynData},
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

Registry::Registry()
    : hklm_(std::make_unique<RegKey>()), hku_(std::make_unique<RegKey>()), dyn_(std::make_unique<RegKey>()) {}

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

RegKey* Registry::createKey(HKey r, QStringView path) {
  RegKey* base = root(r);
  if (!base) {
    // Windows 95 builds the alias targets on demand too.
    switch (r) {
      case HKey::ClassesRoot: base = hklm_->createPath("SOFTWARE\\Classes"); break;
      case HKey::CurrentUser: base = hku_->createPath(".DEFAULT"); break;
      case HKey::CurrentConfig: base = hklm_->createPath("Config\\0001"); break;
      default: return nullptr;
    }
  }
  return base->createPath(toAnsi(path));
}

bool Registry::deleteKey(HKey r, QStringView path) {
  RegKey* k = openKey(r, path);
  if (!k || k == hklm_.get() || k == hku_.get() || k == dyn_.get() || k == root(r)) return false;
  return k->parent()->removeSubkey(k->name());
}

}  // namespace vt
