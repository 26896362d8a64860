// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/sha256.h"

#include <openssl/evp.h>

#include <QCryptographicHash>

namespace vt::backup {

QByteArray sha256(QByteArrayView bytes) {
  QByteArray digest(32, Qt::Uninitialized);
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), size_t(bytes.size()), reinterpret_cast<unsigned char*>(digest.data()), &length, EVP_sha256(),
                 nullptr) == 1 &&
      length == 32)
    return digest;
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

}  // namespace vt::backup
