// Pooled and per-group covariance against per-group two-pass sums in long double (groups far
// apart, one far from zero), partial covariance and correlation against an explicit Schur
// complement in long double; every storage word, both layouts, weights, index arrays, threads,
// both precisions; the status codes in check order, LAPACK failures through the host core's
// fault hook, allocation failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "ss/task/task.h"
#include "ss/reference.h"
#include "ss/task_util.h"
#include "zorp/core.h"
#include "zorp/ss.h"

namespace {

using namespace zorp::test::ss;
constexpr int kU = TARR_SS_MATRIX_STORAGE_U_PACKED, kL = TARR_SS_MATRIX_STORAGE_L_PACKED;

// Relative accuracy asked of matrix entries (to sqrt(c_ii c_jj)); float results round to 6e-8.
template <typename T>
constexpr double kTol = sizeof(T) == 8 ? 1e-12 : 1e-6;

template <typename T>
class SSCovariance : public testing::Test {};
TYPED_TEST_SUITE(SSCovariance, Precisions);

// ---- pooled ----------------------------------------------------------------------------------
struct PooledCase {
  int layout;
  bool weighted, index;
  int fpool, fgroup;
  int64_t n;  // 100,000 splits the observations among threads
};
const PooledCase kPooled[] = {
    {1, false, false, 0, 0, 3000},    {2, true, false, kU, kL, 3000},  {1, true, true, kL, kU, 3000},
    {2, false, true, 0, kU, 100000},  {1, true, false, kU, 0, 100000},
};

TYPED_TEST(SSCovariance, PooledMatchesPerGroupTwoPassSums) {
  using T = TypeParam;
  const int64_t p = 4, g = 3;
  const double offset[g] = {1e6, -5e5, 3};  // groups far apart, one far from zero
  const int32_t idx[p] = {1, 1, 0, 1}, req[g] = {1, 0, 1};
  for (const PooledCase& c : kPooled) {
    const int64_t n = c.n;
    std::mt19937_64 gen(n + c.layout);
    std::normal_distribution<double> z;
    std::vector<int32_t> group(n);
    std::vector<T> x(n * p), w(n, T(1));
    for (int64_t i = 0; i < n; ++i) {
      group[i] = int32_t(gen() % 4) - 1;  // -1 leaves the observation out
      if (c.weighted) w[i] = T(std::uniform_real_distribution<double>(0, 2)(gen));
      const double common = z(gen), off = offset[group[i] < 0 ? 0 : group[i]];
      for (int64_t j = 0; j < p; ++j) x[c.layout == 1 ? j * n + i : i * p + j] = T(off + 0.6 * common + 0.8 * z(gen) + j);
    }
    // A weightless observation in a group is left out whatever it holds, a NaN here.
    const int64_t nil = std::find_if(group.begin(), group.end(), [](int32_t k) { return k >= 0; }) - group.begin();
    if (c.weighted) w[nil] = T(0), x[c.layout == 1 ? nil : nil * p] = T(NAN);
    auto xv = [&](int64_t i, int64_t j) -> long double { return w[i] == T(0) ? 0 : x[c.layout == 1 ? j * n + i : i * p + j]; };
    // Two passes per group: the reference of its observations alone (every other weight 0).
    std::vector<Reference> ref;
    for (int64_t k = 0; k < g; ++k) {
      std::vector<double> wk(n);
      for (int64_t i = 0; i < n; ++i) wk[i] = group[i] == k ? double(w[i]) : 0.0;
      ref.push_back(reference(n, p, xv, wk.data()));
    }

    std::vector<T> pmean(p, T(kSentinel)), pcov(p * p, T(kSentinel)), gmeans(2 * p, T(kSentinel)),
        gcovs(2 * p * p, T(kSentinel));
    Task<T> t(int32_t(p), int32_t(n), c.layout, x.data(), c.weighted ? w.data() : nullptr, c.index ? idx : nullptr);
    t.edit({{TARR_SS_PARAM_GROUP_INDICES, group.data()}, {TARR_SS_PARAM_REQ_GROUPS, req},
            {TARR_SS_PARAM_POOLED_MEAN, pmean.data()}, {TARR_SS_PARAM_POOLED_COV, pcov.data()},
            {TARR_SS_PARAM_POOLED_COV_STORAGE, &c.fpool}, {TARR_SS_PARAM_GROUP_MEANS, gmeans.data()},
            {TARR_SS_PARAM_GROUP_COVS, gcovs.data()}, {TARR_SS_PARAM_GROUP_COVS_STORAGE, &c.fgroup}});
    ASSERT_EQ(Fn<T>::pooled(t.t, TARR_SS_POOLED_COV | TARR_SS_POOLED_MEAN | TARR_SS_GROUP_COV | TARR_SS_GROUP_MEAN,
                            TARR_SS_METHOD_POOLED), 0);

    const double tol = kTol<T>, ulps = 4 * std::numeric_limits<T>::epsilon();
    long double Wall = 0, Ball = 0, Sall[p] = {};
    for (int64_t k = 0; k < g; ++k) {
      Wall += ref[k].W, Ball += ref[k].B();
      for (int64_t j = 0; j < p; ++j) Sall[j] += ref[k].W * ref[k].mean[j];
    }
    const std::string what = "layout " + std::to_string(c.layout) + " n=" + std::to_string(n);
    for (int64_t a = 0; a < p; ++a) {
      if (c.index && !idx[a]) {
        EXPECT_EQ(pmean[a], T(kSentinel));
        EXPECT_EQ(pcov[at(a, a, p, c.fpool)], T(kSentinel));
        continue;
      }
      const long double m = Sall[a] / Wall;
      // The mixture of means 1e6 apart is as good as its largest term: a few ulps of 1e6.
      EXPECT_NEAR(double(pmean[a]), double(m), 2 * ulps * 1e6) << what;
      for (int64_t b = 0; b < p; ++b) {
        if (c.index && !idx[b]) continue;
        long double pc = 0, pa = 0, pb = 0;
        for (int64_t k = 0; k < g; ++k) pc += ref[k].cp[a + b * p], pa += ref[k].cp[a + a * p], pb += ref[k].cp[b + b * p];
        EXPECT_LT(std::fabs(pcov[at(a, b, p, c.fpool)] - pc / Ball) / (std::sqrt(pa * pb) / Ball), tol) << what;
        for (int64_t out = 0, k = 0; k < g; ++k) {
          if (!req[k]) continue;
          const long double got = gcovs[out * (c.fgroup ? p * (p + 1) / 2 : p * p) + at(a, b, p, c.fgroup)];
          EXPECT_LT(std::fabs(got - ref[k].cov(a, b)) / std::sqrt(ref[k].cov(a, a) * ref[k].cov(b, b)), tol) << what << " group " << k;
          const double m = double(ref[k].mean[a]);
          if (a == b) EXPECT_NEAR(double(gmeans[out * p + a]), m, ulps * std::fabs(m) + tol);
          ++out;
        }
      }
    }
    if (c.fpool) EXPECT_EQ(pcov[p * (p + 1) / 2], T(kSentinel));  // nothing past the triangle
  }
}

// ---- partial -----------------------------------------------------------------------------------
struct PartialCase {
  std::vector<int> roles;
  bool from_correlation;
  int fin, fcov, fcor;
};

TYPED_TEST(SSCovariance, PartialMatchesSchurComplement) {
  using T = TypeParam;
  const int64_t p = 6;
  std::mt19937_64 gen(3);
  std::normal_distribution<double> z;
  std::vector<double> f(p * p);
  for (auto& v : f) v = z(gen);
  std::vector<long double> cov(p * p), cor(p * p);  // F F^T + I/2
  for (int64_t a = 0; a < p; ++a)
    for (int64_t b = 0; b < p; ++b) {
      long double s = a == b ? 0.5L : 0.0L;
      for (int64_t k = 0; k < p; ++k) s += (long double)f[a + k * p] * f[b + k * p];
      cov[a + b * p] = T(s);  // the reference starts from the values the routine is given
    }
  for (int64_t a = 0; a < p; ++a)
    for (int64_t b = 0; b < p; ++b) cor[a + b * p] = T(cov[a + b * p] / std::sqrt(cov[a + a * p] * cov[b + b * p]));
  const PartialCase cases[] = {
      {{1, -1, 1, 0, -1, 1}, false, 0, 0, 0},  {{1, -1, 1, 0, -1, 1}, true, kU, kL, kU},
      {{-1, 1, 1, -1, -1, 1}, false, kL, kU, 0}, {{1, 1, 0, 1, 1, 1}, false, kU, 0, kL},  // Z empty: Cyy
      {{-1, -1, -1, -1, -1, 2}, true, 0, kL, kL},
  };
  for (const PartialCase& c : cases) {
    const std::vector<long double>& in = c.from_correlation ? cor : cov;
    std::vector<T> given(p * p, T(kSentinel));
    for (int64_t a = 0; a < p; ++a)
      for (int64_t b = 0; b < p; ++b) given[at(a, b, p, c.fin)] = T(in[a + b * p]);
    std::vector<int64_t> ys, zs;
    for (int64_t j = 0; j < p; ++j)
      if (c.roles[j]) (c.roles[j] > 0 ? ys : zs).push_back(j);
    const int64_t ny = int64_t(ys.size());
    std::vector<T> pcov(ny * ny + 1, T(kSentinel)), pcor(ny * ny + 1, T(kSentinel));
    const std::vector<int32_t> roles(c.roles.begin(), c.roles.end());
    const std::vector<T> x(p, T(0));
    Task<T> t(int32_t(p), 1, 1, x.data());
    t.edit(c.from_correlation ? TARR_SS_PARAM_COR : TARR_SS_PARAM_COV, given.data());
    t.edit(c.from_correlation ? TARR_SS_PARAM_COR_STORAGE : TARR_SS_PARAM_COV_STORAGE, &c.fin);
    t.edit({{TARR_SS_PARAM_PARTIAL_INDICES, roles.data()}, {TARR_SS_PARAM_PARTIAL_COV, pcov.data()},
            {TARR_SS_PARAM_PARTIAL_COV_STORAGE, &c.fcov}, {TARR_SS_PARAM_PARTIAL_COR, pcor.data()},
            {TARR_SS_PARAM_PARTIAL_COR_STORAGE, &c.fcor}});
    ASSERT_EQ(Fn<T>::partial(t.t, TARR_SS_PARTIAL_COV | TARR_SS_PARTIAL_COR, TARR_SS_METHOD_PARTIAL), 0);
    // Y | Z: the Schur complement Cyy - Cyz Czz^-1 Czy in long double.
    std::vector<long double> beta, s;
    regress(in, p, zs, ys, beta, s);
    // float: Czz^-1 in float loses about its condition number (below 1e3 here) times 6e-8.
    const double tol = sizeof(T) == 8 ? kTol<T> : 1e-4;
    for (int64_t a = 0; a < ny; ++a)
      for (int64_t b = 0; b < ny; ++b) {
        const long double scale = std::sqrt(s[a + a * ny] * s[b + b * ny]);
        EXPECT_LT(std::fabs(pcov[at(a, b, ny, c.fcov)] - s[a + b * ny]) / scale, tol) << a << "," << b;
        EXPECT_LT(std::fabs(pcor[at(a, b, ny, c.fcor)] - s[a + b * ny] / scale), tol) << a << "," << b;
      }
    EXPECT_EQ(pcov[ny * ny], T(kSentinel));
    if (c.fcov) EXPECT_EQ(pcov[ny * (ny + 1) / 2], T(kSentinel));
  }
}

// ---- status codes ---------------------------------------------------------------------------

TYPED_TEST(SSCovariance, PooledChecksInOrder) {
  using T = TypeParam;
  const int64_t p = 2, n = 8;
  const std::vector<T> x = {1, 2, 3, 4, 5, 6, 7, 9, 1, 1, 2, 3, 5, 8, 13, 21};
  const int32_t group[n] = {0, 1, 0, 1, 0, 1, 0, 1}, req[2] = {1, 1}, full = 0, bad = 0x5,
                good = TARR_SS_MATRIX_STORAGE_1;
  std::vector<T> pmean(p, T(kSentinel)), pcov(p * p, T(kSentinel)), gmeans(2 * p, T(kSentinel)),
      gcovs(2 * p * p, T(kSentinel));
  const int64_t live = zorp_core_live_allocations();
  Task<T> t(int32_t(p), int32_t(n), 1, x.data());
  uint32_t method = 0;
  auto call = [&] {
    return Fn<T>::pooled(t.t, TARR_SS_POOLED_COV | TARR_SS_POOLED_MEAN | TARR_SS_GROUP_COV | TARR_SS_GROUP_MEAN, method);
  };
  auto all_untouched = [&] {
    return untouched(pmean) && untouched(pcov) && untouched(gmeans) && untouched(gcovs) &&
           zorp_core_live_allocations() == live + 1;
  };
  t.set(zorp::ss::kSlotStorage, &bad);
  climb(call,
        {{TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotStorage, &good); }},
         {TARR_SS_ERROR_NULL_GROUP_INDICES, [&] { t.edit(TARR_SS_PARAM_GROUP_INDICES, group); }},
         {TARR_SS_ERROR_NULL_POOLED_MEAN, [&] { t.edit(TARR_SS_PARAM_POOLED_MEAN, pmean.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_POOLED_COV_STORAGE, &full); }},
         {TARR_SS_ERROR_NULL_POOLED_COV, [&] { t.edit(TARR_SS_PARAM_POOLED_COV, pcov.data()); }},
         {TARR_SS_ERROR_NULL_GROUP_INDICES, [&] { t.edit(TARR_SS_PARAM_REQ_GROUPS, req); }},
         {TARR_SS_ERROR_NULL_GROUP_MEANS, [&] { t.edit(TARR_SS_PARAM_GROUP_MEANS, gmeans.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_GROUP_COVS_STORAGE, &full); }},
         {TARR_SS_ERROR_NULL_GROUP_COVS, [&] { t.edit(TARR_SS_PARAM_GROUP_COVS, gcovs.data()); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_POOLED, zorp_core_fail_allocation(1); }},
         {TARR_SS_ERROR_ALLOCATION, nullptr},
         {0, nullptr}},
        all_untouched);
  // Group 0: 1, 3, 5, 7 and 1, 2, 5, 13; group 1: 2, 4, 6, 9 and 1, 3, 8, 21.
  EXPECT_EQ(gmeans[0], T(4));
  EXPECT_EQ(gmeans[1], T(5.25));
  EXPECT_EQ(pmean[0], T(37.0 / 8));
}

TYPED_TEST(SSCovariance, PartialChecksInOrder) {
  using T = TypeParam;
  const int64_t p = 3;
  // Components 1 and 2 are one variable twice: conditioning on both is singular.
  const std::vector<T> cov = {2, 1, 1, 1, 1, 1, 1, 1, 1}, x(p, T(0));
  const int32_t full = 0, zero = 0, three = 3, fine[p] = {1, -1, 0}, singular[p] = {1, -1, -1};
  std::vector<T> pcov(4, T(kSentinel)), pcor(4, T(kSentinel));
  const int64_t live = zorp_core_live_allocations();
  Task<T> t(int32_t(p), 1, 1, x.data());
  uint32_t method = 0;
  auto call = [&] { return Fn<T>::partial(t.t, TARR_SS_PARTIAL_COV | TARR_SS_PARTIAL_COR, method); };
  auto both_untouched = [&] { return untouched(pcov) && untouched(pcor) && zorp_core_live_allocations() == live + 1; };
  climb(call,
        {{TARR_SS_ERROR_NULL_COV, [&] { t.edit(TARR_SS_PARAM_COV, cov.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_COV_STORAGE, &full); }},
         {TARR_SS_ERROR_NULL_PARTIAL_INDICES, [&] { t.edit(TARR_SS_PARAM_PARTIAL_INDICES, singular); }},
         {TARR_SS_ERROR_NULL_PARTIAL_COV, [&] { t.edit(TARR_SS_PARAM_PARTIAL_COV, pcov.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_PARTIAL_COV_STORAGE, &full); }},
         {TARR_SS_ERROR_NULL_PARTIAL_COR, [&] { t.edit(TARR_SS_PARAM_PARTIAL_COR, pcor.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_PARTIAL_COR_STORAGE, &full); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_PARTIAL, t.set(zorp::ss::kSlotP, &zero); }},
         {TARR_SS_ERROR_PARTIAL_BAD_DIMENSION, [&] { t.set(zorp::ss::kSlotP, &three); }},
         // A factor accepted never makes the inversion fail: both failures through the host's hook.
         {TARR_SS_ERROR_NOT_POSITIVE_DEFINITE, [&] { t.edit(TARR_SS_PARAM_PARTIAL_INDICES, fine), zorp_core_fail_lapack(1); }},
         {TARR_SS_ERROR_NOT_POSITIVE_DEFINITE, [&] { zorp_core_fail_lapack(2); }},
         {TARR_SS_ERROR_INVERSION_FAILED, [&] { zorp_core_fail_allocation(1); }},
         {TARR_SS_ERROR_ALLOCATION, nullptr},
         {0, nullptr}},
        both_untouched);
  EXPECT_EQ(pcov[0], T(1));  // 2 - 1 * 1 * 1
}

}  // namespace
