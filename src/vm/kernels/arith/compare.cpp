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
//  * Fdim gives a - b where b < a and +0 where a <= b; a NaN argument gives NaN.
//  * NextAfter gives b when a == b (so the sign of a zero b wins), ±denorm_min from a zero a,
//    NaN when either is NaN. It reports status 3 when a finite a steps to infinity and status 4
//    when the result is subnormal or zero (from a nonzero a), the cases in which C's nextafter
//    raises overflow and underflow.
//  * Remainder and Fmod report status 1 (domain) when b is zero or a is infinite and neither
//    argument is NaN; the stored result is NaN, as C gives.
#include <cmath>
#include <cstdint>
#include <limits>

#include "vm/kernels/common/define.h"
#include "vm/simd/simd.h"

namespace zorp::vm {
namespace {

using simd::Simd;

template <typename T>
constexpr const char* pick(const char* s, const char* d) {
  return sizeof(T) == 4 ? s : d;
}

template <typename T_>
struct BinaryBase {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = false;
  static int callout(const T*, const T*, T*) { return 0; }
  // a + b where either is NaN: the quiet form of the first NaN, as the hardware propagates it.
  static V nan_through(V r, V a, V b) {
    const M nan = S::unordered(a, b);
    return nan ? S::select(nan, S::add_quiet(a, b), r) : r;
  }
};

template <typename T_>
struct FdimK : BinaryBase<T_> {
  using B = BinaryBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = pick<T_>("vsFdim", "vdFdim");
  static V body(V a, V b, typename S::M&) {
    return S::zero_unless(S::not_less_equal_unordered(a, b), S::sub(a, b));
  }
};

template <typename T_, bool kMax>
struct FmaxFminK : BinaryBase<T_> {
  using B = BinaryBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = kMax ? pick<T_>("vsFmax", "vdFmax") : pick<T_>("vsFmin", "vdFmin");
  static V body(V a, V b, typename S::M&) {
    const auto ia = S::ordered_image(a), ib = S::ordered_image(b);
    const V r = S::from_ordered_image(kMax ? S::max_int(ia, ib) : S::min_int(ia, ib));
    return B::nan_through(r, a, b);
  }
};

template <typename T_, bool kMax>
struct MagK : BinaryBase<T_> {
  using B = BinaryBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = kMax ? pick<T_>("vsMaxMag", "vdMaxMag") : pick<T_>("vsMinMag", "vdMinMag");
  static V body(V a, V b, typename S::M&) {
    const auto ma = S::magnitude_image(a), mb = S::magnitude_image(b);
    const auto ia = S::ordered_image(a), ib = S::ordered_image(b);
    // b wins where its magnitude is strictly on the wanted side, or on a tie decided by value
    const auto tie = S::equal_int(ma, mb);
    const auto b_wins = (kMax ? S::less_int(ma, mb) : S::less_int(mb, ma)) |
                        (tie & (kMax ? S::less_int(ia, ib) : S::less_int(ib, ia)));
    return B::nan_through(S::select(b_wins, b, a), a, b);
  }
};

template <typename T_>
struct CopySignK : BinaryBase<T_> {
  using B = BinaryBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = pick<T_>("vsCopySign", "vdCopySign");
  static V body(V a, V b, typename S::M&) { return S::bit_select(S::sign_mask(), b, a); }
};

template <typename T_>
struct NextAfterK : BinaryBase<T_> {
  using B = BinaryBase<T_>;
  using T = T_;
  using typename B::S;
  using typename B::V;
  using typename B::M;
  static constexpr const char* kName = pick<T_>("vsNextAfter", "vdNextAfter");
  static constexpr bool kHasCallout = true;
  static V body(V a, V b, M& special) {
    const V zero = S::broadcast(T(0));
    auto ia = S::ordered_image(a);
    const auto ib = S::ordered_image(b);
    // From a zero of either sign, start at +0's image (0): one step up lands on +denorm_min;
    // going down, -0's image (-1) lies in between, so the step is two.
    const M a_zero = S::equal(a, zero);
    ia = S::select_int(a_zero, S::ordered_image(zero), ia);
    const M up = S::less_int(ia, ib), down = S::less_int(ib, ia);
    ia = S::add_int(up, ia, 1);
    ia = S::add_int(down, ia, -1);
    ia = S::add_int(down & a_zero, ia, -1);
    V r = S::from_ordered_image(ia);
    r = S::select(S::equal(a, b), b, r);
    r = B::nan_through(r, a, b);
    // Overflow to infinity, or a subnormal or zero result: the callout reports them.
    const V tiny = S::broadcast(std::numeric_limits<T>::min());
    const V huge = S::broadcast(std::numeric_limits<T>::max());
    const M moved = ~S::equal(a, b) & ~S::unordered(a, b);
    special = moved & (S::less(S::abs(r), tiny) | (S::not_less_equal_unordered(S::abs(r), huge) &
                                                   S::less_equal(S::abs(a), huge)));
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
template <typename T_, bool kIeee>
struct RemainderK : BinaryBase<T_> {
  using B = BinaryBase<T_>;
  using T = T_;
  using typename B::S;
  using typename B::V;
  using typename B::M;
  static constexpr const char* kName = kIeee ? pick<T_>("vsRemainder", "vdRemainder") : pick<T_>("vsFmod", "vdFmod");
  static constexpr bool kHasCallout = true;
  static constexpr T kQuotientBits = sizeof(T) == 4 ? T(21) : T(50);
  static T scalar(T a, T b) { return kIeee ? std::remainder(a, b) : std::fmod(a, b); }
  static V with_sign_of(V magnitude_and_sign, V sign_from) {
    return S::bit_select(S::sign_mask(), sign_from, magnitude_and_sign);
  }
  static V body(V a, V b, M& special) {
    const V inf = S::broadcast(std::numeric_limits<T>::infinity());
    const V abs_a = S::abs(a), abs_b = S::abs(b);
    special = (S::equal(b, S::broadcast(T(0))) | S::equal(abs_a, inf)) & ~S::unordered(a, b);
    const M fast = S::less(abs_a, inf) & S::less(abs_b, inf) &
                   S::less_equal(S::broadcast(std::numeric_limits<T>::min()), abs_b) &
                   S::less_equal(S::sub_quiet(S::exponent_of(a), S::exponent_of(b)), S::broadcast(kQuotientBits));
    constexpr int kDirection = kIeee ? _MM_FROUND_TO_NEAREST_INT : _MM_FROUND_TO_ZERO;
    V q = S::template round_integral<kDirection>(S::div_quiet(a, b));
    V r = S::fnma_quiet(q, b, a);
    if constexpr (kIeee) {
      // |r| > |b|/2: q was one step off, toward zero from the true quotient.
      const V half = S::mul_quiet(abs_b, S::broadcast(T(0.5)));
      const M over = S::less(half, S::abs(r));
      if (over) {
        const M same_sign = S::equal(with_sign_of(S::broadcast(T(1)), r), with_sign_of(S::broadcast(T(1)), b));
        const V step = S::select(same_sign, S::broadcast(T(1)), S::broadcast(T(-1)));
        q = S::select(over, S::add_quiet(q, step), q);
        r = S::select(over, S::sub_quiet(r, with_sign_of(abs_b, r)), r);
      }
      // A tie goes to the even quotient: with q odd, the other neighbour -r is the answer.
      const M tie = S::equal(S::abs(r), half);
      if (tie) {
        const V h = S::mul_quiet(q, S::broadcast(T(0.5)));
        const M odd = ~S::equal(h, S::template round_integral<_MM_FROUND_TO_ZERO>(h));
        r = S::select(tie & odd, S::sub_quiet(S::broadcast(T(0)), r), r);
      }
      r = S::select(S::equal(r, S::broadcast(T(0))), with_sign_of(S::broadcast(T(0)), a), r);
    } else {
      // Overshoot: r came out with the other sign than a; one |b| toward a's side is exact.
      const M wrong = ~S::equal(r, S::broadcast(T(0))) &
                      ~S::equal(with_sign_of(S::broadcast(T(1)), r), with_sign_of(S::broadcast(T(1)), a));
      r = S::select(wrong, S::add_quiet(r, with_sign_of(abs_b, a)), r);
      r = with_sign_of(S::abs(r), a);
    }
    if (fast != S::first_lanes(S::kLanes)) [[unlikely]] {
      alignas(64) T x[S::kLanes], y[S::kLanes], z[S::kLanes];
      S::store(x, a);
      S::store(y, b);
      S::store(z, r);
      for (int i = 0; i < S::kLanes; ++i)
        if (!((fast >> i) & 1)) z[i] = scalar(x[i], y[i]);
      r = S::load(z);
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

VM_DEFINE_A2R1(s, Fdim, la, zorp::vm::FdimK<float>)
VM_DEFINE_A2R1(d, Fdim, la, zorp::vm::FdimK<double>)
VM_DEFINE_A2R1(s, Fmax, la, zorp::vm::FmaxFminK<float, true>)
VM_DEFINE_A2R1(d, Fmax, la, zorp::vm::FmaxFminK<double, true>)
VM_DEFINE_A2R1(s, Fmin, la, zorp::vm::FmaxFminK<float, false>)
VM_DEFINE_A2R1(d, Fmin, la, zorp::vm::FmaxFminK<double, false>)
VM_DEFINE_A2R1(s, MaxMag, la, zorp::vm::MagK<float, true>)
VM_DEFINE_A2R1(d, MaxMag, la, zorp::vm::MagK<double, true>)
VM_DEFINE_A2R1(s, MinMag, la, zorp::vm::MagK<float, false>)
VM_DEFINE_A2R1(d, MinMag, la, zorp::vm::MagK<double, false>)
VM_DEFINE_A2R1(s, CopySign, la, zorp::vm::CopySignK<float>)
VM_DEFINE_A2R1(d, CopySign, la, zorp::vm::CopySignK<double>)
VM_DEFINE_A2R1(s, NextAfter, la, zorp::vm::NextAfterK<float>)
VM_DEFINE_A2R1(d, NextAfter, la, zorp::vm::NextAfterK<double>)
VM_DEFINE_A2R1(s, Remainder, la, zorp::vm::RemainderK<float, true>)
VM_DEFINE_A2R1(d, Remainder, la, zorp::vm::RemainderK<double, true>)
VM_DEFINE_A2R1(s, Fmod, la, zorp::vm::RemainderK<float, false>)
VM_DEFINE_A2R1(d, Fmod, la, zorp::vm::RemainderK<double, false>)
