// Every vector-math catalogue row in every accuracy through the checked C entry and through the C++
// form, against the raw export of that slot: the results bit for bit, and the status each returns
// against the one the export leaves in the thread's status word.
#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "zorp/zorp.hpp"

namespace {

constexpr int kN = 37;  // two blocks of sixteen and a masked remainder

// Arguments in (0.1, 0.9) for every real part: inside most domains, outside some (acosh), which the
// comparison covers as well.
template <class T>
struct Inputs {
  T a[kN], b[kN];
  Inputs() {
    for (int i = 0; i < kN; ++i) {
      a[i] = make(0.1 + 0.8 * i / kN, 0.9 - 0.7 * i / kN);
      b[i] = make(0.9 - 0.8 * i / kN, 0.2 + 0.5 * i / kN);
    }
  }
  static T make(double re, double im) {
    if constexpr (std::is_floating_point_v<T>) return static_cast<T>(re);
    else return T(static_cast<typename T::value_type>(re), static_cast<typename T::value_type>(im));
  }
};

template <class T>
void fill(T* r, int n) {
  std::memset(static_cast<void*>(r), 0x5A, sizeof(T) * n);
}
template <class T>
bool same(const T* x, const T* y, int n) {
  return std::memcmp(x, y, sizeof(T) * n) == 0;
}

// The thread's status after a raw call, cleared before it.
template <class Call>
int32_t raw_status(Call call) {
  zorp_fenn_kernel_ClearErrStatus();
  call();
  return zorp_fenn_kernel_GetErrStatus();
}

#define ZORP_RT_T_s float
#define ZORP_RT_T_d double
#define ZORP_RT_T_c std::complex<float>
#define ZORP_RT_T_z std::complex<double>
#define ZORP_RT_R_s float
#define ZORP_RT_R_d double
#define ZORP_RT_R_c float
#define ZORP_RT_R_z double
#define ZORP_RT_RAW(t, F)                                                          \
  {ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_LA_##t), ZORP_VM_CAT3(_fenn, t##F, _HA), \
   ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_EP_##t)}
#define ZORP_RT_C(p) zorp::detail::c_ptr(p)
#define ZORP_RT_CC(p) zorp::detail::c_ptr(p)

struct Row {
  std::string name;
  std::function<void(int32_t acc)> check;
};

// One check per shape: raw results and status (x), checked C entry (y), C++ non-throwing form (z).
#define ZORP_RT_EXPECT(n)                                                                                    \
  EXPECT_TRUE(same(x, y, n)) << name << " accuracy " << acc << ": C entry";                                  \
  EXPECT_TRUE(same(x, z, n)) << name << " accuracy " << acc << ": C++ form";                                 \
  EXPECT_EQ(sy, sx) << name << " accuracy " << acc;                                                          \
  EXPECT_EQ(sz, sx) << name << " accuracy " << acc;

#define ZORP_RT_A1R1(t, F, cxx)                                                                        \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                   \
     using T = ZORP_RT_T_##t;                                                                          \
     static const Inputs<T> in;                                                                        \
     void (*raw[3])(int32_t, const ZORP_VM_T_##t*, ZORP_VM_T_##t*) = ZORP_RT_RAW(t, F);                \
     T x[kN], y[kN], z[kN];                                                                            \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                            \
     const int32_t sx = raw_status([&] { raw[acc - 1](kN, ZORP_RT_CC(in.a), ZORP_RT_C(x)); });         \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, ZORP_RT_CC(in.a), ZORP_RT_C(y), acc);              \
     const int32_t sz = zorp::vm::cxx(std::span<const T>(in.a, kN), std::span<T>(z, kN),              \
                                      zorp::vm::accuracy(acc), std::nothrow);                          \
     ZORP_RT_EXPECT(kN)                                                                                \
   }},
#define ZORP_RT_A2R1(t, F, cxx)                                                                             \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                        \
     using T = ZORP_RT_T_##t;                                                                               \
     static const Inputs<T> in;                                                                             \
     void (*raw[3])(int32_t, const ZORP_VM_T_##t*, const ZORP_VM_T_##t*, ZORP_VM_T_##t*) = ZORP_RT_RAW(t, F); \
     T x[kN], y[kN], z[kN];                                                                                 \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                                 \
     const int32_t sx =                                                                                     \
         raw_status([&] { raw[acc - 1](kN, ZORP_RT_CC(in.a), ZORP_RT_CC(in.b), ZORP_RT_C(x)); });           \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, ZORP_RT_CC(in.a), ZORP_RT_CC(in.b), ZORP_RT_C(y), acc); \
     const int32_t sz = zorp::vm::cxx(std::span<const T>(in.a, kN), std::span<const T>(in.b, kN),           \
                                      std::span<T>(z, kN), zorp::vm::accuracy(acc), std::nothrow);          \
     ZORP_RT_EXPECT(kN)                                                                                     \
   }},
#define ZORP_RT_A1R2(t, F, cxx)                                                                                 \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                            \
     using T = ZORP_RT_T_##t;                                                                                   \
     static const Inputs<T> in;                                                                                 \
     void (*raw[3])(int32_t, const ZORP_VM_T_##t*, ZORP_VM_T_##t*, ZORP_VM_T_##t*) = ZORP_RT_RAW(t, F);         \
     T x[2 * kN], y[2 * kN], z[2 * kN];                                                                         \
     fill(x, 2 * kN), fill(y, 2 * kN), fill(z, 2 * kN);                                                         \
     const int32_t sx = raw_status([&] { raw[acc - 1](kN, ZORP_RT_CC(in.a), ZORP_RT_C(x), ZORP_RT_C(x + kN)); }); \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, ZORP_RT_CC(in.a), ZORP_RT_C(y), ZORP_RT_C(y + kN), acc);    \
     const int32_t sz = zorp::vm::cxx(std::span<const T>(in.a, kN), std::span<T>(z, kN),                       \
                                      std::span<T>(z + kN, kN), zorp::vm::accuracy(acc), std::nothrow);         \
     ZORP_RT_EXPECT(2 * kN)                                                                                     \
   }},
// The scalar: 1.5 as a power, 2 as a Bessel order (an order must be a whole number).
#define ZORP_RT_VS(t, F, cxx)                                                                                 \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                          \
     using T = ZORP_RT_T_##t;                                                                                 \
     static const Inputs<T> in;                                                                               \
     void (*raw[3])(int32_t, const ZORP_VM_T_##t*, ZORP_VM_S_##t, ZORP_VM_T_##t*) = ZORP_RT_RAW(t, F);        \
     const T b = Inputs<T>::make(std::string(#F) == "Powx" ? 1.5 : 2.0, 0.25);                                \
     T x[kN], y[kN], z[kN];                                                                                   \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                                   \
     const int32_t sx = raw_status([&] {                                                                      \
       raw[acc - 1](kN, ZORP_RT_CC(in.a), zorp::detail::c_scalar(b), ZORP_RT_C(x));                          \
     });                                                                                                      \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, ZORP_RT_CC(in.a), zorp::detail::c_scalar(b), ZORP_RT_C(y), acc); \
     const int32_t sz = zorp::vm::cxx(std::span<const T>(in.a, kN), b, std::span<T>(z, kN),                   \
                                      zorp::vm::accuracy(acc), std::nothrow);                                 \
     ZORP_RT_EXPECT(kN)                                                                                       \
   }},
#define ZORP_RT_LINFRAC(t, F, cxx)                                                                             \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                           \
     using T = ZORP_RT_T_##t;                                                                                  \
     static const Inputs<T> in;                                                                                \
     void (*raw[3])(int32_t, const T*, const T*, T, T, T, T, T*) = ZORP_RT_RAW(t, F);                          \
     T x[kN], y[kN], z[kN];                                                                                    \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                                    \
     const int32_t sx = raw_status([&] { raw[acc - 1](kN, in.a, in.b, 2, 1, 3, 4, x); });                      \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, in.a, in.b, 2, 1, 3, 4, y, acc);                           \
     const int32_t sz = zorp::vm::cxx(std::span<const T>(in.a, kN), std::span<const T>(in.b, kN), 2, 1, 3, 4,  \
                                      std::span<T>(z, kN), zorp::vm::accuracy(acc), std::nothrow);             \
     ZORP_RT_EXPECT(kN)                                                                                        \
   }},
#define ZORP_RT_C1R1R(t, F, cxx)                                                                       \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                   \
     using T = ZORP_RT_T_##t;                                                                          \
     using R = ZORP_RT_R_##t;                                                                          \
     static const Inputs<T> in;                                                                        \
     void (*raw[3])(int32_t, const ZORP_VM_T_##t*, R*) = ZORP_RT_RAW(t, F);                            \
     R x[kN], y[kN], z[kN];                                                                            \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                            \
     const int32_t sx = raw_status([&] { raw[acc - 1](kN, ZORP_RT_CC(in.a), x); });                    \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, ZORP_RT_CC(in.a), y, acc);                         \
     const int32_t sz = zorp::vm::cxx(std::span<const T>(in.a, kN), std::span<R>(z, kN),              \
                                      zorp::vm::accuracy(acc), std::nothrow);                          \
     ZORP_RT_EXPECT(kN)                                                                                \
   }},
#define ZORP_RT_R1C1(t, F, cxx)                                                                        \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                                   \
     using T = ZORP_RT_T_##t;                                                                          \
     using R = ZORP_RT_R_##t;                                                                          \
     static const Inputs<R> in;                                                                        \
     void (*raw[3])(int32_t, const R*, ZORP_VM_T_##t*) = ZORP_RT_RAW(t, F);                            \
     T x[kN], y[kN], z[kN];                                                                            \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                            \
     const int32_t sx = raw_status([&] { raw[acc - 1](kN, in.a, ZORP_RT_C(x)); });                     \
     const int32_t sy = ZORP_CHECKED_NAME(t, F)(kN, in.a, ZORP_RT_C(y), acc);                          \
     const int32_t sz = zorp::vm::cxx(std::span<const R>(in.a, kN), std::span<T>(z, kN),              \
                                      zorp::vm::accuracy(acc), std::nothrow);                          \
     ZORP_RT_EXPECT(kN)                                                                                \
   }},
// Pack and unpack with 64-bit operands: every other element (increment 2, or the even indices,
// or a mask of the even positions), 18 of the 37.
#define ZORP_RT_PACK(t, F, cxx) ZORP_RT_PACK_##F(t, F, cxx)
#define ZORP_RT_UNPACK(t, F, cxx) ZORP_RT_PACK_##F(t, F, cxx)
#define ZORP_RT_PACK_BODY(t, F, cxx, raw_args, c_args, cxx_call)                                       \
  {#t #F, [name = std::string(#t #F)](int32_t acc) {                                              \
     using T = ZORP_RT_T_##t;                                                                     \
     static const Inputs<T> in;                                                                   \
     std::vector<int64_t> even, mask(kN);                                                         \
     for (int i = 0; i < kN; ++i) {                                                               \
       if (i % 2 == 0 && i + 2 < kN) even.push_back(i);                                           \
       mask[i] = i % 2 == 0 && i + 2 < kN;                                                        \
     }                                                                                            \
     const int64_t m = static_cast<int64_t>(even.size());                                         \
     T x[kN], y[kN], z[kN];                                                                       \
     fill(x, kN), fill(y, kN), fill(z, kN);                                                       \
     auto raw = ZORP_VM_CAT3(_fenn, t##F, _HA);                                                    \
     if (acc == ZORP_VM_LA) raw = ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_LA_##t);                       \
     if (acc == ZORP_VM_EP) raw = ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_EP_##t);                       \
     const int32_t sx = raw_status([&] { raw raw_args; });                                        \
     const int32_t sy = ZORP_CHECKED_NAME(t, F) c_args;                                           \
     const int32_t sz = zorp::vm::cxx cxx_call;                                                   \
     ZORP_RT_EXPECT(kN)                                                                           \
   }},
#define ZORP_RT_PACK_PackI(t, F, cxx)                                                              \
  ZORP_RT_PACK_BODY(t, F, cxx, (m, ZORP_RT_CC(in.a), 2, ZORP_RT_C(x), 8),                               \
                    (m, ZORP_RT_CC(in.a), 2, ZORP_RT_C(y), 8, acc),                                \
                    (std::span<const T>(in.a, kN), 2, std::span<T>(z, m), zorp::vm::accuracy(acc), \
                     std::nothrow))
#define ZORP_RT_PACK_PackV(t, F, cxx)                                                              \
  ZORP_RT_PACK_BODY(t, F, cxx, (m, ZORP_RT_CC(in.a), even.data(), ZORP_RT_C(x), 8),                     \
                    (m, ZORP_RT_CC(in.a), even.data(), ZORP_RT_C(y), 8, acc),                      \
                    (std::span<const T>(in.a, kN), even, std::span<T>(z, m), zorp::vm::accuracy(acc), \
                     std::nothrow))
#define ZORP_RT_PACK_PackM(t, F, cxx)                                                              \
  ZORP_RT_PACK_BODY(t, F, cxx, (kN, ZORP_RT_CC(in.a), mask.data(), ZORP_RT_C(x), 8),                    \
                    (kN, ZORP_RT_CC(in.a), mask.data(), ZORP_RT_C(y), 8, acc),                     \
                    (std::span<const T>(in.a, kN), mask, std::span<T>(z, m), zorp::vm::accuracy(acc), \
                     std::nothrow))
#define ZORP_RT_PACK_UnpackI(t, F, cxx)                                                            \
  ZORP_RT_PACK_BODY(t, F, cxx, (m, ZORP_RT_CC(in.a), ZORP_RT_C(x), 2, 8),                               \
                    (m, ZORP_RT_CC(in.a), ZORP_RT_C(y), 2, 8, acc),                                \
                    (std::span<const T>(in.a, m), std::span<T>(z, kN), 2, zorp::vm::accuracy(acc), \
                     std::nothrow))
#define ZORP_RT_PACK_UnpackV(t, F, cxx)                                                            \
  ZORP_RT_PACK_BODY(t, F, cxx, (m, ZORP_RT_CC(in.a), ZORP_RT_C(x), even.data(), 8),                     \
                    (m, ZORP_RT_CC(in.a), ZORP_RT_C(y), even.data(), 8, acc),                      \
                    (std::span<const T>(in.a, m), std::span<T>(z, kN), even, zorp::vm::accuracy(acc), \
                     std::nothrow))
#define ZORP_RT_PACK_UnpackM(t, F, cxx)                                                            \
  ZORP_RT_PACK_BODY(t, F, cxx, (kN, ZORP_RT_CC(in.a), ZORP_RT_C(x), mask.data(), 8),                    \
                    (kN, ZORP_RT_CC(in.a), ZORP_RT_C(y), mask.data(), 8, acc),                     \
                    (std::span<const T>(in.a, m), std::span<T>(z, kN), mask, zorp::vm::accuracy(acc), \
                     std::nothrow))

#define ZORP_RT_ROW(t, F, shape, cxx) ZORP_RT_##shape(t, F, cxx)
const Row kRows[] = {
#define VM_FN(t, F, shape, share, la, ha, ep, built) ZORP_RT_ROW(t, F, shape, ZORP_VM_CXX_NAME_##F)
#include "zorp/vm_catalogue.def"
#undef VM_FN
};

class EveryRow : public ::testing::TestWithParam<int> {};

TEST_P(EveryRow, CheckedFormsGiveTheExportsBits) {
  const Row& row = kRows[GetParam()];
  for (int32_t acc : {int32_t{ZORP_VM_LA}, int32_t{ZORP_VM_HA}, int32_t{ZORP_VM_EP}}) row.check(acc);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryRow, ::testing::Range(0, static_cast<int>(std::size(kRows))),
                         [](const auto& info) { return kRows[info.param].name; });

TEST(EveryRow, CoversTheCatalogue) { EXPECT_EQ(std::size(kRows), 252u); }

}  // namespace
