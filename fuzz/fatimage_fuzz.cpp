// SPDX-License-Identifier: GPL-3.0-or-later
// Disk images: the partition table, boot sector and FAT of an image are checked before
// mtools sees it; whatever the bytes, the check ends, and what it accepts lies inside the
// image and adds up.
#include "fuzzcheck.h"
#include "platform/fat/fatimage.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vt;
  if (size < 1) return 0;
  // The first byte picks the partition asked for (0: the first FAT one).
  const int partition = data[0] % 5;
  QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  QBuffer image(&bytes);
  image.open(QIODevice::ReadOnly);
  QString why;
  const auto v = fat::inspect(image, partition, &why);
  if (!v) {
    FUZZ_CHECK(!why.isEmpty());
    return 0;
  }
  FUZZ_CHECK(partition == 0 || v->partition == partition);
  FUZZ_CHECK(v->offset >= 0 && v->size > 0 && v->offset + v->size <= bytes.size());
  FUZZ_CHECK(v->fatBits == 12 || v->fatBits == 16 || v->fatBits == 32);
  FUZZ_CHECK(v->clusters > 0 && v->freeClusters <= v->clusters);
  FUZZ_CHECK(v->totalBytes() <= v->size);
  return 0;
}
