// AVX-512 intrinsics on a processor without AVX-512, for the emulated test build (see isa.h).
//
// Most intrinsics come from SIMDe's portable implementations (Debian's libsimde-dev), which run
// on AVX2 here. The ones that SIMDe's packaged version lacks are written below lane by lane, to
// the instruction's documented behaviour where the kernels rely on it: masked loads and stores
// touch only the selected elements (the kernels use them at the ends of arrays), conversions out
// of range give the integer indefinite value, embedded rounding takes the rounding it is given
// and _MM_FROUND_NO_EXC leaves the status flags as they were, and getexp, getmant, scalef,
// reduce and fpclass keep their special cases. The estimates rcp14 and rsqrt14 return the
// correctly rounded value, which is within the instructions' 2^-14.
#pragma once

#if !defined(SIMDE_ENABLE_NATIVE_ALIASES)
#define SIMDE_ENABLE_NATIVE_ALIASES
#endif
#include <simde/x86/avx512.h>
#include <wmmintrin.h>  // AES-NI is native on the processors this build is for

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace zorp_emu {

template <typename T, typename V>
struct Lanes {
  static constexpr int n = sizeof(V) / sizeof(T);
  T v[n];
  explicit Lanes(const V& x) { std::memcpy(v, &x, sizeof(V)); }
  Lanes() : v{} {}
  T& operator[](int i) { return v[i]; }
  V get() const {
    V x;
    std::memcpy(&x, v, sizeof(V));
    return x;
  }
};
using D8 = Lanes<double, __m512d>;
using F16 = Lanes<float, __m512>;
using I64x8 = Lanes<int64_t, __m512i>;
using U64x8 = Lanes<uint64_t, __m512i>;
using I32x16 = Lanes<int32_t, __m512i>;
using U32x16 = Lanes<uint32_t, __m512i>;
using F8 = Lanes<float, __m256>;
using I32x8 = Lanes<int32_t, __m256i>;
using U32x8 = Lanes<uint32_t, __m256i>;

// ---- rounding and status -----------------------------------------------------------------
// The arithmetic with embedded rounding runs in inline assembly between two MXCSR writes, so
// that the compiler can neither fold it nor move it past the rounding change.
inline uint32_t csr_read() {
  uint32_t c;
  __asm__ volatile("vstmxcsr %0" : "=m"(c));
  return c;
}
inline void csr_write(uint32_t c) { __asm__ volatile("vldmxcsr %0" : : "m"(c) : "memory"); }

class Rounding {
 public:
  explicit Rounding(int r) : saved_(csr_read()), quiet_((r & _MM_FROUND_NO_EXC) != 0) {
    if (!(r & _MM_FROUND_CUR_DIRECTION)) csr_write((saved_ & ~0x6000u) | (static_cast<uint32_t>(r & 3) << 13));
  }
  // Back to the caller's rounding; the flags the operation raised stay unless it was quiet.
  ~Rounding() { csr_write(quiet_ ? saved_ : saved_ | (csr_read() & 0x3Fu)); }

 private:
  uint32_t saved_;
  bool quiet_;
};

#define ZORP_EMU_SCALAR_OP(name, insn_d, insn_f)                                        \
  inline double name(double a, double b) {                                              \
    __asm__ volatile(insn_d " %2, %1, %0" : "=x"(a) : "x"(a), "x"(b));                  \
    return a;                                                                           \
  }                                                                                     \
  inline float name(float a, float b) {                                                 \
    __asm__ volatile(insn_f " %2, %1, %0" : "=x"(a) : "x"(a), "x"(b));                  \
    return a;                                                                           \
  }
ZORP_EMU_SCALAR_OP(op_add, "vaddsd", "vaddss")
ZORP_EMU_SCALAR_OP(op_sub, "vsubsd", "vsubss")
ZORP_EMU_SCALAR_OP(op_mul, "vmulsd", "vmulss")
ZORP_EMU_SCALAR_OP(op_div, "vdivsd", "vdivss")
#undef ZORP_EMU_SCALAR_OP
// a*b + c with one rounding.
inline double op_fma(double a, double b, double c) {
  __asm__ volatile("vfmadd213sd %2, %1, %0" : "+x"(a) : "x"(b), "x"(c));
  return a;
}
inline float op_fma(float a, float b, float c) {
  __asm__ volatile("vfmadd213ss %2, %1, %0" : "+x"(a) : "x"(b), "x"(c));
  return a;
}
inline double op_cvt(uint64_t u) {
  // Exact halves, then one rounding: hi * 2^32 is exact, and so is the sum's rounding step.
  double r;
  if (u >> 53 == 0) {
    int64_t s = static_cast<int64_t>(u);
    __asm__ volatile("vcvtsi2sdq %1, %0, %0" : "=x"(r) : "r"(s));
    return r;
  }
  const double hi = static_cast<double>(u >> 32) * 4294967296.0;  // exact: at most 32 bits
  const double lo = static_cast<double>(u & 0xFFFFFFFFu);         // exact
  return op_add(hi, lo);
}

template <typename L, typename F>
inline auto lanewise_round(L a, L b, int r, F f) {
  Rounding mode(r);
  for (int i = 0; i < L::n; ++i) a[i] = f(a[i], b[i]);
  return a.get();
}

// ---- conversions -------------------------------------------------------------------------
template <typename I, typename T>
inline I truncate_or_indefinite(T x) {
  constexpr T lim = static_cast<T>(std::numeric_limits<I>::max()) + T(1);  // 2^31 or 2^63, exact
  if (!(x > -lim - T(1) && x < lim)) return std::numeric_limits<I>::min();
  const I t = static_cast<I>(x);
  return t;
}

// ---- classes and exponent fields ----------------------------------------------------------
template <typename T>
inline int fp_class(T x) {
  using U = std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>;
  U b;
  std::memcpy(&b, &x, sizeof b);
  const bool neg = b >> (sizeof(U) * 8 - 1);
  if (std::isnan(x)) {
    const U quiet = U(1) << (std::numeric_limits<T>::digits - 2);
    return (b & quiet) ? 0x01 : 0x80;
  }
  if (x == 0) return neg ? 0x04 : 0x02;
  if (std::isinf(x)) return neg ? 0x10 : 0x08;
  int c = neg ? 0x40 : 0;
  if (std::fpclassify(x) == FP_SUBNORMAL) c |= 0x20;
  return c;
}
template <typename T>
inline T getexp(T x) {
  if (std::isnan(x)) return x + x;
  if (x == 0) return -std::numeric_limits<T>::infinity();
  if (std::isinf(x)) return std::numeric_limits<T>::infinity();
  return static_cast<T>(std::ilogb(x));
}
template <typename T>
inline T getmant(T x, int interval, int sign) {
  if (std::isnan(x)) return x + x;
  if ((sign & 2) && std::signbit(x)) return std::numeric_limits<T>::quiet_NaN();
  const T s = (sign & 1) ? T(1) : std::copysign(T(1), x);
  if (x == 0 || std::isinf(x)) return s;
  int e;
  T m = std::fabs(std::frexp(x, &e)) * 2;  // [1, 2)
  switch (interval) {
    case 1: if (((e - 1) & 1) != 0) m *= T(0.5); break;  // [1/2, 2): odd exponents halve
    case 2: m *= T(0.5); break;                           // [1/2, 1)
    case 3: if (m >= T(1.5)) m *= T(0.5); break;          // [3/4, 3/2)
    default: break;                                       // [1, 2)
  }
  return std::copysign(m, s);
}
// a * 2^floor(b), with the instruction's special cases, in SSE multiplies so that overflow
// and underflow raise their flags as the instruction does. Every step but the last is exact:
// scaling up only grows the value, and scaling down first brings it to the least normal
// exponent exactly, so the one inexact multiply is the last.
template <typename T>
inline T scalef(T a, T b) {
  using L = std::numeric_limits<T>;
  if (std::isnan(a)) return op_add(a, a);
  if (std::isnan(b)) return op_add(b, b);
  if (std::isinf(b)) {
    if (b > 0) return (a == 0) ? L::quiet_NaN() : op_mul(a, L::infinity());
    return std::isinf(a) ? L::quiet_NaN() : op_mul(a, T(0));
  }
  if (a == 0 || std::isinf(a)) return a;
  constexpr int kStep = L::max_exponent - 1;  // 2^kStep and 2^-kStep are normal
  const T f = std::floor(b);
  int k = f > 4 * kStep ? 4 * kStep : f < -4 * kStep ? -4 * kStep : static_cast<int>(f);
  T r = a;
  if (k > 0) {
    while (k > kStep) { r = op_mul(r, std::ldexp(T(1), kStep)); k -= kStep; }
    return op_mul(r, std::ldexp(T(1), k));
  }
  const int least = L::min_exponent - 1;  // exponent of the least normal number
  // Subnormal a: make it normal first (exact), and count that in k.
  if (std::fpclassify(r) == FP_SUBNORMAL) { r = op_mul(r, std::ldexp(T(1), L::digits)); k -= L::digits; }
  int e = std::ilogb(r);
  if (e + k >= least) {
    while (k < -kStep) { r = op_mul(r, std::ldexp(T(1), -kStep)); k += kStep; }
    return op_mul(r, std::ldexp(T(1), k));
  }
  // The result is subnormal or zero: bring r to the least normal exponent exactly, then one
  // multiply by a power of two no smaller than the least subnormal does the rounding.
  const int down = least - e;  // <= 0
  for (int d = down; d < 0; d += kStep) r = op_mul(r, std::ldexp(T(1), d < -kStep ? -kStep : d));
  k -= down;
  const int floor_k = least - (L::digits - 1);
  return op_mul(r, std::ldexp(T(1), k < floor_k ? floor_k : k));
}

// The integral multiple of 2^-m nearest x in the direction imm & 3 (or the current one when
// imm & 4), m = imm >> 4: roundscale. SIMDe's packaged version ignores m.
template <typename T>
inline T round_scaled(T x, int imm) {
  if (!std::isfinite(x)) return x + x;
  const int m = (imm >> 4) & 15;
  if (std::fabs(x) >= std::ldexp(T(1), std::numeric_limits<T>::digits - 1 - m)) return x;
  const T s = std::ldexp(x, m);
  T q;
  switch ((imm & 4) ? (static_cast<int>(csr_read() >> 13) & 3) : (imm & 3)) {
    case 0: q = std::nearbyint(s); break;  // ties to even, as the instruction
    case 1: q = std::floor(s); break;
    case 2: q = std::ceil(s); break;
    default: q = std::trunc(s); break;
  }
  return std::copysign(std::ldexp(q, -m), x);
}
// x - roundscale(x), exact; infinities give 0.
template <typename T>
inline T reduce(T x, int imm) {
  if (std::isnan(x)) return x + x;
  if (std::isinf(x)) return T(0);
  const T r = x - round_scaled(x, imm);
  return r == 0 ? std::copysign(T(0), x) : r;
}

// ---- memory ------------------------------------------------------------------------------
template <typename V, typename T, typename M>
inline V masked_load(V src, M k, const void* p) {
  Lanes<T, V> r(src);
  const T* q = static_cast<const T*>(p);
  for (int i = 0; i < Lanes<T, V>::n; ++i)
    if ((k >> i) & 1) std::memcpy(&r[i], q + i, sizeof(T));
  return r.get();
}
template <typename V, typename T, typename M>
inline void masked_store(void* p, M k, V a) {
  Lanes<T, V> v(a);
  T* q = static_cast<T*>(p);
  for (int i = 0; i < Lanes<T, V>::n; ++i)
    if ((k >> i) & 1) std::memcpy(q + i, &v[i], sizeof(T));
}
template <typename V, typename T, typename IV, typename I>
inline V gather(V src, uint32_t k, IV index, const void* base, int scale) {
  Lanes<T, V> r(src);
  Lanes<I, IV> idx(index);
  constexpr int n = Lanes<T, V>::n < Lanes<I, IV>::n ? Lanes<T, V>::n : Lanes<I, IV>::n;
  for (int i = 0; i < n; ++i)
    if ((k >> i) & 1)
      std::memcpy(&r[i], static_cast<const char*>(base) + static_cast<int64_t>(idx[i]) * scale, sizeof(T));
  return r.get();
}
template <typename V, typename T, typename IV, typename I>
inline void scatter(void* base, uint32_t k, IV index, V a, int scale) {
  Lanes<T, V> v(a);
  Lanes<I, IV> idx(index);
  constexpr int n = Lanes<T, V>::n < Lanes<I, IV>::n ? Lanes<T, V>::n : Lanes<I, IV>::n;
  for (int i = 0; i < n; ++i)
    if ((k >> i) & 1) std::memcpy(static_cast<char*>(base) + static_cast<int64_t>(idx[i]) * scale, &v[i], sizeof(T));
}

// ---- horizontal reductions, in the order the compiler's own header uses --------------------
template <typename T, typename L, typename F>
inline T tree(L a, F f) {
  T w[L::n];
  for (int i = 0; i < L::n; ++i) w[i] = a[i];
  for (int half = L::n / 2; half >= 1; half /= 2)
    for (int i = 0; i < half; ++i) w[i] = f(w[i + half], w[i]);
  return w[0];
}

}  // namespace zorp_emu

// ---- the intrinsics ----------------------------------------------------------------------
namespace zorp_emu {

// 256-bit forms
inline __m256 mm256_cvtepu32_ps(__m256i a) { U32x8 s(a); F8 r; for (int i = 0; i < 8; ++i) r[i] = static_cast<float>(s[i]); return r.get(); }
inline __m256d mm256_mask_loadu_pd(__m256d w, __mmask8 k, const void* p) { return masked_load<__m256d, double>(w, k, p); }
inline __m256 mm256_mask_loadu_ps(__m256 w, __mmask8 k, const void* p) { return masked_load<__m256, float>(w, k, p); }
inline __m256i mm256_maskz_loadu_epi32(__mmask8 k, const void* p) { return masked_load<__m256i, int32_t>(_mm256_setzero_si256(), k, p); }
inline __m256 mm256_maskz_loadu_ps(__mmask8 k, const void* p) { return masked_load<__m256, float>(_mm256_setzero_ps(), k, p); }
inline void mm256_mask_storeu_epi32(void* p, __mmask8 k, __m256i a) { masked_store<__m256i, int32_t>(p, k, a); }
inline void mm256_mask_storeu_pd(void* p, __mmask8 k, __m256d a) { masked_store<__m256d, double>(p, k, a); }
inline void mm256_mask_storeu_ps(void* p, __mmask8 k, __m256 a) { masked_store<__m256, float>(p, k, a); }
inline __m256d mm256_mmask_i64gather_pd(__m256d w, __mmask8 k, __m256i idx, const void* b, int s) { return gather<__m256d, double, __m256i, int64_t>(w, k, idx, b, s); }
inline void mm256_mask_i64scatter_pd(void* b, __mmask8 k, __m256i idx, __m256d a, int s) { scatter<__m256d, double, __m256i, int64_t>(b, k, idx, a, s); }
inline __m256i mm256_mullo_epi64(__m256i a, __m256i b) { Lanes<uint64_t, __m256i> x(a), y(b); for (int i = 0; i < 4; ++i) x[i] *= y[i]; return x.get(); }

// arithmetic with embedded rounding
inline __m512d mm512_add_round_pd(__m512d a, __m512d b, int r) { return lanewise_round(D8(a), D8(b), r, [](double x, double y) { return op_add(x, y); }); }
inline __m512 mm512_add_round_ps(__m512 a, __m512 b, int r) { return lanewise_round(F16(a), F16(b), r, [](float x, float y) { return op_add(x, y); }); }
inline __m512d mm512_sub_round_pd(__m512d a, __m512d b, int r) { return lanewise_round(D8(a), D8(b), r, [](double x, double y) { return op_sub(x, y); }); }
inline __m512 mm512_sub_round_ps(__m512 a, __m512 b, int r) { return lanewise_round(F16(a), F16(b), r, [](float x, float y) { return op_sub(x, y); }); }
inline __m512d mm512_mul_round_pd(__m512d a, __m512d b, int r) { return lanewise_round(D8(a), D8(b), r, [](double x, double y) { return op_mul(x, y); }); }
inline __m512 mm512_mul_round_ps(__m512 a, __m512 b, int r) { return lanewise_round(F16(a), F16(b), r, [](float x, float y) { return op_mul(x, y); }); }
inline __m512d mm512_div_round_pd(__m512d a, __m512d b, int r) { return lanewise_round(D8(a), D8(b), r, [](double x, double y) { return op_div(x, y); }); }
inline __m512 mm512_div_round_ps(__m512 a, __m512 b, int r) { return lanewise_round(F16(a), F16(b), r, [](float x, float y) { return op_div(x, y); }); }
template <typename L, typename T>
inline auto fma_round(L a, L b, L c, int r, T sa, T sc) {
  Rounding mode(r);
  for (int i = 0; i < L::n; ++i) a[i] = op_fma(sa * a[i], b[i], sc * c[i]);
  return a.get();
}
inline __m512d mm512_fmadd_round_pd(__m512d a, __m512d b, __m512d c, int r) { return fma_round(D8(a), D8(b), D8(c), r, 1.0, 1.0); }
inline __m512 mm512_fmadd_round_ps(__m512 a, __m512 b, __m512 c, int r) { return fma_round(F16(a), F16(b), F16(c), r, 1.0f, 1.0f); }
inline __m512d mm512_fmsub_round_pd(__m512d a, __m512d b, __m512d c, int r) { return fma_round(D8(a), D8(b), D8(c), r, 1.0, -1.0); }
inline __m512d mm512_fnmadd_round_pd(__m512d a, __m512d b, __m512d c, int r) { return fma_round(D8(a), D8(b), D8(c), r, -1.0, 1.0); }
inline __m512 mm512_fnmadd_round_ps(__m512 a, __m512 b, __m512 c, int r) { return fma_round(F16(a), F16(b), F16(c), r, -1.0f, 1.0f); }

// integer lanes
// Low halves of products, in unsigned arithmetic: SIMDe's portable loop multiplies signed
// integers, an overflow the undefined-behaviour sanitizer stops at.
inline __m512i mm512_mullo_epi64(__m512i a, __m512i b) { U64x8 x(a), y(b); for (int i = 0; i < 8; ++i) x[i] *= y[i]; return x.get(); }
inline __m512i mm512_mullo_epi32(__m512i a, __m512i b) { U32x16 x(a), y(b); for (int i = 0; i < 16; ++i) x[i] *= y[i]; return x.get(); }
inline __m512i mm512_alignr_epi32(__m512i a, __m512i b, int imm) {
  I32x16 x(a), y(b), r; imm &= 15;
  for (int i = 0; i < 16; ++i) r[i] = i + imm < 16 ? y[i + imm] : x[i + imm - 16];
  return r.get();
}
inline __m512i mm512_alignr_epi64(__m512i a, __m512i b, int imm) {
  I64x8 x(a), y(b), r; imm &= 7;
  for (int i = 0; i < 8; ++i) r[i] = i + imm < 8 ? y[i + imm] : x[i + imm - 8];
  return r.get();
}
inline __mmask16 mm512_cmplt_epi32_mask(__m512i a, __m512i b) { I32x16 x(a), y(b); unsigned m = 0; for (int i = 0; i < 16; ++i) m |= unsigned(x[i] < y[i]) << i; return static_cast<__mmask16>(m); }
inline __mmask8 mm512_cmplt_epi64_mask(__m512i a, __m512i b) { I64x8 x(a), y(b); unsigned m = 0; for (int i = 0; i < 8; ++i) m |= unsigned(x[i] < y[i]) << i; return static_cast<__mmask8>(m); }
inline __m512i mm512_srai_epi32(__m512i a, unsigned s) { I32x16 x(a); for (int i = 0; i < 16; ++i) x[i] = x[i] >> (s > 31 ? 31 : s); return x.get(); }
inline __m512i mm512_srai_epi64(__m512i a, unsigned s) { I64x8 x(a); for (int i = 0; i < 8; ++i) x[i] = x[i] >> (s > 63 ? 63 : s); return x.get(); }

// conversions
inline __m512d mm512_cvt_roundepu64_pd(__m512i a, int r) { U64x8 x(a); D8 o; Rounding mode(r); for (int i = 0; i < 8; ++i) o[i] = op_cvt(x[i]); return o.get(); }
inline __m512d mm512_cvtepu64_pd(__m512i a) { U64x8 x(a); D8 o; for (int i = 0; i < 8; ++i) o[i] = op_cvt(x[i]); return o.get(); }
inline __m512i mm512_cvtepi32_epi64(__m256i a) { I32x8 x(a); I64x8 o; for (int i = 0; i < 8; ++i) o[i] = x[i]; return o.get(); }
inline __m512d mm512_cvtepi32_pd(__m256i a) { I32x8 x(a); D8 o; for (int i = 0; i < 8; ++i) o[i] = x[i]; return o.get(); }
inline __m512d mm512_cvtepu32_pd(__m256i a) { U32x8 x(a); D8 o; for (int i = 0; i < 8; ++i) o[i] = x[i]; return o.get(); }
inline __m512d mm512_cvtepi64_pd(__m512i a) { I64x8 x(a); D8 o; for (int i = 0; i < 8; ++i) o[i] = static_cast<double>(x[i]); return o.get(); }
inline __m256 mm512_cvtepi64_ps(__m512i a) { I64x8 x(a); F8 o; for (int i = 0; i < 8; ++i) o[i] = static_cast<float>(x[i]); return o.get(); }
inline __m256 mm512_cvtepu64_ps(__m512i a) { U64x8 x(a); F8 o; for (int i = 0; i < 8; ++i) o[i] = static_cast<float>(x[i]); return o.get(); }
inline __m512 mm512_cvtepu32_ps(__m512i a) { U32x16 x(a); F16 o; for (int i = 0; i < 16; ++i) o[i] = static_cast<float>(x[i]); return o.get(); }
inline __m256 mm512_cvtpd_ps(__m512d a) { D8 x(a); F8 o; for (int i = 0; i < 8; ++i) o[i] = static_cast<float>(x[i]); return o.get(); }
inline __m512d mm512_cvtps_pd(__m256 a) { F8 x(a); D8 o; for (int i = 0; i < 8; ++i) o[i] = x[i]; return o.get(); }
inline __m512d mm512_mask_cvtps_pd(__m512d w, __mmask8 k, __m256 a) { F8 x(a); D8 o(w); for (int i = 0; i < 8; ++i) if ((k >> i) & 1) o[i] = x[i]; return o.get(); }
inline double mm512_cvtsd_f64(__m512d a) { return D8(a)[0]; }
inline float mm512_cvtss_f32(__m512 a) { return F16(a)[0]; }
inline __m256i mm512_cvttpd_epi32(__m512d a) { D8 x(a); I32x8 o; for (int i = 0; i < 8; ++i) o[i] = truncate_or_indefinite<int32_t>(x[i]); return o.get(); }
inline __m512i mm512_cvttpd_epi64(__m512d a) { D8 x(a); I64x8 o; for (int i = 0; i < 8; ++i) o[i] = truncate_or_indefinite<int64_t>(x[i]); return o.get(); }
inline __m512i mm512_cvttps_epi64(__m256 a) { F8 x(a); I64x8 o; for (int i = 0; i < 8; ++i) o[i] = truncate_or_indefinite<int64_t>(x[i]); return o.get(); }
inline void mm512_mask_cvtepi64_storeu_epi32(void* p, __mmask8 k, __m512i a) {
  I64x8 x(a);
  for (int i = 0; i < 8; ++i)
    if ((k >> i) & 1) { const int32_t v = static_cast<int32_t>(x[i]); std::memcpy(static_cast<char*>(p) + 4 * i, &v, 4); }
}

// classes, exponents, mantissas, scaling, reduction
inline __mmask8 mm512_fpclass_pd_mask(__m512d a, int imm) { D8 x(a); unsigned m = 0; for (int i = 0; i < 8; ++i) m |= unsigned((fp_class(x[i]) & imm) != 0) << i; return static_cast<__mmask8>(m); }
inline __mmask16 mm512_fpclass_ps_mask(__m512 a, int imm) { F16 x(a); unsigned m = 0; for (int i = 0; i < 16; ++i) m |= unsigned((fp_class(x[i]) & imm) != 0) << i; return static_cast<__mmask16>(m); }
inline __m512d mm512_getexp_round_pd(__m512d a, int) { D8 x(a); for (int i = 0; i < 8; ++i) x[i] = getexp(x[i]); return x.get(); }
inline __m512 mm512_getexp_round_ps(__m512 a, int) { F16 x(a); for (int i = 0; i < 16; ++i) x[i] = getexp(x[i]); return x.get(); }
inline __m512d mm512_getmant_round_pd(__m512d a, int in, int sg, int) { D8 x(a); for (int i = 0; i < 8; ++i) x[i] = getmant(x[i], in, sg); return x.get(); }
inline __m512 mm512_getmant_round_ps(__m512 a, int in, int sg, int) { F16 x(a); for (int i = 0; i < 16; ++i) x[i] = getmant(x[i], in, sg); return x.get(); }
inline __m512d mm512_scalef_round_pd(__m512d a, __m512d b, int r) { D8 x(a), y(b); Rounding mode(r); for (int i = 0; i < 8; ++i) x[i] = scalef(x[i], y[i]); return x.get(); }
inline __m512 mm512_scalef_round_ps(__m512 a, __m512 b, int r) { F16 x(a), y(b); Rounding mode(r); for (int i = 0; i < 16; ++i) x[i] = scalef(x[i], y[i]); return x.get(); }
inline __m512d mm512_reduce_round_pd(__m512d a, int imm, int) { D8 x(a); for (int i = 0; i < 8; ++i) x[i] = reduce(x[i], imm); return x.get(); }
inline __m512 mm512_reduce_round_ps(__m512 a, int imm, int) { F16 x(a); for (int i = 0; i < 16; ++i) x[i] = reduce(x[i], imm); return x.get(); }
inline __m512d mm512_rcp14_pd(__m512d a) { D8 x(a); for (int i = 0; i < 8; ++i) x[i] = 1.0 / x[i]; return x.get(); }
inline __m512 mm512_rcp14_ps(__m512 a) { F16 x(a); for (int i = 0; i < 16; ++i) x[i] = 1.0f / x[i]; return x.get(); }
inline __m512d mm512_rsqrt14_pd(__m512d a) { D8 x(a); for (int i = 0; i < 8; ++i) x[i] = 1.0 / std::sqrt(x[i]); return x.get(); }
inline __m512 mm512_rsqrt14_ps(__m512 a) { F16 x(a); for (int i = 0; i < 16; ++i) x[i] = static_cast<float>(1.0 / std::sqrt(static_cast<double>(x[i]))); return x.get(); }

// horizontal
inline double mm512_reduce_add_pd(__m512d a) { return tree<double>(D8(a), [](double h, double l) { return h + l; }); }
inline float mm512_reduce_add_ps(__m512 a) { return tree<float>(F16(a), [](float h, float l) { return h + l; }); }
inline double mm512_reduce_max_pd(__m512d a) { return tree<double>(D8(a), [](double h, double l) { return h > l ? h : l; }); }
inline float mm512_reduce_max_ps(__m512 a) { return tree<float>(F16(a), [](float h, float l) { return h > l ? h : l; }); }
inline double mm512_reduce_min_pd(__m512d a) { return tree<double>(D8(a), [](double h, double l) { return h < l ? h : l; }); }
inline float mm512_reduce_min_ps(__m512 a) { return tree<float>(F16(a), [](float h, float l) { return h < l ? h : l; }); }

inline __m512d mm512_roundscale_pd(__m512d a, int imm) { D8 x(a); for (int i = 0; i < 8; ++i) x[i] = round_scaled(x[i], imm); return x.get(); }
inline __m512 mm512_roundscale_ps(__m512 a, int imm) { F16 x(a); for (int i = 0; i < 16; ++i) x[i] = round_scaled(x[i], imm); return x.get(); }
inline __m512d mm512_roundscale_round_pd(__m512d a, int imm, int) { return mm512_roundscale_pd(a, imm); }
inline __m512 mm512_roundscale_round_ps(__m512 a, int imm, int) { return mm512_roundscale_ps(a, imm); }

// Absolute value: the sign bit cleared, of NaNs and -0 too (SIMDe's packaged version compares).
inline __m512d mm512_abs_pd(__m512d a) { Lanes<uint64_t, __m512d> x(a); for (int i = 0; i < 8; ++i) x[i] &= ~(uint64_t(1) << 63); return x.get(); }
inline __m512 mm512_abs_ps(__m512 a) { Lanes<uint32_t, __m512> x(a); for (int i = 0; i < 16; ++i) x[i] &= ~(uint32_t(1) << 31); return x.get(); }

// moves and permutes
inline __m512d mm512_movedup_pd(__m512d a) { D8 x(a); for (int i = 0; i < 8; i += 2) x[i + 1] = x[i]; return x.get(); }
inline __m512 mm512_movehdup_ps(__m512 a) { F16 x(a); for (int i = 0; i < 16; i += 2) x[i] = x[i + 1]; return x.get(); }
inline __m512 mm512_moveldup_ps(__m512 a) { F16 x(a); for (int i = 0; i < 16; i += 2) x[i + 1] = x[i]; return x.get(); }
inline __m512d mm512_permute_pd(__m512d a, int c) { D8 x(a), r; for (int i = 0; i < 8; ++i) r[i] = x[(i & ~1) + ((c >> i) & 1)]; return r.get(); }
inline __m512 mm512_permute_ps(__m512 a, int c) { F16 x(a), r; for (int i = 0; i < 16; ++i) r[i] = x[(i & ~3) + ((c >> (2 * (i & 3))) & 3)]; return r.get(); }
inline __m512d mm512_shuffle_f64x2(__m512d a, __m512d b, int imm) {
  D8 x(a), y(b), r;
  for (int blk = 0; blk < 4; ++blk) {
    const int sel = (imm >> (2 * blk)) & 3;
    D8& from = blk < 2 ? x : y;
    r[2 * blk] = from[2 * sel];
    r[2 * blk + 1] = from[2 * sel + 1];
  }
  return r.get();
}
inline __m512 mm512_zextps256_ps512(__m256 a) { F8 x(a); F16 r; for (int i = 0; i < 8; ++i) r[i] = x[i]; return r.get(); }

// memory
inline __m512d mm512_mask_loadu_pd(__m512d w, __mmask8 k, const void* p) { return masked_load<__m512d, double>(w, k, p); }
inline __m512 mm512_mask_loadu_ps(__m512 w, __mmask16 k, const void* p) { return masked_load<__m512, float>(w, k, p); }
inline __m512d mm512_maskz_loadu_pd(__mmask8 k, const void* p) { return masked_load<__m512d, double>(_mm512_setzero_pd(), k, p); }
inline __m512 mm512_maskz_loadu_ps(__mmask16 k, const void* p) { return masked_load<__m512, float>(_mm512_setzero_ps(), k, p); }
inline __m512i mm512_maskz_loadu_epi32(__mmask16 k, const void* p) { return masked_load<__m512i, int32_t>(_mm512_setzero_si512(), k, p); }
inline __m512i mm512_maskz_loadu_epi64(__mmask8 k, const void* p) { return masked_load<__m512i, int64_t>(_mm512_setzero_si512(), k, p); }
inline __m512i mm512_maskz_loadu_epi8(__mmask64 k, const void* p) { return masked_load<__m512i, int8_t>(_mm512_setzero_si512(), k, p); }
inline void mm512_mask_storeu_pd(void* p, __mmask8 k, __m512d a) { masked_store<__m512d, double>(p, k, a); }
inline void mm512_mask_storeu_ps(void* p, __mmask16 k, __m512 a) { masked_store<__m512, float>(p, k, a); }
inline void mm512_mask_storeu_epi32(void* p, __mmask16 k, __m512i a) { masked_store<__m512i, int32_t>(p, k, a); }
inline void mm512_mask_storeu_epi64(void* p, __mmask8 k, __m512i a) { masked_store<__m512i, int64_t>(p, k, a); }
inline void mm512_mask_storeu_epi8(void* p, __mmask64 k, __m512i a) { masked_store<__m512i, int8_t>(p, k, a); }
inline void mm512_stream_pd(double* p, __m512d a) { std::memcpy(p, &a, 64); }
inline void mm512_stream_ps(float* p, __m512 a) { std::memcpy(p, &a, 64); }
inline __m512i mm512_mask_expandloadu_epi32(__m512i w, __mmask16 k, const void* p) {
  I32x16 r(w); const int32_t* q = static_cast<const int32_t*>(p);
  for (int i = 0; i < 16; ++i) if ((k >> i) & 1) std::memcpy(&r[i], q++, 4);
  return r.get();
}
inline __m512i mm512_mask_expandloadu_epi64(__m512i w, __mmask8 k, const void* p) {
  I64x8 r(w); const int64_t* q = static_cast<const int64_t*>(p);
  for (int i = 0; i < 8; ++i) if ((k >> i) & 1) std::memcpy(&r[i], q++, 8);
  return r.get();
}
inline __m512i mm512_i32gather_epi32(__m512i idx, const void* b, int s) { return gather<__m512i, int32_t, __m512i, int32_t>(_mm512_setzero_si512(), 0xFFFF, idx, b, s); }
inline __m512i mm512_i32gather_epi64(__m256i idx, const void* b, int s) { return gather<__m512i, int64_t, __m256i, int32_t>(_mm512_setzero_si512(), 0xFF, idx, b, s); }
inline __m512i mm512_i64gather_epi64(__m512i idx, const void* b, int s) { return gather<__m512i, int64_t, __m512i, int64_t>(_mm512_setzero_si512(), 0xFF, idx, b, s); }
inline __m512d mm512_i64gather_pd(__m512i idx, const void* b, int s) { return gather<__m512d, double, __m512i, int64_t>(_mm512_setzero_pd(), 0xFF, idx, b, s); }
inline __m512i mm512_mask_i64gather_epi64(__m512i w, __mmask8 k, __m512i idx, const void* b, int s) { return gather<__m512i, int64_t, __m512i, int64_t>(w, k, idx, b, s); }
inline __m512d mm512_mask_i64gather_pd(__m512d w, __mmask8 k, __m512i idx, const void* b, int s) { return gather<__m512d, double, __m512i, int64_t>(w, k, idx, b, s); }
inline __m256 mm512_mask_i64gather_ps(__m256 w, __mmask8 k, __m512i idx, const void* b, int s) { return gather<__m256, float, __m512i, int64_t>(w, k, idx, b, s); }
inline void mm512_i32scatter_epi32(void* b, __m512i idx, __m512i a, int s) { scatter<__m512i, int32_t, __m512i, int32_t>(b, 0xFFFF, idx, a, s); }
inline void mm512_i32scatter_epi64(void* b, __m256i idx, __m512i a, int s) { scatter<__m512i, int64_t, __m256i, int32_t>(b, 0xFF, idx, a, s); }
inline void mm512_mask_i64scatter_pd(void* b, __mmask8 k, __m512i idx, __m512d a, int s) { scatter<__m512d, double, __m512i, int64_t>(b, k, idx, a, s); }
inline void mm512_mask_i64scatter_ps(void* b, __mmask8 k, __m512i idx, __m256 a, int s) { scatter<__m256, float, __m512i, int64_t>(b, k, idx, a, s); }

}  // namespace zorp_emu

// The compiler's header declares these names too (as functions, or as macros in an unoptimised
// build); the emulation's take their place from here on.
#undef _mm256_cvtepu32_ps
#define _mm256_cvtepu32_ps zorp_emu::mm256_cvtepu32_ps
#undef _mm256_mask_loadu_pd
#define _mm256_mask_loadu_pd zorp_emu::mm256_mask_loadu_pd
#undef _mm256_mask_loadu_ps
#define _mm256_mask_loadu_ps zorp_emu::mm256_mask_loadu_ps
#undef _mm256_maskz_loadu_epi32
#define _mm256_maskz_loadu_epi32 zorp_emu::mm256_maskz_loadu_epi32
#undef _mm256_maskz_loadu_ps
#define _mm256_maskz_loadu_ps zorp_emu::mm256_maskz_loadu_ps
#undef _mm256_mask_storeu_epi32
#define _mm256_mask_storeu_epi32 zorp_emu::mm256_mask_storeu_epi32
#undef _mm256_mask_storeu_pd
#define _mm256_mask_storeu_pd zorp_emu::mm256_mask_storeu_pd
#undef _mm256_mask_storeu_ps
#define _mm256_mask_storeu_ps zorp_emu::mm256_mask_storeu_ps
#undef _mm256_mmask_i64gather_pd
#define _mm256_mmask_i64gather_pd zorp_emu::mm256_mmask_i64gather_pd
#undef _mm256_mask_i64scatter_pd
#define _mm256_mask_i64scatter_pd zorp_emu::mm256_mask_i64scatter_pd
#undef _mm256_mullo_epi64
#define _mm256_mullo_epi64 zorp_emu::mm256_mullo_epi64
#undef _mm512_add_round_pd
#define _mm512_add_round_pd zorp_emu::mm512_add_round_pd
#undef _mm512_add_round_ps
#define _mm512_add_round_ps zorp_emu::mm512_add_round_ps
#undef _mm512_sub_round_pd
#define _mm512_sub_round_pd zorp_emu::mm512_sub_round_pd
#undef _mm512_sub_round_ps
#define _mm512_sub_round_ps zorp_emu::mm512_sub_round_ps
#undef _mm512_mul_round_pd
#define _mm512_mul_round_pd zorp_emu::mm512_mul_round_pd
#undef _mm512_mul_round_ps
#define _mm512_mul_round_ps zorp_emu::mm512_mul_round_ps
#undef _mm512_div_round_pd
#define _mm512_div_round_pd zorp_emu::mm512_div_round_pd
#undef _mm512_div_round_ps
#define _mm512_div_round_ps zorp_emu::mm512_div_round_ps
#undef _mm512_fmadd_round_pd
#define _mm512_fmadd_round_pd zorp_emu::mm512_fmadd_round_pd
#undef _mm512_fmadd_round_ps
#define _mm512_fmadd_round_ps zorp_emu::mm512_fmadd_round_ps
#undef _mm512_fmsub_round_pd
#define _mm512_fmsub_round_pd zorp_emu::mm512_fmsub_round_pd
#undef _mm512_fnmadd_round_pd
#define _mm512_fnmadd_round_pd zorp_emu::mm512_fnmadd_round_pd
#undef _mm512_fnmadd_round_ps
#define _mm512_fnmadd_round_ps zorp_emu::mm512_fnmadd_round_ps
#undef _mm512_mullo_epi64
#define _mm512_mullo_epi64 zorp_emu::mm512_mullo_epi64
#undef _mm512_mullo_epi32
#define _mm512_mullo_epi32 zorp_emu::mm512_mullo_epi32
#undef _mm512_alignr_epi32
#define _mm512_alignr_epi32 zorp_emu::mm512_alignr_epi32
#undef _mm512_alignr_epi64
#define _mm512_alignr_epi64 zorp_emu::mm512_alignr_epi64
#undef _mm512_cmplt_epi32_mask
#define _mm512_cmplt_epi32_mask zorp_emu::mm512_cmplt_epi32_mask
#undef _mm512_cmplt_epi64_mask
#define _mm512_cmplt_epi64_mask zorp_emu::mm512_cmplt_epi64_mask
#undef _mm512_srai_epi32
#define _mm512_srai_epi32 zorp_emu::mm512_srai_epi32
#undef _mm512_srai_epi64
#define _mm512_srai_epi64 zorp_emu::mm512_srai_epi64
#undef _mm512_cvt_roundepu64_pd
#define _mm512_cvt_roundepu64_pd zorp_emu::mm512_cvt_roundepu64_pd
#undef _mm512_cvtepu64_pd
#define _mm512_cvtepu64_pd zorp_emu::mm512_cvtepu64_pd
#undef _mm512_cvtepi32_epi64
#define _mm512_cvtepi32_epi64 zorp_emu::mm512_cvtepi32_epi64
#undef _mm512_cvtepi32_pd
#define _mm512_cvtepi32_pd zorp_emu::mm512_cvtepi32_pd
#undef _mm512_cvtepu32_pd
#define _mm512_cvtepu32_pd zorp_emu::mm512_cvtepu32_pd
#undef _mm512_cvtepi64_pd
#define _mm512_cvtepi64_pd zorp_emu::mm512_cvtepi64_pd
#undef _mm512_cvtepi64_ps
#define _mm512_cvtepi64_ps zorp_emu::mm512_cvtepi64_ps
#undef _mm512_cvtepu64_ps
#define _mm512_cvtepu64_ps zorp_emu::mm512_cvtepu64_ps
#undef _mm512_cvtepu32_ps
#define _mm512_cvtepu32_ps zorp_emu::mm512_cvtepu32_ps
#undef _mm512_cvtpd_ps
#define _mm512_cvtpd_ps zorp_emu::mm512_cvtpd_ps
#undef _mm512_cvtps_pd
#define _mm512_cvtps_pd zorp_emu::mm512_cvtps_pd
#undef _mm512_mask_cvtps_pd
#define _mm512_mask_cvtps_pd zorp_emu::mm512_mask_cvtps_pd
#undef _mm512_cvtsd_f64
#define _mm512_cvtsd_f64 zorp_emu::mm512_cvtsd_f64
#undef _mm512_cvtss_f32
#define _mm512_cvtss_f32 zorp_emu::mm512_cvtss_f32
#undef _mm512_cvttpd_epi32
#define _mm512_cvttpd_epi32 zorp_emu::mm512_cvttpd_epi32
#undef _mm512_cvttpd_epi64
#define _mm512_cvttpd_epi64 zorp_emu::mm512_cvttpd_epi64
#undef _mm512_cvttps_epi64
#define _mm512_cvttps_epi64 zorp_emu::mm512_cvttps_epi64
#undef _mm512_mask_cvtepi64_storeu_epi32
#define _mm512_mask_cvtepi64_storeu_epi32 zorp_emu::mm512_mask_cvtepi64_storeu_epi32
#undef _mm512_fpclass_pd_mask
#define _mm512_fpclass_pd_mask zorp_emu::mm512_fpclass_pd_mask
#undef _mm512_fpclass_ps_mask
#define _mm512_fpclass_ps_mask zorp_emu::mm512_fpclass_ps_mask
#undef _mm512_getexp_round_pd
#define _mm512_getexp_round_pd zorp_emu::mm512_getexp_round_pd
#undef _mm512_getexp_round_ps
#define _mm512_getexp_round_ps zorp_emu::mm512_getexp_round_ps
#undef _mm512_getmant_round_pd
#define _mm512_getmant_round_pd zorp_emu::mm512_getmant_round_pd
#undef _mm512_getmant_round_ps
#define _mm512_getmant_round_ps zorp_emu::mm512_getmant_round_ps
#undef _mm512_scalef_round_pd
#define _mm512_scalef_round_pd zorp_emu::mm512_scalef_round_pd
#undef _mm512_scalef_round_ps
#define _mm512_scalef_round_ps zorp_emu::mm512_scalef_round_ps
#undef _mm512_reduce_round_pd
#define _mm512_reduce_round_pd zorp_emu::mm512_reduce_round_pd
#undef _mm512_reduce_round_ps
#define _mm512_reduce_round_ps zorp_emu::mm512_reduce_round_ps
#undef _mm512_rcp14_pd
#define _mm512_rcp14_pd zorp_emu::mm512_rcp14_pd
#undef _mm512_rcp14_ps
#define _mm512_rcp14_ps zorp_emu::mm512_rcp14_ps
#undef _mm512_rsqrt14_pd
#define _mm512_rsqrt14_pd zorp_emu::mm512_rsqrt14_pd
#undef _mm512_rsqrt14_ps
#define _mm512_rsqrt14_ps zorp_emu::mm512_rsqrt14_ps
#undef _mm512_reduce_add_pd
#define _mm512_reduce_add_pd zorp_emu::mm512_reduce_add_pd
#undef _mm512_reduce_add_ps
#define _mm512_reduce_add_ps zorp_emu::mm512_reduce_add_ps
#undef _mm512_reduce_max_pd
#define _mm512_reduce_max_pd zorp_emu::mm512_reduce_max_pd
#undef _mm512_reduce_max_ps
#define _mm512_reduce_max_ps zorp_emu::mm512_reduce_max_ps
#undef _mm512_reduce_min_pd
#define _mm512_reduce_min_pd zorp_emu::mm512_reduce_min_pd
#undef _mm512_reduce_min_ps
#define _mm512_reduce_min_ps zorp_emu::mm512_reduce_min_ps
#undef _mm512_roundscale_pd
#define _mm512_roundscale_pd zorp_emu::mm512_roundscale_pd
#undef _mm512_roundscale_ps
#define _mm512_roundscale_ps zorp_emu::mm512_roundscale_ps
#undef _mm512_roundscale_round_pd
#define _mm512_roundscale_round_pd zorp_emu::mm512_roundscale_round_pd
#undef _mm512_roundscale_round_ps
#define _mm512_roundscale_round_ps zorp_emu::mm512_roundscale_round_ps
#undef _mm512_abs_pd
#define _mm512_abs_pd zorp_emu::mm512_abs_pd
#undef _mm512_abs_ps
#define _mm512_abs_ps zorp_emu::mm512_abs_ps
#undef _mm512_movedup_pd
#define _mm512_movedup_pd zorp_emu::mm512_movedup_pd
#undef _mm512_movehdup_ps
#define _mm512_movehdup_ps zorp_emu::mm512_movehdup_ps
#undef _mm512_moveldup_ps
#define _mm512_moveldup_ps zorp_emu::mm512_moveldup_ps
#undef _mm512_permute_pd
#define _mm512_permute_pd zorp_emu::mm512_permute_pd
#undef _mm512_permute_ps
#define _mm512_permute_ps zorp_emu::mm512_permute_ps
#undef _mm512_shuffle_f64x2
#define _mm512_shuffle_f64x2 zorp_emu::mm512_shuffle_f64x2
#undef _mm512_zextps256_ps512
#define _mm512_zextps256_ps512 zorp_emu::mm512_zextps256_ps512
#undef _mm512_mask_loadu_pd
#define _mm512_mask_loadu_pd zorp_emu::mm512_mask_loadu_pd
#undef _mm512_mask_loadu_ps
#define _mm512_mask_loadu_ps zorp_emu::mm512_mask_loadu_ps
#undef _mm512_maskz_loadu_pd
#define _mm512_maskz_loadu_pd zorp_emu::mm512_maskz_loadu_pd
#undef _mm512_maskz_loadu_ps
#define _mm512_maskz_loadu_ps zorp_emu::mm512_maskz_loadu_ps
#undef _mm512_maskz_loadu_epi32
#define _mm512_maskz_loadu_epi32 zorp_emu::mm512_maskz_loadu_epi32
#undef _mm512_maskz_loadu_epi64
#define _mm512_maskz_loadu_epi64 zorp_emu::mm512_maskz_loadu_epi64
#undef _mm512_maskz_loadu_epi8
#define _mm512_maskz_loadu_epi8 zorp_emu::mm512_maskz_loadu_epi8
#undef _mm512_mask_storeu_pd
#define _mm512_mask_storeu_pd zorp_emu::mm512_mask_storeu_pd
#undef _mm512_mask_storeu_ps
#define _mm512_mask_storeu_ps zorp_emu::mm512_mask_storeu_ps
#undef _mm512_mask_storeu_epi32
#define _mm512_mask_storeu_epi32 zorp_emu::mm512_mask_storeu_epi32
#undef _mm512_mask_storeu_epi64
#define _mm512_mask_storeu_epi64 zorp_emu::mm512_mask_storeu_epi64
#undef _mm512_mask_storeu_epi8
#define _mm512_mask_storeu_epi8 zorp_emu::mm512_mask_storeu_epi8
#undef _mm512_stream_pd
#define _mm512_stream_pd zorp_emu::mm512_stream_pd
#undef _mm512_stream_ps
#define _mm512_stream_ps zorp_emu::mm512_stream_ps
#undef _mm512_mask_expandloadu_epi32
#define _mm512_mask_expandloadu_epi32 zorp_emu::mm512_mask_expandloadu_epi32
#undef _mm512_mask_expandloadu_epi64
#define _mm512_mask_expandloadu_epi64 zorp_emu::mm512_mask_expandloadu_epi64
#undef _mm512_i32gather_epi32
#define _mm512_i32gather_epi32 zorp_emu::mm512_i32gather_epi32
#undef _mm512_i32gather_epi64
#define _mm512_i32gather_epi64 zorp_emu::mm512_i32gather_epi64
#undef _mm512_i64gather_epi64
#define _mm512_i64gather_epi64 zorp_emu::mm512_i64gather_epi64
#undef _mm512_i64gather_pd
#define _mm512_i64gather_pd zorp_emu::mm512_i64gather_pd
#undef _mm512_mask_i64gather_epi64
#define _mm512_mask_i64gather_epi64 zorp_emu::mm512_mask_i64gather_epi64
#undef _mm512_mask_i64gather_pd
#define _mm512_mask_i64gather_pd zorp_emu::mm512_mask_i64gather_pd
#undef _mm512_mask_i64gather_ps
#define _mm512_mask_i64gather_ps zorp_emu::mm512_mask_i64gather_ps
#undef _mm512_i32scatter_epi32
#define _mm512_i32scatter_epi32 zorp_emu::mm512_i32scatter_epi32
#undef _mm512_i32scatter_epi64
#define _mm512_i32scatter_epi64 zorp_emu::mm512_i32scatter_epi64
#undef _mm512_mask_i64scatter_pd
#define _mm512_mask_i64scatter_pd zorp_emu::mm512_mask_i64scatter_pd
#undef _mm512_mask_i64scatter_ps
#define _mm512_mask_i64scatter_ps zorp_emu::mm512_mask_i64scatter_ps
