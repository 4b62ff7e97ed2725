// Real arithmetic and rounding members through every slot and storage form: special values and
// the statuses they report, bit-identity of strided and contiguous forms, remainders next to a
// guard page, the floating-point control contract and the flushing mode.
#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <limits>
#include <algorithm>
#include <random>
#include <string>

#include "common/guarded.h"
#include "vm/arith_kernels.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

using zorp::test::bits;
using zorp::test::call;
using zorp::test::Member;
using zorp::test::real_members;
using zorp::test::Shape;

// Symbolic values in the table, resolved per type.
constexpr double kMax = 1e300;    // the largest finite value
constexpr double kTiny = 1e-300;  // the least subnormal
constexpr double kInf = INFINITY;
const double kNaN = NAN;

template <typename T>
T resolve(double x) {
  using L = std::numeric_limits<T>;
  if (std::fabs(x) == kMax) return std::copysign(L::max(), T(x));
  if (std::fabs(x) == kTiny) return std::copysign(L::denorm_min(), T(x));
  return T(x);
}

struct Row {
  const char* fn;
  double a, b;
  double want;  // NaN: any NaN
  int status;
};

// Expected results follow from the definitions of the members; signs of zeros matter.
const Row kRows[] = {
    {"Round", 2.5, 0, 3, 0},        {"Round", -2.5, 0, -3, 0},      {"Round", 3.5, 0, 4, 0},
    {"Round", -0.4, 0, -0.0, 0},    {"Round", 0.5, 0, 1, 0},        {"Round", -kInf, 0, -kInf, 0},
    {"Rint", 2.5, 0, 2, 0},         {"Rint", -3.5, 0, -4, 0},       {"NearbyInt", -2.5, 0, -2, 0},
    {"NearbyInt", 0.75, 0, 1, 0},   {"Ceil", -0.5, 0, -0.0, 0},     {"Ceil", 1.25, 0, 2, 0},
    {"Floor", -0.5, 0, -1, 0},      {"Floor", 1.75, 0, 1, 0},       {"Trunc", -1.75, 0, -1, 0},
    {"Trunc", kMax, 0, kMax, 0},    {"Frac", -3, 0, -0.0, 0},       {"Frac", 2.75, 0, 0.75, 0},
    {"Frac", -2.5, 0, -0.5, 0},     {"Frac", 0, 0, 0, 0},           {"Abs", -0.0, 0, 0, 0},
    {"Abs", -kInf, 0, kInf, 0},     {"Abs", -kTiny, 0, kTiny, 0},   {"Sqr", -3, 0, 9, 0},
    {"Sqr", kMax, 0, kInf, 0},      {"Inv", 0, 0, kInf, 2},         {"Inv", -0.0, 0, -kInf, 2},
    {"Inv", 4, 0, 0.25, 0},         {"Inv", -kInf, 0, -0.0, 0},
    {"Sqrt", -1, 0, kNaN, 1},       {"Sqrt", -0.0, 0, -0.0, 0},     {"Sqrt", 4, 0, 2, 0},
    {"Sqrt", kInf, 0, kInf, 0},     {"Sqrt", -kInf, 0, kNaN, 1},    {"Add", 1, 2, 3, 0},
    {"Add", -0.0, -0.0, -0.0, 0},   {"Sub", 1, 3, -2, 0},           {"Mul", -2, 3, -6, 0},
    {"Div", 6, 3, 2, 0},            {"Div", 1, 0, kInf, 2},         {"Div", -1, 0, -kInf, 2},
    {"Div", 1, -0.0, -kInf, 2},     {"Div", 0, 0, kNaN, 2},         {"Div", kNaN, 0, kNaN, 0},
    {"Div", 1, kInf, 0, 0},         {"Div", kMax, 0.5, kInf, 0},    {"Div", kTiny, 2, 0, 0},
    {"Fdim", 3, 1, 2, 0},           {"Fdim", 1, 3, 0, 0},           {"Fdim", kNaN, 3, 0, 0},
    {"Fmax", -0.0, 0, 0, 0},        {"Fmax", 0, -0.0, 0, 0},        {"Fmin", 0, -0.0, -0.0, 0},
    {"Fmin", -0.0, 0, -0.0, 0},     {"Fmax", 1, kNaN, kNaN, 0},     {"Fmin", kNaN, 1, kNaN, 0},
    {"Fmax", -1, 2, 2, 0},          {"Fmin", -kInf, 2, -kInf, 0},   {"MaxMag", -3, 2, -3, 0},
    {"MaxMag", -3, 3, 3, 0},        {"MinMag", -3, 3, -3, 0},       {"MinMag", 1, -0.5, -0.5, 0},
    {"MinMag", -0.0, 0, -0.0, 0},   {"MaxMag", kNaN, 1, kNaN, 0},   {"CopySign", 2, -0.0, -2, 0},
    {"CopySign", -2, 1, 2, 0},      {"CopySign", kInf, -1, -kInf, 0}, {"NextAfter", 0, 1, kTiny, 4},
    {"NextAfter", -0.0, -1, -kTiny, 4}, {"NextAfter", 1, 1, 1, 0},  {"NextAfter", 0, -0.0, -0.0, 0},
    {"NextAfter", kMax, kInf, kInf, 3}, {"NextAfter", kTiny, 0, 0, 4}, {"NextAfter", -kTiny, 1, -0.0, 4},
    {"NextAfter", kInf, 0, kMax, 0}, {"NextAfter", 1, kNaN, kNaN, 0}, {"Remainder", 5, 3, -1, 0},
    {"Remainder", 7, 2, -1, 0},     {"Remainder", 5, 2, 1, 0},      {"Remainder", 1, 0, kNaN, 1},
    {"Remainder", kInf, 1, kNaN, 1}, {"Remainder", kNaN, 0, kNaN, 0}, {"Fmod", 5, 3, 2, 0},
    {"Fmod", -5, 3, -2, 0},         {"Fmod", 1, 0, kNaN, 1},        {"Fmod", -kInf, 2, kNaN, 1},
    {"Fmod", 3, kInf, 3, 0},
};

int g_reports = 0;
int32_t g_last_index = -1;
int32_t count_reports(ZorpVmErrorRecord* rec) {
  ++g_reports;
  g_last_index = rec->index;
  return 1;  // keep the kernel's result
}

const Member& member(const char* name) {
  for (const auto& m : real_members())
    if (std::string(m.name) == name) return m;
  throw std::runtime_error(name);
}

template <typename T>
class RealMembers : public testing::Test {
 protected:
  void SetUp() override {
    saved_mode_ = _fennGetMode();
    _fennSetMode(0x1A02);
    _fennSetErrorCallBack(count_reports);
    _fennClearErrStatus();
  }
  void TearDown() override {
    _fennClearErrorCallBack();
    _fennSetMode(saved_mode_);
    _fennClearErrStatus();
  }
  uint32_t saved_mode_ = 0;
};
using Types = testing::Types<float, double>;
TYPED_TEST_SUITE(RealMembers, Types);

// Each row runs as element 5 of 21 (so it sits in a masked remainder register for both
// types), in every slot, contiguous and strided; the status and the reported index must match.
TYPED_TEST(RealMembers, SpecialValuesAndStatusesInEverySlotAndForm) {
  using T = TypeParam;
  for (const Row& row : kRows) {
    const Member& m = member(row.fn);
    const T want = resolve<T>(row.want);
    for (int slot = 0; slot < 3; ++slot)
      for (bool strided : {false, true}) {
        const int n = 21, at = 5;
        std::vector<T> a(2 * n, T(0.75)), b(2 * n, T(0.75)), r(2 * n, T(-9));
        const int32_t inc[4] = {2, 2, 2, 2};
        const int step = strided ? 2 : 1;
        a[at * step] = resolve<T>(row.a);
        b[at * step] = resolve<T>(row.b);
        _fennClearErrStatus();
        g_reports = 0;
        call<T>(m, slot, strided, n, a.data(), b.data(), r.data(), nullptr, inc);
        const T got = r[at * step];
        SCOPED_TRACE(testing::Message() << row.fn << "(" << row.a << ", " << row.b << ") slot " << slot
                                        << (strided ? " strided" : ""));
        if (std::isnan(want)) EXPECT_TRUE(std::isnan(got)) << got;
        else EXPECT_EQ(bits(got), bits(want)) << got << " want " << want;
        EXPECT_EQ(_fennGetErrStatus(), row.status);
        EXPECT_EQ(g_reports, row.status ? 1 : 0);
        if (row.status) EXPECT_EQ(g_last_index, at);
      }
  }
}

TYPED_TEST(RealMembers, ModfSplitsTowardZeroAndKeepsTheSignInTheFraction) {
  using T = TypeParam;
  const T a[4] = {T(-2.5), T(3.25), T(-0.0), T(-7)};
  const T ip[4] = {T(-2), T(3), T(-0.0), T(-7)};
  const T fp[4] = {T(-0.5), T(0.25), T(-0.0), T(-0.0)};
  for (int slot = 0; slot < 3; ++slot) {
    T r1[4], r2[4];
    call<T>(member("Modf"), slot, false, 4, a, nullptr, r1, r2);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(bits(r1[i]), bits(ip[i])) << i;
      EXPECT_EQ(bits(r2[i]), bits(fp[i])) << i;
    }
  }
}

// Remainder and Fmod are exact: bit for bit what the C library gives, over quotients of every
// size, exact ties (odd and even), near-ties, and subnormal, huge and zero operands of both
// signs. The vector path covers moderate quotients; the rest go lane by lane.
TYPED_TEST(RealMembers, RemainderAndFmodAreTheExactReductions) {
  using T = TypeParam;
  using L = std::numeric_limits<T>;
  _fennSetMode(0x2000);
  std::mt19937_64 rng(11);
  std::vector<T> a, b;
  auto add = [&](T x, T y) {
    for (T sx : {T(1), T(-1)})
      for (T sy : {T(1), T(-1)}) {
        a.push_back(sx * x);
        b.push_back(sy * y);
      }
  };
  std::uniform_real_distribution<T> mant(1, 2);
  for (int k = 0; k < 3000; ++k) {
    const T y = std::ldexp(mant(rng), static_cast<int>(rng() % 60) - 30);
    const int shift = static_cast<int>(rng() % (L::digits + 8)) - 4;
    add(std::ldexp(mant(rng), shift) * y, y);
    // exact and nearly exact ties: (m + 1/2) * y and its neighbours
    const T m = std::floor(std::ldexp(mant(rng), static_cast<int>(rng() % (L::digits - 2))));
    const T tie = (m + T(0.5)) * y;
    add(tie, y);
    add(std::nextafter(tie, T(0)), y);
    add(std::nextafter(tie, L::infinity()), y);
    add(m * y, y);
  }
  for (T x : {T(0), L::denorm_min(), L::min(), T(1), T(3), L::max()})
    for (T y : {L::denorm_min(), L::min(), T(0.75), T(1), L::max(), L::infinity()}) add(x, y);
  const int n = static_cast<int>(a.size());
  for (const char* name : {"Remainder", "Fmod"}) {
    std::vector<T> r(n);
    call<T>(member(name), 1, false, n, a.data(), b.data(), r.data(), nullptr);
    const bool ieee = name[0] == 'R';
    for (int i = 0; i < n; ++i) {
      const T want = ieee ? std::remainder(a[i], b[i]) : std::fmod(a[i], b[i]);
      ASSERT_EQ(bits(r[i]), bits(want)) << name << "(" << a[i] << ", " << b[i] << ")";
    }
  }
  _fennSetMode(0x1A02);
}

TYPED_TEST(RealMembers, LinearFracMatchesItsFormula) {
  using T = TypeParam;
  using LF = zorp::test::LinFracScalars<T>;
  const T a[3] = {T(1), T(-4), T(0.5)}, b[3] = {T(0.5), T(2), T(1.5)};
  T r[3];
  call<T>(member("LinearFrac"), 1, false, 3, a, b, r, nullptr);
  for (int i = 0; i < 3; ++i) {
    const T want = std::fma(LF::sa, a[i], LF::ha) / std::fma(LF::sb, b[i], LF::hb);
    EXPECT_EQ(bits(r[i]), bits(want)) << i;
  }
}

// A mixture of ordinary, special and extreme values for the bit-identity tests.
template <typename T>
std::vector<T> mixed_values(size_t n, uint64_t seed) {
  using L = std::numeric_limits<T>;
  std::vector<T> v = {T(0), -T(0), T(1), -T(2.5), L::infinity(), -L::infinity(), L::quiet_NaN(),
                      L::denorm_min(), L::max(), -L::min(), T(0.5), T(-3)};
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> u(-40, 40);
  while (v.size() < n) {
    if (rng() % 4 == 0) v.push_back(static_cast<T>(std::ldexp(u(rng), static_cast<int>(rng() % 200) - 100)));
    else v.push_back(static_cast<T>(u(rng)));
  }
  return v;
}

// Strided forms with unit and wider increments give the contiguous results bit for bit and
// leave the gaps untouched.
TYPED_TEST(RealMembers, StridedFormsMatchContiguousBitForBit) {
  using T = TypeParam;
  _fennSetMode(0x2000);  // no callouts: compare the vector paths themselves first
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 1) _fennSetMode(0x1A00);
    const int n = 77;
    const auto a = mixed_values<T>(n, 1), b = mixed_values<T>(n, 2);
    for (const Member& m : real_members())
      for (int slot = 0; slot < 3; ++slot) {
        std::vector<T> c1(n), c2(n);
        call<T>(m, slot, false, n, a.data(), b.data(), c1.data(), c2.data());
        for (int32_t step : {1, 2, 3}) {
          std::vector<T> sa(n * step, T(5)), sb(n * step, T(5)), s1(n * step, T(-7)), s2(n * step, T(-7));
          for (int i = 0; i < n; ++i) {
            sa[i * step] = a[i];
            sb[i * step] = b[i];
          }
          const int32_t inc[4] = {step, step, step, step};
          call<T>(m, slot, true, n, sa.data(), sb.data(), s1.data(), s2.data(), inc);
          for (int i = 0; i < n * step; ++i) {
            if (i % step) {
              ASSERT_EQ(s1[i], T(-7)) << m.name << " wrote a gap";
              continue;
            }
            ASSERT_EQ(bits(s1[i]), bits(c1[i / step])) << m.name << " slot " << slot << " inc " << step << " i " << i / step;
            if (m.shape == Shape::A1R2) ASSERT_EQ(bits(s2[i]), bits(c2[i / step])) << m.name;
          }
        }
      }
  }
}

// Arrays that end at a guard page: remainders of every length read and write nothing beyond n.
TYPED_TEST(RealMembers, RemaindersStayInsideTheArrays) {
  using T = TypeParam;
  const auto va = mixed_values<T>(70, 3), vb = mixed_values<T>(70, 4);
  for (int n : {1, 7, 15, 16, 17, 31, 33, 65}) {
    zorp::test::GuardedArray<T> a(n), b(n), r1(n), r2(n);
    for (int i = 0; i < n; ++i) {
      a[i] = va[i];
      b[i] = vb[i];
    }
    for (const Member& m : real_members())
      for (int slot = 0; slot < 3; ++slot) {
        std::vector<T> w1(n), w2(n);
        call<T>(m, slot, false, n, va.data(), vb.data(), w1.data(), w2.data());
        call<T>(m, slot, false, n, a.data(), b.data(), r1.data(), r2.data());
        for (int i = 0; i < n; ++i) ASSERT_EQ(bits(r1[i]), bits(w1[i])) << m.name << " n " << n;
        const int32_t inc[4] = {1, 1, 1, 1};
        call<T>(m, slot, true, n, a.data(), b.data(), r1.data(), r2.data(), inc);
      }
  }
}

TYPED_TEST(RealMembers, ZeroLengthTouchesNothingAndReportsNothing) {
  using T = TypeParam;
  const int32_t inc[4] = {3, 3, 3, 3};
  for (const Member& m : real_members())
    for (int slot = 0; slot < 3; ++slot) {
      call<T>(m, slot, false, 0, nullptr, nullptr, nullptr, nullptr);
      call<T>(m, slot, true, 0, nullptr, nullptr, nullptr, nullptr, inc);
    }
  EXPECT_EQ(_fennGetErrStatus(), 0);
}

TYPED_TEST(RealMembers, NoErrorModeRunsNoCalloutAndKeepsTheStatus) {
  using T = TypeParam;
  _fennSetMode(0x2000);
  g_reports = 0;
  const T a[2] = {T(1), T(-1)}, z[2] = {T(0), T(0)};
  T r[2];
  call<T>(member("Div"), 1, false, 2, a, z, r, nullptr);
  call<T>(member("Sqrt"), 1, false, 2, a, nullptr, r, nullptr);
  EXPECT_TRUE(std::isnan(r[1]));
  EXPECT_EQ(_fennGetErrStatus(), 0);
  EXPECT_EQ(g_reports, 0);
}

// The caller's control bits (here flush-to-zero and round toward zero) come back unchanged; the
// kernel computes with round to nearest and no flushing; flags raised inside are added.
TYPED_TEST(RealMembers, CallersControlWordComesBackWithNewFlagsAdded) {
  using T = TypeParam;
  const unsigned saved = _mm_getcsr();
  const unsigned caller = (0x1F80u | 0x8000u | 0x6000u);  // masked, FTZ, round toward zero
  const T one = T(1), third = T(3);
  const T tiny = std::numeric_limits<T>::min(), half = T(0.5);
  T q, p;
  _mm_setcsr(caller);
  call<T>(member("Div"), 1, false, 1, &one, &third, &q, nullptr);
  call<T>(member("Mul"), 1, false, 1, &tiny, &half, &p, nullptr);
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(after & 0xFFC0u, caller & 0xFFC0u);
  EXPECT_NE(after & 0x20u, 0u) << "inexact flag of 1/3 not added";
  EXPECT_EQ(bits(q), bits(static_cast<T>(T(1) / T(3))));  // round to nearest
  EXPECT_EQ(bits(p), bits(static_cast<T>(tiny / 2)));     // a subnormal, not flushed
}

TYPED_TEST(RealMembers, FlushingModeTreatsDenormalsAsZero) {
  using T = TypeParam;
  _fennSetMode(0x280000);
  const T d1 = std::numeric_limits<T>::denorm_min() * 3, d2 = std::numeric_limits<T>::denorm_min() * 5;
  T r = T(1), s = T(1);
  call<T>(member("Add"), 0, false, 1, &d1, &d2, &r, nullptr);
  call<T>(member("Abs"), 0, false, 1, &d1, nullptr, &s, nullptr);
  EXPECT_EQ(bits(r), bits(T(0)));
  EXPECT_EQ(bits(s), bits(T(0)));
  _fennSetMode(0x40000);
  call<T>(member("Add"), 0, false, 1, &d1, &d2, &r, nullptr);
  EXPECT_EQ(r, std::numeric_limits<T>::denorm_min() * 8);
}

TEST(RealMembersSharing, SlotsShareKernelsAsCatalogued) {
  using zorp::test::table;
  for (const char* fn : {"Add", "Round", "Modf", "Fmax", "NextAfter", "LinearFrac"}) {
    auto* t = table<double>(fn, false);
    ASSERT_NE(t, nullptr) << fn;
    EXPECT_EQ(t[0], t[1]);
    EXPECT_EQ(t[0], t[2]);
  }
  for (const char* fn : {"Div", "Sqrt"}) {
    auto* t = table<float>(fn, false);
    EXPECT_NE(t[0], t[1]);
    EXPECT_NE(t[1], t[2]);
  }
  auto* inv = table<float>("Inv", true);
  EXPECT_EQ(inv[0], inv[1]);
  EXPECT_NE(inv[1], inv[2]);
}

}  // namespace

namespace {
std::vector<int32_t> g_reported;
int32_t record_index(ZorpVmErrorRecord* rec) {
  g_reported.push_back(rec->index);
  return 1;  // the kernel's values stay
}
}  // namespace

// Calls large enough to store around the caches, with arguments and results that start off a
// register boundary by 0 to 3 elements together, or with the results alone shifted (and, for
// Modf, second results at another offset): every element equals the result of small calls, and
// special elements inside the peel and the streamed blocks are reported with their indices.
TYPED_TEST(RealMembers, LargeCallsMatchSmallCallsAtEveryOutputOffset) {
  using T = TypeParam;
  const int n = 1800001;  // above the streaming threshold in both precisions (Round: in double)
  const int kChunk = 1000;
  std::vector<T> a(n), b(n);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<T> u(-50, 50);
  for (int i = 0; i < n; ++i) a[i] = u(rng), b[i] = u(rng);
  const std::vector<int32_t> zeros = {1, 2, 4096, 1523775, n - 2};
  for (int32_t z : zeros) b[z] = T(0);
  _fennSetMode(0x1A02 | 0x1000);  // default plus the callback
  _fennSetErrorCallBack(record_index);
  for (const char* name : {"Add", "Div", "Round", "Modf"}) {
    const Member& m = member(name);
    std::vector<T> w1(n), w2(n);
    for (int s = 0; s < n; s += kChunk)
      call<T>(m, 1, false, std::min(kChunk, n - s), a.data() + s, b.data() + s, w1.data() + s, w2.data() + s);
    for (int off1 = 0; off1 < 5; ++off1) {
      // offset 4: arguments on one phase, results on another
      const int in_off = off1 == 4 ? 1 : off1, out1 = off1 == 4 ? 2 : off1, off2 = (off1 + 1) % 4;
      std::vector<T> ba(n + 8), bb(n + 8), big1(n + 8), big2(n + 8);
      std::copy(a.begin(), a.end(), ba.begin() + in_off);
      std::copy(b.begin(), b.end(), bb.begin() + in_off);
      g_reported.clear();
      _fennSetErrStatus(0);
      call<T>(m, 1, false, n, ba.data() + in_off, bb.data() + in_off, big1.data() + out1, big2.data() + off2);
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(bits(big1[i + out1]), bits(w1[i])) << name << " offset " << off1 << " i " << i;
        if (m.shape == Shape::A1R2) ASSERT_EQ(bits(big2[i + off2]), bits(w2[i])) << name << " i " << i;
      }
      if (std::string(name) == "Div") {
        EXPECT_EQ(g_reported, zeros) << "offset " << off1;
        EXPECT_EQ(_fennGetErrStatus(), 2);
      } else {
        EXPECT_TRUE(g_reported.empty()) << name;
      }
    }
  }
  _fennClearErrorCallBack();
  _fennSetMode(0x1A02);
}
