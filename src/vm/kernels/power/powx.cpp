// Powx: every element raised to one scalar exponent b, single and double precision.
//
// Since b is the same for the whole call, the kernel looks at its bit pattern first (never at
// its value: +0.0 is the zero case, -0.0 is not) and, for a fixed list of exponents, hands the
// whole call to something cheaper: another function's kernel, called through that function's
// dispatch table in the slot of this kernel's accuracy (so a host's patch of that table is
// followed, and special elements are reported by the delegate under its own name), or a short
// body of plain multiplications run by the shared driver, which reports nothing. Every other
// exponent takes the general power of Pow.
//
//   b         single LA/HA   single EP   double LA   double HA   double EP
//   +0.0      1.0 for every element, NaN and infinities included
//   1         a, bit for bit
//   2         a*a
//   3 .. 9    general        products    products    general     products
//   -1        Inv            Inv         Inv         Inv         Inv
//   0.5       Sqrt           Sqrt        Sqrt        Sqrt        Sqrt
//   -0.5      InvSqrt        InvSqrt     InvSqrt     InvSqrt     InvSqrt
//   1.5       Pow3o2         Pow3o2      Pow3o2      Pow3o2      Pow3o2
//   1/3       general        Cbrt        general     general     Cbrt
//   2/3       general        Pow2o3      general     general     Pow2o3
// (1/3 and 2/3 are the numbers nearest to them in the type.) Products multiply in the order
// a*(a*(...*(a*a))), each product rounded. The single LA and HA slots share one kernel, which
// delegates to the HA slots.
#include <bit>
#include <cstdint>

#include "vm/kernels/common/bind.h"
#include "vm/kernels/common/pow_core.h"
#include "vm/kernels/common/slots.h"

// The delegates' tables, through their hidden aliases.
#define POWX_DELEGATE(t, F)                                                                  \
  extern "C" __attribute__((visibility("hidden"))) void* zorp_vm_local_##t##F##_ttab[3];      \
  extern "C" __attribute__((visibility("hidden"))) void* zorp_vm_local_##t##F##I_ttab[3];
POWX_DELEGATE(s, Inv)
POWX_DELEGATE(s, Sqrt)
POWX_DELEGATE(s, InvSqrt)
POWX_DELEGATE(s, Pow3o2)
POWX_DELEGATE(s, Cbrt)
POWX_DELEGATE(s, Pow2o3)
POWX_DELEGATE(d, Inv)
POWX_DELEGATE(d, Sqrt)
POWX_DELEGATE(d, InvSqrt)
POWX_DELEGATE(d, Pow3o2)
POWX_DELEGATE(d, Cbrt)
POWX_DELEGATE(d, Pow2o3)
#undef POWX_DELEGATE

namespace zorp::vm {
namespace {

using namespace zorp::simd;

// A delegate: its contiguous and strided tables.
struct Delegate {
  void* const* contiguous;
  void* const* strided;
};
#define POWX_TABLES(t, F) Delegate{zorp_vm_local_##t##F##_ttab, zorp_vm_local_##t##F##I_ttab}
template <typename T>
struct Delegates;
template <>
struct Delegates<float> {
  static inline const Delegate kInv = POWX_TABLES(s, Inv), kSqrt = POWX_TABLES(s, Sqrt),
                               kInvSqrt = POWX_TABLES(s, InvSqrt), kPow3o2 = POWX_TABLES(s, Pow3o2),
                               kCbrt = POWX_TABLES(s, Cbrt), kPow2o3 = POWX_TABLES(s, Pow2o3);
};
template <>
struct Delegates<double> {
  static inline const Delegate kInv = POWX_TABLES(d, Inv), kSqrt = POWX_TABLES(d, Sqrt),
                               kInvSqrt = POWX_TABLES(d, InvSqrt), kPow3o2 = POWX_TABLES(d, Pow3o2),
                               kCbrt = POWX_TABLES(d, Cbrt), kPow2o3 = POWX_TABLES(d, Pow2o3);
};
#undef POWX_TABLES

// The in-place bodies: 1.0, a itself, and a^k in the order a*(a*(...*(a*a))).
template <typename T>
struct OneK : Kernel<T> {
  static Vec<T> body(Vec<T>, Mask<T>&) { return splat(T(1)); }
};
template <typename T>
struct CopyK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) { return a; }
};
template <typename T, int k>
struct ProductK : Kernel<T> {
  static Vec<T> body(Vec<T> a, Mask<T>&) {
    Vec<T> p = mul(a, a);
    for (int i = 2; i < k; ++i) p = mul(a, p);
    return p;
  }
};

template <typename T>
constexpr UintOf<T> pattern(T x) {
  return std::bit_cast<UintOf<T>>(x);
}

template <typename T, Acc kAcc>
struct PowxK : Kernel<T> {
  static constexpr bool kProducts = sizeof(T) == 4 ? kAcc == Acc::EP : kAcc != Acc::HA;
  static constexpr bool kRoots = kAcc == Acc::EP;
  static constexpr int kSlot = kAcc == Acc::LA ? 0 : kAcc == Acc::HA ? 1 : 2;
  static constexpr bool kExtended = sizeof(T) == 8 && kAcc != Acc::EP;
  static constexpr bool kLa = sizeof(T) == 8 && kAcc == Acc::LA;
  static constexpr T kThird = T(1) / T(3), kTwoThirds = T(2) / T(3);

  T b;
  Vec<T> bv;
  explicit PowxK(T e) : b(e), bv(splat(e)) {}

  // The general path: Pow with b in every lane, inlined whole (as a call it spills the main
  // loop's registers on every register of arguments).
  [[gnu::always_inline, gnu::flatten]] Vec<T> body(Vec<T> a, Mask<T>& special) const { return pow_body<false, kExtended, kLa>(a, bv, special); }
  int callout(const T* a, T* r) const { return powscalar::pow<T>(*a, b, r); }
  T scalar_argument() const { return b; }

  // The fast exponents; false for every other b.
  static bool whole_call(int32_t n, const T* a, int32_t inca, T e, T* r, int32_t incr, bool strided) {
    auto in_place = [&](auto k) {
      using K = decltype(k);
      if (strided) run_a1r1_strided(K{}, "", static_cast<uint32_t>(n), a, inca, r, incr);
      else run_a1r1(K{}, "", static_cast<uint32_t>(n), a, r);
      return true;
    };
    auto hand_over = [&](const Delegate& d) {
      if (strided)
        reinterpret_cast<void (*)(int32_t, const T*, int32_t, T*, int32_t)>(d.strided[kSlot])(n, a, inca, r, incr);
      else reinterpret_cast<void (*)(int32_t, const T*, T*)>(d.contiguous[kSlot])(n, a, r);
      return true;
    };
    using D = Delegates<T>;
    switch (pattern(e)) {
      case pattern(T(0)): return in_place(OneK<T>{});
      case pattern(T(1)): return in_place(CopyK<T>{});
      case pattern(T(2)): return in_place(ProductK<T, 2>{});
      case pattern(T(-1)): return hand_over(D::kInv);
      case pattern(T(0.5)): return hand_over(D::kSqrt);
      case pattern(T(-0.5)): return hand_over(D::kInvSqrt);
      case pattern(T(1.5)): return hand_over(D::kPow3o2);
      default: break;
    }
    if constexpr (kProducts) {
      switch (pattern(e)) {
        case pattern(T(3)): return in_place(ProductK<T, 3>{});
        case pattern(T(4)): return in_place(ProductK<T, 4>{});
        case pattern(T(5)): return in_place(ProductK<T, 5>{});
        case pattern(T(6)): return in_place(ProductK<T, 6>{});
        case pattern(T(7)): return in_place(ProductK<T, 7>{});
        case pattern(T(8)): return in_place(ProductK<T, 8>{});
        case pattern(T(9)): return in_place(ProductK<T, 9>{});
        default: break;
      }
    }
    if constexpr (kRoots) {
      if (pattern(e) == pattern(kThird)) return hand_over(D::kCbrt);
      if (pattern(e) == pattern(kTwoThirds)) return hand_over(D::kPow2o3);
    }
    return false;
  }
};

}  // namespace
}  // namespace zorp::vm

using namespace zorp::vm;
VM_KERNELS(s, Powx, PowxK<float, Acc::HA>, PowxK<float, Acc::EP>)
VM_KERNELS(d, Powx, PowxK<double, Acc::LA>, PowxK<double, Acc::HA>, PowxK<double, Acc::EP>)
