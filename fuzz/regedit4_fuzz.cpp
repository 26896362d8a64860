// SPDX-License-Identifier: GPL-3.0-or-later
// REGEDIT4 text from a machine folder (dyndata.reg, files given to "regedit"): import it;
// what is imported must export and import again as the same registry, and a refused file
// must change nothing.
#include "fuzzcheck.h"
#include "platform/regedit4.h"

namespace {

using namespace vt;

// HKEY_LOCAL_MACHINE and HKEY_USERS through the whole export, HKEY_DYN_DATA on its own
// (as dyndata.reg holds it).
QByteArray exportDyn(const Registry& r) { return regedit4::exportKey(r.dynData(), QStringLiteral("HKEY_DYN_DATA")); }

std::string difference(const Registry& a, const Registry& b) {
  constexpr auto strings = fuzz::Strings::ToFirstNul;
  std::string d = fuzz::treeDifference(a.localMachine(), b.localMachine(), strings);
  if (d.empty()) d = fuzz::treeDifference(a.users(), b.users(), strings);
  if (d.empty()) d = fuzz::treeDifference(a.dynData(), b.dynData(), strings);
  return d;
}

void plant(Registry& r) {
  fuzz::plantSentinel(r.localMachine());
  fuzz::plantSentinel(r.users());
  fuzz::plantSentinel(r.dynData());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the mode, so both kinds of import are fuzzed from one corpus.
  const auto mode = data[0] & 1 ? regedit4::ImportMode::Replace : regedit4::ImportMode::Merge;
  const QByteArray text(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

  Registry reg, untouched;
  plant(reg);
  plant(untouched);
  QString why;
  if (!regedit4::importText(text, reg, mode, &why)) {
    FUZZ_CHECK(!why.isEmpty());
    FUZZ_CHECK(difference(reg, untouched).empty(), difference(reg, untouched));
    return 0;
  }

  const QByteArray exported = regedit4::exportRegistry(reg), dyn = exportDyn(reg);
  Registry again;
  FUZZ_CHECK(regedit4::importText(exported, again, regedit4::ImportMode::Merge, &why), why.toStdString());
  FUZZ_CHECK(regedit4::importText(dyn, again, regedit4::ImportMode::Merge, &why), why.toStdString());
  FUZZ_CHECK(difference(reg, again).empty(), difference(reg, again));
  FUZZ_CHECK(regedit4::exportRegistry(again) == exported && exportDyn(again) == dyn);
  return 0;
}
