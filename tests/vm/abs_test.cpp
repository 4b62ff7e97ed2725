// Abs through every entry name and the dispatch tables: exact on special values (signalling NaN
// quieted), strided
// forms, remainders at a guard page, n = 0, denormal flushing, and slot sharing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <dlfcn.h>

#include "common/guarded.h"
#include "common/library.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

extern "C" void* zorp_fenn_kernel_sAbs_ttab[3];
extern "C" void* zorp_fenn_kernel_dAbs_ttab[3];
extern "C" void* zorp_fenn_kernel_dAbsI_ttab[3];
extern "C" const float zorp_fenn_kernel_sAbs_ctab[3];

namespace {

template <typename T>
struct Api;
template <>
struct Api<float> {
  using Fn = void (*)(int32_t, const float*, float*);
  using FnI = void (*)(int32_t, const float*, int32_t, float*, int32_t);
  static constexpr Fn entries[4] = {_fennsAbs, _fennsAbs_HA, _fennsAbs_21, _fennsAbs_11};
  static constexpr FnI strided[4] = {_fennsAbsI, _fennsAbsI_HA, _fennsAbsI_21, _fennsAbsI_11};
};
template <>
struct Api<double> {
  using Fn = void (*)(int32_t, const double*, double*);
  using FnI = void (*)(int32_t, const double*, int32_t, double*, int32_t);
  static constexpr Fn entries[4] = {_fenndAbs, _fenndAbs_HA, _fenndAbs_50, _fenndAbs_26};
  static constexpr FnI strided[4] = {_fenndAbsI, _fenndAbsI_HA, _fenndAbsI_50, _fenndAbsI_26};
};

template <typename T>
using Bits = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;

template <typename T>
Bits<T> bits(T x) {
  Bits<T> b;
  std::memcpy(&b, &x, sizeof b);
  return b;
}
template <typename T>
T from_bits(Bits<T> b) {
  T x;
  std::memcpy(&x, &b, sizeof x);
  return x;
}
// The expected result: the sign bit cleared, and a NaN quieted (its payload kept), as adding +0
// with exceptions suppressed leaves it.
template <typename T>
Bits<T> abs_bits(T x) {
  constexpr int kBitsPerT = sizeof(T) * 8;
  const Bits<T> quiet = Bits<T>{1} << (std::numeric_limits<T>::digits - 2);
  Bits<T> b = bits(x) & ~(Bits<T>{1} << (kBitsPerT - 1));
  if (std::isnan(x)) b |= quiet;
  return b;
}

template <typename T>
std::vector<T> special_and_random(size_t n) {
  using L = std::numeric_limits<T>;
  std::vector<T> v = {T(0), -T(0), T(1), -T(1), L::infinity(), -L::infinity(), L::quiet_NaN(),
                      -L::quiet_NaN(), from_bits<T>(bits(L::quiet_NaN()) | 5), L::denorm_min(),
                      -L::denorm_min(), L::min(), -L::min(), L::max(), -L::max(), L::lowest()};
  std::mt19937_64 rng(42);
  while (v.size() < n) v.push_back(from_bits<T>(static_cast<Bits<T>>(rng())));
  return v;
}

template <typename T>
class AbsTest : public testing::Test {};
using Types = testing::Types<float, double>;
TYPED_TEST_SUITE(AbsTest, Types);

TYPED_TEST(AbsTest, EveryEntryIsExactOnSpecialAndRandomValuesForManyLengths) {
  using T = TypeParam;
  const auto input = special_and_random<T>(300);
  for (auto fn : Api<T>::entries)
    for (int n : {1, 2, 7, 15, 16, 17, 31, 33, 64, 255, 300}) {
      std::vector<T> r(n + 1, T(7));
      fn(n, input.data(), r.data());
      for (int i = 0; i < n; ++i) ASSERT_EQ(bits(r[i]), abs_bits(input[i])) << "n " << n << " i " << i;
      EXPECT_EQ(r[n], T(7)) << "wrote past n";
    }
}

TYPED_TEST(AbsTest, ZeroLengthTouchesNothing) {
  using T = TypeParam;
  for (auto fn : Api<T>::entries) fn(0, nullptr, nullptr);
  for (auto fn : Api<T>::strided) fn(0, nullptr, 3, nullptr, 5);
}

TYPED_TEST(AbsTest, RemainderStaysInsideArraysThatEndAtAGuardPage) {
  using T = TypeParam;
  for (int n : {1, 5, 17, 23, 40}) {
    zorp::test::GuardedArray<T> a(n), r(n);
    for (int i = 0; i < n; ++i) a[i] = T(-1.5) * T(i);
    for (auto fn : Api<T>::entries) {
      fn(n, a.data(), r.data());
      for (int i = 0; i < n; ++i) ASSERT_EQ(r[i], T(1.5) * T(i));
    }
  }
}

TYPED_TEST(AbsTest, StridedMatchesContiguousBitForBit) {
  using T = TypeParam;
  const auto input = special_and_random<T>(200);
  for (int k = 0; k < 4; ++k)
    for (int inca : {1, 2, 3, -1})
      for (int incr : {1, 4}) {
        const int n = 50;
        std::vector<T> expect(n), a(n * 4), r(n * 4, T(9));
        const T* a0 = inca < 0 ? a.data() + (n - 1) * (-inca) : a.data();
        for (int i = 0; i < n; ++i) const_cast<T*>(a0)[static_cast<ptrdiff_t>(i) * inca] = input[i];
        Api<T>::entries[k](n, input.data(), expect.data());
        Api<T>::strided[k](n, a0, inca, r.data(), incr);
        for (int i = 0; i < n; ++i) ASSERT_EQ(bits(r[i * incr]), bits(expect[i])) << inca << " " << incr;
        if (incr > 1) {
          EXPECT_EQ(r[1], T(9)) << "strided store hit a gap";
        }
      }
}

TYPED_TEST(AbsTest, FlushingModeTreatsDenormalInputsAsZero) {
  using T = TypeParam;
  const uint32_t saved = _fennGetMode();
  const T in[3] = {-std::numeric_limits<T>::denorm_min(), T(-2), std::numeric_limits<T>::min() / 4};
  for (uint32_t denormal_mode : {0x280000u, 0x40000u}) {
    zorp_fenn_kernel_SetMode(denormal_mode);
    const bool flush = denormal_mode == 0x280000u;
    for (int k = 0; k < 4; ++k) {
      T r[3], rs[3];
      Api<T>::entries[k](3, in, r);
      Api<T>::strided[k](3, in, 1, rs, 1);
      T rs2[6];
      Api<T>::strided[k](3, in, 1, rs2, 2);
      for (int i = 0; i < 3; ++i) {
        const T want = (flush && i != 1) ? T(0) : std::fabs(in[i]);
        EXPECT_EQ(bits(r[i]), bits(want)) << "entry " << k << " i " << i;
        EXPECT_EQ(bits(rs[i]), bits(want));
        EXPECT_EQ(bits(rs2[2 * i]), bits(want));
      }
    }
  }
  zorp_fenn_kernel_SetMode(0x40000u);  // the group cannot be cleared; any value but 0x280000 means no flushing
  EXPECT_EQ(_fennGetMode() & ~0x3C0000u, saved & ~0x3C0000u);
}

TEST(AbsTables, SlotsShareKernelsAsCatalogued) {
  EXPECT_EQ(zorp_fenn_kernel_sAbs_ttab[0], zorp_fenn_kernel_sAbs_ttab[1]);
  EXPECT_EQ(zorp_fenn_kernel_sAbs_ttab[0], zorp_fenn_kernel_sAbs_ttab[2]);
  EXPECT_EQ(zorp_fenn_kernel_dAbs_ttab[0], zorp_fenn_kernel_dAbs_ttab[1]);
  EXPECT_NE(zorp_fenn_kernel_dAbs_ttab[0], zorp_fenn_kernel_dAbs_ttab[2]);
  EXPECT_NE(zorp_fenn_kernel_dAbsI_ttab[0], zorp_fenn_kernel_dAbs_ttab[0]);
  for (float c : zorp_fenn_kernel_sAbs_ctab) EXPECT_FLOAT_EQ(c, 0.134f);
}

// The entries read their slot at the moment of the call, so a host that patches a table
// redirects the named entry (and, for unit strides, the strided twin) at once. A host reaches
// the table by name through the library's handle, as done here; a program linked directly
// against the library would see a copy of the table made at its start-up instead.
int g_calls = 0;
void counting_abs(int32_t n, const double* a, double* r) {
  ++g_calls;
  for (int i = 0; i < n; ++i) r[i] = 100.0;
}

TEST(AbsTables, EntriesJumpThroughTheirSlotAtCallTime) {
  void* lib = dlopen(zorp::test::kernel_library_path().c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  auto* table = static_cast<void**>(dlsym(lib, "zorp_fenn_kernel_dAbs_ttab"));
  ASSERT_NE(table, nullptr);
  void* saved = table[2];
  table[2] = reinterpret_cast<void*>(&counting_abs);
  const double a[2] = {-1, -2};
  double r[2];
  _fenndAbs_26(2, a, r);
  EXPECT_EQ(r[0], 100.0);
  _fenndAbsI_26(2, a, 1, r, 1);  // unit increments go through the contiguous slot
  EXPECT_EQ(g_calls, 2);
  _fenndAbs(2, a, r);  // other slots are untouched
  EXPECT_EQ(r[1], 2.0);
  table[2] = saved;
  dlclose(lib);
}

}  // namespace
