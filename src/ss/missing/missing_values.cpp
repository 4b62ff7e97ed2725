// Missing values (_tarr?SSMissingValues, method 0x10): multivariate normal data with entries
// missing at random (NaN), estimated by EM and imputed by data augmentation, after
// J. L. Schafer, "Analysis of Incomplete Multivariate Data" (1997), chapter 5, and M. A. Tanner,
// W. H. Wong, "The calculation of posterior distributions by data augmentation", JASA 82 (1987).
//
// Parameters as matrices.  The routine works on the (p+1) x (p+1) moment matrix
//   G = E[(1, x)(1, x)^T] = [[1, mu^T], [mu, Sigma + mu mu^T]],
// the matrix whose sweep on its first row and column is Schafer's theta = [[-1, mu^T],
// [mu, Sigma]].  Sweeping G on the constant and an observation's observed set O' = {0} u O
// gives the regression of the missing part M on (1, x_O): coefficients B = G_O'O'^-1 G_O'M and
// residual covariance C = G_MM - G_MO' G_O'O'^-1 G_O'M.  The sweep is done here with a Cholesky
// factor G_O'O' = U^T U (potrf), its inverse (trtri) and two triangular products: R = U^-T G_O'M,
// C = G_MM - R^T R (syrk), B = U^-1 R.  Observations are grouped by missing-value pattern, so
// each pattern's sweep is done once per iteration, and a group's rows are kept as one
// column-major block Z = [1 | x_O | x_M] in the pattern's column order, so that filling in the
// missing columns is one gemm (Z_M = Z_O' B) and the group's cross-product one syrk.
//
// EM (Schafer 5.3): the E-step fills each missing part with its conditional mean and adds the
// group's count times C to the missing block of the cross-product; the M-step is G = T / n'
// (n' the observations with at least one observed component: one with none carries no
// information on the parameters and takes part only through the I-step).  A pattern's
// conditional means are Z_M = Z_O' B, so its cross-product is [[P, P B], [B^T P, B^T P B]] with
// P = Z_O'^T Z_O' fixed: P is formed once for every pattern with at least as many rows as
// observed columns, and an iteration then costs O(p^3) per pattern instead of O(rows p^2); the
// rows themselves are filled in only by the I-step.  EM stops when the largest change of a mean
// (relative to its standard deviation) or of a covariance entry (relative to sqrt(s_ii s_jj))
// is at most the tolerance, or after the iteration limit; not converging within the limit is
// not an error, the last estimates are the result.
//
// Data augmentation (Tanner & Wong; Schafer 5.4), started from the EM estimates: the I-step
// draws each missing part from N(B^T (1, x_O), C) (GaussianMV with C's Cholesky factor); the
// P-step draws Sigma from its inverse-Wishart posterior and mu given Sigma from N(ybar,
// Sigma/n').  Non-informative prior (Schafer 5.2.2, pi(mu, Sigma) ~ |Sigma|^-(p+1)/2):
// Sigma^-1 ~ Wishart(n' - 1, A^-1), A the completed data's centred cross-product.  Prior 1
// adds p + 1 degrees of freedom and (p + 1) times the EM covariance to A, an inverse-Wishart
// prior centred on the EM covariance that keeps the draws well conditioned for small n'.
// The Wishart draw is exact and takes normal variates only (Bartlett's decomposition): with
// A = U^T U and C an upper triangular matrix with C_ij ~ N(0,1) above the diagonal and
// C_ii^2 ~ chi-square(nu - p + i) (i = 1..p, each the sum of that many squared normals),
// C C^T ~ Wishart(nu, I) (the reversal of the lower-triangular Bartlett factor), so
// Sigma^-1 = U^-1 C C^T U^-T and Sigma = F^T F with F = C^-1 U upper triangular.  The mean is
// then ybar + F^T z / sqrt(n') (gemv).  Each of the m imputed sets follows `[1]` further
// iterations; a set is the last I-step's values and the parameters drawn after it.
//
// Scale: everything runs on the data standardised by each component's observed mean and
// standard deviation, so that G is well conditioned whatever the data's offset and units, and
// the results are mapped back once.  Float tasks read and write float and compute in double,
// drawing from the double generators, so both precisions impute the same values to float
// rounding.  Weights and the index array are not read.
//
// Status codes beyond the checks: TARR_SS_ERROR_NOT_POSITIVE_DEFINITE when a Cholesky
// factorisation fails (a component without observed values or without spread, a singular
// estimate, fewer than p + 1 observations for the non-informative posterior),
// TARR_SS_ERROR_INVERSION_FAILED when a triangular inversion does, a stream's own status when
// the private stream cannot be made or drawn from.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "ss/common/data.h"
#include "ss/common/steps.h"
#include "zorp/rng.h"

namespace zorp::ss {
namespace {

constexpr uint32_t kStreamSeeds[2] = {0x40000, 0};
constexpr int32_t kGaussianMethod = 2;   // inverse distribution function: one uniform a normal
constexpr int64_t kNoiseBlock = 8192;    // normals drawn at a time
constexpr double kIntLimit = 2147483647.0;
constexpr int64_t kRunRows = 256;          // observations per run of the observed means and variances
constexpr int64_t kAhead = 16;             // observations prefetched ahead in the block fill

// ---- host BLAS / LAPACK in double, arguments by address -------------------------------------
void syrk_t(int n, int k, double alpha, const double* a, int lda, double beta, double* c, int ldc) {
  zorp_blas_dsyrk("U", "T", &n, &k, &alpha, a, &lda, &beta, c, &ldc);
}
void gemm_nn(int m, int n, int k, const double* a, int lda, const double* b, int ldb, double* c, int ldc) {
  const double one = 1.0, zero = 0.0;
  zorp_blas_dgemm("N", "N", &m, &n, &k, &one, a, &lda, b, &ldb, &zero, c, &ldc);
}
// C := A^T B, A k x m, B k x n.
void gemm_tn(int m, int n, int k, const double* a, int lda, const double* b, int ldb, double* c, int ldc) {
  const double one = 1.0, zero = 0.0;
  zorp_blas_dgemm("T", "N", &m, &n, &k, &one, a, &lda, b, &ldb, &zero, c, &ldc);
}
// B := op(A) B, A upper triangular (op "N" or "T").
void trmm_left_upper(const char* op, int m, int n, const double* a, int lda, double* b, int ldb) {
  const double one = 1.0;
  zorp_blas_dtrmm("L", "U", op, "N", &m, &n, &one, a, &lda, b, &ldb);
}
// Cholesky factor (upper) and its inverse in place: 0, or the status to return.
int factor(int n, double* a, int lda) {
  int info = 0;
  zorp_lapack_dpotrf("U", &n, a, &lda, &info);
  return info ? TARR_SS_ERROR_NOT_POSITIVE_DEFINITE : 0;
}
int invert_upper(int n, double* a, int lda) {
  int info = 0;
  zorp_lapack_dtrtri("U", "N", &n, a, &lda, &info);
  return info ? TARR_SS_ERROR_INVERSION_FAILED : 0;
}

// A real parameter that must be a whole number in [least, 2^31 - 1].
bool whole(double v, double least) { return v >= least && v <= kIntLimit && v == std::floor(v); }

// One missing-value pattern: rows order[begin .. begin+count) of the sorted observations, whose
// block of Z starts at zbase; `a` = 1 + observed components, the first missing column; the
// cross-product of the block's observed columns (a x a) at cross + pbase, or pbase -1.
struct Group {
  int64_t begin, count, zbase, pbase;
  int a;
};

template <typename T>
struct Missing : Split {
  TarrSSTask* t;
  uint32_t method;
  Observations<T> obs;
  int64_t p = 0, n = 0, q = 0, nmiss = 0, words = 0;
  double prm[5] = {};
  int64_t em_limit = 0, da_iter = 0, m = 0;
  double tol = 0;
  int prior = 0;
  bool da = false, have_start = false, have_em = false, have_imputed = false;

  // Work arrays (carve).
  int64_t* order = nullptr;      // observations sorted by pattern
  int64_t* order2 = nullptr;     // the sort's second buffer
  int64_t* observed = nullptr;   // observed values per component
  uint64_t* mask = nullptr;      // words bits per observation: set where missing
  Group* groups = nullptr;
  int64_t ngroups = 0, complete = -1, empty = -1, used = 0;  // complete / all-missing group, n'
  int64_t pused = 0;                                           // reals of cross in use
  int64_t* zrow = nullptr;       // observation -> its row's offset in Z
  int32_t* grp = nullptr;        // observation -> group
  int32_t* seen = nullptr;       // missing entries met so far per observation (component-major walk)
  double* z = nullptr;           // n x (p+1), by groups
  double* cross = nullptr;       // the patterns' observed cross-products
  double *shift = nullptr, *scale = nullptr;
  double *g = nullptr, *gp = nullptr, *tacc = nullptr, *tcomplete = nullptr, *s = nullptr;
  int* perm = nullptr;
  double *mu = nullptr, *sigma = nullptr, *mu_em = nullptr, *sigma_em = nullptr;
  double *u = nullptr, *c = nullptr, *lc = nullptr, *noise = nullptr, *zeros = nullptr;
  double *sets = nullptr, *imputed = nullptr;
  StreamState* stream = nullptr;

  Missing(TarrSSTask* task, uint64_t, uint32_t meth) : t(task), method(meth) {}
  ~Missing() {
    if (stream) __tarrDeleteStream(&stream);
  }
  Missing(const Missing&) = delete;
  Missing& operator=(const Missing&) = delete;

  int64_t count_at(int s) const { return item_at(t, s); }
  bool given(int s) const { return slot(t, s) != nullptr; }
  int64_t ld() const { return p + 1; }

  // ---- check ---------------------------------------------------------------------------------
  int check() {
    // p + 1 and a pattern's observation count go to the host BLAS as 32-bit integers.
    if (read_dimension(t, obs.p) || obs.p >= kIntLimit) return TARR_SS_ERROR_BAD_DIMENSION;
    if (read_nobs(t, obs.n) || obs.n > kIntLimit) return TARR_SS_ERROR_BAD_NOBS;
    if (!(obs.x = static_cast<const T*>(t->x))) return TARR_SS_ERROR_NULL_OBSERVATIONS;
    p = obs.p, n = obs.n;
    if (!t->storage || !(obs.layout = layout_of(item(t, t->storage), true))) return TARR_SS_ERROR_BAD_STORAGE;
    if (!given(kSlotMissing2)) return TARR_SS_ERROR_NULL_MISSING_2;
    if (!given(kSlotMissing1)) return TARR_SS_ERROR_NULL_MISSING_1;
    if (count_at(kSlotMissing1) != 5) return TARR_SS_ERROR_BAD_MISSING_NPARAMS;
    if (given(kSlotMissing6) && !given(kSlotMissing5)) return TARR_SS_ERROR_NULL_MISSING_5;
    if (given(kSlotMissing5) && !given(kSlotMissing6)) return TARR_SS_ERROR_NULL_MISSING_6;
    if (!(method & TARR_SS_METHOD_MISSING_VALUES)) return TARR_SS_ERROR_BAD_METHOD;
    da = given(kSlotMissing7) && given(kSlotMissing8);
    return check_items();
  }
  // Every count and parameter against what the call will write or use.
  int check_items() {
    const T* r = static_cast<const T*>(slot(t, kSlotMissing2));
    for (int k = 0; k < 5; ++k) prm[k] = double(r[k]);
    q = p + p * (p + 1) / 2;
    if (!whole(prm[0], 0) || !(prm[2] >= 0)) return TARR_SS_ERROR_BAD_MISSING_ITEMS;
    em_limit = int64_t(prm[0]), tol = prm[2];
    if (da) {
      if (!whole(prm[1], 1) || !whole(prm[3], 1) || !(prm[4] == 0 || prm[4] == 1)) return TARR_SS_ERROR_BAD_MISSING_ITEMS;
      da_iter = int64_t(prm[1]), m = int64_t(prm[3]), prior = int(prm[4]);
    }
    if (given(kSlotMissing3) && given(kSlotMissing4)) {
      const int64_t k = count_at(kSlotMissing3);
      if (k < 0 || (k > 0 && k < q)) return TARR_SS_ERROR_BAD_MISSING_ITEMS;
      have_start = k > 0;
    }
    have_em = given(kSlotMissing5);
    if (have_em && count_at(kSlotMissing5) < q) return TARR_SS_ERROR_BAD_MISSING_ITEMS;
    if (!da && !have_em) return TARR_SS_ERROR_BAD_MISSING_ITEMS;  // nothing to write
    if (!da) return 0;
    // count >= m * need, without forming the product.
    auto holds = [&](int64_t count, int64_t need) { return count >= 0 && count / m >= need; };
    if (!holds(count_at(kSlotMissing7), q)) return TARR_SS_ERROR_BAD_MISSING_ITEMS;
    have_imputed = given(kSlotMissing9) && given(kSlotMissing10);
    if (have_imputed) {
      each_value([&](int64_t, int64_t, double v) { nmiss += std::isnan(v); });
      if (!holds(count_at(kSlotMissing9), nmiss)) return TARR_SS_ERROR_BAD_MISSING_ITEMS;
    }
    return 0;
  }

  int plan() { return 0; }

  void carve(Carver& C) {
    const int64_t k = p + 1;
    words = (p + 63) / 64;
    order = C.scratch<int64_t>(n);
    order2 = C.scratch<int64_t>(n);
    observed = C.take<int64_t>(p);
    mask = C.take<uint64_t>(n * words);
    groups = C.scratch<Group>(n);  // these three are written before they are read
    zrow = C.scratch<int64_t>(n);
    grp = C.scratch<int32_t>(n);
    seen = C.take<int32_t>(obs.layout == kByComponent && have_imputed ? n : 0);
    z = C.scratch<double>(n * k);
    cross = C.scratch<double>(n * k);  // a^2 <= count * a for every pattern that keeps one
    shift = C.take<double>(p);
    scale = C.take<double>(p);
    g = C.take<double>(k * k);
    gp = C.take<double>(k * k);
    tacc = C.take<double>(k * k);
    tcomplete = C.take<double>(k * k);
    s = C.take<double>(k * k);
    perm = C.take<int>(k);
    mu = C.take<double>(p);
    sigma = C.take<double>(p * p);
    mu_em = C.take<double>(p);
    sigma_em = C.take<double>(p * p);
    u = C.take<double>(p * p);
    c = C.take<double>(p * p);
    lc = C.take<double>(p * p);
    noise = C.take<double>(std::max<int64_t>(kNoiseBlock, p));
    zeros = C.take<double>(p);
    sets = C.take<double>(da ? m * q : 0);
    imputed = C.take<double>(have_imputed ? m * nmiss : 0);
  }

  // ---- start: patterns, standardised blocks, the starting point, the stream -----------------
  bool missing_at(int64_t i, int64_t j) const { return (mask[i * words + j / 64] >> (j % 64)) & 1; }

  // f(i, j, value) over the observation array in memory order (the other order would stride
  // through the whole array once per component).
  template <typename F>
  void each_value(F&& f) const {
    if (obs.layout == kByObservation) {
      for (int64_t i = 0; i < n; ++i)
        for (int64_t j = 0; j < p; ++j) f(i, j, double(obs.x[i * p + j]));
    } else {
      for (int64_t j = 0; j < p; ++j)
        for (int64_t i = 0; i < n; ++i) f(i, j, double(obs.x[j * n + i]));
    }
  }

  // f(j, values, stride, count) over runs of at most kRunRows observations of one component,
  // each component's runs in observation order whatever the layout (so both layouts sum in the
  // same order), the runs of the observation-major layout taken block by block so that a
  // block's lines stay in cache while its components are read.
  template <typename F>
  void each_run(F&& f) const {
    for (int64_t i0 = 0; obs.layout == kByObservation && i0 < n; i0 += kRunRows)
      for (int64_t j = 0; j < p; ++j) f(j, obs.x + i0 * p + j, p, std::min(kRunRows, n - i0));
    for (int64_t j = 0; obs.layout == kByComponent && j < p; ++j)
      for (int64_t i0 = 0; i0 < n; i0 += kRunRows) f(j, obs.x + j * n + i0, int64_t(1), std::min(kRunRows, n - i0));
  }

  int start() {
    each_value([&](int64_t i, int64_t j, double v) {
      if (std::isnan(v)) mask[i * words + j / 64] |= uint64_t{1} << (j % 64);
    });
    sort_by_mask();
    if (int e = standardise()) return e;
    build_groups();
    if (have_start) {
      const T* st = static_cast<const T*>(slot(t, kSlotMissing4));
      for (int64_t j = 0; j < p; ++j) mu[j] = (double(st[j]) - shift[j]) / scale[j];
      for (int64_t b = 0; b < p; ++b)
        for (int64_t a = 0; a <= b; ++a)
          sigma[a + b * p] = sigma[b + a * p] = double(st[p + a + b * (b + 1) / 2]) / (scale[a] * scale[b]);
    } else {
      for (int64_t j = 0; j < p; ++j) sigma[j + j * p] = 1.0;  // observed variances, standardised
    }
    if (!da) return 0;
    return __tarrNewStreamEx(&stream, TARR_BRNG_MCG59, 2, kStreamSeeds);
  }

  // Observations ordered by mask (word 0 most significant), ties by position: a stable
  // least-significant-digit radix sort on the bytes a mask can use, so equal patterns end up
  // next to one another in O(n p / 8).
  void sort_by_mask() {
    for (int64_t i = 0; i < n; ++i) order[i] = i;
    int64_t count[257];
    for (int64_t w = words - 1; w >= 0; --w) {
      const int64_t bits = w == words - 1 ? p - 64 * w : 64;
      for (int64_t shift8 = 0; shift8 < bits; shift8 += 8) {
        std::fill(count, count + 257, 0);
        auto digit = [&](int64_t i) { return int((mask[i * words + w] >> shift8) & 0xff); };
        for (int64_t r = 0; r < n; ++r) ++count[digit(order[r]) + 1];
        for (int d = 0; d < 256; ++d) count[d + 1] += count[d];
        for (int64_t r = 0; r < n; ++r) order2[count[digit(order[r])]++] = order[r];
        std::swap(order, order2);
      }
    }
  }

  // Each component's observed mean and standard deviation (divisor: its observed count), in
  // two passes.
  int standardise() {
    each_run([&](int64_t j, const T* src, int64_t stride, int64_t len) {
      double sum = 0;
      int64_t cnt = 0;
      for (int64_t r = 0; r < len; ++r)
        if (const double v = double(src[r * stride]); !std::isnan(v)) sum += v, ++cnt;
      shift[j] += sum, observed[j] += cnt;
    });
    for (int64_t j = 0; j < p; ++j) {
      if (observed[j] == 0) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
      shift[j] /= double(observed[j]);
    }
    each_run([&](int64_t j, const T* src, int64_t stride, int64_t len) {
      double ss = 0;
      const double m = shift[j];
      for (int64_t r = 0; r < len; ++r)
        if (const double v = double(src[r * stride]); !std::isnan(v)) ss += (v - m) * (v - m);
      scale[j] += ss;
    });
    for (int64_t j = 0; j < p; ++j) {
      if (!(scale[j] > 0)) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
      scale[j] = std::sqrt(scale[j] / double(observed[j]));
    }
    return 0;
  }

  // Groups of equal masks; each group's block [1 | x_O | x_M] of standardised values, the
  // missing columns left for the E- or I-step.
  void build_groups() {
    const int64_t k = p + 1;
    for (int64_t r = 0; r < n;) {
      const int64_t first = order[r];
      int64_t e = r + 1;
      while (e < n && std::memcmp(mask + order[e] * words, mask + first * words, size_t(words) * 8) == 0) ++e;
      Group& G = groups[ngroups];
      G.begin = r, G.count = e - r, G.zbase = r * k;
      int a = 1;
      for (int64_t j = 0; j < p; ++j) a += !missing_at(first, j);
      G.a = a;
      if (a == k) complete = ngroups;
      if (a == 1) empty = ngroups;
      else used += G.count;
      fill_block(G, int32_t(ngroups));
      G.pbase = -1;
      // A pattern with at least as many rows as observed columns keeps Z_O'^T Z_O': EM then
      // needs only that and B (Z_O'^T Z_M = P B, Z_M^T Z_M = B^T P B), not the rows.
      if (a < k && a > 1 && G.count >= a) {
        G.pbase = pused;
        double* pk = cross + pused;
        syrk_t(a, int(G.count), 1.0, z + G.zbase, int(G.count), 0.0, pk, a);
        for (int v = 0; v < a; ++v)
          for (int w = v + 1; w < a; ++w) pk[w + v * a] = pk[v + w * a];
        pused += int64_t(a) * a;
      }
      ++ngroups, r = e;
    }
    // The complete rows' cross-product never changes: formed once.
    if (complete >= 0) syrk_t(int(k), int(groups[complete].count), 1.0, z + groups[complete].zbase,
                              int(groups[complete].count), 0.0, tcomplete, int(k));
  }

  // The group's rows of Z: the constant and the standardised observed values, row by row when
  // an observation's values are contiguous, else column by column (a group's rows are in
  // increasing position, so a column is read forwards).
  void fill_block(const Group& G, int32_t gi) {
    pattern_order(G);
    double* blk = z + G.zbase;
    const int64_t cnt = G.count;
    for (int64_t row = 0; row < cnt; ++row) {
      const int64_t i = order[G.begin + row];
      zrow[i] = G.zbase + row, grp[i] = gi;
      blk[row] = 1.0;
    }
    if (obs.layout == kByObservation) {
      for (int64_t row = 0; row < cnt; ++row) {
        // Fetch an observation ahead: the rows are not in memory order.
        if (row + kAhead < cnt) __builtin_prefetch(obs.x + order[G.begin + row + kAhead] * p);
        const T* src = obs.x + order[G.begin + row] * p;
        for (int c = 1; c < G.a; ++c) {
          const int64_t j = perm[c] - 1;
          blk[row + c * cnt] = (double(src[j]) - shift[j]) / scale[j];
        }
      }
    } else {
      for (int c = 1; c < G.a; ++c) {
        const int64_t j = perm[c] - 1;
        const T* src = obs.x + j * n;
        for (int64_t row = 0; row < cnt; ++row) blk[row + c * cnt] = (double(src[order[G.begin + row]]) - shift[j]) / scale[j];
      }
    }
  }

  // ---- the sweep of one pattern ----------------------------------------------------------------
  // perm: the group's columns in the natural order of G (0 the constant, 1 + j component j).
  void pattern_order(const Group& G) {
    const int64_t first = order[G.begin];
    int o = 1, mi = G.a;
    perm[0] = 0;
    for (int64_t j = 0; j < p; ++j) perm[missing_at(first, j) ? mi++ : o++] = int(j + 1);
  }
  // G in the group's order, swept on its observed part: B at gp[0..a, a..] and the residual
  // covariance C (upper triangle) at gp[a.., a..], leading dimension p + 1.
  int sweep(const Group& G) {
    const int k = int(ld()), a = G.a, b = k - a;
    pattern_order(G);
    for (int v = 0; v < k; ++v)
      for (int w = 0; w < k; ++w) gp[w + v * k] = g[perm[w] + perm[v] * k];
    if (int e = factor(a, gp, k)) return e;
    if (int e = invert_upper(a, gp, k)) return e;
    double* r = gp + a * k;
    trmm_left_upper("T", a, b, gp, k, r, k);         // R = U^-T G_O'M
    syrk_t(b, a, -1.0, r, k, 1.0, gp + a + a * k, k);  // C = G_MM - R^T R
    trmm_left_upper("N", a, b, gp, k, r, k);         // B = U^-1 R
    return 0;
  }
  // The group's missing columns := conditional means Z_O' B.
  void fill_means(const Group& G) {
    const int k = int(ld()), a = G.a, nk = int(G.count);
    gemm_nn(nk, k - a, a, z + G.zbase, nk, gp + a * k, k, z + G.zbase + int64_t(a) * nk, nk);
  }
  // s := the group's cross-product in its column order (upper triangle), from its rows.
  void row_products(const Group& G) {
    const int k = int(ld()), nk = int(G.count);
    syrk_t(k, nk, 1.0, z + G.zbase, nk, 0.0, s, k);
  }
  // The same with the missing columns at their conditional means, from the kept P = Z_O'^T Z_O'
  // and B alone: [[P, P B], [., B^T P B]].
  void kept_products(const Group& G) {
    const int k = int(ld()), a = G.a, b = k - a;
    const double* pk = cross + G.pbase;
    for (int v = 0; v < a; ++v)
      for (int w = 0; w <= v; ++w) s[w + v * k] = pk[w + v * a];
    gemm_nn(a, b, a, pk, a, gp + a * k, k, s + a * k, k);
    gemm_tn(b, b, a, gp + a * k, k, s + a * k, k, s + a + a * k, k);
  }
  // tacc += s mapped to the natural order, plus count x C on the missing block when `em`.
  void accumulate(const Group& G, bool em) {
    const int k = int(ld()), a = G.a, nk = int(G.count);
    if (em)
      for (int v = a; v < k; ++v)
        for (int w = a; w <= v; ++w) s[w + v * k] += double(nk) * gp[w + v * k];
    for (int v = 0; v < k; ++v)
      for (int w = 0; w <= v; ++w) {
        const int x = std::min(perm[w], perm[v]), y = std::max(perm[w], perm[v]);
        tacc[x + y * k] += s[w + v * k];
      }
  }
  // G from mu and sigma (both triangles).
  void moment_matrix() {
    const int64_t k = ld();
    g[0] = 1.0;
    for (int64_t j = 0; j < p; ++j) g[j + 1] = g[(j + 1) * k] = mu[j];
    for (int64_t b = 0; b < p; ++b)
      for (int64_t a = 0; a < p; ++a) g[(a + 1) + (b + 1) * k] = sigma[a + b * p] + mu[a] * mu[b];
  }
  void start_sums() {
    const int64_t k = ld();
    if (complete >= 0) std::memcpy(tacc, tcomplete, sizeof(double) * size_t(k * k));
    else std::fill(tacc, tacc + k * k, 0.0);
  }

  // ---- EM ------------------------------------------------------------------------------------
  int em() {
    const int64_t k = ld();
    const double w = 1.0 / double(used);
    for (int64_t it = 0; it < em_limit; ++it) {
      moment_matrix();
      start_sums();
      for (int64_t gi = 0; gi < ngroups; ++gi) {
        const Group& G = groups[gi];
        if (gi == complete || gi == empty) continue;
        if (int e = sweep(G)) return e;
        if (G.pbase >= 0) {
          kept_products(G);
        } else {
          fill_means(G);
          row_products(G);
        }
        accumulate(G, true);
      }
      // M-step: mu = T_0j / n', sigma = T_ij / n' - mu_i mu_j; change against the new variances.
      double change = 0;
      for (int64_t j = 0; j < p; ++j) u[j] = tacc[(j + 1) * k] * w;
      for (int64_t b = 0; b < p; ++b)
        for (int64_t a = 0; a <= b; ++a) c[a + b * p] = c[b + a * p] = tacc[(a + 1) + (b + 1) * k] * w - u[a] * u[b];
      for (int64_t b = 0; b < p; ++b) {
        if (!(c[b + b * p] > 0)) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;
        const double sb = std::sqrt(c[b + b * p]);
        change = std::max(change, std::fabs(u[b] - mu[b]) / sb);
        for (int64_t a = 0; a <= b; ++a)
          change = std::max(change, std::fabs(c[a + b * p] - sigma[a + b * p]) / (std::sqrt(c[a + a * p]) * sb));
      }
      std::memcpy(mu, u, sizeof(double) * size_t(p));
      std::memcpy(sigma, c, sizeof(double) * size_t(p * p));
      if (!(change > tol)) break;
    }
    std::memcpy(mu_em, mu, sizeof(double) * size_t(p));
    std::memcpy(sigma_em, sigma, sizeof(double) * size_t(p * p));
    return 0;
  }

  // ---- data augmentation -----------------------------------------------------------------------
  // I-step for one group: conditional means plus draws from N(0, C).
  int impute(const Group& G) {
    const int k = int(ld()), a = G.a, b = k - a, nk = int(G.count);
    fill_means(G);
    if (int e = factor(b, gp + a + a * k, k)) return e;
    // GaussianMV's full storage reads the lower factor by rows: that is the upper factor by
    // columns, so U_C is copied with leading dimension b as it is.
    for (int v = 0; v < b; ++v)
      for (int w = 0; w <= v; ++w) lc[w + v * b] = gp[(a + w) + (a + v) * k];
    const int rows = int(std::max<int64_t>(1, kNoiseBlock / b));
    double* zm = z + G.zbase + int64_t(a) * nk;
    for (int r0 = 0; r0 < nk; r0 += rows) {
      const int len = std::min(rows, nk - r0);
      if (int e = _tarrdRngGaussianMV(kGaussianMethod, stream, len, noise, b, TARR_MV_FULL, zeros, lc)) return e;
      for (int r = 0; r < len; ++r)
        for (int v = 0; v < b; ++v) zm[(r0 + r) + int64_t(v) * nk] += noise[int64_t(r) * b + v];
    }
    return 0;
  }
  // A chi-square variate of `dof` degrees of freedom as the sum of dof squared normals.
  int chi_square(int64_t dof, double& out) {
    double sum = 0;
    for (int64_t left = dof; left > 0;) {
      const int len = int(std::min(left, kNoiseBlock));
      if (int e = _tarrdRngGaussian(kGaussianMethod, stream, len, noise, 0.0, 1.0)) return e;
      for (int i = 0; i < len; ++i) sum += noise[i] * noise[i];
      left -= len;
    }
    out = sum;
    return 0;
  }
  // P-step from the completed data's sums in tacc.
  int posterior() {
    const int64_t k = ld();
    const int ip = int(p);
    const double nn = double(used);
    for (int64_t j = 0; j < p; ++j) mu[j] = tacc[(j + 1) * k] / nn;
    std::fill(u, u + p * p, 0.0);  // the lower part stays 0: F below is read whole by gemv
    const double extra = prior ? double(p + 1) : 0.0;
    for (int64_t b = 0; b < p; ++b)
      for (int64_t a = 0; a <= b; ++a)
        u[a + b * p] = tacc[(a + 1) + (b + 1) * k] - nn * mu[a] * mu[b] + extra * sigma_em[a + b * p];
    const int64_t nu = used - 1 + (prior ? p + 1 : 0);
    if (nu < p) return TARR_SS_ERROR_NOT_POSITIVE_DEFINITE;  // no proper posterior
    if (int e = factor(ip, u, ip)) return e;                // A = U^T U
    // Bartlett factor C (upper): normals above the diagonal, sqrt(chi-square(nu - p + i)) on it.
    std::fill(c, c + p * p, 0.0);
    for (int64_t i = 0; i < p; ++i) {
      if (i > 0) {
        if (int e = _tarrdRngGaussian(kGaussianMethod, stream, int(i), noise, 0.0, 1.0)) return e;
        for (int64_t r = 0; r < i; ++r) c[r + i * p] = noise[r];
      }
      double chi;
      if (int e = chi_square(nu - p + i + 1, chi)) return e;
      c[i + i * p] = std::sqrt(chi);
    }
    if (int e = invert_upper(ip, c, ip)) return e;
    trmm_left_upper("N", ip, ip, c, ip, u, ip);              // F = C^-1 U, upper
    syrk_t(ip, ip, 1.0, u, ip, 0.0, sigma, ip);              // Sigma = F^T F
    for (int64_t b = 0; b < p; ++b)
      for (int64_t a = b + 1; a < p; ++a) sigma[a + b * p] = sigma[b + a * p];
    // mu = ybar + F^T z / sqrt(n').
    if (int e = _tarrdRngGaussian(kGaussianMethod, stream, ip, noise, 0.0, 1.0)) return e;
    const double alpha = 1.0 / std::sqrt(nn), one = 1.0;
    const int inc = 1;
    zorp_blas_dgemv("T", &ip, &ip, &alpha, u, &ip, noise, &inc, &one, mu, &inc);
    return 0;
  }
  int augment() {
    if (!da) return 0;
    std::memcpy(mu, mu_em, sizeof(double) * size_t(p));
    std::memcpy(sigma, sigma_em, sizeof(double) * size_t(p * p));
    for (int64_t set = 0; set < m; ++set) {
      for (int64_t it = 0; it < da_iter; ++it) {
        moment_matrix();
        start_sums();
        for (int64_t gi = 0; gi < ngroups; ++gi) {
          const Group& G = groups[gi];
          if (gi == complete) continue;
          if (int e = sweep(G)) return e;
          if (int e = impute(G)) return e;
          if (gi != empty) row_products(G), accumulate(G, false);
        }
        if (int e = posterior()) return e;
      }
      put_parameters(mu, sigma, sets + set * q);
      if (have_imputed) gather(imputed + set * nmiss);
    }
    return 0;
  }

  // The parameters mapped back to the data's units: mean, then the upper triangle by columns.
  void put_parameters(const double* mean, const double* cov, double* out) const {
    for (int64_t j = 0; j < p; ++j) out[j] = shift[j] + scale[j] * mean[j];
    for (int64_t b = 0; b < p; ++b)
      for (int64_t a = 0; a <= b; ++a) out[p + a + b * (b + 1) / 2] = cov[a + b * p] * scale[a] * scale[b];
  }
  // The current imputed values in the order of the observation array, in the data's units.
  void gather(double* out) {
    int64_t pos = 0;
    auto value = [&](int64_t i, int64_t j, int64_t rank) {
      const Group& G = groups[grp[i]];
      out[pos++] = shift[j] + scale[j] * z[zrow[i] + (G.a + rank) * G.count];
    };
    if (obs.layout == kByObservation) {
      for (int64_t i = 0; i < n; ++i)
        for (int64_t j = 0, rank = 0; j < p; ++j)
          if (missing_at(i, j)) value(i, j, rank++);
    } else {
      std::fill(seen, seen + n, 0);
      for (int64_t j = 0; j < p; ++j)
        for (int64_t i = 0; i < n; ++i)
          if (missing_at(i, j)) value(i, j, seen[i]++);
    }
  }

  int part(int, int) {
    if (int e = em()) return e;
    return augment();
  }

  int finish() {
    if (have_em) {
      T* out = static_cast<T*>(slot(t, kSlotMissing6));
      double* tmp = s;  // q <= (p+1)^2
      put_parameters(mu_em, sigma_em, tmp);
      for (int64_t k = 0; k < q; ++k) out[k] = T(tmp[k]);
    }
    if (da) {
      T* out = static_cast<T*>(slot(t, kSlotMissing8));
      for (int64_t k = 0; k < m * q; ++k) out[k] = T(sets[k]);
    }
    if (have_imputed) {
      T* out = static_cast<T*>(slot(t, kSlotMissing10));
      for (int64_t k = 0; k < m * nmiss; ++k) out[k] = T(imputed[k]);
    }
    return 0;
  }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(MissingValues, Missing)
