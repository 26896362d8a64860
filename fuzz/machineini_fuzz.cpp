// SPDX-License-Identifier: GPL-3.0-or-later
// machine.ini: a refused file leaves the facts and drives alone and says why; an accepted
// one describes a machine the rest of the program can rely on.
#include "fuzzcheck.h"
#include "platform/machine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vt;
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  MachineFacts facts;
  facts.userName = QStringLiteral("untouched");
  std::map<QChar, DriveInfo> drives{{QLatin1Char('Z'), DriveInfo{}}};
  bool forceFile = false;
  QString why;
  if (!parseMachineIni(bytes, QStringLiteral("/machine"), &facts, &drives, &forceFile, &why)) {
    FUZZ_CHECK(!why.isEmpty());
    FUZZ_CHECK(facts.userName == QLatin1String("untouched") && drives.size() == 1 && drives.count(QLatin1Char('Z')));
    return 0;
  }
  FUZZ_CHECK(drives.count(QLatin1Char('C')));
  for (const auto& [letter, d] : drives) {
    FUZZ_CHECK(letter >= QLatin1Char('A') && letter <= QLatin1Char('Z') && d.letter == letter);
    FUZZ_CHECK(d.bytesPerSector > 0 && d.sectorsPerCluster > 0);
    if (d.image.isEmpty()) {
      FUZZ_CHECK(d.hostRoot == QStringLiteral("/machine/drives/") + letter);
    } else {
      // A disk image stays inside the machine folder.
      FUZZ_CHECK(d.hostRoot == QStringLiteral("/machine/image-drives/") + letter && d.type == DriveType::Removable);
      FUZZ_CHECK(d.image.startsWith(QLatin1String("/machine/")) &&
                 !d.image.split(QLatin1Char('/')).contains(QStringLiteral("..")));
    }
    FUZZ_CHECK(d.totalBytes >= 0 && (!d.freeBytes || *d.freeBytes >= 0));
  }
  FUZZ_CHECK(!facts.windowsDirectory.isEmpty() && !facts.systemDirectory.isEmpty());
  return 0;
}
