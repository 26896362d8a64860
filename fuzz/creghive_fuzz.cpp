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
