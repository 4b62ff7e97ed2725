// The Bessel functions of the first kind J0 and J1 in single and double precision: one accurate
// method in every slot, single precision computed in double and narrowed once.
//
// With a = |x| (J0 is even, J1 odd):
//   a < 63 pi/8  32 pieces [m pi/4 - pi/8, (m + 1) pi/4 - pi/8), every fourth holding one
//              zero mid-piece (those of J0 lie near (k - 1/4) pi, those of J1 near (k + 1/4) pi).
//              A piece with a zero z = z_hi + z_lo (tools/fit, to 106 bits) is a polynomial
//              d P(d) in d = (a - z_hi) - z_lo, formed as a pair, so the result keeps its
//              relative accuracy right up to the zero; the others are P(a - midpoint), the
//              midpoint a double. The leading coefficient is a pair too (and c1 away from a
//              zero, where c1 d reaches most of the result). Pieces a quarter period
//              wide keep the polynomial's terms from cancelling (over half a period they summed
//              to three times the result and cost two ulps).
//   a >= 63 pi/8  Hankel's form J_n = (P_n cos chi - Q_n sin chi) sqrt(2/(pi a)), chi = a - (2n+1) pi/4,
//              P_n = 1 + s P(s), Q_n = Q(s)/a in s = 1/a^2 (fitted); cos and sin of chi come
//              from those of a (common/sincos_core.h: a reduction for any argument, pairs), so
//              J0 sqrt(pi a) = (cos a + sin a) P0 + (cos a - sin a) Q0 and
//              J1 sqrt(pi a) = (sin a - cos a) P1 + (sin a + cos a) Q1, summed as pairs.
// Beyond the tabled zeros (the first eight of each) the Hankel form's error is absolute: some 2^-60 of the amplitude
// sqrt(2/(pi a)) from the sine and cosine pairs and from P and Q, plus the final rounding. Near
// a zero the result shrinks below the amplitude while that error does not (the cancellation in
// cos a + sin a is exact, the error is in what it cancels), so the relative error grows as the
// result approaches the zero; there the contract asks for an absolute bound instead.
//
// Special lanes: J1 of arguments below twice the least normal, whose results a/2 are subnormal
// (status 4); the callout rounds as the exact result a/2 (1 - a^2/8) demands: down on a tie.
// J(+-inf) is +0.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/vec.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/special/bessel_j_core.h"
#include "vm/kernels/special/tiny_half.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using besselj::bessel_j;

template <int kN, typename T>
struct BesselJBody : Kernel<T, sizeof(T) == 4 ? 32 : 16> {
  static Vec<T> evaluate(Vec<T> x) {
    if constexpr (sizeof(T) == 8) return bessel_j<kN>(x);
    else return narrow(bessel_j<kN>(widen_low(x)), bessel_j<kN>(widen_high(x)));
  }
};

template <int kN, typename T>
struct BesselJ;
template <typename T>
struct BesselJ<0, T> : BesselJBody<0, T> {
  static Vec<T> body(Vec<T> x, Mask<T>&) { return BesselJBody<0, T>::evaluate(x); }
};
template <typename T>
struct BesselJ<1, T> : BesselJBody<1, T> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    special = less(abs(x), splat(T(2) * std::numeric_limits<T>::min())) & not_equal(x, zero<Vec<T>>());
    return BesselJBody<1, T>::evaluate(x);
  }
  // The exact result lies below the least normal even where it rounds up to it: an underflow.
  static int callout(const T* a, T* r) {
    *r = tiny_half<false>(*a);
    return kStatusUnderflow;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, J0, BesselJ<0, float>)
VM_KERNELS(d, J0, BesselJ<0, double>)
VM_KERNELS(s, J1, BesselJ<1, float>)
VM_KERNELS(d, J1, BesselJ<1, double>)
