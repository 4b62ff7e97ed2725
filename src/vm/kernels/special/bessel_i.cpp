// The modified Bessel functions I0 and I1 in single and double precision: one accurate method in
// every slot, single precision computed in double and narrowed once.
//
// With a = |x|, I_n(a) = e^a F_n(a), where F_n = e^-a I_n falls slowly and smoothly:
//   a < 16    F_n = H_i + P_i(a - m_i) on sixteen slices of width 1 (tools/fit), H_i the
//             value at the midpoint, rounded;
//   a >= 16   F_n = G_n(t) / sqrt(a) with t = 1/a and G_n = c0 + t Q_n(t), c0 = 1/sqrt(2 pi)
//             held as a pair; the quotient by sqrt(a) is corrected by its remainder, so F_n
//             comes out as a pair too;
//   a < 1     I0 = 1 + S0(a^2/4), I1 = a/2 + (a/2) S1(a^2/4), the series, exact in the
//             leading term (the slices' polynomial part would be nearly as large as the head).
// e^a comes in parts 2^k g (1 + q); the product g (1 + q) F_n is formed in double-double and
// rounded once, then scaled by 2^k, so that nothing overflows before I_n does (I0 stays finite
// up to 713.99, e^a overflows above 709.78). The sign of I1 is x's; I0 is even.
//
// Special lanes: the arguments whose result overflows (status 3) and, for I1, the tiny ones whose
// result a/2 is subnormal (status 4). The vector path gives the same infinities and a/2 rounded to
// nearest; the callout rounds a/2 as the exact result a/2 (1 + a^2/8) demands: upward on a tie.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/complex.h"
#include "simd/exact.h"
#include "simd/poly.h"
#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/exp_core.h"
#include "vm/kernels/special/tiny_half.h"
#include "vm/kernels/special/generated/bessel_polys.inc"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

constexpr double kAsymFrom = 16.0;
constexpr double kShifter = 6755399441055744.0;  // 1.5*2^52: the slice number in the low bits
constexpr double kInvSqrt2PiHi = 0x1.9884533d43651p-2, kInvSqrt2PiLo = -0x1.cbc0d30ebfd15p-56;

// The largest arguments whose I0 and I1 are finite.
template <int kN, typename T>
constexpr T kOverflowBound = 0;
template <>
constexpr double kOverflowBound<0, double> = 0x1.64fe5304e83e4p+9;  // 713.9869085439682
template <>
constexpr double kOverflowBound<1, double> = 0x1.64fe69ff9fec7p+9;  // 713.9876098185422
template <>
constexpr float kOverflowBound<0, float> = 0x1.6f9a62p+6f;  // 91.90076
template <>
constexpr float kOverflowBound<1, float> = 0x1.6fa002p+6f;  // 91.90626

template <int kN>
constexpr const auto& pieces() {
  if constexpr (kN == 0) return besselpoly::kI0PiecesD;
  else return besselpoly::kI1PiecesD;
}
template <int kN>
constexpr const auto& heads() {
  if constexpr (kN == 0) return besselpoly::kI0PiecesDHead;
  else return besselpoly::kI1PiecesDHead;
}
template <int kN>
constexpr const auto& asym() {
  if constexpr (kN == 0) return besselpoly::kI0AsymD;
  else return besselpoly::kI1AsymD;
}

// e^a = 2^k g (1 + q) for 0 <= a < 720 (NaN flows through): the exponential's reduction onto
// the 1/16 grid and its table g = 2^(j/16) (1 + L_j), q = (e^r - 1)(1 + L_j) + L_j with a
// polynomial of higher degree than the exponential kernels' own, so that the factor carries some
// 2^-60 relative error and the result's one rounding dominates. k is fractional; the scaling
// takes its floor.
struct ExpParts {
  __m512d g, q, k;
};
inline ExpParts exp_parts(__m512d a) {
  using D = ExpTraits<double>;
  const Grid<__m512d> grid = grid_toward_zero(a, D::kInvLn2, D::kShifter16);
  const __m512d r = clear_bits(reduce(a, grid.k, D::kLn2Hi, D::kLn2Lo), 1ull << 62);
  const __m512d l = lookup(grid.index, exptab::kL16Rel);
  const __m512d p = mul_quiet(horner_from<1>(r, besselpoly::kExpm1D), r);
  return {lookup(grid.index, exptab::kH16), add_quiet(fma_quiet(p, l, p), l), grid.k};
}

// I_n(|x|) for every lane (infinite beyond the overflow bound, NaN for NaN).
template <int kN>
inline __m512d bessel_i(__m512d x) {
  const __m512d a = min(splat(720.0), abs(x));  // min keeps a NaN
  // Slices: k = trunc(a), clamped to the last slice (lanes beyond take the asymptotic form;
  // slice 0 is fitted but the series takes its lanes).
  const __m512d t = fma_toward_zero(min(a, splat(15.0)), splat(1.0), splat(kShifter));
  const __m512d mid = add_quiet(sub(t, splat(kShifter)), splat(0.5));
  const __m512i idx = bits(t);
  __m512d hi = lookup(idx, heads<kN>());
  __m512d lo = horner_pieces(sub_quiet(a, mid), idx, pieces<kN>());
  // a >= 16: (c0 + r Q(r)) / s with s = sqrt(a) and r = 1/a, the quotient q corrected by
  // (G - q s - q s_lo) / s, s_lo = (a - s^2) / 2s the rest of the root.
  const __m512d big = max(a, splat(kAsymFrom));
  const __m512d r = div_quiet(splat(1.0), big);
  const __m512d g_lo = fma_quiet(r, horner(r, asym<kN>()), splat(kInvSqrt2PiLo));
  const __m512d s = sqrt(big);
  const __m512d s_lo = div_quiet(fnma_quiet(s, s, big), add_quiet(s, s));
  const __m512d quo = div_quiet(splat(kInvSqrt2PiHi), s);
  const __m512d rem = fnma_quiet(quo, s_lo, add_quiet(fnma_quiet(quo, s, splat(kInvSqrt2PiHi)), g_lo));
  const __mmask8 far = greater_equal(a, splat(kAsymFrom));
  hi = select(far, quo, hi);
  lo = select(far, div_quiet(rem, s), lo);
  // 2^k g (1 + q) (hi + lo): the products by g exact as pairs and their high parts summed
  // exactly, q (below a twentieth) added with the rest; one rounding, then the exact scaling
  // (which overflows where the result does).
  const ExpParts e = exp_parts(a);
  const DD<__m512d> p1 = two_prod(e.g, hi), p2 = two_prod(e.g, lo);
  const DD<__m512d> s1 = two_sum(p1.hi, p2.hi);
  const __m512d rest = add_quiet(add_quiet(s1.lo, add_quiet(p1.lo, p2.lo)), mul_quiet(mul_quiet(e.g, e.q), add_quiet(hi, lo)));
  const __m512d y = scale_by_pow2(add_quiet(s1.hi, rest), e.k);
  const __m512d h = mul_quiet(a, splat(0.5));
  const __m512d u = mul_quiet(h, h);
  const __m512d small = kN == 0 ? add_quiet(splat(1.0), horner(u, besselpoly::kI0SmallD))
                                : fma_quiet(h, horner(u, besselpoly::kI1SmallD), h);
  return select(less(a, splat(1.0)), small, y);
}

template <int kN>
inline __m512d signed_bessel_i(__m512d x) {
  const __m512d y = bessel_i<kN>(x);
  return kN == 1 ? copy_sign(y, x) : y;
}

inline constexpr Reports kIReports{kStatusOverflow, true};

template <int kN, typename T>
struct BesselI : Kernel<T, sizeof(T) == 4 ? 32 : 16> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    if constexpr (kN == 0) special = abs_greater(x, splat(kOverflowBound<0, T>));
    else special = abs_greater(x, splat(kOverflowBound<1, T>)) | less(abs(x), splat(T(2) * std::numeric_limits<T>::min()));
    if constexpr (sizeof(T) == 8) return signed_bessel_i<kN>(x);
    else return narrow(signed_bessel_i<kN>(widen_low(x)), signed_bessel_i<kN>(widen_high(x)));
  }
  static int callout(const T* a, T* r) {
    const T x = *a;
    if (x == 0) return *r = x, 0;
    if (std::fabs(x) > kOverflowBound<kN, T>) {
      *r = kN == 0 ? std::numeric_limits<T>::infinity() : std::copysign(std::numeric_limits<T>::infinity(), x);
      return result_status<kIReports>(*r, x);
    }
    // I1 below twice the least normal: the exact result lies below the least normal even where
    // it rounds up to it, which is an underflow all the same.
    *r = tiny_half<true>(x);
    return kStatusUnderflow;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, I0, BesselI<0, float>)
VM_KERNELS(d, I0, BesselI<0, double>)
VM_KERNELS(s, I1, BesselI<1, float>)
VM_KERNELS(d, I1, BesselI<1, double>)
