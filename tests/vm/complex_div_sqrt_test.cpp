// Complex Div and Sqrt in both precisions: every slot's parts against MPFR over several
// argument families (independent parts over the whole range, parts at one scale, extremes and
// subnormals, quotients that cancel), the non-finite conventions, and the zero divisor's report
// in every slot and storage form.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/accuracy.h"
#include "vm/complex_kernels.h"
#include "vm/statuses_off.h"
#include "zorp/vm.h"

namespace {

using namespace zorp::test;
using namespace zorp::test::accuracy;

template <typename R>
using Sample = std::function<std::vector<typename Cx<R>::C>(size_t, uint64_t)>;

template <typename R>
struct Family {
  const char* name;
  Sample<R> make;
};

template <typename R>
std::vector<Family<R>> families() {
  return {{"whole range", components_over_whole_range<R>},
          {"one scale", components_at_one_scale<R>},
          {"extremes", components_from_extremes<R>}};
}

// The kernels' slots with the class each must meet; every kernel also promises each part
// within an ulp (the LA and EP slots share an accurate kernel).
struct SlotCase {
  const char* fn;
  int slot;
  Slot bound;
};
constexpr SlotCase kSlots[] = {{"Div", 0, Slot::LA}, {"Div", 1, Slot::LA}, {"Div", 2, Slot::EP},
                               {"Sqrt", 0, Slot::LA}, {"Sqrt", 1, Slot::HA}, {"Sqrt", 2, Slot::LA}};

template <typename R>
class ComplexDivSqrt : public StatusesOff {};
using Types = testing::Types<float, double>;
TYPED_TEST_SUITE(ComplexDivSqrt, Types);

TYPED_TEST(ComplexDivSqrt, PartsMeetTheirClassOverEveryFamily) {
  using R = TypeParam;
  const size_t n = 12000;
  for (const SlotCase& k : kSlots) {
    const std::string name = std::string("v") + Cx<R>::t + k.fn;
    const bool div = std::string(k.fn) == "Div";
    uint64_t seed = 40;
    for (const auto& f : families<R>()) {
      const auto a = f.make(n, seed++), b = f.make(n, seed++);
      const Stats<R> s = div ? measure_div<R>(k.slot, a, b) : measure_sqrt<R>(k.slot, a);
      SCOPED_TRACE(f.name);
      EXPECT_TRUE(s.meets(k.bound)) << s.describe(name.c_str(), static_cast<Slot>(k.slot));
      EXPECT_LE(s.max_ulp, 1.0) << s.describe(name.c_str(), static_cast<Slot>(k.slot));
      EXPECT_GT(s.count, n) << "too few finite comparisons";
    }
    if (div) {
      const auto b = components_at_one_scale<R>(n, 77), a = dividends_that_cancel<R>(b, 78);
      const Stats<R> s = measure_div<R>(k.slot, a, b);
      SCOPED_TRACE("cancelling");
      EXPECT_LE(s.max_ulp, 1.0) << s.describe(name.c_str(), static_cast<Slot>(k.slot));
    }
  }
}

// Elements whose parts are far apart in size but all representable: a result part that is
// normal must not be lost to an intermediate underflow or overflow.
TYPED_TEST(ComplexDivSqrt, WidelySeparatedPartsKeepTheirSmallResultParts) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  using L = std::numeric_limits<R>;
  const R big = std::ldexp(R(1.375), L::max_exponent - 4), small = std::ldexp(R(1.625), L::min_exponent + 8);
  // a/b with a = (big, s), b = (tiny, 0): im = s / tiny is ordinary although s*tiny underflows
  const R tiny = std::ldexp(R(1.5), L::min_exponent + 2);
  const std::vector<C> a = {{big, R(3)}, {small, big}, {R(3), small}, {-big, small}};
  const std::vector<C> b = {{tiny, R(0)}, {big, small}, {small, R(0)}, {big, -big}};
  for (const SlotCase& k : kSlots) {
    const Stats<R> s = std::string(k.fn) == "Div" ? measure_div<R>(k.slot, a, b) : measure_sqrt<R>(k.slot, a);
    EXPECT_LE(s.max_ulp, 1.0) << s.describe(k.fn, static_cast<Slot>(k.slot));
    EXPECT_EQ(s.special_mismatches, 0u) << s.describe(k.fn, static_cast<Slot>(k.slot));
  }
}

// sqrt(-4) = 2i, sqrt(3 - 4i) = 2 - i, sqrt(-0 + 0i) = +0 + 0i, sqrt(+0 - 0i) = +0 - 0i,
// sqrt(-9 - 0i) = 0 - 3i: the branch cut takes the sign of the imaginary part, zero included.
TYPED_TEST(ComplexDivSqrt, SqrtBranchCutAndZeros) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  const C z[5] = {{-4, 0}, {3, -4}, {-R(0), 0}, {R(0), -R(0)}, {-9, -R(0)}};
  const C want[5] = {{0, 2}, {2, -1}, {R(0), R(0)}, {R(0), -R(0)}, {R(0), -3}};
  for (int slot = 0; slot < 3; ++slot) {
    C r[5];
    reinterpret_cast<Unary<R>>(slot_of<R>("Sqrt", false, slot))(5, z, r);
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(bits(r[i].re), bits(want[i].re)) << "slot " << slot << " element " << i;
      EXPECT_EQ(bits(r[i].im), bits(want[i].im)) << "slot " << slot << " element " << i;
    }
  }
}

// ---- non-finite elements (C99 Annex G conventions) -----------------------------------------
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct DivRow {
  ZorpComplex16 a, b, want;
};
// A NaN in `want` asks for any NaN; otherwise the bits must match (signs of zeros included).
const DivRow kDivRows[] = {
    {{kInf, 0}, {1, 1}, {kInf, -kInf}},       // (1, 0) * conj(1, 1) = (1, -1)
    {{kInf, kInf}, {1, 0}, {kInf, kInf}},
    {{-kInf, 2}, {0, 3}, {kNaN, kInf}},       // (-1, 0) * conj(0, 3) = (0, 3): real part undetermined
    {{kInf, kNaN}, {2, 0}, {kInf, kNaN}},     // an infinity with a NaN part is still infinite
    {{1, 2}, {kInf, 0}, {0.0, 0.0}},
    {{-1, 2}, {kInf, kInf}, {0.0, 0.0}},      // (-1 + 2, 2 + 1) with signs (+, +)
    {{1, -2}, {-kInf, 5}, {-0.0, 0.0}},       // (1, -2) * (-1, -0) = (-1, 2)
    {{3, 4}, {kNaN, kInf}, {0.0, -0.0}},      // b infinite; its NaN part counts as a zero
    {{kInf, 0}, {kInf, 0}, {kNaN, kNaN}},
    {{kNaN, 1}, {1, 1}, {kNaN, kNaN}},
    {{1, 1}, {kNaN, 1}, {kNaN, kNaN}},
    {{1e30, 1e30}, {kNaN, 0}, {kNaN, kNaN}},
};

struct SqrtRow {
  ZorpComplex16 a, want;
};
const SqrtRow kSqrtRows[] = {
    {{1, kInf}, {kInf, kInf}},      {{kNaN, -kInf}, {kInf, -kInf}}, {{-kInf, kInf}, {kInf, kInf}},
    {{kInf, 2}, {kInf, 0.0}},       {{kInf, -2}, {kInf, -0.0}},     {{-kInf, 2}, {0.0, kInf}},
    {{-kInf, -0.0}, {0.0, -kInf}},  {{kInf, kNaN}, {kInf, kNaN}},   {{-kInf, kNaN}, {kNaN, kInf}},
    {{kNaN, 1}, {kNaN, kNaN}},      {{1, kNaN}, {kNaN, kNaN}},      {{kNaN, kNaN}, {kNaN, kNaN}},
};

template <typename R>
void expect_same(R got, double want, const char* what) {
  if (std::isnan(want)) EXPECT_TRUE(std::isnan(got)) << what << ": " << got;
  else EXPECT_EQ(bits(got), bits(static_cast<R>(want))) << what << ": " << got << " want " << want;
}

template <typename R>
typename Cx<R>::C narrowed(const ZorpComplex16& z) {
  return {static_cast<R>(z.re), static_cast<R>(z.im)};
}

// Each row runs as element 6 of 11, among ordinary elements (so in a register whose other
// elements take the vector path), in every slot. Single precision follows the same conventions.
TYPED_TEST(ComplexDivSqrt, NonFiniteElementsFollowTheConventions) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  const int n = 11, at = 6;
  const R tolerance = 4 * std::numeric_limits<R>::epsilon();
  for (int slot = 0; slot < 3; ++slot) {
    for (const DivRow& row : kDivRows) {
      std::vector<C> a(n, C{R(1.5), R(-2.5)}), b(n, C{R(0.5), R(3)}), r(n);
      a[at] = narrowed<R>(row.a), b[at] = narrowed<R>(row.b);
      reinterpret_cast<Binary<R>>(slot_of<R>("Div", false, slot))(n, a.data(), b.data(), r.data());
      SCOPED_TRACE(testing::Message() << "(" << row.a.re << ", " << row.a.im << ") / (" << row.b.re << ", "
                                      << row.b.im << ") slot " << slot);
      expect_same(r[at].re, row.want.re, "re");
      expect_same(r[at].im, row.want.im, "im");
      EXPECT_NEAR(r[at - 1].re, R(-6.75 / 9.25), tolerance);  // (1.5 - 2.5i) / (0.5 + 3i)
      EXPECT_NEAR(r[at - 1].im, R(-5.75 / 9.25), tolerance);
    }
    for (const SqrtRow& row : kSqrtRows) {
      std::vector<C> a(n, C{R(3), R(4)}), r(n);
      a[at] = narrowed<R>(row.a);
      reinterpret_cast<Unary<R>>(slot_of<R>("Sqrt", false, slot))(n, a.data(), r.data());
      SCOPED_TRACE(testing::Message() << "sqrt(" << row.a.re << ", " << row.a.im << ") slot " << slot);
      expect_same(r[at].re, row.want.re, "re");
      expect_same(r[at].im, row.want.im, "im");
      EXPECT_EQ(r[at + 1].re, R(2));
      EXPECT_EQ(r[at + 1].im, R(1));
    }
  }
}

// ---- the zero divisor --------------------------------------------------------------------
int g_reports = 0;
ZorpVmErrorRecord g_last{};
int32_t keep_result(ZorpVmErrorRecord* rec) {
  ++g_reports;
  g_last = *rec;
  return 1;
}

// Status 2 once, at the element's index, with each part of the dividend divided by the
// divisor's real zero (±inf, or NaN for a zero part); the same stored result with the error
// mode "no error", where no report runs; neighbours untouched. Every slot, both forms.
TYPED_TEST(ComplexDivSqrt, ZeroDivisorIsReportedWithItsIndexInEverySlotAndForm) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  const int n = 37;
  const C divisors[] = {{R(0), R(0)}, {-R(0), R(0)}};
  for (int slot = 0; slot < 3; ++slot)
    for (bool strided : {false, true})
      for (const C& zero : divisors)
        for (uint32_t mode : {0x1A00u, 0x2000u})
          for (int at : {9, 35}) {  // in a whole block, in the remainder
            const int step = strided ? 2 : 1;
            std::vector<C> a(n * step, C{R(2), R(-1)}), b(n * step, C{R(1), R(1)}), r(n * step, C{R(-7), R(-7)});
            a[at * step] = {R(3), R(0)};
            b[at * step] = zero;
            _fennSetErrorCallBack(keep_result);  // before the mode, which decides the callback flag
            const uint32_t saved = _fennSetMode(mode);
            _fennClearErrStatus();
            g_reports = 0;
            void* k = slot_of<R>("Div", strided, slot);
            if (strided)
              reinterpret_cast<void (*)(int32_t, const C*, int32_t, const C*, int32_t, C*, int32_t)>(k)(
                  n, a.data(), step, b.data(), step, r.data(), step);
            else reinterpret_cast<Binary<R>>(k)(n, a.data(), b.data(), r.data());
            const int32_t status = _fennGetErrStatus();
            _fennClearErrorCallBack();
            _fennClearErrStatus();
            _fennSetMode(saved);
            SCOPED_TRACE(testing::Message() << "slot " << slot << (strided ? " strided" : "") << " mode " << std::hex
                                            << mode << " divisor re " << zero.re << std::dec << " at " << at);
            const R inf = std::signbit(zero.re) ? -std::numeric_limits<R>::infinity() : std::numeric_limits<R>::infinity();
            EXPECT_EQ(r[at * step].re, inf);
            EXPECT_TRUE(std::isnan(r[at * step].im));
            EXPECT_EQ(r[(at - 1) * step].re, R(0.5));  // (2 - i) / (1 + i) = 0.5 - 1.5i
            EXPECT_EQ(r[(at - 1) * step].im, R(-1.5));
            if (strided) {
              EXPECT_EQ(r[at * step + 1].re, R(-7));
            }
            if (mode == 0x2000u) {
              EXPECT_EQ(status, 0);
              EXPECT_EQ(g_reports, 0);
            } else {
              EXPECT_EQ(status, 2);
              ASSERT_EQ(g_reports, 1);
              EXPECT_EQ(g_last.index, at);
              EXPECT_EQ(g_last.arg1, 3.0);
              EXPECT_EQ(g_last.arg2, double(zero.re));
              EXPECT_STREQ(g_last.name, Cx<R>::t == 'c' ? "vcDiv" : "vzDiv");
            }
          }
}

}  // namespace
