// Order-based routines against references written here: a full std::sort per component (NaNs
// last) for quantiles, order statistics, Sort and the exported sort and selection; the
// weighted-quantile property and replicated data for WMedian; medians by sort and long-double
// means for MAD; rank error within epsilon n on adversarial orders for the streaming summary.
// Then every status code of these routines in check order, allocation failure included.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "ss/task/task.h"
#include "ss/task_util.h"
#include "zorp/core.h"
#include "zorp/ss.h"

namespace {

using namespace zorp::test::ss;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Orders of data that defeat naive pivots and summaries.
enum Order { kRandom, kSorted, kReverse, kOrganPipe, kDuplicates };
const char* const kOrderName[] = {"random", "sorted", "reverse", "organ pipe", "duplicates"};
std::vector<double> values(Order o, int64_t n, uint64_t seed) {
  std::mt19937_64 g(seed);
  std::normal_distribution<double> z;
  std::vector<double> v(n);
  // Duplicates include zeros of both signs, which compare equal but must both survive a sort.
  for (auto& x : v) x = o == kDuplicates ? (g() % 7 == 3 && g() % 2 ? -0.0 : double(g() % 7)) : 10 + z(g);
  if (o == kRandom || o == kDuplicates) return v;
  std::sort(v.begin(), v.end());
  if (o == kReverse) std::reverse(v.begin(), v.end());
  if (o == kOrganPipe) {  // up through the even ranks, down through the odd ones
    std::vector<double> w;
    for (int64_t i = 0; i < n; i += 2) w.push_back(v[i]);
    for (int64_t i = n - 1 - (n % 2); i > 0; i -= 2) w.push_back(v[i]);
    v = w;
  }
  return v;
}
// p components of one order, in the layout (1 component-major, 2 observation-major).
template <typename T>
std::vector<T> matrix(Order o, int64_t p, int64_t n, int layout, uint64_t seed) {
  std::vector<T> x(p * n);
  for (int64_t j = 0; j < p; ++j) {
    const std::vector<double> v = values(o, n, seed + j);
    for (int64_t i = 0; i < n; ++i) x[layout == 1 ? j * n + i : i * p + j] = T(v[i]);
  }
  return x;
}
template <typename T>
std::vector<T> component(const std::vector<T>& x, int64_t p, int64_t n, int layout, int64_t j) {
  std::vector<T> v(n);
  for (int64_t i = 0; i < n; ++i) v[i] = x[layout == 1 ? j * n + i : i * p + j];
  return v;
}
// The order of the values with NaNs last.
template <typename T>
bool before(T a, T b) {
  return a < b || (a == a && b != b);
}
template <typename T>
std::vector<T> sorted(std::vector<T> v) {
  std::sort(v.begin(), v.end(), before<T>);
  return v;
}
template <typename T>
bool same(T a, T b) {
  return a == b || (a != a && b != b);
}
// The same values bit for bit, in any order.
template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  auto image = [](const std::vector<T>& v) {
    std::vector<uint64_t> r;
    for (T x : v) r.push_back(std::bit_cast<std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>>(x));
    std::sort(r.begin(), r.end());
    return r;
  };
  return image(a) == image(b);
}
template <typename T>
bool same(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](T x, T y) { return same(x, y); });
}
// The quantile of order q by its definition on sorted values, in double.
template <typename T>
double quantile_of(const std::vector<T>& s, double q) {
  const int64_t n = int64_t(s.size());
  const double pos = double(n - 1) * q;
  const int64_t j = int64_t(pos), k = std::min(j + 1, n - 1);
  return pos == double(j) ? double(s[j]) : std::fma(pos - double(j), double(s[k]) - double(s[j]), double(s[j]));
}

template <typename T>
class SSOrder : public testing::Test {};
TYPED_TEST_SUITE(SSOrder, Precisions);

// Quantiles by selection (short data), by brackets (from 2^16 values), with the order statistics
// (full sort) in either layout, an index array, several threads (p = 4, n = 100,000), NaNs
// (last in the order): every value equal to the definition on a full sort; and Sort, which must
// give the same order statistics.
TYPED_TEST(SSOrder, QuantilesEqualFullSort) {
  using T = TypeParam;
  const T orders[] = {0, T(0.1), T(0.25), T(0.5), T(0.9), T(0.999), 1};
  const int32_t count = 7, idx[4] = {1, 0, 1, 1};
  for (int64_t n : {1, 4, 25, 1001, 100000})
    for (Order o : {kRandom, kOrganPipe, kDuplicates})
      for (int layout : {1, 2})
        for (int stats : {0, 1, 2}) {
          if (n == 100000 && o != kRandom) continue;  // the threaded brackets once
          const int64_t p = 4;
          std::vector<T> x = matrix<T>(o, p, n, layout, 7 * n + o);
          if (o == kDuplicates && n > 4) x[0] = x[p * n / 2] = x[p * n - 1] = T(kNaN);
          std::vector<T> q(p * count, T(kSentinel)), os(stats ? p * n : 0, T(kSentinel));
          const int32_t os_word = stats == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
          Task<T> t(int32_t(p), int32_t(n), layout, x.data(), nullptr, n == 1001 ? idx : nullptr);
          t.edit({{TARR_SS_PARAM_QUANT_COUNT, &count}, {TARR_SS_PARAM_QUANT_ORDERS, orders},
                  {TARR_SS_PARAM_QUANTILES, q.data()}});
          uint64_t est = TARR_SS_QUANTS;
          if (stats) {
            t.edit({{TARR_SS_PARAM_ORDER_STATS, os.data()}, {TARR_SS_PARAM_ORDER_STATS_STORAGE, &os_word}});
            est |= TARR_SS_ORDER_STATS;
          }
          ASSERT_EQ(Fn<T>::quantiles(t.t, est, TARR_SS_METHOD_QUANTILES), 0);
          // Sort gives the same order statistics, into the statistics' layout or, without an
          // index array, in place (refused with one).
          std::vector<T> y = x, dst(p * n, T(kSentinel));
          const int32_t sort_word = stats ? os_word : layout == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
          Task<T> u(int32_t(p), int32_t(n), layout, y.data(), nullptr, n == 1001 ? idx : nullptr);
          u.edit({{TARR_SS_PARAM_SORTED, stats ? dst.data() : y.data()}, {TARR_SS_PARAM_SORTED_STORAGE, &sort_word}});
          const bool refused = n == 1001 && !stats;
          ASSERT_EQ(Fn<T>::sort(u.t, 0, TARR_SS_METHOD_SORT), refused ? TARR_SS_ERROR_SORT_IN_PLACE_WITH_INDICES : 0);
          for (int64_t j = 0; j < p; ++j) {
            const bool skipped = n == 1001 && !idx[j];
            const std::vector<T> s = sorted(component(x, p, n, layout, j));
            for (int k = 0; k < count; ++k)
              EXPECT_TRUE(same(q[j * count + k], skipped ? T(kSentinel) : T(quantile_of(s, double(orders[k])))))
                  << "n=" << n << " " << kOrderName[o] << " layout " << layout << " stats " << stats << " j=" << j;
            if (stats && !skipped) {
              EXPECT_TRUE(same(component(os, p, n, stats, j), s)) << "order statistics j=" << j;
            }
            const std::vector<T> by_sort = component(stats ? dst : y, p, n, stats ? stats : layout, j);
            EXPECT_TRUE(refused ? same(y, x) : skipped ? untouched(by_sort) : same(by_sort, s))
                << "Sort n=" << n << " stats " << stats << " j=" << j;
          }
        }
}

// The exported routines on every order, lengths around the small-range limit and each register
// count of the sorting networks (8 and 16 lanes, up to eight registers), with NaNs: QSort equals
// a full sort and keeps the values bit for bit, QSortSelect returns rank k and leaves x
// partitioned around it, QSortStep sorts the strided values and touches nothing else.
TYPED_TEST(SSOrder, ExportedSortAndSelection) {
  using T = TypeParam;
  for (int n : {0, 1, 2, 7, 8, 9, 16, 17, 23, 24, 25, 33, 64, 65, 127, 128, 129, 257, 5000, 100000})
    for (Order o : {kRandom, kSorted, kReverse, kOrganPipe, kDuplicates}) {
      std::vector<T> x = matrix<T>(o, 1, n, 1, n + 3 * o);
      if (n > 30 && o == kRandom) x[n / 3] = x[n / 2] = T(kNaN);
      const std::vector<T> want = sorted(x);
      std::vector<T> a = x;
      Fn<T>::qsort(n, a.data());
      ASSERT_TRUE(same(a, want)) << n << " " << kOrderName[o];
      ASSERT_TRUE(same_bits(a, x)) << n << " " << kOrderName[o];
      for (int k : {0, n / 4, n / 2, n - 1}) {
        if (k < 0 || k >= n) continue;
        a = x;
        ASSERT_TRUE(same(Fn<T>::select(n, a.data(), k), want[k])) << n << " " << kOrderName[o] << " k=" << k;
        EXPECT_TRUE(same(a[k], want[k]));
        for (int i = 0; i < n; ++i)  // partitioned around rank k
          ASSERT_FALSE(i < k ? before(a[k], a[i]) : before(a[i], a[k])) << n << " k=" << k << " i=" << i;
        ASSERT_TRUE(same(sorted(a), want));  // and still the same values
      }
      const int step = 3, m = n / step;
      a = x;
      Fn<T>::qsort_step(m, a.data(), step);
      std::vector<T> strided, b = x;
      for (int i = 0; i < m; ++i) strided.push_back(x[i * step]);
      strided = sorted(strided);
      for (int i = 0; i < m; ++i) b[i * step] = strided[i];
      ASSERT_TRUE(same(a, b)) << n << " step";
    }
  T one = 5;
  EXPECT_TRUE(std::isnan(Fn<T>::select(1, &one, 1)));
  EXPECT_TRUE(std::isnan(Fn<T>::select(1, &one, -1)));
  EXPECT_TRUE(std::isnan(Fn<T>::select(1, nullptr, 0)));
  Fn<T>::qsort(3, nullptr);  // does nothing
}

// Streaming summaries fed in uneven blocks, either layout: every estimate within epsilon n
// ranks of its order on sorted, reverse-sorted, organ-pipe, many-duplicates and random data
// (n = 300,000 with epsilon 0.01, so the summary compacts on several levels); interpolated
// estimates lie between the values epsilon n ranks either side.  A second stream of a
// different epsilon starts afresh; a call with no data gives the current estimates.
TYPED_TEST(SSOrder, StreamRankErrorWithinEpsilonN) {
  using T = TypeParam;
  const int64_t p = 2, n = 300000;
  const T orders[] = {0, T(0.01), T(0.25), T(0.5), T(0.75), T(0.99), 1};
  const int32_t count = 7, one = 1;
  const T eps = T(0.01);
  for (Order o : {kSorted, kReverse, kOrganPipe, kDuplicates, kRandom}) {
    // The two methods, and with them the two layouts, take the orders in turn.
    const uint32_t method = o % 2 ? TARR_SS_METHOD_SQUANTS : TARR_SS_METHOD_SQUANTS_OBSERVED;
    const int layout = method == TARR_SS_METHOD_SQUANTS ? 2 : 1;
    const std::vector<T> all = matrix<T>(o, p, n, 1, 100 + o);
    std::vector<T> est(p * count, T(kSentinel));
    std::vector<T> block;
    int32_t len = 0;
    Task<T> t(int32_t(p), 1, layout, all.data());
    t.edit({{TARR_SS_PARAM_NOBS, &len}, {TARR_SS_PARAM_SQUANT_COUNT, &count}, {TARR_SS_PARAM_SQUANT_ORDERS, orders},
            {TARR_SS_PARAM_SQUANTILES, est.data()}, {TARR_SS_PARAM_SQUANT_NPARAMS, &one},
            {TARR_SS_PARAM_SQUANT_PARAMS, &eps}});
    for (int64_t at = 0, b = 0; at < n; at += len, ++b) {
      len = int32_t(std::min<int64_t>(n - at, 1000 + (b * 7919) % 90000));
      block.resize(p * len);
      for (int64_t j = 0; j < p; ++j)
        for (int64_t i = 0; i < len; ++i) block[layout == 1 ? j * len + i : i * p + j] = all[j * n + at + i];
      t.edit(TARR_SS_PARAM_OBSERVATIONS, block.data());
      ASSERT_EQ(Fn<T>::stream(t.t, 0, method), 0);
    }
    len = 0;
    std::fill(est.begin(), est.end(), T(kSentinel));
    ASSERT_EQ(Fn<T>::stream(t.t, 0, method), 0);  // no new data: the same estimates again
    const double tol = double(eps) * double(n);
    for (int64_t j = 0; j < p; ++j) {
      const std::vector<T> s = sorted(std::vector<T>(all.begin() + j * n, all.begin() + (j + 1) * n));
      for (int k = 0; k < count; ++k) {
        const T v = est[j * count + k];
        const double want = double(n - 1) * double(orders[k]);
        if (method == TARR_SS_METHOD_SQUANTS_OBSERVED) {  // rank interval of v against the target rank
          const double lo = double(std::lower_bound(s.begin(), s.end(), v) - s.begin());
          const double hi = double(std::upper_bound(s.begin(), s.end(), v) - s.begin()) - 1;
          ASSERT_GE(hi, lo) << "not an observed value";
          EXPECT_LE(std::max({lo - want, want - hi, 0.0}), tol) << kOrderName[o] << " j=" << j << " q=" << orders[k];
        } else {
          const int64_t a = std::max<int64_t>(0, int64_t(std::floor(want - tol)));
          const int64_t b = std::min<int64_t>(n - 1, int64_t(std::ceil(want + tol)));
          EXPECT_TRUE(s[a] <= v && v <= s[b]) << kOrderName[o] << " j=" << j << " q=" << orders[k];
        }
      }
    }
    // A new epsilon drops the old summaries: with no data yet, nothing to estimate.
    const T eps2 = T(0.02);
    t.edit(TARR_SS_PARAM_SQUANT_PARAMS, &eps2);
    ASSERT_EQ(Fn<T>::stream(t.t, 0, method), 0);
    EXPECT_TRUE(std::isnan(est[0]));
  }
}

// WMedian on short rows whose answer turns on the rule's edge, the cumulative weight equal to
// q W: even and odd counts, unordered values, ties at the middle, a middle value of weight 0,
// a weightless least value at order 0, with and without weights.  The reference repeats each
// value weight times (every weight 1 when none is registered) and takes, from that sorted list
// of W values, the value at position q W, the mean of it and the next where q W is a whole
// number inside (0, W).  Each row is both of two components, in either layout; a long scrambled
// row has its components split among threads.
TYPED_TEST(SSOrder, WeightedMedianAtTheSplitPoint) {
  using T = TypeParam;
  struct Row {
    std::vector<double> v, w;  // no w: none registered
    double q;
  };
  std::vector<Row> rows = {
      // unweighted: even and odd counts, unordered, ties at the middle, the other orders
      {{1, 2, 3, 4}, {}, 0.5}, {{4, 1, 3, 2}, {}, 0.5}, {{1, 2, 3}, {}, 0.5}, {{5, 1, 4, 2, 3}, {}, 0.5},
      {{1, 2, 2, 3}, {}, 0.5}, {{2, 2, 2, 2}, {}, 0.5}, {{1, 2, 3, 4}, {}, 0.25}, {{1, 2, 3, 4}, {}, 0.75},
      {{1, 2, 3, 4}, {}, 0}, {{1, 2, 3, 4}, {}, 1},
      // weighted: the same edges, a weight 0 at the split and before it
      {{1, 2, 3, 4}, {1, 1, 1, 1}, 0.5}, {{1, 2, 3, 4}, {2, 1, 1, 2}, 0.5}, {{4, 3, 2, 1}, {1, 1, 1, 3}, 0.5},
      {{1, 2, 3}, {1, 2, 1}, 0.5}, {{3, 1, 2}, {1, 1, 2}, 0.5}, {{1, 2, 2, 3}, {1, 1, 1, 1}, 0.5},
      {{1, 2, 3, 4}, {1, 1, 1, 1}, 0.25}, {{1, 2, 3, 4}, {1, 0, 1, 2}, 0.5}, {{1, 2, 3, 4}, {2, 0, 1, 1}, 0.5},
      {{1, 2, 3}, {0, 1, 1}, 0}};
  // A long row split among threads by component, 0 .. 69999 in a scrambled order.
  Row scrambled{{}, {}, 0.5};
  for (int64_t i = 0; i < 70000; ++i) scrambled.v.push_back(double(i * 7919 % 70000));
  rows.push_back(scrambled);
  for (const Row& row : rows) {
    const int64_t n = int64_t(row.v.size());
    std::vector<double> rep;
    for (int64_t i = 0; i < n; ++i) rep.insert(rep.end(), row.w.empty() ? 1 : size_t(row.w[i]), row.v[i]);
    std::sort(rep.begin(), rep.end());
    const double at = row.q * double(rep.size());
    const size_t k = size_t(std::ceil(at));
    const double want = at == double(k) && k > 0 && k < rep.size() ? (rep[k - 1] + rep[k]) / 2 : rep[std::max<size_t>(k, 1) - 1];
    std::vector<double> twice;  // the row as both of two components
    for (double v : row.v) twice.insert(twice.end(), {v, v});
    const std::vector<T> w(row.w.begin(), row.w.end());
    const T q = T(row.q);
    for (int layout : {1, 2}) {
      const std::vector<T> x = in_layout<T>(twice, 2, layout);
      T out[2] = {T(kSentinel), T(kSentinel)};
      Task<T> t(2, int32_t(n), layout, x.data(), row.w.empty() ? nullptr : w.data());
      t.edit({{TARR_SS_PARAM_QUANT_ORDERS, &q}, {TARR_SS_PARAM_QUANTILES, out}});
      ASSERT_EQ(Fn<T>::wmedian(t.t, 0, TARR_SS_METHOD_QUANTILES), 0);
      for (T v : out)
        EXPECT_EQ(v, T(want)) << "n " << n << " q " << row.q << (row.w.empty() ? " unweighted" : " weighted")
                              << " first value " << row.v[0] << " layout " << layout;
    }
  }
}

// MAD: medians by full sort, the mean in long double; the mean given by the caller (method
// 0x100) is the one used.
TYPED_TEST(SSOrder, AbsoluteDeviationsMatchReference) {
  using T = TypeParam;
  for (int64_t n : {1, 6, 100001})
    for (int layout : {1, 2}) {
      const int64_t p = 3;
      const std::vector<T> x = matrix<T>(kRandom, p, n, layout, 3 * n);
      std::vector<T> med(p, T(kSentinel)), mean_dev(p, T(kSentinel)), given(p, T(1));
      for (uint32_t method : {TARR_SS_METHOD_MAD, TARR_SS_METHOD_MAD | TARR_SS_METHOD_MAD_GIVEN_MEAN}) {
        Task<T> t(int32_t(p), int32_t(n), layout, x.data());
        t.edit({{TARR_SS_PARAM_MEDIAN_ABS_DEV, med.data()}, {TARR_SS_PARAM_MEAN_ABS_DEV, mean_dev.data()},
                {TARR_SS_PARAM_MEAN, given.data()}});
        ASSERT_EQ(Fn<T>::mad(t.t, TARR_SS_MEDIAN_ABS_DEV | TARR_SS_MEAN_ABS_DEV, method), 0);
        for (int64_t j = 0; j < p; ++j) {
          const std::vector<T> v = component(x, p, n, layout, j);
          const double centre = quantile_of(sorted(v), 0.5);
          std::vector<T> dev(n);
          long double m = 0, s = 0;
          for (int64_t i = 0; i < n; ++i) dev[i] = T(std::fabs(double(v[i]) - centre)), m += v[i];
          m = method & TARR_SS_METHOD_MAD_GIVEN_MEAN ? 1.0L : m / n;
          for (int64_t i = 0; i < n; ++i) s += std::fabs(v[i] - m);
          EXPECT_EQ(med[j], T(quantile_of(sorted(dev), 0.5))) << n;
          // The mean itself rounded to T moves every deviation by up to eps |m|.
          EXPECT_NEAR(double(mean_dev[j]), double(s / n), 4 * std::numeric_limits<T>::epsilon() * double(s / n + m)) << n;
        }
      }
    }
}

// The ranges of an order (Quantiles, WMedian and the streaming quantiles: [0, 1]) and of the
// streaming epsilon ((0, 1)) at both edges: the ends and one step of the type beyond them,
// NaN.  A refusal leaves the results as they were.
TYPED_TEST(SSOrder, OrderAndEpsilonRanges) {
  using T = TypeParam;
  const T inf = std::numeric_limits<T>::infinity(), nan = std::numeric_limits<T>::quiet_NaN();
  enum Routine { kQuantiles, kWMedian, kStreamOrder, kStreamEpsilon };
  struct Row {
    Routine routine;
    T value;
    int code;
  };
  const int kCount = TARR_SS_ERROR_NULL_QUANT_COUNT, kSCount = TARR_SS_ERROR_NULL_SQUANT_COUNT, kEps = TARR_SS_ERROR_NULL_SQUANT_PARAMS;
  const T below0 = std::nextafter(T(0), -inf), above1 = std::nextafter(T(1), inf);
  const Row rows[] = {
      {kQuantiles, T(0), 0}, {kQuantiles, T(1), 0}, {kQuantiles, below0, kCount}, {kQuantiles, above1, kCount},
      {kQuantiles, nan, kCount}, {kWMedian, T(0), 0}, {kWMedian, T(1), 0}, {kWMedian, below0, kCount},
      {kWMedian, above1, kCount}, {kWMedian, nan, kCount}, {kStreamOrder, T(0), 0}, {kStreamOrder, T(1), 0},
      {kStreamOrder, below0, kSCount}, {kStreamOrder, above1, kSCount}, {kStreamEpsilon, std::nextafter(T(1), T(0)), 0},
      {kStreamEpsilon, T(0.5), 0}, {kStreamEpsilon, T(1), kEps}, {kStreamEpsilon, T(0), kEps},
      {kStreamEpsilon, -T(0), kEps}, {kStreamEpsilon, nan, kEps}};
  const std::vector<T> x = matrix<T>(kRandom, 1, 9, 1, 5), w(9, T(1));
  const std::vector<T> sorted_x = sorted(x);
  const int32_t one = 1;
  for (const Row& row : rows) {
    std::vector<T> out(1, T(kSentinel));
    const T order = row.routine == kStreamEpsilon ? T(0.5) : row.value;
    const T eps = row.routine == kStreamEpsilon ? row.value : T(0.01);
    Task<T> t(1, 9, 1, x.data(), row.routine == kWMedian ? w.data() : nullptr);
    int rc;
    if (row.routine == kQuantiles || row.routine == kWMedian) {
      t.edit({{TARR_SS_PARAM_QUANT_COUNT, &one}, {TARR_SS_PARAM_QUANT_ORDERS, &order},
              {TARR_SS_PARAM_QUANTILES, out.data()}});
      rc = row.routine == kQuantiles ? Fn<T>::quantiles(t.t, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES)
                                     : Fn<T>::wmedian(t.t, 0, TARR_SS_METHOD_QUANTILES);
    } else {
      t.edit({{TARR_SS_PARAM_SQUANT_COUNT, &one}, {TARR_SS_PARAM_SQUANT_ORDERS, &order},
              {TARR_SS_PARAM_SQUANTILES, out.data()}, {TARR_SS_PARAM_SQUANT_NPARAMS, &one},
              {TARR_SS_PARAM_SQUANT_PARAMS, &eps}});
      rc = Fn<T>::stream(t.t, 0, TARR_SS_METHOD_SQUANTS);
      __tarrSQuantilesFreeBuffers(t.t);
    }
    SCOPED_TRACE(testing::Message() << "routine " << row.routine << " value " << row.value);
    EXPECT_EQ(rc, row.code);
    if (row.code != 0) {
      EXPECT_TRUE(untouched(out));
    } else {  // nine values and one component: every estimate here is exact
      EXPECT_EQ(out[0], T(quantile_of(sorted_x, double(order))));
    }
  }
}

// ---- status codes in check order, results untouched until the last rung -------------------
// Each ladder ends with the call's allocations failing one by one (the host core's countdown,
// armed by the rung before): TARR_SS_ERROR_ALLOCATION, nothing written, nothing left allocated.
auto fail_next(int k) {
  return [k] { zorp_core_fail_allocation(k); };
}

TYPED_TEST(SSOrder, QuantileAndWMedianChecksInOrder) {
  using T = TypeParam;
  const std::vector<T> x = matrix<T>(kRandom, 2, 9, 1, 1);
  std::vector<T> q(4, T(kSentinel)), os(18, T(kSentinel));
  T orders[2] = {T(0.5), T(1.5)};
  const int32_t bad = 0x5, good = TARR_SS_MATRIX_STORAGE_1, two = 2, minus = -1;
  const int64_t live = zorp_core_live_allocations();
  Task<T> t(2, 9, 1, x.data());
  uint32_t method = 0;
  auto call = [&] { return Fn<T>::quantiles(t.t, TARR_SS_QUANTS | TARR_SS_ORDER_STATS, method); };
  t.set(zorp::ss::kSlotStorage, &bad);
  climb(call,
        {{TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotStorage, &good); }},
         {TARR_SS_ERROR_NULL_QUANTILES, [&] { t.edit(TARR_SS_PARAM_QUANTILES, q.data()); }},
         {TARR_SS_ERROR_NULL_QUANT_ORDERS, [&] { t.edit(TARR_SS_PARAM_QUANT_ORDERS, orders); }},
         {TARR_SS_ERROR_NULL_QUANT_COUNT, [&] { t.edit(TARR_SS_PARAM_QUANT_COUNT, &minus); }},
         {TARR_SS_ERROR_NULL_QUANT_COUNT, [&] { t.edit(TARR_SS_PARAM_QUANT_COUNT, &two); }},
         {TARR_SS_ERROR_NULL_QUANT_COUNT, [&] { orders[1] = T(0.25); }},
         {TARR_SS_ERROR_NULL_ORDER_STATS, [&] { t.edit(TARR_SS_PARAM_ORDER_STATS, os.data()); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_ORDER_STATS_STORAGE, &bad); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotOrderStatsStorage, &good); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_QUANTILES, zorp_core_fail_allocation(1); }},
         {TARR_SS_ERROR_ALLOCATION, nullptr},
         {0, nullptr}},
        [&] { return untouched(q) && untouched(os) && zorp_core_live_allocations() == live + 1; });
  {  // a zero count of orders is accepted, and with nothing to compute nothing is written, nor
     // allocated (the first allocation is set to fail)
    std::vector<T> none(2, T(kSentinel));
    const int32_t zero = 0;
    Task<T> z(2, 9, 1, x.data());
    z.edit({{TARR_SS_PARAM_QUANT_COUNT, &zero}, {TARR_SS_PARAM_QUANT_ORDERS, orders},
            {TARR_SS_PARAM_QUANTILES, none.data()}});
    zorp_core_fail_allocation(1);
    EXPECT_EQ(Fn<T>::quantiles(z.t, TARR_SS_QUANTS, TARR_SS_METHOD_QUANTILES), 0);
    zorp_core_fail_allocation(0);
    EXPECT_TRUE(untouched(none));
  }

  // WMedian reads the first order only.
  std::vector<T> w(9, T(1)), m(2, T(kSentinel));
  Task<T> u(2, 9, 1, x.data(), w.data());
  method = 0;
  orders[0] = T(-0.5);
  auto wcall = [&] { return Fn<T>::wmedian(u.t, 0, method); };
  u.set(zorp::ss::kSlotStorage, &bad);
  climb(wcall,
        {{TARR_SS_ERROR_BAD_STORAGE, [&] { u.set(zorp::ss::kSlotStorage, &good); }},
         {TARR_SS_ERROR_NULL_QUANTILES, [&] { u.edit(TARR_SS_PARAM_QUANTILES, m.data()); }},
         {TARR_SS_ERROR_NULL_QUANT_ORDERS, [&] { u.edit(TARR_SS_PARAM_QUANT_ORDERS, orders); }},
         {TARR_SS_ERROR_NULL_QUANT_COUNT, [&] { orders[0] = T(0.5); }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_QUANTILES, zorp_core_fail_allocation(1); }},
         {TARR_SS_ERROR_ALLOCATION, nullptr},
         {0, nullptr}},
        [&] { return untouched(m) && zorp_core_live_allocations() == live + 2; });
}

// Then the allocations of the stream's own state (the state, a level) fail the same way and
// leave the task usable; a short stream is held whole, so its estimates are the exact
// quantiles; __tarrSQuantilesFreeBuffers starts a new stream.
TYPED_TEST(SSOrder, StreamChecksInOrder) {
  using T = TypeParam;
  const std::vector<T> x = matrix<T>(kRandom, 2, 9, 1, 1);
  std::vector<T> out(4, T(kSentinel));
  T orders[2] = {T(0.5), T(2)}, eps = T(0.01);
  const int32_t bad = 0x5, good = TARR_SS_MATRIX_STORAGE_1, nine = 9, minus = -1, two = 2, one = 1, none = 0;
  const int64_t live = zorp_core_live_allocations();
  {
    Task<T> t(2, 9, 1, x.data());
    uint32_t method = 0;
    auto call = [&] { return Fn<T>::stream(t.t, 0, method); };
    t.set(zorp::ss::kSlotN, nullptr);
    climb(call,
          {{TARR_SS_ERROR_BAD_NOBS, [&] { t.set(zorp::ss::kSlotN, &minus); }},
           {TARR_SS_ERROR_BAD_NOBS, [&] { t.set(zorp::ss::kSlotN, &nine), t.set(zorp::ss::kSlotX, nullptr); }},
           {TARR_SS_ERROR_NULL_OBSERVATIONS, [&] { t.set(zorp::ss::kSlotX, x.data()), t.set(zorp::ss::kSlotStorage, nullptr); }},
           {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.set(zorp::ss::kSlotStorage, &bad); }},
           {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotStorage, &good); }},
           {TARR_SS_ERROR_NULL_SQUANTILES, [&] { t.edit(TARR_SS_PARAM_SQUANTILES, out.data()); }},
           {TARR_SS_ERROR_NULL_SQUANT_ORDERS, [&] { t.edit(TARR_SS_PARAM_SQUANT_ORDERS, orders); }},
           {TARR_SS_ERROR_NULL_SQUANT_COUNT, [&] { t.edit(TARR_SS_PARAM_SQUANT_COUNT, &minus); }},
           {TARR_SS_ERROR_NULL_SQUANT_COUNT, [&] { t.edit(TARR_SS_PARAM_SQUANT_COUNT, &none); }},  // 0 passes
           {TARR_SS_ERROR_SQUANT_NPARAMS_MISSING,
            [&] { t.edit({{TARR_SS_PARAM_SQUANT_NPARAMS, &two}, {TARR_SS_PARAM_SQUANT_COUNT, &two}}); }},
           {TARR_SS_ERROR_NULL_SQUANT_NPARAMS, [&] { t.edit(TARR_SS_PARAM_SQUANT_NPARAMS, &one); }},
           {TARR_SS_ERROR_NULL_SQUANT_COUNT, [&] { orders[1] = T(0.3); }},
           {TARR_SS_ERROR_NULL_SQUANT_PARAMS, [&] { t.edit(TARR_SS_PARAM_SQUANT_PARAMS, &eps); }},
           {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_SQUANTS, zorp_core_fail_allocation(1); }},
           {TARR_SS_ERROR_ALLOCATION, fail_next(2)},  // the work block, then the state
           {TARR_SS_ERROR_ALLOCATION, fail_next(3)},  // the first component's level 0
           {TARR_SS_ERROR_ALLOCATION, nullptr},
           {0, nullptr}},
          [&] { return untouched(out); });
    for (int64_t j = 0; j < 2; ++j)
      for (int k = 0; k < 2; ++k)
        EXPECT_EQ(out[j * 2 + k], T(quantile_of(sorted(component(x, 2, 9, 1, j)), double(orders[k]))));
    __tarrSQuantilesFreeBuffers(t.t);
    t.set(zorp::ss::kSlotN, &none);
    ASSERT_EQ(call(), 0);
    EXPECT_TRUE(std::isnan(out[0]));
  }
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

TYPED_TEST(SSOrder, SortAndMadChecksInOrder) {
  using T = TypeParam;
  std::vector<T> x = matrix<T>(kRandom, 2, 9, 1, 1);
  const std::vector<T> x0 = x;
  std::vector<T> out(18, T(kSentinel));
  const int32_t bad = 0x5, by_obs = TARR_SS_MATRIX_STORAGE_2, good = TARR_SS_MATRIX_STORAGE_1, idx[2] = {1, 1};
  const int64_t live = zorp_core_live_allocations();
  uint32_t method = 0;
  {
    Task<T> t(2, 9, 1, x.data(), nullptr, idx);
    auto call = [&] { return Fn<T>::sort(t.t, 0, method); };
    climb(call,
          {{TARR_SS_ERROR_NULL_SORTED, [&] { t.edit(TARR_SS_PARAM_SORTED, x.data()); }},
           {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.edit(TARR_SS_PARAM_SORTED_STORAGE, &by_obs); }},
           {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.set(zorp::ss::kSlotSortedStorage, &good); }},  // in place, other layout
           {TARR_SS_ERROR_SORT_IN_PLACE_WITH_INDICES, [&] { t.edit(TARR_SS_PARAM_SORTED, out.data()), t.set(zorp::ss::kSlotStorage, &bad); }},
           {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotStorage, &good), t.set(zorp::ss::kSlotSortedStorage, &bad); }},
           {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotSortedStorage, &good); }},
           {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_SORT, zorp_core_fail_allocation(1); }},
           {TARR_SS_ERROR_ALLOCATION, nullptr},
           {0, nullptr}},
          [&] { return x == x0 && untouched(out) && zorp_core_live_allocations() == live + 1; });
  }
  // MAD: the median deviation under method 0x1 only, the mean deviation under 0x1 or 0x100; a
  // missing method bit skips that estimate and is the result when it is the last one asked.
  std::vector<T> med(2, T(kSentinel)), mean(2, T(kSentinel));
  const T given[2] = {0, 0};
  const int32_t zero = 0, two = 2, nine = 9, exact_only = TARR_SS_MATRIX_STORAGE_1 | TARR_SS_MATRIX_STORAGE_2;
  Task<T> t(2, 9, 1, x.data());
  method = TARR_SS_METHOD_MAD_GIVEN_MEAN;
  uint64_t est = TARR_SS_MEDIAN_ABS_DEV | TARR_SS_MEAN_ABS_DEV;
  auto call = [&] { return Fn<T>::mad(t.t, est, method); };
  t.set(zorp::ss::kSlotP, &zero);
  climb(call,
        {{TARR_SS_ERROR_BAD_DIMENSION, [&] { t.set(zorp::ss::kSlotP, &two), t.set(zorp::ss::kSlotN, &zero); }},
         {TARR_SS_ERROR_BAD_NOBS, [&] { t.set(zorp::ss::kSlotN, &nine), t.set(zorp::ss::kSlotStorage, nullptr); }},
         {TARR_SS_ERROR_NULL_STORAGE_ITEM, [&] { t.set(zorp::ss::kSlotStorage, &exact_only); }},
         {TARR_SS_ERROR_BAD_STORAGE, [&] { t.set(zorp::ss::kSlotStorage, &good); }},
         {TARR_SS_ERROR_NULL_MEDIAN_ABS_DEV, [&] { t.edit(TARR_SS_PARAM_MEDIAN_ABS_DEV, med.data()); }},
         {TARR_SS_ERROR_NULL_MEAN_ABS_DEV, [&] { t.edit(TARR_SS_PARAM_MEAN_ABS_DEV, mean.data()); }},
         {TARR_SS_ERROR_NULL_MEAN, [&] { method = 0; }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { est = TARR_SS_MEDIAN_ABS_DEV, method = TARR_SS_METHOD_MAD_GIVEN_MEAN; }},
         {TARR_SS_ERROR_BAD_METHOD, [&] { method = TARR_SS_METHOD_MAD, est |= TARR_SS_MEAN_ABS_DEV, zorp_core_fail_allocation(1); }},
         {TARR_SS_ERROR_ALLOCATION, fail_next(2)},  // the work block, then the basic routine's for the mean
         {TARR_SS_ERROR_ALLOCATION, [&] { method = TARR_SS_METHOD_MAD_GIVEN_MEAN, t.edit(TARR_SS_PARAM_MEAN, given); }}},
        [&] { return untouched(med) && untouched(mean) && zorp_core_live_allocations() == live + 1; });
  // Both asked, the median's bit missing: the mean deviation is computed and decides the result.
  EXPECT_EQ(call(), 0);
  EXPECT_TRUE(untouched(med));
  EXPECT_NE(mean[0], T(kSentinel));
}

}  // namespace
