// Exponential and logarithm kernels through their entry names: accuracy class of every slot
// against MPFR over the whole range, special results and statuses at the thresholds, the
// no-error mode, and strided forms against contiguous ones.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/accuracy.h"
#include "common/guarded.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

using namespace zorp::test::accuracy;

template <typename T>
using Kernel = void (*)(int32_t, const T*, T*);
template <typename T>
using KernelI = void (*)(int32_t, const T*, int32_t, T*, int32_t);

// One function of one type: the entries of the three slots (LA, HA, EP), their strided twins,
// the MPFR reference and the argument range where results are neither overflowing nor zero.
template <typename T>
struct Fn {
  const char* name;
  Kernel<T> slot[3];
  KernelI<T> strided[3];
  int (*ref)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  T lo, hi;
};

#define FN_S(F, ref, lo, hi) \
  Fn<float>{"vs" #F, {_fenns##F##_21, _fenns##F##_HA, _fenns##F##_11}, {_fenns##F##I_21, _fenns##F##I_HA, _fenns##F##I_11}, ref, lo, hi}
#define FN_D(F, ref, lo, hi) \
  Fn<double>{"vd" #F, {_fennd##F##_50, _fennd##F##_HA, _fennd##F##_26}, {_fennd##F##I_50, _fennd##F##I_HA, _fennd##F##I_26}, ref, lo, hi}

int logb_ref(mpfr_ptr r, mpfr_srcptr a, mpfr_rnd_t) {
  if (mpfr_zero_p(a)) return mpfr_set_inf(r, -1), 0;
  if (!mpfr_number_p(a)) return mpfr_abs(r, a, MPFR_RNDN);
  return mpfr_set_si(r, mpfr_get_exp(a) - 1, MPFR_RNDN);
}

constexpr float kFMax = std::numeric_limits<float>::max();
constexpr double kDMax = std::numeric_limits<double>::max();

const std::vector<Fn<float>>& single_fns() {
  static const std::vector<Fn<float>> v = {
      FN_S(Exp, mpfr_exp, -104.0f, 88.7f),      FN_S(Exp2, mpfr_exp2, -150.0f, 127.9f),
      FN_S(Exp10, mpfr_exp10, -45.2f, 38.5f),   FN_S(Expm1, mpfr_expm1, -104.0f, 88.7f),
      FN_S(Ln, mpfr_log, 0.0f, kFMax),          FN_S(Log2, mpfr_log2, 0.0f, kFMax),
      FN_S(Log10, mpfr_log10, 0.0f, kFMax),     FN_S(Log1p, mpfr_log1p, -0.99999994f, kFMax),
      FN_S(Logb, logb_ref, -kFMax, kFMax)};
  return v;
}
const std::vector<Fn<double>>& double_fns() {
  static const std::vector<Fn<double>> v = {
      FN_D(Exp, mpfr_exp, -745.1, 709.78),      FN_D(Exp2, mpfr_exp2, -1075.0, 1023.99),
      FN_D(Exp10, mpfr_exp10, -323.6, 308.25),  FN_D(Expm1, mpfr_expm1, -745.0, 709.78),
      FN_D(Ln, mpfr_log, 0.0, kDMax),           FN_D(Log2, mpfr_log2, 0.0, kDMax),
      FN_D(Log10, mpfr_log10, 0.0, kDMax),      FN_D(Log1p, mpfr_log1p, -0.9999999999999999, kDMax),
      FN_D(Logb, logb_ref, -kDMax, kDMax)};
  return v;
}

constexpr Slot kSlots[3] = {Slot::LA, Slot::HA, Slot::EP};

// Runs one kernel call and returns the thread's status after it.
template <typename T>
int32_t call(Kernel<T> k, std::vector<T>& x, std::vector<T>& y) {
  _fennClearErrStatus();
  y.assign(x.size(), T(-12345));
  k(static_cast<int32_t>(x.size()), x.data(), y.data());
  return _fennGetErrStatus();
}

template <typename T>
uint64_t bits(T x) {
  uint64_t b = 0;
  std::memcpy(&b, &x, sizeof x);
  return b;
}

// ---- accuracy over the whole range, every slot ----------------------------------------------
template <typename T>
void check_accuracy(const Fn<T>& f) {
  for (int s = 0; s < 3; ++s) {
    Case<T> c = unary<T>(f.name, kSlots[s], f.slot[s], f.ref);
    Stats<T> st = measure(c, sample_bits<T>(60000, f.lo, f.hi, 11 + s));
    st.merge(measure(c, sample_uniform<T>(20000, T(-1), T(1), 7 + s)));  // around the origin
    st.merge(measure(c, sample_uniform<T>(20000, T(0.5), T(2), 3 + s)));  // around 1
    st.merge(measure(c, special_set<T>()));
    const bool ok = kSlots[s] == Slot::HA ? st.special_mismatches == 0 && st.max_ulp < 1.0 : st.meets(kSlots[s]);
    EXPECT_TRUE(ok) << st.describe(f.name, kSlots[s]);
  }
}

TEST(ExpLogAccuracy, SingleEverySlotMeetsItsClass) {
  for (const auto& f : single_fns()) check_accuracy(f);
}
TEST(ExpLogAccuracy, DoubleEverySlotMeetsItsClass) {
  for (const auto& f : double_fns()) check_accuracy(f);
}

// ---- exact values ---------------------------------------------------------------------------
template <typename T>
void check_exact_points(const std::vector<Fn<T>>& fns) {
  for (const auto& f : fns) {
    const std::string n = f.name;
    for (int s = 0; s < 3; ++s) {
      std::vector<T> x, y;
      if (n.find("Exp") != std::string::npos && n.find("Expm1") == std::string::npos) {
        x = {T(0), -T(0)};
        EXPECT_EQ(call(f.slot[s], x, y), 0);
        EXPECT_EQ(bits(y[0]), bits(T(1))) << n << " slot " << s;
        EXPECT_EQ(bits(y[1]), bits(T(1))) << n << " slot " << s;
      } else if (n.find("Ln") != std::string::npos || n.find("Log2") != std::string::npos ||
                 n.find("Log10") != std::string::npos) {
        x = {T(1)};
        EXPECT_EQ(call(f.slot[s], x, y), 0);
        EXPECT_EQ(bits(y[0]), bits(T(0))) << n << " slot " << s << " gives " << y[0];
      } else if (n.find("Log1p") != std::string::npos || n.find("Expm1") != std::string::npos) {
        x = {T(0), -T(0)};
        EXPECT_EQ(call(f.slot[s], x, y), 0);
        EXPECT_EQ(bits(y[0]), bits(T(0))) << n << " slot " << s;
        EXPECT_EQ(bits(y[1]), bits(-T(0))) << n << " slot " << s;
      }
      // NaN: NaN out, no status, in every function and slot.
      x = {std::numeric_limits<T>::quiet_NaN()};
      EXPECT_EQ(call(f.slot[s], x, y), 0) << n;
      EXPECT_TRUE(std::isnan(y[0])) << n;
    }
  }
}
TEST(ExpLogValues, OneZeroAndNaN) {
  check_exact_points(single_fns());
  check_exact_points(double_fns());
}

TEST(ExpLogValues, PowersOfTwoAndTenAreExact) {
  for (int s = 0; s < 3; ++s) {
    std::vector<float> x = {3.0f, -3.0f, 10.0f}, y;
    call(single_fns()[1].slot[s], x, y);
    EXPECT_EQ(y[0], 8.0f);
    EXPECT_EQ(y[1], 0.125f);
    EXPECT_EQ(y[2], 1024.0f);
    std::vector<double> xd = {1000.0, -1074.0}, yd;
    call(double_fns()[1].slot[s], xd, yd);
    EXPECT_EQ(yd[0], std::ldexp(1.0, 1000));
    EXPECT_EQ(yd[1], std::numeric_limits<double>::denorm_min());
  }
}

// ---- thresholds and statuses ------------------------------------------------------------------
struct Expect {
  double x;
  enum Kind { Finite, Inf, Subnormal, Zero, Nan, NegInf } kind;
  int status;
};

template <typename T>
void check_cases(const Fn<T>& f, const std::vector<Expect>& cases) {
  for (int s = 0; s < 3; ++s) {
    for (const Expect& e : cases) {
      std::vector<T> x = {T(e.x)}, y;
      const int32_t st = call(f.slot[s], x, y);
      const std::string what = std::string(f.name) + " slot " + std::to_string(s) + " x=" + std::to_string(e.x);
      EXPECT_EQ(st, e.status) << what;
      const T r = y[0];
      switch (e.kind) {
        case Expect::Finite: EXPECT_TRUE(std::isnormal(r)) << what << " -> " << r; break;
        case Expect::Inf: EXPECT_EQ(r, std::numeric_limits<T>::infinity()) << what; break;
        case Expect::NegInf: EXPECT_EQ(r, -std::numeric_limits<T>::infinity()) << what; break;
        case Expect::Subnormal: EXPECT_EQ(std::fpclassify(r), FP_SUBNORMAL) << what << " -> " << r; break;
        case Expect::Zero: EXPECT_EQ(bits(r), bits(T(0))) << what << " -> " << r; break;
        case Expect::Nan: EXPECT_TRUE(std::isnan(r)) << what; break;
      }
    }
  }
}

TEST(ExpLogStatus, ExpOverflowAndUnderflowThresholds) {
  const double above = std::nextafter(88.72283172607422f, 100.0f);
  check_cases(single_fns()[0], {{88.72283172607422, Expect::Finite, 0},
                                {above, Expect::Inf, 3},
                                {-90.0, Expect::Subnormal, 4},
                                {-104.0, Expect::Zero, 4},
                                {-INFINITY, Expect::Zero, 0},
                                {INFINITY, Expect::Inf, 0},
                                {87.5, Expect::Finite, 0}});
  check_cases(double_fns()[0], {{709.78, Expect::Finite, 0},
                                {710.0, Expect::Inf, 3},
                                {-740.0, Expect::Subnormal, 4},
                                {-746.0, Expect::Zero, 4},
                                {-INFINITY, Expect::Zero, 0},
                                {708.0, Expect::Finite, 0}});
  check_cases(single_fns()[1], {{128.0, Expect::Inf, 3}, {-140.0, Expect::Subnormal, 4}, {-160.0, Expect::Zero, 4}});
  check_cases(double_fns()[1], {{1024.0, Expect::Inf, 3}, {-1050.0, Expect::Subnormal, 4}, {-1100.0, Expect::Zero, 4}});
  check_cases(single_fns()[2], {{39.0, Expect::Inf, 3}, {-40.0, Expect::Subnormal, 4}, {-46.0, Expect::Zero, 4}});
  check_cases(double_fns()[2], {{309.0, Expect::Inf, 3}, {-310.0, Expect::Subnormal, 4}, {-324.0, Expect::Zero, 4}});
  check_cases(single_fns()[3], {{89.0, Expect::Inf, 3}, {87.0, Expect::Finite, 0}, {-INFINITY, Expect::Finite, 0}});
  check_cases(double_fns()[3], {{710.0, Expect::Inf, 3}, {709.0, Expect::Finite, 0}});
}

template <typename T>
void check_log_statuses(const std::vector<Fn<T>>& fns) {
  const std::vector<Expect> log_cases = {{-1.0, Expect::Nan, 1},   {0.0, Expect::NegInf, 2},
                                         {-0.0, Expect::NegInf, 2}, {INFINITY, Expect::Inf, 0},
                                         {-INFINITY, Expect::Nan, 1}};
  for (int i = 4; i <= 6; ++i) check_cases(fns[i], log_cases);
  check_cases(fns[7], {{-1.0, Expect::NegInf, 2}, {-2.0, Expect::Nan, 1}, {INFINITY, Expect::Inf, 0}});
  check_cases(fns[8], {{0.0, Expect::NegInf, 1}, {-0.0, Expect::NegInf, 1}, {INFINITY, Expect::Inf, 0},
                       {-INFINITY, Expect::Inf, 0}});
}
TEST(ExpLogStatus, LogarithmDomainAndSingularity) {
  check_log_statuses(single_fns());
  check_log_statuses(double_fns());
}

TEST(ExpLogValues, SubnormalArguments) {
  for (int s = 0; s < 3; ++s) {
    std::vector<float> x = {1e-40f, std::numeric_limits<float>::denorm_min()}, y;
    EXPECT_EQ(call(single_fns()[4].slot[s], x, y), 0);
    EXPECT_NEAR(y[0], std::log(1e-40), 1e-4);
    EXPECT_NEAR(y[1], -149 * std::log(2.0), 1e-4);
    call(single_fns()[8].slot[s], x, y);
    EXPECT_EQ(y[1], -149.0f);
    std::vector<double> xd = {std::numeric_limits<double>::denorm_min()}, yd;
    EXPECT_EQ(call(double_fns()[4].slot[s], xd, yd), 0);
    EXPECT_NEAR(yd[0], -1074 * std::log(2.0), 1e-12);
    call(double_fns()[8].slot[s], xd, yd);
    EXPECT_EQ(yd[0], -1074.0);
  }
}

// ---- no-error mode: the vector path's results are stored, nothing is reported -----------------
TEST(ExpLogStatus, NoErrorModeStoresVectorResults) {
  const uint32_t old = _fennSetMode((ZORP_VM_DEFAULT_MODE & ~ZORP_VM_ERRMODE_MASK) | ZORP_VM_ERRMODE_NOERR);
  for (int s = 0; s < 3; ++s) {
    std::vector<float> x = {100.0f, 1.0f}, y;
    EXPECT_EQ(call(single_fns()[0].slot[s], x, y), 0);
    EXPECT_EQ(y[0], std::numeric_limits<float>::infinity());
    std::vector<double> xd = {1000.0, -1.0}, yd;
    EXPECT_EQ(call(double_fns()[0].slot[s], xd, yd), 0);
    EXPECT_EQ(yd[0], std::numeric_limits<double>::infinity());
    xd = {-1.0, 0.0};
    EXPECT_EQ(call(double_fns()[4].slot[s], xd, yd), 0);
    EXPECT_TRUE(std::isnan(yd[0]));
  }
  _fennSetMode(old);
}

// ---- strided forms and remainders -------------------------------------------------------------
template <typename T>
void check_strided(const std::vector<Fn<T>>& fns) {
  const int n = 37;
  for (const auto& f : fns) {
    std::vector<T> x = sample_bits<T>(n, f.lo == 0 ? T(1e-3) : f.lo, f.hi, 5);
    x[3] = T(0);  // one special lane for the logarithms
    for (int s = 0; s < 3; ++s) {
      std::vector<T> ref(n), xs(3 * n), ys(2 * n, T(-7));
      f.slot[s](n, x.data(), ref.data());
      for (int i = 0; i < n; ++i) xs[3 * i] = x[i];
      f.strided[s](n, xs.data(), 3, ys.data(), 2);
      for (int i = 0; i < n; ++i) {
        EXPECT_EQ(bits(ys[2 * i]), bits(ref[i])) << f.name << " slot " << s << " i=" << i;
        EXPECT_EQ(ys[2 * i + 1], T(-7)) << "gap written";
      }
      std::vector<T> yu(n);
      f.strided[s](n, x.data(), 1, yu.data(), 1);
      EXPECT_EQ(0, std::memcmp(yu.data(), ref.data(), n * sizeof(T))) << f.name;
      // The remainder stops exactly at the end of the arrays (guard page behind both).
      for (int m : {1, 17, 63, 64, 65}) {
        zorp::test::GuardedArray<T> a(m), r(m);
        for (int i = 0; i < m; ++i) a[i] = x[i % n];
        f.slot[s](m, a.data(), r.data());
        for (int i = 0; i < m; ++i) ASSERT_EQ(bits(r[i]), bits(ref[i % n])) << f.name << " n=" << m;
      }
    }
  }
}
TEST(ExpLogStrided, MatchesContiguousAndStaysInBounds) {
  check_strided(single_fns());
  check_strided(double_fns());
}

}  // namespace
