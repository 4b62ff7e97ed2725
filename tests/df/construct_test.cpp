// Spline construction: each kind reproduces the polynomials it must, the coefficient blocks
// join with the continuity each kind promises (evaluated here from the blocks), periodic and
// monotone behaviour, every check code in order, allocation failure, and threaded construction
// giving the same bits as construction in the calling thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "zorp/core.h"
#include "df/spline_task.h"
#include "zorp/df.h"

namespace {

using Fn = int (*)(DFTask*, int64_t, int64_t, void**);
using zorp::test::df::Entries;
using zorp::test::df::grid;

// A task over caller storage that the test keeps alive, and its blocks evaluated.
template <typename T>
struct Problem : zorp::test::df::SplineTask<T> {
  using zorp::test::df::SplineTask<T>::SplineTask;
  // Block of cell i (knot-interval i) of function f, evaluated with derivatives at offset u.
  double eval(int64_t f, int64_t i, double u, int der, int order) const {
    const T* c = static_cast<const T*>(this->t->coeff[f]) + i * order;
    return zorp::test::df::poly(std::vector<double>(c, c + order), der, u);
  }
};

template <typename T> double tol() { return sizeof(T) == 8 ? 1e-9 : 2e-3; }

// The spline of every cell matches g at several points of the cell.
template <typename T>
void expect_reproduces(const Problem<T>& p, int order, const std::function<double(int64_t, double)>& g,
                       double scale = 1.0) {
  for (int64_t f = 0; f < p.ny; ++f)
    for (int64_t i = 0; i + 1 < p.nx; ++i)
      for (double s : {0.0, 0.3, 0.9}) {
        const double x0 = p.x[i], h = p.x[i + 1] - p.x[i], u = s * h;
        ASSERT_NEAR(p.eval(f, i, u, 0, order), g(f, x0 + u), tol<T>() * scale) << "f " << f << " cell " << i;
      }
}

// Value, first and (optionally) second derivative agree across every interior knot.
template <typename T>
void expect_continuous(const Problem<T>& p, int order, int upto, double scale = 1.0) {
  for (int64_t f = 0; f < p.ny; ++f)
    for (int64_t i = 0; i + 2 < p.nx; ++i) {
      const double h = static_cast<double>(p.x[i + 1]) - static_cast<double>(p.x[i]);
      for (int der = 0; der <= upto; ++der) {
        const double a = p.eval(f, i, h, der, order), b = p.eval(f, i + 1, 0, der, order);
        ASSERT_NEAR(a, b, tol<T>() * scale * (1 + std::fabs(b)) * (der + 1) * (der + 1) * 10)
            << "f " << f << " knot " << i + 1 << " der " << der;
      }
    }
}

template <typename T> class Construct : public ::testing::Test {};
using Types = ::testing::Types<float, double>;
TYPED_TEST_SUITE(Construct, Types);

auto cubic = [](int64_t f, double x) { return 0.5 + (f + 1) * x - 0.75 * x * x + 0.25 * (f + 1) * x * x * x; };
auto d2cubic = [](int64_t f, double x) { return -1.5 + 1.5 * (f + 1) * x; };
auto quad = [](int64_t f, double x) { return 1.0 - (f + 2) * x + 0.5 * x * x; };
auto line = [](int64_t f, double x) { return 2.0 - (f + 0.5) * x; };

TYPED_TEST(Construct, KnotQuadraticReproducesQuadratics) {
  using T = TypeParam;
  using K = Entries<T>;
  for (int variant = 0; variant < 3; ++variant) {
    Problem<T> p(grid<T>(8), 2, quad);
    std::vector<T> ic;
    int64_t ict = variant == 0 ? 0 : DF_IC_Q_KNOT;  // midpoint knots: ic type set afterwards
    if (variant == 1) {
      ict |= DF_IC_Q_KNOT_RANGE;
      ic = {static_cast<T>(0.5 * (p.x[0] + p.x[1])), static_cast<T>(0.5 * (p.x[6] + p.x[7]))};
    }
    if (variant == 2)
      for (int j = 1; j < 8; ++j) ic.push_back(static_cast<T>(0.6 * p.x[j - 1] + 0.4 * p.x[j]));
    // First derivative at both ends, and second derivative at both ends.
    for (int64_t bct : {int64_t(12), int64_t(48), int64_t(36)}) {
      std::vector<T> bc = bct == 12   ? std::vector<T>{T(p.x[0] - 2), T(p.x[7] - 2)}
                          : bct == 48 ? std::vector<T>{T(1), T(1)}
                                      : std::vector<T>{T(p.x[0] - 2), T(1)};
      ASSERT_EQ(p.set(3, 1, bct, bc, ict, ic), 0);
      if (variant == 0) {
        ASSERT_EQ(zorp_df_kernel_iEditVal(p.t, DF_ATTR_IC_TYPE, DF_IC_Q_KNOT), 0);
      }
      ASSERT_EQ(K::quadratic(p.t, 0, 0, nullptr), 0);
      // Function 0 is the parabola the bc describes; blocks are relative to the knots.
      std::vector<double> kt(9);
      kt[0] = p.x[0];
      kt[8] = p.x[7];
      for (int j = 1; j < 8; ++j)
        kt[j] = variant == 0 ? 0.5 * (p.x[j - 1] + p.x[j]) : variant == 1 ? ic[0] + (j - 1) * (ic[1] - ic[0]) / 6.0 : ic[j - 1];
      for (int j = 0; j < 8; ++j)
        for (double s : {0.0, 0.5, 1.0}) {
          const double u = s * (kt[j + 1] - kt[j]);
          ASSERT_NEAR(p.eval(0, j, u, 0, 3), quad(0, kt[j] + u), tol<T>() * 10) << variant << " " << bct << " " << j;
        }
    }
  }
}

TYPED_TEST(Construct, CubicKindsReproduceCubics) {
  using T = TypeParam;
  using K = Entries<T>;
  for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)}) {
    const bool uneven = xhint == 1;
    const int n = 11;
    std::vector<T> xs = grid<T>(n, uneven);
    // The default cubic reproduces a cubic from its exact interior second derivatives, one ic row
    // per function.  (Hermite's given first derivatives are checked in the sweep below.)
    for (int64_t bct : {1, 48}) {
      Problem<T> p(xs, bct == 1 ? 2 : 1, cubic, xhint);
      std::vector<T> d2;
      for (int64_t f = 0; f < p.ny; ++f)
        for (int j = 1; j + 1 < n; ++j) d2.push_back(T(d2cubic(f, p.x[j])));
      ASSERT_EQ(p.set(4, 0, bct, {T(d2cubic(0, p.x[0])), T(d2cubic(0, p.x[n - 1]))}, 2, d2), 0);
      ASSERT_EQ(K::deflt(p.t, 0, 0, nullptr), 0);
      expect_reproduces(p, 4, bct == 1 ? cubic : [](int64_t, double x) { return cubic(0, x); }, 10);
      expect_continuous(p, 4, 2, 10);
    }
    // Bessel and Hyman reproduce a convex increasing parabola; Akima a line.
    auto up = [](int64_t, double x) { return (x + 2) * (x + 2); };
    for (Fn fn : {K::bessel, K::hyman}) {
      Problem<T> p(xs, 1, up, xhint);
      ASSERT_EQ(p.set(4, 4, 1, {}, 0, {}), 0);
      ASSERT_EQ(fn(p.t, 0, 0, nullptr), 0);
      expect_reproduces(p, 4, up, 10);
      expect_continuous(p, 4, 1, 10);
    }
    Problem<T> p(xs, 5, line, xhint);  // a second group of functions
    for (int64_t bct : {0, 1, 2}) {
      ASSERT_EQ(p.set(4, 5, bct, {}, 0, {}), 0);
      ASSERT_EQ(K::akima(p.t, 0, 0, nullptr), 0);
      SCOPED_TRACE(testing::Message() << "akima bc " << bct << " xhint " << xhint);
      expect_reproduces(p, 4, line);
    }
  }
}

// One and two functions under every end condition, every y storage class (and the
// separate-array form of the second function), uneven and uniform partitions, from each kind's
// least length (one point fewer is refused) to the one-function solver's last full tile (65)
// and block-crossing lengths: every block starts at its data point and ends at the next one, at
// every interior knot the first derivative (and for the natural kind the second) is continuous,
// Hermite's first derivatives are the given ones, and the ends meet their condition: given
// derivatives, zero second derivatives (free end), a continuous third derivative at the first
// and last interior knots (not-a-knot), equal derivatives at both ends (periodic).  For the
// natural kind that pins the spline; the other kinds' interior rules are checked against their
// formulas below.  The bounds follow the rounding of the data: a slope carries eps*|y|/h, a
// second derivative eps*|y|/h^2, a third eps*|y|/h^3.  (Threaded construction giving the same
// bits is pinned by the data-fitting digest.)
TYPED_TEST(Construct, EveryKindEveryEndConditionEveryKnot) {
  using T = TypeParam;
  using K = Entries<T>;
  auto wave = [](int64_t f, double x) { return std::sin(x + 2 * f) + 0.3 * std::cos(5 * x) * (1 + f); };
  struct Row { Fn fn; int64_t type; int c, least; };
  const Row rows[] = {{K::natural, 2, 2, 2}, {K::akima, 5, 1, 5}, {K::bessel, 4, 1, 4}, {K::hyman, 9, 1, 4},
                      {K::hermite, 3, 1, 3}};
  const T bl = T(0.75), br = T(-1.25);
  const double eps = std::numeric_limits<T>::epsilon();
  for (int nx : {2, 3, 4, 5, 40, 65, 2100})
    for (int64_t ny : {1, 2})
      for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)})
        for (int64_t yhint : {int64_t(DF_MATRIX_STORAGE_COLS), int64_t(DF_MATRIX_STORAGE_ROWS),
                              int64_t(DF_MATRIX_STORAGE_FUNCS_SEP)}) {
          Problem<T> p(grid<T>(nx, xhint == 1, 0.0, 2 * M_PI), ny, wave, xhint, yhint);
          // Periodic data: the last value repeats the first exactly in every function.
          std::vector<T> data(ny * nx);  // by function, whatever the storage
          for (int64_t f = 0; f < ny; ++f) {
            auto at = [&](int64_t j) -> T& { return p.y[yhint == 32 ? j * ny + f : f * nx + j]; };
            at(nx - 1) = at(0);
            for (int64_t j = 0; j < nx; ++j) data[f * nx + j] = at(j);
          }
          std::vector<T> y1(p.y.begin() + nx * (ny - 1), p.y.end());  // the last function on its own
          if (yhint == DF_MATRIX_STORAGE_FUNCS_SEP && ny == 2) {
            if constexpr (sizeof(T) == 8) ASSERT_EQ(zorp_df_kernel_dEditIdxPtr(p.t, DF_ATTR_Y, 1, y1.data()), 0);
            else ASSERT_EQ(zorp_df_kernel_sEditIdxPtr(p.t, DF_ATTR_Y, 1, y1.data()), 0);
            std::fill(p.y.begin() + nx, p.y.end(), T(1e30));  // would spoil any read through y + nx
          }
          double hmin = 1e300;
          for (int i = 0; i + 1 < nx; ++i) hmin = std::min(hmin, static_cast<double>(p.x[i + 1]) - p.x[i]);
          const double tol1 = 200 * eps / hmin, tol2 = tol1 / hmin, tol3 = tol2 / hmin;
          auto close_to = [&](double got, double want, double bound, const char* what, int64_t knot = -1) {
            ASSERT_NEAR(got, want, bound * (1 + std::fabs(want))) << what << " knot " << knot;
          };
          auto width = [&](int64_t i) { return static_cast<double>(p.x[i + 1]) - p.x[i]; };
          std::vector<T> ic(ny * std::max(nx - 2, 0));
          for (size_t j = 0; j < ic.size(); ++j) ic[j] = T(std::sin(0.37 * static_cast<double>(j)));
          for (const Row& r : rows)
            for (int64_t bct : {1, 2, 12, 36, 24, 48, 64}) {
              const bool hermite = r.type == DF_PP_HERMITE;
              const bool given = hermite && !ic.empty();
              ASSERT_EQ(p.set(4, r.type, bct, {bl, br}, given ? 1 : 0, given ? ic : std::vector<T>{}), 0);
              SCOPED_TRACE(testing::Message() << "type " << r.type << " bc " << bct << " nx " << nx << " ny " << ny
                                              << " xhint " << xhint << " yhint " << yhint);
              if (nx < r.least || (bct == DF_BC_NOT_A_KNOT && nx < 3)) {
                EXPECT_EQ(r.fn(p.t, 0, 0, nullptr), DF_ERROR_BAD_NX);
                continue;
              }
              ASSERT_EQ(r.fn(p.t, 0, 0, nullptr), 0);
              const int64_t last = nx - 2;
              for (int64_t f = 0; f < ny; ++f) {
                SCOPED_TRACE(testing::Message() << "function " << f);
                for (int64_t i = 0; i <= last; ++i) {
                  const double h = width(i);
                  close_to(p.eval(f, i, 0, 0, 4), data[f * nx + i], 0, "value", i);  // interpolates
                  close_to(p.eval(f, i, h, 0, 4), data[f * nx + i + 1], 200 * eps, "value", i + 1);
                  if (hermite && i > 0) close_to(p.eval(f, i, 0, 1, 4), ic[f * (nx - 2) + i - 1], tol1, "given", i);
                  if (i == last) break;
                  close_to(p.eval(f, i, h, 1, 4), p.eval(f, i + 1, 0, 1, 4), tol1, "first derivative", i + 1);
                  if (r.c == 2) close_to(p.eval(f, i, h, 2, 4), p.eval(f, i + 1, 0, 2, 4), tol2, "second derivative", i + 1);
                }
                const double hl = width(last);
                if (bct & DF_BC_1ST_LEFT_DER) close_to(p.eval(f, 0, 0, 1, 4), bl, tol1, "left first");
                if (bct & DF_BC_2ND_LEFT_DER) close_to(p.eval(f, 0, 0, 2, 4), bl, tol2, "left second");
                if (bct & DF_BC_1ST_RIGHT_DER) close_to(p.eval(f, last, hl, 1, 4), br, tol1, "right first");
                if (bct & DF_BC_2ND_RIGHT_DER) close_to(p.eval(f, last, hl, 2, 4), br, tol2, "right second");
                if (bct == DF_BC_PERIODIC) {
                  if (hermite) close_to(p.eval(f, 0, 0, 1, 4), bl, tol1, "periodic given first");
                  close_to(p.eval(f, last, hl, 1, 4), p.eval(f, 0, 0, 1, 4), tol1, "periodic first");
                  if (r.c == 2) close_to(p.eval(f, last, hl, 2, 4), p.eval(f, 0, 0, 2, 4), tol2, "periodic second");
                }
                if (r.c < 2) continue;
                if (bct == DF_BC_FREE_END) {
                  close_to(p.eval(f, 0, 0, 2, 4), 0, tol2, "left free");
                  close_to(p.eval(f, last, hl, 2, 4), 0, tol2, "right free");
                }
                if (bct == DF_BC_NOT_A_KNOT)
                  for (int64_t k : {int64_t(1), last})
                    close_to(p.eval(f, k - 1, width(k - 1), 3, 4), p.eval(f, k, 0, 3, 4), tol3, "not a knot", k);
              }
            }
        }
}

// Akima, Bessel and Hyman derivatives at every point against the formulas evaluated here one
// point at a time, on data with flat stretches (Akima's equal-slope rule), turns (Hyman's
// zero) and steep rises (Hyman's cap), over lengths that leave every remainder of a vector.
// A faint parabola starts inside the flat stretch at 0: its slopes step by about 3e-10 per
// cell at nx = 300, so Akima's weight sums there lie just above the flat threshold (1e-10)
// and a threshold ten times higher would take the mean where the weighted mean belongs.
TYPED_TEST(Construct, DerivativeKindsMatchPointwiseFormulas) {
  using T = TypeParam;
  using K = Entries<T>;
  auto data = [](int64_t f, double x) {
    const double k = std::floor(4 * x);  // flat stretches joined by ramps
    const double faint = x > 0.1 && x < 0.25 ? 1.6e-8 * (x - 0.1) * (x - 0.1) : 0.0;
    return (x < 0.6 ? 0.3 * k : 1.2 + 2 * (x - 0.6) * (x - 0.6)) + (f ? std::sin(7 * x) : faint);
  };
  for (int nx : {23, 61, 300})
    for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)}) {
      Problem<T> p(grid<T>(nx, xhint == 1), 2, data, xhint);
      const int64_t n = nx;
      for (int64_t f = 0; f < 2; ++f) {
        const T* y = p.y.data() + f * n;
        const double step = (static_cast<double>(p.x[n - 1]) - p.x[0]) / (n - 1);
        auto h = [&](int64_t k) -> T { return xhint == 1 ? T(p.x[k + 1] - p.x[k]) : T(step); };
        std::vector<T> m(n - 1);
        for (int64_t k = 0; k + 1 < n; ++k) m[k] = (y[k + 1] - y[k]) / h(k);
        struct Row { Fn fn; int64_t type; };
        for (Row r : {Row{K::akima, 5}, Row{K::bessel, 4}, Row{K::hyman, 9}}) {
          ASSERT_EQ(p.set(4, r.type, DF_BC_FREE_END, {}, 0, {}), 0);
          ASSERT_EQ(r.fn(p.t, 0, 0, nullptr), 0);
          const T* c = static_cast<const T*>(p.t->coeff[f]);
          for (int64_t j = 1; j + 1 < n; ++j) {
            T want;
            if (r.type == 5) {
              const T wj = j == n - 2 ? std::fabs(m[n - 2] - m[n - 3]) : std::fabs(m[j + 1] - m[j]);
              const T wl = j == 1 ? std::fabs(m[1] - m[0]) : std::fabs(m[j - 1] - m[j - 2]);
              want = wj + wl < T(1e-10) ? (m[j - 1] + m[j]) / 2 : (wj * m[j - 1] + wl * m[j]) / (wj + wl);
            } else {
              want = (h(j) * m[j - 1] + h(j - 1) * m[j]) / (h(j - 1) + h(j));
              if (r.type == 9) {
                const T cap = 3 * std::min(std::fabs(m[j - 1]), std::fabs(m[j]));
                want = m[j - 1] * m[j] <= 0 ? T(0) : std::copysign(std::min(std::fabs(want), cap), want);
              }
            }
            ASSERT_NEAR(c[4 * j + 1], want, 8 * std::numeric_limits<T>::epsilon() * (1 + std::fabs(want)))
                << "type " << r.type << " nx " << nx << " xhint " << xhint << " f " << f << " j " << j;
          }
        }
      }
    }
}

// Continuity and equal end derivatives of every kind under the periodic condition are checked
// with the other end conditions above; here the refusal of data that are not periodic.
TYPED_TEST(Construct, PeriodicSplines) {
  using T = TypeParam;
  using K = Entries<T>;
  const double tp = 2 * M_PI;
  auto per = [](int64_t f, double x) { return std::sin(x + f) + 0.5 * std::cos(2 * x); };
  for (bool uneven : {false, true}) {
    Problem<T> p(grid<T>(33, uneven, 0.0, tp), 2, per, uneven ? 1 : 4);
    p.y[32] = p.y[0];
    p.y[65] = p.y[33];
    ASSERT_EQ(p.set(4, 2, DF_BC_PERIODIC, {}, 0, {}), 0);
    // One function off by 1e-12 (double) is not periodic.
    if (sizeof(T) == 8) {
      p.y[65] = static_cast<T>(p.y[33] + 1e-12);
      EXPECT_EQ(K::natural(p.t, 0, 0, nullptr), DF_ERROR_BAD_PERIODIC_VAL);
      EXPECT_EQ(K::akima(p.t, 0, 0, nullptr), DF_ERROR_BAD_PERIODIC_VAL);
      ASSERT_EQ(p.set(2, 0, DF_BC_PERIODIC, {}, 0, {}), 0);
      EXPECT_EQ(K::linear(p.t, 0, 0, nullptr), DF_ERROR_BAD_PERIODIC_VAL);
      p.y[65] = std::nan("");
      p.y[33] = std::nan("");
      EXPECT_EQ(K::linear(p.t, 0, 0, nullptr), DF_ERROR_BAD_PERIODIC_VAL);
    }
  }
}

TYPED_TEST(Construct, HymanKeepsMonotoneData) {
  using T = TypeParam;
  auto step = [](int64_t, double x) { return x < 0.5 ? 0.0 : (x < 0.6 ? 10 * (x - 0.5) : 1.0 + 0.01 * x); };
  Problem<T> p(grid<T>(30), 1, step);
  ASSERT_EQ(p.set(4, 9, DF_BC_FREE_END, {}, 0, {}), 0);
  ASSERT_EQ(Entries<T>::hyman(p.t, 0, 0, nullptr), 0);
  for (int64_t i = 0; i + 1 < p.nx; ++i) {
    const double h = p.x[i + 1] - p.x[i];
    for (int s = 0; s <= 20; ++s) ASSERT_GE(p.eval(0, i, h * s / 20, 1, 4), -tol<T>() * 10) << i;
  }
}

TYPED_TEST(Construct, StatusCodesInOrder) {
  using T = TypeParam;
  using K = Entries<T>;
  for (Fn fn : {K::linear, K::quadratic, K::natural, K::deflt, K::akima, K::bessel, K::hyman, K::hermite})
    EXPECT_EQ(fn(nullptr, 0, 0, nullptr), DF_ERROR_NULL_TASK);
  Problem<T> p(grid<T>(4), 1, line);
  ASSERT_EQ(p.set(4, 2, 1, {}, 0, {}), 0);
  EXPECT_EQ(K::linear(p.t, 0, 1, nullptr), DF_ERROR_METHOD_NOT_SUPPORTED);
  EXPECT_EQ(K::natural(p.t, 0, 1, nullptr), DF_ERROR_METHOD_NOT_SUPPORTED);
  // Then the record's words one change at a time, each row's kinds giving its code: the length
  // (nx = 4 < 5 for Akima) before the y hint, the hint before the bc type, the bc type before
  // the bc values and the ic; the quadratic's own order of bc type, bc and ic type.
  struct Step { int64_t yhint, bc_type, type, ic_type; std::vector<Fn> fns; int code; };
  const int64_t y0 = p.t->yhint;
  const Step steps[] = {
      {y0, 1, 2, 0, {K::akima}, DF_ERROR_BAD_NX}, {64, 1, 2, 0, {K::akima}, DF_ERROR_BAD_NX},
      {64, 1, 2, 0, {K::linear, K::natural, K::deflt, K::bessel, K::hyman, K::hermite, K::quadratic}, DF_ERROR_BAD_Y_HINT},
      {16, 3, 2, 0, {K::natural, K::deflt, K::bessel, K::hyman, K::hermite}, DF_ERROR_BAD_BC_TYPE},  // not accepted
      {16, 0, 2, 0, {K::natural}, DF_ERROR_BAD_BC_TYPE},  // 0 only for Akima
      {16, 12, 2, 0, {K::natural}, DF_ERROR_BAD_BC}, {16, 24, 2, 0, {K::natural}, DF_ERROR_BAD_BC},  // values needed
      {16, 36, 2, 0, {K::natural}, DF_ERROR_BAD_BC}, {16, 48, 2, 0, {K::natural}, DF_ERROR_BAD_BC},
      {16, 64, 3, 0, {K::hermite}, DF_ERROR_BAD_BC}, {16, 1, 2, 0, {K::hermite, K::deflt}, DF_ERROR_BAD_IC},
      // Quadratic: default needs bc type 128 and bc; knot-based needs ic bit 8 and a routine.
      {16, 1, 0, 0, {K::quadratic}, DF_ERROR_BAD_BC_TYPE}, {16, 128, 0, 0, {K::quadratic}, DF_ERROR_BAD_BC},
      {16, 128, 1, 0, {K::quadratic}, DF_ERROR_BAD_IC_TYPE}, {16, 128, 1, 8, {K::quadratic}, DF_ERROR_BAD_BC_TYPE},
      {16, 12, 1, 8, {K::quadratic}, DF_ERROR_BAD_BC}, {16, 1, 1, 8, {K::quadratic}, DF_ERROR_BAD_BC_TYPE},
      {16, 64, 1, 8, {K::quadratic}, DF_ERROR_BAD_BC_TYPE}, {16, 64, 2, 8, {K::quadratic}, DF_ERROR_METHOD_NOT_SUPPORTED}};
  for (const Step& st : steps) {
    p.t->yhint = st.yhint, p.t->bc_type = st.bc_type, p.t->type = st.type, p.t->ic_type = st.ic_type;
    for (Fn fn : st.fns)
      EXPECT_EQ(fn(p.t, 0, 0, nullptr), st.code) << "y hint " << st.yhint << " bc " << st.bc_type << " type " << st.type << " ic " << st.ic_type;
  }
  // Knot range outside the partition.
  Problem<T> q(grid<T>(6), 1, quad);
  ASSERT_EQ(q.set(3, 1, 2, {}, 8 | 4, {q.x[0], q.x[4]}), 0);
  EXPECT_EQ(K::quadratic(q.t, 0, 0, nullptr), DF_ERROR_BAD_IC);
}

// A partition with a cell of zero, negative, NaN or infinite width is refused with the same code
// by every kind and every path of the natural cubic (closed forms, the reduced one-function
// solver, many functions, periodic), wherever the bad cell lies; NaN function values are data
// and give status 0 on every path.
TYPED_TEST(Construct, BadPartitionIsRefusedOnEveryPath) {
  using T = TypeParam;
  using K = Entries<T>;
  const T nan = std::numeric_limits<T>::quiet_NaN(), inf = std::numeric_limits<T>::infinity();
  auto with = [](int n, int at, std::vector<T> put) {
    std::vector<T> x = grid<T>(n);
    for (size_t k = 0; k < put.size(); ++k) x[at + k] = put[k];
    return x;
  };
  const std::vector<std::vector<T>> partitions = {
      {T(0), T(1), T(2), T(2), T(3), T(4)}, {T(0), T(1), T(1), T(1), T(2)}, {T(0), T(2), T(1), T(3), T(4)},
      {T(0), T(1), nan, T(3), T(4)},       {T(0), T(1), T(2), T(3), inf},  {T(0), T(0)}, {T(0), nan, T(1)},
      with(200, 150, {T(0.5), T(0.5)}),    with(200, 90, {nan}),           with(200, 199, {T(-1)})};
  struct Row { Fn fn; int64_t order, type, bct, ict; };
  const Row rows[] = {{K::natural, 4, 2, 1, 0},  {K::natural, 4, 2, 2, 0},  {K::natural, 4, 2, 12, 0},
                      {K::natural, 4, 2, 64, 0}, {K::akima, 4, 5, 0, 0},    {K::bessel, 4, 4, 1, 0},
                      {K::hyman, 4, 9, 2, 0},    {K::hermite, 4, 3, 2, 1},  {K::deflt, 4, 0, 2, 2},
                      {K::linear, 2, 0, 0, 0},   {K::quadratic, 3, 0, 128, 0}, {K::quadratic, 3, 1, 2, 8}};
  auto flat = [](int64_t f, double) { return 1.0 + f; };
  for (const auto& x : partitions)
    for (int64_t ny : {1, 2})
      for (const Row& r : rows) {
        const int n = static_cast<int>(x.size());
        if ((r.fn == K::akima && n < 5) || (r.fn == K::bessel && n < 4) || (r.fn == K::hyman && n < 4) ||
            ((r.fn == K::hermite || r.fn == K::deflt) && n < 3) || (r.bct == 1 && n < 3))
          continue;
        Problem<T> p(x, ny, flat);
        const bool ic = r.ict != DF_IC_Q_KNOT;  // the knot-based quadratic takes midpoint knots
        ASSERT_EQ(p.set(r.order, r.type, r.bct, {T(0), T(0)}, ic ? r.ict : 0, r.ict && ic ? std::vector<T>(2 * n) : std::vector<T>{}), 0);
        ASSERT_EQ(zorp_df_kernel_iEditVal(p.t, DF_ATTR_IC_TYPE, r.ict), 0);
        EXPECT_EQ(r.fn(p.t, 0, 0, nullptr), DF_ERROR_BAD_X) << "n " << n << " ny " << ny << " type " << r.type << " bc " << r.bct;
      }
  // A uniform partition with equal or NaN end points.
  for (std::vector<T> ends : {std::vector<T>{T(1), T(1)}, std::vector<T>{T(0), nan}})
    for (int64_t ny : {1, 2}) {
      Problem<T> p(ends, ny, flat, DF_UNIFORM_PARTITION);
      p.nx = 9;
      ASSERT_EQ(zorp_df_kernel_iEditVal(p.t, DF_ATTR_NX, 9), 0);
      p.y.resize(9 * ny);
      if constexpr (sizeof(T) == 8) ASSERT_EQ(zorp_df_kernel_dEditPtr(p.t, DF_ATTR_Y, p.y.data()), 0);
      else ASSERT_EQ(zorp_df_kernel_sEditPtr(p.t, DF_ATTR_Y, p.y.data()), 0);
      ASSERT_EQ(p.set(4, 2, 1, {}, 0, {}), 0);
      EXPECT_EQ(K::natural(p.t, 0, 0, nullptr), DF_ERROR_BAD_X) << ny;
      EXPECT_EQ(K::akima(p.t, 0, 0, nullptr), DF_ERROR_BAD_X) << ny;
    }
  for (int64_t ny : {1, 2})
    for (int64_t bct : {1, 2, 64}) {
      Problem<T> p(grid<T>(100), ny, flat);
      p.y[40] = nan;
      ASSERT_EQ(p.set(4, 2, bct, {}, 0, {}), 0);
      EXPECT_EQ(K::natural(p.t, 0, 0, nullptr), 0) << ny << " " << bct;
    }
}

// A launcher that counts its calls and runs the items in order with thread numbers cycling.
std::atomic<int> g_launches{0};
void counting_launch(int n, int threads, void* ctx, zorp_df_worker_fn w) {
  g_launches++;
  for (int i = 0; i < n; ++i) w(ctx, i, i % threads);
}
int four_threads() { return 4; }

TYPED_TEST(Construct, ThreadingThreshold) {
  using T = TypeParam;
  using K = Entries<T>;
  void* fake[8] = {reinterpret_cast<void*>(&counting_launch), nullptr, nullptr, nullptr,
                   reinterpret_cast<void*>(&four_threads), nullptr, nullptr, nullptr};
  auto g = [](int64_t f, double x) { return std::sin(5 * x + f) * (1 + 0.1 * f); };
  for (Fn fn : {K::akima, K::bessel, K::hyman, K::hermite}) {
    for (int nx : {511, 512}) {
      Problem<T> p(grid<T>(nx), 1, g);
      std::vector<T> ic(nx, T(0.2));
      ASSERT_EQ(p.set(4, 4, 1, {}, 1, ic), 0);
      g_launches = 0;
      ASSERT_EQ(fn(p.t, 0, 0, reinterpret_cast<void**>(fake)), 0);
      EXPECT_EQ(g_launches.load(), nx == 512 ? 1 : 0);
    }
  }
}

TYPED_TEST(Construct, AllocationFailure) {
  using T = TypeParam;
  using K = Entries<T>;
  auto g = [](int64_t f, double x) { return std::cos(x + f); };
  Problem<T> p(grid<T>(700), 3, g);
  // Warm-up: the host's pool keeps blocks of its own once started.
  ASSERT_EQ(p.set(4, 2, 1, {}, 0, {}), 0);
  ASSERT_EQ(K::natural(p.t, 0, 0, zorp_serv_df_threading_table()), 0);
  struct Row { Fn fn; int64_t type, order, bct, ict; };
  for (Row r : {Row{K::natural, 2, 4, 1, 0}, Row{K::akima, 5, 4, 1, 0}, Row{K::linear, 0, 2, 0, 0},
                Row{K::quadratic, 1, 3, 2, 8}}) {
    ASSERT_EQ(p.set(r.order, r.type, r.bct, {}, 0, {}), 0);
    ASSERT_EQ(zorp_df_kernel_iEditVal(p.t, DF_ATTR_IC_TYPE, r.ict), 0);
    SCOPED_TRACE(testing::Message() << "type " << r.type << " order " << r.order);
    zorp::test::df::expect_mem_failure([&] { return r.fn(p.t, 0, 0, zorp_serv_df_threading_table()); });
  }
}

}  // namespace
