// Cell search: every method in every output form against a brute-force count of the points not
// above each site (the cell convention, written here independently), on clustered partitions with
// sites at, between and outside the points, NaN and far sites; the choice of method in Search1D
// from the hints, the user-callback protocol, the sorted method's start cell, and the codes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "zorp/core.h"
#include "df/spline_task.h"
#include "zorp/df.h"

namespace {

// The convention: 0 left of x[0] and NaN, the number of points <= t inside, nx-1 at the right
// end, nx beyond it.
template <typename T>
int64_t reference_cell(const std::vector<T>& x, T t) {
  const int64_t nx = static_cast<int64_t>(x.size());
  if (!(t >= x[0])) return 0;
  if (t == x[nx - 1]) return nx - 1;
  int64_t c = 0;
  for (T v : x) c += v <= t;
  return c;
}

template <typename T>
using Export32 = int (*)(int64_t, const T*, int64_t, const T*, T, int64_t*, T, const int64_t*, T,
                         int (*)(int64_t*, const T*, void*, int32_t*, void*), void*, int32_t*, int32_t*);
template <typename T>
using Export64 = int (*)(int64_t, const T*, int64_t, const T*, T, int64_t*, T, const int64_t*, T,
                         int (*)(int64_t*, const T*, void*, int32_t*, void*), void*, int32_t*, int64_t*);
template <typename T>
using ExportFlag = int (*)(int64_t, const T*, int64_t, const T*, T, int64_t*, T, const int64_t*, T,
                           int (*)(int64_t*, const T*, void*, int32_t*, void*), void*, int32_t*, void*, uint32_t);
template <typename T>
struct Forms {
  Export32<T> f32;
  Export64<T> f64, pack;
  ExportFlag<T> flag;
};
#define FORMS(p, M) \
  Forms<T> { zorp_df_kernel_##p##DF##M##Search1D32, zorp_df_kernel_##p##DF##M##Search1D64, zorp_df_kernel_##p##DF##M##Search1D64Pack, zorp_df_kernel_##p##DF##M##Search1D }
// Uniform, quasi-uniform, sorted, hybrid, peak, user, uniform user.
template <typename T>
std::vector<Forms<T>> methods() {
  if constexpr (sizeof(T) == 8)
    return {FORMS(d, Uniform), FORMS(d, QuasiUniform), FORMS(d, Sorted), FORMS(d, Hybrid),
            FORMS(d, Peak),    FORMS(d, UserDef),      FORMS(d, UniUserDef)};
  else
    return {FORMS(s, Uniform), FORMS(s, QuasiUniform), FORMS(s, Sorted), FORMS(s, Hybrid),
            FORMS(s, Peak),    FORMS(s, UserDef),      FORMS(s, UniUserDef)};
}

using zorp::test::df::Entries;

template <typename T>
DFTask* new_task(const std::vector<T>& x, int64_t xhint, uint32_t width = 0) {
  DFTask* t = nullptr;
  EXPECT_EQ(Entries<T>::new_task(&t, static_cast<int64_t>(x.size()), x.data(), xhint, 0, nullptr, 0, width), 0);
  return t;
}

template <typename T>
int search1d(DFTask* t, int64_t n, const T* s, int64_t sitehint, const T* dh, void* cell,
             typename Entries<T>::SearchCb cb = nullptr, void* p = nullptr) {
  return Entries<T>::search(t, 0, n, s, sitehint, dh, cell, cb, p, nullptr);
}

// A clustered partition and sites at, between and outside its points.
template <typename T>
void problem(int nx, int ns, uint64_t seed, std::vector<T>& x, std::vector<T>& s) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> u(0, 1);
  x.resize(nx);
  double v = -3;
  for (int i = 0; i < nx; ++i, v += (i % 50 < 40 ? 1e-3 : 1.0) * (0.5 + u(g))) x[i] = static_cast<T>(v);
  s.resize(ns);
  for (int j = 0; j < ns; ++j) {
    const int kind = j % 5;
    s[j] = kind == 0 ? x[g() % nx] : static_cast<T>(x[0] + (x[nx - 1] - x[0]) * (1.3 * u(g) - 0.15));
  }
  s[0] = x[nx - 1];
  s[1] = std::numeric_limits<T>::quiet_NaN();
  s[2] = static_cast<T>(1e30);
  s[3] = x[0];
}

template <typename T> class Search : public ::testing::Test {};
using Types = ::testing::Types<float, double>;
TYPED_TEST_SUITE(Search, Types);

TYPED_TEST(Search, SmallExampleInEveryForm) {
  using T = TypeParam;
  const std::vector<T> x = {0, 1, 2, 3, 4}, ends = {0, 4}, s = {-1, 0, T(0.5), 4, T(4.5), T(1e12)};
  const std::vector<int64_t> want = {0, 1, 1, 4, 5, 5};
  int64_t start = 0;
  int32_t flags[6];
  DFTask* t = new_task(x, 1);
  const auto M = methods<T>();
  for (size_t m = 0; m < M.size(); ++m) {
    const bool uni = m == 0 || m == 6;
    const T* xs = uni ? ends.data() : x.data();
    const T scale = m == 1 || uni ? T(1) : T(0);
    const T bs = sizeof(T) == 8 ? static_cast<T>(t->bucket_scale.d) : static_cast<T>(t->bucket_scale.s);
    std::vector<int32_t> c32(6, -9);
    std::vector<int64_t> c64(6, -9), cp(6, -9), cf(6, -9);
    start = 0;
    EXPECT_EQ(M[m].f32(5, xs, 6, s.data(), scale, &start, bs, t->buckets, T(2), nullptr, nullptr, flags, c32.data()), 0);
    start = 0;
    EXPECT_EQ(M[m].f64(5, xs, 6, s.data(), scale, &start, bs, t->buckets, T(2), nullptr, nullptr, flags, c64.data()), 0);
    start = 0;
    EXPECT_EQ(M[m].pack(5, xs, 6, s.data(), scale, &start, bs, t->buckets, T(2), nullptr, nullptr, flags, cp.data()), 0);
    start = 0;
    EXPECT_EQ(M[m].flag(5, xs, 6, s.data(), scale, &start, bs, t->buckets, T(2), nullptr, nullptr, flags, cf.data(), 3), 0);
    for (int j = 0; j < 6; ++j)
      for (int64_t got : {int64_t(c32[j]), c64[j], cp[j], cf[j]}) EXPECT_EQ(got, want[j]) << "method " << m << " site " << j;
  }
  zorp_df_kernel_DeleteTask(&t);
}

// Search1D over every way of choosing the method (and so every method on long data), 32- and
// 64-bit cells, against the reference; sites sparser and denser than the points (the sorted
// method counts points for eight sorted sites at once and gallops to far ones), and sites that
// are not sorted under the sorted hint; a uniform partition against the uniform formula.
TYPED_TEST(Search, EveryMethodMatchesTheConvention) {
  using T = TypeParam;
  for (int nx : {2, 9, 300, 5000})
  for (int ns : {203, 3 * nx + 5}) {
    std::vector<T> x, s;
    problem<T>(nx, ns, nx, x, s);
    std::vector<T> sorted = s;
    std::sort(sorted.begin() + 2, sorted.end());  // a NaN first stays first
    sorted[0] = x[0] - 1;
    sorted[1] = std::numeric_limits<T>::quiet_NaN();
    std::swap(sorted[0], sorted[1]);
    struct Row { int64_t xhint, sitehint; bool peak; const std::vector<T>* sites; };
    for (Row r : {Row{1, 0, false, &s}, Row{0, 0, true, &s}, Row{2, 0, false, &s}, Row{1, 64, false, &sorted},
                  Row{1, 64, false, &s}})
      for (uint32_t width : {0u, 1u}) {
        DFTask* t = new_task(x, r.xhint, width);
        const T dh[5] = {0, T(r.peak ? 1 : 0), 0, 0, T(nx / 3)};
        std::vector<int64_t> c64(r.sites->size(), -9);
        std::vector<int32_t> c32(r.sites->size(), -9);
        ASSERT_EQ(search1d<T>(t, static_cast<int64_t>(r.sites->size()), r.sites->data(), r.sitehint,
                              r.peak || r.xhint == 1 ? dh : nullptr, width ? static_cast<void*>(c64.data()) : c32.data()),
                  0);
        for (size_t j = 0; j < r.sites->size(); ++j)
          ASSERT_EQ(width ? c64[j] : c32[j], reference_cell(x, (*r.sites)[j]))
              << "nx " << nx << " xhint " << r.xhint << " sitehint " << r.sitehint << " site " << j;
        zorp_df_kernel_DeleteTask(&t);
      }
  }
  // Uniform: x = [0, 10] with nx = 11 reads only the two ends.
  const std::vector<T> ends = {0, 10}, s = {-1, 0, T(0.5), 10, T(10.5), T(9.99), 3, T(1e12)};
  DFTask* t = new_task(ends, DF_UNIFORM_PARTITION);
  t->nx = 11;
  std::vector<int32_t> c(s.size());
  ASSERT_EQ(search1d<T>(t, static_cast<int64_t>(s.size()), s.data(), 0, nullptr, c.data()), 0);
  EXPECT_EQ(c, (std::vector<int32_t>{0, 1, 1, 10, 11, 10, 4, 11}));
  // The ends decide by comparison where the rounded scale would not: one step of the type
  // inside either end stays inside (cells 1 and nx-1), one step beyond goes to 0 or nx, by the
  // vector formula (Search1D) and the scalar one (the uniform user-defined method, no callback).
  {
    const T inf = std::numeric_limits<T>::infinity();
    const std::vector<T> e = {-1, 2};
    const std::vector<T> at_ends = {std::nextafter(T(2), -inf), T(2), std::nextafter(T(2), inf),
                                 std::nextafter(T(-1), -inf), T(-1), std::nextafter(T(-1), inf)};
    const std::vector<int64_t> want = {8, 8, 9, 0, 1, 1};
    DFTask* u = new_task(e, DF_UNIFORM_PARTITION);
    u->nx = 9;
    std::vector<int32_t> c32(at_ends.size(), -9);
    ASSERT_EQ(search1d<T>(u, static_cast<int64_t>(at_ends.size()), at_ends.data(), 0, nullptr, c32.data()), 0);
    const std::vector<int64_t> cv(c32.begin(), c32.end());
    std::vector<int64_t> cs(at_ends.size(), -9);
    int32_t flags[6];
    const T scale = T(8) / (e[1] - e[0]);
    ASSERT_EQ(methods<T>()[6].f64(9, e.data(), 6, at_ends.data(), scale, nullptr, 0, nullptr, 0, nullptr, nullptr, flags, cs.data()), 0);
    EXPECT_EQ(cv, want);
    EXPECT_EQ(cs, want);
    zorp_df_kernel_DeleteTask(&u);
  }
  // Uniform sites: first and last site only.
  const T us[2] = {-1, T(11)};
  std::vector<int32_t> cu(13);
  ASSERT_EQ(search1d<T>(t, 13, us, DF_UNIFORM_SITES, nullptr, cu.data()), 0);
  for (int j = 0; j < 13; ++j) EXPECT_EQ(cu[j], j == 0 ? 0 : j == 11 ? 10 : j == 12 ? 11 : j) << j;
  zorp_df_kernel_DeleteTask(&t);
}

// The callback marks odd sites done with cell 7; even sites get a wrong guess the library
// corrects; 1000 ends the call; a negative result comes back.
template <typename T>
int odd_sites(int64_t* n, const T*, void* cell, int32_t* flag, void* p) {
  const int mode = *static_cast<int*>(p);
  for (int64_t j = 0; j < *n; ++j) {
    static_cast<int32_t*>(cell)[j] = j % 2 ? 7 : 1000000;
    flag[j] = j % 2;
  }
  return mode;
}

TYPED_TEST(Search, UserCallbackProtocol) {
  using T = TypeParam;
  std::vector<T> x, s;
  problem<T>(100, 40, 3, x, s);
  for (int64_t xhint : {int64_t(1), int64_t(DF_UNIFORM_PARTITION)}) {
    std::vector<T> xs = xhint == 1 ? x : std::vector<T>{x[0], x[99]};
    DFTask* t = new_task(xs, xhint);
    t->nx = 100;
    for (int mode : {0, 1000, -5}) {
      std::vector<int32_t> c(40, -9);
      const int64_t live = zorp_core_live_allocations();
      EXPECT_EQ(search1d<T>(t, 40, s.data(), 0, nullptr, c.data(), odd_sites<T>, &mode), mode < 0 ? mode : 0);
      EXPECT_EQ(zorp_core_live_allocations(), live) << "the callback's flags are freed whatever it returns";
      if (mode < 0) continue;
      const T scale = T(99) / (xs[1] - xs[0]);
      for (int j = 0; j < 40; ++j) {
        int64_t want = j % 2 ? 7 : mode == 1000 ? 1000000 : reference_cell(x, s[j]);
        if (xhint != 1 && j % 2 == 0 && mode != 1000) {  // the uniform formula
          const T u = (s[j] - xs[0]) * scale;
          want = !(s[j] >= xs[0]) ? 0 : s[j] == xs[1] ? 99 : s[j] > xs[1] ? 100 : (u < T(98) ? int64_t(u) : 98) + 1;
        }
        EXPECT_EQ(c[j], want) << "xhint " << xhint << " mode " << mode << " site " << j;
      }
    }
    zorp_df_kernel_DeleteTask(&t);
  }
}

TYPED_TEST(Search, SortedStartAndCodes) {
  using T = TypeParam;
  const std::vector<T> x = {0, 1, 2, 3, 4, 5, 6, 7}, s = {T(2.5), T(3.5), T(6.5)};
  int64_t start = 2;
  int64_t c[3];
  int32_t flag[3];
  const auto sorted = methods<T>()[2];
  ASSERT_EQ(sorted.f64(8, x.data(), 3, s.data(), 0, &start, 0, nullptr, 0, nullptr, nullptr, flag, c), 0);
  EXPECT_EQ(start, 7);
  EXPECT_EQ(c[2], 7);
  DFTask* t = new_task(x, 1);
  int32_t c32[3];
  T dh[5] = {0, T(0.5), 0, 0, 0};
  EXPECT_EQ(search1d<T>(nullptr, 3, s.data(), 0, nullptr, c32), DF_ERROR_NULL_TASK);
  EXPECT_EQ(search1d<T>(t, 3, s.data(), 0, dh, c32), DF_ERROR_BAD_SEARCH_HINT);
  // The peak index lies in [0, nx]: both ends accepted, one step of the type beyond refused.
  const T inf = std::numeric_limits<T>::infinity();
  const struct { T peak; int code; } peaks[] = {{T(0), 0}, {T(8), 0}, {T(3.5), 0},
                                                {std::nextafter(T(0), -inf), DF_ERROR_BAD_SEARCH_HINT},
                                                {std::nextafter(T(8), inf), DF_ERROR_BAD_SEARCH_HINT},
                                                {std::numeric_limits<T>::quiet_NaN(), DF_ERROR_BAD_SEARCH_HINT}};
  for (const auto& pk : peaks) {
    dh[1] = 1, dh[4] = pk.peak;
    EXPECT_EQ(search1d<T>(t, 3, s.data(), 0, dh, c32), pk.code) << pk.peak;
    if (pk.code == 0) EXPECT_EQ(c32[2], 7) << pk.peak;
  }
  EXPECT_EQ(search1d<T>(t, -1, s.data(), 0, nullptr, c32), DF_ERROR_BAD_NSITE);
  EXPECT_EQ(search1d<T>(t, 0, nullptr, 0, nullptr, nullptr), 0);  // no sites: nothing to read or write
  EXPECT_EQ(search1d<T>(t, 3, nullptr, 0, nullptr, c32), DF_ERROR_BAD_SITE);
  EXPECT_EQ(search1d<T>(t, 3, s.data(), 0, nullptr, nullptr), DF_ERROR_BAD_CELL);
  int mode = 0;
  zorp::test::df::expect_mem_failure([&] { return search1d<T>(t, 3, s.data(), 0, nullptr, c32, odd_sites<T>, &mode); });
  zorp_df_kernel_DeleteTask(&t);
}

}  // namespace
