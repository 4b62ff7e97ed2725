// Outlier detection (BACON), the Mahalanobis distances it uses, the covariance rank test and
// inverse, and the correlation repair: the check order of each routine with its boundaries,
// planted outliers found, eigen-repair against a reference computed here, and failures of the
// host's allocation and LAPACK reaching the caller as codes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "ss/common/closest.h"
#include "ss/reference.h"
#include "ss/task_util.h"
#include "zorp/core.h"

namespace zorp::test::ss {
namespace {

template <typename T>
class Outliers : public testing::Test {};
TYPED_TEST_SUITE(Outliers, Precisions);

// ---- rank test and inverse --------------------------------------------------------------------
TEST(CovHelpers, InverseAndRankBoundaries) {
  // A well-conditioned 3 x 3 matrix: the inverse times the matrix is the identity.
  const std::vector<double> a = {4, 1, 0.5, 1, 3, 0.25, 0.5, 0.25, 2};
  std::vector<double> inv = a;
  ASSERT_EQ(__tarrdTestCovRank(3, a.data()), 0);
  ASSERT_EQ(__tarrdInvCov(3, inv.data()), 0);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double s = 0;
      for (int k = 0; k < 3; ++k) s += a[r + 3 * k] * inv[k + 3 * c];
      EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-14) << r << "," << c;
    }
  // diag(1, 1, 1, e): the last pivot's square e against the floor p 2^-52 = 2^-50 (largest
  // diagonal 1); both values are squares of doubles, so the pivot is exact.
  const double floor = 0x1p-50;
  for (auto [e, code] : {std::pair{floor, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE}, {floor * (1 + 0x1p-50), 0},
                         {0.0, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE}, {-1.0, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE},
                         {NAN, TARR_SS_ERROR_NOT_POSITIVE_DEFINITE}}) {
    std::vector<double> m(16, 0.0);
    m[0] = m[5] = m[10] = 1, m[15] = e;
    EXPECT_EQ(__tarrdTestCovRank(4, m.data()), code) << e;
    EXPECT_EQ(__tarrdInvCov(4, m.data()), code) << e;
  }
  std::vector<double> zero = {0};
  EXPECT_EQ(__tarrdTestCovRank(1, zero.data()), TARR_SS_ERROR_NOT_POSITIVE_DEFINITE);
  EXPECT_EQ(__tarrdTestCovRank(0, a.data()), TARR_SS_ERROR_BAD_DIMENSION);
  EXPECT_EQ(__tarrdInvCov(1, nullptr), TARR_SS_ERROR_BAD_DIMENSION);
  zorp_core_fail_allocation(1);
  EXPECT_EQ(__tarrdTestCovRank(3, a.data()), TARR_SS_ERROR_ALLOCATION);
  zorp_core_fail_allocation(0);
  zorp_core_fail_lapack(2);  // the factor succeeds, the inversion from it does not
  inv = a;
  EXPECT_EQ(__tarrdInvCov(3, inv.data()), TARR_SS_ERROR_INVERSION_FAILED);
  zorp_core_fail_lapack(0);
}

// ---- the closest subset ---------------------------------------------------------------------------
// Ties at the m-th distance go to the earlier positions, NaN distances count as the largest, and
// a second marking of the same subset reports no change.
TEST(Closest, TiesAndNaN) {
  const double d[6] = {3, 1, NAN, 1, 2, 1};
  const std::vector<std::pair<int, std::vector<int>>> rows = {
      {1, {0, 1, 0, 0, 0, 0}}, {2, {0, 1, 0, 1, 0, 0}}, {5, {1, 1, 0, 1, 1, 1}}, {6, {1, 1, 1, 1, 1, 1}}};
  for (const auto& [m, want] : rows) {
    double scratch[6];
    int w[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_TRUE(zorp::ss::mark_closest(d, 6, m, scratch, w));
    EXPECT_EQ(std::vector<int>(w, w + 6), want) << m;
    EXPECT_FALSE(zorp::ss::mark_closest(d, 6, m, scratch, w)) << m;
  }
}

// ---- correlation repair -----------------------------------------------------------------------
// Symmetric p x p, full column-major, in storage word fmt.
template <typename T>
std::vector<T> pack(const std::vector<double>& full, int p, int fmt) {
  std::vector<T> out(fmt ? p * (p + 1) / 2 : p * p);
  for (int c = 0; c < p; ++c)
    for (int r = 0; r < p; ++r) out[at(r, c, p, fmt)] = T(full[r + c * p]);
  return out;
}

TYPED_TEST(Outliers, CorRepairChecksInOrder) {
  using T = TypeParam;
  const std::vector<T> cor = pack<T>({1, .5, .5, 1}, 2, 0);
  std::vector<T> out(4, T(kSentinel));
  Task<T> task(2, 4, 1, cor.data());
  int32_t three = 3, two = 2, zero = 0, one = 1, bad = -1, p0 = 0, p2 = 2;
  uint32_t method = 0;
  task.set(2, &p0);
  climb([&] { return Fn<T>::repair(task.t, 0, method); },
        {{TARR_SS_ERROR_BAD_DIMENSION, [&] { task.set(2, &p2); }},
         {TARR_SS_ERROR_NULL_COR, [&] { task.edit(TARR_SS_PARAM_COR, cor.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { task.set(32, &three); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { task.set(32, &bad); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { task.set(32, &two); }},
         {TARR_SS_ERROR_NULL_PARAMTRZ_COR, [&] { task.set(9, cor.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { task.set(10, &zero); }},
         // a full output over the packed input's own array cannot fit
         {TARR_SS_ERROR_BAD_STORAGE, [&] { task.set(9, out.data()), task.set(10, &three); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { task.set(10, &two), task.set(32, &one); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_COR_REPAIR; }},
         {0, nullptr}},
        [&] { return untouched(out); });
}

// Repairs the 3 x 3 correlation `in` (storage word fin) into `out` (fout), with the host's fault
// switch `hook` (if any) armed for the call alone: the routine's status.
template <typename T>
int repair(const std::vector<T>& in, int32_t fin, T* out, int32_t fout, void (*hook)(int64_t) = nullptr) {
  Task<T> task(3, 4, 1, in.data());
  task.edit({{TARR_SS_PARAM_COR, in.data()}, {TARR_SS_PARAM_COR_STORAGE, &fin}});
  task.set(9, out), task.set(10, &fout);
  if (hook) hook(1);
  const int status = Fn<T>::repair(task.t, 0, TARR_SS_METHOD_COR_REPAIR);
  if (hook) hook(0);
  return status;
}

TYPED_TEST(Outliers, CorRepair) {
  using T = TypeParam;
  const double tol = sizeof(T) == 8 ? 1e-12 : 1e-5;
  // Positive definite: status 0 and the input itself, in every input and output storage.
  const std::vector<double> pd = {1, .3, -.2, .3, 1, .4, -.2, .4, 1};
  // One negative eigenvalue: the three pairwise correlations are each possible, not together.
  const std::vector<double> bad = {1, .9, -.9, .9, 1, .9, -.9, .9, 1};
  for (int fin : {0, 1, 2})
    for (int fout : {0, 1, 2})
      for (const auto* m : {&pd, &bad}) {
        std::vector<T> out(9, T(kSentinel));
        ASSERT_EQ(repair(pack<T>(*m, 3, fin), fin, out.data(), fout), m == &pd ? 0 : TARR_SS_WARNING_COR_REPAIRED)
            << fin << fout;
        for (int c = 0; c < 3; ++c)
          for (int r = 0; r < 3; ++r) {
            const double v = out[at(r, c, 3, fout)];
            if (m == &pd) {
              EXPECT_EQ(T(v), T(pd[r + 3 * c])) << r << c;
            }
            if (r == c) {
              EXPECT_EQ(v, 1.0);
            }
          }
        if (fout != 0) {
          EXPECT_EQ(out[6], T(kSentinel)) << "packed output wrote past its size";
        }
      }
  // The repaired matrix against its definition computed here: eigenvalues of the bad matrix
  // are 1.9, 1.9 and -0.8 (eigenvector (1, -1, 1)/sqrt 3); raising -0.8 to 1e-14 gives
  // A + 0.8 v v^T, then the unit-diagonal scaling.
  const std::vector<T> in = pack<T>(bad, 3, 0);
  std::vector<T> out(9);
  ASSERT_EQ(repair(in, 0, out.data(), 0), TARR_SS_WARNING_COR_REPAIRED);
  const double v[3] = {1, -1, 1}, lift = (0.8 + 1e-14) / 3, diag = 1 + lift;
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r)
      EXPECT_NEAR(out[r + 3 * c], (bad[r + 3 * c] + lift * v[r] * v[c]) / diag, tol) << r << c;
  // In place with the same storage, the host's eigen-solver failing, every eigenvalue below
  // the floor, and the allocation failing.
  std::vector<T> inplace = pack<T>(bad, 3, 2);
  EXPECT_EQ(repair(inplace, 2, inplace.data(), 2), TARR_SS_WARNING_COR_REPAIRED);
  EXPECT_NEAR(inplace[at(0, 1, 3, 2)], out[3], tol);
  // In place over either packed input a full output cannot fit (the array has room here, so a
  // wrong acceptance shows as the status alone).
  for (int fin : {1, 2}) {
    std::vector<T> packed = pack<T>(bad, 3, fin);
    packed.resize(9, T(kSentinel));
    EXPECT_EQ(repair(packed, fin, packed.data(), 0), TARR_SS_ERROR_BAD_STORAGE) << fin;
  }
  EXPECT_EQ(repair(in, 0, out.data(), 0, zorp_core_fail_lapack), TARR_SS_ERROR_EIGEN_FAILED);
  EXPECT_EQ(repair(pack<T>({-1, 0, 0, 0, -2, 0, 0, 0, 0}, 3, 0), 0, out.data(), 0), TARR_SS_ERROR_NO_USABLE_EIGENVALUE);
  EXPECT_EQ(repair(in, 0, out.data(), 0, zorp_core_fail_allocation), TARR_SS_ERROR_ALLOCATION);
}

// ---- BACON ------------------------------------------------------------------------------------
// n observations of p correlated normal components (covariance I + 0.25 J, one common factor),
// the first `bad` of them moved far out along a direction that no single component shows: (+6,
// -6, +6, ...) in units of the clean spread, beyond the chi-square cut-off of any p used here.
// The centre is away from the origin (5 + j), so distances measured from anywhere else are caught.
struct Contaminated : Data {
  Contaminated(int p_, int n_, int bad, unsigned seed) : Data{n_, p_, {}} {
    std::vector<double> mean(p), s(p * p, 0.25);
    for (int j = 0; j < p; ++j) mean[j] = 5 + j, s[j + j * p] = 1.25;
    std::mt19937_64 g(seed);
    obs = gaussian(n, mean, cholesky(s, p), g);
    for (int i = 0; i < bad; ++i)
      for (int j = 0; j < p; ++j) obs[size_t(i) * p + j] += j % 2 ? -6 : 6;
  }
  template <typename T>
  std::vector<T> as(int layout) const { return in_layout<T>(obs, p, layout); }
};

TYPED_TEST(Outliers, BaconChecksInOrder) {
  using T = TypeParam;
  const Contaminated data(2, 10, 0, 1);
  const std::vector<T> x = data.as<T>(2);
  std::vector<T> w(10, T(kSentinel));
  Task<T> task(2, 9, 2, x.data());  // n = 5p - 1
  int32_t p0 = 0, p2 = 2, n10 = 10, wrong = TARR_SS_MATRIX_STORAGE_1 | TARR_SS_MATRIX_STORAGE_2, layout = 0x20000;
  uint32_t method = 0;
  task.set(2, &p0);
  climb([&] { return Fn<T>::outliers(task.t, 0, method); },
        {{TARR_SS_ERROR_BAD_DIMENSION, [&] { task.set(2, &p2); }},
         {TARR_SS_ERROR_BAD_NOBS, [&] { task.set(3, &n10), task.set(5, nullptr); }},
         {TARR_SS_ERROR_NULL_OBSERVATIONS, [&] { task.set(5, x.data()), task.set(8, nullptr); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { task.set(8, &wrong); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { task.set(8, &layout); }},
         {TARR_SS_ERROR_NULL_OUTL_WEIGHTS, [&] { task.edit(TARR_SS_PARAM_OUTL_WEIGHTS, w.data()); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_BACON; }},
         {0, nullptr}},
        [&] { return untouched(w); });
  // The distances refuse a direct call: their inputs exist only while the detection runs.
  EXPECT_EQ(Fn<T>::mahalanobis(task.t, 0, 0), TARR_SS_ERROR_NULL_OUTL_WEIGHTS);
  // p^2 must fit LAPACK's integers: p = 46341 is refused before any observation is read.
  const int32_t wide_p = 46341, wide_n = 5 * wide_p;
  task.set(2, &wide_p), task.set(3, &wide_n);
  EXPECT_EQ(Fn<T>::outliers(task.t, 0, method), TARR_SS_ERROR_BAD_DIMENSION);
}

// Planted outliers are all flagged and nearly every clean point kept, by both start methods, in
// both layouts; parameters out of range are refused, and a tight alpha still keeps the clean.
// BACON on x with the parameters (start, alpha, tolerance; their count is the item), the weights
// into w (the sentinel until then), `arm` run right before the call: the status.
template <typename T>
int bacon(int p, int n, int layout, const std::vector<T>& x, std::vector<T>& w, const std::vector<T>& params,
          const std::function<void()>& arm = nullptr) {
  Task<T> task(p, n, layout, x.data());
  const int32_t count = int32_t(params.size());
  w.assign(n, T(kSentinel));
  task.edit({{TARR_SS_PARAM_OUTL_NPARAMS, &count}, {TARR_SS_PARAM_OUTL_PARAMS, params.data()},
             {TARR_SS_PARAM_OUTL_WEIGHTS, w.data()}});
  if (arm) arm();
  return Fn<T>::outliers(task.t, 0, TARR_SS_METHOD_BACON);
}

TYPED_TEST(Outliers, BaconFindsPlantedOutliers) {
  using T = TypeParam;
  for (auto [p, n, bad] : {std::tuple{2, 500, 50}, {5, 2000, 200}, {10, 3000, 900}})
    for (int layout : {1, 2})
      for (int start : {1, 2}) {
        if (start == 1 && bad * 10 > n * 2) continue;  // the non-robust start is not meant for 30%
        const Contaminated data(p, n, bad, unsigned(p * 100 + layout));
        std::vector<T> w;
        ASSERT_EQ(bacon(p, n, layout, data.as<T>(layout), w, {T(start), T(0.05), T(0.005)}), 0) << p << " " << start;
        int flagged_bad = 0, kept_clean = 0;
        for (int i = 0; i < n; ++i) {
          ASSERT_TRUE(w[i] == T(0) || w[i] == T(1)) << i;
          (i < bad ? flagged_bad : kept_clean) += i < bad ? w[i] == T(0) : w[i] == T(1);
        }
        EXPECT_EQ(flagged_bad, bad) << "p " << p << " start " << start << " layout " << layout;
        EXPECT_GE(kept_clean, 0.98 * (n - bad)) << "p " << p << " start " << start << " layout " << layout;
      }
}

TYPED_TEST(Outliers, BaconRefusals) {
  using T = TypeParam;
  const int p = 3, n = 15;  // n = 5p: the first accepted count
  std::vector<T> x = Contaminated(p, n, 0, 7).as<T>(2), w;
  EXPECT_EQ(bacon(p, n, 2, x, w, {T(2), T(0.05), T(0)}), 0);
  // The start method 1 or 2, alpha in (0, 1): each edge on both sides.
  const int kBad = TARR_SS_ERROR_NULL_OUTL_PARAMS;
  for (auto [k, v, code] : {std::tuple{0, T(0), kBad}, {0, T(3), kBad}, {0, T(1), 0}, {1, T(0), kBad}, {1, T(1), kBad},
                            {1, T(NAN), kBad}, {1, std::nextafter(T(1), T(0)), 0}}) {
    std::vector<T> q = {T(2), T(0.05), T(0.005)};
    q[k] = v;
    EXPECT_EQ(bacon(p, n, 2, x, w, q), code) << k << " " << v;
    EXPECT_EQ(untouched(w), code != 0) << k << " " << v;
  }
  EXPECT_EQ(bacon(p, n, 2, x, w, {T(2), T(NAN)}), 0);  // another count: the defaults, the bad value unread
  // A constant component makes every subset's covariance singular.
  std::vector<T> flat = x;
  for (int i = 0; i < n; ++i) flat[size_t(i) * p + 1] = T(4);
  EXPECT_EQ(bacon(p, n, 2, flat, w, {T(2), T(0.05), T(0)}), TARR_SS_ERROR_NOT_POSITIVE_DEFINITE);
  EXPECT_TRUE(untouched(w));
  // n = 5p = 100 with p = 20: the start is every observation, and 20 of them are lone outliers,
  // one per axis.  Each one's distance is near the bound (r-1)^2/r of a point in the subset,
  // above the cut-off, so 80 = 4p observations remain: too few to call the rest outliers.
  const int q = 20, m = 100;
  std::vector<T> y = Contaminated(q, m, 0, 13).as<T>(2);
  for (int i = 0; i < q; ++i) y[size_t(i) * q + i] += T(40 + i);
  EXPECT_EQ(bacon(q, m, 2, y, w, {T(2), T(0.99), T(0.005)}), TARR_SS_ERROR_OUTL_SUBSET_TOO_SMALL);
  EXPECT_TRUE(untouched(w));
  // Allocation failures anywhere in the call (its work, the routines it calls) come back as the
  // allocation code with the weights untouched, and nothing leaks.
  x = Contaminated(p, n, 0, 11).as<T>(2);
  const auto call = [&](const std::function<void()>& arm) { return bacon(p, n, 2, x, w, {T(2), T(0.05), T(0)}, arm); };
  EXPECT_LT(walk_failures(zorp_core_fail_allocation, 50, call, [&](int k, int code) {
              EXPECT_EQ(code, TARR_SS_ERROR_ALLOCATION) << k;
              EXPECT_TRUE(untouched(w)) << k;
            }),
            50);
}

}  // namespace
}  // namespace zorp::test::ss
