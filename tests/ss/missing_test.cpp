// Missing values: the status codes in check order and every count's and parameter's boundary;
// EM as the fixed point of one EM step written here without sweeps or grouping (one Gauss-Jordan
// solve per observation, long double) and against the complete data's own estimates; the posterior draws
// against the inverse-Wishart moments; the imputed values' conditional distribution; repeatable
// output, both layouts and precisions, observations without any observed component, LAPACK and
// allocation failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ss/task/task.h"
#include "ss/reference.h"
#include "ss/task_util.h"
#include "zorp/core.h"
#include "zorp/rng.h"
#include "zorp/ss.h"

namespace {

using namespace zorp::test::ss;
using zorp::ss::Slot;

template <typename T>
int impute(TarrSSTask* t, uint32_t method = TARR_SS_METHOD_MISSING_VALUES) {
  return Fn<T>::missing(t, 0, method);
}

template <typename T>
class SSMissing : public testing::Test {};
TYPED_TEST_SUITE(SSMissing, Precisions);

using LD = long double;
const double kNaN = std::nan("");

// ---- data --------------------------------------------------------------------------------------
// n observations of p components, observation-major: means 10 j - 5, deviations 1 + j/2,
// correlations 0.6^|i-j|, drawn through the Cholesky factor (values rounded to float, so that
// both precisions see the same data); each entry then missing with probability `frac`.
struct Sample {
  int64_t p, n, nmiss = 0;
  std::vector<double> full, x;  // complete values, values with NaN
  double at(int64_t i, int64_t j) const { return x[i * p + j]; }
};
Sample make_sample(int64_t p, int64_t n, uint64_t seed, double frac = 0.1) {
  std::vector<double> s(p * p), mean(p);
  for (int64_t a = 0; a < p; ++a) {
    mean[a] = 10.0 * a - 5;
    for (int64_t b = 0; b < p; ++b) s[a + b * p] = std::pow(0.6, std::abs(double(a - b))) * (1 + a / 2.0) * (1 + b / 2.0);
  }
  std::mt19937_64 gen(seed);
  Sample d{p, n, 0, gaussian(n, mean, cholesky(s, p), gen), {}};
  std::uniform_real_distribution<double> u(0, 1);
  for (double& v : d.full) {
    v = double(float(v));
    const bool gone = u(gen) < frac;
    d.x.push_back(gone ? kNaN : v);
    d.nmiss += gone;
  }
  return d;
}
// The same data with an observation of nothing but NaN after every `every`-th one.
Sample with_blanks(const Sample& d, int64_t every) {
  Sample b{d.p, 0, d.nmiss, {}, {}};
  for (int64_t i = 0; i < d.n; ++i) {
    for (int64_t j = 0; j < d.p; ++j) b.full.push_back(d.full[i * d.p + j]), b.x.push_back(d.at(i, j));
    ++b.n;
    if (i % every == every - 1) {
      for (int64_t j = 0; j < d.p; ++j) b.full.push_back(0), b.x.push_back(kNaN);
      ++b.n, b.nmiss += d.p;
    }
  }
  return b;
}

// ---- reference EM -------------------------------------------------------------------------------
struct Params {
  std::vector<LD> mu, s;  // s full p x p
};
// One EM step from q, every observation on its own: each missing entry replaced by its
// conditional mean given the observed ones, its conditional covariance added to the
// cross-products, observations with nothing observed left out. The observed-data
// maximum-likelihood estimate is the step's fixed point.
Params em_step(const Sample& d, const Params& q) {
  const int64_t p = d.p;
  std::vector<LD> s1(p, 0), s2(p * p, 0), beta, c;
  LD used = 0;
  for (int64_t i = 0; i < d.n; ++i) {
    std::vector<int64_t> o, mi;
    for (int64_t j = 0; j < p; ++j) (std::isnan(d.at(i, j)) ? mi : o).push_back(j);
    if (o.empty()) continue;
    ++used;
    std::vector<LD> y(p);
    for (int64_t j : o) y[j] = d.at(i, j);
    if (!mi.empty()) {
      regress(q.s, p, o, mi, beta, c);
      for (size_t k = 0; k < mi.size(); ++k) {
        LD v = q.mu[mi[k]];
        for (size_t r = 0; r < o.size(); ++r) v += beta[r * mi.size() + k] * (y[o[r]] - q.mu[o[r]]);
        y[mi[k]] = v;
      }
      for (size_t u = 0; u < mi.size(); ++u)
        for (size_t v = 0; v < mi.size(); ++v) s2[mi[u] + mi[v] * p] += c[u + v * mi.size()];
    }
    for (int64_t a = 0; a < p; ++a) {
      s1[a] += y[a];
      for (int64_t b = 0; b < p; ++b) s2[a + b * p] += y[a] * y[b];
    }
  }
  Params next{std::vector<LD>(p), std::vector<LD>(p * p)};
  for (int64_t a = 0; a < p; ++a) next.mu[a] = s1[a] / used;
  for (int64_t a = 0; a < p; ++a)
    for (int64_t b = 0; b < p; ++b) next.s[a + b * p] = s2[a + b * p] / used - next.mu[a] * next.mu[b];
  return next;
}
// The complete data's mean and covariance (divisor n: the maximum-likelihood estimates).
Params complete_estimates(const Sample& d) {
  const Reference r = reference(d.n, d.p, [&](int64_t i, int64_t j) { return d.full[i * d.p + j]; }, nullptr);
  Params q{r.mean, r.cp};
  for (auto& v : q.s) v /= r.W;
  return q;
}

// ---- a task with the ten items -------------------------------------------------------------------
struct Config {
  double em_limit = 500, da_iter = 3, tol = 0x1p-40, m = 3, prior = 0;  // float holds each exactly
  bool da = true, imputed = true;
};
int64_t packed_count(int64_t p) { return p + p * (p + 1) / 2; }

template <typename T>
struct Run {
  const Sample& d;
  int layout;
  int64_t q;
  std::vector<T> x;
  Task<T> task;
  int32_t n1 = 5, n3 = 0, n5, n7, n9;
  std::vector<T> prm, start, em, sets, imp;
  Run(const Sample& data, int lay, const Config& c)
      : d(data), layout(lay), q(packed_count(data.p)), x(in_layout<T>(data.x, data.p, lay)),
        task(int32_t(data.p), int32_t(data.n), lay, x.data()) {
    prm = {T(c.em_limit), T(c.da_iter), T(c.tol), T(c.m), T(c.prior)};
    const int64_t m = int64_t(c.m);
    n5 = int32_t(q), n7 = int32_t(m * q), n9 = int32_t(m * d.nmiss);
    start.assign(q, T(0));
    em.assign(q + 1, T(kSentinel)), sets.assign(m * q + 1, T(kSentinel)), imp.assign(m * d.nmiss + 1, T(kSentinel));
    task.edit({{TARR_SS_PARAM_MISSING_1, &n1}, {TARR_SS_PARAM_MISSING_2, prm.data()}, {TARR_SS_PARAM_MISSING_5, &n5},
               {TARR_SS_PARAM_MISSING_6, em.data()}});
    if (c.da) task.edit({{TARR_SS_PARAM_MISSING_7, &n7}, {TARR_SS_PARAM_MISSING_8, sets.data()}});
    if (c.da && c.imputed) task.edit({{TARR_SS_PARAM_MISSING_9, &n9}, {TARR_SS_PARAM_MISSING_10, imp.data()}});
  }
  void use_start(const std::vector<double>& s) {
    for (int64_t k = 0; k < q; ++k) start[k] = T(s[k]);
    n3 = int32_t(q);
    task.edit({{TARR_SS_PARAM_MISSING_3, &n3}, {TARR_SS_PARAM_MISSING_4, start.data()}});
  }
  int call(uint32_t method = TARR_SS_METHOD_MISSING_VALUES) { return impute<T>(task.t, method); }
  bool nothing_written() const { return untouched(em) && untouched(sets) && untouched(imp); }
  // The call for walk_failures: the fault armed right before it.
  auto armed() {
    return [this](const std::function<void()>& arm) {
      arm();
      return call();
    };
  }
  void refill() {
    for (auto* v : {&em, &sets, &imp}) std::fill(v->begin(), v->end(), T(kSentinel));
  }
  // Entry (a, b) of the parameters at `base` (mean, then the upper triangle by columns).
  static double cov_at(const std::vector<T>& v, int64_t base, int64_t p, int64_t a, int64_t b) {
    if (a > b) std::swap(a, b);
    return double(v[base + p + a + b * (b + 1) / 2]);
  }
  // EM's estimates as parameters.
  Params estimates() const {
    Params q{std::vector<LD>(d.p), std::vector<LD>(d.p * d.p)};
    for (int64_t a = 0; a < d.p; ++a) {
      q.mu[a] = em[a];
      for (int64_t b = 0; b < d.p; ++b) q.s[a + b * d.p] = cov_at(em, 0, d.p, a, b);
    }
    return q;
  }
  // The imputed value of set k for observation i, component j: its rank among the NaNs in the
  // order of the observation array.
  double imputed(int64_t k, int64_t i, int64_t j) const {
    const int64_t at = layout == 1 ? j * d.n + i : i * d.p + j;
    return double(imp[k * d.nmiss + std::count_if(x.begin(), x.begin() + at, [](T v) { return v != v; })]);
  }
};

// ---- checks -------------------------------------------------------------------------------------
TYPED_TEST(SSMissing, StatusCodesInCheckOrder) {
  using T = TypeParam;
  const Sample d = make_sample(3, 200, 1);
  Config cfg;
  cfg.em_limit = 20, cfg.m = 2, cfg.da_iter = 1;
  Run<T> r(d, 2, cfg);
  TarrSSTask* t = r.task.t;
  auto* s = reinterpret_cast<void**>(t);
  // Back to an empty set of items, each then registered in turn.
  for (int k = Slot::kSlotMissing1; k <= Slot::kSlotMissing8; ++k) s[k] = nullptr;
  uint32_t method = TARR_SS_METHOD_ROBUST_COV;
  const int32_t odd_word = TARR_SS_MATRIX_STORAGE_2 | 1, short7 = r.n7 - 1, short9 = r.n9 - 1;
  const int32_t q32 = int32_t(r.q), zero = 0, four = 4, six = 6, short5 = q32 - 1;
  const void* storage = s[Slot::kSlotStorage];
  r.task.p = 0;
  climb([&] { return r.call(method); },
        {{TARR_SS_ERROR_BAD_DIMENSION, [&] { r.task.p = 3, r.task.n = 0; }},
         {TARR_SS_ERROR_BAD_NOBS, [&] { r.task.n = 200, s[Slot::kSlotX] = nullptr; }},
         {TARR_SS_ERROR_NULL_OBSERVATIONS, [&] { s[Slot::kSlotX] = r.x.data(), s[Slot::kSlotStorage] = nullptr; }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { s[Slot::kSlotStorage] = const_cast<int32_t*>(&odd_word); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { s[Slot::kSlotStorage] = const_cast<void*>(storage); }},
         {TARR_SS_ERROR_NULL_MISSING_2, [&] { s[Slot::kSlotMissing2] = r.prm.data(); }},
         {TARR_SS_ERROR_NULL_MISSING_1, [&] { s[Slot::kSlotMissing1] = const_cast<int32_t*>(&four); }},
         {TARR_SS_ERROR_BAD_MISSING_NPARAMS, [&] { s[Slot::kSlotMissing1] = const_cast<int32_t*>(&six); }},
         {TARR_SS_ERROR_BAD_MISSING_NPARAMS, [&] { s[Slot::kSlotMissing1] = &r.n1, s[Slot::kSlotMissing6] = r.em.data(); }},
         {TARR_SS_ERROR_NULL_MISSING_5, [&] { s[Slot::kSlotMissing6] = nullptr, s[Slot::kSlotMissing5] = const_cast<int32_t*>(&zero); }},
         {TARR_SS_ERROR_NULL_MISSING_6, [&] { s[Slot::kSlotMissing6] = r.em.data(); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_MISSING_VALUES; }},
         {TARR_SS_ERROR_BAD_MISSING_ITEMS, [&] { s[Slot::kSlotMissing5] = const_cast<int32_t*>(&short5); }},
         {TARR_SS_ERROR_BAD_MISSING_ITEMS, [&] { s[Slot::kSlotMissing5] = const_cast<int32_t*>(&q32); }},
         // EM alone; then the data augmentation's items, its method check and counts.
         {0, [&] { r.refill(), s[Slot::kSlotMissing7] = const_cast<int32_t*>(&short7), s[Slot::kSlotMissing8] = r.sets.data(),
                   method = TARR_SS_METHOD_ROBUST_COV; }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_MISSING_VALUES; }},
         {TARR_SS_ERROR_BAD_MISSING_ITEMS, [&] { s[Slot::kSlotMissing7] = &r.n7; }},
         {0, [&] { r.refill(), s[Slot::kSlotMissing9] = const_cast<int32_t*>(&short9), s[Slot::kSlotMissing10] = r.imp.data(); }},
         {TARR_SS_ERROR_BAD_MISSING_ITEMS, [&] { s[Slot::kSlotMissing9] = &r.n9; }},
         {0, nullptr}},
        [&] { return r.nothing_written(); });
  // Without items 5 and 6 the data augmentation still runs; EM alone then has nothing to write.
  r.refill();
  s[Slot::kSlotMissing5] = s[Slot::kSlotMissing6] = nullptr;
  EXPECT_EQ(r.call(), 0);
  EXPECT_TRUE(untouched(r.em));
  EXPECT_FALSE(untouched(r.sets));
  r.refill();
  s[Slot::kSlotMissing8] = nullptr;  // item 7 alone is not data augmentation
  EXPECT_EQ(r.call(), TARR_SS_ERROR_BAD_MISSING_ITEMS);
  EXPECT_TRUE(r.nothing_written());
}

// A 64-bit task: p + 1 and n must fit the host BLAS's 32-bit integers (no array is read before
// the refusal, so a short one does).
TYPED_TEST(SSMissing, DimensionsBeyond32Bits) {
  using T = TypeParam;
  const std::vector<T> x(64, T(1));
  std::vector<T> prm = {T(10), T(1), T(0), T(1), T(0)}, em(64, T(kSentinel));
  const int64_t n1 = 5, n5 = 64, storage = TARR_SS_MATRIX_STORAGE_2;
  struct Row {
    int64_t p, n;
    int code;
  };
  for (const Row& r : {Row{2147483647, 4, TARR_SS_ERROR_BAD_DIMENSION}, Row{2, 2147483648, TARR_SS_ERROR_BAD_NOBS}}) {
    TarrSSTask* t = nullptr;
    if constexpr (sizeof(T) == 8) ASSERT_EQ(__tarrdSSNewTask(&t, &r.p, &r.n, &storage, x.data(), nullptr, nullptr, 1), 0);
    else ASSERT_EQ(__tarrsSSNewTask(&t, &r.p, &r.n, &storage, x.data(), nullptr, nullptr, 1), 0);
    auto* s = reinterpret_cast<const void**>(t);
    s[Slot::kSlotMissing1] = &n1, s[Slot::kSlotMissing2] = prm.data(), s[Slot::kSlotMissing5] = &n5, s[Slot::kSlotMissing6] = em.data();
    EXPECT_EQ(impute<T>(t), r.code) << r.p << " " << r.n;
    EXPECT_TRUE(untouched(em));
    __tarrSSDeleteTask(&t);
  }
}

// Each row changes one count or parameter of a valid call: the last refused value and the first
// accepted one.
struct Boundary {
  const char* what;
  int item;      // 1, 3, 5, 7, 9: that count; 100 + k: parameter k
  double value;  // relative to the least valid count when a count (see `need`), else absolute
  bool relative;
  int code;
};
constexpr int kItems = TARR_SS_ERROR_BAD_MISSING_ITEMS, kNParams = TARR_SS_ERROR_BAD_MISSING_NPARAMS;
const Boundary kBoundaries[] = {
    {"item 1 below", 1, 4, false, kNParams}, {"item 1", 1, 5, false, 0}, {"item 1 above", 1, 6, false, kNParams},
    {"start count negative", 3, -1, false, kItems}, {"start count 0", 3, 0, false, 0},
    {"start count 1", 3, 1, false, kItems}, {"start count short", 3, -1, true, kItems}, {"start count", 3, 0, true, 0},
    {"EM count short", 5, -1, true, kItems}, {"EM count", 5, 0, true, 0}, {"sets count short", 7, -1, true, kItems},
    {"sets count", 7, 0, true, 0}, {"imputed count short", 9, -1, true, kItems}, {"imputed count", 9, 0, true, 0},
    {"EM limit negative", 100, -1, false, kItems}, {"EM limit 0", 100, 0, false, 0},
    {"EM limit fractional", 100, 2.5, false, kItems}, {"EM limit 2^31", 100, 2147483648.0, false, kItems},
    {"EM limit below 2^31", 100, 2147483520.0, false, 0},  // the tolerance ends it
    {"EM limit NaN", 100, kNaN, false, kItems}, {"DA iterations 0", 101, 0, false, kItems},
    {"DA iterations 1", 101, 1, false, 0}, {"tolerance negative", 102, -1e-30, false, kItems},
    {"tolerance 0", 102, 0, false, 0}, {"tolerance NaN", 102, kNaN, false, kItems}, {"sets 0", 103, 0, false, kItems},
    {"sets 1", 103, 1, false, 0}, {"prior -1", 104, -1, false, kItems}, {"prior 0.5", 104, 0.5, false, kItems},
    {"prior 1", 104, 1, false, 0}, {"prior 2", 104, 2, false, kItems},
};

TYPED_TEST(SSMissing, CountAndParameterBoundaries) {
  using T = TypeParam;
  const Sample d = make_sample(3, 150, 2);
  Config cfg;
  cfg.em_limit = 30, cfg.tol = 1e-6, cfg.da_iter = 1, cfg.m = 2;
  for (const Boundary& b : kBoundaries) {
    Run<T> r(d, 1, cfg);
    std::vector<double> st(r.q);
    const Params c = complete_estimates(d);
    for (int64_t j = 0; j < d.p; ++j) st[j] = double(c.mu[j]);
    for (int64_t bb = 0; bb < d.p; ++bb)
      for (int64_t a = 0; a <= bb; ++a) st[d.p + a + bb * (bb + 1) / 2] = double(c.s[a + bb * d.p]);
    r.use_start(st);
    const int64_t m = b.item == 103 ? int64_t(b.value) : 2;
    const int64_t need = b.item == 3 || b.item == 5 ? r.q : b.item == 7 ? m * r.q : m * d.nmiss;
    const int32_t v = int32_t(b.relative ? need + b.value : b.value);
    if (b.item == 1) r.n1 = v;
    if (b.item == 3) r.n3 = v;
    if (b.item == 5) r.n5 = v;
    if (b.item == 7) r.n7 = v;
    if (b.item == 9) r.n9 = v;
    if (b.item >= 100) r.prm[b.item - 100] = T(b.value);
    if (b.item == 103 && b.value == 1) r.n7 = int32_t(r.q), r.n9 = int32_t(d.nmiss);
    EXPECT_EQ(r.call(), b.code) << b.what;
    if (b.code) EXPECT_TRUE(r.nothing_written()) << b.what;
    else EXPECT_FALSE(untouched(r.em)) << b.what;
  }
}

// ---- EM -----------------------------------------------------------------------------------------
struct EmCase {
  int64_t p, n;
  int layout;
};
const EmCase kEm[] = {{2, 4000, 1}, {6, 4000, 2}};

// EM's estimates are the observed-data maximum-likelihood estimates: one EM step written here
// leaves them where they are, to the tolerance asked for (1e-12 of the deviations; float results
// round to 6e-8 of their size).  The step's fixed point is the likelihood's stationary point, so
// no second comparison with the complete data's estimates is needed: the step adds each missing
// entry's conditional covariance, which estimates that left it out would not satisfy.
TYPED_TEST(SSMissing, EmIsTheObservedDataMaximumLikelihood) {
  using T = TypeParam;
  for (const EmCase& e : kEm) {
    const Sample d = make_sample(e.p, e.n, 100 + e.p);
    Config cfg;
    cfg.da = false;
    Run<T> r(d, e.layout, cfg);
    ASSERT_EQ(r.call(), 0);
    const Params ref = em_step(d, r.estimates());
    const double tol = sizeof(T) == 8 ? 1e-9 : 3e-7;
    for (int64_t a = 0; a < e.p; ++a) {
      const double sd = std::sqrt(double(ref.s[a + a * e.p]));
      EXPECT_NEAR(double(r.em[a]), double(ref.mu[a]), tol * (sd + std::fabs(double(ref.mu[a])))) << "p=" << e.p;
      for (int64_t b = a; b < e.p; ++b)
        EXPECT_NEAR(Run<T>::cov_at(r.em, 0, e.p, a, b), double(ref.s[a + b * e.p]),
                    tol * std::sqrt(double(ref.s[a + a * e.p] * ref.s[b + b * e.p])))
            << "p=" << e.p << " " << a << "," << b;
    }
    EXPECT_EQ(r.em[r.q], T(kSentinel));
  }
}

// Equivalent data, the same estimates component for component: observations with nothing
// observed added (they change no estimate); and more than 64 components, whose missing-value
// masks span two words, with entries missing only in components 0 and 64 (one in each word),
// against the same data with its components rotated so that both fall in the first word.  A
// given start reaches the same point, and with no iterations allowed the start is the estimate.
TYPED_TEST(SSMissing, EquivalentDataAndStartingPoint) {
  using T = TypeParam;
  const int64_t wide = 65, shift = 63;  // component j moves to (j + shift) % p: 0 -> 63, 64 -> 62
  Sample m = make_sample(wide, 300, 71, 0.0);
  std::mt19937_64 gen(72);
  for (int64_t i = 0; i < m.n; ++i)
    for (int64_t j : {int64_t(0), wide - 1})
      if (gen() % 4 == 0) m.x[i * wide + j] = kNaN, ++m.nmiss;
  Sample rotated = m;
  for (int64_t i = 0; i < m.n; ++i)
    for (int64_t j = 0; j < wide; ++j) rotated.x[i * wide + (j + shift) % wide] = m.x[i * wide + j];
  const Sample d = make_sample(3, 1000, 7), blanks = with_blanks(d, 25);
  const double tol = sizeof(T) == 8 ? 1e-9 : 1e-5;
  Config cfg;
  cfg.da = false;
  struct Row {
    const Sample *a, *b;
    int64_t shift;
    double tol;
  };
  for (const Row& row : {Row{&d, &blanks, 0, 1e-12}, Row{&m, &rotated, shift, tol}}) {
    const int64_t p = row.a->p;
    Run<T> a(*row.a, 2, cfg), b(*row.b, 1, cfg);
    ASSERT_EQ(a.call(), 0);
    ASSERT_EQ(b.call(), 0);
    for (int64_t j = 0; j < p; ++j) {
      const int64_t k = (j + row.shift) % p;
      EXPECT_NEAR(double(a.em[j]), double(b.em[k]), row.tol * (1 + std::fabs(double(a.em[j])))) << p << " " << j;
      for (int64_t l = 0; l < p; ++l) {
        const double x = Run<T>::cov_at(a.em, 0, p, j, l), y = Run<T>::cov_at(b.em, 0, p, k, (l + row.shift) % p);
        EXPECT_NEAR(x, y, row.tol * (1 + std::fabs(x))) << p << " " << j << "," << l;
      }
    }
  }
  Run<T> a(d, 2, cfg), s(d, 2, cfg);
  std::vector<double> st(a.q);
  for (int64_t j = 0; j < 3; ++j) st[j] = 3.0 - j;
  for (int64_t c = 0; c < 3; ++c)
    for (int64_t r = 0; r <= c; ++r) st[3 + r + c * (c + 1) / 2] = r == c ? 2.0 + c : 0.5;
  s.use_start(st);
  ASSERT_EQ(a.call(), 0);
  ASSERT_EQ(s.call(), 0);
  for (int64_t k = 0; k < a.q; ++k) EXPECT_NEAR(double(s.em[k]), double(a.em[k]), tol * (1 + std::fabs(double(a.em[k]))));
  s.prm[0] = 0;
  ASSERT_EQ(s.call(), 0);
  for (int64_t k = 0; k < a.q; ++k) EXPECT_NEAR(double(s.em[k]), st[k], 4 * std::numeric_limits<T>::epsilon() * 10);
}

// ---- data augmentation ---------------------------------------------------------------------------
// Complete data: every P-step is an independent posterior draw.  Non-informative prior:
// Sigma^-1 ~ Wishart(n - 1, A^-1), E Sigma = A / (n - p - 2); prior 1: A + (p+1) S_ML and
// n + p degrees of freedom, E Sigma = (A + (p+1) A/n) / (n - 1).  E mu = ybar, Cov mu = E Sigma / n.
// 20,000 draws with n = 12, p = 3: each mean within 5 standard errors of its expectation (the
// standard errors from the draws themselves); one degree of freedom more or less moves E Sigma by
// 1/7 of itself, some 20 standard errors.
TYPED_TEST(SSMissing, PosteriorDrawsHaveTheInverseWishartMoments) {
  using T = TypeParam;
  const int64_t p = 3, n = 12, m = 20000;
  const Sample d = make_sample(p, n, 11, 0.0);
  const Params full = complete_estimates(d);
  for (int prior : {0, 1}) {
    Config cfg;
    cfg.m = double(m), cfg.da_iter = 1, cfg.prior = prior, cfg.imputed = false;
    Run<T> r(d, 1, cfg);
    ASSERT_EQ(r.call(), 0);
    const double div = prior ? double(n - 1) : double(n - p - 2), grow = prior ? 1.0 + double(p + 1) / n : 1.0;
    auto expect = [&](int64_t a, int64_t b) { return double(full.s[a + b * p]) * n * grow / div; };
    for (int64_t a = 0; a < p; ++a)
      for (int64_t b = a; b < p; ++b) {
        double s1 = 0, s2 = 0, mc = 0, mu = 0;
        for (int64_t k = 0; k < m; ++k) {
          const double v = Run<T>::cov_at(r.sets, k * r.q, p, a, b);
          s1 += v, s2 += v * v, mu += double(r.sets[k * r.q + a]);
          mc += (double(r.sets[k * r.q + a]) - double(full.mu[a])) * (double(r.sets[k * r.q + b]) - double(full.mu[b]));
        }
        const double mean = s1 / m, se = std::sqrt((s2 / m - mean * mean) / m);
        EXPECT_NEAR(mean, expect(a, b), 5 * se) << "prior " << prior << " " << a << "," << b;
        // Cov mu = E Sigma / n; a product of two normals has variance (s_aa s_bb + s_ab^2), and
        // Sigma's own spread adds to it.
        const double spread = std::sqrt((expect(a, a) * expect(b, b) + expect(a, b) * expect(a, b)) / m) / n;
        EXPECT_NEAR(mc / m, expect(a, b) / n, 5 * (spread + se / n)) << "prior " << prior << " " << a << "," << b;
        EXPECT_NEAR(mu / m, double(full.mu[a]), 5 * std::sqrt(expect(a, a) / n / double(m))) << "prior " << prior;
      }
  }
}

// 10% missing: each imputed value, standardised by its conditional mean and deviation given the
// rest of its observation under the EM estimates, is N(0, 1) up to the spread of the drawn
// parameters (a variance larger by about p/n); over the observations missing one entry that
// gives several thousand values, so mean within 0.05 and variance within 0.08 of 1 (some six
// standard errors).  Without the noise the variance would be 0, with C in place of its factor
// far from 1.  (The drawn parameters' own law is the posterior test's.)
TYPED_TEST(SSMissing, ImputedValuesFollowTheConditionalLaw) {
  using T = TypeParam;
  const int64_t p = 4, n = 4000;
  const Sample d = make_sample(p, n, 21);
  Config cfg;
  cfg.m = 4, cfg.da_iter = 4;
  Run<T> r(d, 2, cfg);
  ASSERT_EQ(r.call(), 0);
  EXPECT_EQ(r.imp[cfg.m * d.nmiss], T(kSentinel));
  for (int64_t k = 0; k < int64_t(cfg.m) * d.nmiss; ++k) ASSERT_TRUE(std::isfinite(double(r.imp[k])) && r.imp[k] != T(kSentinel)) << k;
  const Params em = r.estimates();
  double s1 = 0, s2 = 0, cnt = 0;
  std::vector<LD> beta, c;
  for (int64_t i = 0; i < n; ++i) {
    std::vector<int64_t> o, mi;
    for (int64_t j = 0; j < p; ++j) (std::isnan(d.at(i, j)) ? mi : o).push_back(j);
    if (mi.size() != 1) continue;
    regress(em.s, p, o, mi, beta, c);
    LD mean = em.mu[mi[0]];
    for (size_t k = 0; k < o.size(); ++k) mean += beta[k] * (d.at(i, o[k]) - em.mu[o[k]]);
    for (int64_t set = 0; set < int64_t(cfg.m); ++set) {
      const double zv = double((r.imputed(set, i, mi[0]) - mean) / std::sqrt(c[0]));
      s1 += zv, s2 += zv * zv, ++cnt;
    }
  }
  ASSERT_GT(cnt, 3000);
  EXPECT_NEAR(s1 / cnt, 0.0, 0.05);
  EXPECT_NEAR(s2 / cnt - (s1 / cnt) * (s1 / cnt), 1.0, 0.08);
}

// A second call gives the same bits; the other layout the same values in its own order; the float
// task the double task's values rounded to float.
TYPED_TEST(SSMissing, RepeatableAcrossCallsLayoutsAndPrecisions) {
  using T = TypeParam;
  const Sample d = with_blanks(make_sample(3, 600, 31), 100);
  Config cfg;
  Run<T> a(d, 2, cfg), b(d, 1, cfg);
  Run<double> ref(d, 2, cfg);
  ASSERT_EQ(a.call(), 0);
  const std::vector<T> em = a.em, sets = a.sets, imp = a.imp;
  a.refill();
  ASSERT_EQ(a.call(), 0);
  EXPECT_TRUE(a.em == em && a.sets == sets && a.imp == imp);
  ASSERT_EQ(b.call(), 0);
  ASSERT_EQ(ref.call(), 0);
  EXPECT_TRUE(b.em == a.em && b.sets == a.sets);
  for (auto [got, want] : {std::pair{&a.em, &ref.em}, {&a.sets, &ref.sets}, {&a.imp, &ref.imp}})
    EXPECT_EQ(*got, std::vector<T>(want->begin(), want->end()));
  for (int64_t i = 0; i < d.n; i += 7)
    for (int64_t j = 0; j < d.p; ++j)
      if (std::isnan(d.at(i, j))) {
        EXPECT_EQ(a.imputed(2, i, j), b.imputed(2, i, j)) << i << "," << j;
      }
}

// ---- failures ------------------------------------------------------------------------------------
// A constant component, a component never observed, and n' = p observations (no proper
// posterior, nor a regular covariance) are refused with nothing written; p + 1 observations are
// enough.  EM alone with no iteration refuses the constant component before any factorisation
// could notice it.
TYPED_TEST(SSMissing, DegenerateData) {
  using T = TypeParam;
  Sample constant = make_sample(3, 100, 41), unseen = make_sample(3, 100, 42, 0.0);
  for (int64_t i = 0; i < 100; ++i) constant.x[i * 3 + 1] = 2.5, unseen.x[i * 3 + 2] = kNaN;
  unseen.nmiss = 100;
  const Sample f = make_sample(3, 3, 43, 0.0), g = make_sample(3, 4, 43, 0.0);
  for (auto [d, em_alone, code] : {std::tuple<const Sample*, bool, int>{&constant, false, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE},
                                   {&constant, true, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE},
                                   {&unseen, false, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE},
                                   {&f, false, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE}, {&g, false, 0}}) {
    Run<T> r(*d, em_alone ? 2 : 1, Config{});
    if (em_alone) r.prm[0] = 0, r.task.set(Slot::kSlotMissing8, nullptr);
    EXPECT_EQ(r.call(), code) << d->n << " " << em_alone;
    if (code) EXPECT_TRUE(r.nothing_written()) << d->n;
  }
}

// LAPACK: the code of the failing routine (potrf -5010, trtri -5011).  Allocation: the work
// block gives -4000; the private stream's block and the chunk its generator makes at the first
// draw give the stream's own -4.  Nothing written, the stream freed.
TYPED_TEST(SSMissing, LapackAndAllocationFailures) {
  using T = TypeParam;
  const Sample d = with_blanks(make_sample(2, 60, 51, 0.15), 50);
  Config cfg;
  cfg.em_limit = 3, cfg.da_iter = 1, cfg.m = 2;
  Run<T> r(d, 2, cfg);
  bool seen[2] = {false, false};
  const int k = walk_failures(zorp_core_fail_lapack, 1000, r.armed(), [&](int k, int code) {
    EXPECT_TRUE(code == TARR_SS_ERROR_NOT_POSITIVE_DEFINITE || code == TARR_SS_ERROR_INVERSION_FAILED) << k << " " << code;
    EXPECT_TRUE(r.nothing_written()) << k;
    seen[code == TARR_SS_ERROR_INVERSION_FAILED] = true;
  });
  EXPECT_TRUE(k > 10 && k < 1000) << k;
  EXPECT_TRUE(seen[0] && seen[1]);
  r.refill();
  const int j = walk_failures(zorp_core_fail_allocation, 20, r.armed(), [&](int k, int code) {
    EXPECT_EQ(code, k == 1 ? TARR_SS_ERROR_ALLOCATION : TARR_ERROR_NO_MEMORY) << k;
    EXPECT_TRUE(r.nothing_written()) << k;
  });
  EXPECT_TRUE(j >= 3 && j < 20) << j;
}

}  // namespace
