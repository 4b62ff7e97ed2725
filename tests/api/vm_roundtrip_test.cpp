// Every vector-math catalogue row in every accuracy through the checked C entry and through the C++
// form, against the raw export of that slot: the results bit for bit, and the status each returns
// against the one the export leaves in the thread's status word.
#include <gtest/gtest.h>

#include <array>
#include <complex>
#include <cstring>
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

// The three ways of one row, each into its own `outs` elements of type O that start from the same
// fill: the raw export, whose status is the one it leaves in the thread's status word (cleared
// before), the checked C entry and the C++ non-throwing form.
template <class O, class Raw, class C, class Cxx>
void compare(const char* name, int32_t acc, int outs, Raw raw, C c, Cxx cxx) {
  std::vector<O> x(outs), y(outs), z(outs);
  for (auto* v : {&x, &y, &z}) std::memset(static_cast<void*>(v->data()), 0x5A, sizeof(O) * outs);
  zorp_fenn_kernel_ClearErrStatus();
  raw(x.data());
  const int32_t sx = zorp_fenn_kernel_GetErrStatus();
  // The thread's status after each checked call: what the call reported, or, when it reported
  // nothing, what the caller had left there before.
  const int32_t earlier = ZORP_VM_STATUS_UNDERFLOW, left = sx ? sx : earlier;
  zorp_fenn_kernel_SetErrStatus(earlier);
  const int32_t sy = c(y.data()), ly = zorp_fenn_kernel_GetErrStatus();
  zorp_fenn_kernel_SetErrStatus(earlier);
  const int32_t sz = cxx(z.data()), lz = zorp_fenn_kernel_GetErrStatus();
  EXPECT_TRUE(ly == left && lz == left) << name << " accuracy " << acc << ": " << ly << " " << lz << " left";
  EXPECT_EQ(std::memcmp(x.data(), y.data(), sizeof(O) * outs), 0) << name << " accuracy " << acc << ": C entry";
  EXPECT_EQ(std::memcmp(x.data(), z.data(), sizeof(O) * outs), 0) << name << " accuracy " << acc << ": C++ form";
  EXPECT_EQ(sy, sx) << name << " accuracy " << acc;
  EXPECT_EQ(sz, sx) << name << " accuracy " << acc;
}

#define ZORP_RT_T_s float
#define ZORP_RT_T_d double
#define ZORP_RT_T_c std::complex<float>
#define ZORP_RT_T_z std::complex<double>
#define ZORP_RT_R_s float
#define ZORP_RT_R_d double
#define ZORP_RT_R_c float
#define ZORP_RT_R_z double
#define ZORP_RT_UNPAREN(...) __VA_ARGS__
#define ZORP_RT_C(p) zorp::detail::c_ptr(p)

struct Row {
  std::string name;
  void (*check)(int32_t acc);
};

// One row: the arguments' type In, the results' type O and count, the arguments of the export and
// of the C entry (which adds the accuracy) over results at r, and those of the C++ form.
#define ZORP_RT_BODY(t, F, cxx, In, O, outs, args, cxx_args)                                                 \
  {#t #F, [](int32_t acc) {                                                                                 \
     using T = ZORP_RT_T_##t;                                                                               \
     using R [[maybe_unused]] = ZORP_RT_R_##t;                                                              \
     static const Inputs<In> in;                                                                            \
     const auto raw = std::array{ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_LA_##t), ZORP_VM_CAT3(_fenn, t##F, _HA),  \
                                 ZORP_VM_CAT3(_fenn, t##F, ZORP_VM_EP_##t)};                                \
     compare<O>(#t #F, acc, outs, [&](O* r) { raw[acc - 1] args; },                                          \
                [&](O* r) { return ZORP_CHECKED_NAME(t, F)(ZORP_RT_UNPAREN args, acc); },                   \
                [&](O* r) { return zorp::vm::cxx(ZORP_RT_UNPAREN cxx_args, zorp::vm::accuracy(acc), std::nothrow); }); \
   }},
#define ZORP_RT_A1R1(t, F, cxx) \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kN, ZORP_RT_C(in.a), ZORP_RT_C(r)), (std::span<const T>(in.a, kN), std::span<T>(r, kN)))
#define ZORP_RT_A2R1(t, F, cxx)                                                                    \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kN, ZORP_RT_C(in.a), ZORP_RT_C(in.b), ZORP_RT_C(r)),          \
               (std::span<const T>(in.a, kN), std::span<const T>(in.b, kN), std::span<T>(r, kN)))
#define ZORP_RT_A1R2(t, F, cxx)                                                                    \
  ZORP_RT_BODY(t, F, cxx, T, T, 2 * kN, (kN, ZORP_RT_C(in.a), ZORP_RT_C(r), ZORP_RT_C(r + kN)),    \
               (std::span<const T>(in.a, kN), std::span<T>(r, kN), std::span<T>(r + kN, kN)))
// The scalar: 1.5 as a power, 2 as a Bessel order (an order must be a whole number).
#define ZORP_RT_SCALAR(F) Inputs<T>::make(std::string(#F) == "Powx" ? 1.5 : 2.0, 0.25)
#define ZORP_RT_VS(t, F, cxx)                                                                                   \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kN, ZORP_RT_C(in.a), zorp::detail::c_scalar(ZORP_RT_SCALAR(F)), ZORP_RT_C(r)), \
               (std::span<const T>(in.a, kN), ZORP_RT_SCALAR(F), std::span<T>(r, kN)))
#define ZORP_RT_LINFRAC(t, F, cxx)                                  \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kN, in.a, in.b, 2, 1, 3, 4, r), \
               (std::span<const T>(in.a, kN), std::span<const T>(in.b, kN), 2, 1, 3, 4, std::span<T>(r, kN)))
#define ZORP_RT_C1R1R(t, F, cxx) \
  ZORP_RT_BODY(t, F, cxx, T, R, kN, (kN, ZORP_RT_C(in.a), r), (std::span<const T>(in.a, kN), std::span<R>(r, kN)))
#define ZORP_RT_R1C1(t, F, cxx) \
  ZORP_RT_BODY(t, F, cxx, R, T, kN, (kN, in.a, ZORP_RT_C(r)), (std::span<const R>(in.a, kN), std::span<T>(r, kN)))

// Pack and unpack with 64-bit operands: every other element (increment 2, or the even indices,
// or a mask of the even positions), 18 of the 37.
const struct Evens {
  std::vector<int64_t> index, mask = std::vector<int64_t>(kN);
  int64_t m;
  Evens() {
    for (int i = 0; i < kN; ++i) {
      if (i % 2 == 0 && i + 2 < kN) index.push_back(i);
      mask[i] = i % 2 == 0 && i + 2 < kN;
    }
    m = static_cast<int64_t>(index.size());
  }
} kEven;
#define ZORP_RT_PACK(t, F, cxx) ZORP_RT_PACK_##F(t, F, cxx)
#define ZORP_RT_UNPACK(t, F, cxx) ZORP_RT_PACK_##F(t, F, cxx)
#define ZORP_RT_PACK_PackI(t, F, cxx)                                                                 \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kEven.m, ZORP_RT_C(in.a), 2, ZORP_RT_C(r), 8),                   \
               (std::span<const T>(in.a, kN), 2, std::span<T>(r, kEven.m)))
#define ZORP_RT_PACK_PackV(t, F, cxx)                                                                 \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kEven.m, ZORP_RT_C(in.a), kEven.index.data(), ZORP_RT_C(r), 8),  \
               (std::span<const T>(in.a, kN), kEven.index, std::span<T>(r, kEven.m)))
#define ZORP_RT_PACK_PackM(t, F, cxx)                                                                 \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kN, ZORP_RT_C(in.a), kEven.mask.data(), ZORP_RT_C(r), 8),        \
               (std::span<const T>(in.a, kN), kEven.mask, std::span<T>(r, kEven.m)))
#define ZORP_RT_PACK_UnpackI(t, F, cxx)                                                               \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kEven.m, ZORP_RT_C(in.a), ZORP_RT_C(r), 2, 8),                   \
               (std::span<const T>(in.a, kEven.m), std::span<T>(r, kN), 2))
#define ZORP_RT_PACK_UnpackV(t, F, cxx)                                                               \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kEven.m, ZORP_RT_C(in.a), ZORP_RT_C(r), kEven.index.data(), 8),  \
               (std::span<const T>(in.a, kEven.m), std::span<T>(r, kN), kEven.index))
#define ZORP_RT_PACK_UnpackM(t, F, cxx)                                                               \
  ZORP_RT_BODY(t, F, cxx, T, T, kN, (kN, ZORP_RT_C(in.a), ZORP_RT_C(r), kEven.mask.data(), 8),        \
               (std::span<const T>(in.a, kEven.m), std::span<T>(r, kN), kEven.mask))

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
