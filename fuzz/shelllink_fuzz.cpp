// SPDX-License-Identifier: GPL-3.0-or-later
// Shortcuts (.LNK) and program information files (.PIF) from a machine folder: every input
// is read without harm, and whatever the writers can express writes and reads back the same.
#include "fuzzcheck.h"
#include "platform/shelllink.h"
#include "platform/text.h"

namespace {

using vt::Pif;
using vt::ShellLink;

std::string difference(const ShellLink& a, const ShellLink& b) {
  const struct {
    const char* name;
    bool same;
  } fields[] = {
      {"target", a.target == b.target},
      {"workingDir", a.workingDir == b.workingDir},
      {"arguments", a.arguments == b.arguments},
      {"description", a.description == b.description},
      {"iconLocation", a.iconLocation == b.iconLocation},
      {"relativePath", a.relativePath == b.relativePath},
      {"iconIndex", a.iconIndex == b.iconIndex},
      {"showCommand", a.showCommand == b.showCommand},
      {"hotKey", a.hotKey == b.hotKey},
      {"unicode", a.unicode == b.unicode},
      {"hasLocalPath", a.hasLocalPath == b.hasLocalPath},
      {"driveType", a.driveType == b.driveType},
      {"volumeSerial", a.volumeSerial == b.volumeSerial},
      {"volumeLabel", a.volumeLabel == b.volumeLabel},
      {"netName", a.netName == b.netName},
      {"deviceName", a.deviceName == b.deviceName},
      {"targetAttributes", a.targetAttributes == b.targetAttributes},
      {"targetSize", a.targetSize == b.targetSize},
      {"targetTime", a.targetTime == b.targetTime},
  };
  for (const auto& f : fields)
    if (!f.same) return f.name;
  return {};
}

// The link information is written in ANSI up to each string's NUL.
bool ansiSafe(const QString& s) { return !s.contains(QChar(0)) && vt::fromAnsi(vt::toAnsi(s)) == s; }

// The writer records a local path, a share, or both; a link that only its item list
// describes, or a drive letter without its share, it cannot write.
bool writable(const ShellLink& l) {
  if (!l.hasLocalPath && l.netName.isEmpty()) return false;
  if (!l.deviceName.isEmpty() && l.netName.isEmpty()) return false;
  return ansiSafe(l.target) && ansiSafe(l.volumeLabel) && ansiSafe(l.netName) && ansiSafe(l.deviceName);
}

void checkLink(const QByteArray& bytes) {
  const auto link = vt::readShellLink(bytes);
  if (!link) return;
  const QByteArray written = vt::writeShellLink(*link);
  const auto again = vt::readShellLink(written);
  FUZZ_CHECK(again.has_value());
  if (!writable(*link)) return;
  FUZZ_CHECK(difference(*link, *again).empty(), difference(*link, *again));
  FUZZ_CHECK(vt::writeShellLink(*again) == written);
}

void checkPif(const QByteArray& bytes) {
  const auto pif = vt::readPif(bytes);
  if (!pif) return;
  const auto again = vt::readPif(vt::writePif(*pif));
  FUZZ_CHECK(again.has_value());
  // A field that fills its 64 bytes has no room for the NUL the writer puts after it.
  if (pif->workingDir.size() >= 64 || pif->parameters.size() >= 64) return;
  FUZZ_CHECK(again->title == pif->title && again->program == pif->program && again->workingDir == pif->workingDir &&
             again->parameters == pif->parameters);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  checkLink(bytes);
  checkPif(bytes);
  return 0;
}
