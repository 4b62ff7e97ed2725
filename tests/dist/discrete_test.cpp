// The discrete generators, table-driven: goodness of fit across each distribution's regimes, the
// exact rules (integer Uniform, Bernoulli, the bit entries), the Binomial mirror, the cached
// set-ups (kept while the parameters stay, rebuilt when they change), the refusal of bits a
// generator cannot give, n < 1 and a stream error in a later block (chunk allocation failure is
// tested with the continuous generators' chunks).
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "dist/chunks.h"
#include "streams.h"

namespace {

using namespace zorp::test;

double log_choose(double n, double k) { return std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1); }

// A case draws n values; pmf(k) is the distribution's, and [lo, hi] holds all but a negligible
// part of its mass.
struct Case {
  std::string name;
  std::function<int32_t(StreamState*, int32_t, int32_t*)> draw;
  std::function<double(int64_t)> pmf;
  int64_t lo, hi;
  size_t stride = 1;  // the fit takes every stride-th value
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Mass outside [mean - 12 sd, mean + 12 sd] is far below what 200,003 draws can show.
std::pair<int64_t, int64_t> span(double mean, double sd, int64_t lo, int64_t hi) {
  return {std::max<int64_t>(lo, static_cast<int64_t>(mean - 12 * sd - 2)),
          std::min<int64_t>(hi, static_cast<int64_t>(mean + 12 * sd + 2))};
}

std::vector<Case> all_cases() {
  std::vector<Case> c;
  auto add = [&](std::string name, auto draw, std::function<double(int64_t)> pmf, std::pair<int64_t, int64_t> range) {
    c.push_back({name, draw, pmf, range.first, range.second});
  };
  for (auto [a, b] : {std::pair{-3, 5}, std::pair{7, 8}, std::pair{-1000, 1000}})
    add("Uniform" + std::to_string(a) + "_" + std::to_string(b),
        [a, b](StreamState* s, int32_t n, int32_t* r) { return _tarriRngUniform(0, s, n, r, a, b); },
        [a, b](int64_t k) { return k >= a && k < b ? 1.0 / (b - a) : 0.0; }, std::pair<int64_t, int64_t>{a, b - 1});
  for (double p : {0.0, 0.3, 1.0})
    add("Bernoulli" + std::to_string(p), [p](StreamState* s, int32_t n, int32_t* r) { return _tarriRngBernoulli(0, s, n, r, p); },
        [p](int64_t k) { return k == 1 ? p : k == 0 ? 1 - p : 0.0; }, std::pair<int64_t, int64_t>{0, 1});
  for (double p : {0.02, 0.5, 0.97, 1.0})
    add("Geometric" + std::to_string(p), [p](StreamState* s, int32_t n, int32_t* r) { return _tarriRngGeometric(0, s, n, r, p); },
        [p](int64_t k) { return p * std::pow(1 - p, double(k)); }, std::pair<int64_t, int64_t>{0, int64_t(40 / p)});
  // Either side of the table's limit at 27, and far above it.
  for (double lambda : {0.01, 3.5, 26.9, 27.0, 27.5, 1000.0, 1e4, 1e7})
    add("Poisson" + std::to_string(lambda),
        [lambda](StreamState* s, int32_t n, int32_t* r) { return _tarriRngPoisson(0, s, n, r, lambda); },
        [lambda](int64_t k) { return poisson_pmf(lambda, k); },
        span(lambda, std::sqrt(lambda), 0, INT32_MAX));
  // ntrial min(p, 1 - p) on either side of 30, p near 0, 1/2 and 1 (mirrored from 1/2 up).
  const std::pair<int32_t, double> binomials[] = {{0, 0.4},    {1, 0.3},     {20, 0.25},   {99, 0.3},       {100, 0.3},
                                                  {60, 0.5},   {101, 0.7},   {1000, 0.97}, {100000, 1e-5},  {50, 0.999},
                                                  {20, 1.0},   {20, 0.0},    {2000000000, 0.45}, {3000, 0.0105}};
  for (auto [t, p] : binomials)
    add("Binomial" + std::to_string(t) + "_" + std::to_string(p),
        [t, p](StreamState* s, int32_t n, int32_t* r) { return _tarriRngBinomial(0, s, n, r, t, p); },
        [t, p](int64_t k) { return binomial_pmf(t, p, k); },
        span(t * p, std::sqrt(t * p * (1 - p)), 0, t));
  // Small and large a, either side of the mixture's mean of 20, a below 1.
  for (auto [a, p] : {std::pair{0.5, 0.6}, std::pair{3.0, 0.3}, std::pair{25.0, 0.5}, std::pair{0.4, 0.01}, std::pair{1000.0, 0.2},
                      std::pair{2.0, 1.0}})
    add("Negbinomial" + std::to_string(a) + "_" + std::to_string(p),
        [a, p](StreamState* s, int32_t n, int32_t* r) { return _tarriRngNegbinomial(0, s, n, r, a, p); },
        [a, p](int64_t k) {
          if (p == 1) return k == 0 ? 1.0 : 0.0;
          return std::exp(std::lgamma(a + k) - std::lgamma(a) - std::lgamma(k + 1.0) + a * std::log(p) + k * std::log1p(-p));
        },
        span(a * (1 - p) / p, std::sqrt(a * (1 - p)) / p, 0, INT32_MAX));
  // Modes either side of 40, and every mirror of the reduction (m or s above half the lot).
  const int32_t lots[][3] = {{10, 4, 5}, {100, 30, 80}, {200, 150, 20}, {1000, 300, 130}, {1000, 300, 140},
                             {1000, 800, 700}, {100000, 5000, 20000}, {50, 50, 20}, {30, 0, 10}, {1000000, 2000, 700000}};
  for (const auto& h : lots) {
    const int32_t l = h[0], s = h[1], m = h[2];
    const double mean = double(s) * m / l, sd = std::sqrt(mean * (1 - double(m) / l) * std::max(1.0, l - double(s)) / std::max(1.0, l - 1.0));
    add("Hypergeometric" + std::to_string(l) + "_" + std::to_string(s) + "_" + std::to_string(m),
        [l, s, m](StreamState* st, int32_t n, int32_t* r) { return _tarriRngHypergeometric(0, st, n, r, l, s, m); },
        [l, s, m](int64_t k) {
          if (k < std::max(0, s + m - l) || k > std::min(s, m)) return 0.0;
          return std::exp(log_choose(m, double(k)) + log_choose(l - m, double(s - k)) - log_choose(l, s));
        },
        span(mean, sd, std::max(0, s + m - l), std::min(s, m)));
  }
  // PoissonV with a mean per result, the means of neighbouring results far apart (on both sides of
  // 10 and far above): each mean's values, every seventh from the first, fit its own distribution,
  // whichever method its size picks.
  static const std::vector<double> means = {0.0, 0.3, 9.99, 10.0, 45.0, 1e5, 3e7};
  for (size_t j = 0; j < means.size(); ++j) {
    add("PoissonV" + std::to_string(means[j]),
        [j](StreamState* s, int32_t n, int32_t* r) {
          std::vector<double> lambda(static_cast<size_t>(std::max(n, 0)));
          for (int32_t i = 0; i < n; ++i) lambda[i] = means[(i + j) % means.size()];
          return _tarriRngPoissonV(0, s, n, r, lambda.data());
        },
        [mu = means[j]](int64_t k) { return poisson_pmf(mu, k); }, span(means[j], std::sqrt(means[j]), 0, INT32_MAX));
    c.back().stride = means.size();
  }
  return c;
}

std::string name_of(const testing::TestParamInfo<Case>& info) { return test_name(info.param.name); }

class Discrete : public testing::TestWithParam<Case> {};

// Pearson's chi-square over 200,003 values from a fixed seed (PoissonV: 60,000 of each mean),
// against the bound that a correct generator passes with chance 1 - 1e-6. Every value lies in the
// support.
TEST_P(Discrete, FitsItsDistribution) {
  const Case& c = GetParam();
  Stream s = mt_stream(seed_of(c.name));
  std::vector<int32_t> r(c.stride == 1 ? 200003 : 60000 * c.stride);
  ASSERT_EQ(c.draw(s, static_cast<int32_t>(r.size()), r.data()), 0);
  std::vector<int64_t> x;
  for (size_t i = 0; i < r.size(); i += c.stride) x.push_back(r[i]);
  for (int64_t v : x) ASSERT_GT(c.pmf(v), 0) << v;
  const Pearson chi = chi_square(x, c.lo, c.hi, c.pmf);
  // A one-point distribution has no cells to compare: the support check above is its test.
  if (chi.df > 0) {
    EXPECT_LT(chi.stat, chi_square_bound(chi.df, 1e-6)) << c.name << ", " << chi.df << " degrees";
  }
}

// See expect_counts_below_one_write_nothing; the value n = 1 writes is in the support.
TEST_P(Discrete, CountsBelowOneWriteNothing) {
  const Case& c = GetParam();
  EXPECT_GT(c.pmf(expect_counts_below_one_write_nothing<int32_t>(c.draw, -12345)), 0);
}

// A stream error at the last draw of the call (see expect_stream_error_handled), with every MXCSR
// flag raised already, so that a frame that keeps the caller's MXCSR adds none. No block is above
// 1024 values; Bernoulli draws the whole call at once, so it writes nothing.
TEST_P(Discrete, StreamErrorKeepsEarlierBlocksAndRestoresTheCaller) {
  const Written w = expect_stream_error_handled<int32_t>(GetParam().draw, 5000, 0, INT32_MIN, 0x3F);
  EXPECT_GE(w.count, w.calls > 1 ? 5000 - 1024 : 0);
}

INSTANTIATE_TEST_SUITE_P(Discrete, Discrete, testing::ValuesIn(all_cases()), name_of);

// The largest distance between the empirical distribution function of sorted counts x and the
// Poisson distribution function of mean mu (past the largest count it only shrinks).
double distance_to_poisson(const std::vector<int64_t>& x, double mu) {
  double cdf = 0, worst = 0;
  size_t at = 0;
  for (int64_t k = 0; k <= x.back(); ++k) {
    cdf += poisson_pmf(mu, k);
    while (at < x.size() && x[at] <= k) ++at;
    worst = std::max(worst, std::fabs(double(at) / x.size() - cdf));
  }
  return worst;
}

// Each method threshold with the parameters just beside it (see expect_method_changes_at).
TEST(Thresholds, MethodsChangeWhereDocumented) {
  using Draw = std::function<int32_t(StreamState*, int32_t, int32_t*, double)>;
  const struct {
    const char* name;
    Draw draw;
    double at, same, other;
  } rows[] = {
      // Poisson: the table below a mean of 27, PTPE from it.
      {"Poisson", [](StreamState* s, int32_t n, int32_t* r, double x) { return _tarriRngPoisson(0, s, n, r, x); }, 27,
       std::nextafter(27.0, 28.0), std::nextafter(27.0, 26.0)},
      // Binomial: inversion below ntrial min(p, 1 - p) = 30, BTPE from it (120 p here).
      {"Binomial", [](StreamState* s, int32_t n, int32_t* r, double x) { return _tarriRngBinomial(0, s, n, r, 120, x); }, 0.25,
       std::nextafter(0.25, 1.0), std::nextafter(0.25, 0.0)},
      // Negative binomial: inversion below a mean a (1 - p) / p of 20, the mixture from it (a = 20).
      {"Negbinomial", [](StreamState* s, int32_t n, int32_t* r, double x) { return _tarriRngNegbinomial(0, s, n, r, 20, x); }, 0.5,
       std::nextafter(0.5, 0.0), std::nextafter(0.5, 1.0)},
      // Hypergeometric: inversion below a mode (s + 1)(m + 1) / (l + 2) of 40, rejection from it;
      // with s = m = 19,999 the mode is 40 exactly at l = 9,999,998 and just below it one lot later.
      {"Hypergeometric", [](StreamState* s, int32_t n, int32_t* r, double x) { return _tarriRngHypergeometric(0, s, n, r, int32_t(x), 19999, 19999); },
       9999998, 9999997, 9999999},
  };
  for (const auto& row : rows) expect_method_changes_at<int32_t>(row.name, row.draw, row.at, row.same, row.other);
}

// ---- Poisson method 1, the normal approximation ---------------------------------------------------
// Its distance to the Poisson distribution function without sampling noise (which a draw from a
// real stream would add): the scripted stream hands the generator the quantile points
// t = (j + 1/2) / 20000 in turn (as normals, or as the uniform of the series below a mean
// of 1), so the counts' distribution function is known to within 1/20000 of the map itself. The
// series is exact to its tail, the table's fit leaves 3.9e-4 at most (its fitter's sweep), and
// the corrected normal from 100 up stays as close: all are held to 5e-4. The most extreme
// normals the Gaussian entries give (their saturated ends, t = 0 and 1 - 2^-24) must be no
// negative count either.
TEST(PoissonNormal, MapsNormalQuantilesToPoissonCounts) {
  constexpr int32_t kPoints = 20000;
  for (double mu : {0.0, 0.05, 0.5, 0.99, 1.0, 1.3, 1.7, 3.0, 7.3, 26.9, 64.0, 99.9, 100.0, 150.0, 250.0, 5000.0, 1e5}) {
    Scripted s = scripted_stream();
    g_script.fixed = true;
    std::vector<int64_t> x(kPoints + 2);
    for (int32_t j = 0; j < kPoints + 2; ++j) {
      g_script.t = j < kPoints ? (j + 0.5) / kPoints : j == kPoints ? 0.0 : 1 - 1.0 / (1 << 24);
      int32_t k;
      ASSERT_EQ(_tarriRngPoisson(1, s, 1, &k, mu), 0);
      x[j] = k;
    }
    EXPECT_GE(x[kPoints], 0) << mu;
    EXPECT_GE(x[kPoints + 1], 0) << mu;
    x.resize(kPoints);
    ASSERT_TRUE(std::is_sorted(x.begin(), x.end())) << mu;  // the map is monotone in the quantile
    EXPECT_LT(distance_to_poisson(x, mu), 5e-4 + 1.0 / kPoints) << mu;
  }
}

// ---- exact rules, against a copy of the stream --------------------------------------------------
// Each row: the entry's n values from a stream, and what the rule makes of a copy's draws.
// Integer Uniform is the floor of the double uniform on [a, b) (two blocks and a part);
// Bernoulli is 1 exactly where the float uniform is below (float)p; Binomial(p) is ntrial minus
// Binomial(1 - p) from the same state, by inversion and by BTPE (p chosen so that 1 - p is exact).
struct Rule {
  std::string name;
  int32_t n;
  std::function<int32_t(StreamState*, int32_t, int32_t*)> entry;
  std::function<int32_t(StreamState*, int32_t, std::vector<int32_t>&)> rule;
};
std::vector<Rule> rules() {
  std::vector<Rule> v;
  for (auto [a, b] : {std::pair{-3, 5}, std::pair{0, 1}, std::pair{INT32_MIN, INT32_MAX}})
    v.push_back({"Uniform" + std::to_string(a), 2500,
                 [a, b](StreamState* s, int32_t n, int32_t* r) { return _tarriRngUniform(0, s, n, r, a, b); },
                 [a, b](StreamState* s, int32_t n, std::vector<int32_t>& want) {
                   std::vector<double> u(n);
                   const int32_t st = _tarrdRngUniform(0, s, n, u.data(), a, b);
                   for (int32_t i = 0; i < n; ++i) want[i] = static_cast<int32_t>(std::floor(u[i]));
                   return st;
                 }});
  for (double p : {0.0, 1e-9, 0.3, 0.5, 1 - 1e-9, 1.0})
    v.push_back({"Bernoulli" + std::to_string(p), 3001,
                 [p](StreamState* s, int32_t n, int32_t* r) { return _tarriRngBernoulli(0, s, n, r, p); },
                 [p](StreamState* s, int32_t n, std::vector<int32_t>& want) {
                   std::vector<float> u(n);
                   const int32_t st = _tarrsRngUniform(0, s, n, u.data(), 0.0f, 1.0f);
                   for (int32_t i = 0; i < n; ++i) want[i] = u[i] < static_cast<float>(p) ? 1 : 0;
                   return st;
                 }});
  for (auto [t, p] : {std::pair{20, 0.75}, std::pair{1000, 0.625}, std::pair{1, 0.75}, std::pair{0, 0.75}, std::pair{160, 0.8125}})
    v.push_back({"BinomialMirror" + std::to_string(t), 1500,
                 [t, p](StreamState* s, int32_t n, int32_t* r) { return _tarriRngBinomial(0, s, n, r, t, p); },
                 [t, p](StreamState* s, int32_t n, std::vector<int32_t>& want) {
                   const int32_t st = _tarriRngBinomial(0, s, n, want.data(), t, 1 - p);
                   for (int32_t& w : want) w = t - w;
                   return st;
                 }});
  return v;
}
TEST(ExactRules, EntriesFollowTheirRuleOnACopyOfTheStream) {
  for (const Rule& row : rules()) {
    Stream s = mt_stream(11), copy = s.copy();
    std::vector<int32_t> got(row.n), want(row.n);
    ASSERT_EQ(row.entry(s, row.n, got.data()), 0) << row.name;
    ASSERT_EQ(row.rule(copy, row.n, want), 0) << row.name;
    for (int32_t i = 0; i < row.n; ++i) ASSERT_EQ(got[i], want[i]) << row.name << ", element " << i;
  }
}

// The bit entries against the generator's own words: Bits32 and Bits64 take MT19937's words as
// they are (two per 64-bit result, the earlier low), and MCG59's 64-bit words shifted right by 27.
// Counts below one write nothing (a guard page follows the empty arrays) and draw nothing: the
// stream's next words are the reference's next ones after every count.
TEST(ExactRules, BitsAreTheGeneratorsWords) {
  struct Row {
    uint32_t brng;
    bool shifted;
  };
  for (const Row row : {Row{TARR_BRNG_MT19937, false}, Row{TARR_BRNG_MCG59, true}, Row{TARR_BRNG_PHILOX4X32X10, false}})
    for (int32_t n : {-1, 0, 1, 2047, 2049, 4100}) {
      Stream s(row.brng, 5), copy = s.copy();
      const size_t m = static_cast<size_t>(std::max(n, 0));
      GuardedArray<uint32_t> b32(m);
      GuardedArray<uint64_t> b64(m);
      if (n <= 0) {
        ASSERT_EQ(_tarriRngUniformBits(0, s, n, b32.data()), 0);
      }
      ASSERT_EQ(_tarriRngUniformBits32(0, s, n, b32.data()), 0);
      ASSERT_EQ(_tarriRngUniformBits64(0, s, n, b64.data()), 0);
      uint32_t next[2];
      ASSERT_EQ(_tarriRngUniformBits32(0, s, 2, next), 0);
      // The reference: 3m + 2 words of the copy, as 32-bit values.
      std::vector<uint32_t> v(3 * m + 2);
      if (row.shifted) {
        std::vector<uint64_t> w(v.size());
        ASSERT_EQ(_tarriRngUniformBits(0, copy, static_cast<int32_t>(w.size()), reinterpret_cast<uint32_t*>(w.data())), 0);
        for (size_t i = 0; i < w.size(); ++i) {
          ASSERT_LT(w[i], uint64_t{1} << 59);
          v[i] = static_cast<uint32_t>(w[i] >> 27);
        }
      } else {
        ASSERT_EQ(_tarriRngUniformBits(0, copy, static_cast<int32_t>(v.size()), v.data()), 0);
      }
      for (size_t i = 0; i < m; ++i) ASSERT_EQ(b32[i], v[i]) << row.brng << " " << i;
      for (size_t i = 0; i < m; ++i) ASSERT_EQ(b64[i], v[m + 2 * i] | uint64_t{v[m + 2 * i + 1]} << 32) << row.brng << " " << i;
      EXPECT_EQ(next[0], v[3 * m]) << row.brng << " n=" << n;
      EXPECT_EQ(next[1], v[3 * m + 1]) << row.brng << " n=" << n;
    }
}

// Generators whose words are not 32 uniform bits are refused, and nothing is written: the
// congruential and combined ones, WH, the quasi-random and the three abstract kinds.
int32_t no_update(StreamState*, const int32_t*, void*, const int32_t*, const int32_t*, const int32_t*) { return 0; }
TEST(ExactRules, BitsOfUnsuitableGeneratorsAreRefused) {
  uint32_t words[4] = {};
  double doubles[4] = {};
  float floats[4] = {};
  std::vector<Stream> streams;
  for (uint32_t brng : {TARR_BRNG_MCG31, TARR_BRNG_R250, TARR_BRNG_MRG32K3A, TARR_BRNG_WH, TARR_BRNG_SOBOL, TARR_BRNG_NIEDERR})
    streams.emplace_back(brng, 1);
  for (int kind = 0; kind < 3; ++kind) {
    Stream& s = streams.emplace_back();
    ASSERT_EQ(kind == 0   ? __tarriNewAbstractStream(&s.s, 4, words, no_update)
              : kind == 1 ? __tarrdNewAbstractStream(&s.s, 4, doubles, 0.0, 1.0, no_update)
                          : __tarrsNewAbstractStream(&s.s, 4, floats, 0.0f, 1.0f, no_update),
              0);
  }
  for (const Stream& s : streams) {
    const uint32_t brng = s.s->brng;
    GuardedArray<uint32_t> r32(3);
    GuardedArray<uint64_t> r64(3);
    for (int i = 0; i < 3; ++i) r32[i] = 77, r64[i] = 77;
    EXPECT_EQ(_tarriRngUniformBits32(0, s, 3, r32.data()), TARR_ERROR_BRNG_UNSUPPORTED) << brng;
    EXPECT_EQ(_tarriRngUniformBits64(0, s, 3, r64.data()), TARR_ERROR_BRNG_UNSUPPORTED) << brng;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(r32[i] == 77 && r64[i] == 77) << brng;
    EXPECT_EQ(_tarriRngUniformBits32(0, s, 0, r32.data()), 0);
  }
}

// ---- cached set-ups ------------------------------------------------------------------------------
// A set-up is found again while the parameters stay and rebuilt when they change: a planted
// set-up (one that gives only the value `planted`) is used by a second call with the same
// parameters and replaced by a call with others.
struct Cache {
  std::string name;
  uint32_t id;
  std::function<int32_t(StreamState*, int32_t, int32_t*, bool other)> draw;
  std::function<void(void*)> plant;
  int32_t planted, spread;  // a planted set-up gives values within `spread` of `planted`
  bool replaced = false;    // other parameters replace the chunk instead of rebuilding it in place
};
void PrintTo(const Cache& c, std::ostream* os) { *os << c.name; }

std::vector<Cache> caches() {
  using namespace zorp::dist;
  auto poisson = [](double a, double b) {
    return [a, b](StreamState* s, int32_t n, int32_t* r, bool other) { return _tarriRngPoisson(0, s, n, r, other ? b : a); };
  };
  auto binomial = [](int32_t t, double a, double b) {
    return [t, a, b](StreamState* s, int32_t n, int32_t* r, bool other) { return _tarriRngBinomial(0, s, n, r, t, other ? b : a); };
  };
  auto negbinomial = [](double a, double p, double q) {
    return [a, p, q](StreamState* s, int32_t n, int32_t* r, bool other) { return _tarriRngNegbinomial(0, s, n, r, a, other ? q : p); };
  };
  // The triangle moved 5000 up: candidates come from there.
  auto move_away = [](Envelope& e) { e.xm += 5000, e.xl += 5000, e.xr += 5000; };
  return {
      {"PoissonTable", kPoissonChunk, poisson(5, 5.5), [](void* c) { for (double& v : static_cast<PoissonChunk*>(c)->cdf) v = 2; }, 0, 0},
      {"PoissonPtpe", kPoissonChunk, poisson(50, 51), [&](void* c) { move_away(static_cast<PoissonChunk*>(c)->env); }, 5050, 1000},
      {"BinomialInversion", kBinomialChunk, binomial(10, 0.2, 0.3), [](void* c) { static_cast<BinomialChunk*>(c)->p0 = 1; }, 0, 0},
      {"BinomialBtpe", kBinomialChunk, binomial(1000000, 0.2, 0.3), [&](void* c) { move_away(static_cast<BinomialChunk*>(c)->env); }, 205000, 1000},
      {"NegbinomialInversion", kNegbinomialChunk, negbinomial(2, 0.5, 0.4), [](void* c) { static_cast<NegbinomialChunk*>(c)->p0 = 1; }, 0, 0},
      // Means 1000 times larger: Gamma(25) times 1000, within 4.8 deviations.
      {"NegbinomialMixture", kNegbinomialChunk, negbinomial(25, 0.5, 0.4), [](void* c) { static_cast<NegbinomialChunk*>(c)->scale *= 1000; }, 25000, 24000},
      {"HypergeometricTable", kHypergeometricChunk,
       [](StreamState* s, int32_t n, int32_t* r, bool other) { return _tarriRngHypergeometric(0, s, n, r, 100, 10, other ? 21 : 20); },
       [](void* c) { for (double& v : static_cast<HypergeometricChunk*>(c)->cdf) v = 2; }, 0, 0, true},
  };
}
class Caches : public testing::TestWithParam<Cache> {};
TEST_P(Caches, KeptForTheSameParametersRebuiltForOthers) {
  const Cache& c = GetParam();
  Stream s = mt_stream(3);
  int32_t r[300];
  auto near_planted = [&] {
    for (int32_t v : r)
      if (std::abs(v - c.planted) > c.spread) return false;
    return true;
  };
  ASSERT_EQ(c.draw(s, 300, r, false), 0);
  EXPECT_FALSE(near_planted());
  void* chunk = __tarrSearchChunk(s, c.id);
  ASSERT_NE(chunk, nullptr);
  c.plant(chunk);
  ASSERT_EQ(c.draw(s, 300, r, false), 0);
  EXPECT_TRUE(near_planted()) << "the same parameters rebuilt the set-up";
  ASSERT_EQ(c.draw(s, 300, r, true), 0);
  EXPECT_FALSE(near_planted()) << "other parameters kept the old set-up";
  if (!c.replaced) {
    EXPECT_EQ(__tarrSearchChunk(s, c.id), chunk);
  }
  EXPECT_EQ(__tarrGetNumChunks(s), 1);
}
INSTANTIATE_TEST_SUITE_P(Discrete, Caches, testing::ValuesIn(caches()),
                         [](const testing::TestParamInfo<Cache>& i) { return i.param.name; });

// Outside 0 <= s, m <= l the method cannot terminate, so the entry refuses it although the host
// checks first: each row is the first refused value beside the last accepted one.
TEST(Hypergeometric, RefusesParametersOutsideItsDomainAndNothingElse) {
  const struct { int32_t l, s, m, status; } rows[] = {
      {10, 10, 10, 0}, {10, 11, 3, TARR_ERROR_BAD_ARGUMENTS}, {10, 3, 11, TARR_ERROR_BAD_ARGUMENTS},
      {10, 0, 0, 0},   {10, -1, 3, TARR_ERROR_BAD_ARGUMENTS}, {10, 3, -1, TARR_ERROR_BAD_ARGUMENTS},
      {0, 0, 0, 0},    {-1, 0, 0, TARR_ERROR_BAD_ARGUMENTS},  {1000, 1001, 400, TARR_ERROR_BAD_ARGUMENTS},
  };
  Stream s(TARR_BRNG_MCG59, 1);
  for (const auto& row : rows) {
    int32_t r[4] = {-7, -7, -7, -7};
    EXPECT_EQ(_tarriRngHypergeometric(0, s, 4, r, row.l, row.s, row.m), row.status) << row.l << " " << row.s << " " << row.m;
    for (int32_t v : r) EXPECT_EQ(v == -7, row.status != 0) << row.l << " " << row.s << " " << row.m;
  }
}

}  // namespace
