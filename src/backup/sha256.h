#pragma once
// SHA-256 of a registry export, as a set's description records it. Qt's own hash takes about
// as long as reading and importing the export together; where the processor has the SHA
// instructions this uses them, and Qt's hash otherwise, with the same result.
#include <QByteArray>

namespace vt::backup {

// The 32-byte digest.
QByteArray sha256(QByteArrayView bytes);

}  // namespace vt::backup
