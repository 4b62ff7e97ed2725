// Reference statistics for the tests: compensated two-pass sums in long double, from the
// definitions (weighted mean, central sums, cross-products), independent of the library's
// one-pass update; and the regression of some components on others by Gauss-Jordan elimination,
// independent of the library's Cholesky factors and sweeps.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
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
  r.mean.resize(p);
  r.raw2.resize(p);
  r.raw3.resize(p);
  r.raw4.resize(p);
  r.s2.resize(p);
  r.s3.resize(p);
  r.s4.resize(p);
  r.cp.resize(p * p);
  for (int64_t j = 0; j < p; ++j) {
    Acc m, q2, q3, q4;
    for (int64_t i = 0; i < n; ++i) {
      const long double wi = w ? w[i] : 1.0L, v = x(i, j);
      m.add(wi * v);
      q2.add(wi * v * v);
      q3.add(wi * v * v * v);
      q4.add(wi * v * v * v * v);
    }
    r.mean[j] = m.s / r.W;
    r.raw2[j] = q2.s / r.W;
    r.raw3[j] = q3.s / r.W;
    r.raw4[j] = q4.s / r.W;
    Acc a2, a3, a4;
    for (int64_t i = 0; i < n; ++i) {
      const long double wi = w ? w[i] : 1.0L, d = x(i, j) - r.mean[j];
      a2.add(wi * d * d);
      a3.add(wi * d * d * d);
      a4.add(wi * d * d * d * d);
    }
    r.s2[j] = a2.s;
    r.s3[j] = a3.s;
    r.s4[j] = a4.s;
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

}  // namespace zorp::test::ss
