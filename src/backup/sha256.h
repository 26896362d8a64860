// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256 of a registry export, as a set's description records it. Qt's own hash takes about
// as long as reading and importing the export together; OpenSSL's uses the processor's SHA
// instructions where it has them. Qt's is the fallback, with the same result.
#include <QByteArray>

namespace vt::backup {

// The 32-byte digest.
QByteArray sha256(QByteArrayView bytes);

}  // namespace vt::backup
