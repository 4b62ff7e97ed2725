// Rounding members: Ceil, Floor, Trunc, Rint, NearbyInt, Round, Frac, Modf. All are exact and
// raise no exception (the rounding instruction runs with exceptions suppressed), so one kernel
// serves the three accuracy slots. Rint and NearbyInt round to nearest even: the kernel's
// control word always rounds to nearest, whatever the caller's.
#include <cstdint>

#include "vm/kernels/common/define.h"
#include "vm/simd/simd.h"

namespace zorp::vm {
namespace {

using simd::Simd;

template <typename T_>
struct RoundBase {
  using T = T_;
  using S = Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  static constexpr int kBlock = 64 * 4 / sizeof(T);
  static constexpr bool kHasCallout = false;
  static int callout(const T*, T*) { return 0; }
  static int callout(const T*, T*, T*) { return 0; }
  static V trunc(V a) { return S::template round_integral<_MM_FROUND_TO_ZERO>(a); }
  // a - trunc(a) with the sign of a OR-ed in, so that -3 gives -0 and -2.5 gives -0.5.
  static V frac(V a) { return S::bit_select(S::sign_mask(), a, S::sub_quiet(a, trunc(a))); }
};

template <typename T_, int kDirection>
struct DirectedK : RoundBase<T_> {
  using B = RoundBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName =
      kDirection == _MM_FROUND_TO_POS_INF ? (sizeof(T_) == 4 ? "vsCeil" : "vdCeil")
      : kDirection == _MM_FROUND_TO_NEG_INF ? (sizeof(T_) == 4 ? "vsFloor" : "vdFloor")
      : kDirection == _MM_FROUND_TO_ZERO ? (sizeof(T_) == 4 ? "vsTrunc" : "vdTrunc")
                                         : (sizeof(T_) == 4 ? "vsRint" : "vdRint");
  static V body(V a, typename S::M&) { return S::template round_integral<kDirection>(a); }
};

template <typename T_>
struct NearbyIntK : DirectedK<T_, _MM_FROUND_TO_NEAREST_INT> {
  static constexpr const char* kName = sizeof(T_) == 4 ? "vsNearbyInt" : "vdNearbyInt";
};

// Halfway cases away from zero: round |a| to nearest even, add 1 where |a| - that is exactly 0.5,
// then put the sign of a back (so -0.4 gives -0).
template <typename T_>
struct RoundK : RoundBase<T_> {
  using B = RoundBase<T_>;
  using T = T_;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = sizeof(T) == 4 ? "vsRound" : "vdRound";
  static V body(V a, typename S::M&) {
    const V y = S::abs(a);
    V t = S::template round_integral<_MM_FROUND_TO_NEAREST_INT>(y);
    const auto half = S::equal(S::sub_quiet(y, t), S::broadcast(T(0.5)));
    t = S::select(half, S::add_quiet(t, S::broadcast(T(1))), t);
    return S::bit_select(S::sign_mask(), a, t);
  }
};

template <typename T_>
struct FracK : RoundBase<T_> {
  using B = RoundBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = sizeof(T_) == 4 ? "vsFrac" : "vdFrac";
  static V body(V a, typename S::M&) { return B::frac(a); }
};

template <typename T_>
struct ModfK : RoundBase<T_> {
  using B = RoundBase<T_>;
  using typename B::S;
  using typename B::V;
  static constexpr const char* kName = sizeof(T_) == 4 ? "vsModf" : "vdModf";
  static V body(V a, V& fraction, typename S::M&) {
    fraction = B::frac(a);
    return B::trunc(a);
  }
};

}  // namespace
}  // namespace zorp::vm

VM_DEFINE_A1R1(s, Ceil, la, zorp::vm::DirectedK<float, _MM_FROUND_TO_POS_INF>)
VM_DEFINE_A1R1(d, Ceil, la, zorp::vm::DirectedK<double, _MM_FROUND_TO_POS_INF>)
VM_DEFINE_A1R1(s, Floor, la, zorp::vm::DirectedK<float, _MM_FROUND_TO_NEG_INF>)
VM_DEFINE_A1R1(d, Floor, la, zorp::vm::DirectedK<double, _MM_FROUND_TO_NEG_INF>)
VM_DEFINE_A1R1(s, Trunc, la, zorp::vm::DirectedK<float, _MM_FROUND_TO_ZERO>)
VM_DEFINE_A1R1(d, Trunc, la, zorp::vm::DirectedK<double, _MM_FROUND_TO_ZERO>)
VM_DEFINE_A1R1(s, Rint, la, zorp::vm::DirectedK<float, _MM_FROUND_TO_NEAREST_INT>)
VM_DEFINE_A1R1(d, Rint, la, zorp::vm::DirectedK<double, _MM_FROUND_TO_NEAREST_INT>)
VM_DEFINE_A1R1(s, NearbyInt, la, zorp::vm::NearbyIntK<float>)
VM_DEFINE_A1R1(d, NearbyInt, la, zorp::vm::NearbyIntK<double>)
VM_DEFINE_A1R1(s, Round, la, zorp::vm::RoundK<float>)
VM_DEFINE_A1R1(d, Round, la, zorp::vm::RoundK<double>)
VM_DEFINE_A1R1(s, Frac, la, zorp::vm::FracK<float>)
VM_DEFINE_A1R1(d, Frac, la, zorp::vm::FracK<double>)
VM_DEFINE_A1R2(s, Modf, la, zorp::vm::ModfK<float>)
VM_DEFINE_A1R2(d, Modf, la, zorp::vm::ModfK<double>)
