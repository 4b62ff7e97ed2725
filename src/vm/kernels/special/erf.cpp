// Erf in single and double precision: one accurate method in every slot, single precision
// computed in double and rounded once.
//
// With a = |x|:
//   a < 1/2       erf a = a + a Q(a^2): Q is at most 2/sqrt(pi) - 1, an eighth of the result,
//                 and u = a^2 <= 1/4 damps the rounding errors of its earlier Horner steps;
//   1/2 <= a < 6  erf a = H_i + P_i(a - m_i) on sixteen slices of width 11/32, m_i the
//                 slice's midpoint, H_i = erf(m_i) rounded and P_i the rest (its constant the
//                 head's rounding error): the head is added last, so the result rounds about
//                 once, with nothing cancelling (as 1 + (erf a - 1) would near 1/2, where
//                 erf - 1 is half the result);
//   a >= 6        erf a rounds to 1 (1 - erf 6 is 2e-17, below half an ulp of 1).
// The sign is x's. Coefficients from tools/fit (special/generated/erf_polys.inc). No lane is
// special: erf is defined and bounded everywhere, and NaN flows through the polynomials.
#include "simd/complex.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/special/generated/erf_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

constexpr double kStart = 0.5, kSliceWidth = 0.34375, kSlicesPerUnit = 32.0 / 11.0;
constexpr double kShifter = 6755399441055744.0;  // 1.5*2^52: the slice number in the low bits

inline __m512d erf_d(__m512d x) {
  const __m512d one = splat(1.0);
  const __m512d a = abs(x);
  const __m512d u = mul_quiet(a, a);
  const __m512d small = fma_quiet(a, horner(u, erfpoly::kErfSmallD), a);
  // Slice k = trunc((a - 1/2) * 32/11) (a boundary argument may land in the neighbouring slice,
  // whose polynomial holds there as well); its midpoint is exact, and so is a - m.
  const __m512d t = fma_toward_zero(sub_quiet(a, splat(kStart)), splat(kSlicesPerUnit), splat(kShifter));
  const __m512d k = sub(t, splat(kShifter));
  const __m512d mid = fma_quiet(k, splat(kSliceWidth), splat(kStart + kSliceWidth / 2));
  const __m512i idx = bits(t);
  const __m512d middle = add_quiet(lookup(idx, erfpoly::kErfPiecesDHead),
                                   horner_pieces(sub_quiet(a, mid), idx, erfpoly::kErfPiecesD));
  __m512d y = select(less(a, splat(kStart)), small, middle);
  y = select(greater_equal(a, splat(6.0)), one, y);
  return copy_sign(y, x);
}

template <typename T>
struct ErfK;

template <>
struct ErfK<double> : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8&) { return erf_d(x); }
};
template <>
struct ErfK<float> : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16&) { return narrow(erf_d(widen_low(x)), erf_d(widen_high(x))); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Erf, ErfK<float>, ErfK<float>, ErfK<float>)
VM_KERNELS(d, Erf, ErfK<double>, ErfK<double>, ErfK<double>)
