// SPDX-License-Identifier: GPL-3.0-or-later
#include "sysaccess/reg.h"

#include "platform/machine.h"
#include "platform/text.h"

#include <QtEndian>

namespace vt {

namespace {

// The text a string value shows through a 255-byte buffer: up to the first zero byte,
// and never more than 254 characters.
QString bufferedText(const QByteArray& data, int buffer) {
  qsizetype end = data.indexOf('\0');
  if (end < 0) end = data.size();
  return fromAnsi(QByteArrayView(data).first(std::min<qsizetype>(end, buffer - 1)));
}

}  // namespace

RegKey* RegRoot::create(Registry& reg, QStringView path, RegKey** added) const {
  return key_ ? key_->createPath(toAnsi(path), added) : reg.createKey(hkey_, path, added);
}

RegKey* RegAccess::open(RegRoot root, QStringView keyPath) {
  RegKey* base = root.resolve(machine_.registry());
  return base ? base->findPath(toAnsi(keyPath)) : nullptr;
}

bool RegAccess::commit() { return machine_.saveRegistry(); }

bool RegAccess::setAndCommit(RegKey* key, QStringView name, quint32 type, QByteArray data, RegKey* added) {
  const QByteArray ansiName = toAnsi(name);
  std::optional<RegValue> before;
  if (const RegValue* old = key->findValue(ansiName)) before = *old;
  key->setValue(ansiName, type, std::move(data));
  if (commit()) return true;
  if (added) {
    added->parent()->detachSubkey(added);  // the value goes with the key it was written to
  } else if (before) {
    key->setValue(before->name, before->type, before->data);
  } else {
    key->removeValue(ansiName);
  }
  return false;
}

bool RegAccess::RegKeyExists(RegRoot root, QStringView keyPath) { return open(root, keyPath) != nullptr; }

bool RegAccess::RegValueExists(const RegKey* key, QStringView name) {
  if (!key) return false;
  // Value names are compared on at most 255 characters, as the enumeration buffer holds.
  const QByteArray wanted = toAnsi(name).left(255);
  // A value of that very name starts with it; only a miss needs the walk over every name.
  if (key->findValue(wanted)) return true;
  for (const RegValue& v : key->values())
    if (ansiStartsWithNoCase(QByteArrayView(v.name).first(std::min<qsizetype>(v.name.size(), 255)), wanted)) return true;
  return false;
}

bool RegAccess::RegValueExistsAt(RegRoot root, QStringView keyPath, QStringView name) {
  return RegValueExists(open(root, keyPath), name);
}

const RegValue* RegAccess::existingValue(RegRoot root, QStringView keyPath, QStringView name) {
  RegKey* key = open(root, keyPath);
  if (!RegValueExists(key, name)) return nullptr;
  // The prefix test above only gates the query; the query itself wants the exact name.
  return key->findValue(toAnsi(name));
}

bool RegAccess::DeleteRegKey(RegRoot root, QStringView keyPath) {
  RegKey* key = open(root, keyPath);
  if (!key || !key->parent()) return false;
  Registry& reg = machine_.registry();
  for (HKey h : {HKey::ClassesRoot, HKey::CurrentUser, HKey::CurrentConfig})
    if (key == reg.root(h)) return false;  // a predefined key is not deletable
  RegKey* parent = key->parent();
  int position = 0;
  std::unique_ptr<RegKey> taken = parent->detachSubkey(key, &position);
  if (!taken) return false;
  if (commit()) return true;
  parent->insertSubkey(std::move(taken), position);
  return false;
}

bool RegAccess::DeleteRegValue(RegRoot root, QStringView keyPath, QStringView name) {
  RegKey* key = open(root, keyPath);
  if (!RegValueExists(key, name)) return false;
  int position = 0;
  std::optional<RegValue> taken = key->takeValue(toAnsi(name), &position);
  if (!taken) return false;
  if (commit()) return true;
  key->insertValue(std::move(*taken), position);
  return false;
}

bool RegAccess::DeleteAllRegValues(RegRoot root, QStringView keyPath, qint64* removedBytes) {
  if (removedBytes) *removedBytes = 0;
  RegKey* key = open(root, keyPath);
  if (!key) return false;
  if (key->valueCount() == 0) return true;
  struct Taken {
    RegValue value;
    int position;
  };
  std::vector<Taken> taken;
  taken.reserve(size_t(key->valueCount()));
  bool complete = true;
  while (key->valueCount() > 0) {
    int position = 0;
    // Taken by the name the value is stored under; should that ever miss, the loop stops
    // rather than trying the same value forever.
    const QByteArray name = key->values().front().name;
    std::optional<RegValue> v = key->takeValue(name, &position);
    if (!v) {
      complete = false;
      break;
    }
    taken.push_back({std::move(*v), position});
  }
  if (complete && commit()) {
    if (removedBytes)
      for (const Taken& t : taken) *removedBytes += t.value.name.size() + t.value.data.size();
    return true;
  }
  // In reverse, so that every value finds the neighbours it was taken from.
  for (auto it = taken.rbegin(); it != taken.rend(); ++it) key->insertValue(std::move(it->value), it->position);
  return false;
}

QStringList RegAccess::SubKeyNames(RegRoot root, QStringView keyPath) {
  QStringList names;
  const RegKey* key = open(root, keyPath);
  if (!key) return names;
  names.reserve(key->subkeyCount());
  for (int i = 0; i < key->subkeyCount(); ++i) names << fromAnsi(key->subkey(i)->name());
  return names;
}

std::optional<QString> RegAccess::ReadWholeRegString(RegRoot root, QStringView keyPath, QStringView name) {
  const RegValue* v = existingValue(root, keyPath, name);
  if (!v) return std::nullopt;
  // Strings are stored without their terminating zero, which the buffer must hold too.
  const qsizetype needed = v->data.size() + (v->data.endsWith('\0') ? 0 : 1);
  if (needed > kRegStringBuffer) return std::nullopt;
  return bufferedText(v->data, kRegStringBuffer);
}

QString RegAccess::ReadRegString(RegRoot root, QStringView keyPath, QStringView name) {
  const RegValue* v = existingValue(root, keyPath, name);
  return v ? bufferedText(v->data, kRegStringBuffer) : QString();
}

bool RegAccess::RegStringEquals(RegRoot root, QStringView keyPath, QStringView name, QStringView expected) {
  if (!existingValue(root, keyPath, name)) return false;
  return ansiUpper(toAnsi(ReadRegString(root, keyPath, name))) == ansiUpper(toAnsi(expected));
}

quint32 RegAccess::ReadRegDword(RegRoot root, QStringView keyPath, QStringView name) {
  const RegValue* v = existingValue(root, keyPath, name);
  if (!v || v->data.size() > 4) return 0;
  uchar bytes[4] = {0, 0, 0, 0};
  std::copy(v->data.cbegin(), v->data.cend(), reinterpret_cast<char*>(bytes));
  return qFromLittleEndian<quint32>(bytes);
}

bool RegAccess::RegDwordEquals(RegRoot root, QStringView keyPath, QStringView name, quint32 expected) {
  const RegValue* v = existingValue(root, keyPath, name);
  if (!v || v->data.size() > 4) return false;
  return ReadRegDword(root, keyPath, name) == expected;
}

bool RegAccess::writeString(RegRoot root, QStringView keyPath, QStringView name, QStringView text, bool create) {
  RegKey* added = nullptr;
  RegKey* key = create ? root.create(machine_.registry(), keyPath, &added) : open(root, keyPath);
  if (!key) return false;
  if (!setAndCommit(key, name, RegSz, toAnsi(text), added)) return false;
  return ReadRegString(root, keyPath, name) == text;
}

bool RegAccess::WriteRegString(RegRoot root, QStringView keyPath, QStringView name, QStringView text) {
  return writeString(root, keyPath, name, text, false);
}

bool RegAccess::WriteRegStringCreate(RegRoot root, QStringView keyPath, QStringView name, QStringView text) {
  return writeString(root, keyPath, name, text, true);
}

bool RegAccess::WriteRegDword(RegRoot root, QStringView keyPath, QStringView name, quint32 value) {
  RegKey* key = open(root, keyPath);
  if (!key) return false;
  QByteArray data(4, '\0');
  qToLittleEndian(value, data.data());
  return setAndCommit(key, name, RegDword, data);
}

QString RegAccess::FindEnumDeviceValue(QStringView matchName, QStringView matchText, QStringView resultName, int mode) {
  QString result = QString::fromUtf8(state_.pick("Nicht vorhanden / Nicht erkannt", "Not exist / Not noticed"));
  if (mode != 0 && mode != 1) return result;
  RegKey* enumKey = machine_.registry().localMachine().findPath("Enum");
  if (!enumKey) return result;
  const QByteArray wanted = ansiUpper(toAnsi(matchText));
  for (int b = 0; b < enumKey->subkeyCount(); ++b) {
    RegKey* bus = enumKey->subkey(b);
    for (int d = 0; d < bus->subkeyCount(); ++d) {
      RegKey* instance = bus->subkey(d)->subkey(0);
      if (!instance || !RegValueExists(instance, matchName)) continue;
      const RegValue* match = instance->findValue(toAnsi(matchName));
      if (!match || ansiUpper(toAnsi(bufferedText(match->data, kRegStringBuffer))) != wanted) continue;
      if (!RegValueExists(instance, resultName)) continue;
      if (mode == 1 && !instance->findSubkey("LogConfig")) continue;
      if (const RegValue* r = instance->findValue(toAnsi(resultName))) result = bufferedText(r->data, kRegStringBuffer);
    }
  }
  return result;
}

QStringList RegAccess::ListInstalledUpdates() {
  QStringList lines;
  RegKey* updates = open(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows\\CurrentVersion\\Setup\\Updates");
  if (!updates) return lines;
  for (int i = 0; i < updates->subkeyCount(); ++i) {
    // Names longer than the 1023-character enumeration buffer cannot be opened by name.
    const QByteArray name = updates->subkey(i)->name();
    if (name.size() > 1023) continue;
    lines << ReadRegString(RegRoot(updates), fromAnsi(name), u"");
  }
  return lines;
}

// --- enumeration ---------------------------------------------------------------------------

QStringList RegAccess::ValueNames(RegRoot root, QStringView keyPath) {
  QStringList names;
  if (RegKey* key = open(root, keyPath))
    for (const RegValue& v : key->values()) names << fromAnsi(v.name);
  return names;
}

QList<std::pair<QString, qint64>> RegAccess::ValueSizes(RegRoot root, QStringView keyPath) {
  QList<std::pair<QString, qint64>> sizes;
  if (RegKey* key = open(root, keyPath))
    for (const RegValue& v : key->values()) sizes.append({fromAnsi(v.name), v.name.size() + v.data.size()});
  return sizes;
}

}  // namespace vt
