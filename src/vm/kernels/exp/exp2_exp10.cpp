// 2^x and 10^x in single and double precision. Each is accurate to below one unit in every
// slot, so one kernel serves LA, HA and EP.
//
// 2^x: the argument is already in octaves. The range-reduction instruction gives
// r = x - floor(16x)/16 exactly, the low four bits of x + 1.5*2^(p-4) added toward -inf index
// the sixteen (high, low) pairs of 2^(i/16), and the scale instruction multiplies by
// 2^floor(x). 10^x: k = x*log2(10) floored onto a grid, r = x - k*log10(2) with log10(2) in two
// parts, and a polynomial in r for 10^r - 1.
//
// The callouts finish lanes beyond the fast path in double precision and derive the status from
// the result: infinite from a finite argument is overflow (3), below the smallest normal
// number (subnormal or zero) is underflow (4).
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

template <typename T>
int status_of_result(T x, T y) {
  if (std::isinf(y)) return 3;
  if (std::fabs(y) < std::numeric_limits<T>::min()) return 4;
  return 0;
}

// Infinite and NaN arguments: results without status. Returns true when x is one.
template <typename T>
bool nonfinite(T x, T* r) {
  if (std::isnan(x)) { *r = x + x; return true; }
  if (std::isinf(x)) { *r = x > 0 ? x : T(0); return true; }
  return false;
}

int exp2_callout_f(const float* a, float* r) {
  const float x = *a;
  if (nonfinite(x, r)) return 0;
  const double xd = x < -200.0f ? -200.0 : (x > 200.0f ? 200.0 : x);
  int m;
  const double y = expscalar::exp2_parts(xd, m);
  *r = static_cast<float>(expscalar::scale_once(y, m));
  return status_of_result(x, *r);
}
int exp2_callout_d(const double* a, double* r) {
  const double x = *a;
  if (nonfinite(x, r)) return 0;
  const double xc = x < -1100.0 ? -1100.0 : (x > 1100.0 ? 1100.0 : x);
  int m;
  const double y = expscalar::exp2_parts(xc, m);
  *r = expscalar::scale_once(y, m);
  return status_of_result(x, *r);
}
int exp10_callout_f(const float* a, float* r) {
  const float x = *a;
  if (nonfinite(x, r)) return 0;
  const double xd = x < -60.0f ? -60.0 : (x > 60.0f ? 60.0 : x);
  int m;
  const double y = expscalar::exp10_parts(xd, m);
  *r = static_cast<float>(expscalar::scale_once(y, m));
  return status_of_result(x, *r);
}
int exp10_callout_d(const double* a, double* r) {
  const double x = *a;
  if (nonfinite(x, r)) return 0;
  const double xc = x < -330.0 ? -330.0 : (x > 330.0 ? 330.0 : x);
  int m;
  const double y = expscalar::exp10_parts(xc, m);
  *r = expscalar::scale_once(y, m);
  return status_of_result(x, *r);
}

struct Exp2F : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_greater(x, _mm512_set1_ps(126.0f));
    const __m512 t = add_toward_minus_inf(x, _mm512_set1_ps(786432.0f));  // 1.5*2^19
    const __m512i j = bits(t);
    const __m512 th = lookup(j, exptab::kH16f);
    const __m512 tl = lookup(j, exptab::kL16fAbs);
    const __m512 r = fraction_below_grid<4>(x);
    __m512 p = fma_quiet(_mm512_set1_ps(0.009829008020460606f), r, _mm512_set1_ps(0.05549252778291702f));
    p = fma_quiet(p, r, _mm512_set1_ps(0.24022676050662994f));
    p = fma_quiet(p, r, _mm512_set1_ps(from_bits32(0x3F317218)));
    p = mul_quiet(p, r);
    return scale_by_pow2(add_quiet(th, fma_quiet(th, p, tl)), x);
  }
  static int callout(const float* a, float* r) { return exp2_callout_f(a, r); }
};

struct Exp2D : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, _mm512_set1_pd(from_bits(0x408FEFFF00000000ull)));
    const __m512d t = add_toward_minus_inf(x, _mm512_set1_pd(422212465065984.0));  // 1.5*2^48
    const __m512i j = bits(t);
    const __m512d th = lookup(j, exptab::kH16);
    const __m512d tl = lookup(j, exptab::kL16Abs);
    const __m512d r = fraction_below_grid<4>(x);
    __m512d p = _mm512_set1_pd(0.00015741120530459663);
    p = fma_quiet(p, r, _mm512_set1_pd(0.0013330645418221986));
    p = fma_quiet(p, r, _mm512_set1_pd(0.009618141545517354));
    p = fma_quiet(p, r, _mm512_set1_pd(0.055504108392381686));
    p = fma_quiet(p, r, _mm512_set1_pd(0.24022650696194142));
    p = fma_quiet(p, r, _mm512_set1_pd(0.6931471805599342));
    p = mul_quiet(p, r);
    return scale_by_pow2(add_quiet(th, fma_quiet(th, p, tl)), x);
  }
  static int callout(const double* a, double* r) { return exp2_callout_d(a, r); }
};

struct Exp10F : Kernel<float, 32> {
  static __m512 body(__m512 x, __mmask16& special) {
    special = abs_at_least(x, _mm512_set1_ps(from_bits32(0x4217B818)));
    const __m512 shifter = _mm512_set1_ps(393216.0f);  // 1.5*2^18: 5 fraction bits
    const __m512 t = fma_toward_zero(x, _mm512_set1_ps(from_bits32(0x40549A78)), shifter);
    const __m512 k = _mm512_sub_ps(t, shifter);
    const __m512i j = bits(t);
    const __m512 h = lookup(j, exptab::kH32);
    const __m512 l = lookup(j, exptab::kL32Abs);
    __m512 r = fma_quiet(k, _mm512_set1_ps(-from_bits32(0x3E9A209B)), x);
    r = fma_quiet(k, _mm512_set1_ps(-from_bits32(0xB2760860)), r);
    __m512 p = fma_quiet(_mm512_set1_ps(2.079305410385132f), r, _mm512_set1_ps(2.6504218578338623f));
    p = fma_quiet(p, r, _mm512_set1_ps(2.3025870323181152f));
    p = mul_quiet(p, r);
    return scale_by_pow2(add_quiet(h, fma_quiet(h, p, l)), k);
  }
  static int callout(const float* a, float* r) { return exp10_callout_f(a, r); }
};

struct Exp10D : Kernel<double, 32> {
  static __m512d body(__m512d x, __mmask8& special) {
    special = abs_at_least(x, _mm512_set1_pd(from_bits(0x40733A7146F72A41ull)));
    const __m512d shifter = _mm512_set1_pd(from_bits(0x42F8000000003FF0ull));
    const __m512d t = fma_toward_zero(x, _mm512_set1_pd(from_bits(0x400A934F0979A371ull)), shifter);
    const __m512d k = _mm512_sub_pd(t, shifter);
    const __m512i j = bits(t);
    const __m512d h = lookup(j, exptab::kH16);
    const __m512d l = lookup(j, exptab::kL16Abs);
    __m512d r = fma_quiet(k, _mm512_set1_pd(-from_bits(0x3FD34413509F79FFull)), x);
    r = fma_quiet(k, _mm512_set1_pd(-from_bits(0xBC49DC1DA994FD21ull)), r);
    __m512d p = _mm512_set1_pd(0.2115324552507909);
    p = fma_quiet(p, r, _mm512_set1_pd(0.5392651004918929));
    p = fma_quiet(p, r, _mm512_set1_pd(1.1712566635458537));
    p = fma_quiet(p, r, _mm512_set1_pd(2.0346785823063307));
    p = fma_quiet(p, r, _mm512_set1_pd(2.6509490552705466));
    p = fma_quiet(p, r, _mm512_set1_pd(2.3025850929940086));
    p = mul_quiet(p, r);
    return scale_by_pow2(add_quiet(h, fma_quiet(h, p, l)), k);
  }
  static int callout(const double* a, double* r) { return exp10_callout_d(a, r); }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Exp2, Exp2F)
VM_KERNELS(d, Exp2, Exp2D)
VM_KERNELS(s, Exp10, Exp10F)
VM_KERNELS(d, Exp10, Exp10D)
