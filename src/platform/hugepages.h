// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A buffer of many megabytes (a registry file, its export) is filled page by page, and each
// page's first touch costs a fault; in pages of 2 MiB that is a five-hundredth of the
// faults. Asked for where the host allows it; elsewhere nothing changes.
#include <QByteArray>

#include <sys/mman.h>

namespace vt {

inline void adviseHugePages(QByteArray& buffer) {
  constexpr quintptr kHuge = 2 << 20;
  if (buffer.size() < qsizetype(2 * kHuge)) return;
  const auto begin = (reinterpret_cast<quintptr>(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
  const auto end = (reinterpret_cast<quintptr>(buffer.data()) + quintptr(buffer.size())) & ~(kHuge - 1);
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace vt
