// Powx's dispatch on the exponent's bit pattern, which no reference settles: for every kernel
// and every exponent of the fast list (and a few next to it), the path the call must take, and
// results that are bit for bit those of that path: 1.0 (NaN elements included), a bit copy (a
// signalling NaN included), products in the order a*(a*(...*(a*a))) with no report on overflow,
// the delegate's own kernel reached through its dispatch table (a patched slot is followed) and
// reporting under its name, or Pow's kernel of the same slot with b in every element.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <limits>
#include <string>
#include <vector>

#include <mpfr.h>

#include "accuracy/rows.h"
#include "common/reporting.h"
#include "zorp/vm.h"

namespace zorp::test {
namespace {

enum class Path { One, Copy, Product, Delegate, General };

// One kernel of sPowx or dPowx: its slot, whether it has the product and the cube-root fast
// paths, and the slot its delegates are called in.
struct Kernel {
  char type;
  int slot;
  bool products, roots;
  int delegate_slot;
};
const Kernel kKernels[] = {{'s', 0, false, false, 1}, {'s', 1, false, false, 1}, {'s', 2, true, true, 2},
                           {'d', 0, true, false, 0},  {'d', 1, false, false, 1}, {'d', 2, true, true, 2}};

struct Expected {
  Path path;
  int k = 0;                   // Product: the power
  const char* delegate = "";   // Delegate: the function
};

template <typename R>
Expected expected(const Kernel& kernel, R b) {
  if (b == 0) return std::signbit(b) ? Expected{Path::General} : Expected{Path::One};
  if (b == 1) return {Path::Copy};
  for (int k = 2; k <= 9; ++k)
    if (b == R(k)) return k == 2 || kernel.products ? Expected{Path::Product, k} : Expected{Path::General};
  if (b == R(-1)) return {Path::Delegate, 0, "Inv"};
  if (b == R(0.5)) return {Path::Delegate, 0, "Sqrt"};
  if (b == R(-0.5)) return {Path::Delegate, 0, "InvSqrt"};
  if (b == R(1.5)) return {Path::Delegate, 0, "Pow3o2"};
  if (kernel.roots && b == R(1) / R(3)) return {Path::Delegate, 0, "Cbrt"};
  if (kernel.roots && b == R(2) / R(3)) return {Path::Delegate, 0, "Pow2o3"};
  return {Path::General};
}


std::vector<ZorpVmErrorRecord>& g_records = reported();
int g_patched_calls = 0;
template <typename R>
void counting_probe(int32_t, const R*, R*) {
  ++g_patched_calls;
}

class Powx : public Reporting<testing::TestWithParam<Kernel>> {
 protected:

  template <typename R>
  void check() {
    using L = std::numeric_limits<R>;
    const Kernel& kernel = GetParam();
    const char t = kernel.type;
    // Ordinary elements, zeros of both signs, a zero, negative bases, overflowing and
    // underflowing products, infinities, a quiet and a signalling NaN; 37 of them, so that the
    // remainder path runs too.
    std::vector<R> a = {R(0.75), R(-1.25), R(3), R(-8), R(0), -R(0), R(1e-3), R(7.5), L::max() / 4, L::min(),
                        L::infinity(), -L::infinity(), L::quiet_NaN(), L::signaling_NaN(), R(2), R(0.1)};
    for (int i = 0; a.size() < 37; ++i) a.push_back(R(0.37) * R(i) - R(3));
    const int32_t n = static_cast<int32_t>(a.size());
    auto powx = reinterpret_cast<void (*)(int32_t, const R*, R, R*)>(kernel_table(t, "Powx")[kernel.slot]);
    auto pow = reinterpret_cast<void (*)(int32_t, const R*, const R*, R*)>(kernel_table(t, "Pow")[kernel.slot]);
    const R third = R(1) / R(3);
    const R exponents[] = {R(0), -R(0), R(1), R(2), R(3), R(4), R(5), R(6), R(7), R(8), R(9), R(10), R(-1), R(-2),
                           R(0.5), R(-0.5), R(1.5), third, std::nextafter(third, R(1)), R(2) / R(3), R(2.5)};
    for (R b : exponents) {
      const Expected e = expected(kernel, b);
      const std::string what = std::string(1, t) + "Powx slot " + std::to_string(kernel.slot) + " b " +
                               std::to_string(double(b)) + (std::signbit(b) && b == 0 ? " (-0)" : "");
      std::vector<R> r(n), want(n);
      g_records.clear();
      powx(n, a.data(), b, r.data());
      const std::vector<ZorpVmErrorRecord> got = g_records;
      g_records.clear();
      std::string reporter = std::string("v") + t + "Powx";
      switch (e.path) {
        case Path::One: std::fill(want.begin(), want.end(), R(1)); break;
        case Path::Copy: want = a; break;
        case Path::Product:
          for (int i = 0; i < n; ++i) {
            R p = a[i] * a[i];
            for (int j = 2; j < e.k; ++j) p = a[i] * p;
            want[i] = p;
          }
          break;
        case Path::Delegate: {
          void** d = kernel_table(t, e.delegate);
          reinterpret_cast<void (*)(int32_t, const R*, R*)>(d[kernel.delegate_slot])(n, a.data(), want.data());
          reporter = std::string("v") + t + e.delegate;
          // Through the table as it is at the time of the call.
          void* saved = d[kernel.delegate_slot];
          d[kernel.delegate_slot] = reinterpret_cast<void*>(&counting_probe<R>);
          g_patched_calls = 0;
          std::vector<R> scratch(n);
          powx(n, a.data(), b, scratch.data());
          d[kernel.delegate_slot] = saved;
          EXPECT_EQ(g_patched_calls, 1) << what;
          break;
        }
        case Path::General: {
          const std::vector<R> bs(n, b);
          pow(n, a.data(), bs.data(), want.data());
          break;
        }
      }
      const std::vector<ZorpVmErrorRecord> wanted = e.path == Path::Delegate || e.path == Path::General
                                                        ? g_records
                                                        : std::vector<ZorpVmErrorRecord>{};
      for (int i = 0; i < n; ++i) EXPECT_EQ(bits(r[i]), bits(want[i])) << what << " element " << i;
      ASSERT_EQ(got.size(), wanted.size()) << what;
      for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k].index, wanted[k].index) << what;
        EXPECT_EQ(got[k].status, wanted[k].status) << what;
        EXPECT_EQ(std::string(got[k].name), reporter) << what;
      }
      // Inv, Sqrt, InvSqrt and Pow3o2 have something to report among these elements (a zero,
      // a negative base), so the names above were seen; the cube roots report nothing, and the
      // in-place paths report nothing at all, overflow included.
      if (e.path == Path::Delegate && !std::strstr(e.delegate, "o3") && !std::strstr(e.delegate, "Cbrt"))
        EXPECT_FALSE(got.empty()) << what;
    }
  }
};

TEST_P(Powx, TakesThePathItsExponentSelects) {
  if (GetParam().type == 'd') check<double>();
  else check<float>();
}

std::string kernel_name(const testing::TestParamInfo<Kernel>& info) {
  return std::string(1, info.param.type) + "Powx_" + ("LA\0HA\0EP" + 3 * info.param.slot);
}
INSTANTIATE_TEST_SUITE_P(Kernels, Powx, testing::ValuesIn(kKernels), kernel_name);

// ---- single-precision powers just below the normal range ------------------------------------
// Pairs x^y whose exact value lies in (2^-126 (1 - 2^-25), 2^-126): the result rounds up to the
// least normal float, and the status is underflow all the same, since the rule (the contracts'
// status rule, the scalar path's) is the exact result's.  y = 1 +- k 2^-23 and x the floats
// around 2^(-126/y) (normal for y > 1, subnormal for y < 1), each kept only where MPFR puts the
// exact power inside the interval.
struct Tiny {
  float x, y;
};
std::vector<Tiny> just_below_least_normal() {
  std::vector<Tiny> v;
  mpfr_t lo, hi, mx, my, p;
  mpfr_inits2(256, lo, hi, mx, my, p, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_ui_2exp(hi, 1, -126, MPFR_RNDN);
  mpfr_set_ui_2exp(lo, (1ul << 25) - 1, -151, MPFR_RNDN);  // 2^-126 (1 - 2^-25), exact
  for (int k = 1; k <= 400 && v.size() < 12; ++k) {
    const float y = k % 2 ? 1.0f + std::ldexp(1.0f, -23) * float(k) : 1.0f - std::ldexp(1.0f, -24) * float(k);
    const float guess = float(std::exp2(-126.0 / double(y)));
    for (float x = std::nextafter(std::nextafter(guess, 0.0f), 0.0f); x <= std::nextafter(std::nextafter(guess, 1.0f), 1.0f);
         x = std::nextafter(x, 1.0f)) {
      mpfr_set_flt(mx, x, MPFR_RNDN);
      mpfr_set_flt(my, y, MPFR_RNDN);
      mpfr_pow(p, mx, my, MPFR_RNDN);
      if (mpfr_cmp(p, lo) > 0 && mpfr_cmp(p, hi) < 0 && mpfr_get_flt(p, MPFR_RNDN) == std::numeric_limits<float>::min())
        v.push_back({x, y});
    }
  }
  mpfr_clears(lo, hi, mx, my, p, static_cast<mpfr_ptr>(nullptr));
  return v;
}

class PowUnderflow : public Reporting<> {};

// Every slot of Pow, Powr and Powx's general path: the pairs among ordinary elements (so that
// the vector path runs on their registers too), each result the least normal float and each
// pair reported as an underflow at its index, nothing else reported.
TEST_F(PowUnderflow, ExactResultBelowTheNormalRangeReportsUnderflow) {
  using Binary = void (*)(int32_t, const float*, const float*, float*);
  using Scalar = void (*)(int32_t, const float*, float, float*);
  const std::vector<Tiny> pairs = just_below_least_normal();
  ASSERT_GE(pairs.size(), 4u) << "too few pairs in the interval";
  bool subnormal_base = false, normal_base = false;
  for (const Tiny& t : pairs) (t.x < std::numeric_limits<float>::min() ? subnormal_base : normal_base) = true;
  EXPECT_TRUE(subnormal_base && normal_base);
  const float fmin = std::numeric_limits<float>::min();
  const struct {
    const char* name;
    Binary binary;
    Scalar scalar;
  } entries[] = {{"sPow_HA", _fennsPow_HA, nullptr},   {"sPow_21", _fennsPow_21, nullptr},
                 {"sPow_11", _fennsPow_11, nullptr},   {"sPowr_HA", _fennsPowr_HA, nullptr},
                 {"sPowr_21", _fennsPowr_21, nullptr}, {"sPowr_11", _fennsPowr_11, nullptr},
                 {"sPowx_HA", nullptr, _fennsPowx_HA}, {"sPowx_21", nullptr, _fennsPowx_21},
                 {"sPowx_11", nullptr, _fennsPowx_11}};
  for (const auto& e : entries) {
    SCOPED_TRACE(e.name);
    if (e.binary) {
      // Pairs at every third element of 40, between bases of 0.75 raised to 3.
      std::vector<float> a(40, 0.75f), b(40, 3.0f), r(40, -1.0f);
      std::vector<int32_t> at;
      for (size_t i = 0; i < pairs.size() && 3 * i + 1 < a.size(); ++i) {
        a[3 * i + 1] = pairs[i].x, b[3 * i + 1] = pairs[i].y;
        at.push_back(int32_t(3 * i + 1));
      }
      reported().clear();
      _fennClearErrStatus();
      e.binary(int32_t(a.size()), a.data(), b.data(), r.data());
      EXPECT_EQ(_fennGetErrStatus(), ZORP_VM_STATUS_UNDERFLOW);
      std::vector<int32_t> seen;
      for (const ZorpVmErrorRecord& rec : reported()) {
        EXPECT_EQ(rec.status, ZORP_VM_STATUS_UNDERFLOW) << rec.index;
        seen.push_back(rec.index);
      }
      EXPECT_EQ(seen, at);
      for (int32_t i : at) EXPECT_EQ(r[i], fmin) << a[i] << "^" << b[i];
    } else {
      for (const Tiny& t : pairs) {
        std::vector<float> a(17, 0.75f), r(17, -1.0f);
        a[9] = t.x;
        reported().clear();
        e.scalar(int32_t(a.size()), a.data(), t.y, r.data());
        ASSERT_EQ(reported().size(), 1u) << t.x << "^" << t.y;
        EXPECT_EQ(reported()[0].index, 9);
        EXPECT_EQ(reported()[0].status, ZORP_VM_STATUS_UNDERFLOW);
        EXPECT_EQ(r[9], fmin) << t.x << "^" << t.y;
      }
    }
  }
}

}  // namespace
}  // namespace zorp::test
