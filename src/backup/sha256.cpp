#include "backup/sha256.h"

#include <QCryptographicHash>

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#include <immintrin.h>
#define VT_SHA_INSTRUCTIONS 1
#endif

namespace vt::backup {

#ifdef VT_SHA_INSTRUCTIONS
namespace {

alignas(16) constexpr quint32 kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, 0xd807aa98, 0x12835b01,
    0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc,
    0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147,
    0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116, 0x1e376c08,
    0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3, 0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208,
    0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

bool haveShaInstructions() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return ssse3 && sse41 && (b & (1u << 29));
}

// `blocks` blocks of 64 bytes into `state` (a to h).
__attribute__((target("sha,sse4.1,ssse3"))) void compress(quint32 state[8], const uchar* data, qsizetype blocks) {
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  // The instructions keep the state as ABEF and CDGH.
  __m128i t = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
  __m128i s1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
  __m128i s0 = _mm_alignr_epi8(t, s1, 8);
  s1 = _mm_blend_epi16(s1, t, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef = s0, cdgh = s1;
    __m128i m[4];
    for (int g = 0; g < 16; ++g) {
      if (g < 4) m[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), byteSwap);
      __m128i msg = _mm_add_epi32(m[g & 3], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
      s1 = _mm_sha256rnds2_epu32(s1, s0, msg);
      if (g >= 3 && g < 15) {
        __m128i& next = m[(g + 1) & 3];
        next = _mm_sha256msg2_epu32(_mm_add_epi32(next, _mm_alignr_epi8(m[g & 3], m[(g - 1) & 3], 4)), m[g & 3]);
      }
      msg = _mm_shuffle_epi32(msg, 0x0E);
      s0 = _mm_sha256rnds2_epu32(s0, s1, msg);
      if (g >= 1 && g < 13) m[(g - 1) & 3] = _mm_sha256msg1_epu32(m[(g - 1) & 3], m[g & 3]);
    }
    s0 = _mm_add_epi32(s0, abef);
    s1 = _mm_add_epi32(s1, cdgh);
  }
  t = _mm_shuffle_epi32(s0, 0x1B);
  s1 = _mm_shuffle_epi32(s1, 0xB1);
  s0 = _mm_blend_epi16(t, s1, 0xF0);
  s1 = _mm_alignr_epi8(s1, t, 8);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), s0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), s1);
}

QByteArray withInstructions(QByteArrayView bytes) {
  quint32 state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  const auto* data = reinterpret_cast<const uchar*>(bytes.data());
  const qsizetype whole = bytes.size() / 64;
  compress(state, data, whole);
  // The rest, the 0x80 mark and the length in bits fill one or two last blocks.
  uchar last[128] = {};
  const qsizetype rest = bytes.size() - whole * 64;
  if (rest) std::memcpy(last, data + whole * 64, size_t(rest));
  last[rest] = 0x80;
  const qsizetype tail = rest + 9 <= 64 ? 64 : 128;
  const quint64 bits = quint64(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) last[tail - 1 - i] = uchar(bits >> (8 * i));
  compress(state, last, tail / 64);
  QByteArray digest(32, Qt::Uninitialized);
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = char(state[i] >> (24 - 8 * j));
  return digest;
}

}  // namespace
#endif

QByteArray sha256(QByteArrayView bytes) {
#ifdef VT_SHA_INSTRUCTIONS
  static const bool instructions = haveShaInstructions();
  if (instructions) return withInstructions(bytes);
#endif
  return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

}  // namespace vt::backup
