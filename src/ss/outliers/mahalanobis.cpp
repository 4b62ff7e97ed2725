// Squared Mahalanobis distances (_tarr?SSMahDistance): (x - m)^T S^-1 (x - m) of every
// observation, for the mean m and inverse covariance S^-1 (full p x p, double) that the outlier
// detection places in the task's internal slots while it runs; the n distances go to the third
// internal slot.  Called with those slots empty it refuses (TARR_SS_ERROR_NULL_OUTL_WEIGHTS):
// there is no public way to fill them.
//
// Observations are centred a block at a time into a p x kBlock panel and multiplied by S^-1 with
// the host's symm, so the p^2 work per observation runs as a matrix product instead of p
// dot products; the distance is the column-wise dot product of the panel with the product.
// Threads: one range when n p is below 10,000 (starting threads costs more than the pass);
// otherwise ranges of (5,000,000 / threads) / 8 / p observations (so that what a thread reads
// between two synchronisation points stays near a few megabytes), 2,048 where that is 1 or less.
#include "ss/common/data.h"
#include "ss/common/steps.h"

namespace zorp::ss {
namespace {

constexpr int64_t kBlock = 64;  // observations per symm call

template <typename T>
struct MahDistance : Split {
  TarrSSTask* t;
  Observations<T> obs;
  const double* mean = nullptr;
  const double* inv = nullptr;
  double* dist = nullptr;
  int64_t range = 0;  // observations per part
  double** panel = nullptr;
  double** product = nullptr;

  MahDistance(TarrSSTask* task, uint64_t, uint32_t) : t(task) {}

  int check() {
    mean = static_cast<const double*>(slot(t, kSlotMahMean));
    inv = static_cast<const double*>(slot(t, kSlotMahInvCov));
    dist = static_cast<double*>(slot(t, kSlotMahDistances));
    if (!mean || !inv || !dist) return TARR_SS_ERROR_NULL_OUTL_WEIGHTS;
    if (int e = obs.read(t)) return e;
    if (int e = read_layout(t, obs.layout, true)) return e;
    if (obs.p > (int64_t(1) << 31) - 1) return TARR_SS_ERROR_BAD_DIMENSION;  // symm's int sizes
    return 0;
  }
  int plan() {
    const int64_t n = obs.n, p = obs.p;
    const int limit = thread_for() ? thread_limit() : 1;
    if (n * p < 10000 || limit <= 1) {
      range = n;
    } else {
      range = (5000000 / limit) / 8 / p;
      if (range <= 1) range = 2048;
    }
    const int64_t count = (n + range - 1) / range;
    parts = int(count < (int64_t(1) << 30) ? count : (int64_t(1) << 30));
    range = (n + parts - 1) / parts;
    threaded = parts > 1;
    return 0;
  }
  void carve(Carver& C) {
    panel = C.scratch_each<double>(threads, obs.p * kBlock);
    product = C.scratch_each<double>(threads, obs.p * kBlock);
  }
  int start() { return 0; }
  int part(int r, int thread) {
    const int64_t p = obs.p;
    const int64_t begin = r * range, end = begin + range < obs.n ? begin + range : obs.n;
    double* xc = panel[thread];
    double* y = product[thread];
    for (int64_t i0 = begin; i0 < end; i0 += kBlock) {
      const int64_t b = end - i0 < kBlock ? end - i0 : kBlock;
      for (int64_t k = 0; k < b; ++k)
        for (int64_t j = 0; j < p; ++j) xc[j + k * p] = double(obs.at(i0 + k, j)) - mean[j];
      const int m = int(p), nb = int(b);
      const double one = 1.0, zero = 0.0;
      zorp_blas_xdsymm("L", "U", &m, &nb, &one, inv, &m, xc, &m, &zero, y, &m);
      for (int64_t k = 0; k < b; ++k) {
        double s = 0;
        for (int64_t j = 0; j < p; ++j) s += xc[j + k * p] * y[j + k * p];
        dist[i0 + k] = s;
      }
    }
    return 0;
  }
  int finish() { return 0; }
};

}  // namespace
}  // namespace zorp::ss

ZORP_SS_EXPORTS(MahDistance, MahDistance)
