// Real arithmetic: Abs, Add, Sub, Mul, Sqr, Div, Inv, Sqrt, LinearFrac, single and double
// precision, as kernel descriptions for the shared driver.
//
// Exact operations (Abs, Add, Sub, Mul, Sqr) have one kernel for every accuracy slot; where the
// catalogue keeps separate slot kernels (dAbs) they are instantiations of the same template.
// Div, Inv and Sqrt keep separate slot symbols, as the catalogue asks, but each slot's result
// already meets HA (see the kernels for why that costs nothing), so the slots share one template.
#include <cmath>
#include <cstdint>
#include <limits>

#include "vm/kernels/common/define.h"
#include "vm/simd/simd.h"

namespace zorp::vm {
namespace {

using simd::Simd;

// Abs clears the sign bit and then adds +0 with round to nearest and exceptions suppressed: a
// signalling NaN comes out quiet, -0 becomes +0, and with the flushing mode the addition sees a
// denormal input as zero (MXCSR DAZ), so it gives +0 too.
template <typename T_>
struct AbsK {
  using T = T_;
  using S = Simd<T>;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsAbs" : "vdAbs";
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = false;
  static typename S::V body(typename S::V a, typename S::M&) {
    return S::add_quiet(S::abs(a), S::broadcast(T(0)));
  }
  static int callout(const T*, T*) { return 0; }
};

#define VM_SIMPLE_BINARY(Name, expr)                                                          \
  template <typename T_>                                                                      \
  struct Name##K {                                                                            \
    using T = T_;                                                                             \
    using S = Simd<T>;                                                                        \
    static constexpr const char* kName = sizeof(T) == 4 ? "vs" #Name : "vd" #Name;            \
    static constexpr int kBlock = 64 * 4 / sizeof(T);                                         \
    static constexpr bool kHasCallout = false;                                                \
    static typename S::V body(typename S::V a, typename S::V b, typename S::M&) { return expr; } \
    static int callout(const T*, const T*, T*) { return 0; }                                  \
  };
VM_SIMPLE_BINARY(Add, S::add(a, b))
VM_SIMPLE_BINARY(Sub, S::sub(a, b))
VM_SIMPLE_BINARY(Mul, S::mul(a, b))
#undef VM_SIMPLE_BINARY

template <typename T_>
struct SqrK {
  using T = T_;
  using S = Simd<T>;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsSqr" : "vdSqr";
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = false;
  static typename S::V body(typename S::V a, typename S::M&) { return S::mul(a, a); }
  static int callout(const T*, T*) { return 0; }
};

// Div reports a zero divisor (status 2) for every dividend but NaN; the stored result is the
// IEEE quotient (±inf, or NaN for 0/0). Every slot uses the correctly rounded instruction: on
// the cores we measured (bench_vm_arith), the pipelined divider beats a reciprocal estimate
// refined far enough for LA, so LA and EP have nothing to gain from a cheaper formula. The main
// loop marks every zero divisor with one compare; the callout leaves out NaN dividends, which
// are rare, instead of a second compare per register.
template <typename T_>
struct DivK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsDiv" : "vdDiv";
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = true;
  static V body(V a, V b, typename S::M& special) {
    special = S::equal(b, S::broadcast(T(0)));
    return S::div(a, b);
  }
  static int callout(const T* a, const T* b, T* r) {
    *r = *a / *b;
    return std::isnan(*a) ? 0 : 2;
  }
};

// Inv: 1/a; status 2 where a is zero (result ±inf).
//
// Single precision starts from the 14-bit reciprocal estimate y and takes one Newton step,
// y + y(1 - ay), whose error before its single rounding is about 2^-28 relative: within an ulp,
// which serves every slot. Lanes with |a| outside [2^-125, 2^125] (zeros, subnormals, huge
// values whose reciprocal is subnormal, infinities, NaN) use the division instead; zeros are
// looked for only in registers that have such lanes. Double precision uses the correctly
// rounded division, faster here than the two or three Newton steps it would need.
template <typename T_>
struct InvK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsInv" : "vdInv";
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = true;
  static V body(V a, typename S::M& special) {
    const V one = S::broadcast(T(1));
    if constexpr (sizeof(T) == 8) {
      special = S::equal(a, S::broadcast(T(0)));
      return S::div(one, a);
    } else {
      const V y0 = S::reciprocal_estimate(a);
      V y = S::fma(y0, S::fnma(a, y0, one), y0);
      const V m = S::abs(a);
      const typename S::M safe = S::less(m, S::broadcast(0x1p125f)) & S::less_equal(S::broadcast(0x1p-125f), m);
      if (safe != S::first_lanes(S::kLanes)) [[unlikely]] {
        y = S::masked_div(y, ~safe, one, a);
        special = S::equal(a, S::broadcast(T(0)));
      }
      return y;
    }
  }
  static int callout(const T* a, T* r) {
    *r = T(1) / *a;
    return 2;
  }
};

// Sqrt: status 1 where a < 0 (result NaN); -0 gives -0 without a report.
template <typename T_>
struct SqrtK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsSqrt" : "vdSqrt";
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = true;
  static V body(V a, typename S::M& special) {
    special = S::less(a, S::broadcast(T(0)));
    return S::sqrt(a);
  }
  static int callout(const T* a, T* r) {
    *r = std::numeric_limits<T>::quiet_NaN();
    return 1;
  }
};

// LinearFrac: (scalea*a + shifta) / (scaleb*b + shiftb), each sum with one rounding, the
// quotient correctly rounded. Nothing is reported: a zero denominator gives the IEEE result.
template <typename T_>
struct LinearFracK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsLinearFrac" : "vdLinearFrac";
  static constexpr int kBlock = 64 * 2 / sizeof(T);
  static constexpr bool kHasCallout = false;
  V scalea, shifta, scaleb, shiftb;
  LinearFracK(T sa, T ha, T sb, T hb)
      : scalea(S::broadcast(sa)), shifta(S::broadcast(ha)), scaleb(S::broadcast(sb)), shiftb(S::broadcast(hb)) {}
  V body(V a, V b, typename S::M&) const {
    return S::div(S::fma(scalea, a, shifta), S::fma(scaleb, b, shiftb));
  }
  int callout(const T*, const T*, T*) const { return 0; }
};

}  // namespace
}  // namespace zorp::vm

VM_DEFINE_A1R1(s, Abs, la, zorp::vm::AbsK<float>)
VM_DEFINE_A1R1(d, Abs, la, zorp::vm::AbsK<double>)
VM_DEFINE_A1R1(d, Abs, ep, zorp::vm::AbsK<double>)
VM_DEFINE_A2R1(s, Add, la, zorp::vm::AddK<float>)
VM_DEFINE_A2R1(d, Add, la, zorp::vm::AddK<double>)
VM_DEFINE_A2R1(s, Sub, la, zorp::vm::SubK<float>)
VM_DEFINE_A2R1(d, Sub, la, zorp::vm::SubK<double>)
VM_DEFINE_A2R1(s, Mul, la, zorp::vm::MulK<float>)
VM_DEFINE_A2R1(d, Mul, la, zorp::vm::MulK<double>)
VM_DEFINE_A1R1(s, Sqr, la, zorp::vm::SqrK<float>)
VM_DEFINE_A1R1(d, Sqr, la, zorp::vm::SqrK<double>)
VM_DEFINE_A2R1(s, Div, la, zorp::vm::DivK<float>)
VM_DEFINE_A2R1(s, Div, ha, zorp::vm::DivK<float>)
VM_DEFINE_A2R1(s, Div, ep, zorp::vm::DivK<float>)
VM_DEFINE_A2R1(d, Div, la, zorp::vm::DivK<double>)
VM_DEFINE_A2R1(d, Div, ha, zorp::vm::DivK<double>)
VM_DEFINE_A2R1(d, Div, ep, zorp::vm::DivK<double>)
VM_DEFINE_A1R1(s, Inv, la, zorp::vm::InvK<float>)
VM_DEFINE_A1R1(s, Inv, ep, zorp::vm::InvK<float>)
VM_DEFINE_A1R1(d, Inv, la, zorp::vm::InvK<double>)
VM_DEFINE_A1R1(d, Inv, ep, zorp::vm::InvK<double>)
VM_DEFINE_A1R1(s, Sqrt, la, zorp::vm::SqrtK<float>)
VM_DEFINE_A1R1(s, Sqrt, ha, zorp::vm::SqrtK<float>)
VM_DEFINE_A1R1(s, Sqrt, ep, zorp::vm::SqrtK<float>)
VM_DEFINE_A1R1(d, Sqrt, la, zorp::vm::SqrtK<double>)
VM_DEFINE_A1R1(d, Sqrt, ha, zorp::vm::SqrtK<double>)
VM_DEFINE_A1R1(d, Sqrt, ep, zorp::vm::SqrtK<double>)

// LinearFrac carries its four scalars in the kernel description.
VM_DECLARE_TTAB(sLinearFrac)
VM_DECLARE_TTAB(dLinearFrac)
#define VM_DEFINE_LINFRAC(t, T)                                                                   \
  extern "C" void zorp_vmk_##t##LinearFrac_la(int32_t n, const T* a, const T* b, T sa, T ha,     \
                                              T sb, T hb, T* r) {                                 \
    zorp::vm::run_a2r1(static_cast<uint32_t>(n), a, b, r, zorp::vm::LinearFracK<T>(sa, ha, sb, hb)); \
  }                                                                                               \
  extern "C" void zorp_vmk_##t##LinearFracI_la(int32_t n, const T* a, int32_t inca, const T* b,  \
                                               int32_t incb, T sa, T ha, T sb, T hb, T* r,        \
                                               int32_t incr) {                                    \
    using Fn = void (*)(int32_t, const T*, const T*, T, T, T, T, T*);                             \
    if (inca == 1 && incb == 1 && incr == 1)                                                      \
      return reinterpret_cast<Fn>(VM_TTAB(t##LinearFrac)[0])(n, a, b, sa, ha, sb, hb, r);         \
    zorp::vm::run_a2r1_strided(static_cast<uint32_t>(n), a, inca, b, incb, r, incr,               \
                               zorp::vm::LinearFracK<T>(sa, ha, sb, hb));                         \
  }
VM_DEFINE_LINFRAC(s, float)
VM_DEFINE_LINFRAC(d, double)
