// Complex arithmetic members: per-component accuracy against MPFR over components spread over
// the whole range (so that products of large or tiny parts would overflow or underflow if a
// kernel formed them naively), exactness of Add, Sub and Conj, strided forms bit-identical to
// contiguous ones, and remainders next to a guard page.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/accuracy.h"
#include "common/guarded.h"
#include "vm/arith_kernels.h"
#include "vm/complex_kernels.h"
#include "vm/statuses_off.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

using namespace zorp::test::accuracy;
using zorp::test::bits;
using zorp::test::components_over_whole_range;
using zorp::test::Cx;
using zorp::test::slot_of;
using zorp::test::StatusesOff;

template <typename R>
class ComplexMembers : public StatusesOff {};
using Types = testing::Types<float, double>;
TYPED_TEST_SUITE(ComplexMembers, Types);

// Mul and MulByConj: each component within 1 ulp in every slot (the LA/HA kernel is the HA one,
// the EP kernel must still meet its bits), no spurious overflow or underflow.
TYPED_TEST(ComplexMembers, MulComponentsAreAccurateOverTheWholeRange) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  const size_t n = 20000;
  const auto a = components_over_whole_range<R>(n, 1), b = components_over_whole_range<R>(n, 2);
  for (bool conj : {false, true})
    for (int slot = 0; slot < 3; ++slot) {
      auto fn = reinterpret_cast<void (*)(int32_t, const C*, const C*, C*)>(slot_of<R>(conj ? "MulByConj" : "Mul", false, slot));
      ASSERT_NE(fn, nullptr);
      std::vector<C> r(n);
      fn(static_cast<int32_t>(n), a.data(), b.data(), r.data());
      Stats<R> s;
      Mp ar(64), ai(64), br(64), bi(64), t1(kRefPrecision), t2(kRefPrecision), exact;
      for (size_t i = 0; i < n; ++i) {
        set_exact<R>(ar, a[i].re);
        set_exact<R>(ai, a[i].im);
        set_exact<R>(br, b[i].re);
        set_exact<R>(bi, conj ? -b[i].im : b[i].im);
        mpfr_mul(t1, ar, br, MPFR_RNDN);  // exact at this precision
        mpfr_mul(t2, ai, bi, MPFR_RNDN);
        mpfr_sub(exact, t1, t2, MPFR_RNDN);
        s.add(a[i].re, b[i].re, r[i].re, exact);
        mpfr_mul(t1, ar, bi, MPFR_RNDN);
        mpfr_mul(t2, ai, br, MPFR_RNDN);
        mpfr_add(exact, t1, t2, MPFR_RNDN);
        s.add(a[i].im, b[i].im, r[i].im, exact);
      }
      const std::string name = std::string("v") + Cx<R>::t + (conj ? "MulByConj" : "Mul");
      EXPECT_LE(s.max_ulp, 1.0) << s.describe(name.c_str(), static_cast<Slot>(slot));
      EXPECT_EQ(s.special_mismatches, 0u) << s.describe(name.c_str(), static_cast<Slot>(slot));
    }
}

TYPED_TEST(ComplexMembers, AbsIsAccurateOverTheWholeRangeAndHandlesSpecials) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  using L = std::numeric_limits<R>;
  const size_t n = 20000;
  auto a = components_over_whole_range<R>(n, 3);
  a[0] = {L::max(), L::max()};           // overflows genuinely
  a[1] = {L::infinity(), L::quiet_NaN()};  // infinity wins over NaN
  a[2] = {R(0), -R(0)};
  a[3] = {L::denorm_min(), L::denorm_min()};
  a[4] = {L::quiet_NaN(), R(1)};
  a[5] = {R(3), R(-4)};
  for (int slot = 0; slot < 3; ++slot) {
    auto fn = reinterpret_cast<void (*)(int32_t, const C*, R*)>(slot_of<R>("Abs", false, slot));
    ASSERT_NE(fn, nullptr);
    std::vector<R> r(n + 1, R(-1));
    fn(static_cast<int32_t>(n), a.data(), r.data());
    EXPECT_EQ(r[n], R(-1)) << "wrote past n real results";
    Stats<R> s;
    Mp x(64), y(64), exact;
    for (size_t i = 0; i < n; ++i) {
      set_exact<R>(x, a[i].re);
      set_exact<R>(y, a[i].im);
      mpfr_hypot(exact, x, y, MPFR_RNDN);
      s.add(a[i].re, a[i].im, r[i], exact);
    }
    EXPECT_TRUE(s.meets(Slot::HA)) << s.describe(Cx<R>::t == 'c' ? "vcAbs" : "vzAbs", static_cast<Slot>(slot));
    EXPECT_EQ(r[5], R(5));
    EXPECT_TRUE(std::isinf(r[1]));
  }
}

// Overflow of the modulus: status 3 at the element's index for finite parts whose modulus
// exceeds the largest finite real, +inf stored; no report for an infinite or NaN part or for a
// modulus just inside the range. The callback's first result becomes the stored real result.
int g_abs_reports = 0;
ZorpVmErrorRecord g_abs_last{};
double g_abs_replacement = 0;
int32_t replace_abs(ZorpVmErrorRecord* rec) {
  ++g_abs_reports;
  g_abs_last = *rec;
  if (g_abs_replacement == 0) return 1;
  rec->res1 = g_abs_replacement;
  return 0;
}

TYPED_TEST(ComplexMembers, AbsOverflowIsReportedOnlyForFiniteParts) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  using L = std::numeric_limits<R>;
  const R m = L::max(), inf = L::infinity();
  struct Row {
    C a;
    bool overflows;
  };
  const Row rows[] = {{{m, m}, true},
                      {{-m * R(0.75), m * R(0.75)}, true},  // 1.06 max
                      {{m, L::min()}, false},                // max exactly
                      {{m / 2, -m / 2}, false},              // 0.707 max
                      {{inf, R(1)}, false},
                      {{L::quiet_NaN(), m}, false},
                      {{m, -inf}, false}};
  for (const Row& row : rows)
    for (int slot = 0; slot < 3; ++slot)
      for (bool strided : {false, true})
        for (R replacement : {R(0), R(42)})
          for (int at : {7, 35}) {  // in a whole block, in the remainder
            const int n = 37, step = strided ? 3 : 1;
            std::vector<C> a(n * step, C{R(3), R(4)});
            std::vector<R> r(n * step, R(-1));
            a[at * step] = row.a;
            _fennSetErrorCallBack(replace_abs);
            const uint32_t saved = _fennSetMode(0x1A00);
            _fennClearErrStatus();
            g_abs_reports = 0;
            g_abs_replacement = replacement;
            if (strided)
              reinterpret_cast<void (*)(int32_t, const C*, int32_t, R*, int32_t)>(slot_of<R>("Abs", true, slot))(
                  n, a.data(), step, r.data(), step);
            else reinterpret_cast<void (*)(int32_t, const C*, R*)>(slot_of<R>("Abs", false, slot))(n, a.data(), r.data());
            const int32_t status = _fennGetErrStatus();
            _fennClearErrorCallBack();
            _fennClearErrStatus();
            _fennSetMode(saved);
            SCOPED_TRACE(testing::Message() << "|(" << row.a.re << ", " << row.a.im << ")| slot " << slot
                                            << (strided ? " strided" : "") << " replacement " << replacement << " at " << at);
            EXPECT_EQ(r[(at - 1) * step], R(5));
            if (strided) {
              EXPECT_EQ(r[at * step + 1], R(-1));
            }
            if (!row.overflows) {
              EXPECT_EQ(status, 0);
              EXPECT_EQ(g_abs_reports, 0);
              continue;
            }
            EXPECT_EQ(status, 3);
            ASSERT_EQ(g_abs_reports, 1);
            EXPECT_EQ(g_abs_last.index, at);
            EXPECT_EQ(g_abs_last.arg1, double(row.a.re));
            EXPECT_EQ(g_abs_last.arg1_im, double(row.a.im));
            EXPECT_EQ(g_abs_last.res1, double(inf));
            EXPECT_STREQ(g_abs_last.name, Cx<R>::t == 'c' ? "vcAbs" : "vzAbs");
            EXPECT_EQ(r[at * step], replacement == 0 ? inf : replacement);
          }
}

TYPED_TEST(ComplexMembers, AddSubConjAreExact) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  const int n = 37;
  const auto a = components_over_whole_range<R>(n, 5), b = components_over_whole_range<R>(n, 6);
  for (int slot = 0; slot < 3; ++slot) {
    std::vector<C> add(n), sub(n), conj(n);
    reinterpret_cast<void (*)(int32_t, const C*, const C*, C*)>(slot_of<R>("Add", false, slot))(n, a.data(), b.data(), add.data());
    reinterpret_cast<void (*)(int32_t, const C*, const C*, C*)>(slot_of<R>("Sub", false, slot))(n, a.data(), b.data(), sub.data());
    reinterpret_cast<void (*)(int32_t, const C*, C*)>(slot_of<R>("Conj", false, slot))(n, a.data(), conj.data());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(bits(add[i].re), bits(R(a[i].re + b[i].re)));
      EXPECT_EQ(bits(add[i].im), bits(R(a[i].im + b[i].im)));
      EXPECT_EQ(bits(sub[i].im), bits(R(a[i].im - b[i].im)));
      EXPECT_EQ(bits(conj[i].re), bits(a[i].re));
      EXPECT_EQ(bits(conj[i].im), bits(R(-a[i].im)));
    }
  }
}

// Strided forms (unit increments included) give the contiguous results bit for bit and leave
// the gaps alone; arrays ending at a guard page are not overrun.
TYPED_TEST(ComplexMembers, StridedAndRemaindersMatchContiguous) {
  using R = TypeParam;
  using C = typename Cx<R>::C;
  const C poison = {R(-7), R(-7)};
  for (const char* fn : {"Add", "Sub", "Mul", "MulByConj", "Conj", "Div", "Sqrt"})
    for (int slot = 0; slot < 3; ++slot) {
      if (!slot_of<R>(fn, false, slot)) continue;  // not built for this type
      const bool unary = std::string(fn) == "Conj" || std::string(fn) == "Sqrt";
      for (int n : {1, 3, 4, 5, 8, 9, 17, 40}) {
        const auto a = components_over_whole_range<R>(n, 8), b = components_over_whole_range<R>(n, 9);
        std::vector<C> want(n);
        zorp::test::GuardedArray<C> ga(n), gb(n), gr(n);
        for (int i = 0; i < n; ++i) {
          ga[i] = a[i];
          gb[i] = b[i];
        }
        if (unary) {
          reinterpret_cast<void (*)(int32_t, const C*, C*)>(slot_of<R>(fn, false, slot))(n, a.data(), want.data());
          reinterpret_cast<void (*)(int32_t, const C*, C*)>(slot_of<R>(fn, false, slot))(n, ga.data(), gr.data());
        } else {
          reinterpret_cast<void (*)(int32_t, const C*, const C*, C*)>(slot_of<R>(fn, false, slot))(n, a.data(), b.data(), want.data());
          reinterpret_cast<void (*)(int32_t, const C*, const C*, C*)>(slot_of<R>(fn, false, slot))(n, ga.data(), gb.data(), gr.data());
        }
        for (int i = 0; i < n; ++i) ASSERT_EQ(bits(gr[i].re), bits(want[i].re)) << fn << " guarded n " << n;
        for (int step : {1, 2, 3}) {
          std::vector<C> sa(n * step, poison), sb(n * step, poison), sr(n * step, poison);
          for (int i = 0; i < n; ++i) {
            sa[i * step] = a[i];
            sb[i * step] = b[i];
          }
          if (unary)
            reinterpret_cast<void (*)(int32_t, const C*, int32_t, C*, int32_t)>(slot_of<R>(fn, true, slot))(
                n, sa.data(), step, sr.data(), step);
          else
            reinterpret_cast<void (*)(int32_t, const C*, int32_t, const C*, int32_t, C*, int32_t)>(
                slot_of<R>(fn, true, slot))(n, sa.data(), step, sb.data(), step, sr.data(), step);
          for (int i = 0; i < n * step; ++i) {
            const C w = i % step ? poison : want[i / step];
            ASSERT_EQ(bits(sr[i].re), bits(w.re)) << fn << " slot " << slot << " inc " << step << " at " << i;
            ASSERT_EQ(bits(sr[i].im), bits(w.im)) << fn << " slot " << slot << " inc " << step << " at " << i;
          }
        }
      }
    }
  // Abs: real results, strided over complex arguments
  for (int slot = 0; slot < 3; ++slot) {
    const int n = 19;
    const auto a = components_over_whole_range<R>(n, 10);
    std::vector<R> want(n), got(2 * n, R(-7));
    std::vector<C> sa(3 * n, poison);
    for (int i = 0; i < n; ++i) sa[3 * i] = a[i];
    reinterpret_cast<void (*)(int32_t, const C*, R*)>(slot_of<R>("Abs", false, slot))(n, a.data(), want.data());
    reinterpret_cast<void (*)(int32_t, const C*, int32_t, R*, int32_t)>(slot_of<R>("Abs", true, slot))(n, sa.data(), 3, got.data(), 2);
    for (int i = 0; i < n; ++i) {
      ASSERT_EQ(bits(got[2 * i]), bits(want[i])) << i;
      ASSERT_EQ(got[2 * i + 1], R(-7));
    }
  }
}

}  // namespace
