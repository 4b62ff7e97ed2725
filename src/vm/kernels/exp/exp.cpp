// e^x in single and double precision, three accuracy variants each.
//
// All variants write x/ln2 = k on a grid of 2^-b: one fused multiply-add rounded toward zero
// adds a shifter 1.5 * 2^(p-b) so that t's low b bits are the grid index and k = t - shifter is
// x/ln2 floored onto the grid (no conversion instruction). 2^(grid fraction) comes from an
// in-register table, e^r for the small remainder r = x - k*ln2 from a short polynomial, and
// 2^floor(k) from the scale instruction, which overflows to infinity and underflows gradually
// on its own. Lanes with |x| at or above the fast-path bound go to the callout.
#include <cmath>
#include <cstring>
#include <limits>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/exp/generated/exp_tables.inc"
#include "vm/kernels/exp/scalar.h"
#include "simd/vec.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using expscalar::from_bits;
using expscalar::from_bits32;

inline __m512 fconst(uint32_t b) { return _mm512_set1_ps(from_bits32(b)); }
inline __m512d dconst(uint64_t b) { return _mm512_set1_pd(from_bits(b)); }

constexpr uint32_t kInvLn2F = 0x3FB8AA3B;
constexpr uint32_t kLn2HiF = 0x3F317218;
constexpr uint32_t kLn2LoF = 0xB102E308;
constexpr float kBoundF = 87.33654022216797f;  // ln 2^126

constexpr uint64_t kInvLn2D = 0x3FF71547652B82FEull;
constexpr uint64_t kLn2HiD = 0x3FE62E42FEFA39EFull;
constexpr uint64_t kLn2LoD = 0x3C7ABC9E3B39803Full;
constexpr uint64_t kShifterD = 0x42F8000000003FF0ull;  // 1.5*2^48, 4 fraction bits
constexpr double kBoundD = 707.7032713517042;           // ln 2^1021

// ---- callouts --------------------------------------------------------------------------
// Special results shared by every variant; returns true with *r and status set when x is one.
inline bool exp_special_f(float x, float* r, int& status) {
  status = 0;
  if (std::isnan(x)) { *r = x + x; return true; }
  if (x == std::numeric_limits<float>::infinity()) { *r = x; return true; }
  if (x == -std::numeric_limits<float>::infinity()) { *r = 0.0f; return true; }
  if (x > 88.72283172607422f) { *r = std::numeric_limits<float>::infinity(); status = 3; return true; }
  if (x < -103.97207641601562f) { *r = 0.0f; status = 4; return true; }
  return false;
}
inline int underflow_status_f(float x) { return x < -87.33654022216797f ? 4 : 0; }

// LA and EP: the wider path stays in single precision: n = round(x/ln2), ln2 in two parts,
// a degree-5 polynomial whose two leading coefficients sit one unit above 1.
int exp_callout_la_ep(const float* a, float* r) {
  const float x = *a;
  int status;
  if (exp_special_f(x, r, status)) return status;
  const float shifter = 12582912.0f;
  const float n = (x * from_bits32(kInvLn2F) + shifter) - shifter;
  float t = std::fma(n, from_bits32(0xBF317200), x);
  t = std::fma(n, from_bits32(0xB5BFBE8E), t);
  const float c01 = from_bits32(0x3F800001);
  float p = 0.008381112478673458f;
  p = std::fma(p, t, 0.041917525231838226f);
  p = std::fma(p, t, 0.166663259267807f);
  p = std::fma(p, t, 0.49998870491981506f);
  p = std::fma(p, t, c01);
  p = std::fma(p, t, c01);
  const int ni = static_cast<int>(n);
  float y;
  if (ni < -100)  // subnormal result: one rounding, at the final multiplication
    y = (p * from_bits32(static_cast<uint32_t>(ni + 60 + 127) << 23)) * from_bits32(0x21800000);
  else if (ni + 127 > 254)
    y = (p * from_bits32(static_cast<uint32_t>(ni - 1 + 127) << 23)) * 2.0f;
  else
    y = p * from_bits32(static_cast<uint32_t>(ni + 127) << 23);
  *r = y;
  return underflow_status_f(x);
}

// HA: double precision, n = round(64x/ln2), 64-entry table of 2^(i/64) in two parts. The double
// result is normal over the whole single-precision range, so the conversion rounds once.
int exp_callout_ha(const float* a, float* r) {
  const float x = *a;
  int status;
  if (exp_special_f(x, r, status)) return status;
  const double xd = x;
  const double shifter = 6755399441055744.0;  // 1.5*2^52
  const double n = (xd * (64.0 * from_bits(kInvLn2D)) + shifter) - shifter;
  double t = std::fma(n, from_bits(0xBF862E42FEFA0000ull), xd);
  t = std::fma(n, from_bits(0xBD1CF79ABC9E3B3Aull), t);
  double p = 0.0013888870459233254;
  p = std::fma(p, t, 0.008333341995140497);
  p = std::fma(p, t, 0.04166666666677052);
  p = std::fma(p, t, 0.1666666666665788);
  p = std::fma(p, t, 0.5);
  p = std::fma(p, t * t, t);
  const int ni = static_cast<int>(n);
  const int i = ni & 63, m = ni >> 6;
  const double h = exptab::kH64[i];
  const double y = h + std::fma(h, p, exptab::kL64[i]);
  *r = static_cast<float>(y * expscalar::pow2(m));
  return underflow_status_f(x);
}

int exp_callout_d(const double* a, double* r) {
  const double x = *a;
  if (std::isnan(x)) { *r = x + x; return 0; }
  if (x == std::numeric_limits<double>::infinity()) { *r = x; return 0; }
  if (x == -std::numeric_limits<double>::infinity()) { *r = 0.0; return 0; }
  if (x > 709.782712893384) { *r = std::numeric_limits<double>::infinity(); return 3; }
  if (x < -745.1332191019411) { *r = 0.0; return 4; }
  int m;
  const double y = expscalar::exp_parts(x, m);
  *r = expscalar::scale_once(y, m);
  return x < -708.3964185322641 ? 4 : 0;
}

// ---- single precision -----------------------------------------------------------------------
// LA: 10 index bits, 2^(j/1024) = F[j & 31] * C[j >> 5] (two-register permutes), degree-1
// polynomial. F sits one unit high to offset the always-negative error of 1 + r; it is left out
// where x = 0 so that e^0 stays exactly 1.
struct ExpLaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, _mm512_set1_ps(kBoundF));
    const __m512 shifter = _mm512_set1_ps(12288.0f);
    const __m512 t = fma_toward_zero(x, fconst(kInvLn2F), shifter);
    const __m512 k = _mm512_sub_ps(t, shifter);
    const __m512i j = bits(t);
    const __m512 f = lookup(j, exptab::kF1024Up);
    const __m512 c = lookup(_mm512_srli_epi32(j, 5), exptab::kC32);
    const __m512 tab = _mm512_mask_mul_ps(c, not_equal(x, _mm512_setzero_ps()), c, f);
    __m512 r = fma_quiet(k, fconst(kLn2HiF ^ 0x80000000u), x);
    r = fma_quiet(k, fconst(kLn2LoF ^ 0x80000000u), r);
    r = _mm512_mask_mov_ps(r, abs_greater(r, _mm512_set1_ps(0.5f)), _mm512_set1_ps(0.5f));
    return scale_by_pow2(fma_quiet(tab, r, tab), k);
  }
  static int callout(const float* a, float* r) { return exp_callout_la_ep(a, r); }
};

// HA: 5 index bits, table pairs (high, relative low), degree-3 polynomial, and the scale applied
// before the last multiply-add so that the result is rounded once.
struct ExpHaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, _mm512_set1_ps(kBoundF));
    const __m512 shifter = _mm512_set1_ps(393216.0f);
    const __m512 t = fma_toward_zero(x, fconst(kInvLn2F), shifter);
    const __m512 k = _mm512_sub_ps(t, shifter);
    const __m512i j = bits(t);
    const __m512 h = lookup(j, exptab::kH32);
    const __m512 l = lookup(j, exptab::kL32Rel);
    __m512 r = fma_quiet(k, fconst(kLn2HiF ^ 0x80000000u), x);
    r = fma_quiet(k, fconst(kLn2LoF ^ 0x80000000u), r);
    r = clear_bits(r, 0x40000000u);
    const __m512 p = fma_quiet(_mm512_set1_ps(0.16667155921459198f), r, _mm512_set1_ps(0.5000146627426147f));
    const __m512 q = fma_quiet(mul_quiet(r, r), p, add_quiet(r, l));
    const __m512 hs = scale_by_pow2(h, k);
    return fma_quiet(hs, q, hs);
  }
  static int callout(const float* a, float* r) { return exp_callout_ha(a, r); }
};

// EP: 14 index bits and no polynomial: 2^(j/16384) = A[j & 15] * B[(j >> 4) & 31] * C[j >> 9].
struct ExpEpF : Kernel<float, 16> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, _mm512_set1_ps(kBoundF));
    const __m512 shifter = _mm512_set1_ps(768.0f);
    const __m512 t = fma_toward_zero(x, fconst(kInvLn2F), shifter);
    const __m512 k = _mm512_sub_ps(t, shifter);
    const __m512i j = bits(t);
    const __m512 a = lookup(j, exptab::kA16384);
    const __m512 b = lookup(_mm512_srli_epi32(j, 4), exptab::kF1024);
    const __m512 c = lookup(_mm512_srli_epi32(j, 9), exptab::kC32);
    return scale_by_pow2(mul_quiet(mul_quiet(a, b), c), k);
  }
  static int callout(const float* a, float* r) { return exp_callout_la_ep(a, r); }
};

// ---- double precision -----------------------------------------------------------------------
// 4 index bits; the 16-entry table lives in two registers. Returns k and the table index image.
inline __m512d grid_d(__m512d x, __m512i& idx) {
  const __m512d shifter = dconst(kShifterD);
  const __m512d t = fma_toward_zero(x, dconst(kInvLn2D), shifter);
  idx = bits(t);
  return _mm512_sub_pd(t, shifter);
}

// r = x - k*ln2 with ln2 in two parts (the LA and HA kernels); bit 62 of r is cleared as in the
// one-part reduction of EP.
inline __m512d reduce_two_step_d(__m512d x, __m512d k) {
  __m512d r = fma_quiet(k, dconst(kLn2HiD ^ (1ull << 63)), x);
  r = fma_quiet(k, dconst(kLn2LoD ^ (1ull << 63)), r);
  return clear_bits(r, 1ull << 62);
}

// LA: degree-6 polynomial for e^r - 1, result T + T*q.
struct ExpLaD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, _mm512_set1_pd(kBoundD));
    __m512i idx;
    const __m512d k = grid_d(x, idx);
    const __m512d tab = lookup(idx, exptab::kH16);
    const __m512d r = reduce_two_step_d(x, k);
    __m512d p = _mm512_set1_pd(0.0014149452874381984);
    p = fma_quiet(p, r, _mm512_set1_pd(0.008332058899382488));
    p = fma_quiet(p, r, _mm512_set1_pd(0.041666695348322125));
    p = fma_quiet(p, r, _mm512_set1_pd(0.16666666637508337));
    p = fma_quiet(p, r, _mm512_set1_pd(0.5000000000010838));
    const __m512d q = fma_quiet(p, mul_quiet(r, r), r);
    return scale_by_pow2(fma_quiet(tab, q, tab), k);
  }
  static int callout(const double* a, double* r) { return exp_callout_d(a, r); }
};

// HA: table pairs (high, relative low), the low part folded into the polynomial.
struct ExpHaD : Kernel<double, 16> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, _mm512_set1_pd(kBoundD));
    __m512i idx;
    const __m512d k = grid_d(x, idx);
    const __m512d h = lookup(idx, exptab::kH16);
    const __m512d l = lookup(idx, exptab::kL16Rel);
    const __m512d r = reduce_two_step_d(x, k);
    __m512d p = _mm512_set1_pd(0.0014193283516881214);
    p = fma_quiet(p, r, _mm512_set1_pd(0.008331512908898442));
    p = fma_quiet(p, r, _mm512_set1_pd(0.0416667205488057));
    p = fma_quiet(p, r, _mm512_set1_pd(0.1666666658485894));
    p = fma_quiet(p, r, _mm512_set1_pd(0.5000000000059126));
    p = fma_quiet(p, r, _mm512_set1_pd(0.999999999999984));
    const __m512d q = fma_quiet(p, r, l);
    return scale_by_pow2(fma_quiet(h, q, h), k);
  }
  static int callout(const double* a, double* r) { return exp_callout_d(a, r); }
};

// EP: one-part ln2 and a degree-3 polynomial.
struct ExpEpD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, _mm512_set1_pd(kBoundD));
    __m512i idx;
    const __m512d k = grid_d(x, idx);
    const __m512d tab = lookup(idx, exptab::kH16);
    __m512d r = fma_quiet(k, dconst(kLn2HiD ^ (1ull << 63)), x);
    r = clear_bits(r, 1ull << 62);
    __m512d p = _mm512_set1_pd(0.17032218485319242);
    p = fma_quiet(p, r, _mm512_set1_pd(0.4999005827986578));
    p = fma_quiet(p, r, _mm512_set1_pd(1.000000863624094));
    const __m512d q = mul_quiet(p, r);
    return scale_by_pow2(fma_quiet(tab, q, tab), k);
  }
  static int callout(const double* a, double* r) { return exp_callout_d(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Exp, ExpLaF, ExpHaF, ExpEpF)
VM_KERNELS(d, Exp, ExpLaD, ExpHaD, ExpEpD)
