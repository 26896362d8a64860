// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// REGEDIT4 text as Windows 95's registry editor reads and writes it.
#include "platform/registry.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace vt::regedit4 {

// The whole registry: HKEY_LOCAL_MACHINE, then HKEY_USERS ("REGEDIT /e FILE").
QByteArray exportRegistry(const Registry& registry);
// One key with its sub-tree, headed by `fullName` (e.g. "HKEY_DYN_DATA").
QByteArray exportKey(const RegKey& key, const QString& fullName);

enum class ImportMode {
  Merge,    // "REGEDIT FILE": missing keys created, values replaced
  Replace,  // "REGEDIT /c FILE": HKEY_LOCAL_MACHINE and HKEY_USERS become the file's contents
};

// A file read whole and found good, whose changes are made later: a caller that has more
// to check before it changes the registry reads the file once. Applying it uses it up.
class Parsed {
 public:
  Parsed();
  Parsed(Parsed&&) noexcept;
  Parsed& operator=(Parsed&&) noexcept;
  ~Parsed();

 private:
  friend bool parse(const QByteArray& text, ImportMode mode, Parsed* parsed, QString* error);
  friend void apply(Parsed& parsed, Registry& registry, Registry* replaced);
  struct Ops;
  std::unique_ptr<Ops> ops_;
};

// Reads the whole file: a malformed line refuses the file with an error naming the line. A
// replacement also refuses a file that is no whole export: one without keys of both
// HKEY_LOCAL_MACHINE and HKEY_USERS, or whose last line has no line break.
bool parse(const QByteArray& text, ImportMode mode, Parsed* parsed, QString* error);
// Makes the file's changes, in the mode it was parsed for. A Parsed that parse() refused,
// or one already applied, changes nothing. A replacement moves the trees it replaces into
// `replaced`'s HKEY_LOCAL_MACHINE and HKEY_USERS, when given, instead of freeing them: a
// registry's worth of keys takes a while to free, which the caller may do where it costs
// less (what `replaced` held there before is dropped).
void apply(Parsed& parsed, Registry& registry, Registry* replaced = nullptr);

// parse() and apply() in one: a refused file leaves the registry untouched.
bool importText(const QByteArray& text, Registry& registry, ImportMode mode, QString* error);

}  // namespace vt::regedit4
