// Sin, Cos, SinCos and Tan in double precision.
//
// Six kernels are the ones the random distributions call through fixed slots, and their results
// keep their bits; three are here: the double EP sine and sine-cosine (k = round(|x|/pi), pi in
// two parts, a degree-9 odd polynomial, callouts above 2^24 and 2^23) and the double cosine of
// the LA and EP slots (cos x as the sine of (N + 1/2) pi - |x| with pi in three parts and a
// degree-15 polynomial, a whole register through Payne-Hanek once a lane is beyond
// N = 8388606); the single-precision kernels, the single LA three among them, are in
// sincos_single.cpp.
//
// The double cosine's large-argument path runs the layer's Payne-Hanek reduction for the whole
// register and finishes with the accurate sine and cosine of sincos_core.h.
//
// The double HA kernels are the accurate method of sincos_core.h (below one ulp for every finite
// argument); the double LA and EP slots without a fixed kernel its plain method (a single-value
// reduction and one polynomial pair).
// Infinite arguments give NaN and report a domain error (status 1); NaN gives NaN and reports
// nothing.
#include <cmath>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using namespace zorp::vm::trig;

constexpr uint64_t kSignD = uint64_t(1) << 63;
constexpr uint32_t kSignF = uint32_t(1) << 31;

// v with the sign bit of s XOR-ed in.
inline __m512d xor_sign(__m512d v, __m512d s) { return as_double(bit_xor(bits(v), bit_and(bits(s), isplat<double>(kSignD)))); }
inline __m512 xor_sign(__m512 v, __m512 s) { return as_float(bit_xor(bits(v), bit_and(bits(s), isplat<float>(kSignF)))); }
// v with its sign flipped where bit 0 of the integer image of t is set.
inline __m512d flip_if_odd(__m512d v, __m512d t) { return as_double(bit_xor(bits(v), shift_left<63, double>(bits(t)))); }
inline __m512 flip_if_odd(__m512 v, __m512 t) { return as_float(bit_xor(bits(v), shift_left<31, float>(bits(t)))); }

// ---- callouts --------------------------------------------------------------------------------
// An infinity gives NaN (the argument times 0) and a domain report; a NaN gives NaN (the argument
// times itself) and none; a finite argument its value by the accurate method.
template <typename T, Fn F>
int trig_callout(const T* a, T* r) {
  const T x = *a;
  if (std::isnan(x)) *r = x * x;
  else if (std::isinf(x)) *r = x * T(0);
  else *r = static_cast<T>(trig_any<F>(static_cast<double>(x)));
  return result_status<kTrigReports>(*r, x);
}
template <typename T>
int sincos_callout(const T* a, T* s, T* c) {
  const T x = *a;
  if (std::isnan(x)) {
    *s = *c = x * x;
  } else if (std::isinf(x)) {
    *s = *c = x * T(0);
  } else {
    double sd, cd;
    sincos_any(static_cast<double>(x), sd, cd);
    *s = static_cast<T>(sd);
    *c = static_cast<T>(cd);
  }
  return result_status<kTrigReports>(*s, x);
}

// ---- the accurate and plain kernels -----------------------------------------------------------
// M: the plain method (double LA and EP without a fixed kernel; single precision, which is plain in
// every slot) or pairs, the accurate one (double HA).
template <typename T, Fn F, Method M>
struct TrigK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Mask<T>& special) {
    special = classify<kClassInf | kClassNaN>(x);
    if constexpr (M != Method::Pairs) return trig_plain<F>(x);
    else return trig_any<F>(x);
  }
  static int callout(const T* a, T* r) { return trig_callout<T, F>(a, r); }
};

template <typename T, Method M>
struct SinCosK : Kernel<T, 256 / sizeof(T) / 2> {
  static Vec<T> body(Vec<T> x, Vec<T>& cos_x, Mask<T>& special) {
    special = classify<kClassInf | kClassNaN>(x);
    Vec<T> sin_x;
    if constexpr (M != Method::Pairs) sincos_plain(x, sin_x, cos_x);
    else sincos_any(x, sin_x, cos_x);
    return sin_x;
  }
  static int callout(const T* a, T* s, T* c) { return sincos_callout<T>(a, s, c); }
};

// ---- double EP sine and sine-cosine -----------------------------------------------------------
constexpr double kInvPi = 0x1.45f306dc9c883p-2;
constexpr Split<double, 2> kPi2 = {kInvPi, {0x1.921fb54442d18p+1, 0x1.1a62633145c06p-53}};
constexpr Split<double, 3> kPi3 = {kInvPi, {0x1.921fb54442d18p+1, 0x1.1a62633145c06p-53, 0x1.c1cd129024e09p-106}};

// r + r (u S(u)), u = r^2, with the EP polynomial.
inline __m512d sin_ep(__m512d r) {
  const __m512d u = mul_quiet(r, r);
  return fma_quiet(r, mul_quiet(u, horner(u, trigpoly::kSinEpD)), r);
}

struct SinEpD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __m512d a = abs(x);
    special = not_less_equal(a, splat(0x1p24));
    const Multiple<__m512d> k = nearest_multiple(a, kInvPi);
    const __m512d r = flip_if_odd(subtract_multiple(a, k.k, kPi2), k.shifted);
    return xor_sign(sin_ep(r), x);
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Sin>(a, r); }
};

struct SinCosEpD : Kernel<double, 32> {
  static __m512d body(__m512d x, __m512d& cos_x, __mmask8& special) {
    const __m512d a = abs(x);
    special = not_less_equal(a, splat(0x1p23));
    const Multiple<__m512d> k = nearest_multiple(a, kInvPi);
    const __m512d r_s = subtract_multiple(a, k.k, kPi2);
    // Half a turn on from k, toward r_s: r_c in [-pi/2, pi/2], and cos x = -(-1)^k sin r_c for
    // r_s >= 0, (-1)^k sin r_c below.
    const __m512d k_c = add(k.k, xor_sign(splat(0.5), r_s));
    const __m512d r_c = subtract_multiple(a, k_c, kPi2);
    cos_x = flip_bits(xor_sign(flip_if_odd(sin_ep(r_c), k.shifted), r_s), kSignD);
    return xor_sign(sin_ep(flip_if_odd(r_s, k.shifted)), x);
  }
  static int callout(const double* a, double* s, double* c) { return sincos_callout<double>(a, s, c); }
};

// ---- double cosine, LA and EP -----------------------------------------------------------------
struct CosD : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    const __m512d a = abs(x);
    special = classify<kClassInf | kClassNaN>(x);
    const Multiple<__m512d> k = half_multiple(a, kInvPi);  // N + 1/2, N = floor(a/pi)
    // Beyond N = 8388606 (and for NaN) the whole register takes the accurate path.
    if (not_less_equal(k.shifted, splat(simd::from_bits<double>(0x43300000007FFFFEull)))) {
      const __m512d y = trig_any<Fn::Cos>(x);
      return select(classify<kClassNaN>(x), mul(x, x), y);
    }
    // r = a - (N + 1/2) pi, the negation of (N + 1/2) pi - a, squared before its last part.
    __m512d r = subtract_multiple<0, 2>(a, k.k, kPi3);
    const __m512d u = mul_quiet(r, r);
    r = subtract_multiple<2>(r, k.k, kPi3);
    // cos x = (-1)^N sin((N + 1/2) pi - a) = (-1)^(N+1) sin r.
    r = flip_bits(flip_if_odd(r, k.shifted), kSignD);
    const __m512d s = fma_quiet(mul_quiet(r, u), horner(u, trigpoly::kCosKernelD), r);
    return select(less(a, splat(0x1p-27)), splat(1.0), s);
  }
  static int callout(const double* a, double* r) { return trig_callout<double, Fn::Cos>(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(d, Sin, TrigK<double, Fn::Sin, Method::PlainDouble>, TrigK<double, Fn::Sin, Method::Pairs>, SinEpD)
VM_KERNELS(d, Cos, CosD, TrigK<double, Fn::Cos, Method::Pairs>)
VM_KERNELS(d, SinCos, SinCosK<double, Method::PlainDouble>, SinCosK<double, Method::Pairs>, SinCosEpD)
VM_KERNELS(d, Tan, TrigK<double, Fn::Tan, Method::PlainDouble>, TrigK<double, Fn::Tan, Method::Pairs>,
           TrigK<double, Fn::Tan, Method::PlainDouble>)
