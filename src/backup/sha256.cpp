// SPDX-License-Identifier: GPL-3.0-or-later
#include "backup/sha256.h"

#include <openssl/evp.h>

#include <QCryptographicHash>

#include <dlfcn.h>

namespace vt::backup {

namespace {

// libcrypto is loaded when the first digest is asked for, not with the program: it is the
// one library the window would otherwise load at every start for a restore it seldom makes.
struct Crypto {
  decltype(&EVP_Digest) digest = nullptr;
  decltype(&EVP_sha256) sha256 = nullptr;
};

const Crypto& crypto() {
  static const Crypto loaded = [] {
    Crypto c;
    void* library = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!library) return c;  // never closed: the functions stay in use
    c.digest = reinterpret_cast<decltype(&EVP_Digest)>(::dlsym(library, "EVP_Digest"));
    c.sha256 = reinterpret_cast<decltype(&EVP_sha256)>(::dlsym(library, "EVP_sha256"));
    if (!c.digest || !c.sha256) c = Crypto{};
    return c;
  }();
  return loaded;
}

}  // namespace

QByteArray sha256(QByteArrayView bytes) {
  const Crypto& c = crypto();
  QByteArray digest(32, Qt::Uninitialized);
  unsigned int length = 0;
  if (c.digest &&
      c.digest(bytes.data(), size_t(bytes.size()), reinterpret_cast<unsigned char*>(digest.data()), &length, c.sha256(),
               nullptr) == 1 &&
      length == 32)
    return digest;
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

}  // namespace vt::backup
