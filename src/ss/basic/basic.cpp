// Basic statistics: moments, sums, covariance, correlation and cross-product in one pass.
//
// Shape of a call: checks in their fixed order; a plan of what to accumulate; one work block
// for everything (so nothing is written when memory runs out); the observations split into one
// consecutive range per thread, each range accumulated into its own partial (moments block by
// block, see moments.h; the cross-product of shifted observations by BLAS syrk); the stored running
// values of earlier calls and the partials merged in range order by exact formulas; results
// and the weight accumulator written last.
#include <algorithm>
#include <cmath>
#include <utility>
#include <cstring>
#include <limits>

#include "host/host.h"
#include "ss/basic/moments.h"
#include "ss/task/task.h"

namespace zorp::ss {
namespace {

// ---- estimate table: bit, slot, error, needs (as bits) for methods 0x2/0x100 ------------
constexpr uint64_t kMean = TARR_SS_MEAN, kR2 = TARR_SS_RAW_MOMENT_2, kR3 = TARR_SS_RAW_MOMENT_3,
                   kR4 = TARR_SS_RAW_MOMENT_4, kC2 = TARR_SS_CENTRAL_MOMENT_2,
                   kC3 = TARR_SS_CENTRAL_MOMENT_3, kC4 = TARR_SS_CENTRAL_MOMENT_4,
                   kKurt = TARR_SS_KURTOSIS, kSkew = TARR_SS_SKEWNESS, kVar = TARR_SS_VARIATION,
                   kCov = TARR_SS_COV, kCor = TARR_SS_COR, kSum = TARR_SS_SUM,
                   kRS2 = TARR_SS_RAW_SUM_2, kRS3 = TARR_SS_RAW_SUM_3, kRS4 = TARR_SS_RAW_SUM_4,
                   kCS2 = TARR_SS_CENTRAL_SUM_2, kCS3 = TARR_SS_CENTRAL_SUM_3,
                   kCS4 = TARR_SS_CENTRAL_SUM_4, kCP = TARR_SS_CP;

struct EstimateRow {
  uint64_t bit;
  int slot;
  int error;
  uint64_t needs;      // methods 0x2 and 0x100
  uint64_t needs_raw;  // method 0x1 (differs for the central sums)
  uint64_t needs_sum;  // methods 0x200 and 0x400: the sum of the same order
};
constexpr EstimateRow kEstimates[] = {
    {kMean, kSlotMean, -4006, 0, 0, kSum},
    {kR2, kSlotRaw2, -4007, 0, 0, kRS2},
    {kR3, kSlotRaw3, -4008, 0, 0, kRS3},
    {kR4, kSlotRaw4, -4009, 0, 0, kRS4},
    {kC2, kSlotC2, -4010, kMean | kR2, kMean | kR2, kCS2},
    {kC3, kSlotC3, -4011, kMean | kR2 | kR3, kMean | kR2 | kR3, kCS3},
    {kC4, kSlotC4, -4012, kMean | kR2 | kR3 | kR4, kMean | kR2 | kR3 | kR4, kCS4},
    {kKurt, kSlotKurt, -4013, kMean | kR2 | kR3 | kR4 | kC2 | kC4, kMean | kR2 | kR3 | kR4 | kC2 | kC4, kCS2 | kCS4},
    {kSkew, kSlotSkew, -4014, kMean | kR2 | kR3 | kC2 | kC3, kMean | kR2 | kR3 | kC2 | kC3, kCS2 | kCS3},
    {kVar, kSlotVar, -4017, kMean | kR2 | kC2, kMean | kR2 | kC2, kCS2},
    {kCov, kSlotCov, -4018, kMean, kMean, 0},
    {kCor, kSlotCor, -4019, kMean, kMean, 0},
    {kSum, kSlotSum, -4074, 0, 0, 0},
    {kRS2, kSlotRawSum2, -4075, 0, 0, 0},
    {kRS3, kSlotRawSum3, -4076, 0, 0, 0},
    {kRS4, kSlotRawSum4, -4077, 0, 0, 0},
    {kCS2, kSlotCSum2, -4078, kMean, kMean | kR2, 0},
    {kCS3, kSlotCSum3, -4079, kMean, kMean | kR2 | kR3, 0},
    {kCS4, kSlotCSum4, -4080, kMean, kMean | kR2 | kR3 | kR4, 0},
    {kCP, kSlotCP, -4081, kMean, kMean, 0},
};
constexpr uint64_t kSums = kSum | kRS2 | kRS3 | kRS4 | kCS2 | kCS3 | kCS4;
constexpr uint64_t kMatrices = kCov | kCor | kCP;
constexpr uint32_t kMethodRaw = TARR_SS_METHOD_FAST, kMethodOnePass = TARR_SS_METHOD_1PASS,
                   kMethodCentral = TARR_SS_METHOD_1PASS_CENTRAL,
                   kMethodSumRel = TARR_SS_METHOD_SUM_TO_MOM, kMethodSumFreq = TARR_SS_METHOD_SUM_TO_MOM_FREQ;

// ---- checks ----------------------------------------------------------------------------
struct Checked {
  uint32_t method;     // the one method in force
  uint64_t requested;  // estimates to write
  uint64_t computed;   // requested plus their needs
  int64_t p = 0, n = 0;
  int storage = 0;
  bool own_accumulator = false;
};

int check(const TarrSSTask* t, uint64_t est, uint32_t method, Checked& c) {
  const int exclusive = !!(method & kMethodRaw) + !!(method & kMethodOnePass) + !!(method & kMethodCentral);
  if (exclusive == 1)
    c.method = (method & kMethodRaw) ? kMethodRaw : (method & kMethodOnePass) ? kMethodOnePass : kMethodCentral;
  else if (exclusive == 0 && (method & kMethodSumRel))
    c.method = kMethodSumRel;
  else if (exclusive == 0 && (method & kMethodSumFreq))
    c.method = kMethodSumFreq;
  else
    return TARR_SS_ERROR_BAD_METHOD;
  const bool from_sums = c.method == kMethodSumRel || c.method == kMethodSumFreq;
  // Sum-to-moment methods read no observations: they cannot make sums or matrices.
  if (from_sums && (est & (kSums | kMatrices))) return TARR_SS_ERROR_BAD_METHOD;

  uint64_t want = 0;
  for (const auto& r : kEstimates)
    if (est & r.bit) {
      want |= r.bit;
      want |= from_sums ? 0 : c.method == kMethodRaw ? r.needs_raw : r.needs;
    }
  if (from_sums) {  // moments needed by a derived estimate need their sums too
    for (const auto& r : kEstimates)
      if (est & r.bit)
        for (const auto& q : kEstimates)
          if ((r.needs | r.bit) & q.bit) want |= q.bit | q.needs_sum;
  }
  for (const auto& r : kEstimates)
    if ((want & r.bit) && !slot(t, r.slot)) return r.error;
  c.requested = est & want;
  c.computed = want;

  const bool wide = t->width_flag != 0;
  if (!slot(t, kSlotAccum)) {
    if (slot(t, kSlotW) || !t->nobs) return TARR_SS_ERROR_NULL_ACCUM_WEIGHTS;
    c.own_accumulator = true;
  }
  if (!t->nobs || (c.n = read_int(t->nobs, wide)) < 1) return TARR_SS_ERROR_BAD_NOBS;
  if (!t->x) return TARR_SS_ERROR_NULL_OBSERVATIONS;
  if (!t->storage) return TARR_SS_ERROR_NULL_STORAGE_ITEM;
  const int64_t st = read_int(t->storage, wide);
  if (st & TARR_SS_MATRIX_STORAGE_1)
    c.storage = 1;
  else if (st & TARR_SS_MATRIX_STORAGE_2)
    c.storage = 2;
  else
    return TARR_SS_ERROR_BAD_STORAGE;
  if (!t->dimension || (c.p = read_int(t->dimension, wide)) < 1) return TARR_SS_ERROR_BAD_DIMENSION;
  return 0;
}

// ---- host BLAS in the task's precision --------------------------------------------------
inline void syrk(int n, int k, const double* a, int lda, double* c, int ldc) {
  const double one = 1.0;
  zorp_blas_xdsyrk("U", "N", &n, &k, &one, a, &lda, &one, c, &ldc);
}
inline void syrk(int n, int k, const float* a, int lda, float* c, int ldc) {
  const float one = 1.0f;
  zorp_blas_xssyrk("U", "N", &n, &k, &one, a, &lda, &one, c, &ldc);
}
inline void syrk_t(int n, int k, const double* a, int lda, double* c, int ldc) {
  const double one = 1.0;
  zorp_blas_xdsyrk("U", "T", &n, &k, &one, a, &lda, &one, c, &ldc);
}
inline void syrk_t(int n, int k, const float* a, int lda, float* c, int ldc) {
  const float one = 1.0f;
  zorp_blas_xssyrk("U", "T", &n, &k, &one, a, &lda, &one, c, &ldc);
}
inline void syr(int n, double alpha, const double* x, double* a, int lda) {
  const int inc = 1;
  zorp_blas_xdsyr("U", &n, &alpha, x, &inc, a, &lda);
}
inline void syr(int n, double alpha, const float* x, float* a, int lda) {
  const int inc = 1;
  const float al = float(alpha);
  zorp_blas_xssyr("U", &n, &al, x, &inc, a, &lda);
}

// Position of matrix entry (r, c) of a p x p symmetric matrix in the given storage word.
inline int64_t mat_pos(int64_t r, int64_t c, int64_t p, int64_t fmt) {
  if (fmt & TARR_SS_MATRIX_STORAGE_U_PACKED) {
    if (r > c) std::swap(r, c);
    return r + c * (c + 1) / 2;
  }
  if (fmt & TARR_SS_MATRIX_STORAGE_L_PACKED) {
    if (r < c) std::swap(r, c);
    return r + c * (2 * p - c - 1) / 2;
  }
  return r + c * p;
}

// ---- the call's plan and work space -----------------------------------------------------
template <typename T>
struct Plan {
  const TarrSSTask* t;
  Checked c;
  int64_t p, n, q, qp;  // components, observations, selected, selected padded to 8
  int64_t* sel;         // selected component numbers
  const T* x;
  const T* w;
  bool direct;       // observations usable in place (double, observation-major, all components)
  int raw_order = 1, central_order = 0;
  bool matrices = false;
  int64_t block = 0;  // observations per block
  int64_t sub = 0;    // observations per sub-block of the moment kernels (L1-sized)
  int nthreads = 1;
  // per range: moment arrays (7 * qp doubles), totals, panel, weights, sub-block weights,
  // shifted block, matrix
  MomentArrays* part;
  double* partW;
  double* partW2;
  double** panel;
  double** wbuf;
  double** wsum;
  T** ybuf;
  T** cmat;
  double* shift;  // common shift of every range: moments and cross-products are of x - shift
};

// Observation-major panel of the selected components in double (float tasks, or an index
// array), padded with zeros to qp columns.
template <typename T>
void load_panel(const Plan<T>& P, int64_t i0, int64_t bs, double* out) {
  const int64_t q = P.q, qp = P.qp;
  for (int64_t k = 0; k < bs; ++k) {
    const T* src = P.x + (i0 + k) * P.p;
    double* dst = out + k * qp;
    for (int64_t j = 0; j < q; ++j) dst[j] = double(src[P.sel[j]]);
    for (int64_t j = q; j < qp; ++j) dst[j] = 0;
  }
}

// Specialised moment loops, indexed by raw order (1..4), central order (0, 2, 3, 4) and
// weights present.
using RowFn = void (*)(const double*, int64_t, int64_t, int64_t, const double*, int64_t, const double*,
                       const double*, MomentArrays, double&);
template <typename T>
using ColFn = void (*)(const T*, const double*, int64_t, int64_t, const double*, double, Moments<double>&, double&);

#define ZORP_SS_BY_WEIGHT(K, R, C) {K<R, C, false>, K<R, C, true>}
#define ZORP_SS_BY_CENTRAL(K, R) \
  {ZORP_SS_BY_WEIGHT(K, R, 0), ZORP_SS_BY_WEIGHT(K, R, 2), ZORP_SS_BY_WEIGHT(K, R, 3), ZORP_SS_BY_WEIGHT(K, R, 4)}
#define ZORP_SS_TABLE(K) \
  {ZORP_SS_BY_CENTRAL(K, 1), ZORP_SS_BY_CENTRAL(K, 2), ZORP_SS_BY_CENTRAL(K, 3), ZORP_SS_BY_CENTRAL(K, 4)}
constexpr RowFn kRowKernels[4][4][2] = ZORP_SS_TABLE(row_moments);
template <int R, int C, bool Wt>
constexpr ColFn<double> kColD = component_moments<R, C, Wt, double>;
template <int R, int C, bool Wt>
constexpr ColFn<float> kColS = component_moments<R, C, Wt, float>;
constexpr ColFn<double> kColKernelsD[4][4][2] = ZORP_SS_TABLE(kColD);
constexpr ColFn<float> kColKernelsS[4][4][2] = ZORP_SS_TABLE(kColS);
#undef ZORP_SS_TABLE
#undef ZORP_SS_BY_CENTRAL
#undef ZORP_SS_BY_WEIGHT

template <typename T>
ColFn<T> col_kernel(int r, int c, int wt) {
  if constexpr (sizeof(T) == 8) return kColKernelsD[r][c][wt];
  else return kColKernelsS[r][c][wt];
}

template <typename T>
void run_range(Plan<T>& P, int r) {
  const int64_t per = P.n / P.nthreads;
  const int64_t i0 = r * per, i1 = r == P.nthreads - 1 ? P.n : i0 + per;
  // A raw moment 2 next to a central sum 2 is not accumulated: it is m^2 + S2/W, a sum of two
  // positive terms (a few rounding errors), which spares the pass a product and a sum per value.
  const bool r2_from_s2 = P.raw_order == 2 && P.central_order >= 2;
  const int ri = r2_from_s2 ? 0 : P.raw_order - 1, ci = P.central_order == 0 ? 0 : P.central_order - 1,
            wi = P.w != nullptr;
  const RowFn rowk = kRowKernels[ri][ci][wi];
  const ColFn<T> colk = col_kernel<T>(ri, ci, wi);
  double W = 0, W2 = 0;
  for (int64_t i = i0; i < i1; i += P.block) {
    const int64_t bs = std::min<int64_t>(P.block, i1 - i);
    const double* wd = nullptr;
    const double* ws = nullptr;
    if (P.w) {
      // The weights of every sub-block are summed once here, so that all components (and
      // both layouts) see the same running weight.
      double* wb = P.wbuf[r];
      double* sums = P.wsum[r];
      for (int64_t k = 0; k < bs; ++k) wb[k] = double(P.w[i + k]);
      for (int64_t k0 = 0, s = 0; k0 < bs; k0 += P.sub, ++s) {
        const int64_t L = std::min<int64_t>(P.sub, bs - k0);
        double a[4] = {0, 0, 0, 0}, a2[4] = {0, 0, 0, 0};
        int64_t k = 0;
        for (; k + 4 <= L; k += 4)
          for (int u = 0; u < 4; ++u) a[u] += wb[k0 + k + u], a2[u] += wb[k0 + k + u] * wb[k0 + k + u];
        for (; k < L; ++k) a[0] += wb[k0 + k], a2[0] += wb[k0 + k] * wb[k0 + k];
        sums[s] = (a[0] + a[1]) + (a[2] + a[3]);
        W2 += (a2[0] + a2[1]) + (a2[2] + a2[3]);
      }
      wd = wb;
      ws = sums;
    } else {
      W2 += double(bs);
    }
    const double* B = nullptr;
    int64_t ld = 0;
    if (P.c.storage == 1) {
      // Component-major: each component's values of the block are contiguous; lanes run over
      // observations.  Every component starts from the same running weight W.
      double Wj = W;
      for (int64_t j = 0; j < P.q; ++j) {
        const MomentArrays& a = P.part[r];
        Moments<double> st{a.m[j], a.r2[j], a.r3[j], a.r4[j], a.s2[j], a.s3[j], a.s4[j]};
        Wj = W;
        colk(P.x + P.sel[j] * P.n + i, wd, bs, P.sub, ws, P.shift[j], st, Wj);
        a.m[j] = st.m, a.r2[j] = st.r2, a.r3[j] = st.r3, a.r4[j] = st.r4;
        a.s2[j] = st.s2, a.s3[j] = st.s3, a.s4[j] = st.s4;
      }
      W = Wj;
    } else {
      if (P.direct) {
        B = reinterpret_cast<const double*>(P.x) + i * P.p;
        ld = P.p;
      } else {
        load_panel(P, i, bs, P.panel[r]);
        B = P.panel[r];
        ld = P.qp;
      }
      rowk(B, ld, bs, P.q, wd, P.sub, ws, P.shift, P.part[r], W);
    }
    if (P.matrices) {
      // Y = sqrt(w) (x - s) for one rank-bs update of the upper triangle: q rows by bs columns
      // from observation-major data, bs rows by q columns (and syrk on its transpose) from
      // component-major data, so neither layout is ever transposed.
      T* Y = P.ybuf[r];
      if (P.c.storage == 1) {
        for (int64_t j = 0; j < P.q; ++j) {
          const T* src = P.x + P.sel[j] * P.n + i;
          const double s = P.shift[j];
          T* y = Y + j * bs;
          if (wd)
            for (int64_t k = 0; k < bs; ++k) y[k] = T(std::sqrt(wd[k]) * (double(src[k]) - s));
          else
            for (int64_t k = 0; k < bs; ++k) y[k] = T(double(src[k]) - s);
        }
        syrk_t(int(P.q), int(bs), Y, int(bs), P.cmat[r], int(P.q));
      } else {
        for (int64_t k = 0; k < bs; ++k) {
          const double sw = wd ? std::sqrt(wd[k]) : 1.0;
          const double* xr = B + k * ld;
          T* y = Y + k * P.q;
          for (int64_t j = 0; j < P.q; ++j) y[j] = T(sw * (xr[j] - P.shift[j]));
        }
        syrk(int(P.q), int(bs), Y, int(P.q), P.cmat[r], int(P.q));
      }
    }
  }
  if (r2_from_s2 && W > 0) {
    const MomentArrays& a = P.part[r];
    for (int64_t j = 0; j < P.q; ++j) {
      const double mu = P.shift[j] + a.m[j];
      // An infinite mean leaves S2 NaN, but the mean square is then +inf all the same.
      a.r2[j] = std::isinf(mu) ? mu * mu : mu * mu + a.s2[j] / W;
    }
  }
  P.partW[r] = W;
  P.partW2[r] = W2;
}

template <typename T>
void thread_task(int task, int, int, void* ctx) {
  run_range(*static_cast<Plan<T>*>(ctx), task);
}

int thread_limit() {
  using LimitFn = int (*)(void);
  static LimitFn fn = reinterpret_cast<LimitFn>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_get_num_threads_limit"));
  return fn ? fn() : 1;
}
using ForFn = void (*)(int, int, void*, zorp_thread_task_fn);
ForFn thread_for() {
  static ForFn fn = reinterpret_cast<ForFn>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_for"));
  return fn;
}

template <typename T>
int basic(TarrSSTask* t, uint64_t est, uint32_t method) {
  if (!t) return TARR_SS_ERROR_NULL_TASK;
  Plan<T> P{};
  P.t = t;
  if (int e = check(t, est, method, P.c)) return e;
  const uint64_t want = P.c.computed, req = P.c.requested;
  const bool wide = t->width_flag != 0;
  P.p = P.c.p;
  P.n = P.c.n;
  P.x = static_cast<const T*>(t->x);
  P.w = static_cast<const T*>(t->weights);
  auto arr = [&](int s) { return static_cast<T*>(slot(t, s)); };
  T own_acc[2] = {0, 0};
  T* acc = P.c.own_accumulator ? own_acc : arr(kSlotAccum);
  const double Wold = double(acc[0]), W2old = double(acc[1]);
  const uint32_t m = P.c.method;
  const bool from_sums = m == kMethodSumRel || m == kMethodSumFreq;

  // Selected components.
  int64_t q = 0;
  if (t->indices) {
    for (int64_t j = 0; j < P.p; ++j) q += read_int(t->indices, wide, j) != 0;
  } else {
    q = P.p;
  }
  P.q = q;
  P.qp = (q + 7) / 8 * 8;
  if (q == 0) return 0;

  // What the pass keeps.
  auto has = [&](uint64_t b) { return (want & b) != 0; };
  P.raw_order = has(kR4 | kRS4) ? 4 : has(kR3 | kRS3) ? 3 : has(kR2 | kRS2) ? 2 : 1;
  if (m == kMethodOnePass)
    P.central_order = has(kCS4) ? 4 : has(kCS3) ? 3 : has(kC2 | kCS2 | kVar | kKurt | kSkew) ? 2 : 0;
  else if (m == kMethodCentral)
    P.central_order = has(kC4 | kCS4 | kKurt) ? 4 : has(kC3 | kCS3 | kSkew) ? 3 : has(kC2 | kCS2 | kVar) ? 2 : 0;
  P.matrices = has(kMatrices);

  // A thread is worth its start only with at least 8192 observations and 128 K values
  // (1 MB of doubles, some tens of microseconds of reading) of its own.
  int nthreads = 1;
  if (!from_sums && P.n >= 16384) {
    nthreads = std::max(1, thread_limit());
    nthreads = int(std::min<int64_t>({int64_t(nthreads), P.n / 8192, P.n * q / 131072}));
    if (!thread_for() || nthreads < 1) nthreads = 1;
  }
  P.nthreads = nthreads;
  P.direct = sizeof(T) == 8 && P.c.storage == 2 && q == P.p;
  // ~256 KB of observations per block (the shifted copy for the matrices doubles that).
  // Without matrices, component-major blocks are at least 8192 observations, so that each
  // component is read as a run of 64 KB and the block's weights stay in L2.
  // Blocks and the moment kernels' sub-blocks are sized from p, not from the number of
  // selected components: the observations are then cut at the same places whatever the
  // index array says, so a selected component's results do not move with the index array
  // (component-major: bit for bit; observation-major: up to the order of additions inside a
  // sub-block, which differs between narrow and tiled rows).
  const int64_t rowbytes = 8 * P.p * (P.matrices ? 2 : 1);
  int64_t block = std::max<int64_t>(64, 262144 / rowbytes);
  // Observation-major data read in place needs no block buffer either, and the moment kernel
  // keeps its two passes overlapped only within one call: blocks of 8192 rows there too.
  if (!P.matrices && (P.c.storage == 1 || P.direct)) block = std::max<int64_t>(block, 8192);
  P.block = std::min<int64_t>(block, P.n);
  // Sub-blocks read twice by the moment kernels: 1024 values of one component (8 KB), or as
  // many observations of all components as fill 64 KB (at least 8).  Observation-major
  // sub-blocks are larger than L1 on purpose: every sub-block boundary costs the kernel a
  // merge per group of components and a restart of its overlapped passes.
  P.sub = P.c.storage == 1 ? 1024 : std::max<int64_t>(8, 8192 / ((P.p + 7) / 8 * 8));

  // One allocation for all work space: moment state for the stored values and every range,
  // per-range panels, weights, shifted blocks and cross-products, the selection, the shift,
  // and one q x q matrix for the merged cross-product.
  auto up = [](size_t b) { return (b + 127) / 128 * 128; };
  const size_t nstate = size_t(nthreads) + 1;
  const size_t b_state = up(7 * P.qp * sizeof(double)) * nstate;
  const size_t b_panel = P.direct || P.c.storage == 1 ? 0 : up(P.block * P.qp * sizeof(double));
  const size_t b_w = P.w ? up(P.block * sizeof(double)) + up((P.block / P.sub + 1) * sizeof(double)) : 0;
  const size_t b_y = P.matrices ? up(P.block * q * sizeof(T)) : 0;
  const size_t b_c = P.matrices ? up(q * q * sizeof(T)) : 0;
  const size_t b_misc = up(q * sizeof(int64_t)) + up(P.qp * sizeof(double)) + up(nstate * sizeof(MomentArrays)) +
                        2 * up(nstate * sizeof(double)) + 5 * up(nstate * sizeof(void*));
  const size_t total = b_state + nthreads * (b_panel + b_w + b_y + b_c) + b_c + b_misc;
  auto* base = static_cast<unsigned char*>(host::allocate(total));
  if (!base) return TARR_SS_ERROR_ALLOCATION;
  std::memset(base, 0, total);
  unsigned char* cur = base;
  auto take = [&](size_t b) { unsigned char* r = cur; cur += b; return r; };
  MomentArrays* states = reinterpret_cast<MomentArrays*>(take(up(nstate * sizeof(MomentArrays))));
  P.partW = reinterpret_cast<double*>(take(up(nstate * sizeof(double))));
  P.partW2 = reinterpret_cast<double*>(take(up(nstate * sizeof(double))));
  P.panel = reinterpret_cast<double**>(take(up(nstate * sizeof(void*))));
  P.wbuf = reinterpret_cast<double**>(take(up(nstate * sizeof(void*))));
  P.wsum = reinterpret_cast<double**>(take(up(nstate * sizeof(void*))));
  P.ybuf = reinterpret_cast<T**>(take(up(nstate * sizeof(void*))));
  P.cmat = reinterpret_cast<T**>(take(up(nstate * sizeof(void*))));
  P.sel = reinterpret_cast<int64_t*>(take(up(q * sizeof(int64_t))));
  P.shift = reinterpret_cast<double*>(take(up(P.qp * sizeof(double))));
  for (size_t s = 0; s < nstate; ++s) {
    double* d = reinterpret_cast<double*>(take(up(7 * P.qp * sizeof(double))));
    states[s] = {d, d + P.qp, d + 2 * P.qp, d + 3 * P.qp, d + 4 * P.qp, d + 5 * P.qp, d + 6 * P.qp};
  }
  for (int r = 0; r < nthreads; ++r) {
    P.panel[r] = b_panel ? reinterpret_cast<double*>(take(b_panel)) : nullptr;
    P.wbuf[r] = b_w ? reinterpret_cast<double*>(take(b_w)) : nullptr;
    P.wsum[r] = b_w ? P.wbuf[r] + up(P.block * sizeof(double)) / sizeof(double) : nullptr;
    P.ybuf[r] = b_y ? reinterpret_cast<T*>(take(b_y)) : nullptr;
    P.cmat[r] = b_c ? reinterpret_cast<T*>(take(b_c)) : nullptr;
  }
  T* cp = b_c ? reinterpret_cast<T*>(take(b_c)) : nullptr;
  MomentArrays total_state = states[nthreads];  // the stored running values, then the merge
  P.part = states;
  {
    int64_t k = 0;
    for (int64_t j = 0; j < P.p; ++j)
      if (!t->indices || read_int(t->indices, wide, j) != 0) P.sel[k++] = j;
  }

  // Stored running values of earlier calls (only when the accumulator says there were any).
  const double Bold = Wold > 0 ? (m == kMethodSumFreq ? Wold - 1 : Wold - W2old / Wold) : 0;
  // A stored value divided by B, back to its sum.  B = 0 (all earlier weight on one
  // observation) left NaN in the arrays; that data's central sums and cross-products are 0.
  auto times_bold = [&](T v) { return Bold > 0 ? double(v) * Bold : 0.0; };
  T *mean = arr(kSlotMean), *r2 = arr(kSlotRaw2), *r3 = arr(kSlotRaw3), *r4 = arr(kSlotRaw4);
  T *c2 = arr(kSlotC2), *c3 = arr(kSlotC3), *c4 = arr(kSlotC4), *sum = arr(kSlotSum);
  T *rs2 = arr(kSlotRawSum2), *rs3 = arr(kSlotRawSum3), *rs4 = arr(kSlotRawSum4);
  T *cs2 = arr(kSlotCSum2), *cs3 = arr(kSlotCSum3), *cs4 = arr(kSlotCSum4);
  T *cov = arr(kSlotCov), *cor = arr(kSlotCor), *cpo = arr(kSlotCP);
  auto fmt_of = [&](int s) -> int64_t { const void* f = slot(t, s); return f ? read_int(f, wide) : 0; };
  const int64_t fcov = fmt_of(kSlotCovStorage), fcor = fmt_of(kSlotCorStorage), fcp = fmt_of(kSlotCPStorage);
  auto pick = [&](bool use, T* a, T* b, double sb, int64_t c) -> double {
    // value from array a, else from array b scaled by sb, else 0
    if (!use) return 0;
    if (a) return double(a[c]);
    if (b) return double(b[c]) * sb;
    return 0;
  };
  if (Wold > 0 || from_sums) {
    const double Wd = Wold;
    for (int64_t j = 0; j < q; ++j) {
      const int64_t c = P.sel[j];
      MomentArrays& s = total_state;
      if (from_sums) {
        s.m[j] = sum && has(kSum) ? double(sum[c]) / Wd : 0;
        s.r2[j] = rs2 && has(kRS2) ? double(rs2[c]) / Wd : 0;
        s.r3[j] = rs3 && has(kRS3) ? double(rs3[c]) / Wd : 0;
        s.r4[j] = rs4 && has(kRS4) ? double(rs4[c]) / Wd : 0;
        s.s2[j] = cs2 && has(kCS2) ? double(cs2[c]) : 0;
        s.s3[j] = cs3 && has(kCS3) ? double(cs3[c]) : 0;
        s.s4[j] = cs4 && has(kCS4) ? double(cs4[c]) : 0;
        continue;
      }
      s.m[j] = has(kMean) ? double(mean[c]) : (has(kSum) ? double(sum[c]) / Wd : 0);
      s.r2[j] = pick(has(kR2 | kRS2), has(kR2) ? r2 : nullptr, has(kRS2) ? rs2 : nullptr, 1 / Wd, c);
      s.r3[j] = pick(has(kR3 | kRS3), has(kR3) ? r3 : nullptr, has(kRS3) ? rs3 : nullptr, 1 / Wd, c);
      s.r4[j] = pick(has(kR4 | kRS4), has(kR4) ? r4 : nullptr, has(kRS4) ? rs4 : nullptr, 1 / Wd, c);
      if (P.central_order >= 2) {  // S2: central sum 2, central moment 2, covariance, cross-product
        if (has(kCS2)) s.s2[j] = double(cs2[c]);
        else if (has(kC2)) s.s2[j] = times_bold(c2[c]);
        else if (has(kCov)) s.s2[j] = times_bold(cov[mat_pos(c, c, P.p, fcov)]);
        else if (has(kCP)) s.s2[j] = double(cpo[mat_pos(c, c, P.p, fcp)]);
      }
      if (P.central_order >= 3)
        s.s3[j] = has(kCS3) ? double(cs3[c]) : has(kC3) ? double(c3[c]) * Wold : 0;
      if (P.central_order >= 4)
        s.s4[j] = has(kCS4) ? double(cs4[c]) : has(kC4) ? double(c4[c]) * Wold : 0;
    }
  }
  double W = Wold, W2 = W2old;

  if (!from_sums) {
    // Common shift of all ranges: the stored mean when continuing (so the earlier data's
    // shifted mean is exactly 0), else the first observation.  x - shift is exact for data
    // near the shift, and every running quantity of the pass is then small.  An infinite or
    // NaN candidate is no shift (x - shift would turn an infinite mean into NaN): 0 instead.
    for (int64_t j = 0; j < q; ++j) {
      const int64_t c = P.sel[j];
      const double v = Wold > 0 ? total_state.m[j] : double(P.c.storage == 2 ? P.x[c] : P.x[c * P.n]);
      P.shift[j] = std::isfinite(v) ? v : 0.0;
      if (Wold > 0) total_state.m[j] -= P.shift[j];
    }
    if (nthreads > 1)
      thread_for()(nthreads, 0, &P, thread_task<T>);
    else
      run_range(P, 0);
    for (int r = 0; r < nthreads; ++r)
      merge_moments(total_state, W, W2, states[r], P.partW[r], P.partW2[r], q, P.raw_order, P.central_order);
  }
  const MomentArrays& s = total_state;
  // With all weight on one observation (n = 1) B is 0, and central moment 2 and the covariance
  // (and kurtosis, skewness and variation with them) come out NaN on purpose: the unbiased
  // spread of one observation is unknown, and 0 would claim there is none.
  const double B = m == kMethodSumFreq ? W - 1 : W - W2 / W;
  // No weight at all (every weight 0, or an empty accumulator under the sum-to-moment
  // methods): there is no mean, so every moment and what derives from it is NaN; the sums and
  // the cross-product are the empty sums, 0.  The accumulator stays 0, so a later call starts
  // afresh.
  const bool weightless = !(W > 0);
  const double nan = std::numeric_limits<double>::quiet_NaN();

  // Cross-product: the stored one + sum of the ranges' shifted cross-products - W (m - s)(m - s)^T,
  // where m - s is the shifted mean the pass kept (no cancellation against a large mean).
  if (P.matrices) {
    if (Wold > 0) {
      // Earlier data: the stored cross-product, or covariance * B, or correlation rescaled
      // by the old diagonal.  With s = old mean the shift term of the old data vanishes.
      for (int64_t a = 0; a < q; ++a)
        for (int64_t b = a; b < q; ++b) {
          const int64_t ca = P.sel[a], cb = P.sel[b];
          double v = 0;
          if (has(kCP)) v = double(cpo[mat_pos(ca, cb, P.p, fcp)]);
          else if (has(kCov)) v = times_bold(cov[mat_pos(ca, cb, P.p, fcov)]);
          else {
            auto old_s2 = [&](int64_t c) -> double {
              if (c2 && has(kC2)) return times_bold(c2[c]);
              if (cs2 && has(kCS2)) return double(cs2[c]);
              return -1;
            };
            const double da = old_s2(ca), db = old_s2(cb);
            if (da >= 0 && db >= 0) v = double(cor[mat_pos(ca, cb, P.p, fcor)]) * __tarrdSqrt(da * db);
          }
          cp[a + b * q] = T(v);
        }
    }
    for (int r = 0; r < nthreads; ++r)
      for (int64_t b = 0; b < q; ++b)
        for (int64_t a = 0; a <= b; ++a) cp[a + b * q] += P.cmat[r][a + b * q];
    T* dm = P.ybuf[0];  // reuse: q entries of (m - s)
    for (int64_t j = 0; j < q; ++j) dm[j] = T(s.m[j]);
    syr(int(q), -W, dm, cp, int(q));
  }

  // ---- results ---------------------------------------------------------------------------
  for (int64_t j = 0; j < q; ++j) {
    const int64_t c = P.sel[j];
    const double mu = P.shift[j] + s.m[j];
    double S2 = s.s2[j], S3 = s.s3[j], S4 = s.s4[j];
    // central quantities from raw moments: f (r3 - m (3 r2 - 2 m^2)), f (r4 + m (-4 r3) + m^2 (6 r2 - 3 m^2))
    const double mm = mu * mu;
    const double k2 = s.r2[j] - mm;
    const double k3 = std::fma(-mu, std::fma(3.0, s.r2[j], -2.0 * mm), s.r3[j]);
    const double k4 = std::fma(mm, std::fma(6.0, s.r2[j], -3.0 * mm), std::fma(mu, -4.0 * s.r3[j], s.r4[j]));
    if (m == kMethodRaw) {
      S2 = W * k2;
      S3 = W * k3;
      S4 = W * k4;
    }
    double cm2 = S2 / B, cm3, cm4;
    if (m == kMethodOnePass || m == kMethodRaw) {
      cm3 = k3;  // f = 1
      cm4 = k4;
    } else {
      cm3 = S3 / W;
      cm4 = S4 / W;
    }
    if (weightless) cm2 = cm3 = cm4 = nan;
    if (has(kMean)) mean[c] = T(weightless ? nan : mu);
    if (has(kR2)) r2[c] = T(weightless ? nan : s.r2[j]);
    if (has(kR3)) r3[c] = T(weightless ? nan : s.r3[j]);
    if (has(kR4)) r4[c] = T(weightless ? nan : s.r4[j]);
    if (has(kC2)) c2[c] = T(cm2);
    if (has(kC3)) c3[c] = T(cm3);
    if (has(kC4)) c4[c] = T(cm4);
    if (req & kKurt) arr(kSlotKurt)[c] = T(cm4 / (cm2 * cm2) + (-3.0));
    if (req & kSkew) arr(kSlotSkew)[c] = T(cm3 / __tarrdSqrt((cm2 * cm2) * cm2));
    if (req & kVar) arr(kSlotVar)[c] = T(__tarrdSqrt(cm2) / mu);
    if (!from_sums) {
      if (has(kSum)) sum[c] = T(mu * W);
      if (has(kRS2)) rs2[c] = T(s.r2[j] * W);
      if (has(kRS3)) rs3[c] = T(s.r3[j] * W);
      if (has(kRS4)) rs4[c] = T(s.r4[j] * W);
      if (has(kCS2)) cs2[c] = T(S2);
      if (has(kCS3)) cs3[c] = T(S3);
      if (has(kCS4)) cs4[c] = T(S4);
    }
  }
  if (P.matrices) {
    for (int64_t b = 0; b < q; ++b)
      for (int64_t a = 0; a <= b; ++a) {
        const int64_t ca = P.sel[a], cb = P.sel[b];
        const double v = double(cp[a + b * q]);
        auto put = [&](T* M, int64_t f, double val) {
          M[mat_pos(ca, cb, P.p, f)] = T(val);
          if (!(f & 3)) M[mat_pos(cb, ca, P.p, f)] = T(val);
        };
        if (has(kCP)) put(cpo, fcp, v);
        if (has(kCov)) put(cov, fcov, v / B);
        if (has(kCor)) {
          const double d = __tarrdSqrt(double(cp[a + a * q]) * double(cp[b + b * q]));
          put(cor, fcor, a == b ? 1.0 : v / d);
        }
      }
  }
  if (!from_sums) {
    acc[0] = T(W);
    acc[1] = T(W2);
  }
  host::deallocate(base);
  return 0;
}

}  // namespace
}  // namespace zorp::ss

extern "C" ZORP_API int _tarrdSSBasic(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  return zorp::ss::basic<double>(task, estimates, method);
}
extern "C" ZORP_API int _tarrsSSBasic(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  return zorp::ss::basic<float>(task, estimates, method);
}
