// BLAS/LAPACK adapters against straightforward loops on small matrices, in both precisions and
// for the plain and the x-prefixed entries. Flags cover every combination the adapters pass on;
// a wrong hidden-length or argument order shows up as a wrong result or a crash here.
#include <gtest/gtest.h>
#include <zorp/core.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {
template <typename T, bool X>
struct Api;
#define ZORP_API_ROW(T, p, X, x)                                                  \
  template <>                                                                     \
  struct Api<T, X> {                                                              \
    static constexpr auto syrk = zorp_blas_##x##p##syrk;                          \
    static constexpr auto syr = zorp_blas_##x##p##syr;                            \
    static constexpr auto gemm = zorp_blas_##x##p##gemm;                          \
    static constexpr auto gemv = zorp_blas_##x##p##gemv;                          \
    static constexpr auto trmm = zorp_blas_##x##p##trmm;                          \
    static constexpr auto symm = zorp_blas_##x##p##symm;                          \
    static constexpr auto trmm4 = X ? zorp_blas_x##p##trmm_4fenn : zorp_blas4fenn_##p##trmm; \
    static constexpr auto ptrmm = zorp_blas4fenn_##p##ptrmm;                      \
    static constexpr auto potrf = zorp_lapack_##p##potrf;                         \
    static constexpr auto trtri = zorp_lapack_##p##trtri;                         \
    static constexpr auto potri = zorp_lapack_##p##potri;                         \
    static constexpr auto syev = zorp_lapack_##p##syev;                           \
    static constexpr auto spevd = zorp_lapack_##p##spevd;                         \
  };
ZORP_API_ROW(double, d, false, )
ZORP_API_ROW(double, d, true, x)
ZORP_API_ROW(float, s, false, )
ZORP_API_ROW(float, s, true, x)

template <typename T, bool X>
struct Case {
  using type = T;
  using api = Api<T, X>;
};

// alpha * sum_l a(i, l) * b(l, j) + beta * c(i, j) in double, over the entries (i, j) of an
// m x n column-major c (leading dimension ld) that `in` admits; the others stay as they were.
template <typename T, typename A, typename B, typename In>
std::vector<T> product(std::vector<T> c, int ld, int m, int n, int k, double alpha, A a, B b, double beta, In in) {
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < m; ++i) {
      if (!in(i, j)) continue;
      double s = 0;
      for (int l = 0; l < k; ++l) s += double(a(i, l)) * double(b(l, j));
      c[i + j * ld] = T(alpha * s + beta * c[i + j * ld]);
    }
  return c;
}
const auto every = [](int, int) { return true; };

// The triangle of a column-major n x n matrix, packed by columns.
template <typename T>
std::vector<T> packed(const std::vector<T>& a, int n, bool upper) {
  std::vector<T> ap;
  for (int j = 0; j < n; ++j)
    for (int i = upper ? 0 : j; i < (upper ? j + 1 : n); ++i) ap.push_back(a[i + j * n]);
  return ap;
}

template <typename C>
class BlasTest : public ::testing::Test {
 public:
  using T = typename C::type;
  using A = typename C::api;
  std::mt19937 gen{12345};
  static T tol() { return std::is_same_v<T, float> ? T(2e-5) : T(1e-12); }
  std::vector<T> rnd(size_t n) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<T> v(n);
    for (T& e : v) e = static_cast<T>(u(gen));
    return v;
  }
  // op(A)(i,j) for a column-major matrix with leading dimension ld.
  static T op(const std::vector<T>& a, int ld, bool t, int i, int j) { return t ? a[j + i * ld] : a[i + j * ld]; }
  void expect_near(const std::vector<T>& got, const std::vector<T>& want, T scale = 1) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], tol() * scale * 8) << "at " << i;
  }
};
using Cases = ::testing::Types<Case<double, false>, Case<double, true>, Case<float, false>, Case<float, true>>;
TYPED_TEST_SUITE(BlasTest, Cases);

TYPED_TEST(BlasTest, Gemm) {
  using T = typename TestFixture::T;
  const int m = 5, n = 4, k = 3, ld = 7;
  for (bool ta : {false, true})
    for (bool tb : {false, true}) {
      auto a = this->rnd(ld * 7), b = this->rnd(ld * 7), c = this->rnd(ld * n);
      const T alpha = T(1.5), beta = T(-0.5);
      const auto want = product(c, ld, m, n, k, alpha, [&](int i, int l) { return this->op(a, ld, ta, i, l); },
                                [&](int l, int j) { return this->op(b, ld, tb, l, j); }, beta, every);
      TypeParam::api::gemm(ta ? "T" : "N", tb ? "t" : "n", &m, &n, &k, &alpha, a.data(), &ld, b.data(), &ld, &beta,
                           c.data(), &ld);
      this->expect_near(c, want);
    }
}

// y with increment incy is a one-row matrix of leading dimension incy.
TYPED_TEST(BlasTest, Gemv) {
  using T = typename TestFixture::T;
  const int m = 6, n = 4, ld = 6, incx = 2, incy = 3;
  for (bool t : {false, true}) {
    auto a = this->rnd(ld * n), x = this->rnd(16), y = this->rnd(24);
    const T alpha = T(0.75), beta = T(2);
    const auto want = product(y, incy, 1, t ? n : m, t ? m : n, alpha, [&](int, int l) { return x[l * incx]; },
                              [&](int l, int i) { return this->op(a, ld, t, i, l); }, beta, every);
    TypeParam::api::gemv(t ? "T" : "N", &m, &n, &alpha, a.data(), &ld, x.data(), &incx, &beta, y.data(), &incy);
    this->expect_near(y, want);
  }
}

TYPED_TEST(BlasTest, SyrkTouchesOnlyItsTriangle) {
  using T = typename TestFixture::T;
  const int n = 5, k = 3, lda = 6, ldc = 6;
  for (bool upper : {false, true})
    for (bool t : {false, true}) {
      auto a = this->rnd(lda * 6), c = this->rnd(ldc * n);
      const T alpha = T(-1.25), beta = T(0.5);
      const auto want = product(c, ldc, n, n, k, alpha, [&](int i, int l) { return this->op(a, lda, t, i, l); },
                                [&](int l, int j) { return this->op(a, lda, t, j, l); }, beta,
                                [&](int i, int j) { return upper ? i <= j : i >= j; });
      TypeParam::api::syrk(upper ? "U" : "L", t ? "T" : "N", &n, &k, &alpha, a.data(), &lda, &beta, c.data(), &ldc);
      this->expect_near(c, want);
    }
}

TYPED_TEST(BlasTest, Syr) {
  using T = typename TestFixture::T;
  const int n = 5, lda = 5;
  for (bool upper : {false, true})
    for (int incx : {1, 2, -1}) {
      auto x = this->rnd(12), a = this->rnd(lda * n);
      const T alpha = T(0.5);
      // A negative increment walks x backwards from its far end.
      auto xe = [&](int i) { return incx > 0 ? x[i * incx] : x[(n - 1 - i) * -incx]; };
      const auto want = product(a, lda, n, n, 1, alpha, [&](int i, int) { return xe(i); },
                                [&](int, int j) { return xe(j); }, 1.0,
                                [&](int i, int j) { return upper ? i <= j : i >= j; });
      TypeParam::api::syr(upper ? "U" : "L", &n, &alpha, x.data(), &incx, a.data(), &lda);
      this->expect_near(a, want);
    }
}

// Dense reference of alpha*op(A)*B or alpha*B*op(A) with A triangular (the other triangle of
// `a` holds garbage that must not be read).
template <typename T>
std::vector<T> trmm_ref(bool left, bool upper, bool trans, bool unit, int m, int n, T alpha,
                        const std::vector<T>& a, int lda, const std::vector<T>& b, int ldb) {
  auto tri = [&](int i, int j) -> double {  // A(i,j) as a triangular matrix
    if (i == j) return unit ? 1.0 : a[i + j * lda];
    if (upper ? i > j : i < j) return 0.0;
    return a[i + j * lda];
  };
  auto opa = [&](int i, int j) { return trans ? tri(j, i) : tri(i, j); };
  auto bij = [&](int i, int j) { return b[i + j * ldb]; };
  if (left) return product(b, ldb, m, n, m, alpha, opa, bij, 0.0, every);
  return product(b, ldb, m, n, n, alpha, bij, opa, 0.0, every);
}

TYPED_TEST(BlasTest, TrmmAllFlags) {
  using T = typename TestFixture::T;
  const int m = 4, n = 3, lda = 5, ldb = 6;
  for (bool left : {true, false})
    for (bool upper : {true, false})
      for (bool trans : {false, true})
        for (bool unit : {false, true}) {
          const char* f[4] = {left ? "L" : "R", upper ? "U" : "L", trans ? "T" : "N", unit ? "U" : "N"};
          auto a = this->rnd(lda * 5), b = this->rnd(ldb * n);
          const T alpha = T(-0.75);
          const auto want = trmm_ref<T>(left, upper, trans, unit, m, n, alpha, a, lda, b, ldb);
          auto b1 = b, b2 = b;
          TypeParam::api::trmm(f[0], f[1], f[2], f[3], &m, &n, &alpha, a.data(), &lda, b1.data(), &ldb);
          TypeParam::api::trmm4(f[0], f[1], f[2], f[3], &m, &n, &alpha, a.data(), &lda, b2.data(), &ldb);
          this->expect_near(b1, want);
          this->expect_near(b2, want);
        }
}

// The packed multiply must agree with the dense reference both when it can unpack A into
// scratch and when the allocation is refused and it works column by column.
TYPED_TEST(BlasTest, PackedTrmmWithAndWithoutScratch) {
  using T = typename TestFixture::T;
  const int m = 5, n = 4, ldb = 7;
  for (bool left : {true, false})
    for (bool upper : {true, false})
      for (bool trans : {false, true})
        for (bool unit : {false, true})
          for (T alpha : {T(1), T(2.5), T(0)})
            for (bool scratch : {true, false}) {
              const int k = left ? m : n;
              auto a = this->rnd(k * k), b = this->rnd(ldb * n);
              std::vector<T> ap = packed(a, k, upper);
              const auto want = trmm_ref<T>(left, upper, trans, unit, m, n, alpha, a, k, b, ldb);
              const int64_t live = zorp_core_live_allocations();
              if (!scratch) zorp_core_fail_allocation(1);
              TypeParam::api::ptrmm(left ? "L" : "R", upper ? "U" : "L", trans ? "T" : "N", unit ? "U" : "N", &m, &n,
                                    &alpha, ap.data(), b.data(), &ldb);
              zorp_core_fail_allocation(0);
              EXPECT_EQ(zorp_core_live_allocations(), live);
              this->expect_near(b, want);
            }
}

// Bad flags and sizes (ldb = m - 1, the first refused) leave B alone, also with alpha = 0, which
// would zero B without reaching the level-3 routine and its own check of ldb.
TYPED_TEST(BlasTest, PackedTrmmRejectsBadArguments) {
  using T = typename TestFixture::T;
  const int m = 3, n = 3, bad_ldb = 2, ldb = 3, neg = -1;
  auto ap = this->rnd(6), b = this->rnd(9);
  const auto before = b;
  for (const T alpha : {T(1), T(0)}) {
    TypeParam::api::ptrmm("X", "U", "N", "N", &m, &n, &alpha, ap.data(), b.data(), &ldb);
    TypeParam::api::ptrmm("L", "U", "N", "N", &m, &n, &alpha, ap.data(), b.data(), &bad_ldb);
    TypeParam::api::ptrmm("L", "U", "N", "N", &neg, &n, &alpha, ap.data(), b.data(), &ldb);
  }
  EXPECT_EQ(b, before);
}

TYPED_TEST(BlasTest, Symm) {
  using T = typename TestFixture::T;
  const int m = 4, n = 3, ld = 5;
  for (bool left : {true, false})
    for (bool upper : {true, false}) {
      auto a = this->rnd(ld * 5), b = this->rnd(ld * n), c = this->rnd(ld * n);
      auto sym = [&](int i, int j) { return (upper ? i <= j : i >= j) ? a[i + j * ld] : a[j + i * ld]; };
      auto bij = [&](int i, int j) { return b[i + j * ld]; };
      const T alpha = T(1.25), beta = T(-1);
      const auto want = left ? product(c, ld, m, n, m, alpha, sym, bij, beta, every)
                             : product(c, ld, m, n, n, alpha, bij, sym, beta, every);
      TypeParam::api::symm(left ? "L" : "R", upper ? "U" : "L", &m, &n, &alpha, a.data(), &ld, b.data(), &ld, &beta,
                           c.data(), &ld);
      this->expect_near(c, want);
    }
}

// A symmetric positive definite matrix M*M^T + n*I, full storage.
template <typename F>
std::vector<typename F::T> spd(F& f, int n) {
  using T = typename F::T;
  const auto mm = f.rnd(n * n);
  std::vector<T> eye(n * n);
  for (int i = 0; i < n; ++i) eye[i + i * n] = T(n);
  return product(eye, n, n, n, n, 1.0, [&](int i, int l) { return mm[i + l * n]; },
                 [&](int l, int j) { return mm[j + l * n]; }, 1.0, every);
}

// max |x(i, j) - want(i, j)| over an n x n matrix.
template <typename T, typename W>
double worst(const std::vector<T>& x, int n, W want) {
  double w = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) w = std::max(w, std::fabs(double(x[i + j * n]) - want(i, j)));
  return w;
}
const auto identity = [](int i, int j) { return i == j ? 1.0 : 0.0; };

TYPED_TEST(BlasTest, PotrfPotriInvert) {
  using T = typename TestFixture::T;
  const int n = 5;
  for (bool upper : {true, false}) {
    const auto a = spd(*this, n);
    auto f = a;
    int info = -99;
    TypeParam::api::potrf(upper ? "U" : "L", &n, f.data(), &n, &info);
    ASSERT_EQ(info, 0);
    // The factor reproduces A: U^T U or L L^T.
    auto g = [&](int i, int l) -> double { return l > i ? 0 : upper ? f[l + i * n] : f[i + l * n]; };
    const auto back = product(std::vector<T>(n * n), n, n, n, n, 1.0, g, [&](int l, int j) { return g(j, l); }, 0.0, every);
    EXPECT_LT(worst(back, n, [&](int i, int j) { return a[i + j * n]; }), 50 * this->tol() * n);
    TypeParam::api::potri(upper ? "U" : "L", &n, f.data(), &n, &info);
    ASSERT_EQ(info, 0);
    auto inv = [&](int l, int j) { return upper ? f[std::min(l, j) + std::max(l, j) * n] : f[std::max(l, j) + std::min(l, j) * n]; };
    const auto one = product(std::vector<T>(n * n), n, n, n, n, 1.0, [&](int i, int l) { return a[i + l * n]; }, inv, 0.0, every);
    EXPECT_LT(worst(one, n, identity), 50 * this->tol() * n);
  }
  auto bad = spd(*this, n);
  bad[2 + 2 * n] = T(-100);  // the third leading minor is no longer positive
  int info = 0;
  TypeParam::api::potrf("U", &n, bad.data(), &n, &info);
  EXPECT_EQ(info, 3);
  const int neg = -1;
  TypeParam::api::potrf("U", &neg, bad.data(), &n, &info);
  EXPECT_EQ(info, -2);
}

TYPED_TEST(BlasTest, TrtriInverts) {
  using T = typename TestFixture::T;
  const int n = 4;
  for (bool upper : {true, false})
    for (bool unit : {false, true}) {
      auto a = this->rnd(n * n);
      for (int i = 0; i < n; ++i) a[i + i * n] += T(3);  // well away from singular
      auto inv = a;
      int info = -99;
      TypeParam::api::trtri(upper ? "U" : "L", unit ? "U" : "N", &n, inv.data(), &n, &info);
      ASSERT_EQ(info, 0);
      auto tri = [&](const std::vector<T>& v) {
        return [&v, upper, unit](int i, int j) -> double {
          if (i == j) return unit ? 1.0 : v[i + j * n];
          return (upper ? i < j : i > j) ? v[i + j * n] : 0.0;
        };
      };
      const auto one = product(std::vector<T>(n * n), n, n, n, n, 1.0, tri(a), tri(inv), 0.0, every);
      EXPECT_LT(worst(one, n, identity), 20 * this->tol()) << upper << unit;
    }
  auto sing = this->rnd(n * n);
  sing[1 + 1 * n] = 0;
  int info = 0;
  TypeParam::api::trtri("U", "N", &n, sing.data(), &n, &info);
  EXPECT_EQ(info, 2);
}

// Eigenpairs from syev (full storage) and spevd (packed): A v = w v, ascending w.
TYPED_TEST(BlasTest, SyevAndSpevdEigenpairs) {
  using T = typename TestFixture::T;
  const int n = 6;
  for (bool upper : {true, false}) {
    const auto a = spd(*this, n);
    auto check = [&](const std::vector<T>& w, const std::vector<T>& v) {
      for (int e = 1; e < n; ++e) EXPECT_LE(w[e - 1], w[e]);
      const auto av = product(std::vector<T>(n * n), n, n, n, n, 1.0, [&](int i, int l) { return a[i + l * n]; },
                              [&](int l, int e) { return v[l + e * n]; }, 0.0, every);
      EXPECT_LT(worst(av, n, [&](int i, int e) { return double(w[e]) * v[i + e * n]; }), 200 * this->tol() * n);
    };
    {
      auto v = a;
      std::vector<T> w(n);
      int info = -99, lwork = -1;
      T q = 0;
      TypeParam::api::syev("V", upper ? "U" : "L", &n, v.data(), &n, w.data(), &q, &lwork, &info);
      ASSERT_EQ(info, 0);
      lwork = int(q);
      std::vector<T> work(lwork);
      TypeParam::api::syev("V", upper ? "U" : "L", &n, v.data(), &n, w.data(), work.data(), &lwork, &info);
      ASSERT_EQ(info, 0);
      check(w, v);
    }
    {
      std::vector<T> ap = packed(a, n, upper);
      std::vector<T> w(n), z(n * n);
      int info = -99, lwork = -1, liwork = -1, iq = 0;
      T q = 0;
      TypeParam::api::spevd("V", upper ? "U" : "L", &n, ap.data(), w.data(), z.data(), &n, &q, &lwork, &iq, &liwork,
                            &info);
      ASSERT_EQ(info, 0);
      lwork = int(q);
      liwork = iq;
      std::vector<T> work(lwork);
      std::vector<int> iwork(liwork);
      TypeParam::api::spevd("V", upper ? "U" : "L", &n, ap.data(), w.data(), z.data(), &n, work.data(), &lwork,
                            iwork.data(), &liwork, &info);
      ASSERT_EQ(info, 0);
      check(w, z);
    }
  }
}
}  // namespace
