#pragma once
// What the fuzz targets share: a check that stops the run with a message (libFuzzer
// saves the input that made it fail), and a comparison of registry trees.
#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vt::fuzz {

[[noreturn]] inline void failed(const char* what, const std::string& detail = {}) {
  std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str());
  std::abort();
}

#define FUZZ_CHECK(cond, ...) \
  do {                        \
    if (!(cond)) ::vt::fuzz::failed(#cond, ##__VA_ARGS__); \
  } while (0)

// Empty when the trees hold the same keys and values in the same order, names spelled
// alike; otherwise the path where they first differ.
inline std::string treeDifference(const RegKey& a, const RegKey& b) {
  const std::string here = a.pathFromTop().toStdString();
  if (a.name() != b.name()) return here + ": name";
  if (a.valueCount() != b.valueCount()) return here + ": value count";
  for (int i = 0; i < a.valueCount(); ++i) {
    const RegValue& x = a.values()[size_t(i)];
    const RegValue& y = b.values()[size_t(i)];
    if (x.name != y.name || x.type != y.type || x.data != y.data) return here + ": value " + x.name.toStdString();
  }
  if (a.subkeyCount() != b.subkeyCount()) return here + ": sub-key count";
  for (int i = 0; i < a.subkeyCount(); ++i) {
    std::string d = treeDifference(*a.subkey(i), *b.subkey(i));
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
