// SPDX-License-Identifier: GPL-3.0-or-later
// A registry file from a machine folder: read it; what is read must write and read back as
// the same tree, and a refused file must leave the tree it was read into alone.
#include "fuzzcheck.h"
#include "platform/creghive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vt;
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

  RegKey root, before;
  fuzz::plantSentinel(root);
  fuzz::plantSentinel(before);
  QString why;
  if (!creg::readHive(bytes, root, &why)) {
    FUZZ_CHECK(!why.isEmpty());
    FUZZ_CHECK(fuzz::treeDifference(root, before).empty(), fuzz::treeDifference(root, before));
    return 0;
  }

  // Keys looked up by name before anything else builds their siblings must end up where the
  // file has them: a second reading, asked for the names the first one holds, is the same.
  RegKey looked;
  FUZZ_CHECK(creg::readHive(bytes, looked, &why), why.toStdString());
  for (int i = 0; i < root.subkeyCount(); ++i) {
    const RegKey* top = root.subkey(i);
    RegKey* found = looked.findSubkey(top->name());
    FUZZ_CHECK(found != nullptr);
    for (int j = 0; j < top->subkeyCount(); j += 7) FUZZ_CHECK(found->findSubkey(top->subkey(j)->name()) != nullptr);
  }
  FUZZ_CHECK(fuzz::treeDifference(root, looked).empty(), fuzz::treeDifference(root, looked));

  const QByteArray written = creg::writeHive(root, &why);
  if (written.isEmpty()) {
    FUZZ_CHECK(!why.isEmpty());  // a key too large for the format: said, not dropped
    return 0;
  }
  RegKey again;
  FUZZ_CHECK(creg::readHive(written, again, &why), why.toStdString());
  FUZZ_CHECK(fuzz::treeDifference(root, again).empty(), fuzz::treeDifference(root, again));
  FUZZ_CHECK(creg::writeHive(again) == written);
  return 0;
}
