// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: a check that stops the run with a message (libFuzzer
// saves the input that made it fail), a small machine for the targets that drive the file
// system, and a comparison of registry trees.
#include "platform/machine.h"
#include "platform/registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <cstdlib>
#include <string>

namespace vt::fuzz {

[[noreturn]] inline void failed(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str());
  std::abort();
}

#define FUZZ_CHECK(cond, ...)                              \
  do {                                                     \
    if (!(cond)) ::vt::fuzz::failed(#cond, ##__VA_ARGS__); \
  } while (0)

// A machine being built (no registry needed) from `machineIni`, with the folders
// `folders` made, in memory where there is /dev/shm: the targets write and sync files on
// every input.
struct MemoryMachine {
  std::unique_ptr<QTemporaryDir> dir = QDir(QStringLiteral("/dev/shm")).exists()
                                           ? std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/vt-fuzz-XXXXXX"))
                                           : std::make_unique<QTemporaryDir>();
  std::unique_ptr<Machine> machine;

  MemoryMachine(const QByteArray& machineIni, std::initializer_list<const char*> folders) {
    for (const char* f : folders) QDir(dir->path()).mkpath(QString::fromLatin1(f));
    QFile ini(dir->path() + QStringLiteral("/machine.ini"));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(machineIni) != machineIni.size()) failed("cannot write machine.ini");
    ini.close();
    QString why;
    machine = Machine::open(dir->path(), &why, MachineOpen::BeingBuilt);
    if (!machine) failed("machine", why.toStdString());
  }
};

enum class Strings {
  Exact,
  // A string's NULs at its end do not count: Windows reads a string up to its first NUL,
  // and REGEDIT4 text, like regedit's, writes it only that far.
  ToFirstNul,
};

inline QByteArray comparable(const RegValue& v, Strings strings) {
  if (strings == Strings::Exact || v.type != RegSz) return v.data;
  const qsizetype nul = v.data.indexOf('\0');
  if (nul < 0) return v.data;
  for (qsizetype i = nul; i < v.data.size(); ++i)
    if (v.data[i] != '\0') return v.data;
  return v.data.first(nul);
}

// Empty when the trees hold the same keys and values in the same order, names spelled
// alike; otherwise the path where they first differ.
inline std::string treeDifference(const RegKey& a, const RegKey& b, Strings strings = Strings::Exact) {
  const std::string here = a.pathFromTop().toStdString();
  if (a.name() != b.name()) return here + ": name";
  if (a.valueCount() != b.valueCount()) return here + ": value count";
  for (int i = 0; i < a.valueCount(); ++i) {
    const RegValue& x = a.values()[size_t(i)];
    const RegValue& y = b.values()[size_t(i)];
    if (x.name != y.name || x.type != y.type || comparable(x, strings) != comparable(y, strings))
      return here + ": value " + x.name.toStdString();
  }
  if (a.subkeyCount() != b.subkeyCount()) return here + ": sub-key count";
  for (int i = 0; i < a.subkeyCount(); ++i) {
    std::string d = treeDifference(*a.subkey(i), *b.subkey(i), strings);
    if (!d.empty()) return d;
  }
  return {};
}

// A tree that is known before a parse, so that a refused input can be shown to have
// changed nothing.
inline void plantSentinel(RegKey& root) {
  RegKey* k = root.createPath("Sentinel\\Inner");
  k->setValue("kept", RegSz, "yes");
  k->setValue("", RegDword, QByteArray("\x01\x02\x03\x04", 4));
}

}  // namespace vt::fuzz
