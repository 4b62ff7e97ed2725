// The subset of the m observations closest to a centre, as 0/1 weights: how the outlier
// detection and the robust estimator's concentration steps pick a subset from distances.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace zorp::ss {

// Weight 1 for the m observations of smallest d (0 < m <= n; a NaN distance counts as the
// largest; ties at the m-th value go to the earlier positions), 0 for the others.  `scratch`
// holds n values.  Returns whether any weight changed.
template <typename W>
bool mark_closest(const double* d, int64_t n, int64_t m, double* scratch, W* w) {
  const auto key = [](double v) { return std::isnan(v) ? INFINITY : v; };
  for (int64_t i = 0; i < n; ++i) scratch[i] = key(d[i]);
  std::nth_element(scratch, scratch + (m - 1), scratch + n);
  const double cut = scratch[m - 1];
  int64_t ties = m;
  for (int64_t i = 0; i < n; ++i) ties -= key(d[i]) < cut;
  bool changed = false;
  for (int64_t i = 0; i < n; ++i) {
    const double v = key(d[i]);
    const W mark = W(v < cut || (v == cut && ties-- > 0) ? 1 : 0);
    changed |= w[i] != mark;
    w[i] = mark;
  }
  return changed;
}

}  // namespace zorp::ss
