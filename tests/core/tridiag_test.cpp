// Tridiagonal solvers without pivoting: residuals of A x = b and A^T x = b against the matrix
// multiplied out directly, the factors reused for several right-hand sides, zero pivots and
// argument errors.
#include <gtest/gtest.h>
#include <zorp/core.h>

#include <cmath>
#include <random>
#include <vector>

namespace {
template <typename T>
struct Tri;
template <>
struct Tri<double> {
  static constexpr auto trf = ddttrfb_4dfl;
  static constexpr auto trs = ddttrsb_4dfl;
  static constexpr auto sv = ddtsvb_4dfl;
  static double tol() { return 1e-13; }
};
template <>
struct Tri<float> {
  static constexpr auto trf = sdttrfb_4dfl;
  static constexpr auto trs = sdttrsb_4dfl;
  static constexpr auto sv = sdtsvb_4dfl;
  static double tol() { return 2e-6; }
};

template <typename T>
class TridiagTest : public ::testing::Test {
 protected:
  std::mt19937 gen{7};
  std::vector<T> rnd(int n, double lo, double hi) {
    std::uniform_real_distribution<double> u(lo, hi);
    std::vector<T> v(n > 0 ? n : 0);
    for (T& e : v) e = T(u(gen));
    return v;
  }
  // Diagonally dominant, like the spline systems: |d| >= 2 > |dl| + |du|.
  void system(int n, std::vector<T>& dl, std::vector<T>& d, std::vector<T>& du) {
    dl = rnd(n - 1, -0.9, 0.9);
    du = rnd(n - 1, -0.9, 0.9);
    d = rnd(n, 2.0, 4.0);
  }
  // max |op(A) x - b| over all right-hand sides.
  static double residual(bool trans, int n, int nrhs, const std::vector<T>& dl, const std::vector<T>& d,
                         const std::vector<T>& du, const std::vector<T>& x, const std::vector<T>& b, int ldb) {
    double worst = 0;
    for (int j = 0; j < nrhs; ++j)
      for (int i = 0; i < n; ++i) {
        const T* xj = x.data() + j * ldb;
        double s = double(d[i]) * xj[i];
        // A(i,i-1) = dl[i-1], A(i,i+1) = du[i]; the transpose swaps the off-diagonals.
        if (i > 0) s += double(trans ? du[i - 1] : dl[i - 1]) * xj[i - 1];
        if (i + 1 < n) s += double(trans ? dl[i] : du[i]) * xj[i + 1];
        worst = std::max(worst, std::abs(s - b[i + j * ldb]));
      }
    return worst;
  }
};
using Types = ::testing::Types<double, float>;
TYPED_TEST_SUITE(TridiagTest, Types);

TYPED_TEST(TridiagTest, ZeroPivotIsReportedByRow) {
  using T = TypeParam;
  const int n = 4, nrhs = 1, ldb = 4;
  // Second pivot: d[1] - (dl[0]/d[0]) * du[0] = 2 - (1/1)*2 = 0.
  std::vector<T> dl{1, 1, 1}, d{1, 2, 3, 3}, du{2, 1, 1};
  auto b = this->rnd(4, -1, 1);
  const auto b0 = b;
  int info = 0;
  auto fl = dl, fd = d, fu = du;
  Tri<T>::trf(&n, fl.data(), fd.data(), fu.data(), &info);
  EXPECT_EQ(info, 2);
  fl = dl, fd = d, fu = du;
  Tri<T>::sv(&n, &nrhs, fl.data(), fd.data(), fu.data(), b.data(), &ldb, &info);
  EXPECT_EQ(info, 2);
  EXPECT_EQ(b, b0);  // nothing solved with a broken factor
  std::vector<T> last_dl{0}, last_d{1, 0}, last_du{5};
  const int two = 2;
  Tri<T>::trf(&two, last_dl.data(), last_d.data(), last_du.data(), &info);
  EXPECT_EQ(info, 2);
  std::vector<T> first_d{0, 1};
  Tri<T>::trf(&two, last_dl.data(), first_d.data(), last_du.data(), &info);
  EXPECT_EQ(info, 1);
}

// Columns are solved in groups (eight at a time, vector tiles of eight rows where the
// processor allows): both ways, every column must come out with the bits of the same column
// solved alone and meet the residual bound, for lengths that do and do not fill the tiles; the
// factors leave the super-diagonal as it is, the padding rows stay untouched, and the solve in
// one call meets the bound for one column and for several (ldb = n, the least accepted).
TYPED_TEST(TridiagTest, FactorSolveGroupedColumnsAndSolveInOne) {
  using T = TypeParam;
  const int one = 1;
  for (int n : {1, 2, 3, 5, 8, 13, 64, 203})
    for (bool trans : {false, true}) {
      SCOPED_TRACE(testing::Message() << "n " << n << " trans " << trans);
      std::vector<T> dl, d, du;
      this->system(n, dl, d, du);
      int info = -99;
      auto fl = dl, fd = d, fu = du;
      Tri<T>::trf(&n, fl.data(), fd.data(), fu.data(), &info);
      ASSERT_EQ(info, 0);
      EXPECT_EQ(fu, du);  // the super-diagonal is part of U unchanged
      const int nrhs = 19, ldb = n + 3;
      const auto b = this->rnd(ldb * nrhs, -3, 3);
      auto x = b;
      Tri<T>::trs(trans ? "T" : "N", &n, &nrhs, fl.data(), fd.data(), fu.data(), x.data(), &ldb, &info);
      ASSERT_EQ(info, 0);
      EXPECT_LT(this->residual(trans, n, nrhs, dl, d, du, x, b, ldb), 10 * Tri<T>::tol());
      for (int j = 0; j < nrhs; ++j) {
        std::vector<T> col(b.begin() + j * ldb, b.begin() + j * ldb + n);
        Tri<T>::trs(trans ? "t" : "n", &n, &one, fl.data(), fd.data(), fu.data(), col.data(), &n, &info);
        for (int i = 0; i < n; ++i) ASSERT_EQ(col[i], x[j * ldb + i]) << "column " << j << " row " << i;
        for (int i = n; i < ldb; ++i) ASSERT_EQ(x[j * ldb + i], b[j * ldb + i]);  // padding untouched
      }
      if (trans) continue;
      for (int k : {1, 2}) {
        auto sl = dl, sd = d, su = du;
        std::vector<T> bk(b.begin(), b.begin() + k * n), xk = bk;
        Tri<T>::sv(&n, &k, sl.data(), sd.data(), su.data(), xk.data(), &n, &info);
        ASSERT_EQ(info, 0);
        EXPECT_LT(this->residual(false, n, k, dl, d, du, xk, bk, n), 10 * Tri<T>::tol()) << k << " columns";
      }
    }
}

// Long single systems: a dominant one goes through the partitioned elimination (blocks of
// rows eliminated side by side), one that is dominant everywhere but in its last row, or has a
// NaN, or a zero pivot far down, through the plain one; the answers must not tell them apart.
TYPED_TEST(TridiagTest, LongSystemsEitherPath) {
  using T = TypeParam;
  const int one = 1;
  for (int n : {16384 + 1, 16384 + 4099, 70001}) {
    for (int variant = 0; variant < 3; ++variant) {
      std::vector<T> dl, d, du;
      this->system(n, dl, d, du);
      if (variant == 1) dl[n - 2] = T(9);  // last row not dominant: plain path
      const auto b = this->rnd(n, -2, 2);
      auto fl = dl, fd = d, fu = du, x = b;
      int info = -99;
      if (variant == 2) fd[n / 2] = std::nan("");  // NaN: plain path, NaN answers, no zero pivot
      Tri<T>::sv(&n, &one, fl.data(), fd.data(), fu.data(), x.data(), &n, &info);
      ASSERT_EQ(info, 0) << "n " << n << " variant " << variant;
      if (variant == 2) {
        EXPECT_TRUE(std::isnan(x[0]));
        continue;
      }
      EXPECT_LT(this->residual(false, n, 1, dl, d, du, x, b, n), 10 * Tri<T>::tol()) << "n " << n << " variant " << variant;
      EXPECT_EQ(fu, du);  // the super-diagonal is only read
    }
    // A zero pivot far down the system is reported by its row and leaves b as it was.
    std::vector<T> dl(n - 1, T(1)), d(n, T(3)), du(n - 1, T(1));
    d[n - 5] = T(1);
    du[n - 6] = T(0), dl[n - 6] = T(0);  // row n-5 starts fresh: pivot 1 - dl*du/1 = 0 below
    dl[n - 5] = T(1), du[n - 5] = T(1);
    d[n - 4] = T(1);
    auto b = this->rnd(n, -1, 1);
    const auto b0 = b;
    int info = 0;
    Tri<T>::sv(&n, &one, dl.data(), d.data(), du.data(), b.data(), &n, &info);
    EXPECT_EQ(info, n - 3);
    EXPECT_EQ(b, b0);
  }
}

// Each routine's checks in order, the first failing one reported by its argument's position
// and nothing touched; zero rows or zero columns are a valid empty request.
TYPED_TEST(TridiagTest, ArgumentErrorsInOrder) {
  using T = TypeParam;
  const std::vector<T> dl(3, 1), d(4, 4), du(3, 1), b(8, 1);
  struct Row { char routine; const char* trans; int n, nrhs, ldb, info; };
  const Row rows[] = {{'f', "N", -1, 2, 4, -1}, {'f', "N", 0, 2, 4, 0},
                      {'s', "X", 4, 2, 4, -1},  {'s', "X", -1, 2, 4, -1},  // the first failing check wins
                      {'s', "N", -1, 2, 4, -2}, {'s', "t", 4, -1, 4, -3}, {'s', "c", 4, 1, 4, 0}, {'s', "N", 4, 2, 3, -8},
                      {'s', "N", 0, 2, 1, 0},   {'s', "N", 4, 0, 4, 0},
                      {'v', "N", -1, 2, 4, -1}, {'v', "N", 4, -1, 4, -2}, {'v', "N", 4, 2, 3, -7},
                      {'v', "N", 0, 2, 1, 0},   {'v', "N", 4, 0, 4, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.routine << " " << r.trans << " n " << r.n << " nrhs " << r.nrhs << " ldb " << r.ldb);
    auto l = dl, m = d, u = du, x = b;
    int info = 99;
    if (r.routine == 'f') Tri<T>::trf(&r.n, l.data(), m.data(), u.data(), &info);
    if (r.routine == 's') Tri<T>::trs(r.trans, &r.n, &r.nrhs, l.data(), m.data(), u.data(), x.data(), &r.ldb, &info);
    if (r.routine == 'v') Tri<T>::sv(&r.n, &r.nrhs, l.data(), m.data(), u.data(), x.data(), &r.ldb, &info);
    EXPECT_EQ(info, r.info);
    if (r.info < 0 || r.n == 0) EXPECT_TRUE(l == dl && m == d && u == du && x == b) << "refused or empty: nothing touched";
  }
}
}  // namespace
