// The C++20 interface: vector math over std::span in zorp::vm, random streams as owning move-only
// objects in zorp::rng, statistics and data-fitting tasks the same way in zorp::ss and zorp::df.
// Header-only over the checked C entries of zorp/zorp.h (libzorp_api), so it adds no name to any
// library's export table and needs no ABI of its own.
//
// Errors: each call comes in two forms. The plain form throws zorp::error, which carries the
// status, its family and the library's sentence for it, for every negative status; the form
// taking std::nothrow returns the status and throws nothing. Both return the same non-negative
// statuses (vector math: the warning its kernels reported, 1 to 4, or 0; statistics: 0 or the
// correlation repair's warning).
//
// Spans: every array of a vector-math call holds the same number of elements (else the call is
// refused as a bad count), at most 2^31 - 1. Complex elements are std::complex<float> and
// std::complex<double>, whose layout is the library's pair of parts.
#ifndef ZORP_ZORP_HPP
#define ZORP_ZORP_HPP

#include <complex>
#include <cstdint>
#include <initializer_list>
#include <bit>
#include <limits>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "zorp/vm_names.h"
#include "zorp/zorp.h"

namespace zorp {

enum class family : int32_t { vm = ZORP_FAMILY_VM, rng = ZORP_FAMILY_RNG, ss = ZORP_FAMILY_SS, df = ZORP_FAMILY_DF };

class error : public std::runtime_error {
 public:
  error(family f, int32_t status)
      : std::runtime_error(zorp_status_message(static_cast<int32_t>(f), status)), family_(f), status_(status) {}
  int32_t status() const noexcept { return status_; }
  family which() const noexcept { return family_; }

 private:
  family family_;
  int32_t status_;
};

// Whether this processor runs the library (loading it on first use): 0, or the refusal.
inline int32_t ready(std::nothrow_t) noexcept { return zorp_ready(); }
inline void ready() {
  if (const int32_t status = zorp_ready(); status != 0) throw error(family::vm, status);
}

namespace detail {

inline int32_t raise(family f, int32_t status) {
  if (status < 0) throw error(f, status);
  return status;
}

template <class T>
struct c_element {
  using type = T;
};
template <>
struct c_element<std::complex<float>> {
  using type = ZorpComplex8;
};
template <>
struct c_element<std::complex<double>> {
  using type = ZorpComplex16;
};
template <class T>
auto* c_ptr(T* p) noexcept {
  return reinterpret_cast<typename c_element<T>::type*>(p);
}
template <class T>
auto* c_ptr(const T* p) noexcept {
  return reinterpret_cast<const typename c_element<T>::type*>(p);
}

inline float c_scalar(float b) noexcept { return b; }
inline double c_scalar(double b) noexcept { return b; }
inline ZorpComplex8 c_scalar(std::complex<float> b) noexcept { return {b.real(), b.imag()}; }
inline const ZorpComplex16* c_scalar(const std::complex<double>& b) noexcept {
  return reinterpret_cast<const ZorpComplex16*>(&b);
}

// The one count of a call whose arrays all hold `sizes[0]` elements.
inline int32_t same_count(int32_t* n, std::initializer_list<size_t> sizes) noexcept {
  const size_t first = *sizes.begin();
  for (size_t s : sizes)
    if (s != first) return ZORP_VM_STATUS_BADSIZE;
  if (first > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return ZORP_VM_STATUS_BADSIZE;
  *n = static_cast<int32_t>(first);
  return ZORP_VM_STATUS_OK;
}

// Whether every index lies in [0, size).
inline bool indices_in(std::span<const int64_t> ix, size_t size) noexcept {
  for (int64_t i : ix)
    if (i < 0 || static_cast<uint64_t>(i) >= size) return false;
  return true;
}
inline size_t nonzero(std::span<const int64_t> mask) noexcept {
  size_t k = 0;
  for (int64_t m : mask) k += m != 0;
  return k;
}
// Whether n elements at a 64-bit increment from element 0 lie in [0, size).
inline bool strided_in(size_t n, int64_t inc, size_t size) noexcept {
  if (n == 0) return true;
  if (inc < 0 && n > 1) return false;
  const uint64_t last = static_cast<uint64_t>(inc) * (n - 1);
  return size > 0 && (inc == 0 || (n - 1) <= (std::numeric_limits<uint64_t>::max() / static_cast<uint64_t>(inc))) &&
         last < size;
}

// n as a strided vector-math call's count, every view holding its n elements; else BADSIZE.
template <class... V>
int32_t strided_count(int32_t* out, size_t n, const V&... views) noexcept {
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return ZORP_VM_STATUS_BADSIZE;
  if (!(strided_in(n, views.inc, views.s.size()) && ...)) return ZORP_VM_STATUS_BADSIZE;
  *out = static_cast<int32_t>(n);
  return ZORP_VM_STATUS_OK;
}

// a * b for counts >= 0, saturated: no array holds the product when it passes 64 bits.
inline uint64_t product(int64_t a, int64_t b) noexcept {
  if (a <= 0 || b <= 0) return 0;
  const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
  constexpr uint64_t all = ~uint64_t{0};
  return ua > all / ub ? all : ua * ub;
}

// Both forms of a call whose non-throwing form takes `params` and then std::nothrow.
#define ZORP_CXX_RAISING(fam, name, params, args)                                           \
  int32_t name(ZORP_CXX_UNPAREN params) {                                                   \
    return ::zorp::detail::raise(fam, this->name(ZORP_CXX_UNPAREN args, std::nothrow));     \
  }
#define ZORP_CXX_UNPAREN(...) __VA_ARGS__

// A catalogue function whose C++ name was never spelt expands to its placeholder macro name.
constexpr bool named(const char* spelt) {
  const char* placeholder = "ZORP_VM_CXX_NAME_";
  for (int i = 0; placeholder[i]; ++i)
    if (spelt[i] != placeholder[i]) return true;
  return false;
}

}  // namespace detail

namespace vm {

enum class accuracy : int32_t { la = ZORP_VM_LA, ha = ZORP_VM_HA, ep = ZORP_VM_EP };

#define ZORP_CXX_STR_(x) #x
#define ZORP_CXX_STR(x) ZORP_CXX_STR_(x)
#define VM_FN(t, F, shape, share, la, ha, ep, built)                                                   \
  static_assert(::zorp::detail::named(ZORP_CXX_STR(ZORP_VM_CXX_NAME_##F)),                             \
                "the catalogue function " #F " has no C++ name in zorp/vm_names.h");
#include "zorp/vm_catalogue.def"
#undef VM_FN

// Element, real and scalar types of the catalogue's type letters.
#define ZORP_CXX_T_s float
#define ZORP_CXX_T_d double
#define ZORP_CXX_T_c std::complex<float>
#define ZORP_CXX_T_z std::complex<double>
#define ZORP_CXX_R_s float
#define ZORP_CXX_R_d double
#define ZORP_CXX_R_c float
#define ZORP_CXX_R_z double

#define ZORP_CXX_THROWING(name, call_args)                                                       \
  noexcept(false) {                                                                              \
    return ::zorp::detail::raise(::zorp::family::vm, name(ZORP_CXX_UNPAREN call_args, std::nothrow)); \
  }

#define ZORP_CXX_A1R1(t, F, name)                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> r, accuracy acc,        \
                      std::nothrow_t) noexcept {                                                           \
    int32_t n = 0;                                                                                         \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), r.size()})) return st;                \
    return zorp_vm_##t##F(n, detail::c_ptr(a.data()), detail::c_ptr(r.data()), static_cast<int32_t>(acc)); \
  }                                                                                                        \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> r,                      \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (a, r, acc))

#define ZORP_CXX_A2R1(t, F, name)                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const ZORP_CXX_T_##t> b,                \
                      std::span<ZORP_CXX_T_##t> r, accuracy acc, std::nothrow_t) noexcept {                \
    int32_t n = 0;                                                                                         \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), b.size(), r.size()})) return st;      \
    return zorp_vm_##t##F(n, detail::c_ptr(a.data()), detail::c_ptr(b.data()), detail::c_ptr(r.data()),   \
                          static_cast<int32_t>(acc));                                                      \
  }                                                                                                        \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const ZORP_CXX_T_##t> b,                \
                      std::span<ZORP_CXX_T_##t> r, accuracy acc = accuracy::ha)                            \
      ZORP_CXX_THROWING(name, (a, b, r, acc))

#define ZORP_CXX_A1R2(t, F, name)                                                                           \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> r1,                      \
                      std::span<ZORP_CXX_T_##t> r2, accuracy acc, std::nothrow_t) noexcept {                \
    int32_t n = 0;                                                                                          \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), r1.size(), r2.size()})) return st;     \
    return zorp_vm_##t##F(n, detail::c_ptr(a.data()), detail::c_ptr(r1.data()), detail::c_ptr(r2.data()),  \
                          static_cast<int32_t>(acc));                                                       \
  }                                                                                                         \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> r1,                      \
                      std::span<ZORP_CXX_T_##t> r2, accuracy acc = accuracy::ha)                            \
      ZORP_CXX_THROWING(name, (a, r1, r2, acc))

#define ZORP_CXX_VS(t, F, name)                                                                             \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, ZORP_CXX_T_##t b, std::span<ZORP_CXX_T_##t> r,     \
                      accuracy acc, std::nothrow_t) noexcept {                                              \
    int32_t n = 0;                                                                                          \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), r.size()})) return st;                 \
    return zorp_vm_##t##F(n, detail::c_ptr(a.data()), detail::c_scalar(b), detail::c_ptr(r.data()),        \
                          static_cast<int32_t>(acc));                                                       \
  }                                                                                                         \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, ZORP_CXX_T_##t b, std::span<ZORP_CXX_T_##t> r,     \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (a, b, r, acc))

#define ZORP_CXX_LINFRAC(t, F, name)                                                                         \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const ZORP_CXX_T_##t> b,                  \
                      ZORP_CXX_T_##t scalea, ZORP_CXX_T_##t shifta, ZORP_CXX_T_##t scaleb,                   \
                      ZORP_CXX_T_##t shiftb, std::span<ZORP_CXX_T_##t> r, accuracy acc,                      \
                      std::nothrow_t) noexcept {                                                             \
    int32_t n = 0;                                                                                           \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), b.size(), r.size()})) return st;        \
    return zorp_vm_##t##F(n, a.data(), b.data(), scalea, shifta, scaleb, shiftb, r.data(),                   \
                          static_cast<int32_t>(acc));                                                        \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const ZORP_CXX_T_##t> b,                  \
                      ZORP_CXX_T_##t scalea, ZORP_CXX_T_##t shifta, ZORP_CXX_T_##t scaleb,                   \
                      ZORP_CXX_T_##t shiftb, std::span<ZORP_CXX_T_##t> r, accuracy acc = accuracy::ha)       \
      ZORP_CXX_THROWING(name, (a, b, scalea, shifta, scaleb, shiftb, r, acc))

#define ZORP_CXX_C1R1R(t, F, name)                                                                         \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_R_##t> r, accuracy acc,        \
                      std::nothrow_t) noexcept {                                                           \
    int32_t n = 0;                                                                                         \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), r.size()})) return st;                \
    return zorp_vm_##t##F(n, detail::c_ptr(a.data()), r.data(), static_cast<int32_t>(acc));                \
  }                                                                                                        \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_R_##t> r,                      \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (a, r, acc))

#define ZORP_CXX_R1C1(t, F, name)                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_R_##t> a, std::span<ZORP_CXX_T_##t> r, accuracy acc,        \
                      std::nothrow_t) noexcept {                                                           \
    int32_t n = 0;                                                                                         \
    if (const int32_t st = ::zorp::detail::same_count(&n, {a.size(), r.size()})) return st;                \
    return zorp_vm_##t##F(n, a.data(), detail::c_ptr(r.data()), static_cast<int32_t>(acc));                \
  }                                                                                                        \
  inline int32_t name(std::span<const ZORP_CXX_R_##t> a, std::span<ZORP_CXX_T_##t> r,                      \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (a, r, acc))

// Pack and unpack over spans, with 64-bit increments, indices and masks (width word 8), every
// element they touch held to its span: I gathers y[i] = a[i * inc] / scatters y[i * inc] = a[i];
// V through indices; M takes (or fills) the elements whose mask word is nonzero, in order.
#define ZORP_CXX_PACK(t, F, name) ZORP_CXX_PACK_##F(t, F, name)
#define ZORP_CXX_UNPACK(t, F, name) ZORP_CXX_PACK_##F(t, F, name)
#define ZORP_CXX_PACK_PackI(t, F, name)                                                                     \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, int64_t inc, std::span<ZORP_CXX_T_##t> y,           \
                      accuracy acc, std::nothrow_t) noexcept {                                               \
    if (!::zorp::detail::strided_in(y.size(), inc, a.size())) return ZORP_VM_STATUS_BADSIZE;                 \
    return zorp_vm_##t##F(static_cast<int64_t>(y.size()), detail::c_ptr(a.data()), inc,                      \
                          detail::c_ptr(y.data()), 8, static_cast<int32_t>(acc));                            \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, int64_t inc, std::span<ZORP_CXX_T_##t> y,           \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (a, inc, y, acc))
#define ZORP_CXX_PACK_UnpackI(t, F, name)                                                                   \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> y, int64_t inc,           \
                      accuracy acc, std::nothrow_t) noexcept {                                               \
    if (!::zorp::detail::strided_in(a.size(), inc, y.size())) return ZORP_VM_STATUS_BADSIZE;                 \
    return zorp_vm_##t##F(static_cast<int64_t>(a.size()), detail::c_ptr(a.data()), detail::c_ptr(y.data()),  \
                          inc, 8, static_cast<int32_t>(acc));                                                \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> y, int64_t inc,           \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (a, y, inc, acc))
#define ZORP_CXX_PACK_PackV(t, F, name)                                                                     \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const int64_t> ix,                        \
                      std::span<ZORP_CXX_T_##t> y, accuracy acc, std::nothrow_t) noexcept {                  \
    if (ix.size() != y.size() || !::zorp::detail::indices_in(ix, a.size())) return ZORP_VM_STATUS_BADSIZE;   \
    return zorp_vm_##t##F(static_cast<int64_t>(y.size()), detail::c_ptr(a.data()), ix.data(),                \
                          detail::c_ptr(y.data()), 8, static_cast<int32_t>(acc));                            \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const int64_t> ix,                        \
                      std::span<ZORP_CXX_T_##t> y, accuracy acc = accuracy::ha)                              \
      ZORP_CXX_THROWING(name, (a, ix, y, acc))
#define ZORP_CXX_PACK_UnpackV(t, F, name)                                                                   \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> y,                        \
                      std::span<const int64_t> ix, accuracy acc, std::nothrow_t) noexcept {                  \
    if (ix.size() != a.size() || !::zorp::detail::indices_in(ix, y.size())) return ZORP_VM_STATUS_BADSIZE;   \
    return zorp_vm_##t##F(static_cast<int64_t>(a.size()), detail::c_ptr(a.data()), detail::c_ptr(y.data()),  \
                          ix.data(), 8, static_cast<int32_t>(acc));                                          \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> y,                        \
                      std::span<const int64_t> ix, accuracy acc = accuracy::ha)                              \
      ZORP_CXX_THROWING(name, (a, y, ix, acc))
#define ZORP_CXX_PACK_PackM(t, F, name)                                                                     \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const int64_t> mask,                      \
                      std::span<ZORP_CXX_T_##t> y, accuracy acc, std::nothrow_t) noexcept {                  \
    if (mask.size() != a.size() || ::zorp::detail::nonzero(mask) > y.size()) return ZORP_VM_STATUS_BADSIZE;  \
    return zorp_vm_##t##F(static_cast<int64_t>(a.size()), detail::c_ptr(a.data()), mask.data(),             \
                          detail::c_ptr(y.data()), 8, static_cast<int32_t>(acc));                            \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<const int64_t> mask,                      \
                      std::span<ZORP_CXX_T_##t> y, accuracy acc = accuracy::ha)                              \
      ZORP_CXX_THROWING(name, (a, mask, y, acc))
#define ZORP_CXX_PACK_UnpackM(t, F, name)                                                                   \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> y,                        \
                      std::span<const int64_t> mask, accuracy acc, std::nothrow_t) noexcept {                \
    if (mask.size() != y.size() || ::zorp::detail::nonzero(mask) > a.size()) return ZORP_VM_STATUS_BADSIZE;  \
    return zorp_vm_##t##F(static_cast<int64_t>(y.size()), detail::c_ptr(a.data()), detail::c_ptr(y.data()),  \
                          mask.data(), 8, static_cast<int32_t>(acc));                                        \
  }                                                                                                          \
  inline int32_t name(std::span<const ZORP_CXX_T_##t> a, std::span<ZORP_CXX_T_##t> y,                        \
                      std::span<const int64_t> mask, accuracy acc = accuracy::ha)                            \
      ZORP_CXX_THROWING(name, (a, y, mask, acc))

// The strided forms: a count and one strided view per array, element i of a view being
// s[i * inc]. Every element the call touches is held to its span, so an increment below 0 (which
// walks before the first element in the C form) is refused for more than one element, and 0
// repeats element 0. every(range, inc) makes a view of any contiguous range.
template <class T>
struct strided {
  std::span<T> s;
  int32_t inc = 1;
  constexpr strided(std::span<T> span, int32_t increment) noexcept : s(span), inc(increment) {}
  template <class U>
    requires std::is_convertible_v<U (*)[], T (*)[]>
  constexpr strided(strided<U> o) noexcept : s(o.s), inc(o.inc) {}
};
template <class Range>
auto every(Range&& range, int32_t inc) noexcept {
  std::span s(range);
  return strided<typename decltype(s)::element_type>(s, inc);
}

#define ZORP_CXX_SV(T) strided<const T>
#define ZORP_CXX_DV(T) strided<T>
#define ZORP_CXX_I_ONE(t, F, name, TA, TR)                                                                \
  inline int32_t name(size_t count, ZORP_CXX_SV(TA) a, ZORP_CXX_DV(TR) r, accuracy acc,                  \
                      std::nothrow_t) noexcept {                                                         \
    int32_t n = 0;                                                                                       \
    if (const int32_t st = detail::strided_count(&n, count, a, r)) return st;                            \
    return zorp_vm_##t##F##I(n, detail::c_ptr(a.s.data()), a.inc, detail::c_ptr(r.s.data()), r.inc,       \
                             static_cast<int32_t>(acc));                                                 \
  }                                                                                                      \
  inline int32_t name(size_t count, ZORP_CXX_SV(TA) a, ZORP_CXX_DV(TR) r, accuracy acc = accuracy::ha)   \
      ZORP_CXX_THROWING(name, (count, a, r, acc))
#define ZORP_CXX_I_A1R1(t, F, name) ZORP_CXX_I_ONE(t, F, name, ZORP_CXX_T_##t, ZORP_CXX_T_##t)
#define ZORP_CXX_I_C1R1R(t, F, name) ZORP_CXX_I_ONE(t, F, name, ZORP_CXX_T_##t, ZORP_CXX_R_##t)
#define ZORP_CXX_I_R1C1(t, F, name) ZORP_CXX_I_ONE(t, F, name, ZORP_CXX_R_##t, ZORP_CXX_T_##t)
// Three arrays: two in and one out, or one in and two out (views a, b, c in the C order).
#define ZORP_CXX_I_THREE(t, F, name, VA, VB, VC)                                                             \
  inline int32_t name(size_t count, VA(ZORP_CXX_T_##t) a, VB(ZORP_CXX_T_##t) b, VC(ZORP_CXX_T_##t) c,        \
                      accuracy acc, std::nothrow_t) noexcept {                                               \
    int32_t n = 0;                                                                                           \
    if (const int32_t st = detail::strided_count(&n, count, a, b, c)) return st;                             \
    return zorp_vm_##t##F##I(n, detail::c_ptr(a.s.data()), a.inc, detail::c_ptr(b.s.data()), b.inc,          \
                             detail::c_ptr(c.s.data()), c.inc, static_cast<int32_t>(acc));                   \
  }                                                                                                          \
  inline int32_t name(size_t count, VA(ZORP_CXX_T_##t) a, VB(ZORP_CXX_T_##t) b, VC(ZORP_CXX_T_##t) c,        \
                      accuracy acc = accuracy::ha) ZORP_CXX_THROWING(name, (count, a, b, c, acc))
#define ZORP_CXX_I_A2R1(t, F, name) ZORP_CXX_I_THREE(t, F, name, ZORP_CXX_SV, ZORP_CXX_SV, ZORP_CXX_DV)
#define ZORP_CXX_I_A1R2(t, F, name) ZORP_CXX_I_THREE(t, F, name, ZORP_CXX_SV, ZORP_CXX_DV, ZORP_CXX_DV)
#define ZORP_CXX_I_VS(t, F, name)                                                                            \
  inline int32_t name(size_t count, ZORP_CXX_SV(ZORP_CXX_T_##t) a, ZORP_CXX_T_##t b,                         \
                      ZORP_CXX_DV(ZORP_CXX_T_##t) r, accuracy acc, std::nothrow_t) noexcept {                \
    int32_t n = 0;                                                                                           \
    if (const int32_t st = detail::strided_count(&n, count, a, r)) return st;                                \
    return zorp_vm_##t##F##I(n, detail::c_ptr(a.s.data()), a.inc, detail::c_scalar(b),                       \
                             detail::c_ptr(r.s.data()), r.inc, static_cast<int32_t>(acc));                   \
  }                                                                                                          \
  inline int32_t name(size_t count, ZORP_CXX_SV(ZORP_CXX_T_##t) a, ZORP_CXX_T_##t b,                         \
                      ZORP_CXX_DV(ZORP_CXX_T_##t) r, accuracy acc = accuracy::ha)                            \
      ZORP_CXX_THROWING(name, (count, a, b, r, acc))
#define ZORP_CXX_I_LINFRAC(t, F, name)                                                                       \
  inline int32_t name(size_t count, ZORP_CXX_SV(ZORP_CXX_T_##t) a, ZORP_CXX_SV(ZORP_CXX_T_##t) b,            \
                      ZORP_CXX_T_##t scalea, ZORP_CXX_T_##t shifta, ZORP_CXX_T_##t scaleb,                   \
                      ZORP_CXX_T_##t shiftb, ZORP_CXX_DV(ZORP_CXX_T_##t) r, accuracy acc,                    \
                      std::nothrow_t) noexcept {                                                             \
    int32_t n = 0;                                                                                           \
    if (const int32_t st = detail::strided_count(&n, count, a, b, r)) return st;                             \
    return zorp_vm_##t##F##I(n, a.s.data(), a.inc, b.s.data(), b.inc, scalea, shifta, scaleb, shiftb,        \
                             r.s.data(), r.inc, static_cast<int32_t>(acc));                                  \
  }                                                                                                          \
  inline int32_t name(size_t count, ZORP_CXX_SV(ZORP_CXX_T_##t) a, ZORP_CXX_SV(ZORP_CXX_T_##t) b,            \
                      ZORP_CXX_T_##t scalea, ZORP_CXX_T_##t shifta, ZORP_CXX_T_##t scaleb,                   \
                      ZORP_CXX_T_##t shiftb, ZORP_CXX_DV(ZORP_CXX_T_##t) r, accuracy acc = accuracy::ha)     \
      ZORP_CXX_THROWING(name, (count, a, b, scalea, shifta, scaleb, shiftb, r, acc))
#define ZORP_CXX_I_PACK(t, F, name)
#define ZORP_CXX_I_UNPACK(t, F, name)

#define ZORP_CXX_ROW(t, F, shape, name) ZORP_CXX_##shape(t, F, name) ZORP_CXX_I_##shape(t, F, name)
#define VM_FN(t, F, shape, share, la, ha, ep, built) \
  ZORP_VM_IF_BUILT_##built(ZORP_CXX_ROW(t, F, shape, ZORP_VM_CXX_NAME_##F))
#include "zorp/vm_catalogue.def"
#undef VM_FN

}  // namespace vm

namespace rng {

// The generators, by the identifiers of zorp/rng.h; a family member is member(brng::mt2203, k).
enum class brng : uint32_t {
  mcg31 = TARR_BRNG_MCG31,
  r250 = TARR_BRNG_R250,
  mrg32k3a = TARR_BRNG_MRG32K3A,
  mcg59 = TARR_BRNG_MCG59,
  wh = TARR_BRNG_WH,
  sobol = TARR_BRNG_SOBOL,
  niederreiter = TARR_BRNG_NIEDERR,
  mt19937 = TARR_BRNG_MT19937,
  mt2203 = TARR_BRNG_MT2203,
  sfmt19937 = TARR_BRNG_SFMT19937,
  rdrand = TARR_BRNG_NONDETERM,
  ars5 = TARR_BRNG_ARS5,
  philox4x32x10 = TARR_BRNG_PHILOX4X32X10,
};
constexpr brng member(brng family, uint32_t k) noexcept { return static_cast<brng>(static_cast<uint32_t>(family) + k); }

// Method words (the distribution's own meaning of each number is in zorp/rng.h).
namespace method {
inline constexpr int32_t standard = 0;
inline constexpr int32_t box_muller = 0;   // Gaussian: one value per pair of uniforms
inline constexpr int32_t box_muller2 = 1;  // Gaussian: both values of each pair
inline constexpr int32_t icdf = 2;         // Gaussian, Lognormal: inverse distribution function
inline constexpr int32_t normal_approximation = 1;  // Poisson
inline constexpr int32_t accurate = TARR_METHOD_ACCURATE;  // or-ed in: results kept inside the support
}  // namespace method

namespace detail {
inline int32_t count(size_t n, int32_t* out) noexcept {
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return TARR_ERROR_BAD_ARGUMENTS;
  *out = static_cast<int32_t>(n);
  return TARR_STATUS_OK;
}
inline int32_t raise(int32_t status) { return ::zorp::detail::raise(family::rng, status); }
}  // namespace detail

// Both forms of one distribution over the span r: `params` after r, `args` passed to the C entry
// after the count and r.
#define ZORP_CXX_DIST(name, entry, R, params, args)                                              \
  int32_t name(std::span<R> r, ZORP_CXX_UNPAREN params, int32_t m, std::nothrow_t) noexcept {   \
    int32_t n = 0;                                                                               \
    if (const int32_t st = detail::count(r.size(), &n)) return st;                               \
    return entry(m, s_, n, r.data(), ZORP_CXX_UNPAREN args);                                     \
  }                                                                                              \
  int32_t name(std::span<R> r, ZORP_CXX_UNPAREN params, int32_t m = method::standard) {         \
    return detail::raise(this->name(r, ZORP_CXX_UNPAREN args, m, std::nothrow));                       \
  }
#define ZORP_CXX_CONTINUOUS(t, T)                                                                              \
  ZORP_CXX_DIST(uniform, zorp_rng_##t##Uniform, T, (T a, T b), (a, b))                                         \
  ZORP_CXX_DIST(gaussian, zorp_rng_##t##Gaussian, T, (T mean, T sigma), (mean, sigma))                         \
  ZORP_CXX_DIST(exponential, zorp_rng_##t##Exponential, T, (T a, T beta), (a, beta))                           \
  ZORP_CXX_DIST(laplace, zorp_rng_##t##Laplace, T, (T a, T beta), (a, beta))                                   \
  ZORP_CXX_DIST(weibull, zorp_rng_##t##Weibull, T, (T alpha, T a, T beta), (alpha, a, beta))                   \
  ZORP_CXX_DIST(cauchy, zorp_rng_##t##Cauchy, T, (T a, T beta), (a, beta))                                     \
  ZORP_CXX_DIST(rayleigh, zorp_rng_##t##Rayleigh, T, (T a, T beta), (a, beta))                                 \
  ZORP_CXX_DIST(lognormal, zorp_rng_##t##Lognormal, T, (T a, T sigma, T b, T beta), (a, sigma, b, beta))       \
  ZORP_CXX_DIST(gumbel, zorp_rng_##t##Gumbel, T, (T a, T beta), (a, beta))                                     \
  ZORP_CXX_DIST(gamma, zorp_rng_##t##Gamma, T, (T alpha, T a, T beta), (alpha, a, beta))                       \
  ZORP_CXX_DIST(beta, zorp_rng_##t##Beta, T, (T p, T q, T a, T beta), (p, q, a, beta))                         \
  ZORP_CXX_DIST(chi_square, zorp_rng_##t##ChiSquare, T, (int32_t v), (v))                                      \
  /* d-dimensional normal vectors, r.size() / mean.size() of them; t the Cholesky factor in the */             \
  /* storage's layout (TARR_MV_FULL d*d, TARR_MV_PACKED d*(d+1)/2, TARR_MV_DIAGONAL d values) */                \
  int32_t gaussian_mv(std::span<T> r, int32_t storage, std::span<const T> mean, std::span<const T> factor,     \
                      int32_t m, std::nothrow_t) noexcept {                                                    \
    const size_t dim = mean.size();                                                                            \
    const size_t need = storage == TARR_MV_FULL     ? dim * dim                                                \
                        : storage == TARR_MV_PACKED ? dim * (dim + 1) / 2                                      \
                                                    : dim;                                                     \
    int32_t n = 0;                                                                                             \
    if (dim == 0 || r.size() % dim != 0 || factor.size() != need) return TARR_ERROR_BAD_ARGUMENTS;            \
    if (const int32_t st = detail::count(r.size() / dim, &n)) return st;                                       \
    return zorp_rng_##t##GaussianMV(m, s_, n, r.data(), static_cast<int32_t>(dim), storage, mean.data(),       \
                                    factor.data());                                                            \
  }                                                                                                            \
  int32_t gaussian_mv(std::span<T> r, int32_t storage, std::span<const T> mean, std::span<const T> factor,     \
                      int32_t m = method::standard) {                                                          \
    return detail::raise(gaussian_mv(r, storage, mean, factor, m, std::nothrow));                              \
  }

// A stream of random numbers: owns one StreamState of the kernel library, deleted with it.
// Move-only; copy() makes an independent stream in the same state.
class stream {
 public:
  stream(brng b, uint32_t seed) { detail::raise(zorp_rng_new_stream(&s_, static_cast<uint32_t>(b), seed)); }
  stream(brng b, std::span<const uint32_t> seeds) {
    int32_t n = 0;
    detail::raise(detail::count(seeds.size(), &n));
    detail::raise(zorp_rng_new_stream_ex(&s_, static_cast<uint32_t>(b), n, seeds.data()));
  }
  // Takes over a stream made through the C entries (null gives an empty object).
  explicit stream(StreamState* adopt) noexcept : s_(adopt) {}
  // Abstract streams over the caller's circular buffer, refilled by `update` (zorp/rng.h); the
  // buffer and the callback stay the caller's and must outlive the stream. The double and single
  // kinds map the caller's numbers from the finite interval [a, b] to what each request asks for.
  static stream abstract(std::span<uint32_t> buffer, AbstractStreamUpdate update) {
    return over(buffer.size(), [&](StreamState** s, int32_t n) {
      return zorp_rng_new_abstract_stream(s, n, buffer.data(), update);
    });
  }
  static stream abstract(std::span<double> buffer, double a, double b, AbstractStreamUpdate update) {
    return over(buffer.size(), [&](StreamState** s, int32_t n) {
      return zorp_rng_new_abstract_stream_d(s, n, buffer.data(), a, b, update);
    });
  }
  static stream abstract(std::span<float> buffer, float a, float b, AbstractStreamUpdate update) {
    return over(buffer.size(), [&](StreamState** s, int32_t n) {
      return zorp_rng_new_abstract_stream_s(s, n, buffer.data(), a, b, update);
    });
  }
  stream(stream&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  stream& operator=(stream&& other) noexcept {
    if (this != &other) {
      reset();
      s_ = std::exchange(other.s_, nullptr);
    }
    return *this;
  }
  stream(const stream&) = delete;
  stream& operator=(const stream&) = delete;
  ~stream() { reset(); }

  StreamState* get() const noexcept { return s_; }
  StreamState* release() noexcept { return std::exchange(s_, nullptr); }
  explicit operator bool() const noexcept { return s_ != nullptr; }
  brng generator() const {
    uint32_t b = 0;
    detail::raise(zorp_rng_stream_brng(s_, &b));
    return static_cast<brng>(b);
  }

  stream copy() const {
    StreamState* c = nullptr;
    detail::raise(zorp_rng_copy_stream(&c, s_));
    return stream(c);
  }
  int32_t copy_state_from(const stream& src, std::nothrow_t) noexcept { return zorp_rng_copy_stream_state(s_, src.s_); }
  void copy_state_from(const stream& src) { detail::raise(copy_state_from(src, std::nothrow)); }

  int32_t skip_ahead(uint64_t nskip, std::nothrow_t) noexcept { return zorp_rng_skip_ahead(s_, nskip); }
  void skip_ahead(uint64_t nskip) { detail::raise(skip_ahead(nskip, std::nothrow)); }
  // A count of several 64-bit words, lowest first.
  int32_t skip_ahead(std::span<const uint64_t> nskip, std::nothrow_t) noexcept {
    int32_t n = 0;
    if (const int32_t st = detail::count(nskip.size(), &n)) return st;
    return zorp_rng_skip_ahead_ex(s_, n, nskip.data());
  }
  void skip_ahead(std::span<const uint64_t> nskip) { detail::raise(skip_ahead(nskip, std::nothrow)); }
  int32_t leapfrog(uint32_t k, int32_t nstreams, std::nothrow_t) noexcept { return zorp_rng_leapfrog(s_, k, nstreams); }
  void leapfrog(uint32_t k, int32_t nstreams) { detail::raise(leapfrog(k, nstreams, std::nothrow)); }

  // Saved images: in memory (the image's bytes) and in files. Loading refuses an abstract
  // stream's image unless allow_abstract (it holds addresses of the process that saved it).
  std::vector<uint8_t> save() const {
    size_t bytes = 0;
    detail::raise(zorp_rng_image_size(s_, &bytes));
    std::vector<uint8_t> image(bytes);
    detail::raise(zorp_rng_save(s_, image.data(), image.size()));
    return image;
  }
  static stream load(std::span<const uint8_t> image, bool allow_abstract = false) {
    StreamState* s = nullptr;
    detail::raise(zorp_rng_load(&s, image.data(), image.size(), allow_abstract));
    return stream(s);
  }
  void save_file(const char* path) const { detail::raise(zorp_rng_save_file(s_, path)); }
  static stream load_file(const char* path, bool allow_abstract = false) {
    StreamState* s = nullptr;
    detail::raise(zorp_rng_load_file(&s, path, allow_abstract));
    return stream(s);
  }

  ZORP_CXX_CONTINUOUS(d, double)
  ZORP_CXX_CONTINUOUS(s, float)
  ZORP_CXX_DIST(uniform, zorp_rng_iUniform, int32_t, (int32_t a, int32_t b), (a, b))
  ZORP_CXX_DIST(bernoulli, zorp_rng_iBernoulli, int32_t, (double p), (p))
  ZORP_CXX_DIST(geometric, zorp_rng_iGeometric, int32_t, (double p), (p))
  ZORP_CXX_DIST(binomial, zorp_rng_iBinomial, int32_t, (int32_t ntrial, double p), (ntrial, p))
  ZORP_CXX_DIST(hypergeometric, zorp_rng_iHypergeometric, int32_t, (int32_t lot, int32_t sample, int32_t marked),
                (lot, sample, marked))
  ZORP_CXX_DIST(poisson, zorp_rng_iPoisson, int32_t, (double lambda), (lambda))
  ZORP_CXX_DIST(negbinomial, zorp_rng_iNegbinomial, int32_t, (double a, double p), (a, p))

  // Raw words: the generator's own, 32 uniform bits, 64 uniform bits.
  int32_t uniform_bits(std::span<uint32_t> r, std::nothrow_t) noexcept { return words(zorp_rng_iUniformBits, r); }
  void uniform_bits(std::span<uint32_t> r) { detail::raise(uniform_bits(r, std::nothrow)); }
  int32_t uniform_bits32(std::span<uint32_t> r, std::nothrow_t) noexcept { return words(zorp_rng_iUniformBits32, r); }
  void uniform_bits32(std::span<uint32_t> r) { detail::raise(uniform_bits32(r, std::nothrow)); }
  int32_t uniform_bits64(std::span<uint64_t> r, std::nothrow_t) noexcept { return words(zorp_rng_iUniformBits64, r); }
  void uniform_bits64(std::span<uint64_t> r) { detail::raise(uniform_bits64(r, std::nothrow)); }

  // One Poisson count per mean.
  int32_t poisson(std::span<int32_t> r, std::span<const double> lambda, std::nothrow_t) noexcept {
    int32_t n = 0;
    if (lambda.size() != r.size()) return TARR_ERROR_BAD_ARGUMENTS;
    if (const int32_t st = detail::count(r.size(), &n)) return st;
    return zorp_rng_iPoissonV(method::standard, s_, n, r.data(), lambda.data());
  }
  void poisson(std::span<int32_t> r, std::span<const double> lambda) {
    detail::raise(poisson(r, lambda, std::nothrow));
  }
  // r.size() / p.size() vectors of p.size() counts.
  int32_t multinomial(std::span<int32_t> r, int32_t ntrial, std::span<const double> p, std::nothrow_t) noexcept {
    int32_t n = 0, k = 0;
    if (p.empty() || r.size() % p.size() != 0) return TARR_ERROR_BAD_ARGUMENTS;
    if (const int32_t st = detail::count(p.size(), &k)) return st;
    if (const int32_t st = detail::count(r.size() / p.size(), &n)) return st;
    return zorp_rng_iMultinomial(method::standard, s_, n, r.data(), ntrial, k, p.data());
  }
  void multinomial(std::span<int32_t> r, int32_t ntrial, std::span<const double> p) {
    detail::raise(multinomial(r, ntrial, p, std::nothrow));
  }

 private:
  // A stream over a buffer of `size` numbers, made by `create(&s, n)`.
  template <class Create>
  static stream over(size_t size, Create create) {
    int32_t n = 0;
    detail::raise(detail::count(size, &n));
    StreamState* s = nullptr;
    detail::raise(create(&s, n));
    return stream(s);
  }
  template <class W, class Entry>
  int32_t words(Entry entry, std::span<W> r) noexcept {
    int32_t n = 0;
    if (const int32_t st = detail::count(r.size(), &n)) return st;
    return entry(method::standard, s_, n, r.data());
  }
  void reset() noexcept {
    if (s_) zorp_rng_delete_stream(&s_);
    s_ = nullptr;
  }
  StreamState* s_ = nullptr;
};

#undef ZORP_CXX_CONTINUOUS
#undef ZORP_CXX_DIST

}  // namespace rng

namespace ss {

// The observations' layout: one component's observations together, or one observation's
// components together.
enum class layout : int64_t { by_component = TARR_SS_MATRIX_STORAGE_1, by_observation = TARR_SS_MATRIX_STORAGE_2 };
// A result matrix's storage: full p x p, or one triangle packed by columns.
enum class matrix : int64_t {
  full = TARR_SS_MATRIX_STORAGE_FULL,
  upper_packed = TARR_SS_MATRIX_STORAGE_U_PACKED,
  lower_packed = TARR_SS_MATRIX_STORAGE_L_PACKED
};

// A statistics task over n observations of p components, for float or double: owns the kernel
// library's record and the integer items it points at (p, n, storage words, counts), so a move
// keeps them where the record looks. The observations and every array registered stay the
// caller's and must outlive the task (or be registered again).
//
// Each array is held to the size the task's p, n and storage words give its parameter (a
// shorter one is refused with ZORP_ERROR_BAD_SIZE, nothing registered); an array registered
// before a later edit of p, n or a storage word is not looked at again.
template <class T>
class task {
  static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>, "statistics tasks are float or double");

 public:
  task(std::span<const T> x, int64_t p, int64_t n, layout storage = layout::by_observation)
      : items_(new int64_t[kItems]()) {
    items_[TARR_SS_PARAM_DIMENSION] = p;
    items_[TARR_SS_PARAM_NOBS] = n;
    items_[TARR_SS_PARAM_STORAGE] = static_cast<int64_t>(storage);
    if (x.size() < ::zorp::detail::product(p, n)) raise(ZORP_ERROR_BAD_SIZE);
    raise(new_task(&t_, &items_[TARR_SS_PARAM_DIMENSION], &items_[TARR_SS_PARAM_NOBS],
                   &items_[TARR_SS_PARAM_STORAGE], x.data(), nullptr, nullptr, 1));
  }
  task(task&& other) noexcept
      : t_(std::exchange(other.t_, nullptr)), items_(std::move(other.items_)), order_(std::move(other.order_)) {}
  task& operator=(task&& other) noexcept {
    if (this != &other) {
      reset();
      t_ = std::exchange(other.t_, nullptr);
      items_ = std::move(other.items_);
      order_ = std::move(other.order_);
    }
    return *this;
  }
  task(const task&) = delete;
  task& operator=(const task&) = delete;
  ~task() { reset(); }

  TarrSSTask* get() const noexcept { return t_; }
  explicit operator bool() const noexcept { return t_ != nullptr; }

  // Any real array by parameter number (TARR_SS_PARAM_*), and integer items and arrays.
  int32_t edit(int32_t param, std::span<const T> values, std::nothrow_t) noexcept {
    if (values.size() < need(param)) return ZORP_ERROR_BAD_SIZE;
    if constexpr (std::is_same_v<T, double>) return zorp_ss_dedit(t_, param, values.data());
    else return zorp_ss_sedit(t_, param, values.data());
  }
  ZORP_CXX_RAISING(family::ss, edit, (int32_t param, std::span<const T> values), (param, values))
  int32_t edit(int32_t param, int64_t value, std::nothrow_t) noexcept {
    if (!items_) return TARR_SS_ERROR_NULL_TASK;
    if (param < 1 || param >= kItems) return TARR_SS_ERROR_BAD_PARAM_NUMBER;
    const int64_t before = items_[param];
    items_[param] = value;
    const int32_t status = zorp_ss_iedit(t_, param, &items_[param]);
    if (status < 0) items_[param] = before;  // the record may point here already
    return status;
  }
  ZORP_CXX_RAISING(family::ss, edit, (int32_t param, int64_t value), (param, value))
  int32_t edit(int32_t param, std::span<const int64_t> values, std::nothrow_t) noexcept {
    if (values.size() < need(param)) return ZORP_ERROR_BAD_SIZE;
    return zorp_ss_iedit(t_, param, values.data());
  }
  ZORP_CXX_RAISING(family::ss, edit, (int32_t param, std::span<const int64_t> values), (param, values))

  // The common ones by name: weights (n), component indices (p), mean, variance (the central
  // moment of order 2), minimum and maximum (p each), covariance and correlation (in `storage`),
  // quantiles (p * orders.size(), component after component). A routine may need more arrays
  // than those it is asked for (the variance is made from the mean and the raw moment of order 2)
  // and says which one is missing.
  int32_t weights(std::span<const T> w, std::nothrow_t) noexcept {
    return edit(TARR_SS_PARAM_WEIGHTS, w, std::nothrow);
  }
  ZORP_CXX_RAISING(family::ss, weights, (std::span<const T> w), (w))
  int32_t indices(std::span<const int64_t> i, std::nothrow_t) noexcept {
    return edit(TARR_SS_PARAM_INDICES, i, std::nothrow);
  }
  ZORP_CXX_RAISING(family::ss, indices, (std::span<const int64_t> i), (i))
  int32_t mean(std::span<T> r, std::nothrow_t) noexcept { return edit(TARR_SS_PARAM_MEAN, r, std::nothrow); }
  ZORP_CXX_RAISING(family::ss, mean, (std::span<T> r), (r))
  int32_t variance(std::span<T> r, std::nothrow_t) noexcept {
    return edit(TARR_SS_PARAM_CENTRAL_MOMENT_2, r, std::nothrow);
  }
  ZORP_CXX_RAISING(family::ss, variance, (std::span<T> r), (r))
  int32_t minimum(std::span<T> r, std::nothrow_t) noexcept { return edit(TARR_SS_PARAM_EXTREME_LOW, r, std::nothrow); }
  ZORP_CXX_RAISING(family::ss, minimum, (std::span<T> r), (r))
  int32_t maximum(std::span<T> r, std::nothrow_t) noexcept { return edit(TARR_SS_PARAM_EXTREME_HIGH, r, std::nothrow); }
  ZORP_CXX_RAISING(family::ss, maximum, (std::span<T> r), (r))
  int32_t covariance(std::span<T> r, matrix storage, std::nothrow_t) noexcept {
    return with_storage(TARR_SS_PARAM_COV, TARR_SS_PARAM_COV_STORAGE, r, storage);
  }
  ZORP_CXX_RAISING(family::ss, covariance, (std::span<T> r, matrix storage = matrix::full), (r, storage))
  int32_t correlation(std::span<T> r, matrix storage, std::nothrow_t) noexcept {
    return with_storage(TARR_SS_PARAM_COR, TARR_SS_PARAM_COR_STORAGE, r, storage);
  }
  ZORP_CXX_RAISING(family::ss, correlation, (std::span<T> r, matrix storage = matrix::full), (r, storage))
  int32_t quantiles(std::span<const T> orders, std::span<T> r, std::nothrow_t) noexcept {
    if (!items_) return TARR_SS_ERROR_NULL_TASK;
    if (r.size() < ::zorp::detail::product(items_[TARR_SS_PARAM_DIMENSION], static_cast<int64_t>(orders.size())))
      return ZORP_ERROR_BAD_SIZE;
    return chain({{TARR_SS_PARAM_QUANT_ORDERS, orders.data()}, {TARR_SS_PARAM_QUANTILES, r.data()}},
                 TARR_SS_PARAM_QUANT_COUNT, static_cast<int64_t>(orders.size()));
  }
  ZORP_CXX_RAISING(family::ss, quantiles, (std::span<const T> orders, std::span<T> r), (orders, r))

  // The estimates (TARR_SS_* bits) by the routine that makes them, with its method word (see
  // zorp_ss_dcompute in zorp/zorp.h).
  int32_t compute(uint64_t estimates, uint32_t method, std::nothrow_t) noexcept {
    if constexpr (std::is_same_v<T, double>) return zorp_ss_dcompute(t_, estimates, method);
    else return zorp_ss_scompute(t_, estimates, method);
  }
  ZORP_CXX_RAISING(family::ss, compute, (uint64_t estimates, uint32_t method), (estimates, method))

  // The weighted quantile of order q (0 <= q <= 1, 0.5 the weighted median) of each component
  // into r (p values), with the weights given to weights() or every weight 1. The order is kept
  // in the task, so that it outlives the call as the task's pointer to it must.
  int32_t weighted_quantile(T q, std::span<T> r, std::nothrow_t) noexcept {
    if (!items_) return TARR_SS_ERROR_NULL_TASK;
    if (r.size() < ::zorp::detail::product(items_[TARR_SS_PARAM_DIMENSION], 1)) return ZORP_ERROR_BAD_SIZE;
    if (!order_) {
      order_.reset(new (std::nothrow) T());
      if (!order_) return TARR_SS_ERROR_ALLOCATION;
    }
    *order_ = q;
    int32_t status = chain({{TARR_SS_PARAM_QUANT_ORDERS, order_.get()}, {TARR_SS_PARAM_QUANTILES, r.data()}},
                           TARR_SS_PARAM_QUANT_COUNT, 1);
    if (status < 0) return status;
    if constexpr (std::is_same_v<T, double>) return zorp_ss_dweighted_median(t_, TARR_SS_METHOD_QUANTILES);
    else return zorp_ss_sweighted_median(t_, TARR_SS_METHOD_QUANTILES);
  }
  ZORP_CXX_RAISING(family::ss, weighted_quantile, (T q, std::span<T> r), (q, r))

 private:
  static constexpr int32_t kItems = 80;  // parameter numbers run from 1 to 79
  static void raise(int32_t status) { ::zorp::detail::raise(family::ss, status); }
  static int32_t new_task(TarrSSTask** t, const int64_t* p, const int64_t* n, const int64_t* storage, const T* x,
                          const T* w, const int64_t* indices, int32_t wide) noexcept {
    if constexpr (std::is_same_v<T, double>) return zorp_ss_dnew_task(t, p, n, storage, x, w, indices, wide);
    else return zorp_ss_snew_task(t, p, n, storage, x, w, indices, wide);
  }

  // Elements a parameter's array holds; 0 where the task cannot know it.
  uint64_t need(int32_t param) const noexcept {
    if (!items_) return 0;
    const int64_t p = items_[TARR_SS_PARAM_DIMENSION], n = items_[TARR_SS_PARAM_NOBS];
    auto square = [&](int32_t word) {
      const int64_t w = items_[word];
      return w == TARR_SS_MATRIX_STORAGE_U_PACKED || w == TARR_SS_MATRIX_STORAGE_L_PACKED
                 ? ::zorp::detail::product(p, p + 1) / 2
                 : ::zorp::detail::product(p, p);
    };
    switch (param) {
      case TARR_SS_PARAM_INDICES: case TARR_SS_PARAM_PARTIAL_INDICES:
      case TARR_SS_PARAM_MEAN: case TARR_SS_PARAM_RAW_MOMENT_2: case TARR_SS_PARAM_RAW_MOMENT_3:
      case TARR_SS_PARAM_RAW_MOMENT_4: case TARR_SS_PARAM_CENTRAL_MOMENT_2: case TARR_SS_PARAM_CENTRAL_MOMENT_3:
      case TARR_SS_PARAM_CENTRAL_MOMENT_4: case TARR_SS_PARAM_KURTOSIS: case TARR_SS_PARAM_SKEWNESS:
      case TARR_SS_PARAM_EXTREME_LOW: case TARR_SS_PARAM_EXTREME_HIGH: case TARR_SS_PARAM_VARIATION:
      case TARR_SS_PARAM_POOLED_MEAN: case TARR_SS_PARAM_RCOV_MEAN: case TARR_SS_PARAM_SUM:
      case TARR_SS_PARAM_RAW_SUM_2: case TARR_SS_PARAM_RAW_SUM_3: case TARR_SS_PARAM_RAW_SUM_4:
      case TARR_SS_PARAM_CENTRAL_SUM_2: case TARR_SS_PARAM_CENTRAL_SUM_3: case TARR_SS_PARAM_CENTRAL_SUM_4:
      case TARR_SS_PARAM_MEDIAN_ABS_DEV: case TARR_SS_PARAM_MEAN_ABS_DEV:
        return ::zorp::detail::product(p, 1);
      case TARR_SS_PARAM_WEIGHTS: case TARR_SS_PARAM_OUTL_WEIGHTS: case TARR_SS_PARAM_GROUP_INDICES:
        return ::zorp::detail::product(n, 1);
      case TARR_SS_PARAM_OBSERVATIONS: case TARR_SS_PARAM_ORDER_STATS: case TARR_SS_PARAM_SORTED:
        return ::zorp::detail::product(p, n);
      case TARR_SS_PARAM_ACCUM_WEIGHTS: return 2;  // W and the sum of squared weights
      case TARR_SS_PARAM_COV: return square(TARR_SS_PARAM_COV_STORAGE);
      case TARR_SS_PARAM_COR: return square(TARR_SS_PARAM_COR_STORAGE);
      case TARR_SS_PARAM_CP: return square(TARR_SS_PARAM_CP_STORAGE);
      case TARR_SS_PARAM_POOLED_COV: return square(TARR_SS_PARAM_POOLED_COV_STORAGE);
      case TARR_SS_PARAM_RCOV: return square(TARR_SS_PARAM_RCOV_STORAGE);
      case TARR_SS_PARAM_PARAMTRZ_COR: return square(TARR_SS_PARAM_PARAMTRZ_COR_STORAGE);
      case TARR_SS_PARAM_QUANT_ORDERS: return ::zorp::detail::product(items_[TARR_SS_PARAM_QUANT_COUNT], 1);
      case TARR_SS_PARAM_QUANTILES: return ::zorp::detail::product(p, items_[TARR_SS_PARAM_QUANT_COUNT]);
      case TARR_SS_PARAM_SQUANT_ORDERS: return ::zorp::detail::product(items_[TARR_SS_PARAM_SQUANT_COUNT], 1);
      case TARR_SS_PARAM_SQUANTILES: return ::zorp::detail::product(p, items_[TARR_SS_PARAM_SQUANT_COUNT]);
      default: return 0;
    }
  }

  // An integer item and the arrays whose size it sets: the item first (so that the arrays are
  // held to it), taken back when an array is refused, so a refused call leaves the task as it was.
  struct array {
    int32_t param;
    const T* values;
  };
  int32_t chain(std::initializer_list<array> arrays, int32_t item, int64_t value) noexcept {
    const int64_t before = items_[item];
    int32_t status = edit(item, value, std::nothrow);
    for (const array& a : arrays) {
      if (status < 0) break;
      if constexpr (std::is_same_v<T, double>) status = zorp_ss_dedit(t_, a.param, a.values);
      else status = zorp_ss_sedit(t_, a.param, a.values);
    }
    if (status < 0) items_[item] = before;
    return status;
  }
  int32_t with_storage(int32_t param, int32_t word, std::span<T> r, matrix storage) noexcept {
    if (!items_) return TARR_SS_ERROR_NULL_TASK;
    const int64_t before = items_[word];
    items_[word] = static_cast<int64_t>(storage);
    const uint64_t size = need(param);
    items_[word] = before;
    if (r.size() < size) return ZORP_ERROR_BAD_SIZE;
    return chain({{param, r.data()}}, word, static_cast<int64_t>(storage));
  }
  void reset() noexcept {
    if (t_) zorp_ss_delete_task(&t_);
    t_ = nullptr;
  }

  TarrSSTask* t_ = nullptr;
  std::unique_ptr<int64_t[]> items_;
  std::unique_ptr<T> order_;  // weighted_quantile's order: the task points at it, so it moves with the task
};

}  // namespace ss

namespace df {

enum class partition : int64_t { non_uniform = DF_NON_UNIFORM_PARTITION, quasi_uniform = DF_QUASI_UNIFORM_PARTITION };

// A data-fitting task over ny functions on one partition, for float or double: owns the kernel
// library's record, the spline's coefficients and copies of its boundary and internal
// conditions. The partition and the function values stay the caller's and must outlive the task.
// Cells are 64-bit.
template <class T>
class task {
  static_assert(std::is_same_v<T, float> || std::is_same_v<T, double>, "data-fitting tasks are float or double");

 public:
  // x: the nx points; y: the ny functions' values, function after function (ny * nx of them).
  task(std::span<const T> x, std::span<const T> y, partition hint = partition::non_uniform) {
    const size_t nx = x.size();
    if (nx > 0 && y.size() % nx != 0) raise(ZORP_ERROR_BAD_SIZE);
    const int64_t ny = nx > 0 ? static_cast<int64_t>(y.size() / nx) : 1;
    if constexpr (std::is_same_v<T, double>)
      raise(zorp_df_dnew_task(&t_, static_cast<int64_t>(nx), x.data(), static_cast<int64_t>(hint), ny, y.data(),
                              DF_MATRIX_STORAGE_ROWS, 1));
    else
      raise(zorp_df_snew_task(&t_, static_cast<int64_t>(nx), x.data(), static_cast<int64_t>(hint), ny, y.data(),
                              DF_MATRIX_STORAGE_ROWS, 1));
  }
  task(task&& other) noexcept
      : t_(std::exchange(other.t_, nullptr)),
        coeff_(std::move(other.coeff_)),
        bc_(std::move(other.bc_)),
        ic_(std::move(other.ic_)) {}
  task& operator=(task&& other) noexcept {
    if (this != &other) {
      reset();
      t_ = std::exchange(other.t_, nullptr);
      coeff_ = std::move(other.coeff_);
      bc_ = std::move(other.bc_);
      ic_ = std::move(other.ic_);
    }
    return *this;
  }
  task(const task&) = delete;
  task& operator=(const task&) = delete;
  ~task() { reset(); }

  DFTask* get() const noexcept { return t_; }
  explicit operator bool() const noexcept { return t_ != nullptr; }

  // The spline: order and type (DF_PP_*), boundary conditions (DF_BC_* bits and one value per
  // derivative or value condition, in rising bit order), internal conditions (DF_IC_* and their
  // values). The task keeps its own coefficients.
  int32_t spline(int64_t order, int64_t type, int64_t bc_type, std::span<const T> bc, int64_t ic_type,
                 std::span<const T> ic, std::nothrow_t) noexcept {
    if (!t_) return DF_ERROR_NULL_TASK;
    constexpr int64_t valued = DF_BC_1ST_LEFT_DER | DF_BC_1ST_RIGHT_DER | DF_BC_2ND_LEFT_DER |
                               DF_BC_2ND_RIGHT_DER | DF_BC_Q_VAL;
    if (bc.size() < static_cast<size_t>(std::popcount(static_cast<uint64_t>(bc_type & valued))))
      return ZORP_ERROR_BAD_SIZE;
    const int64_t cells = type == DF_PP_QUADRATIC_KNOTS ? t_->nx : t_->nx - 1;
    std::vector<T> coeff, bcs, ics;
    try {
      coeff.resize(order > 0 ? ::zorp::detail::product(t_->ny, ::zorp::detail::product(cells, order)) : 0);
      bcs.assign(bc.begin(), bc.end());
      ics.assign(ic.begin(), ic.end());
    } catch (...) {
      return DF_ERROR_MEM_FAILURE;
    }
    const T* bp = bc.empty() ? nullptr : bcs.data();
    const T* ip = ic.empty() ? nullptr : ics.data();
    T* cp = coeff.empty() ? nullptr : coeff.data();
    int32_t status;
    if constexpr (std::is_same_v<T, double>)
      status = zorp_df_dedit_spline(t_, order, type, bc_type, bp, ic_type, ip, cp, DF_NO_HINT);
    else
      status = zorp_df_sedit_spline(t_, order, type, bc_type, bp, ic_type, ip, cp, DF_NO_HINT);
    if (status >= 0) {
      coeff_.swap(coeff);
      bc_.swap(bcs);
      ic_.swap(ics);
    }
    return status;
  }
  int32_t spline(int64_t order, int64_t type, int64_t bc_type = DF_NO_HINT, std::span<const T> bc = {},
                 int64_t ic_type = DF_NO_HINT, std::span<const T> ic = {}) {
    return ::zorp::detail::raise(family::df, spline(order, type, bc_type, bc, ic_type, ic, std::nothrow));
  }
  std::span<const T> coefficients() const noexcept { return coeff_; }

  int32_t construct(std::nothrow_t) noexcept {
    if constexpr (std::is_same_v<T, double>) return zorp_df_dconstruct(t_);
    else return zorp_df_sconstruct(t_);
  }
  int32_t construct() { return ::zorp::detail::raise(family::df, construct(std::nothrow)); }

  // Values (and derivatives: dorder[k] nonzero asks for order k; empty asks for the value) of
  // every function at every site, site after site, each site's functions together.
  int32_t interpolate(std::span<const T> sites, std::span<T> r, std::span<const int32_t> dorder,
                      std::nothrow_t) noexcept {
    static constexpr int32_t value_only[1] = {1};
    if (dorder.empty()) dorder = value_only;
    int64_t nd = 0;
    for (int32_t d : dorder) nd += d != 0;
    if (t_ && r.size() < ::zorp::detail::product(static_cast<int64_t>(sites.size()), t_->ny * nd))
      return ZORP_ERROR_BAD_SIZE;
    if constexpr (std::is_same_v<T, double>)
      return zorp_df_dinterpolate(t_, DF_INTERP, static_cast<int64_t>(sites.size()), sites.data(), DF_NO_HINT,
                                  static_cast<int64_t>(dorder.size()), dorder.data(), r.data(), DF_NO_HINT, nullptr);
    else
      return zorp_df_sinterpolate(t_, DF_INTERP, static_cast<int64_t>(sites.size()), sites.data(), DF_NO_HINT,
                                  static_cast<int64_t>(dorder.size()), dorder.data(), r.data(), DF_NO_HINT, nullptr);
  }
  ZORP_CXX_RAISING(family::df, interpolate,
                   (std::span<const T> sites, std::span<T> r, std::span<const int32_t> dorder = {}),
                   (sites, r, dorder))

  // Every function's integral over each pair (llim[i], rlim[i]), pair after pair.
  int32_t integrate(std::span<const T> llim, std::span<const T> rlim, std::span<T> r, std::nothrow_t) noexcept {
    if (llim.size() != rlim.size()) return ZORP_ERROR_BAD_SIZE;
    if (t_ && r.size() < ::zorp::detail::product(static_cast<int64_t>(llim.size()), t_->ny)) return ZORP_ERROR_BAD_SIZE;
    const int64_t nlim = static_cast<int64_t>(llim.size());
    if constexpr (std::is_same_v<T, double>)
      return zorp_df_dintegrate(t_, nlim, llim.data(), DF_NO_HINT, rlim.data(), DF_NO_HINT, r.data(), DF_NO_HINT);
    else
      return zorp_df_sintegrate(t_, nlim, llim.data(), DF_NO_HINT, rlim.data(), DF_NO_HINT, r.data(), DF_NO_HINT);
  }
  ZORP_CXX_RAISING(family::df, integrate, (std::span<const T> llim, std::span<const T> rlim, std::span<T> r),
                   (llim, rlim, r))

  // The cell of each site (see zorp/df.h: 0 left of the partition, nx right of it).
  int32_t search(std::span<const T> sites, std::span<int64_t> cells, std::nothrow_t) noexcept {
    if (cells.size() < sites.size()) return ZORP_ERROR_BAD_SIZE;
    if constexpr (std::is_same_v<T, double>)
      return zorp_df_dsearch(t_, static_cast<int64_t>(sites.size()), sites.data(), DF_NO_HINT, cells.data());
    else
      return zorp_df_ssearch(t_, static_cast<int64_t>(sites.size()), sites.data(), DF_NO_HINT, cells.data());
  }
  ZORP_CXX_RAISING(family::df, search, (std::span<const T> sites, std::span<int64_t> cells), (sites, cells))

 private:
  static void raise(int32_t status) { ::zorp::detail::raise(family::df, status); }
  void reset() noexcept {
    if (t_) zorp_df_delete_task(&t_);
    t_ = nullptr;
  }
  DFTask* t_ = nullptr;
  std::vector<T> coeff_, bc_, ic_;
};

}  // namespace df

#undef ZORP_CXX_RAISING
}  // namespace zorp

#endif
