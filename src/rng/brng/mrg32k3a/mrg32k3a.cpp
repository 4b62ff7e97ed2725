// MRG32k3a: two third-order recurrences modulo m1 = 2^32 - 209 and m2 = 2^32 - 22853, combined
// as z = y1 - y2 (mod m1, in 1 .. m1). Each call advances first and writes the value produced.
//
// Vector loop: eight consecutive values of each component per block. The first block comes from
// the three state words through the last rows of A, A^2, .. A^8, the second through the last row
// of A^8; after that every value x[s] is the last row of A^16 applied to (x[s-18], x[s-17],
// x[s-16]), lanes of the blocks two and three back, so two blocks are computed at a time. All
// arithmetic is exact modular arithmetic, so the output equals the scalar recurrence.
#include <array>

#include "rng/brng/adaptor.h"
#include "rng/skip/modular.h"

namespace zorp::rng {
namespace {

struct State {
  uint32_t x1[3];  // x1[n-3], x1[n-2], x1[n-1]
  uint32_t x2[3];
};

// Real outputs scale by 1/m1 (bits 0x3DF000000D10000B) in both precisions; the single-precision
// factor is formed in double and rounded.
struct Mrg32k3aRecord {
  static constexpr brng::Scale kScale{1.0 / 4294967087.0, 0.0f, brng::Single::kRoundedDouble, false};
  static int32_t seed(StreamState* s, int32_t n, const uint32_t* params);
  static int32_t skip(StreamState* s, uint64_t N);
  static int32_t skip_ex(StreamState* s, int32_t n, const uint32_t* params);
  template <class Emit>
  static int32_t run(StreamState* s, int32_t n, Emit&& emit);
};

// Coefficients of one component: lane j of first[i] multiplies x[i - 3] to give x[j]; step8[i]
// multiplies x[s - 10 + i] to give x[s] (last row of A^8), step16[i] multiplies x[s - 18 + i]
// (last row of A^16).
struct Coeffs {
  uint64_t first[3][8];
  uint64_t step8[3];
  uint64_t step16[3];
};

constexpr Coeffs make_coeffs(const uint32_t c[3], uint32_t m) {
  Coeffs k{};
  const Mat3 a = companion(c);
  Mat3 p = a;
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 3; ++i) k.first[i][j] = p.v[6 + i];
    if (j < 7) p = mat_mul(p, a, m);
  }
  const Mat3 p16 = mat_mul(p, p, m);
  for (int i = 0; i < 3; ++i) {
    k.step8[i] = p.v[6 + i];
    k.step16[i] = p16.v[6 + i];
  }
  return k;
}

constexpr Coeffs kCoeff1 = make_coeffs(kMrgC1, kMrgM1);
constexpr Coeffs kCoeff2 = make_coeffs(kMrgC2, kMrgM2);

// (c0 u + c1 v + c2 w) mod m for lanes below 2^32, with m = 2^32 - d: fold each product with
// 2^32 = d (mod m) and sum (below 3 * 2^32 * (d + 1)); one more fold leaves less than 2^32 + 2^31
// for both moduli (d <= 22853), so a single conditional subtraction of m finishes.
using simd::iadd;
using simd::u64_mul_low32;  // 64-bit lanes: vec.h integer names take double as the lane width

template <uint32_t D>
inline __m512i fold(__m512i p) {
  const __m512i lo = simd::isplat<double>(0xFFFFFFFFu);
  return iadd<double>(simd::bit_and(p, lo), u64_mul_low32(simd::shift_right<32, double>(p), simd::isplat<double>(D)));
}
template <uint32_t D>
inline __m512i mulsum(__m512i u, __m512i c0, __m512i v, __m512i c1, __m512i w, __m512i c2) {
  const __m512i m = simd::isplat<double>((uint64_t{1} << 32) - D);
  __m512i s = iadd<double>(fold<D>(u64_mul_low32(u, c0)), fold<D>(u64_mul_low32(v, c1)));
  s = iadd<double>(s, fold<D>(u64_mul_low32(w, c2)));
  s = fold<D>(s);
  return simd::u64_min(s, simd::u64_sub(s, m));
}

constexpr uint32_t kD1 = 209, kD2 = 22853;

// Three consecutive blocks b0, b1, b2 of one component. The next two blocks are each a function
// of two neighbouring blocks through A^16 (b3 from b0, b1; b4 from b1, b2), so the two
// dependency chains run side by side.
struct Component {
  __m512i b0, b1, b2;
};

// The block whose values follow the lanes of (lo, hi) by a fixed distance, given as the last row k
// of the matching power of A: x[s] = k0 x[s-d-2] + k1 x[s-d-1] + k2 x[s-d], x[s-d] in lane j of hi.
template <uint32_t D>
inline __m512i advance(__m512i lo, __m512i hi, const __m512i k[3]) {
  return mulsum<D>(simd::lanes_from<6, double>(lo, hi), k[0], simd::lanes_from<7, double>(lo, hi), k[1], hi, k[2]);
}

inline __m512i bcast(uint64_t v) { return simd::isplat<double>(v); }

// b0 holds the three state words in lanes 5..7 (the values before the first output), b1 the first
// eight outputs, b2 the next eight.
template <uint32_t D>
inline Component start(const uint32_t x[3], const Coeffs& k) {
  Component c;
  c.b0 = simd::u64_lanes(0, 0, 0, 0, 0, x[0], x[1], x[2]);
  c.b1 = mulsum<D>(bcast(x[0]), simd::load(k.first[0]), bcast(x[1]), simd::load(k.first[1]), bcast(x[2]),
                   simd::load(k.first[2]));
  const __m512i k8[3] = {bcast(k.step8[0]), bcast(k.step8[1]), bcast(k.step8[2])};
  c.b2 = advance<D>(c.b0, c.b1, k8);
  return c;
}

template <uint32_t D>
inline void next_pair(Component& c, const __m512i k16[3]) {
  const __m512i b3 = advance<D>(c.b0, c.b1, k16);
  const __m512i b4 = advance<D>(c.b1, c.b2, k16);
  c.b0 = c.b2;
  c.b1 = b3;
  c.b2 = b4;
}

// The state after the last output: the three values ending at lane r - 1 of `last`.
inline void save_tail(__m512i before, __m512i last, int32_t r, uint32_t x[3]) {
  alignas(64) uint64_t buf[16];
  simd::store(buf, before);
  simd::store(buf + 8, last);
  for (int i = 0; i < 3; ++i) x[i] = static_cast<uint32_t>(buf[8 + r - 3 + i]);
}

inline __m512i combine(__m512i y1, __m512i y2) {
  const __m512i d = simd::u64_sub(y1, y2);
  return iadd<double>(simd::u64_less_equal(y1, y2), d, kMrgM1);
}

// The block step: blocks of eight outputs z in 1 .. m1, one per 64-bit lane.
template <class Emit>
int32_t Mrg32k3aRecord::run(StreamState* s, int32_t n, Emit&& emit) {
  if (n <= 0) return TARR_STATUS_OK;
  State& st = *state_of<State>(s);
  const __m512i k1[3] = {bcast(kCoeff1.step16[0]), bcast(kCoeff1.step16[1]), bcast(kCoeff1.step16[2])};
  const __m512i k2[3] = {bcast(kCoeff2.step16[0]), bcast(kCoeff2.step16[1]), bcast(kCoeff2.step16[2])};
  Component c1 = start<kD1>(st.x1, kCoeff1);
  Component c2 = start<kD2>(st.x2, kCoeff2);
  int32_t i = 0;
  for (;;) {
    int32_t count = n - i < 8 ? n - i : 8;
    emit(i, brng::Lanes64{combine(c1.b1, c2.b1)}, count);
    i += count;
    if (i == n) {
      save_tail(c1.b0, c1.b1, count, st.x1);
      save_tail(c2.b0, c2.b1, count, st.x2);
      return TARR_STATUS_OK;
    }
    count = n - i < 8 ? n - i : 8;
    emit(i, brng::Lanes64{combine(c1.b2, c2.b2)}, count);
    i += count;
    if (i == n) {
      save_tail(c1.b1, c1.b2, count, st.x1);
      save_tail(c2.b1, c2.b2, count, st.x2);
      return TARR_STATUS_OK;
    }
    next_pair<kD1>(c1, k1);
    next_pair<kD2>(c2, k2);
  }
}

int32_t Mrg32k3aRecord::seed(StreamState* s, int32_t n, const uint32_t* params) {
  State& st = *state_of<State>(s);
  uint32_t w[6] = {1, 1, 1, 1, 1, 1};
  const int32_t k = params ? (n < 6 ? n : 6) : 0;
  for (int32_t i = 0; i < k; ++i) w[i] = params[i];
  for (int i = 0; i < 3; ++i) {
    st.x1[i] = w[i] >= kMrgM1 ? w[i] - kMrgM1 : w[i];
    st.x2[i] = w[3 + i] >= kMrgM2 ? w[3 + i] - kMrgM2 : w[3 + i];
  }
  if ((st.x1[0] | st.x1[1] | st.x1[2]) == 0) st.x1[0] = 1;
  if ((st.x2[0] | st.x2[1] | st.x2[2]) == 0) st.x2[0] = 1;
  return TARR_STATUS_OK;
}

int32_t Mrg32k3aRecord::skip(StreamState* s, uint64_t N) {
  State& st = *state_of<State>(s);
  __tarriVect3PowMod(st.x1, kMrgC1, kMrgM1, N);
  __tarriVect3PowMod(st.x2, kMrgC2, kMrgM2, N);
  return TARR_STATUS_OK;
}

// Counts of more than three words with a non-zero word from the fourth on go through the general
// square-and-multiply; shorter counts use the stored powers A^(2^k) (counts below 2^192).
int32_t Mrg32k3aRecord::skip_ex(StreamState* s, int32_t n, const uint32_t* params) {
  if (!params || n <= 0) return TARR_STATUS_OK;
  State& st = *state_of<State>(s);
  const auto* words = reinterpret_cast<const uint64_t*>(params);
  bool high = false;
  for (int32_t i = 3; i < n; ++i) high |= words[i] != 0;
  if (high) {
    __tarriVect3PowArrayMod(st.x1, kMrgC1, kMrgM1, n, words);
    __tarriVect3PowArrayMod(st.x2, kMrgC2, kMrgM2, n, words);
    return TARR_STATUS_OK;
  }
  const int32_t n32 = 2 * (n < 3 ? n : 3);
  __tarriVect3PowArrayMod_M1(st.x1, n32, params, mrg_pow2_table_m1());
  __tarriVect3PowArrayMod_M2(st.x2, n32, params, mrg_pow2_table_m2());
  return TARR_STATUS_OK;
}

}  // namespace
}  // namespace zorp::rng

ZORP_BRNG_ENTRIES(MRG32K3A, zorp::rng::Mrg32k3aRecord)
