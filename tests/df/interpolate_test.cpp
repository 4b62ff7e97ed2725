// Interpolation: every constructed kind against the polynomial it reproduces (value, first and
// second derivative, inside and beyond the partition); the order-0 kinds by their rules; every
// result arrangement as a permutation of one; cells equal to the search's; callbacks; every code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "zorp/core.h"
#include "df/spline_task.h"
#include "zorp/df.h"

namespace {

using zorp::test::df::grid;
using zorp::test::df::poly;

template <typename T>
struct Spline : zorp::test::df::SplineTask<T> {
  using zorp::test::df::SplineTask<T>::SplineTask;
  int interp(int64_t type, int64_t ns, const T* s, int64_t sitehint, std::vector<int32_t> d, T* r, int64_t rhint,
             void* cell, void** thr = nullptr, void* le = nullptr, void* re = nullptr, void* in = nullptr,
             const T* dh = nullptr, void* params = nullptr) {  // params: the end callbacks'
    using Cb = typename zorp::test::df::Entries<T>::InterpCb;
    return zorp::test::df::Entries<T>::interpolate(this->t, type, 0, ns, s, sitehint, static_cast<int64_t>(d.size()),
                                                   d.data(), dh, r, rhint, cell, reinterpret_cast<Cb>(le), params,
                                                   reinterpret_cast<Cb>(re), params, reinterpret_cast<Cb>(in), nullptr,
                                                   nullptr, nullptr, thr);
  }
};

// Sites inside (random), at the points, at both ends and beyond them.
template <typename T>
std::vector<T> sites_for(const std::vector<T>& x, int n) {
  std::vector<T> s;
  const double a = x.front(), b = x.back();
  for (int j = 0; j < n; ++j) s.push_back(static_cast<T>(a + (b - a) * std::fmod(0.618034 * j, 1.0)));
  for (size_t i = 0; i < x.size(); i += 3) s.push_back(x[i]);
  s.push_back(x.back());
  s.push_back(static_cast<T>(a - 0.3));
  s.push_back(static_cast<T>(b + 0.4));
  return s;
}

// first + j*step rounded twice, as the library forms uniform sites (the tests are built with
// contraction into fused multiply-adds, the library without).
template <typename T>
__attribute__((optimize("fp-contract=off"))) T unfused_site(T first, T step, int j) {
  return first + static_cast<T>(j) * step;
}

template <typename T> double tol() { return sizeof(T) == 8 ? 1e-10 : 2e-3; }

template <typename T> class Interp : public ::testing::Test {};
using Types = ::testing::Types<float, double>;
TYPED_TEST_SUITE(Interp, Types);

// Each kind reproduces a polynomial of its degree: values and derivatives 0..3 at every site,
// beyond the partition too (the end polynomials continue), on uneven and uniform partitions,
// with 32-row arrangement (by function), and the cells equal the search's.
TYPED_TEST(Interp, KindsReproduceTheirPolynomials) {
  using T = TypeParam;
  struct Row { int64_t order, type, bct; std::vector<double> p; int64_t ict, ny; };
  const std::vector<double> cub = {0.5, -1, 0.75, 0.25}, quad = {1, -2, 0.5}, lin = {2, -0.5};
  const std::vector<double> six = {0.1, 0.2, -0.3, 0.1, 0.05, -0.02};
  // The default quadratic's one midpoint value serves one function.
  const Row rows[] = {{2, 0, 0, lin, 0, 2},         {3, 0, DF_BC_Q_VAL, quad, 0, 1},        {3, 1, 12, quad, 8, 2},
                      {4, DF_PP_NATURAL, 12, cub, 0, 2}, {4, DF_PP_NATURAL, 1, cub, 0, 2}, {4, DF_PP_AKIMA, 0, lin, 0, 2},
                      {6, 0, 0, six, 0, 2}};
  for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)})
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << "order " << row.order << " type " << row.type << " xhint " << xhint);
      Spline<T> sp(grid<T>(23, xhint == 1), row.ny, [&](int64_t f, double x) { return poly(row.p, 0, x) + f; }, xhint);
      const int64_t ny = row.ny;
      const double a = sp.x.front(), b = sp.x.back();
      std::vector<T> bc = {T(poly(row.p, 1, a)), T(poly(row.p, 1, b))};
      if (row.bct == DF_BC_Q_VAL) bc = {T(poly(row.p, 0, 0.5 * (sp.x[0] + sp.x[1]))), 0};
      ASSERT_EQ(sp.build(row.order, row.type, row.bct, bc, row.ict), 0);
      if (row.order == 6) {  // the general kind: blocks of the polynomial itself, written here
        for (int64_t f = 0; f < 2; ++f)
          for (int64_t i = 0; i + 1 < sp.nx; ++i)
            for (int k = 0; k < 6; ++k) {
              double fk = 1;
              for (int q = 1; q <= k; ++q) fk *= q;
              sp.c[(f * (sp.nx - 1) + i) * 6 + k] = T(poly(row.p, k, sp.x[i]) / fk + (k == 0 ? f : 0));
            }
      }
      const std::vector<T> s = sites_for(sp.x, 50);
      const int64_t ns = static_cast<int64_t>(s.size());
      std::vector<T> r(ns * ny * 4, T(-7));
      std::vector<int32_t> cells(ns, -9);
      ASSERT_EQ(sp.interp(DF_INTERP | DF_CELL, ns, s.data(), 0, {1, 1, 1, 1}, r.data(), DF_RHINT_FUNC_SITE_DER, cells.data()), 0);
      std::vector<int32_t> want(ns);
      ASSERT_EQ(zorp::test::df::Entries<T>::search(sp.t, 0, ns, s.data(), 0, nullptr, want.data(), nullptr, nullptr, nullptr), 0);
      EXPECT_EQ(cells, want);
      const int degree = static_cast<int>(row.p.size()) - 1;
      for (int64_t f = 0; f < ny; ++f)
        for (int64_t j = 0; j < ns; ++j)
          for (int k = 0; k < 4; ++k) {
            const double w = poly(row.p, k, s[j]) + (k == 0 ? f : 0);
            const double scale = std::pow(10.0, k);
            ASSERT_NEAR(r[(f * ns + j) * 4 + k], k > degree ? 0.0 : w, tol<T>() * scale * (1 + std::fabs(w)))
                << "f " << f << " site " << s[j] << " order " << k;
          }
    }
}

// Arbitrary data: every arrangement holds the same numbers as the site-major one (rhint 0 too),
// uniform sites equal the sites written out, given cells equal found ones.  (How a block is
// evaluated is pinned above, by every kind's polynomial and its derivatives.)  (The single-site path and threaded blocks giving
// the bits of the calling thread's blocks are pinned by the data-fitting digest.)
TYPED_TEST(Interp, ArrangementsPathsAndThreadsAgree) {
  using T = TypeParam;
  auto wave = [](int64_t f, double x) { return std::sin(3 * x + f) + 0.2 * std::cos(11 * x); };
  Spline<T> sp(grid<T>(400), 3, wave);
  ASSERT_EQ(sp.build(4, DF_PP_NATURAL, DF_BC_FREE_END), 0);
  const int64_t ns = 20000, nd = 3;
  std::vector<T> s(ns);
  for (int64_t j = 0; j < ns; ++j) s[j] = static_cast<T>(-1.2 + 3.4 * std::fmod(0.7548776662 * j, 1.0));
  const std::vector<int32_t> d = {1, 0, 1, 1};  // value, second and third derivative
  auto run = [&](int64_t rhint, void** thr) {
    std::vector<T> r(ns * 3 * nd, T(-7));
    EXPECT_EQ(sp.interp(DF_INTERP, ns, s.data(), 0, d, r.data(), rhint, nullptr, thr), 0);
    return r;
  };
  const std::vector<T> base = run(DF_RHINT_SITE_FUNC_DER, nullptr);
  EXPECT_EQ(run(0, nullptr), base);
  for (int64_t rh : {32, 128, 256, 512}) {
    const std::vector<T> r = run(rh, nullptr);
    for (int64_t j = 0; j < ns; j += 7)
      for (int64_t f = 0; f < 3; ++f)
        for (int64_t k = 0; k < nd; ++k) {
          const int64_t at = rh == 32 ? (f * ns + j) * nd + k : rh == 128 ? (f * nd + k) * ns + j
                           : rh == 256 ? (k * 3 + f) * ns + j : (k * ns + j) * 3 + f;
          ASSERT_EQ(r[at], base[(j * 3 + f) * nd + k]) << rh;
        }
  }
  // Order 4 with type 1 has no kind.
  ASSERT_EQ(zorp_df_kernel_iEditVal(sp.t, DF_ATTR_SPLINE_TYPE, DF_PP_QUADRATIC_KNOTS), 0);
  std::vector<T> none(3);
  EXPECT_EQ(sp.interp(DF_INTERP, 1, s.data(), 0, {1}, none.data(), 0, nullptr), DF_ERROR_BAD_SPLINE_TYPE);
  // Uniform sites, and the cells handed back in (one function: its own evaluation path).
  Spline<T> one(grid<T>(400), 1, wave);
  ASSERT_EQ(one.build(4, DF_PP_NATURAL, DF_BC_FREE_END), 0);
  const T ends[2] = {T(-1.5), T(2.5)};
  std::vector<T> us(101), ru(101), rw(101);
  for (int j = 0; j <= 100; ++j) us[j] = unfused_site(ends[0], (ends[1] - ends[0]) / T(100), j);
  std::vector<int32_t> cells(101);
  ASSERT_EQ(one.interp(DF_INTERP, 101, ends, DF_UNIFORM_SITES, {1}, ru.data(), 0, nullptr), 0);
  ASSERT_EQ(one.interp(DF_INTERP | DF_CELL, 101, us.data(), 0, {1}, rw.data(), 0, cells.data()), 0);
  EXPECT_EQ(ru, rw);
  std::fill(rw.begin(), rw.end(), T(-7));
  ASSERT_EQ(one.interp(DF_CELL_GIVEN | DF_INTERP, 101, us.data(), 0, {1}, rw.data(), 0, cells.data()), 0);
  EXPECT_EQ(ru, rw);
}

// Order-0 kinds read y: look-up only at points (else -1022), step functions by their rules,
// continuous from the right and from the left, and their constants beyond the partition.
TYPED_TEST(Interp, OrderZeroKinds) {
  using T = TypeParam;
  for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)}) {
    Spline<T> sp({0, 1, 2, 3, 4}, 1, [](int64_t, double x) { return 10 + x * x; }, xhint);
    const std::vector<T> s = {T(-1), 0, T(0.5), 1, T(2.5), 4, 5};
    std::vector<T> r(s.size());
    ASSERT_EQ(sp.build(0, DF_PP_STEP_RIGHT, 0), 0);
    ASSERT_EQ(sp.interp(DF_INTERP, 7, s.data(), 0, {1}, r.data(), 0, nullptr), 0);
    EXPECT_EQ(r, (std::vector<T>{10, 10, 10, 11, 14, 26, 26}));
    ASSERT_EQ(sp.build(0, DF_PP_STEP_LEFT, 0), 0);
    ASSERT_EQ(sp.interp(DF_INTERP, 7, s.data(), 0, {1}, r.data(), 0, nullptr), 0);
    EXPECT_EQ(r, (std::vector<T>{10, 10, 11, 11, 19, 26, 26}));
    EXPECT_EQ(sp.interp(DF_INTERP, 7, s.data(), 0, {0, 1}, r.data(), 0, nullptr), DF_ERROR_BAD_DORDER);
    ASSERT_EQ(sp.build(0, DF_PP_LOOKUP, 0), 0);
    const std::vector<T> hits = {0, 1, 4, T(3 + (xhint == 1 ? 0 : sizeof(T) == 4 ? 1e-4 : 1e-13))};
    ASSERT_EQ(sp.interp(DF_INTERP, 4, hits.data(), 0, {1}, r.data(), 0, nullptr), 0);
    EXPECT_EQ(r[0], 10);
    EXPECT_EQ(r[2], 26);
    EXPECT_EQ(r[3], 19);
    for (T miss : {T(0.5), T(-1), T(4.5)}) EXPECT_EQ(sp.interp(DF_INTERP, 1, &miss, 0, {1}, r.data(), 0, nullptr), DF_ERROR_SITE_NOT_IN_PARTITION);
    // Among other sites a miss fails the call, the others keep their values and the miss is NaN.
    const std::vector<T> mixed = {0, T(0.5), 4};
    EXPECT_EQ(sp.interp(DF_INTERP, 3, mixed.data(), 0, {1}, r.data(), 0, nullptr), DF_ERROR_SITE_NOT_IN_PARTITION);
    EXPECT_EQ(r[0], 10);
    EXPECT_TRUE(std::isnan(r[1]));
    EXPECT_EQ(r[2], 26);
  }
}

// Callbacks: left and right ones take over the sites outside; with all three, a pair the
// library cannot evaluate is theirs; a negative result comes back.
template <typename T>
int mark(int64_t* n, int64_t* cell, const T* site, T* r, void*) {
  r[0] = static_cast<T>(1000 * *cell) + *site;
  return *site > T(100) ? -77 : 0;
}

// The end callbacks by where a site lies: inside, exactly at either end, one step of the type
// beyond either end and beyond beyond it; one site at a time (the direct path) and all at once
// (the blocks), on an uneven and a uniform partition.  Each callback counts its calls and
// writes a value no spline gives here; the library's sites take the line itself.
struct EndCalls {
  int left = 0, right = 0;
};
template <typename T>
int count_end(int64_t*, int64_t* cell, const T*, T* r, void* params) {
  EndCalls& c = *static_cast<EndCalls*>(params);
  (*cell == 0 ? c.left : c.right) += 1;
  r[0] = *cell == 0 ? T(-1000) : T(1000);
  return 0;
}

TYPED_TEST(Interp, EndCallbacksOnlyBeyondTheEnds) {
  using T = TypeParam;
  void* end = reinterpret_cast<void*>(&count_end<T>);
  const T inf = std::numeric_limits<T>::infinity();
  for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)}) {
    Spline<T> sp(grid<T>(9, xhint == 1), 1, [](int64_t, double x) { return x; }, xhint);
    ASSERT_EQ(sp.build(2, 0, 0), 0);
    const T a = sp.x.front(), b = sp.x.back();
    struct Row { T site; int left, right; };
    const Row rows[] = {{T(0.5) * (a + b), 0, 0},     {a, 0, 0},      {b, 0, 0},
                        {std::nextafter(a, inf), 0, 0}, {std::nextafter(b, -inf), 0, 0},
                        {std::nextafter(a, -inf), 1, 0}, {std::nextafter(b, inf), 0, 1},
                        {a - 5, 1, 0},                  {b + 5, 0, 1}};
    std::vector<T> all;
    EndCalls total;
    for (const Row& row : rows) {
      all.push_back(row.site);
      total.left += row.left, total.right += row.right;
      EndCalls c;
      T r = T(-7);
      ASSERT_EQ(sp.interp(DF_INTERP, 1, &row.site, 0, {1}, &r, 0, nullptr, nullptr, end, end, nullptr, nullptr, &c), 0);
      SCOPED_TRACE(testing::Message() << "xhint " << xhint << " site " << row.site);
      EXPECT_EQ(c.left, row.left);
      EXPECT_EQ(c.right, row.right);
      if (row.left + row.right == 0) {
        EXPECT_NEAR(r, row.site, tol<T>());
      } else {
        EXPECT_EQ(r, row.left ? T(-1000) : T(1000));
      }
    }
    EndCalls c;
    std::vector<T> r(all.size(), T(-7));
    ASSERT_EQ(sp.interp(DF_INTERP, static_cast<int64_t>(all.size()), all.data(), 0, {1}, r.data(), 0, nullptr, nullptr,
                        end, end, nullptr, nullptr, &c),
              0);
    EXPECT_EQ(c.left, total.left) << "blocks, xhint " << xhint;
    EXPECT_EQ(c.right, total.right) << "blocks, xhint " << xhint;
  }
}

TYPED_TEST(Interp, CallbacksAndCodes) {
  using T = TypeParam;
  Spline<T> sp(grid<T>(10), 1, [](int64_t, double x) { return x; });
  ASSERT_EQ(sp.build(2, 0, 0), 0);
  void* cb = reinterpret_cast<void*>(&mark<T>);
  const std::vector<T> s = {T(-5), T(0.5), T(7)};
  std::vector<T> r(3);
  ASSERT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr, nullptr, cb, cb), 0);
  EXPECT_EQ(r[0], T(-5));
  EXPECT_NEAR(r[1], 0.5, tol<T>());
  EXPECT_EQ(r[2], T(10007));
  const T beyond = T(200);
  EXPECT_EQ(sp.interp(DF_INTERP, 1, &beyond, 0, {1}, r.data(), 0, nullptr, nullptr, cb, cb), -77);
  const T pair[2] = {T(0.5), beyond};  // through the blocks
  EXPECT_EQ(sp.interp(DF_INTERP, 2, pair, 0, {1}, r.data(), 0, nullptr, nullptr, cb, cb), -77);
  // Order 1: no kind, unless every callback is there.
  ASSERT_EQ(zorp_df_kernel_iEditVal(sp.t, DF_ATTR_SPLINE_ORDER, 1), 0);
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr), DF_ERROR_BAD_SPLINE_TYPE);
  ASSERT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr, nullptr, cb, cb, cb), 0);
  int64_t k = 0;
  for (T v : sp.x) k += v <= s[1];
  EXPECT_EQ(r[1], static_cast<T>(1000 * k) + s[1]);
  ASSERT_EQ(zorp_df_kernel_iEditVal(sp.t, DF_ATTR_SPLINE_ORDER, 2), 0);
  // Codes in check order.
  int32_t c[3];
  const T bad_dh[5] = {0, 2, 0, 0, 0};
  EXPECT_EQ(zorp_df_kernel_dDFInterpolate1D(nullptr, 1, 0, 1, nullptr, 0, 1, nullptr, nullptr, nullptr, 0, nullptr,
                                            nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr),
            DF_ERROR_NULL_TASK);
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, bad_dh), DF_ERROR_BAD_SEARCH_HINT);
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 64, nullptr), DF_ERROR_BAD_RHINT);
  EXPECT_EQ(sp.interp(DF_INTERP, -1, s.data(), 0, {1}, r.data(), 0, nullptr), DF_ERROR_BAD_NSITE);
  EXPECT_EQ(sp.interp(DF_INTERP | DF_CELL, 0, nullptr, 0, {1}, nullptr, 0, nullptr), 0);  // no sites: nothing to do
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {}, r.data(), 0, nullptr), DF_ERROR_BAD_NDORDER);
  EXPECT_EQ(sp.interp(DF_INTERP, 3, nullptr, 0, {1}, r.data(), 0, nullptr), DF_ERROR_BAD_SITE);
  EXPECT_EQ(sp.interp(DF_CELL, 3, s.data(), 0, {1}, r.data(), 0, nullptr), DF_ERROR_BAD_CELL);
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, nullptr, 0, c), DF_ERROR_BAD_R);
  void* keep = sp.t->coeff[0];
  sp.t->coeff[0] = nullptr;
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr), DF_ERROR_BAD_SCOEFF);
  sp.t->coeff[0] = keep;
  ASSERT_EQ(sp.build(0, DF_PP_STEP_LEFT, 0), 0);
  keep = sp.t->y[0];
  sp.t->y[0] = nullptr;
  EXPECT_EQ(sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr), DF_ERROR_BAD_Y);
  sp.t->y[0] = keep;
  zorp::test::df::expect_mem_failure([&] { return sp.interp(DF_INTERP, 3, s.data(), 0, {1}, r.data(), 0, nullptr); });
}

}  // namespace
