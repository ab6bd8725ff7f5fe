#include "base/crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define NURV_CRC_CLMUL 1
#endif

namespace nurv {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Table k gives the register contribution of a byte followed by k zero bytes, so 16 bytes can
// be folded in with independent lookups (slicing-by-16); table 0 is the standard table.
constexpr std::array<std::array<std::uint32_t, 256>, 16> MakeTables() {
  std::array<std::array<std::uint32_t, 256>, 16> tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kPolynomial : 0u);
    tables[0][i] = crc;
  }
  for (std::size_t k = 1; k < 16; ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t prev = tables[k - 1][i];
      tables[k][i] = (prev >> 8) ^ tables[0][prev & 0xFFu];
    }
  }
  return tables;
}

constexpr auto kTables = MakeTables();
static_assert(kTables[0][1] == 0x77073096u);
static_assert(kTables[0][128] == 0xEDB88320u);
static_assert(kTables[0][255] == 0x2D02EF8Du);

std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint32_t UpdateBytewise(std::uint32_t crc, const std::uint8_t* data, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) crc = (crc >> 8) ^ kTables[0][(crc ^ data[i]) & 0xFFu];
  return crc;
}

std::uint32_t UpdateSlicing16(std::uint32_t crc, const std::uint8_t* data, std::size_t count) {
  const auto& t = kTables;
  while (count >= 16) {
    const std::uint32_t a = Load32(data) ^ crc;
    const std::uint32_t b = Load32(data + 4);
    const std::uint32_t c = Load32(data + 8);
    const std::uint32_t d = Load32(data + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    data += 16;
    count -= 16;
  }
  return UpdateBytewise(crc, data, count);
}

#ifdef NURV_CRC_CLMUL
#define NURV_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

NURV_CLMUL_TARGET inline __m128i load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x times the two halves of k, plus the next 16 bytes: one lane moved 128·n bits forward.
NURV_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Carry-less multiplication folding (Intel's "Fast CRC Computation Using PCLMULQDQ"): four
// 128-bit lanes are folded 64 bytes at a time, then into one lane, then reduced to 32 bits by a
// Barrett reduction. The constants are x^k mod P for the bit-reflected polynomial.
NURV_CLMUL_TARGET std::uint32_t UpdateClmul(std::uint32_t crc, const std::uint8_t* data,
                                            std::size_t count) {
  const __m128i k1k2 = _mm_set_epi64x(0x01C6E41596LL, 0x0154442BD4LL);
  const __m128i k3k4 = _mm_set_epi64x(0x00CCAA009ELL, 0x01751997D0LL);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163CD6124LL);
  const __m128i poly_mu = _mm_set_epi64x(0x01F7011641LL, 0x01DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);

  __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(data + 16);
  __m128i x3 = load(data + 32);
  __m128i x4 = load(data + 48);
  data += 64;
  count -= 64;
  while (count >= 64) {
    x1 = fold(x1, k1k2, load(data));
    x2 = fold(x2, k1k2, load(data + 16));
    x3 = fold(x3, k1k2, load(data + 32));
    x4 = fold(x4, k1k2, load(data + 48));
    data += 64;
    count -= 64;
  }
  x1 = fold(x1, k3k4, x2);
  x1 = fold(x1, k3k4, x3);
  x1 = fold(x1, k3k4, x4);
  while (count >= 16) {
    x1 = fold(x1, k3k4, load(data));
    data += 16;
    count -= 16;
  }
  // 128 → 64 bits, then 64 → 32 bits with 32 zero bits appended.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  __m128i low = _mm_and_si128(x1, mask32);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(low, k5, 0x00));
  // Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), poly_mu, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly_mu, 0x00);
  x1 = _mm_xor_si128(x1, t);
  crc = static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
  return UpdateSlicing16(crc, data, count);
}

bool HaveClmul() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

const bool kHaveClmul = HaveClmul();
#endif

}  // namespace

std::uint32_t Crc32UpdateBlock(std::uint32_t crc, const std::uint8_t* data, std::size_t count) {
#ifdef NURV_CRC_CLMUL
  if (count >= 256 && kHaveClmul) return UpdateClmul(crc, data, count);
#endif
  return UpdateSlicing16(crc, data, count);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::uint16_t count) {
  return Crc32UpdateBlock(crc, data, count);
}

}  // namespace nurv
