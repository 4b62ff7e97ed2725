// Statistics and data-fitting tasks through the interface against the raw exports: the same data
// through the exports, the C entries and a C++ task object (moved once before use, so that the
// record must find its integer items and coefficients where the move left them) must give the
// same bits. Each way's results start from a different fill, so equal results were all written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "api/fixture.h"
#include "zorp/zorp.hpp"

namespace {

using apitest::same;

// Everything one way computes.
template <class T>
struct Results {
  std::vector<T> mean, raw2, variance, cov, quantiles, lo, hi, weights;
  Results(size_t p, size_t q, T fill)
      : mean(p, fill), raw2(p, fill), variance(p, fill), cov(p * (p + 1) / 2, fill), quantiles(p * q, fill), lo(p, fill),
        hi(p, fill), weights(2, T(0)) {}  // accumulated weights start at none: they carry over between calls
  bool operator==(const Results& o) const {
    return same(mean, o.mean) && same(raw2, o.raw2) && same(variance, o.variance) && same(cov, o.cov) && same(quantiles, o.quantiles) &&
           same(lo, o.lo) && same(hi, o.hi) && same(weights, o.weights);
  }
};

// The raw export (prefix p) or the C entry of one element type T.
#define RAW(p, F) apitest::pick<T>(p##d##F, p##s##F)
#define ZC(f, F) apitest::pick<T>(zorp_##f##d##F, zorp_##f##s##F)

constexpr uint64_t kMoments = TARR_SS_MEAN | TARR_SS_RAW_MOMENT_2 | TARR_SS_CENTRAL_MOMENT_2 | TARR_SS_COV;

template <class T>
void statistics_round_trip() {
  const int64_t p = 3, n = 500, q = 3, layout = TARR_SS_MATRIX_STORAGE_2, packed = TARR_SS_MATRIX_STORAGE_U_PACKED;
  std::vector<T> x(p * n), w(n);
  for (int64_t i = 0; i < n; ++i) {  // far from 0, so the shift matters; components correlated
    for (int64_t j = 0; j < p; ++j) x[i * p + j] = T(1000 + std::sin(0.37 * i) * (j + 1) + std::cos(1.3 * i * j));
    w[i] = T(1 + i % 3);  // uneven weights, so that a way that lost them shows
  }
  const std::vector<T> orders = {T(0.1), T(0.5), T(0.9)};
  Results<T> raw(p, q, T(-1)), c(p, q, T(-2)), cxx(p, q, T(-3));
  // The same calls through the raw exports and through the C entries.
  auto by = [&](Results<T>& r, auto make, auto edit, auto iedit, auto run, auto remove) {
    TarrSSTask* t = nullptr;
    ASSERT_EQ(make(&t, &p, &n, &layout, x.data(), w.data(), nullptr, 1), 0);
    // Raw moment 2 as well: the variance is made from it.
    for (auto [param, v] : {std::pair<int, const T*>{TARR_SS_PARAM_MEAN, r.mean.data()}, {TARR_SS_PARAM_RAW_MOMENT_2, r.raw2.data()},
                            {TARR_SS_PARAM_CENTRAL_MOMENT_2, r.variance.data()}, {TARR_SS_PARAM_COV, r.cov.data()},
                            {TARR_SS_PARAM_QUANT_ORDERS, orders.data()}, {TARR_SS_PARAM_QUANTILES, r.quantiles.data()},
                            {TARR_SS_PARAM_EXTREME_LOW, r.lo.data()}, {TARR_SS_PARAM_EXTREME_HIGH, r.hi.data()},
                            {TARR_SS_PARAM_ACCUM_WEIGHTS, r.weights.data()}})
      EXPECT_EQ(edit(t, param, v), 0) << param;
    EXPECT_EQ(iedit(t, TARR_SS_PARAM_COV_STORAGE, &packed), 0);
    EXPECT_EQ(iedit(t, TARR_SS_PARAM_QUANT_COUNT, &q), 0);
    EXPECT_EQ(run(t, kMoments, TARR_SS_METHOD_1PASS, RAW(_tarr, SSBasic)), 0);
    EXPECT_EQ(run(t, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES, RAW(_tarr, SSQuantiles)), 0);
    EXPECT_EQ(run(t, TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_NEW, RAW(_tarr, SSMinmax)), 0);
    EXPECT_EQ(remove(&t), 0);
    EXPECT_EQ(t, nullptr);
  };
  by(raw, RAW(__tarr, SSNewTask), RAW(__tarr, SSEditTask), __tarriSSEditTask,
     [](TarrSSTask* t, uint64_t e, uint32_t m, auto routine) { return routine(t, e, m); }, __tarrSSDeleteTask);
  by(c, ZC(ss_, new_task), ZC(ss_, edit), zorp_ss_iedit,
     [](TarrSSTask* t, uint64_t e, uint32_t m, auto) { return ZC(ss_, compute)(t, e, m); }, zorp_ss_delete_task);

  zorp::ss::task<T> first(x, p, n, zorp::ss::layout::by_observation);
  first.weights(w);
  first.edit(TARR_SS_PARAM_ACCUM_WEIGHTS, cxx.weights);
  first.mean(cxx.mean);
  first.edit(TARR_SS_PARAM_RAW_MOMENT_2, cxx.raw2);
  first.variance(cxx.variance);
  first.covariance(cxx.cov, zorp::ss::matrix::upper_packed);
  first.quantiles(orders, cxx.quantiles);
  zorp::ss::task<T> task = std::move(first);
  EXPECT_FALSE(first);
  task.minimum(cxx.lo);
  task.maximum(cxx.hi);
  task.compute(kMoments, TARR_SS_METHOD_1PASS);
  task.compute(TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES);
  task.compute(TARR_SS_MIN | TARR_SS_MAX, TARR_SS_METHOD_MINMAX_NEW);

  EXPECT_TRUE(raw == c) << "C entries";
  EXPECT_TRUE(raw == cxx) << "C++ task";
  // And the answers are answers: the first component's weighted mean, from the data.
  double sum = 0, total = 0;
  for (int64_t i = 0; i < n; ++i) sum += w[i] * x[i * p], total += w[i];
  EXPECT_NEAR(raw.mean[0], sum / total, (std::is_same_v<T, double> ? 1e-9 : 1e-3));
  EXPECT_LE(raw.lo[0], raw.quantiles[0]);
}

TEST(StatisticsRoundTrip, Double) { statistics_round_trip<double>(); }
TEST(StatisticsRoundTrip, Float) { statistics_round_trip<float>(); }

// ---- data fitting ------------------------------------------------------------------------------------

template <class T>
struct Fit {
  std::vector<T> coeff, values, integrals;
  std::vector<int64_t> cells;
  Fit(size_t nc, size_t nv, size_t ni, size_t ns, T fill)
      : coeff(nc, fill), values(nv, fill), integrals(ni, fill), cells(ns, int64_t(fill)) {}
  bool operator==(const Fit& o) const {
    return same(coeff, o.coeff) && same(values, o.values) && same(integrals, o.integrals) && cells == o.cells;
  }
};

template <class T>
void fitting_round_trip() {
  constexpr bool dbl = std::is_same_v<T, double>;
  const int64_t nx = 20, ny = 2, order = DF_PP_CUBIC, type = DF_PP_NATURAL;
  const int64_t bc_type = DF_BC_1ST_LEFT_DER | DF_BC_1ST_RIGHT_DER;
  std::vector<T> x(nx), y(ny * nx);
  for (int64_t i = 0; i < nx; ++i) x[i] = T(0.3 * i + 0.01 * i * i);  // not uniform
  for (int64_t i = 0; i < nx; ++i) y[i] = std::sin(x[i]), y[nx + i] = std::cos(x[i]);
  const std::vector<T> bc = {T(1), T(std::cos(x[nx - 1]))};
  std::vector<T> sites(40), llim(10), rlim(10);
  for (size_t j = 0; j < sites.size(); ++j) sites[j] = T(-0.2 + 0.25 * j);  // both sides of the partition
  for (size_t j = 0; j < llim.size(); ++j) llim[j] = T(0.5 * j), rlim[j] = T(9 - 0.7 * j);
  const std::vector<int32_t> dorder = {1, 1};  // values and first derivatives
  const size_t nc = ny * (nx - 1) * order, nv = sites.size() * ny * 2, ni = llim.size() * ny;
  Fit<T> raw(nc, nv, ni, sites.size(), T(-1)), c(nc, nv, ni, sites.size(), T(-2)), cxx(0, nv, ni, sites.size(), T(-3));

  const int64_t ns = static_cast<int64_t>(sites.size()), nl = static_cast<int64_t>(llim.size());
  DFTask* t = nullptr;
  ASSERT_EQ(RAW(zorp_df_kernel_, NewTask1D)(&t, nx, x.data(), DF_NON_UNIFORM_PARTITION, ny, y.data(), DF_MATRIX_STORAGE_ROWS, 1), 0);
  EXPECT_EQ(RAW(zorp_df_kernel_, EditPPSpline1D)(t, order, type, bc_type, bc.data(), 0, nullptr, raw.coeff.data(), 0), 0);
  EXPECT_EQ(RAW(zorp_df_kernel_, DFNaturalCubicSpline1D)(t, 0, 0, nullptr), 0);
  EXPECT_EQ(RAW(zorp_df_kernel_, DFInterpolate1D)(t, DF_INTERP, 0, ns, sites.data(), 0, 2, dorder.data(), nullptr, raw.values.data(), 0,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(RAW(zorp_df_kernel_, DFIntegrate1D)(t, 0, nl, llim.data(), 0, rlim.data(), 0, nullptr, nullptr, raw.integrals.data(), 0,
                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(RAW(zorp_df_kernel_, DFSearch1D)(t, 0, ns, sites.data(), 0, nullptr, raw.cells.data(), nullptr, nullptr, nullptr), 0);
  zorp_df_kernel_DeleteTask(&t);

  ASSERT_EQ(ZC(df_, new_task)(&t, nx, x.data(), DF_NON_UNIFORM_PARTITION, ny, y.data(), DF_MATRIX_STORAGE_ROWS, 1), 0);
  EXPECT_EQ(ZC(df_, edit_spline)(t, order, type, bc_type, bc.data(), 0, nullptr, c.coeff.data(), 0), 0);
  EXPECT_EQ(ZC(df_, construct)(t), 0);
  EXPECT_EQ(ZC(df_, interpolate)(t, DF_INTERP, ns, sites.data(), 0, 2, dorder.data(), c.values.data(), 0, nullptr), 0);
  EXPECT_EQ(ZC(df_, integrate)(t, nl, llim.data(), 0, rlim.data(), 0, c.integrals.data(), 0), 0);
  EXPECT_EQ(ZC(df_, search)(t, ns, sites.data(), 0, c.cells.data()), 0);
  EXPECT_EQ(zorp_df_delete_task(&t), 0);

  zorp::df::task<T> first(x, y);
  {
    const std::vector<T> conditions = bc;  // the task keeps its own copy
    first.spline(order, type, bc_type, conditions);
  }
  zorp::df::task<T> task = std::move(first);
  task.construct();
  task.interpolate(sites, cxx.values, dorder);
  task.integrate(llim, rlim, cxx.integrals);
  task.search(sites, cxx.cells);
  cxx.coeff.assign(task.coefficients().begin(), task.coefficients().end());

  EXPECT_TRUE(raw == c) << "C entries";
  EXPECT_TRUE(raw == cxx) << "C++ task";
  // And the answers are answers: sin between the knots, its slope, and cell 1 for the site 0.05.
  EXPECT_NEAR(raw.values[4 * 2 * ny], std::sin(sites[4]), dbl ? 1e-3 : 2e-3);
  EXPECT_NEAR(raw.values[4 * 2 * ny + 1], std::cos(sites[4]), dbl ? 1e-2 : 2e-2);
  EXPECT_EQ(raw.cells[1], 1);
}

TEST(FittingRoundTrip, Double) { fitting_round_trip<double>(); }
TEST(FittingRoundTrip, Float) { fitting_round_trip<float>(); }

}  // namespace
