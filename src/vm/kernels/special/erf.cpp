// Erf in single and double precision, three accuracy variants each, one method written once on
// the vector type: with a = |x|,
//   a < 1/2       erf a = a + a Q(a^2): Q is at most 2/sqrt(pi) - 1, an eighth of the result,
//                 and u = a^2 <= 1/4 damps the rounding errors of its earlier Horner steps;
//   1/2 <= a < T  erf a = P_i(a - m_i) on sixteen slices (width 11/32 in double, 7/32 in
//                 single), m_i the slice's midpoint; HA stores H_i = erf(m_i) rounded apart and
//                 P_i fits the rest (its constant the head's rounding error): the head is added
//                 last, so the result rounds about once, with nothing cancelling (as
//                 1 + (erf a - 1) would near 1/2, where erf - 1 is half the result);
//   a >= T        erf a rounds to 1: T = 6 in double (1 - erf 6 is 2e-17, below half an ulp of
//                 1), T = 4 in single (1 - erf 3.92 is 2^-25).
// The slots differ only in the degrees of Q and P_i, each fitted for its class (tools/fit,
// special/generated/erf_polys.inc): HA below one ulp, LA within four, EP 11 or 26 correct bits.
// The sign is x's. No lane is special: erf is defined and bounded everywhere, and NaN flows
// through the polynomials.
#include "simd/complex.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/slots.h"
#include "vm/kernels/special/generated/erf_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// The slicing of each precision; the shifter (1.5 times 2^mantissa bits) leaves the slice number
// in the low bits.
template <typename T>
struct ErfSlices;
template <>
struct ErfSlices<double> {
  static constexpr double kStart = 0.5, kWidth = 0.34375, kPerUnit = 32.0 / 11.0, kOne = 6.0;
  static constexpr double kShifter = 6755399441055744.0;
};
template <>
struct ErfSlices<float> {
  static constexpr float kStart = 0.5f, kWidth = 0.21875f, kPerUnit = 32.0f / 7.0f, kOne = 4.0f;
  static constexpr float kShifter = 12582912.0f;
};

// The polynomials of each (precision, slot): Q, the pieces P_i and, for HA, their heads.
template <const auto& kSmallQ, const auto& kPiecesP>
struct ErfPolys {
  static constexpr auto& kSmall = kSmallQ;
  static constexpr auto& kPieces = kPiecesP;
  static constexpr bool kHasHead = false;
};
template <const auto& kSmallQ, const auto& kPiecesP, const auto& kHeads>
struct ErfPolysHead : ErfPolys<kSmallQ, kPiecesP> {
  static constexpr auto& kHead = kHeads;
  static constexpr bool kHasHead = true;
};
template <typename T, Acc kAcc>
struct ErfFit;
template <>
struct ErfFit<double, Acc::HA> : ErfPolysHead<erfpoly::kErfSmallD, erfpoly::kErfPiecesD, erfpoly::kErfPiecesDHead> {};
template <>
struct ErfFit<double, Acc::LA> : ErfPolys<erfpoly::kErfSmallLaD, erfpoly::kErfPiecesLaD> {};
template <>
struct ErfFit<double, Acc::EP> : ErfPolys<erfpoly::kErfSmallEpD, erfpoly::kErfPiecesEpD> {};
template <>
struct ErfFit<float, Acc::HA> : ErfPolysHead<erfpoly::kErfSmallHaF, erfpoly::kErfPiecesHaF, erfpoly::kErfPiecesHaFHead> {};
template <>
struct ErfFit<float, Acc::LA> : ErfPolys<erfpoly::kErfSmallLaF, erfpoly::kErfPiecesLaF> {};
template <>
struct ErfFit<float, Acc::EP> : ErfPolys<erfpoly::kErfSmallEpF, erfpoly::kErfPiecesEpF> {};

template <Acc kAcc, typename V>
inline V erf_v(V x) {
  using T = Elem<V>;
  using S = ErfSlices<T>;
  using F = ErfFit<T, kAcc>;
  const V a = abs(x);
  const V u = mul_quiet(a, a);
  const V small = fma_quiet(a, horner(u, F::kSmall), a);
  // Slice k = trunc((a - 1/2) / width) (a boundary argument may land in the neighbouring slice,
  // whose polynomial holds there as well); its midpoint is exact, and so is a - m.
  const V t = fma_toward_zero(sub_quiet(a, splat(S::kStart)), splat(S::kPerUnit), splat(S::kShifter));
  const V k = sub(t, splat(S::kShifter));
  const V mid = fma_quiet(k, splat(S::kWidth), splat(T(S::kStart + S::kWidth / 2)));
  const __m512i idx = bits(t);
  V middle = horner_pieces(sub_quiet(a, mid), idx, F::kPieces);
  if constexpr (F::kHasHead) middle = add_quiet(lookup(idx, F::kHead), middle);
  V y = select(less(a, splat(S::kStart)), small, middle);
  y = select(greater_equal(a, splat(S::kOne)), splat(T(1)), y);
  return copy_sign(y, x);
}

template <Acc kAcc>
struct ErfD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8&) { return erf_v<kAcc>(x); }
};
template <Acc kAcc>
struct ErfF : Kernel<float, 64> {
  static __m512 body(__m512 x, __mmask16&) { return erf_v<kAcc>(x); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Erf, ErfF<Acc::LA>, ErfF<Acc::HA>, ErfF<Acc::EP>)
VM_KERNELS(d, Erf, ErfD<Acc::LA>, ErfD<Acc::HA>, ErfD<Acc::EP>)
