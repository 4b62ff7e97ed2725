// Reference statistics for the tests: compensated two-pass sums in long double, from the
// definitions (weighted mean, central sums, cross-products), independent of the library's
// one-pass update; and the regression of some components on others by Gauss-Jordan elimination,
// independent of the library's Cholesky factors and sweeps; and a task with every basic result
// array registered.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "ss/task_util.h"

namespace zorp::test::ss {

// Kahan-compensated long double accumulator.
struct Acc {
  long double s = 0, c = 0;
  void add(long double v) {
    const long double y = v - c, t = s + y;
    c = (t - s) - y;
    s = t;
  }
};

struct Reference {
  int64_t p = 0;
  long double W = 0, W2 = 0;
  std::vector<long double> mean, raw2, raw3, raw4, s2, s3, s4, cp;  // cp: p x p
  long double B() const { return W - W2 / W; }
  long double c2(int j) const { return s2[j] / B(); }
  long double c3(int j) const { return s3[j] / W; }
  long double c4(int j) const { return s4[j] / W; }
  long double cov(int a, int b) const { return cp[a + b * p] / B(); }
  long double cor(int a, int b) const { return cp[a + b * p] / std::sqrt(cp[a + a * p] * cp[b + b * p]); }
  // The covariance in double, divisor B (unbiased) or W (maximum likelihood).
  std::vector<double> covariance(bool ml = false) const {
    std::vector<double> c(cp.size());
    for (size_t k = 0; k < c.size(); ++k) c[k] = double(cp[k] / (ml ? W : B()));
    return c;
  }
};

// x(i, j): observation i of component j.
template <typename Get>
Reference reference(int64_t n, int64_t p, Get x, const double* w) {
  Reference r;
  r.p = p;
  Acc W, W2;
  for (int64_t i = 0; i < n; ++i) {
    const long double wi = w ? w[i] : 1.0L;
    W.add(wi);
    W2.add(wi * wi);
  }
  r.W = W.s;
  r.W2 = W2.s;
  for (auto* v : {&r.mean, &r.raw2, &r.raw3, &r.raw4, &r.s2, &r.s3, &r.s4}) v->resize(p);
  r.cp.resize(p * p);
  // Powers 1 .. 4 of the values, then of their deviations from the mean.
  for (int64_t j = 0; j < p; ++j) {
    Acc raw[4], central[4];
    for (int64_t i = 0; i < n; ++i) {
      long double t = w ? w[i] : 1.0L;
      for (Acc& a : raw) a.add(t *= x(i, j));
    }
    r.mean[j] = raw[0].s / r.W;
    for (int64_t i = 0; i < n; ++i) {
      long double t = w ? w[i] : 1.0L;
      for (Acc& a : central) a.add(t *= x(i, j) - r.mean[j]);
    }
    r.raw2[j] = raw[1].s / r.W, r.raw3[j] = raw[2].s / r.W, r.raw4[j] = raw[3].s / r.W;
    r.s2[j] = central[1].s, r.s3[j] = central[2].s, r.s4[j] = central[3].s;
  }
  for (int64_t a = 0; a < p; ++a)
    for (int64_t b = 0; b < p; ++b) {
      Acc c;
      for (int64_t i = 0; i < n; ++i) {
        const long double wi = w ? w[i] : 1.0L;
        c.add(wi * (x(i, a) - r.mean[a]) * (x(i, b) - r.mean[b]));
      }
      r.cp[a + b * p] = c.s;
    }
  return r;
}

// The regression of the components `rest` on the components `given` under the covariance s (p x p,
// column-major), by Gauss-Jordan elimination on [s_GG | s_GR]: beta = s_GG^-1 s_GR (beta[r *
// |rest| + k], given[r] for rest[k]) and the residual covariance s_RR - s_RG beta (|rest| x |rest|),
// which is the Schur complement of s_GG.
inline void regress(const std::vector<long double>& s, int64_t p, const std::vector<int64_t>& given,
                    const std::vector<int64_t>& rest, std::vector<long double>& beta, std::vector<long double>& c) {
  const size_t a = given.size(), b = rest.size(), w = a + b;
  std::vector<long double> g(a * w);
  for (size_t r = 0; r < a; ++r)
    for (size_t k = 0; k < w; ++k) g[r * w + k] = s[given[r] + (k < a ? given[k] : rest[k - a]) * p];
  for (size_t col = 0; col < a; ++col) {
    const long double piv = g[col * w + col];
    for (size_t k = 0; k < w; ++k) g[col * w + k] /= piv;
    for (size_t r = 0; r < a; ++r)
      if (r != col) {
        const long double f = g[r * w + col];
        for (size_t k = 0; k < w; ++k) g[r * w + k] -= f * g[col * w + k];
      }
  }
  beta.assign(a * b, 0);
  for (size_t r = 0; r < a; ++r)
    for (size_t k = 0; k < b; ++k) beta[r * b + k] = g[r * w + a + k];
  c.assign(b * b, 0);
  for (size_t u = 0; u < b; ++u)
    for (size_t v = 0; v < b; ++v) {
      long double e = s[rest[u] + rest[v] * p];
      for (size_t r = 0; r < a; ++r) e -= s[rest[u] + given[r] * p] * beta[r * b + v];
      c[u + v * b] = e;
    }
}

inline double rel(long double got, long double want) {
  return double(std::fabs((got - want) / want));
}

// The lower Cholesky factor (column-major) of the p x p covariance s.
inline std::vector<double> cholesky(const std::vector<double>& s, int64_t p) {
  std::vector<double> l(p * p, 0.0);
  for (int64_t j = 0; j < p; ++j)
    for (int64_t i = j; i < p; ++i) {
      long double v = s[i + j * p];
      for (int64_t k = 0; k < j; ++k) v -= (long double)l[i + k * p] * l[j + k * p];
      l[i + j * p] = double(i == j ? std::sqrt(v) : v / l[j + j * p]);
    }
  return l;
}

// n Gaussian observations (observation-major) of mean + L z, L lower triangular (column-major,
// p x p), z standard normal drawn from g.
inline std::vector<double> gaussian(int64_t n, const std::vector<double>& mean, const std::vector<double>& l,
                                    std::mt19937_64& g) {
  const int64_t p = int64_t(mean.size());
  std::normal_distribution<double> z;
  std::vector<double> x(n * p), e(p);
  for (int64_t i = 0; i < n; ++i) {
    for (auto& v : e) v = z(g);
    for (int64_t j = 0; j < p; ++j) {
      long double v = mean[j];
      for (int64_t k = 0; k <= j; ++k) v += (long double)l[j + k * p] * e[k];
      x[i * p + j] = double(v);
    }
  }
  return x;
}

// The largest error of a mean in standard deviations of the covariance `ref`, and of a
// covariance relative to sqrt(want_jj want_kk) (full p x p, column-major).
inline double mean_error(const std::vector<double>& got, const std::vector<double>& want, const std::vector<double>& ref) {
  const int64_t p = int64_t(want.size());
  double e = 0;
  for (int64_t j = 0; j < p; ++j) e = std::fmax(e, std::fabs(got[j] - want[j]) / std::sqrt(ref[j + j * p]));
  return e;
}
inline double cov_error(const std::vector<double>& got, const std::vector<double>& want) {
  const int64_t p = int64_t(std::lround(std::sqrt(double(want.size()))));
  double e = 0;
  for (int64_t j = 0; j < p; ++j)
    for (int64_t k = 0; k < p; ++k)
      e = std::fmax(e, std::fabs(got[j + k * p] - want[j + k * p]) / std::sqrt(want[j + j * p] * want[k + k * p]));
  return e;
}

// Correlated data: x_j = offset + scale (0.6 z0 + 0.8 z_j + skew e_j), z normal, e exponential.
struct Data {
  int64_t n, p;
  std::vector<double> obs;  // observation-major: obs[i*p + j]
  double at(int64_t i, int64_t j) const { return obs[i * p + j]; }
  std::vector<double> layout(int storage) const { return in_layout<double>(obs, p, storage); }
};
inline Data make_data(int64_t n, int64_t p, double offset, double scale, double skew, uint64_t seed) {
  std::mt19937_64 g(seed);
  std::normal_distribution<double> z;
  std::exponential_distribution<double> e;
  Data d{n, p, std::vector<double>(n * p)};
  for (int64_t i = 0; i < n; ++i) {
    const double z0 = z(g);
    for (int64_t j = 0; j < p; ++j)
      d.obs[i * p + j] = offset + scale * (0.6 * z0 + 0.8 * z(g) + skew * (e(g) - 1.0)) + 0.1 * double(j);
  }
  return d;
}

// The reference of the observations of d (with weights w, or none), or of its first `rows`.
inline Reference ref_of(const Data& d, const std::vector<double>* w = nullptr, int64_t rows = -1) {
  return reference(rows < 0 ? d.n : rows, d.p, [&](int64_t i, int64_t j) { return d.at(i, j); },
                   w && !w->empty() ? w->data() : nullptr);
}

// A task over d in the given layout with every basic result array registered (each filled with
// the sentinel), 32- or 64-bit integers, the storage word fmt for the three matrices.
template <typename T>
struct SSRun {
  int64_t p, n;
  int32_t p32, n32, st32, fmt32;
  int64_t p64, n64, st64, fmt64;
  std::vector<T> x, w;
  std::vector<T> mean, r2, r3, r4, c2, c3, c4, kurt, skew, var, sum, rs2, rs3, rs4, cs2, cs3, cs4, cov, cor, cp;
  T acc[2] = {0, 0};
  TarrSSTask* t = nullptr;

  SSRun(const Data& d, int storage, const std::vector<double>* weights = nullptr, bool wide = false, int fmt = 0,
        const void* indices = nullptr)
      : p(d.p), n(d.n), p32(int32_t(p)), n32(int32_t(n)), fmt32(fmt), p64(p), n64(n), fmt64(fmt) {
    st32 = st64 = storage == 1 ? TARR_SS_MATRIX_STORAGE_1 : TARR_SS_MATRIX_STORAGE_2;
    const std::vector<double> xs = d.layout(storage);
    x.assign(xs.begin(), xs.end());
    if (weights) w.assign(weights->begin(), weights->end());
    for (auto* v : vectors()) v->assign(p, T(kSentinel));
    for (auto* v : {&cov, &cor, &cp}) v->assign(p * p, T(kSentinel));
    const void* pp = wide ? (const void*)&p64 : &p32;
    const void* np = wide ? (const void*)&n64 : &n32;
    const void* sp = wide ? (const void*)&st64 : &st32;
    const T* wp = w.empty() ? nullptr : w.data();
    if constexpr (sizeof(T) == 8) EXPECT_EQ(__tarrdSSNewTask(&t, pp, np, sp, x.data(), wp, indices, wide), 0);
    else EXPECT_EQ(__tarrsSSNewTask(&t, pp, np, sp, x.data(), wp, indices, wide), 0);
    // Parameters 7 .. 13 are the moments from the mean on, 67 .. 73 the sums.
    std::vector<T>* const moments[] = {&mean, &r2, &r3, &r4, &c2, &c3, &c4}, *const sums[] = {&sum, &rs2, &rs3, &rs4, &cs2, &cs3, &cs4};
    for (int k = 0; k < 7; ++k) edit(TARR_SS_PARAM_MEAN + k, moments[k]->data()), edit(TARR_SS_PARAM_SUM + k, sums[k]->data());
    for (auto [param, v] : {std::pair{TARR_SS_PARAM_COV, &cov}, {TARR_SS_PARAM_COR, &cor}, {TARR_SS_PARAM_CP, &cp},
                            {TARR_SS_PARAM_KURTOSIS, &kurt}, {TARR_SS_PARAM_SKEWNESS, &skew}, {TARR_SS_PARAM_VARIATION, &var}})
      edit(param, v->data());
    edit(TARR_SS_PARAM_ACCUM_WEIGHTS, acc);
    for (int param : {TARR_SS_PARAM_COV_STORAGE, TARR_SS_PARAM_COR_STORAGE, TARR_SS_PARAM_CP_STORAGE})
      EXPECT_EQ(__tarriSSEditTask(t, param, wide ? (const void*)&fmt64 : &fmt32), 0);
  }
  ~SSRun() { __tarrSSDeleteTask(&t); }
  SSRun(const SSRun&) = delete;
  SSRun& operator=(const SSRun&) = delete;
  void edit(int param, T* v) {
    if constexpr (sizeof(T) == 8) EXPECT_EQ(__tarrdSSEditTask(t, param, v), 0);
    else EXPECT_EQ(__tarrsSSEditTask(t, param, v), 0);
  }
  // The per-component results.
  std::vector<std::vector<T>*> vectors() {
    return {&mean, &r2, &r3, &r4, &c2, &c3, &c4, &kurt, &skew, &var, &sum, &rs2, &rs3, &rs4, &cs2, &cs3, &cs4};
  }
  int basic(uint64_t est, uint32_t method) {
    if constexpr (sizeof(T) == 8) return _tarrdSSBasic(t, est, method);
    else return _tarrsSSBasic(t, est, method);
  }
  // The next call reads the observations of d (and their weights).
  void continue_with(const Data& d, int storage, const double* weights = nullptr) {
    const std::vector<double> xs = d.layout(storage);
    x.assign(xs.begin(), xs.end());
    n32 = int32_t(d.n), n64 = d.n;
    edit(TARR_SS_PARAM_OBSERVATIONS, x.data());
    if (weights) w.assign(weights, weights + d.n), edit(TARR_SS_PARAM_WEIGHTS, w.data());
  }
};

}  // namespace zorp::test::ss
