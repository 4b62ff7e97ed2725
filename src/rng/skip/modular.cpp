// Exported modular routines behind skip-ahead and leapfrog, and the matrix-power tables of
// MRG32k3a (computed by repeated squaring when the library is compiled).
#include "rng/skip/modular.h"

#include <array>

#include "zorp/export.h"
#include "zorp/rng.h"

namespace zorp::rng {
namespace {

constexpr std::array<uint32_t, kMrgPowTableSize * 9> pow2_table(const uint32_t c[3], uint32_t m) {
  std::array<uint32_t, kMrgPowTableSize * 9> t{};
  Mat3 a = companion(c);
  for (int k = 0; k < kMrgPowTableSize; ++k) {
    for (int i = 0; i < 9; ++i) t[9 * k + i] = a.v[i];
    a = mat_mul(a, a, m);
  }
  return t;
}

constexpr auto kTableM1 = pow2_table(kMrgC1, kMrgM1);
constexpr auto kTableM2 = pow2_table(kMrgC2, kMrgM2);

Mat3 load(const uint32_t* p) {
  Mat3 a{};
  for (int i = 0; i < 9; ++i) a.v[i] = p[i];
  return a;
}

// x = A^N x where A^(2^k) is table entry k for k < 193; higher bits keep squaring the last entry.
void apply_table(uint32_t x[3], int32_t n, const uint32_t* count, const uint32_t* table, uint32_t m) {
  if (!x || !count || !table || n <= 0) return;
  Mat3 high{};
  int64_t high_k = -1;
  for (int64_t k = 0; k < int64_t{n} * 32; ++k) {
    if (!((count[k >> 5] >> (k & 31)) & 1)) continue;
    if (k < kMrgPowTableSize) {
      mat_apply(load(table + 9 * k), x, m);
      continue;
    }
    if (high_k < 0) {
      high = load(table + 9 * (kMrgPowTableSize - 1));
      high_k = kMrgPowTableSize - 1;
    }
    while (high_k < k) {
      high = mat_mul(high, high, m);
      ++high_k;
    }
    mat_apply(high, x, m);
  }
}

}  // namespace

const uint32_t* mrg_pow2_table_m1() { return kTableM1.data(); }
const uint32_t* mrg_pow2_table_m2() { return kTableM2.data(); }

}  // namespace zorp::rng

using namespace zorp::rng;

extern "C" {

// m = 0 has no residues; it yields 0 rather than a division fault.
ZORP_API uint32_t __tarriPowMod(uint32_t a, uint64_t n, uint32_t m) {
  if (m == 0) return 0;
  uint64_t base = a % m, r = 1 % m;
  while (n) {
    if (n & 1) r = r * base % m;
    base = base * base % m;
    n >>= 1;
  }
  return static_cast<uint32_t>(r);
}

ZORP_API uint64_t __tarriPowMod2P31M1(uint64_t a, uint64_t n) { return pow_m31(a, n); }

ZORP_API uint64_t __tarriPowMod2P59(uint64_t a, uint64_t n) { return pow_2p59(a, n); }

ZORP_API void __tarriVect3PowMod(uint32_t x[3], const uint32_t c[3], uint32_t m, uint64_t n) {
  __tarriVect3PowArrayMod(x, c, m, 1, &n);
}

ZORP_API void __tarriVect3PowArrayMod(uint32_t x[3], const uint32_t c[3], uint32_t m, int32_t n,
                                      const uint64_t* count) {
  if (!x || !c || !count || m == 0 || n <= 0) return;
  Mat3 p = companion(c), r = identity3();
  for (int32_t w = 0; w < n; ++w) {
    uint64_t bits = count[w];
    // The last squarings after the top set bit are never used.
    bool more_words = false;
    for (int32_t v = w + 1; v < n && !more_words; ++v) more_words = count[v] != 0;
    for (int b = 0; b < 64; ++b) {
      if (bits & 1) r = mat_mul(r, p, m);
      bits >>= 1;
      if (!bits && !more_words) break;
      p = mat_mul(p, p, m);
    }
    if (!more_words) break;
  }
  for (int i = 0; i < 3; ++i) x[i] %= m;
  mat_apply(r, x, m);
}

ZORP_API void __tarriVect3PowArrayMod_M1(uint32_t x[3], int32_t n, const uint32_t* count,
                                         const uint32_t* table) {
  apply_table(x, n, count, table, kMrgM1);
}

ZORP_API void __tarriVect3PowArrayMod_M2(uint32_t x[3], int32_t n, const uint32_t* count,
                                         const uint32_t* table) {
  apply_table(x, n, count, table, kMrgM2);
}

}  // extern "C"
