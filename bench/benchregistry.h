// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The registry the registry benches measure: a machine-sized HKEY_LOCAL_MACHINE of a given
// number of values, the same on every run.
#include "platform/registry.h"

#include <QByteArray>
#include <QtEndian>

#include <algorithm>

namespace bench {

using vt::RegKey;

struct Rng {
  quint32 state = 0x1995u;
  quint32 next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  int below(int n) { return int(next() % quint32(n)); }
};

inline QByteArray hex(quint32 v, int digits) { return QByteArray::number(v, 16).toUpper().rightJustified(digits, '0'); }

inline QByteArray guid(Rng& r) {
  return "{" + hex(r.next(), 8) + "-" + hex(r.next() & 0xFFFF, 4) + "-" + hex(r.next() & 0xFFFF, 4) + "-" +
         hex(r.next() & 0xFFFF, 4) + "-" + hex(r.next(), 6) + hex(r.next(), 6) + "}";
}

// Fills a key with a few values of the usual kinds: mostly strings, then DWORDs, then
// binary blobs.
inline int fillValues(RegKey* k, Rng& r, int budget) {
  const int count = std::min(budget, 1 + r.below(15));
  for (int i = 0; i < count; ++i) {
    const QByteArray name = i == 0 ? QByteArray() : "Value" + QByteArray::number(i);
    const int kind = r.below(20);
    if (kind < 12) {
      k->setValue(name, vt::RegSz, "C:\\WINDOWS\\SYSTEM\\file" + QByteArray::number(r.below(100000)) + ".dll");
    } else if (kind < 17) {
      QByteArray d(4, '\0');
      qToLittleEndian(r.next(), d.data());
      k->setValue(name, vt::RegDword, d);
    } else {
      QByteArray d(4 + r.below(60), '\0');
      for (char& c : d) c = char(r.next());
      k->setValue(name, vt::RegBinary, d);
    }
  }
  return count;
}

// A machine-sized HKEY_LOCAL_MACHINE: file types and classes, device enumeration,
// services and software settings.
inline void buildMachine(RegKey& hklm, int values) {
  Rng r;
  int left = values, n = 0;
  while (left > 0) {
    RegKey* k = nullptr;
    switch (n++ % 5) {
      case 0: k = hklm.createPath("SOFTWARE\\Classes\\.x" + QByteArray::number(n)); break;
      case 1: k = hklm.createPath("SOFTWARE\\Classes\\CLSID\\" + guid(r) + "\\InprocServer32"); break;
      case 2:
        k = hklm.createPath("Enum\\PCI\\VEN_" + hex(r.below(0x10000), 4) + "&DEV_" + hex(r.below(0x10000), 4) + "\\BUS_00&DEV_" +
                            hex(n % 32, 2));
        break;
      case 3: k = hklm.createPath("System\\CurrentControlSet\\Services\\Class\\Net\\" + hex(n, 4)); break;
      default:
        k = hklm.createPath("SOFTWARE\\Vendor" + QByteArray::number(n % 300) + "\\Product\\" + QByteArray::number(n) +
                            "\\Settings");
    }
    left -= fillValues(k, r, left);
  }
}

}  // namespace bench
