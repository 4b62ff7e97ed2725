// Basic statistics: moments, sums, covariance, correlation and cross-product in one pass.
//
// The call runs the family's step sequence (common/steps.h): the checks in their fixed order;
// a plan of what to accumulate and how the observations split into one consecutive range per
// thread; one work block; the stored running values of earlier calls and the shift read back
// (start); each range accumulated into its own partial (moments block by block, see moments.h;
// the cross-product of shifted observations by BLAS syrk); the stored values and the partials
// merged in range order by exact formulas, results and the weight accumulator written last.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/host.h"
#include "ss/basic/moments.h"
#include "ss/common/blas.h"
#include "ss/common/data.h"
#include "ss/common/steps.h"

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
  int layout = 0;
  bool own_accumulator = false;
};

int check_basic(const TarrSSTask* t, uint64_t est, uint32_t method, Checked& c) {
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

  if (!slot(t, kSlotAccum)) {
    if (slot(t, kSlotW) || !t->nobs) return TARR_SS_ERROR_NULL_ACCUM_WEIGHTS;
    c.own_accumulator = true;
  }
  if (int e = read_nobs(t, c.n)) return e;
  if (!t->x) return TARR_SS_ERROR_NULL_OBSERVATIONS;
  if (int e = read_layout(t, c.layout)) return e;
  return read_dimension(t, c.p);
}

// ---- what a call leaves for the next one ----------------------------------------------------
// A call that continues takes the stored mean m' as its shift (choose_shift), so the earlier
// data's mean relative to the shift is m - m', the rounding of the stored mean.  Taken as 0,
// that rounding (half an ulp of the mean: 6e-11 at 1e6, far more in a float task) would enter
// the merged cross-product as 2 W_a (m - m') (m_b - m_a) W_b / W, about 1e-13 of the covariance
// of data with mean 1e6 and spread 1, more when later data drift.  So each call leaves a
// record in the task's work buffer (slot 92, freed with the task): the mean it meant, as the
// stored value plus the rest, for the array it wrote.  The next call uses the rest only when
// the record still describes the task: same dimension, same accumulated weight, same array,
// and the array still holding the stored value.
struct Carry {
  uint64_t tag;        // kCarryTag
  int64_t p;           // entries of hi and lo
  double W;            // accumulated weight when written
  const void* anchor;  // the mean array (or, without one, the sum array) the values came from
  // followed by hi[p] (the stored mean as the next call reads it) and lo[p] (the mean's rest)
  double* hi() { return reinterpret_cast<double*>(this + 1); }
  double* lo() { return hi() + p; }
};
constexpr uint64_t kCarryTag = 0x5353424153494331ull;  // "SSBASIC1"

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


// ---- the routine ------------------------------------------------------------------------------
template <typename T>
struct Basic : Split {
  TarrSSTask* t;
  uint64_t est;
  uint32_t method_word;
  Checked c{};
  Observations<T> obs;
  uint64_t want = 0, req = 0;
  bool from_sums = false;
  int64_t p = 0, n = 0, q = 0, qp = 0;  // components, observations, selected, selected padded to 8
  bool direct = false;  // observations usable in place (double, observation-major, all components)
  int raw_order = 1, central_order = 0;
  bool matrices = false;
  int64_t block = 0;  // observations per block
  int64_t sub = 0;    // observations per sub-block of the moment kernels (L1-sized)
  T own_acc[2] = {0, 0};
  T* acc = nullptr;
  double Wold = 0, W2old = 0;
  // Work arrays: the selection, the shift, the stored running values (then the merge), one
  // partial per range with its panel, weights, sub-block weights, shifted block and matrix.
  int64_t* sel = nullptr;
  double* shift = nullptr;  // common shift of every range: moments and cross-products are of x - shift
  MomentArrays stored{};
  MomentArrays* partial = nullptr;
  double* partW = nullptr;
  double* partW2 = nullptr;
  double** panel = nullptr;
  double** wbuf = nullptr;
  double** wsum = nullptr;
  T** ybuf = nullptr;
  T** cmat = nullptr;
  T* cp = nullptr;  // the merged q x q cross-product
  Carry* carry = nullptr;

  Basic(TarrSSTask* task, uint64_t e, uint32_t m) : t(task), est(e), method_word(m) {}
  T* arr(int s) const { return static_cast<T*>(slot(t, s)); }
  bool has(uint64_t b) const { return (want & b) != 0; }

  int check() { return check_basic(t, est, method_word, c); }
  int plan();
  void carve(Carver& C);
  int start();
  int part(int r, int thread);
  int finish();

  void load_panel(int64_t i0, int64_t bs, double* out) const;
  void choose_shift();
  void read_stored();
  void keep_carry(double W);
};

template <typename T>
int Basic<T>::plan() {
  want = c.computed;
  req = c.requested;
  p = c.p;
  n = c.n;
  obs = {p, n, c.layout, static_cast<const T*>(t->x), static_cast<const T*>(t->weights)};
  acc = c.own_accumulator ? own_acc : arr(kSlotAccum);
  Wold = double(acc[0]);
  W2old = double(acc[1]);
  from_sums = c.method == kMethodSumRel || c.method == kMethodSumFreq;
  q = select_components(t, p, nullptr);
  qp = (q + 7) / 8 * 8;
  if (q == 0) return kNothingToDo;

  // What the pass keeps.
  raw_order = has(kR4 | kRS4) ? 4 : has(kR3 | kRS3) ? 3 : has(kR2 | kRS2) ? 2 : 1;
  if (c.method == kMethodOnePass)
    central_order = has(kCS4) ? 4 : has(kCS3) ? 3 : has(kC2 | kCS2 | kVar | kKurt | kSkew) ? 2 : 0;
  else if (c.method == kMethodCentral)
    central_order = has(kC4 | kCS4 | kKurt) ? 4 : has(kC3 | kCS3 | kSkew) ? 3 : has(kC2 | kCS2 | kVar) ? 2 : 0;
  matrices = has(kMatrices);

  // A thread is worth its start only with at least 8192 observations and 128 K values
  // (1 MB of doubles, some tens of microseconds of reading) of its own.
  if (!from_sums && n >= 16384) parts = std::min(useful_threads(n, 8192), useful_threads(n * q, 131072));
  threaded = parts > 1;
  direct = sizeof(T) == 8 && c.layout == kByObservation && q == p;
  // ~256 KB of observations per block (the shifted copy for the matrices doubles that).
  // Without matrices, component-major blocks are at least 8192 observations, so that each
  // component is read as a run of 64 KB and the block's weights stay in L2.
  // Blocks and the moment kernels' sub-blocks are sized from p, not from the number of
  // selected components: the observations are then cut at the same places whatever the
  // index array says, so a selected component's results do not move with the index array
  // (component-major: bit for bit; observation-major: up to the order of additions inside a
  // sub-block, which differs between narrow and tiled rows).
  const int64_t rowbytes = 8 * p * (matrices ? 2 : 1);
  int64_t b = std::max<int64_t>(64, 262144 / rowbytes);
  // Observation-major data read in place needs no block buffer either, and the moment kernel
  // keeps its two passes overlapped only within one call: blocks of 8192 rows there too.
  if (!matrices && (c.layout == kByComponent || direct)) b = std::max<int64_t>(b, 8192);
  block = std::min<int64_t>(b, n);
  // Sub-blocks read twice by the moment kernels: 1024 values of one component (8 KB), or as
  // many observations of all components as fill 64 KB (at least 8).  Observation-major
  // sub-blocks are larger than L1 on purpose: every sub-block boundary costs the kernel a
  // merge per group of components and a restart of its overlapped passes.
  sub = c.layout == kByComponent ? 1024 : std::max<int64_t>(8, 8192 / ((p + 7) / 8 * 8));
  return 0;
}

template <typename T>
void Basic<T>::carve(Carver& C) {
  const int np = parts;
  sel = C.take<int64_t>(q);
  shift = C.take<double>(qp);
  // Moment state for the stored values and every range.
  auto moments = [&](MomentArrays& a) {
    double* d = C.take<double>(7 * qp);
    if (d) a = {d, d + qp, d + 2 * qp, d + 3 * qp, d + 4 * qp, d + 5 * qp, d + 6 * qp};
  };
  moments(stored);
  partial = C.take<MomentArrays>(np);
  for (int r = 0; r < np; ++r) {
    MomentArrays a{};
    moments(a);
    if (partial) partial[r] = a;
  }
  partW = C.take<double>(np);
  partW2 = C.take<double>(np);
  const bool own_panel = !direct && c.layout == kByObservation;
  panel = C.scratch_each<double>(np, own_panel ? block * qp : 0);
  wbuf = C.scratch_each<double>(np, obs.w ? block : 0);
  wsum = C.scratch_each<double>(np, obs.w ? block / sub + 1 : 0);
  ybuf = C.scratch_each<T>(np, matrices ? block * q : 0);
  cmat = C.take_each<T>(np, matrices ? q * q : 0);
  cp = C.take<T>(matrices ? q * q : 0);
}

// Observation-major panel of the selected components in double (float tasks, or an index
// array), padded with zeros to qp columns.
template <typename T>
void Basic<T>::load_panel(int64_t i0, int64_t bs, double* out) const {
  for (int64_t k = 0; k < bs; ++k) {
    const T* src = obs.x + (i0 + k) * p;
    double* dst = out + k * qp;
    for (int64_t j = 0; j < q; ++j) dst[j] = double(src[sel[j]]);
    for (int64_t j = q; j < qp; ++j) dst[j] = 0;
  }
}

// The stored running values of earlier calls (only when the accumulator says there were any),
// into `stored`; the sum-to-moment methods read their sums there too.
template <typename T>
void Basic<T>::read_stored() {
  if (!(Wold > 0 || from_sums)) return;
  const double Wd = Wold;
  const uint32_t m = c.method;
  const double Bold = Wold > 0 ? (m == kMethodSumFreq ? Wold - 1 : Wold - W2old / Wold) : 0;
  // A stored value divided by B, back to its sum.  B = 0 (all earlier weight on one
  // observation) left NaN in the arrays; that data's central sums and cross-products are 0.
  auto times_bold = [&](T v) { return Bold > 0 ? double(v) * Bold : 0.0; };
  T *mean = arr(kSlotMean), *r2 = arr(kSlotRaw2), *r3 = arr(kSlotRaw3), *r4 = arr(kSlotRaw4);
  T *c2 = arr(kSlotC2), *c3 = arr(kSlotC3), *c4 = arr(kSlotC4), *sum = arr(kSlotSum);
  T *rs2 = arr(kSlotRawSum2), *rs3 = arr(kSlotRawSum3), *rs4 = arr(kSlotRawSum4);
  T *cs2 = arr(kSlotCSum2), *cs3 = arr(kSlotCSum3), *cs4 = arr(kSlotCSum4);
  T *cov = arr(kSlotCov), *cpo = arr(kSlotCP);
  const int64_t fcov = slot(t, kSlotCovStorage) ? item_at(t, kSlotCovStorage) : 0;
  const int64_t fcp = slot(t, kSlotCPStorage) ? item_at(t, kSlotCPStorage) : 0;
  auto pick = [&](bool use, T* a, T* b, double sb, int64_t k) -> double {
    // value from array a, else from array b scaled by sb, else 0
    if (!use) return 0;
    if (a) return double(a[k]);
    if (b) return double(b[k]) * sb;
    return 0;
  };
  MomentArrays& s = stored;
  for (int64_t j = 0; j < q; ++j) {
    const int64_t k = sel[j];
    if (from_sums) {
      s.m[j] = sum && has(kSum) ? double(sum[k]) / Wd : 0;
      s.r2[j] = rs2 && has(kRS2) ? double(rs2[k]) / Wd : 0;
      s.r3[j] = rs3 && has(kRS3) ? double(rs3[k]) / Wd : 0;
      s.r4[j] = rs4 && has(kRS4) ? double(rs4[k]) / Wd : 0;
      s.s2[j] = cs2 && has(kCS2) ? double(cs2[k]) : 0;
      s.s3[j] = cs3 && has(kCS3) ? double(cs3[k]) : 0;
      s.s4[j] = cs4 && has(kCS4) ? double(cs4[k]) : 0;
      continue;
    }
    s.m[j] = has(kMean) ? double(mean[k]) : (has(kSum) ? double(sum[k]) / Wd : 0);
    s.r2[j] = pick(has(kR2 | kRS2), has(kR2) ? r2 : nullptr, has(kRS2) ? rs2 : nullptr, 1 / Wd, k);
    s.r3[j] = pick(has(kR3 | kRS3), has(kR3) ? r3 : nullptr, has(kRS3) ? rs3 : nullptr, 1 / Wd, k);
    s.r4[j] = pick(has(kR4 | kRS4), has(kR4) ? r4 : nullptr, has(kRS4) ? rs4 : nullptr, 1 / Wd, k);
    if (central_order >= 2) {  // S2: central sum 2, central moment 2, covariance, cross-product
      if (has(kCS2)) s.s2[j] = double(cs2[k]);
      else if (has(kC2)) s.s2[j] = times_bold(c2[k]);
      else if (has(kCov)) s.s2[j] = times_bold(cov[mat_pos(k, k, p, fcov)]);
      else if (has(kCP)) s.s2[j] = double(cpo[mat_pos(k, k, p, fcp)]);
    }
    if (central_order >= 3) s.s3[j] = has(kCS3) ? double(cs3[k]) : has(kC3) ? double(c3[k]) * Wold : 0;
    if (central_order >= 4) s.s4[j] = has(kCS4) ? double(cs4[k]) : has(kC4) ? double(c4[k]) * Wold : 0;
  }

  // Earlier cross-product: the stored one, or covariance * B, or correlation rescaled by the
  // old diagonal.  With the shift equal to the old mean its shift term vanishes.
  if (matrices && Wold > 0) {
    T* cor = arr(kSlotCor);
    const int64_t fcor = slot(t, kSlotCorStorage) ? item_at(t, kSlotCorStorage) : 0;
    auto old_s2 = [&](int64_t k) -> double {
      if (c2 && has(kC2)) return times_bold(c2[k]);
      if (cs2 && has(kCS2)) return double(cs2[k]);
      return -1;
    };
    for (int64_t a = 0; a < q; ++a)
      for (int64_t b = a; b < q; ++b) {
        const int64_t ka = sel[a], kb = sel[b];
        double v = 0;
        if (has(kCP)) v = double(cpo[mat_pos(ka, kb, p, fcp)]);
        else if (has(kCov)) v = times_bold(cov[mat_pos(ka, kb, p, fcov)]);
        else {
          const double da = old_s2(ka), db = old_s2(kb);
          if (da >= 0 && db >= 0) v = double(cor[mat_pos(ka, kb, p, fcor)]) * __tarrdSqrt(da * db);
        }
        cp[a + b * q] = T(v);
      }
  }
}

// The shift about which every range sums: the stored mean when continuing (the earlier data's
// mean relative to it is then its rounding, which the carry record restores), else the first
// observation.  x - shift is exact for data near the shift, and every running quantity of the
// pass is then small.  An infinite or NaN candidate is no shift (x - shift would turn an
// infinite mean into NaN): 0 instead.
template <typename T>
void Basic<T>::choose_shift() {
  Carry* k = static_cast<Carry*>(slot(t, kSlotWork));
  const void* anchor = has(kMean) ? slot(t, kSlotMean) : has(kSum) ? slot(t, kSlotSum) : nullptr;
  if (!(Wold > 0 && k && k->tag == kCarryTag && k->p == p && k->W == Wold && k->anchor == anchor)) k = nullptr;
  for (int64_t j = 0; j < q; ++j) {
    const double v = Wold > 0 ? stored.m[j] : double(obs.at(0, sel[j]));
    shift[j] = std::isfinite(v) ? v : 0.0;
    if (Wold > 0) {
      stored.m[j] -= shift[j];
      if (k && k->hi()[sel[j]] == v) stored.m[j] += k->lo()[sel[j]];
    }
  }
}

template <typename T>
int Basic<T>::start() {
  select_components(t, p, sel);
  read_stored();
  if (from_sums) return 0;
  choose_shift();
  // The record for the next call, allocated now so that a failure leaves every result as it
  // was: a record of another shape (or a buffer another routine left) is replaced.
  Carry* k = static_cast<Carry*>(slot(t, kSlotWork));
  if (!k || k->tag != kCarryTag || k->p != p) {
    auto* fresh = static_cast<Carry*>(host::allocate(sizeof(Carry) + 2 * size_t(p) * sizeof(double)));
    if (!fresh) return TARR_SS_ERROR_ALLOCATION;
    std::memset(fresh, 0, sizeof(Carry) + 2 * size_t(p) * sizeof(double));
    fresh->tag = kCarryTag;
    fresh->p = p;
    if (k) host::deallocate(k);
    slots(t)[kSlotWork] = fresh;
    k = fresh;
  }
  carry = k;
  return 0;
}

template <typename T>
int Basic<T>::part(int r, int) {
  if (from_sums) return 0;
  const Span range = span_of(n, parts, r);
  // A raw moment 2 next to a central sum 2 is not accumulated: it is m^2 + S2/W, a sum of two
  // positive terms (a few rounding errors), which spares the pass a product and a sum per value.
  const bool r2_from_s2 = raw_order == 2 && central_order >= 2;
  const int ri = r2_from_s2 ? 0 : raw_order - 1, ci = central_order == 0 ? 0 : central_order - 1,
            wi = obs.w != nullptr;
  const RowFn rowk = kRowKernels[ri][ci][wi];
  const ColFn<T> colk = col_kernel<T>(ri, ci, wi);
  double W = 0, W2 = 0;
  for (int64_t i = range.begin; i < range.end; i += block) {
    const int64_t bs = std::min<int64_t>(block, range.end - i);
    const double* wd = nullptr;
    const double* ws = nullptr;
    if (obs.w) {
      // The weights of every sub-block are summed once here, so that all components (and
      // both layouts) see the same running weight.
      double* wb = wbuf[r];
      double* sums = wsum[r];
      for (int64_t k = 0; k < bs; ++k) wb[k] = double(obs.w[i + k]);
      for (int64_t k0 = 0, s = 0; k0 < bs; k0 += sub, ++s) {
        const int64_t L = std::min<int64_t>(sub, bs - k0);
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
    if (c.layout == kByComponent) {
      // Component-major: each component's values of the block are contiguous; lanes run over
      // observations.  Every component starts from the same running weight W.
      double Wj = W;
      for (int64_t j = 0; j < q; ++j) {
        const MomentArrays& a = partial[r];
        Moments<double> st{a.m[j], a.r2[j], a.r3[j], a.r4[j], a.s2[j], a.s3[j], a.s4[j]};
        Wj = W;
        colk(obs.column(sel[j]) + i, wd, bs, sub, ws, shift[j], st, Wj);
        a.m[j] = st.m, a.r2[j] = st.r2, a.r3[j] = st.r3, a.r4[j] = st.r4;
        a.s2[j] = st.s2, a.s3[j] = st.s3, a.s4[j] = st.s4;
      }
      W = Wj;
    } else {
      if (direct) {
        B = reinterpret_cast<const double*>(obs.x) + i * p;
        ld = p;
      } else {
        load_panel(i, bs, panel[r]);
        B = panel[r];
        ld = qp;
      }
      rowk(B, ld, bs, q, wd, sub, ws, shift, partial[r], W);
    }
    if (matrices) {
      // Y = sqrt(w) (x - s) for one rank-bs update of the upper triangle: q rows by bs columns
      // from observation-major data, bs rows by q columns (and syrk on its transpose) from
      // component-major data, so neither layout is ever transposed.
      T* Y = ybuf[r];
      if (c.layout == kByComponent) {
        for (int64_t j = 0; j < q; ++j) {
          const T* src = obs.column(sel[j]) + i;
          const double s = shift[j];
          T* y = Y + j * bs;
          if (wd)
            for (int64_t k = 0; k < bs; ++k) y[k] = T(std::sqrt(wd[k]) * (double(src[k]) - s));
          else
            for (int64_t k = 0; k < bs; ++k) y[k] = T(double(src[k]) - s);
        }
        blas::syrk("T", int(q), int(bs), Y, int(bs), cmat[r], int(q));
      } else {
        for (int64_t k = 0; k < bs; ++k) {
          const double sw = wd ? std::sqrt(wd[k]) : 1.0;
          const double* xr = B + k * ld;
          T* y = Y + k * q;
          for (int64_t j = 0; j < q; ++j) y[j] = T(sw * (xr[j] - shift[j]));
        }
        blas::syrk("N", int(q), int(bs), Y, int(q), cmat[r], int(q));
      }
    }
  }
  if (r2_from_s2 && W > 0) {
    const MomentArrays& a = partial[r];
    for (int64_t j = 0; j < q; ++j) {
      const double mu = shift[j] + a.m[j];
      // An infinite mean leaves S2 NaN, but the mean square is then +inf all the same.
      a.r2[j] = std::isinf(mu) ? mu * mu : mu * mu + a.s2[j] / W;
    }
  }
  partW[r] = W;
  partW2[r] = W2;
  return 0;
}

template <typename T>
void Basic<T>::keep_carry(double W) {
  T* mean = arr(kSlotMean);
  T* sum = arr(kSlotSum);
  carry->W = double(T(W));  // as the accumulator holds it
  carry->anchor = has(kMean) ? static_cast<const void*>(mean) : has(kSum) ? static_cast<const void*>(sum) : nullptr;
  for (int64_t j = 0; j < q; ++j) {
    const int64_t k = sel[j];
    // What the next call will read as the mean, and the rest up to shift + m (exactly
    // shift - hi, for hi near the shift, plus m).
    const double hi = has(kMean) ? double(mean[k]) : has(kSum) ? double(sum[k]) / carry->W : 0.0;
    const double lo = (shift[j] - hi) + stored.m[j];
    carry->hi()[k] = hi;
    carry->lo()[k] = std::isfinite(lo) ? lo : 0.0;
  }
}

template <typename T>
int Basic<T>::finish() {
  const uint32_t m = c.method;
  double W = Wold, W2 = W2old;
  for (int r = 0; r < parts && !from_sums; ++r)
    merge_moments(stored, W, W2, partial[r], partW[r], partW2[r], q, raw_order, central_order);
  const MomentArrays& s = stored;
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
  if (matrices) {
    for (int r = 0; r < parts; ++r)
      for (int64_t b = 0; b < q; ++b)
        for (int64_t a = 0; a <= b; ++a) cp[a + b * q] += cmat[r][a + b * q];
    T* dm = ybuf[0];  // reuse: q entries of (m - s)
    for (int64_t j = 0; j < q; ++j) dm[j] = T(s.m[j]);
    blas::syr(int(q), -W, dm, cp, int(q));
  }

  T *mean = arr(kSlotMean), *r2 = arr(kSlotRaw2), *r3 = arr(kSlotRaw3), *r4 = arr(kSlotRaw4);
  T *c2 = arr(kSlotC2), *c3 = arr(kSlotC3), *c4 = arr(kSlotC4), *sum = arr(kSlotSum);
  T *rs2 = arr(kSlotRawSum2), *rs3 = arr(kSlotRawSum3), *rs4 = arr(kSlotRawSum4);
  T *cs2 = arr(kSlotCSum2), *cs3 = arr(kSlotCSum3), *cs4 = arr(kSlotCSum4);
  for (int64_t j = 0; j < q; ++j) {
    const int64_t k = sel[j];
    const double mu = shift[j] + s.m[j];
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
    if (has(kMean)) mean[k] = T(weightless ? nan : mu);
    if (has(kR2)) r2[k] = T(weightless ? nan : s.r2[j]);
    if (has(kR3)) r3[k] = T(weightless ? nan : s.r3[j]);
    if (has(kR4)) r4[k] = T(weightless ? nan : s.r4[j]);
    if (has(kC2)) c2[k] = T(cm2);
    if (has(kC3)) c3[k] = T(cm3);
    if (has(kC4)) c4[k] = T(cm4);
    if (req & kKurt) arr(kSlotKurt)[k] = T(cm4 / (cm2 * cm2) + (-3.0));
    if (req & kSkew) arr(kSlotSkew)[k] = T(cm3 / __tarrdSqrt((cm2 * cm2) * cm2));
    if (req & kVar) arr(kSlotVar)[k] = T(__tarrdSqrt(cm2) / mu);
    if (!from_sums) {
      if (has(kSum)) sum[k] = T(mu * W);
      if (has(kRS2)) rs2[k] = T(s.r2[j] * W);
      if (has(kRS3)) rs3[k] = T(s.r3[j] * W);
      if (has(kRS4)) rs4[k] = T(s.r4[j] * W);
      if (has(kCS2)) cs2[k] = T(S2);
      if (has(kCS3)) cs3[k] = T(S3);
      if (has(kCS4)) cs4[k] = T(S4);
    }
  }
  if (matrices) {
    T *cov = arr(kSlotCov), *cor = arr(kSlotCor), *cpo = arr(kSlotCP);
    auto fmt_of = [&](int st) -> int64_t { return slot(t, st) ? item_at(t, st) : 0; };
    const int64_t fcov = fmt_of(kSlotCovStorage), fcor = fmt_of(kSlotCorStorage), fcp = fmt_of(kSlotCPStorage);
    for (int64_t b = 0; b < q; ++b)
      for (int64_t a = 0; a <= b; ++a) {
        const int64_t ka = sel[a], kb = sel[b];
        const double v = double(cp[a + b * q]);
        if (has(kCP)) put_symmetric(cpo, p, fcp, ka, kb, v);
        if (has(kCov)) put_symmetric(cov, p, fcov, ka, kb, v / B);
        if (has(kCor)) {
          const double d = __tarrdSqrt(double(cp[a + a * q]) * double(cp[b + b * q]));
          put_symmetric(cor, p, fcor, ka, kb, a == b ? 1.0 : v / d);
        }
      }
  }
  if (!from_sums) {
    acc[0] = T(W);
    acc[1] = T(W2);
    if (!weightless) keep_carry(W);
  }
  return 0;
}

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(Basic, Basic)
