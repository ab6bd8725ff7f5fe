#include "base/crc32.h"

#include <array>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define NURV_CRC_CLMUL 1
// 512-bit folding; not on Windows, where the compiler does not align the stack for spilled
// 512-bit registers.
#if defined(__x86_64__) && !defined(_WIN32)
#define NURV_CRC_VPCLMUL 1
#endif
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
// Folding constants (Intel's "Fast CRC Computation Using PCLMULQDQ"): x^n mod P for the
// bit-reflected polynomial, reflected and shifted left by one. A 128-bit lane moves `bits` further
// on by multiplying its low half with FoldConstant(bits + 32) and its high half with
// FoldConstant(bits - 32).
constexpr std::uint64_t FoldConstant(unsigned n) {
  std::uint64_t remainder = 1;
  for (unsigned i = 0; i < n; ++i) {
    remainder <<= 1;
    if ((remainder & (1ull << 32)) != 0) remainder ^= 0x104C11DB7ull;
  }
  std::uint64_t reflected = 0;
  for (unsigned bit = 0; bit < 32; ++bit) {
    if ((remainder >> bit & 1u) != 0) reflected |= 1ull << (31 - bit);
  }
  return reflected << 1;
}
static_assert(FoldConstant(4 * 128 + 32) == 0x154442BD4ull);
static_assert(FoldConstant(128 - 32) == 0x0CCAA009Eull);

#define NURV_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

NURV_CLMUL_TARGET inline __m128i load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The two constants that move a 128-bit lane `Bits` further on, worked out by the compiler.
template <unsigned Bits>
struct Fold {
  static constexpr auto low = static_cast<long long>(FoldConstant(Bits + 32));
  static constexpr auto high = static_cast<long long>(FoldConstant(Bits - 32));
};

template <unsigned Bits>
NURV_CLMUL_TARGET inline __m128i FoldBy() {
  return _mm_set_epi64x(Fold<Bits>::high, Fold<Bits>::low);
}

// x times the two halves of k, plus the next 16 bytes: one lane moved 128·n bits forward.
NURV_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// One lane `x` standing for everything before `data`: folds in the remaining whole 16-byte
// blocks, reduces to 32 bits by a Barrett reduction and leaves the last bytes to the tables.
NURV_CLMUL_TARGET std::uint32_t FinishLane(__m128i x, const std::uint8_t* data, std::size_t count) {
  constexpr auto kBy64 = static_cast<long long>(FoldConstant(64));
  const __m128i k3k4 = FoldBy<128>();
  const __m128i k5 = _mm_set_epi64x(0, kBy64);
  const __m128i poly_mu = _mm_set_epi64x(0x01F7011641LL, 0x01DB710641LL);
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  while (count >= 16) {
    x = fold(x, k3k4, load(data));
    data += 16;
    count -= 16;
  }
  // 128 → 64 bits, then 64 → 32 bits with 32 zero bits appended.
  x = _mm_xor_si128(_mm_srli_si128(x, 8), _mm_clmulepi64_si128(x, k3k4, 0x10));
  const __m128i low = _mm_and_si128(x, mask32);
  x = _mm_xor_si128(_mm_srli_si128(x, 4), _mm_clmulepi64_si128(low, k5, 0x00));
  // Barrett reduction.
  __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), poly_mu, 0x10);
  t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly_mu, 0x00);
  x = _mm_xor_si128(x, t);
  return UpdateSlicing16(static_cast<std::uint32_t>(_mm_extract_epi32(x, 1)), data, count);
}

// Carry-less multiplication folding: four 128-bit lanes are folded 64 bytes at a time, then into
// one lane. At least 64 bytes.
NURV_CLMUL_TARGET std::uint32_t UpdateClmul(std::uint32_t crc, const std::uint8_t* data,
                                            std::size_t count) {
  const __m128i k1k2 = FoldBy<4 * 128>();
  const __m128i k3k4 = FoldBy<128>();
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
  return FinishLane(x1, data, count);
}

bool HaveClmul() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  return (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
}

const bool kHaveClmul = HaveClmul();

#ifdef NURV_CRC_VPCLMUL
#define NURV_VPCLMUL_TARGET __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

NURV_VPCLMUL_TARGET inline __m512i load512(const std::uint8_t* p) { return _mm512_loadu_si512(p); }

// Lane i of a 512-bit register moves Bits_i further on.
template <unsigned Bits0, unsigned Bits1, unsigned Bits2, unsigned Bits3>
NURV_VPCLMUL_TARGET inline __m512i FoldBy512() {
  return _mm512_set_epi64(Fold<Bits3>::high, Fold<Bits3>::low, Fold<Bits2>::high, Fold<Bits2>::low,
                          Fold<Bits1>::high, Fold<Bits1>::low, Fold<Bits0>::high, Fold<Bits0>::low);
}

// One 128-bit lane of `x` (the masked form: GCC's plain one warns of its own undefined operand).
template <int Lane>
NURV_VPCLMUL_TARGET inline __m128i LaneOf(__m512i x) {
  return _mm512_maskz_extracti32x4_epi32(0xF, x, Lane);
}

NURV_VPCLMUL_TARGET inline __m512i fold512(__m512i x, __m512i k, __m512i next) {
  // 0x96: the exclusive-or of all three operands.
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                   _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

// The same folding four lanes to a register: four registers (256 bytes) at a time, then into one
// register, whose lanes then move on to the last one. At least 256 bytes.
NURV_VPCLMUL_TARGET std::uint32_t UpdateVpclmul(std::uint32_t crc, const std::uint8_t* data,
                                                std::size_t count) {
  const __m512i by_four = FoldBy512<2048, 2048, 2048, 2048>();
  const __m512i by_one = FoldBy512<512, 512, 512, 512>();
  __m512i x0 = _mm512_xor_si512(load512(data), _mm512_maskz_set1_epi32(1, static_cast<int>(crc)));
  __m512i x1 = load512(data + 64);
  __m512i x2 = load512(data + 128);
  __m512i x3 = load512(data + 192);
  data += 256;
  count -= 256;
  while (count >= 256) {
    x0 = fold512(x0, by_four, load512(data));
    x1 = fold512(x1, by_four, load512(data + 64));
    x2 = fold512(x2, by_four, load512(data + 128));
    x3 = fold512(x3, by_four, load512(data + 192));
    data += 256;
    count -= 256;
  }
  x0 = fold512(x0, by_one, x1);
  x0 = fold512(x0, by_one, x2);
  x0 = fold512(x0, by_one, x3);
  while (count >= 64) {
    x0 = fold512(x0, by_one, load512(data));
    data += 64;
    count -= 64;
  }
  // Lanes 0 to 2 move 384, 256 and 128 bits on to lane 3.
  // Lane 3's constants are never used: its own value is taken as it is.
  const __m512i to_last = FoldBy512<384, 256, 128, 128>();
  const __m512i moved = _mm512_xor_si512(_mm512_clmulepi64_epi128(x0, to_last, 0x00),
                                         _mm512_clmulepi64_epi128(x0, to_last, 0x11));
  __m128i lane = _mm_xor_si128(LaneOf<0>(moved), LaneOf<1>(moved));
  lane = _mm_xor_si128(lane, LaneOf<2>(moved));
  lane = _mm_xor_si128(lane, LaneOf<3>(x0));
  return FinishLane(lane, data, count);
}

const bool kHaveVpclmul = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq");
#endif
#endif

}  // namespace

std::uint32_t Crc32UpdateBlock(std::uint32_t crc, const std::uint8_t* data, std::size_t count) {
#ifdef NURV_CRC_VPCLMUL
  if (count >= 1024 && kHaveVpclmul) return UpdateVpclmul(crc, data, count);
#endif
#ifdef NURV_CRC_CLMUL
  if (count >= 256 && kHaveClmul) return UpdateClmul(crc, data, count);
#endif
  return UpdateSlicing16(crc, data, count);
}

std::uint32_t Crc32Update(std::uint32_t crc, const std::uint8_t* data, std::uint16_t count) {
  return Crc32UpdateBlock(crc, data, count);
}

}  // namespace nurv
