// The continuous generators, table-driven over distribution, method and precision: goodness of
// fit, the fixed transforms element for element against a copy of the stream, the split rule of
// the pairwise Gaussian, the callbacks' saturated values, the accurate flag, a stream error in
// the second block, and allocation failure of every generator's chunk, the discrete ones too.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "streams.h"

namespace {

using namespace zorp::test;


constexpr int32_t kAccurate = TARR_METHOD_ACCURATE;
constexpr double kPi = 3.141592653589793;

// A case draws n values of one distribution, method and precision, widened to double. A fixed
// transform also has its formula: value i from the stream's uniforms, `per` of them a value,
// drawn on [lo, hi].
struct Case {
  std::string name;
  bool single;
  std::function<int32_t(StreamState*, int32_t, double*)> draw;
  std::function<double(double)> cdf;
  int per = 0;
  double lo = 0, hi = 1;
  std::function<double(const double* u, int32_t i)> value;
};
template <typename T, typename F>
std::function<int32_t(StreamState*, int32_t, double*)> widened(F f) {
  return [f](StreamState* s, int32_t n, double* out) {
    // A write past n - 1 faults; for n < 1 the one element is carried both ways, so that a
    // value written there shows in the caller's element.
    const int32_t m = std::max(n, 1);
    GuardedArray<T> r(static_cast<size_t>(m));
    for (int32_t i = 0; i < m; ++i) r[i] = static_cast<T>(out[i]);  // what is not written stays
    const int32_t st = f(s, n, r.data());
    for (int32_t i = 0; i < m; ++i) out[i] = r[i];
    return st;
  };
}

template <typename T>
void add_cases(std::vector<Case>& c) {
  const std::string p = sizeof(T) == 8 ? "d" : "s";
  auto add = [&](std::string name, auto f, std::function<double(double)> cdf) {
    c.push_back({p + name, sizeof(T) == 4, widened<T>(f), cdf, 0, 0, 1, {}});
  };
  add("Uniform", [](StreamState* s, int32_t n, T* r) { return Uniform(0, s, n, r, -1, 3); },
      [](double x) { return (x + 1) / 4; });
  for (int32_t m : {0, 1, 2})
    add("Gaussian" + std::to_string(m), [m](StreamState* s, int32_t n, T* r) { return Gaussian(m, s, n, r, 1, 2); },
        [](double x) { return normal_cdf((x - 1) / 2); });
  add("Exponential", [](StreamState* s, int32_t n, T* r) { return Exponential(0, s, n, r, 1, 2); },
      [](double x) { return 1 - std::exp(-(x - 1) / 2); });
  add("Laplace", [](StreamState* s, int32_t n, T* r) { return Laplace(0, s, n, r, 0.5, 1.5); },
      [](double x) { return x < 0.5 ? 0.5 * std::exp((x - 0.5) / 1.5) : 1 - 0.5 * std::exp(-(x - 0.5) / 1.5); });
  add("Weibull", [](StreamState* s, int32_t n, T* r) { return Weibull(0, s, n, r, 1.7, -1, 0.8); },
      [](double x) { return 1 - std::exp(-std::pow((x + 1) / 0.8, 1.7)); });
  add("Cauchy", [](StreamState* s, int32_t n, T* r) { return Cauchy(0, s, n, r, 2, 0.5); },
      [](double x) { return 0.5 + std::atan((x - 2) / 0.5) / kPi; });
  add("Rayleigh", [](StreamState* s, int32_t n, T* r) { return Rayleigh(0, s, n, r, 0, 2); },
      [](double x) { return 1 - std::exp(-(x / 2) * (x / 2)); });
  for (int32_t m : {0, 1, kAccurate})
    add("Lognormal" + std::to_string(m), [m](StreamState* s, int32_t n, T* r) { return Lognormal(m, s, n, r, 0.2, 0.5, 1, 3); },
        [](double x) { return x <= 1 ? 0 : normal_cdf((std::log((x - 1) / 3) - 0.2) / 0.5); });
  add("Gumbel", [](StreamState* s, int32_t n, T* r) { return Gumbel(0, s, n, r, 1, 2); },
      [](double x) { return 1 - std::exp(-std::exp((x - 1) / 2)); });
  // Gamma and Beta without displacement: a + beta g rounds tiny values of g onto a itself in
  // single precision (a point mass that the continuous reference does not have).
  for (double alpha : {0.05, 0.25, 0.55, 0.6, 0.8, 1.0, 1.5, 4.5})
    add("Gamma" + std::to_string(alpha), [alpha](StreamState* s, int32_t n, T* r) { return Gamma(0, s, n, r, alpha, 0, 2); },
        [alpha](double x) { return gamma_p(alpha, x / 2); });
  // Small shapes put values on 0 or 1 by rounding and overflow e^V in the mixed scheme.
  const double shapes[][2] = {{0.5, 0.7}, {0.2, 0.3}, {0.5, 3}, {4, 0.6}, {0.05, 1.5}, {30, 0.3},
                              {1, 3}, {2.5, 1}, {1, 1}, {2, 5}, {6, 1.5}};
  for (const auto& sh : shapes) {
    const double bp = sh[0], bq = sh[1];
    add("Beta" + std::to_string(bp) + "," + std::to_string(bq),
        [bp, bq](StreamState* s, int32_t n, T* r) { return Beta(0, s, n, r, bp, bq, 0, 2); },
        [bp, bq](double x) { return beta_i(bp, bq, x / 2); });
  }
  for (int32_t v : {1, 2, 3, 5, 8, 16, 17, 20})
    add("ChiSquare" + std::to_string(v), [v](StreamState* s, int32_t n, T* r) { return ChiSquare(0, s, n, r, v); },
        [v](double x) { return gamma_p(v / 2.0, x / 2); });
}

std::vector<Case> all_cases() {
  std::vector<Case> c;
  add_cases<double>(c);
  add_cases<float>(c);
  return c;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string case_name(const testing::TestParamInfo<Case>& info) { return test_name(info.param.name); }


class Distributions : public testing::TestWithParam<Case> {};

// Kolmogorov-Smirnov over 100,003 values from a fixed seed; the bound's false-alarm chance is
// below 1e-6 per case. Every value is finite.
TEST_P(Distributions, FitsItsDistribution) {
  const Case& c = GetParam();
  if (std::isnan(c.cdf(1))) GTEST_SKIP() << "no distribution function for it in this build (no GSL)";
  Stream s = mt_stream(seed_of(c.name));
  std::vector<double> x(100003);
  ASSERT_EQ(c.draw(s, static_cast<int32_t>(x.size()), x.data()), 0);
  for (double v : x) ASSERT_TRUE(std::isfinite(v)) << v;
  EXPECT_LT(kolmogorov_smirnov(x, c.cdf, c.single), kKsBound) << c.name;
}

// See expect_counts_below_one_write_nothing; the value n = 1 writes is finite.
TEST_P(Distributions, CountsBelowOneWriteNothing) {
  EXPECT_TRUE(std::isfinite(expect_counts_below_one_write_nothing<double>(GetParam().draw, 12345)));
}

// A stream error at the second draw (see expect_stream_error_handled); the divide-by-zero flag is
// raised already, and inexact and denormal too, which the test's own conversions of its parameters
// and of subnormal results would raise. Cauchy leaves the floating-point state to its kernel.
TEST_P(Distributions, StreamErrorKeepsEarlierBlocksAndRestoresTheCaller) {
  const Case& c = GetParam();
  if (c.name.find("Uniform") != std::string::npos) GTEST_SKIP() << "one draw per call";
  const Written w = expect_stream_error_handled<double>(c.draw, 30000, 2, -999.0, 0x26, c.name.find("Cauchy") != std::string::npos);
  // The exponential draws one block per call: the first block exactly.
  const int32_t block = zorp_serv_cpuisicx() || zorp_serv_cpuiscpx() ? 6144 : 4096;
  if (c.name.substr(1) == "Exponential") { EXPECT_EQ(w.count, c.single ? 2 * block : block); }
}

INSTANTIATE_TEST_SUITE_P(Continuous, Distributions, testing::ValuesIn(all_cases()), case_name);

// ---- the fixed transforms, element for element -------------------------------------------------
// The generator's values against the formula applied to the same stream's uniforms, drawn from a
// copy; the tolerance is the working slot's (EP double, LA single), relative to 1 + |value|.
// The cases with a formula: the fixed transforms.
std::vector<Case> all_transforms() {
  std::vector<Case> t;
  auto add = [&](const std::string& name, int per, double lo, double hi, std::function<double(const double*, int32_t)> v) {
    for (Case c : all_cases()) {
      if (c.name.substr(1) != name) continue;
      c.per = per, c.lo = lo, c.hi = hi, c.value = v;
      t.push_back(c);
    }
  };
  add("Exponential", 1, 0, 1, [](const double* u, int32_t i) { return 1 - 2 * std::log(u[i]); });
  add("Laplace", 2, 0, 1,
      [](const double* u, int32_t i) { return 0.5 + (u[2 * i + 1] > 0.5 ? 1.5 : -1.5) * std::log(u[2 * i]); });
  add("Weibull", 1, 0, 1, [](const double* u, int32_t i) { return -1 + 0.8 * std::pow(-std::log(u[i]), 1 / 1.7); });
  add("Cauchy", 1, -kPi / 2, kPi / 2, [](const double* u, int32_t i) { return 2 + 0.5 * std::tan(u[i]); });
  add("Rayleigh", 1, 0, 1, [](const double* u, int32_t i) { return 2 * std::sqrt(-std::log(u[i])); });
  add("Gumbel", 1, 0, 1, [](const double* u, int32_t i) { return 1 + 2 * std::log(-std::log(u[i])); });
  add("Gaussian0", 2, 0, 1, [](const double* u, int32_t i) {
    return 1 + 2 * std::sqrt(-2 * std::log(u[2 * i])) * std::sin(2 * kPi * u[2 * i + 1]);
  });
  auto pairs = [](const double* u, int32_t i) {  // sine output first, then the cosine of the same pair
    const double* q = u + (i & ~1);
    const double rad = std::sqrt(-2 * std::log(q[0]));
    return rad * (i & 1 ? std::cos(2 * kPi * q[1]) : std::sin(2 * kPi * q[1]));
  };
  add("Gaussian1", 1, 0, 1, [pairs](const double* u, int32_t i) { return 1 + 2 * pairs(u, i); });
  add("Lognormal0", 1, 0, 1, [pairs](const double* u, int32_t i) { return 1 + 3 * std::exp(0.2 + 0.5 * pairs(u, i)); });
  // On [0, 2]: p = 1 makes 1 - u^(1/q) Beta(1, q); q = 1 makes u^(1/p) Beta(p, 1).
  add("Beta1.000000,3.000000", 1, 0, 1, [](const double* u, int32_t i) { return 2 * (1 - std::pow(u[i], 1 / 3.0)); });
  add("Beta2.500000,1.000000", 1, 0, 1, [](const double* u, int32_t i) { return 2 * std::pow(u[i], 1 / 2.5); });
  add("ChiSquare8", 4, 0, 1,
      [](const double* u, int32_t i) { return -2 * std::log(u[4 * i] * u[4 * i + 1] * u[4 * i + 2] * u[4 * i + 3]); });
  // v = 16, the last of the product of uniforms, and not Gamma(8, 2).
  add("ChiSquare16", 8, 0, 1, [](const double* u, int32_t i) {
    double product = 1;
    for (int k = 0; k < 8; ++k) product *= u[8 * i + k];
    return -2 * std::log(product);
  });
  add("Gamma1.000000", 1, 0, 1, [](const double* u, int32_t i) { return -2 * std::log(u[i]); });
  return t;
}

class Transforms : public testing::TestWithParam<Case> {};

// 25,003 values: two long blocks of either precision and a masked tail, on every path.
TEST_P(Transforms, MatchTheFormulaOnTheStreamsUniforms) {
  const Case& t = GetParam();
  const int32_t n = 25003;
  Stream s = mt_stream(seed_of(t.name)), copy = s.copy();
  // One uniform more than the values need: an odd count of pairwise normals ends on a whole pair.
  std::vector<double> got(n), u(static_cast<size_t>(n) * t.per + 1);
  ASSERT_EQ(t.draw(s, n, got.data()), 0);
  const int32_t nu = static_cast<int32_t>(u.size());
  if (t.single) {
    std::vector<float> uf(u.size());
    ASSERT_EQ(_tarrsRngUniform(0, copy, nu, uf.data(), static_cast<float>(t.lo), static_cast<float>(t.hi)), 0);
    std::copy(uf.begin(), uf.end(), u.begin());
  } else {
    ASSERT_EQ(_tarrdRngUniform(0, copy, nu, u.data(), t.lo, t.hi), 0);
  }
  const double tol = t.single ? 2e-4 : 2e-6;
  for (int32_t i = 0; i < n; ++i) {
    const double want = t.value(u.data(), i);
    if (!std::isfinite(want)) continue;  // a uniform of 0: the callbacks' case, tested below
    ASSERT_LE(std::fabs(got[i] - want), tol * (1 + std::fabs(want))) << "element " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Continuous, Transforms, testing::ValuesIn(all_transforms()), case_name);

template <typename T>
class BothPrecisions : public testing::Test {};
TYPED_TEST_SUITE(BothPrecisions, Precisions);

// ---- the pairwise Gaussian's split rule: any split gives the one call's sequence ------------------
TYPED_TEST(BothPrecisions, GaussianPairsAnySplitGivesTheOneCallSequence) {
  using T = TypeParam;
  const int32_t total = 2100;
  const std::vector<std::vector<int32_t>> splits = {
      {1, 1, 2098}, {1, 2, 2097}, {3, 1025, 1072}, {1023, 1, 1076}, {1024, 1076}, {2099, 1}, {2, 2, 2096}};
  Stream one = mt_stream(5);
  std::vector<T> want(total);
  ASSERT_EQ(Gaussian(1, one, total, want.data(), 0.5, 3), 0);
  for (const auto& parts : splits) {
    Stream s = mt_stream(5);
    std::vector<T> got(total);
    int32_t at = 0;
    for (int32_t k : parts) {
      ASSERT_EQ(Gaussian(1, s, k, got.data() + at, 0.5, 3), 0);
      at += k;
      // An odd total leaves a pair pending, an even one none.
      const T* pending = static_cast<const T*>(__tarrSearchChunk(s, sizeof(T) == 8 ? 2 : 1));
      ASSERT_NE(pending, nullptr);
      EXPECT_EQ(pending[0] == T(-1) && pending[1] == T(-1), at % 2 == 0) << at;
    }
    EXPECT_EQ(std::memcmp(got.data(), want.data(), total * sizeof(T)), 0) << parts.size() << " parts, first " << parts[0];
  }
}

// ---- Gaussian's method word: past its last method (2) it is refused, the accurate flag or not,
// and nothing is written.
TYPED_TEST(BothPrecisions, GaussianRefusesAnUnknownMethod) {
  using T = TypeParam;
  Stream s = mt_stream(2);
  T r[4] = {7, 7, 7, 7};
  EXPECT_EQ(Gaussian(3, s, 4, r, 0, 1), TARR_ERROR_UNKNOWN_METHOD);
  EXPECT_EQ(Gaussian(3 | kAccurate, s, 4, r, 0, 1), TARR_ERROR_UNKNOWN_METHOD);
  for (T v : r) EXPECT_EQ(v, T(7));
}

// ---- callbacks: a uniform of exactly the lower end -----------------------------------------------
// ln 0 becomes the logarithm of the least subnormal, ErfInv(-1) the value at the last argument.
TYPED_TEST(BothPrecisions, CallbacksSaturateLogarithmsOfZeroAndErfInvAtMinusOne) {
  using T = TypeParam;
  const double ln_tiny = sizeof(T) == 8 ? 744.4400719213812 : 103.2789306640625;
  const double edge = sizeof(T) == 8 ? 5.8635847487551676 : 3.8325068950653076;
  struct Row {
    const char* name;
    std::function<int32_t(StreamState*, T*)> draw;
    double want;
  };
  const Row rows[] = {
      {"Exponential", [](StreamState* s, T* r) { return Exponential(0, s, 2, r, 1, 2); }, 1 + 2 * ln_tiny},
      {"Rayleigh", [](StreamState* s, T* r) { return Rayleigh(0, s, 2, r, 0, 1); }, std::sqrt(ln_tiny)},
      {"Weibull", [](StreamState* s, T* r) { return Weibull(0, s, 2, r, 2, 0, 1); }, std::sqrt(ln_tiny)},
      {"Gumbel", [](StreamState* s, T* r) { return Gumbel(0, s, 2, r, 0, 1); }, std::log(ln_tiny)},
      {"Gaussian2", [](StreamState* s, T* r) { return Gaussian(2, s, 2, r, 0, 1); }, -std::sqrt(2.0) * edge},
      {"Gaussian1 (its cosine output)",
       [](StreamState* s, T* r) {
         const int32_t st = Gaussian(1, s, 2, r, 0, 1);
         r[0] = r[1];
         return st;
       },
       std::sqrt(2 * ln_tiny)},
      {"Laplace", [](StreamState* s, T* r) { return Laplace(0, s, 2, r, 0, 1); }, ln_tiny},
      {"ChiSquare2", [](StreamState* s, T* r) { return ChiSquare(0, s, 2, r, 2); }, 2 * ln_tiny},
  };
  for (const Row& row : rows) {
    Scripted s = scripted_stream();
    g_script.fixed = true;
    T r[2] = {};
    ASSERT_EQ(row.draw(s, r), 0) << row.name;
    EXPECT_NEAR(r[0], row.want, 1e-5 * std::fabs(row.want)) << row.name << (sizeof(T) == 8 ? " double" : " float");
  }
}

// ---- the accurate flag ------------------------------------------------------------------------------
// A uniform that rounds just past the top of its interval: with the flag no value leaves the
// support. Without it the transforms may leave it (whether one does depends on the last bit of
// a kernel's result); at least one must, or the rows would not show the flag doing anything.
TYPED_TEST(BothPrecisions, AccurateFlagKeepsValuesInsideTheSupport) {
  using T = TypeParam;
  struct Row {
    const char* name;
    std::function<int32_t(int32_t, StreamState*, T*)> draw;
    T lo, hi;
  };
  const Row rows[] = {
      {"Uniform", [](int32_t m, StreamState* s, T* r) { return Uniform(m, s, 8, r, 2, 3); }, 2, 3},
      {"Exponential", [](int32_t m, StreamState* s, T* r) { return Exponential(m, s, 8, r, 1, 2); }, 1, INFINITY},
      {"Weibull", [](int32_t m, StreamState* s, T* r) { return Weibull(m, s, 8, r, 1.5, 1, 2); }, 1, INFINITY},
      {"Rayleigh", [](int32_t m, StreamState* s, T* r) { return Rayleigh(m, s, 8, r, 1, 2); }, 1, INFINITY},
  };
  int leaving = 0;
  for (const Row& row : rows)
    for (int32_t method : {0, kAccurate}) {
      Scripted s = scripted_stream();
      g_script.fixed = true;
      g_script.t = 1 + 1.0 / (1 << 20);
      T r[8];
      ASSERT_EQ(row.draw(method, s, r), 0);
      bool inside = true;
      for (T v : r) inside &= v >= row.lo && v <= row.hi;
      if (method == kAccurate) EXPECT_TRUE(inside) << row.name;
      else leaving += !inside;
    }
  EXPECT_GT(leaving, 0) << "no transform left its support without the flag";
}

// ---- Gamma's method threshold: alpha = 0.6 is the Weibull rejection's, as above it (see
// expect_method_changes_at).
TEST(Thresholds, GammaTakesTheWeibullMethodFromAlphaSixTenths) {
  expect_method_changes_at<double>(
      "Gamma", [](StreamState* s, int32_t n, double* r, double alpha) { return Gamma(0, s, n, r, alpha, 0, 1); }, 0.6,
      std::nextafter(0.6, 1.0), std::nextafter(0.6, 0.0));
}

// ---- chunk allocation failure -----------------------------------------------------------------------
// Every generator that keeps a chunk (the pending pair, the discrete set-ups) in its turn: see
// expect_no_memory_handled.
TEST(Chunks, AllocationFailureGivesNoMemory) {
  const std::pair<const char*, std::function<int32_t(StreamState*)>> rows[] = {
      {"PoissonTable", [](StreamState* s) { int32_t r[3]; return _tarriRngPoisson(0, s, 3, r, 4); }},
      {"PoissonPtpe", [](StreamState* s) { int32_t r[3]; return _tarriRngPoisson(0, s, 3, r, 40); }},
      {"Binomial", [](StreamState* s) { int32_t r[3]; return _tarriRngBinomial(0, s, 3, r, 40, 0.6); }},
      {"Negbinomial", [](StreamState* s) { int32_t r[3]; return _tarriRngNegbinomial(0, s, 3, r, 30, 0.4); }},
      {"Hypergeometric", [](StreamState* s) { int32_t r[3]; return _tarriRngHypergeometric(0, s, 3, r, 1000, 300, 200); }},
      {"dGaussian1", [](StreamState* s) { double r[3]; return Gaussian(1, s, 3, r, 0, 1); }},
      {"sGaussian1", [](StreamState* s) { float r[3]; return Gaussian(1, s, 3, r, 0, 1); }},
      {"dLognormal0", [](StreamState* s) { double r[3]; return Lognormal(0, s, 3, r, 0, 1, 0, 1); }},
      {"dGamma2.5", [](StreamState* s) { double r[3]; return Gamma(0, s, 3, r, 2.5, 0, 1); }},
      {"sGamma2.5", [](StreamState* s) { float r[3]; return Gamma(0, s, 3, r, 2.5, 0, 1); }},
  };
  for (const auto& [name, draw] : rows) expect_no_memory_handled(name, draw);
}

}  // namespace
