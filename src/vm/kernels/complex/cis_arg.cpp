// CIS (cos x + i sin x of a real x) and Arg (the argument atan2(im, re) of a complex z), in
// single and double precision: the trigonometric family's sine-cosine and angle, with results
// laid out as complex pairs, or arguments taken from them.
//
// Slots follow the real functions: the double HA kernels use the accurate methods (below one
// ulp), the double LA and EP kernels the plain ones, and single precision computes plainly in
// double and rounds once. CIS of an infinity is NaN in both parts and reports a domain error
// (status 1); a NaN gives NaN without a report. Arg has C's special cases of atan2 (signed
// zeros, infinities) and reports nothing.
//
// A register of double CIS arguments holds four elements (half a register: their results fill
// a whole one), and a double Arg register four complex elements; both run the double methods on
// eight lanes of which four are used, which is what the layout costs.
#include <cmath>
#include <limits>

#include "simd/complex.h"
#include "simd/vec.h"
#include "vm/kernels/common/atan_core.h"
#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/callout.h"
#include "vm/kernels/common/sincos_core.h"

namespace zorp::vm {
namespace {

using namespace zorp::simd;
using trig::Method;

// cos and sin of eight doubles by the slot's method.
template <Method M>
inline void cos_sin(__m512d x, __m512d& c, __m512d& s) {
  if constexpr (M == Method::Pairs) trig::sincos_any(x, s, c);
  else if constexpr (M == Method::PlainDouble) trig::sincos_plain<double>(x, s, c);
  else trig::sincos_plain<float>(x, s, c);
}

// (cos, sin) pairs from the lanes 0..3 of c and s.
inline __m512d interleave_low(__m512d c, __m512d s) {
  return _mm512_permutex2var_pd(c, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), s);
}

// CIS of an infinity: NaN in both parts and a domain report; of a NaN: NaN without one.
template <typename T, typename C>
int cis_callout(const T* a, C* r) {
  const T x = *a, v = std::isnan(x) ? x * x : x * T(0);
  *r = {v, v};
  return result_status<trig::kTrigReports>(v, x);
}

template <typename T, Method M>
struct CisK;

template <Method M>
struct CisK<double, M> : Kernel<double, 8> {
  using Out = ZorpComplex16;
  static constexpr int kInElems = 4;
  static __m512d body(__m256d a, __mmask8& special) {
    const __m512d x = _mm512_castpd256_pd512(a);
    special = static_cast<__mmask8>(classify<kClassInf | kClassNaN>(x) & 0xF);
    __m512d c, s;
    cos_sin<M>(x, c, s);
    return interleave_low(c, s);
  }
  static int callout(const double* a, ZorpComplex16* r) { return cis_callout(a, r); }
};

template <Method M>
struct CisK<float, M> : Kernel<float, 16> {
  using Out = ZorpComplex8;
  static constexpr int kInElems = 8;
  static __m512 body(__m256 a, __mmask8& special) {
    const __m512d x = _mm512_cvtps_pd(a);
    special = classify<kClassInf | kClassNaN>(x);
    __m512d c, s;
    cos_sin<Method::PlainSingle>(x, c, s);
    const __m512 cf = _mm512_castps256_ps512(_mm512_cvtpd_ps(c)), sf = _mm512_castps256_ps512(_mm512_cvtpd_ps(s));
    return _mm512_permutex2var_ps(
        cf, _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23), sf);
  }
  static int callout(const float* a, ZorpComplex8* r) { return cis_callout(a, r); }
};

template <typename C, Method M>
struct ArgK;

template <Method M>
struct ArgK<ZorpComplex16, M> : Kernel<ZorpComplex16, 8> {
  using Out = double;
  static __m256d body(__m512d z, __mmask8&) {
    const __m512d t = angles::atan2_of<false, M>(imag_parts(z), real_parts(z));
    return _mm512_castpd512_pd256(_mm512_permutexvar_pd(_mm512_setr_epi64(0, 2, 4, 6, 0, 0, 0, 0), t));
  }
};

template <Method M>
struct ArgK<ZorpComplex8, M> : Kernel<ZorpComplex8, 16> {
  using Out = float;
  static __m256 body(__m512 z, __mmask8&) {
    // The eight real parts and the eight imaginary parts, each in one register of doubles.
    const __m512d lo = widen_low(z), hi = widen_high(z);
    const __m512d re = _mm512_permutex2var_pd(lo, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), hi);
    const __m512d im = _mm512_permutex2var_pd(lo, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), hi);
    return _mm512_cvtpd_ps(angles::atan2_of<false, Method::PlainSingle>(im, re));
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(c, CIS, CisK<float, Method::PlainSingle>, CisK<float, Method::PlainSingle>, CisK<float, Method::PlainSingle>)
VM_KERNELS(z, CIS, CisK<double, Method::PlainDouble>, CisK<double, Method::Pairs>, CisK<double, Method::PlainDouble>)
VM_KERNELS(c, Arg, ArgK<ZorpComplex8, Method::PlainSingle>, ArgK<ZorpComplex8, Method::PlainSingle>,
           ArgK<ZorpComplex8, Method::PlainSingle>)
VM_KERNELS(z, Arg, ArgK<ZorpComplex16, Method::PlainDouble>, ArgK<ZorpComplex16, Method::Pairs>,
           ArgK<ZorpComplex16, Method::PlainDouble>)
