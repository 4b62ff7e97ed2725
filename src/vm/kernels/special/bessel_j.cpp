// The Bessel functions of the first kind J0 and J1 in single and double precision: one accurate
// method in every slot, single precision computed in double and narrowed once.
//
// With a = |x| (J0 is even, J1 odd), on the methods of bessel_core.h:
//   a < 63 pi/8   32 pieces, every fourth holding one zero mid-piece (those of J0 lie near
//                 (k - 1/4) pi, those of J1 near (k + 1/4) pi), the first eight of each tabled;
//   a >= 63 pi/8  Hankel's form J_n = (P_n cos chi - Q_n sin chi) sqrt(2/(pi a)),
//                 chi = a - (2n+1) pi/4, so that
//                 J0 sqrt(pi a) = (cos a + sin a) P0 + (cos a - sin a) Q0 and
//                 J1 sqrt(pi a) = (sin a - cos a) P1 + (sin a + cos a) Q1;
//                 near a zero the phase form J_n = M_n cos(a - (2n+1) pi/4 + alpha_n) instead
//                 (bessel_core.h), so that the result keeps its relative accuracy there.
//
// Special lanes: J1 of arguments below twice the least normal, whose results a/2 are subnormal
// (status 4); the callout rounds as the exact result a/2 (1 - a^2/8) demands: down on a tie.
// J(+-inf) is +0.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/complex.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/special/bessel_core.h"
#include "vm/kernels/special/tiny_half.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

using bessel::bessel_j;

template <int kN, typename T>
struct BesselJBody : Kernel<T, sizeof(T) == 4 ? 32 : 16> {
  static Vec<T> evaluate(Vec<T> x) {
    if constexpr (sizeof(T) == 8) return bessel_j<kN, T>(x);
    else return narrow(bessel_j<kN, T>(widen_low(x)), bessel_j<kN, T>(widen_high(x)));
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
