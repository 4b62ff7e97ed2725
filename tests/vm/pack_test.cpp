// Pack and unpack in all four types and both integer widths, against plain loops written here:
// lengths around the vector step, negative and zero increments, repeated indices, masks of every
// density, non-positive counts, arrays ending at a guard page, and bit patterns (signalling NaN)
// moved untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/guarded.h"
#include "zorp/vm_functions.h"

namespace {

// A type-erased element of 4, 8 or 16 bytes, compared bytewise.
template <int kBytes>
struct Elem {
  unsigned char b[kBytes];
  bool operator==(const Elem& o) const { return std::memcmp(b, o.b, kBytes) == 0; }
};

using PackFn = void (*)(int64_t, const void*, const void*, void*, int32_t);
using PackIFn = void (*)(int64_t, const void*, int64_t, void*, int32_t);
using UnpackFn = void (*)(int64_t, const void*, void*, const void*, int32_t);
using UnpackIFn = void (*)(int64_t, const void*, void*, int64_t, int32_t);

struct Family {
  const char* type;
  int bytes;
  PackIFn pack_i;
  PackFn pack_v, pack_m;
  UnpackIFn unpack_i;
  UnpackFn unpack_v, unpack_m;
};

#define FAMILY(t, bytes)                                                                         \
  Family {                                                                                       \
    #t, bytes, reinterpret_cast<PackIFn>(_fenn##t##PackI), reinterpret_cast<PackFn>(_fenn##t##PackV_HA), \
        reinterpret_cast<PackFn>(_fenn##t##PackM), reinterpret_cast<UnpackIFn>(_fenn##t##UnpackI),     \
        reinterpret_cast<UnpackFn>(_fenn##t##UnpackV), reinterpret_cast<UnpackFn>(_fenn##t##UnpackM)   \
  }

class PackTest : public testing::TestWithParam<std::tuple<Family, int32_t>> {};

template <int kBytes>
std::vector<Elem<kBytes>> random_elems(size_t n, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<Elem<kBytes>> v(n);
  for (auto& e : v)
    for (auto& c : e.b) c = static_cast<unsigned char>(rng());
  // a signalling NaN pattern in the first element must arrive unchanged
  if (kBytes >= 4) {
    const uint32_t snan = 0x7F800001u;
    std::memcpy(v[0].b, &snan, 4);
  }
  return v;
}

// Integer arrays in the width under test.
struct Ints {
  int32_t width;
  std::vector<int32_t> i32;
  std::vector<int64_t> i64;
  Ints(int32_t w, const std::vector<int64_t>& v) : width(w), i64(v) {
    for (int64_t x : v) i32.push_back(static_cast<int32_t>(x));
  }
  const void* data() const { return width == 1 ? static_cast<const void*>(i32.data()) : i64.data(); }
};

template <int kBytes>
void check_family(const Family& f, int32_t width) {
  using E = Elem<kBytes>;
  std::mt19937_64 rng(7);
  for (int64_t n : {1, 5, 7, 8, 9, 15, 16, 17, 33, 100}) {
    const auto src = random_elems<kBytes>(static_cast<size_t>(n * 4 + 8), n);
    // PackI / UnpackI with several increments, negative ones starting from the far end
    for (int64_t inc : {1, 2, 3, -2, 0}) {
      const int64_t span = (inc < 0 ? -inc : inc) * (n - 1);
      const E* a = inc < 0 ? src.data() + span : src.data();
      std::vector<E> y(n), want(n);
      for (int64_t i = 0; i < n; ++i) want[i] = a[i * inc];
      f.pack_i(n, a, inc, y.data(), width);
      ASSERT_EQ(y, want) << f.type << " PackI n " << n << " inc " << inc;
      std::vector<E> u(src), uwant(src);
      E* ub = inc < 0 ? u.data() + span : u.data();
      E* uwb = inc < 0 ? uwant.data() + span : uwant.data();
      for (int64_t i = 0; i < n; ++i) uwb[i * inc] = y[i];
      f.unpack_i(n, y.data(), ub, inc, width);
      ASSERT_EQ(u, uwant) << f.type << " UnpackI n " << n << " inc " << inc;
    }
    // PackV / UnpackV with random indices, repeats included
    std::vector<int64_t> idx(n);
    for (auto& x : idx) x = static_cast<int64_t>(rng() % (n * 4));
    const Ints ix(width, idx);
    std::vector<E> y(n), want(n);
    for (int64_t i = 0; i < n; ++i) want[i] = src[idx[i]];
    f.pack_v(n, src.data(), ix.data(), y.data(), width);
    ASSERT_EQ(y, want) << f.type << " PackV n " << n;
    std::vector<E> u(src), uwant(src);
    for (int64_t i = 0; i < n; ++i) uwant[idx[i]] = src[i];
    f.unpack_v(n, src.data(), u.data(), ix.data(), width);
    ASSERT_EQ(u, uwant) << f.type << " UnpackV n " << n;
    // PackM / UnpackM with masks of several densities (nonzero values of any size count)
    for (int density : {0, 1, 2, 4}) {
      std::vector<int64_t> mask(n);
      for (auto& x : mask) x = density && rng() % density == 0 ? static_cast<int64_t>(rng() % 5) - 2 : 0;
      const Ints mx(width, mask);
      std::vector<E> py(n + 1, src[n]), pwant(n + 1, src[n]);
      int64_t j = 0;
      for (int64_t i = 0; i < n; ++i)
        if (mask[i]) pwant[j++] = src[i];
      f.pack_m(n, src.data(), mx.data(), py.data(), width);
      ASSERT_EQ(py, pwant) << f.type << " PackM n " << n << " density " << density;
      std::vector<E> uy(src.begin(), src.begin() + n), uw(uy);
      const auto packed = random_elems<kBytes>(n, 99);
      j = 0;
      for (int64_t i = 0; i < n; ++i)
        if (mask[i]) uw[i] = packed[j++];
      f.unpack_m(n, packed.data(), uy.data(), mx.data(), width);
      ASSERT_EQ(uy, uw) << f.type << " UnpackM n " << n;
    }
  }
}

TEST_P(PackTest, MatchesPlainLoops) {
  const auto [f, width] = GetParam();
  switch (f.bytes) {
    case 4: check_family<4>(f, width); break;
    case 8: check_family<8>(f, width); break;
    case 16: check_family<16>(f, width); break;
  }
}

TEST_P(PackTest, NonPositiveCountsTouchNothing) {
  const auto [f, width] = GetParam();
  for (int64_t n : {int64_t(0), int64_t(-3)}) {
    f.pack_i(n, nullptr, 1, nullptr, width);
    f.pack_v(n, nullptr, nullptr, nullptr, width);
    f.pack_m(n, nullptr, nullptr, nullptr, width);
    f.unpack_i(n, nullptr, nullptr, 1, width);
    f.unpack_v(n, nullptr, nullptr, nullptr, width);
    f.unpack_m(n, nullptr, nullptr, nullptr, width);
  }
  // width 1 reads only the low 32 bits of the count: 2^32 + 0 is zero elements
  if (width == 1) f.pack_i(int64_t(1) << 32, nullptr, 1, nullptr, width);
}

// Arrays that end at a guard page, with n = 17 so the vector loop and the plain tail both run.
TEST_P(PackTest, StaysInsideArraysAtAGuardPage) {
  const auto [f, width] = GetParam();
  const int n = 17;
  zorp::test::GuardedArray<unsigned char> a(n * f.bytes), y(n * f.bytes);
  for (int i = 0; i < n * f.bytes; ++i) a[i] = static_cast<unsigned char>(i);
  std::vector<int64_t> all(n, 1), ids(n);
  for (int i = 0; i < n; ++i) ids[i] = n - 1 - i;
  const Ints mask(width, all), idx(width, ids);
  zorp::test::GuardedArray<unsigned char> mbuf(n * (width == 1 ? 4 : 8)), ibuf(n * (width == 1 ? 4 : 8));
  std::memcpy(mbuf.data(), mask.data(), n * (width == 1 ? 4 : 8));
  std::memcpy(ibuf.data(), idx.data(), n * (width == 1 ? 4 : 8));
  f.pack_i(n, a.data(), 1, y.data(), width);
  EXPECT_EQ(std::memcmp(a.data(), y.data(), n * f.bytes), 0);
  f.pack_m(n, a.data(), mbuf.data(), y.data(), width);
  f.unpack_m(n, a.data(), y.data(), mbuf.data(), width);
  f.pack_v(n, a.data(), ibuf.data(), y.data(), width);
  f.unpack_v(n, a.data(), y.data(), ibuf.data(), width);
  f.unpack_i(n, a.data(), y.data(), 1, width);
  EXPECT_EQ(std::memcmp(a.data(), y.data(), n * f.bytes), 0);
}

INSTANTIATE_TEST_SUITE_P(AllTypes, PackTest,
                         testing::Combine(testing::Values(FAMILY(s, 4), FAMILY(d, 8), FAMILY(c, 8), FAMILY(z, 16)),
                                          testing::Values(1, 2)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).type) + "_width" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace
