// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/sha256.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

namespace vt::backup {
namespace {

// Every length around the one- and two-block padding edges, and a large export, give the
// digest Qt's own hash gives.
TEST(Sha256, GivesQtsDigestForEveryPaddingCase) {
  EXPECT_EQ(sha256("abc").toHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
  quint32 x = 1995;
  for (char& c : data) c = char((x = x * 1664525u + 1013904223u) >> 24);
  for (const qsizetype n :
       std::initializer_list<qsizetype>{0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 129, 1000, data.size()}) {
    const QByteArrayView part = QByteArrayView(data).first(n);
    EXPECT_EQ(sha256(part).toHex(), QCryptographicHash::hash(part, QCryptographicHash::Sha256).toHex()) << n;
  }
}

}  // namespace
}  // namespace vt::backup
