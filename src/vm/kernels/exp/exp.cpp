// e^x in single and double precision, three accuracy variants each, on the blocks of
// common/exp_core.h: a grid of 2^-b in x/ln2 found by a shifter, 2^(grid fraction) from an
// in-register table, a short polynomial for e^r - 1 and the scale instruction. The variants
// differ in grid, table and polynomial, each fixed to keep its results, so each has its own
// short body; lanes with |x| at or above the fast-path bound go to the callout.
#include <cmath>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using F = ExpTraits<float>;
using D = ExpTraits<double>;

// ---- callouts --------------------------------------------------------------------------
// LA and EP: the wider path stays in single precision: n = round(x/ln2), ln2 in two parts,
// a degree-5 polynomial whose two leading coefficients sit one unit above 1. Subnormal
// results are scaled in two steps (2^(n+60), then 2^-60) so that they are rounded once.
int exp_callout_la_ep(const float* a, float* r) {
  const float x = *a;
  if (!exp_fixed_result(x, r)) {
    const float shifter = 12582912.0f;  // 1.5*2^23
    const float n = (x * F::kInvLn2 + shifter) - shifter;
    float t = std::fma(n, from_bits<float>(0xBF317200u), x);
    t = std::fma(n, from_bits<float>(0xB5BFBE8Eu), t);
    const float p = horner(t, exppoly::kExpCalloutF);
    const int ni = static_cast<int>(n);
    auto pow2 = [](int e) { return from_bits<float>(static_cast<uint32_t>(e + 127) << 23); };
    if (ni < -100)
      *r = (p * pow2(ni + 60)) * from_bits<float>(0x21800000u);
    else if (ni + 127 > 254)
      *r = (p * pow2(ni - 1)) * 2.0f;
    else
      *r = p * pow2(ni);
  }
  return result_status<kGrowthReports>(*r, x);
}

// HA: double precision, n = round(64x/ln2), 64-entry table of 2^(i/64) in two parts. The double
// result is normal over the whole single-precision range, so the conversion rounds once.
int exp_callout_ha(const float* a, float* r) {
  const float x = *a;
  if (!exp_fixed_result(x, r)) {
    const double xd = x;
    const double shifter = 6755399441055744.0;  // 1.5*2^52
    const double n = (xd * (64.0 * D::kInvLn2) + shifter) - shifter;
    double t = std::fma(n, from_bits<double>(0xBF862E42FEFA0000ull), xd);
    t = std::fma(n, from_bits<double>(0xBD1CF79ABC9E3B3Aull), t);
    const double p = std::fma(horner_from<2>(t, exppoly::kExpCalloutHaF), t * t, t);
    const int ni = static_cast<int>(n);
    const int i = ni & 63, m = ni >> 6;
    const double h = exptab::kH64[i];
    *r = static_cast<float>((h + std::fma(h, p, exptab::kL64[i])) * expscalar::pow2(m));
  }
  return result_status<kGrowthReports>(*r, x);
}

int exp_callout_d(const double* a, double* r) {
  const double x = *a;
  if (!exp_fixed_result(x, r)) {
    int m;
    const double y = expscalar::exp_parts(x, m);
    *r = expscalar::scale_once(y, m);
  }
  return result_status<kGrowthReports>(*r, x);
}

// ---- single precision -----------------------------------------------------------------------
// LA: 10 index bits, 2^(j/1024) = F[j & 31] * C[j >> 5] (two-register permutes), degree-1
// polynomial. F sits one unit high to offset the always-negative error of 1 + r; it is left out
// where x = 0 so that e^0 stays exactly 1. |r| is capped at 0.5 for the special lanes.
struct ExpLaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, splat(F::kFastBound));
    const Grid<__m512> g = grid_toward_zero(x, F::kInvLn2, 12288.0f);  // 1.5*2^13
    const __m512 f = lookup(g.index, exptab::kF1024Up);
    const __m512 c = lookup(shift_right<5, float>(g.index), exptab::kC32);
    const __m512 tab = mul(c, not_equal(x, zero<__m512>()), c, f);
    __m512 r = reduce(x, g.k, F::kLn2Hi, F::kLn2Lo);
    r = select(abs_greater(r, splat(0.5f)), splat(0.5f), r);
    return scale_table(tab, r, g.k);
  }
  static int callout(const float* a, float* r) { return exp_callout_la_ep(a, r); }
};

// HA: 5 index bits, table pairs (high, relative low), degree-3 polynomial, and the scale applied
// before the last multiply-add so that the result is rounded once. Bit 30 of r is cleared, a
// clamp (|r| < 2) that only special lanes need.
struct ExpHaF : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, splat(F::kFastBound));
    const Grid<__m512> g = grid_toward_zero(x, F::kInvLn2, 393216.0f);  // 1.5*2^18
    const __m512 h = lookup(g.index, exptab::kH32);
    const __m512 l = lookup(g.index, exptab::kL32Rel);
    const __m512 r = clear_bits(reduce(x, g.k, F::kLn2Hi, F::kLn2Lo), 0x40000000u);
    const __m512 p = horner_from<2>(r, exppoly::kExpHaF);
    const __m512 q = fma_quiet(mul_quiet(r, r), p, add_quiet(r, l));
    const __m512 hs = scale_by_pow2(h, g.k);
    return fma_quiet(hs, q, hs);
  }
  static int callout(const float* a, float* r) { return exp_callout_ha(a, r); }
};

// EP: 14 index bits and no polynomial: 2^(j/16384) = A[j & 15] * B[(j >> 4) & 31] * C[j >> 9].
struct ExpEpF : Kernel<float, 16> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, splat(F::kFastBound));
    const Grid<__m512> g = grid_toward_zero(x, F::kInvLn2, 768.0f);  // 1.5*2^9
    const __m512 a = lookup(g.index, exptab::kA16384);
    const __m512 b = lookup(shift_right<4, float>(g.index), exptab::kF1024);
    const __m512 c = lookup(shift_right<9, float>(g.index), exptab::kC32);
    return scale_by_pow2(mul_quiet(mul_quiet(a, b), c), g.k);
  }
  static int callout(const float* a, float* r) { return exp_callout_la_ep(a, r); }
};

// ---- double precision -----------------------------------------------------------------------
// 4 index bits; the 16-entry tables live in two registers. Bit 62 of r is cleared (|r| < 2) for
// the special lanes.

// LA: degree-6 polynomial for e^r - 1 as r + r^2 p(r), result T + T*q.
struct ExpLaD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, splat(D::kFastBound));
    const Grid<__m512d> g = grid_toward_zero(x, D::kInvLn2, D::kShifter16);
    const __m512d tab = lookup(g.index, exptab::kH16);
    const __m512d r = clear_bits(reduce(x, g.k, D::kLn2Hi, D::kLn2Lo), 1ull << 62);
    const __m512d p = horner_from<2>(r, exppoly::kExpLaD);
    const __m512d q = fma_quiet(p, mul_quiet(r, r), r);
    return scale_table(tab, q, g.k);
  }
  static int callout(const double* a, double* r) { return exp_callout_d(a, r); }
};

// HA: table pairs (high, relative low), the low part folded into the polynomial.
struct ExpHaD : Kernel<double, 16> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, splat(D::kFastBound));
    const Grid<__m512d> g = grid_toward_zero(x, D::kInvLn2, D::kShifter16);
    const __m512d h = lookup(g.index, exptab::kH16);
    const __m512d l = lookup(g.index, exptab::kL16Rel);
    const __m512d r = clear_bits(reduce(x, g.k, D::kLn2Hi, D::kLn2Lo), 1ull << 62);
    const __m512d q = fma_quiet(horner_from<1>(r, exppoly::kExpHaD), r, l);
    return scale_table(h, q, g.k);
  }
  static int callout(const double* a, double* r) { return exp_callout_d(a, r); }
};

// EP: one-part ln2 and a degree-3 polynomial.
struct ExpEpD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, splat(D::kFastBound));
    const Grid<__m512d> g = grid_toward_zero(x, D::kInvLn2, D::kShifter16);
    const __m512d tab = lookup(g.index, exptab::kH16);
    const __m512d r = clear_bits(reduce(x, g.k, D::kLn2Hi), 1ull << 62);
    const __m512d q = mul_quiet(horner_from<1>(r, exppoly::kExpEpD), r);
    return scale_table(tab, q, g.k);
  }
  static int callout(const double* a, double* r) { return exp_callout_d(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Exp, ExpLaF, ExpHaF, ExpEpF)
VM_KERNELS(d, Exp, ExpLaD, ExpHaD, ExpEpD)
