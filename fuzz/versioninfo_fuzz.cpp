// SPDX-License-Identifier: GPL-3.0-or-later
// The version resource of programs and libraries from a machine folder: every input is
// read without harm, and what the head of a file decides, more of the file does not change
// (which is what lets the reader stop at the head).
#include "fuzzcheck.h"
#include "platform/versioninfo.h"

namespace {

bool same(const vt::FixedFileInfo& a, const vt::FixedFileInfo& b) {
  return a.fileVersionMS == b.fileVersionMS && a.fileVersionLS == b.fileVersionLS && a.productVersionMS == b.productVersionMS &&
         a.productVersionLS == b.productVersionLS && a.fileFlags == b.fileFlags && a.fileOS == b.fileOS &&
         a.fileType == b.fileType && a.fileSubtype == b.fileSubtype;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  qint64 needed = -1;
  const auto info = vt::readFixedFileInfo(bytes, &needed);
  FUZZ_CHECK(needed >= 0);
  FUZZ_CHECK(!info || needed == 0);
  const QByteArray longer = bytes + QByteArray(256, '\x7F');
  const auto more = vt::readFixedFileInfo(longer);
  if (info) FUZZ_CHECK(more && same(*info, *more));
  if (!info && needed <= qint64(size)) FUZZ_CHECK(!more);
  return 0;
}
