// Integration: every integrable kind against the antiderivative of the polynomial it reproduces
// (limits inside, at the points and beyond the partition), reversal and additivity, the step
// kinds against their pieces, long spans through the prefix sums against direct sums in long
// double, both arrangements, callbacks, and every code.
#include <gtest/gtest.h>

#include <cmath>
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
struct Task : zorp::test::df::SplineTask<T> {
  using zorp::test::df::SplineTask<T>::SplineTask;
  int integrate(int64_t n, const T* l, const T* r, T* out, int64_t rhint = 0, int64_t lhint = 0, int64_t rh = 0,
                void* le = nullptr, void* re = nullptr, void* in = nullptr, const T* ldh = nullptr) {
    using Cb = typename zorp::test::df::Entries<T>::IntegCb;
    return zorp::test::df::Entries<T>::integrate(this->t, 0, n, l, lhint, r, rh, ldh, nullptr, out, rhint,
                                                 reinterpret_cast<Cb>(le), nullptr, reinterpret_cast<Cb>(re), nullptr,
                                                 reinterpret_cast<Cb>(in), nullptr, nullptr, nullptr);
  }
};

// Antiderivative of sum_j p[j] x^j.
double prim(const std::vector<double>& p, double x) {
  double v = 0;
  for (int j = static_cast<int>(p.size()) - 1; j >= 0; --j) v = v * x + p[j] / (j + 1);
  return v * x;
}

template <typename T> double tol() { return sizeof(T) == 8 ? 1e-11 : 3e-4; }

template <typename T> class Integ : public ::testing::Test {};
using Types = ::testing::Types<float, double>;
TYPED_TEST_SUITE(Integ, Types);

// Limit pairs: inside, at points, spanning the whole partition and beyond it, reversed, equal.
template <typename T>
void pairs(const std::vector<T>& x, std::vector<T>& l, std::vector<T>& r) {
  const double a = x.front(), b = x.back();
  for (int j = 0; j < 60; ++j) {
    l.push_back(static_cast<T>(a - 0.5 + (b - a + 1) * std::fmod(0.618034 * j, 1.0)));
    r.push_back(static_cast<T>(a - 0.5 + (b - a + 1) * std::fmod(0.7548777 * j + 0.3, 1.0)));
  }
  l.insert(l.end(), {x[0], x[3], x.back(), x[2], static_cast<T>(a - 2)});
  r.insert(r.end(), {x.back(), x[3], x[1], static_cast<T>(b + 3), static_cast<T>(b + 1)});
}

TYPED_TEST(Integ, KindsIntegrateTheirPolynomials) {
  using T = TypeParam;
  struct Row { int64_t order, type, bct; std::vector<double> p; int64_t ict; int64_t ny; };
  const std::vector<double> cub = {0.5, -1, 0.75, 0.25}, quad = {1, -2, 0.5}, lin = {2, -0.5};
  const Row rows[] = {{2, 0, 0, lin, 0, 2}, {3, 0, DF_BC_Q_VAL, quad, 0, 1}, {3, 1, 12, quad, 8, 2},
                      {4, DF_PP_NATURAL, 12, cub, 0, 2}};
  for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)})
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << "order " << row.order << " type " << row.type << " xhint " << xhint);
      Task<T> k(grid<T>(40, xhint == 1), row.ny, [&](int64_t f, double x) { return poly(row.p, 0, x) + f; }, xhint);
      std::vector<T> bc = {T(poly(row.p, 1, k.x.front())), T(poly(row.p, 1, k.x.back()))};
      if (row.bct == DF_BC_Q_VAL) bc = {T(poly(row.p, 0, 0.5 * (k.x[0] + k.x[1]))), 0};
      ASSERT_EQ(k.build(row.order, row.type, row.bct, bc, row.ict), 0);
      std::vector<T> l, r;
      pairs(k.x, l, r);
      const int64_t n = static_cast<int64_t>(l.size());
      for (int64_t rhint : {0, DF_RHINT_FUNC_PAIR}) {
        std::vector<T> out(n * row.ny, T(-7));
        ASSERT_EQ(k.integrate(n, l.data(), r.data(), out.data(), rhint), 0);
        for (int64_t f = 0; f < row.ny; ++f)
          for (int64_t q = 0; q < n; ++q) {
            const double want = prim(row.p, r[q]) - prim(row.p, l[q]) + f * (double(r[q]) - double(l[q]));
            ASSERT_NEAR(out[rhint ? f * n + q : q * row.ny + f], want, tol<T>() * (1 + std::fabs(want)) * 10)
                << "pair " << l[q] << " " << r[q];
          }
      }
    }
}

// The step functions, continuous from the right and from the left, with their constants beyond
// the partition: y = 1, 2, 4, 8, 16 on 0, 1, 3, 4, 6.
TYPED_TEST(Integ, StepKinds) {
  using T = TypeParam;
  Task<T> k({0, 1, 3, 4, 6}, 1, [](int64_t, double x) { return x == 0 ? 1 : x == 1 ? 2 : x == 3 ? 4 : x == 4 ? 8 : 16; });
  const std::vector<T> l = {-1, T(0.5), 0, 3, T(5.5)}, r = {T(0.5), T(3.5), 6, 7, T(4.5)};
  std::vector<T> out(5);
  ASSERT_EQ(k.build(0, DF_PP_STEP_RIGHT, 0), 0);
  ASSERT_EQ(k.integrate(5, l.data(), r.data(), out.data()), 0);
  EXPECT_EQ(out, (std::vector<T>{T(1.5), T(0.5 + 4 + 2), T(1 + 4 + 4 + 16), T(4 + 16 + 16), T(-(0.5 * 8 + 0.5 * 8))}));
  ASSERT_EQ(k.build(0, DF_PP_STEP_LEFT, 0), 0);
  ASSERT_EQ(k.integrate(5, l.data(), r.data(), out.data()), 0);
  EXPECT_EQ(out, (std::vector<T>{T(1 + 1), T(1 + 8 + 4), T(2 + 8 + 8 + 32), T(8 + 32 + 16), T(-(0.5 * 16 + 0.5 * 16))}));
}

// Many long pairs (through the prefix sums) and many short ones (directly) against long double
// sums over the coefficient blocks, and linear in the data; uniform and sorted limit hints.
TYPED_TEST(Integ, PrefixSumsMatchDirectSums) {
  using T = TypeParam;
  // A large level under small waves: the prefix sums grow to 3e6 while a short pair's integral
  // is small, so only compensated sums keep its relative error at rounding size.
  // Function 1 is 2 * function 0 + 3: the spline is linear in the data, so are its integrals.
  auto wave0 = [](double x) { return 1e6 + std::sin(7 * x) + 0.1 * x; };
  auto wave = [&](int64_t f, double x) { return f ? 2 * wave0(x) + 3 : wave0(x); };
  Task<T> k(grid<T>(3000), 2, wave);
  ASSERT_EQ(k.build(4, DF_PP_NATURAL, DF_BC_FREE_END), 0);
  const int64_t n = 4000;
  std::vector<T> l(n), r(n);
  for (int64_t q = 0; q < n; ++q) {
    l[q] = static_cast<T>(-1 + 3 * std::fmod(0.618034 * q, 1.0));
    r[q] = q < n / 2 ? static_cast<T>(l[q] + 0.001 * (q % 7)) : static_cast<T>(-1 + 3 * std::fmod(0.31 * q + 0.5, 1.0));
  }
  std::vector<T> out(n * 2);
  // The prefix sums are the second allocation: refused, the call fails and frees the first.
  zorp::test::df::expect_mem_failure([&] { return k.integrate(n, l.data(), r.data(), out.data()); }, 2);
  ASSERT_EQ(k.integrate(n, l.data(), r.data(), out.data()), 0);
  auto exact = [&](int64_t f, double a, double b) {  // long double, cell by cell
    long double s = 0;
    const T* c = k.c.data() + f * 4 * (k.nx - 1);
    for (int64_t i = 0; i + 1 < k.nx; ++i) {
      // The first and last cells' polynomials continue beyond the partition.
      const long double lo = i == 0 ? a : std::max<long double>(a, k.x[i]);
      const long double hi = i + 2 == k.nx ? b : std::min<long double>(b, k.x[i + 1]);
      if (hi <= lo) continue;
      auto P = [&](long double u) { return u * (c[4 * i] + u * (c[4 * i + 1] / 2 + u * (c[4 * i + 2] / 3 + u * c[4 * i + 3] / 4))); };
      s += P(hi - k.x[i]) - P(lo - k.x[i]);
    }
    return static_cast<double>(s);
  };
  for (int64_t q = 0; q < n; q += 11)
    for (int64_t f = 0; f < 2; ++f) {
      const double a = std::min(l[q], r[q]), b = std::max(l[q], r[q]);
      const double want = (l[q] > r[q] ? -1 : 1) * exact(f, a, b);
      ASSERT_NEAR(out[q * 2 + f], want, (sizeof(T) == 8 ? 1e-14 : 1e-6) * std::fabs(want) + 1e-300) << q << " " << f << " " << l[q] << " " << r[q];
    }
  for (int64_t q = 0; q < n; ++q)
    ASSERT_NEAR(out[q * 2 + 1], 2 * out[q * 2] + 3 * (double(r[q]) - l[q]), tol<T>() * (1 + std::fabs(out[q * 2 + 1]))) << q;
  // Uniform limits (first and last) and sorted limits give what the limits written out give.
  const T ul[2] = {T(-1.2), T(1.5)}, ur[2] = {T(2.1), T(0.1)};
  std::vector<T> wl(50), wr(50), o1(100), o2(100);
  for (int q = 0; q < 50; ++q) {
    wl[q] = ul[0] + static_cast<T>(q) * ((ul[1] - ul[0]) / T(49));
    wr[q] = ur[0] + static_cast<T>(q) * ((ur[1] - ur[0]) / T(49));
  }
  ASSERT_EQ(k.integrate(50, ul, ur, o1.data(), 0, DF_UNIFORM_SITES, DF_UNIFORM_SITES), 0);
  ASSERT_EQ(k.integrate(50, wl.data(), wr.data(), o2.data(), 0, DF_SORTED_DATA, 0), 0);
  for (int q = 0; q < 100; ++q) EXPECT_NEAR(o1[q], o2[q], tol<T>() * (1 + std::fabs(o2[q]))) << q;
}

template <typename T>
int part(int64_t*, const T* a, const T* b, T* r, void*) {
  r[0] = 1000 * (*b - *a);
  return *b > T(100) ? -9 : 0;
}

TYPED_TEST(Integ, CallbacksAndCodes) {
  using T = TypeParam;
  Task<T> k(grid<T>(10, false, 0, 1), 1, [](int64_t, double x) { return 1.0; });
  ASSERT_EQ(k.build(2, 0, 0), 0);
  void* cb = reinterpret_cast<void*>(&part<T>);
  const T l = -1, r = 2, beyond = 200;
  T out;
  ASSERT_EQ(k.integrate(1, &l, &r, &out, 0, 0, 0, cb, cb), 0);
  EXPECT_NEAR(out, 1000 + 1 + 1000, tol<T>() * 1000);
  EXPECT_EQ(k.integrate(1, &l, &beyond, &out, 0, 0, 0, cb, cb), -9);
  ASSERT_EQ(zorp_df_kernel_iEditVal(k.t, DF_ATTR_SPLINE_ORDER, 1), 0);
  EXPECT_EQ(k.integrate(1, &l, &r, &out), DF_ERROR_BAD_SPLINE_TYPE);
  ASSERT_EQ(k.integrate(1, &l, &r, &out, 0, 0, 0, cb, cb, cb), 0);
  EXPECT_NEAR(out, 3000, tol<T>() * 3000);
  ASSERT_EQ(k.build(0, DF_PP_LOOKUP, 0), 0);
  EXPECT_EQ(k.integrate(1, &l, &r, &out), DF_ERROR_BAD_SPLINE_TYPE);
  ASSERT_EQ(k.build(0, DF_PP_STEP_RIGHT, 0), 0);
  void* keep = k.t->y[0];
  k.t->y[0] = nullptr;
  EXPECT_EQ(k.integrate(1, &l, &r, &out), DF_ERROR_BAD_Y);
  k.t->y[0] = keep;
  const T dh[5] = {0, 3, 0, 0, 0};
  EXPECT_EQ(k.integrate(1, &l, &r, &out, 0, 0, 0, nullptr, nullptr, nullptr, dh), DF_ERROR_BAD_SEARCH_HINT);
  EXPECT_EQ(k.integrate(1, &l, &r, &out, 64), DF_ERROR_BAD_INTEGRATION_RHINT);
  // The pair count, limits, results and memory, in order after these: PairCountAtItsEdges.
  EXPECT_EQ(zorp_df_kernel_dDFIntegrate1D(nullptr, 0, 1, nullptr, 0, nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr,
                                          nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            DF_ERROR_NULL_TASK);
}

// nlim at its edges: 0 is an empty request (status 0 whatever the limits, the results and the
// spline's data are: nothing read, written, allocated or called back), 1 is checked in full
// and computed, -1 refused.  The spline is the line f(x) = x on [0, 1]; its pair [-1, 2] has
// the integral 1/2 inside the partition plus the callbacks' parts beyond it.
struct Calls {
  int end = 0, search = 0;
};
template <typename T>
int end_part(int64_t*, const T* a, const T* b, T* r, void* p) {
  ++static_cast<Calls*>(p)->end;
  r[0] = *b - *a;
  return 0;
}
template <typename T>
int search_none(int64_t*, const T*, void*, int32_t*, void* p) {
  ++static_cast<Calls*>(p)->search;
  return 0;  // the library finds every cell
}

TYPED_TEST(Integ, PairCountAtItsEdges) {
  using T = TypeParam;
  Task<T> k(grid<T>(10, false, 0, 1), 1, [](int64_t, double x) { return x; });
  ASSERT_EQ(k.build(2, 0, 0), 0);
  struct Row {
    int64_t nlim;
    bool llim, rlim, r, data, armed;  // given; the coefficients there; the next allocation fails
    int code;
  };
  const Row rows[] = {{0, false, false, false, true, false, 0},  {0, true, true, true, false, false, 0},
                      {0, true, true, true, true, true, 0},      {-1, true, true, true, true, false, DF_ERROR_BAD_NLIM},
                      {1, false, true, true, true, false, DF_ERROR_BAD_LLIM},
                      {1, true, false, true, true, false, DF_ERROR_BAD_RLIM},
                      {1, true, true, false, true, false, DF_ERROR_BAD_R},
                      {1, true, true, true, false, false, DF_ERROR_BAD_SCOEFF},
                      {1, true, true, true, true, true, DF_ERROR_MEM_FAILURE},
                      {1, true, true, true, true, false, 0}};
  const T l = -1, rr = 2;
  void* const coeff = k.t->coeff[0];
  for (const Row& row : rows) {
    Calls c;
    T out = T(-7);
    const int64_t live = zorp_core_live_allocations();
    k.t->coeff[0] = row.data ? coeff : nullptr;
    if (row.armed) zorp_core_fail_allocation(1);
    const int rc = zorp::test::df::Entries<T>::integrate(
        k.t, 0, row.nlim, row.llim ? &l : nullptr, 0, row.rlim ? &rr : nullptr, 0, nullptr, nullptr,
        row.r ? &out : nullptr, 0, &end_part<T>, &c, &end_part<T>, &c, nullptr, nullptr, &search_none<T>, &c);
    zorp_core_fail_allocation(0);
    k.t->coeff[0] = coeff;
    SCOPED_TRACE(testing::Message() << "nlim " << row.nlim << " llim " << row.llim << " rlim " << row.rlim << " r "
                                    << row.r << " data " << row.data << " armed " << row.armed);
    EXPECT_EQ(rc, row.code);
    EXPECT_EQ(zorp_core_live_allocations(), live);
    if (row.code == 0 && row.nlim == 1) {
      EXPECT_NEAR(out, 1 + 0.5 + 1, tol<T>());
      EXPECT_EQ(c.end, 2);
      EXPECT_EQ(c.search, 2) << "once for the left limits, once for the right ones";
    } else {
      EXPECT_EQ(out, T(-7));
      EXPECT_EQ(c.end, 0);
    }
    if (row.nlim == 0) {
      EXPECT_EQ(c.search, 0);
    }
  }
}

}  // namespace
