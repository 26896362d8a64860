// Shortcuts (.LNK) from a machine folder: what is read writes and reads back the same.
#include "fuzzcheck.h"
#include "sample/shelllink.h"

namespace {

std::string difference(const vt::sample::ShellLink& a, const vt::sample::ShellLink& b) {
  const struct {
    const char* name;
    bool same;
  } fields[] = {
      {"target", a.target == b.target},
      {"workingDir", a.workingDir == b.workingDir},
      {"arguments", a.arguments == b.arguments},
      {"description", a.description == b.description},
      {"iconLocation", a.iconLocation == b.iconLocation},
      {"iconIndex", a.iconIndex == b.iconIndex},
      {"showCommand", a.showCommand == b.showCommand},
      {"driveType", a.driveType == b.driveType},
      {"volumeSerial", a.volumeSerial == b.volumeSerial},
      {"volumeLabel", a.volumeLabel == b.volumeLabel},
      {"targetAttributes", a.targetAttributes == b.targetAttributes},
      {"targetSize", a.targetSize == b.targetSize},
      {"targetTime", a.targetTime == b.targetTime},
  };
  for (const auto& f : fields)
    if (!f.same) return f.name;
  return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vt::sample;
  const auto link = readShellLink(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
  if (!link) return 0;
  const QByteArray written = writeShellLink(*link);
  const auto again = readShellLink(written);
  FUZZ_CHECK(again.has_value());
  FUZZ_CHECK(difference(*link, *again).empty(), difference(*link, *again));
  FUZZ_CHECK(writeShellLink(*again) == written);
  return 0;
}
