// Comparison-like members: Fdim, Fmax, Fmin, MaxMag, MinMag, CopySign, NextAfter, Remainder,
// Fmod. All are exact, so one kernel serves the three accuracy slots.
//
// Conventions where IEEE leaves a choice:
//  * Fmax, Fmin order values on the integer images of their bit patterns, so -0 < +0 and the
//    ordering is total. A NaN in either argument gives a quiet NaN (the first NaN argument,
//    quieted): a missing value is not silently replaced by the other argument.
//  * MaxMag, MinMag compare magnitudes the same way; equal magnitudes (3 and -3, +0 and -0) are
//    decided as Fmax, Fmin decide them. NaN as above.
//  * Fmax, Fmin, MaxMag, MinMag and CopySign only select and move bits, so the flushing mode
//    does not touch them: a subnormal argument comes back as it is, as it would from a copy.
//    NaN lanes go through a quiet addition, which does see the flushing mode; its result is a
//    NaN either way.
//  * Fdim is a - b where b < a, else +0, and that definition holds for NaN arguments as well:
//    b < a is then false, so the result is +0 (C's fdim returns NaN there). A caller who wants a
//    NaN to come through tests for it; a definition with an exception for NaN would be one more
//    rule to remember for a function whose whole point is its comparison.
//  * NextAfter gives b when a == b (so the sign of a zero b wins), ±denorm_min from a zero a,
//    NaN when either is NaN. It reports status 3 when a finite a steps to infinity and status 4
//    when the result is subnormal or zero (from a nonzero a), the cases in which C's nextafter
//    raises overflow and underflow.
//  * Remainder and Fmod report status 1 (domain) when b is zero or a is infinite and neither
//    argument is NaN; the stored result is NaN, as C gives.
#include <cmath>
#include <cstdint>
#include <limits>

#include "simd/vec.h"
#include "vm/kernels/common/bind.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// a + b where either is NaN: the quiet form of the first NaN, as the hardware propagates it.
template <typename V>
inline V nan_through(V r, V a, V b) {
  const auto nan = unordered(a, b);
  return nan ? select(nan, add_quiet(a, b), r) : r;
}

template <typename T>
struct FdimK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) { return zero_unless(less(b, a), sub(a, b)); }
};

template <typename T, bool kMax>
struct FmaxFminK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) {
    const __m512i ia = ordered_image(a), ib = ordered_image(b);
    const Vec<T> r = from_ordered_image<Vec<T>>(kMax ? imax<T>(ia, ib) : imin<T>(ia, ib));
    return nan_through(r, a, b);
  }
};

template <typename T, bool kMax>
struct MagK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) {
    const __m512i ma = magnitude_image(a), mb = magnitude_image(b);
    const __m512i ia = ordered_image(a), ib = ordered_image(b);
    // b wins where its magnitude is strictly on the wanted side, or on a tie decided by value
    const Mask<T> tie = iequal<T>(ma, mb);
    const Mask<T> b_wins = (kMax ? iless<T>(ma, mb) : iless<T>(mb, ma)) |
                           (tie & (kMax ? iless<T>(ia, ib) : iless<T>(ib, ia)));
    return nan_through(select(b_wins, b, a), a, b);
  }
};

template <typename T>
struct CopySignK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Vec<T> b, Mask<T>&) { return copy_sign(a, b); }
};

template <typename T>
struct NextAfterK : Kernel<T> {
  using V = Vec<T>;
  using M = Mask<T>;
  static V body(V a, V b, M& special) {
    const V zero = splat(T(0));
    __m512i ia = ordered_image(a);
    const __m512i ib = ordered_image(b);
    // From a zero of either sign, start at +0's image (0): one step up lands on +denorm_min;
    // going down, -0's image (-1) lies in between, so the step is two.
    const M a_zero = equal(a, zero);
    ia = iselect<T>(a_zero, ordered_image(zero), ia);
    const M up = iless<T>(ia, ib), down = iless<T>(ib, ia);
    ia = iadd<T>(up, ia, 1);
    ia = iadd<T>(down, ia, -1);
    ia = iadd<T>(static_cast<M>(down & a_zero), ia, -1);
    V r = from_ordered_image<V>(ia);
    r = select(equal(a, b), b, r);
    r = nan_through(r, a, b);
    // Overflow to infinity, or a subnormal or zero result: the callout reports them.
    const V tiny = splat(std::numeric_limits<T>::min());
    const V huge = splat(std::numeric_limits<T>::max());
    const M moved = ~equal(a, b) & ~unordered(a, b);
    special = moved & (less(abs(r), tiny) | (not_less_equal(abs(r), huge) & less_equal(abs(a), huge)));
    return r;
  }
  static int callout(const T* a, const T* b, T* r) {
    const T x = std::nextafter(*a, *b);
    *r = x;
    if (std::isinf(x) && std::isfinite(*a)) return 3;
    if (std::fabs(x) < std::numeric_limits<T>::min() && *a != *b) return 4;
    return 0;
  }
};

// Remainder and Fmod. Where the quotient a/b has fewer integer bits than the significand (the
// exponents of a and b at most kQuotientBits apart, a finite, b normal and finite), the quotient
// is rounded to an integer q (to nearest even, or toward zero) and a - q*b is formed with one
// fma. That difference is exact even when the rounded a/b put q one step off: |a - q*b| then
// stays below |b| and is a multiple of the ulp of b (or a and b are within a factor 2 of each
// other). One exact correction by |b| fixes the off-by-one step; for Remainder a tie
// |r| = |b|/2 goes to the even quotient. Zero results take the sign of a. Every other lane
// (huge quotients, subnormal or zero b, infinities, NaN) is reduced exactly by the C library,
// lane by lane. The vector arithmetic raises no flags: the fast results are exact, and the
// lanes the library reduces raise what it raises.
template <typename T, bool kIeee>
struct RemainderK : Kernel<T> {
  using V = Vec<T>;
  using M = Mask<T>;
  static constexpr T kQuotientBits = sizeof(T) == 4 ? T(21) : T(50);
  static T scalar(T a, T b) { return kIeee ? std::remainder(a, b) : std::fmod(a, b); }
  static V body(V a, V b, M& special) {
    const V inf = splat(std::numeric_limits<T>::infinity());
    const V abs_a = abs(a), abs_b = abs(b);
    special = (equal(b, splat(T(0))) | equal(abs_a, inf)) & ~unordered(a, b);
    const M fast = less(abs_a, inf) & less(abs_b, inf) & less_equal(splat(std::numeric_limits<T>::min()), abs_b) &
                   less_equal(sub_quiet(exponent_of(a), exponent_of(b)), splat(kQuotientBits));
    constexpr int kDirection = kIeee ? _MM_FROUND_TO_NEAREST_INT : _MM_FROUND_TO_ZERO;
    V q = round_integral<kDirection>(div_quiet(a, b));
    V r = fnma_quiet(q, b, a);
    if constexpr (kIeee) {
      // |r| > |b|/2: q was one step off, toward zero from the true quotient.
      const V half = mul_quiet(abs_b, splat(T(0.5)));
      const M over = less(half, abs(r));
      if (over) {
        const M same_sign = equal(copy_sign(splat(T(1)), r), copy_sign(splat(T(1)), b));
        const V step = select(same_sign, splat(T(1)), splat(T(-1)));
        q = select(over, add_quiet(q, step), q);
        r = select(over, sub_quiet(r, copy_sign(abs_b, r)), r);
      }
      // A tie goes to the even quotient: with q odd, the other neighbour -r is the answer.
      const M tie = equal(abs(r), half);
      if (tie) {
        const V h = mul_quiet(q, splat(T(0.5)));
        const M odd = ~equal(h, round_integral<_MM_FROUND_TO_ZERO>(h));
        r = select(static_cast<M>(tie & odd), sub_quiet(splat(T(0)), r), r);
      }
      r = select(equal(r, splat(T(0))), copy_sign(splat(T(0)), a), r);
    } else {
      // Overshoot: r came out with the other sign than a; one |b| toward a's side is exact.
      const M wrong = ~equal(r, splat(T(0))) & ~equal(copy_sign(splat(T(1)), r), copy_sign(splat(T(1)), a));
      r = select(wrong, add_quiet(r, copy_sign(abs_b, a)), r);
      r = copy_sign(abs(r), a);
    }
    if (fast != all_lanes<T>()) [[unlikely]] {
      alignas(64) T x[kLanes<T>], y[kLanes<T>], z[kLanes<T>];
      store(x, a);
      store(y, b);
      store(z, r);
      for (int i = 0; i < kLanes<T>; ++i)
        if (!((fast >> i) & 1)) z[i] = scalar(x[i], y[i]);
      r = load(z);
    }
    return r;
  }
  static int callout(const T* a, const T* b, T* r) {
    *r = std::numeric_limits<T>::quiet_NaN();
    return 1;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Fdim, FdimK<float>)
VM_KERNELS(d, Fdim, FdimK<double>)
VM_KERNELS(s, Fmax, FmaxFminK<float, true>)
VM_KERNELS(d, Fmax, FmaxFminK<double, true>)
VM_KERNELS(s, Fmin, FmaxFminK<float, false>)
VM_KERNELS(d, Fmin, FmaxFminK<double, false>)
VM_KERNELS(s, MaxMag, MagK<float, true>)
VM_KERNELS(d, MaxMag, MagK<double, true>)
VM_KERNELS(s, MinMag, MagK<float, false>)
VM_KERNELS(d, MinMag, MagK<double, false>)
VM_KERNELS(s, CopySign, CopySignK<float>)
VM_KERNELS(d, CopySign, CopySignK<double>)
VM_KERNELS(s, NextAfter, NextAfterK<float>)
VM_KERNELS(d, NextAfter, NextAfterK<double>)
VM_KERNELS(s, Remainder, RemainderK<float, true>)
VM_KERNELS(d, Remainder, RemainderK<double, true>)
VM_KERNELS(s, Fmod, RemainderK<float, false>)
VM_KERNELS(d, Fmod, RemainderK<double, false>)
