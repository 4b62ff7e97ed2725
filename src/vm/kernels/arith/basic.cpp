// Real arithmetic: Abs, Add, Sub, Mul, Sqr, Div, Inv, Sqrt, LinearFrac, single and double
// precision, as kernel descriptions for the shared driver.
//
// Exact operations (Abs, Add, Sub, Mul, Sqr) have one kernel for every accuracy slot; where the
// catalogue keeps separate slot kernels (dAbs) they are instantiations of the same template.
// Div, Inv and Sqrt differ by slot: HA uses the correctly rounded instruction; LA and EP start
// from the 14-bit reciprocal estimate and refine it by Newton steps, as many as the class needs,
// and fall back to the instruction on the lanes where the estimate is unreliable (operands near
// the ends of the exponent range, zeros, infinities, NaN), so that every lane meets its class.
#include <cmath>
#include <cstdint>
#include <limits>

#include "vm/kernels/common/define.h"
#include "vm/simd/simd.h"

namespace zorp::vm {
namespace {

using simd::Simd;
enum class Acc { LA, HA, EP };

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

// Lanes where the reciprocal estimate of b and the quotient a/b stay well inside the normal
// range, so that neither the refinement nor the residual can overflow or lose bits to
// subnormals: the exponents of b and of the quotient (ea - eb) are bounded. This also excludes
// zeros, infinities and NaN, whose exponents are infinite or NaN.
template <typename S>
inline typename S::M moderate_exponents(typename S::V a, typename S::V b) {
  using T = typename S::T;
  const typename S::V bound = S::broadcast(sizeof(T) == 4 ? T(120) : T(1000));
  const typename S::V eb = S::exponent_of(b);
  return S::less(S::abs(S::sub(S::exponent_of(a), eb)), bound) & S::less(S::abs(eb), bound);
}

// 1/b refined from the estimate: each Newton step y + y(1 - by) doubles the correct bits
// (14 -> 28 -> 56).
template <typename S, int kSteps>
inline typename S::V refined_reciprocal(typename S::V b) {
  using V = typename S::V;
  const V one = S::broadcast(typename S::T(1));
  V y = S::reciprocal_estimate(b);
  for (int k = 0; k < kSteps; ++k) y = S::fma(y, S::fnma(b, y, one), y);
  return y;
}

// Div reports a zero divisor (status 2) for every dividend but NaN; the stored result is the
// IEEE quotient (±inf, or NaN for 0/0).
template <typename T_, Acc kAcc>
struct DivK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsDiv" : "vdDiv";
  static constexpr int kBlock = 64 * 2 / sizeof(T);
  static constexpr bool kHasCallout = true;
  static V body(V a, V b, typename S::M& special) {
    special = S::equal(b, S::broadcast(T(0))) & ~S::unordered(a, a);
    if constexpr (kAcc == Acc::HA) {
      return S::div(a, b);
    } else {
      // Steps: float 1 (28 bits), double LA 2 (56 bits), double EP 1; then one correction of
      // the quotient by its residual, which makes exact quotients (6/3) come out exact.
      constexpr int kSteps = sizeof(T) == 4 ? 1 : (kAcc == Acc::LA ? 2 : 1);
      const V y = refined_reciprocal<S, kSteps>(b);
      V q = S::mul(a, y);
      q = S::fma(S::fnma(b, q, a), y, q);
      const typename S::M safe = moderate_exponents<S>(a, b);
      if (safe != S::first_lanes(S::kLanes)) q = S::masked_div(q, ~safe, a, b);
      return q;
    }
  }
  static int callout(const T* a, const T* b, T* r) {
    *r = *a / *b;
    return 2;
  }
};

// Inv: 1/a; status 2 where a is zero (result ±inf).
template <typename T_, Acc kAcc>
struct InvK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsInv" : "vdInv";
  static constexpr int kBlock = 64 * 2 / sizeof(T);
  static constexpr bool kHasCallout = true;
  static V body(V a, typename S::M& special) {
    const V one = S::broadcast(T(1));
    special = S::equal(a, S::broadcast(T(0)));
    constexpr int kSteps = sizeof(T) == 4 ? 1 : (kAcc == Acc::LA ? 2 : 1);
    V y = refined_reciprocal<S, kSteps>(a);
    // One more correction on the residual brings LA to within an ulp.
    if constexpr (kAcc == Acc::LA) y = S::fma(y, S::fnma(a, y, one), y);
    const typename S::M safe = moderate_exponents<S>(a, one);
    if (safe != S::first_lanes(S::kLanes)) y = S::masked_div(y, ~safe, one, a);
    return y;
  }
  static int callout(const T* a, T* r) {
    *r = T(1) / *a;
    return 2;
  }
};

// Sqrt: status 1 where a < 0 (result NaN); -0 gives -0 without a report.
template <typename T_, Acc kAcc>
struct SqrtK {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsSqrt" : "vdSqrt";
  static constexpr int kBlock = 64 * 2 / sizeof(T);
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

using zorp::vm::Acc;
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
VM_DEFINE_A2R1(s, Div, la, zorp::vm::DivK<float, Acc::LA>)
VM_DEFINE_A2R1(s, Div, ha, zorp::vm::DivK<float, Acc::HA>)
VM_DEFINE_A2R1(s, Div, ep, zorp::vm::DivK<float, Acc::EP>)
VM_DEFINE_A2R1(d, Div, la, zorp::vm::DivK<double, Acc::LA>)
VM_DEFINE_A2R1(d, Div, ha, zorp::vm::DivK<double, Acc::HA>)
VM_DEFINE_A2R1(d, Div, ep, zorp::vm::DivK<double, Acc::EP>)
VM_DEFINE_A1R1(s, Inv, la, zorp::vm::InvK<float, Acc::LA>)
VM_DEFINE_A1R1(s, Inv, ep, zorp::vm::InvK<float, Acc::EP>)
VM_DEFINE_A1R1(d, Inv, la, zorp::vm::InvK<double, Acc::LA>)
VM_DEFINE_A1R1(d, Inv, ep, zorp::vm::InvK<double, Acc::EP>)
VM_DEFINE_A1R1(s, Sqrt, la, zorp::vm::SqrtK<float, Acc::LA>)
VM_DEFINE_A1R1(s, Sqrt, ha, zorp::vm::SqrtK<float, Acc::HA>)
VM_DEFINE_A1R1(s, Sqrt, ep, zorp::vm::SqrtK<float, Acc::EP>)
VM_DEFINE_A1R1(d, Sqrt, la, zorp::vm::SqrtK<double, Acc::LA>)
VM_DEFINE_A1R1(d, Sqrt, ha, zorp::vm::SqrtK<double, Acc::HA>)
VM_DEFINE_A1R1(d, Sqrt, ep, zorp::vm::SqrtK<double, Acc::EP>)

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
