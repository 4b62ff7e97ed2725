// Minimax polynomials by the Remez exchange, and the error of a polynomial with stored
// (rounded) coefficients, both at the fitter's 256 bits.
#pragma once
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "mp.h"

namespace fit {

using Target = std::function<R(const R&)>;

// Relative: minimise max |p/f - 1| (the error a kernel's result inherits); absolute: max |p - f|.
enum class Weight { Relative, Absolute };

namespace detail {

inline std::vector<R> solve(std::vector<std::vector<R>> A, std::vector<R> y) {
  const size_t n = y.size();
  for (size_t c = 0; c < n; ++c) {
    size_t p = c;
    for (size_t r = c + 1; r < n; ++r)
      if (abs(A[p][c]) < abs(A[r][c])) p = r;
    std::swap(A[p], A[c]);
    std::swap(y[p], y[c]);
    for (size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const R f = A[r][c] / A[c][c];
      for (size_t k = c; k < n; ++k) A[r][k] = A[r][k] - f * A[c][k];
      y[r] = y[r] - f * y[c];
    }
  }
  for (size_t c = 0; c < n; ++c) y[c] = y[c] / A[c][c];
  return y;
}

// In place, each step rounded as s * x + c would round it: the grid sweeps call this millions
// of times, and a temporary per operation (an allocation each) was most of their cost.
inline R horner(const std::vector<R>& c, const R& x) {
  R s = c.back();
  for (size_t j = c.size() - 1; j-- > 0;) {
    mpfr_mul(s.v, s.v, x.v, MPFR_RNDN);
    mpfr_add(s.v, s.v, c[j].v, MPFR_RNDN);
  }
  return s;
}

// Signed error of p against f at one point; where f vanishes the relative error is taken as 0
// (polynomials with pinned low terms vanish there too).
inline R error_at(const R& p, const R& f, Weight w) {
  if (w == Weight::Absolute) return p - f;
  if (f.zero()) return R(0);
  return p / f - R(1);
}


// The minimax polynomial c_0..c_deg for f over [a, b], started from Chebyshev nodes and
// exchanged on a grid of 6001 points.
inline std::vector<R> remez_plain(const Target& f, double a, double b, int deg, Weight w) {
  const int unknowns = deg + 1;
  const int npts = unknowns + 1;  // plus the levelled error
  std::vector<R> ref(npts);
  for (int i = 0; i < npts; ++i) {
    const double t = std::cos(M_PI * (npts - 1 - i) / (npts - 1));
    ref[i] = R(a + (b - a) * (t + 1) / 2);
  }
  constexpr int kGrid = 6000;
  std::vector<R> grid(kGrid + 1), fg(kGrid + 1);
  for (int k = 0; k <= kGrid; ++k) {
    grid[k] = R(a) + (R(b) - R(a)) * R(k) / R(kGrid);
    fg[k] = f(grid[k]);
  }
  std::vector<R> c(deg + 1);
  std::vector<int> prev;
  for (int iter = 0; iter < 30; ++iter) {
    std::vector<std::vector<R>> A(npts, std::vector<R>(npts));
    std::vector<R> y(npts);
    for (int i = 0; i < npts; ++i) {
      const R fi = f(ref[i]);
      R pw(1);
      for (int j = 0; j < unknowns; ++j) { A[i][j] = pw; pw = pw * ref[i]; }
      const R scale = w == Weight::Relative ? fi : R(1);
      A[i][unknowns] = i % 2 ? -scale : scale;  // p - f = +-E (times f when relative)
      y[i] = fi;
    }
    const std::vector<R> s = solve(A, y);
    for (int j = 0; j < unknowns; ++j) c[j] = s[j];
    // New reference: one extremum of the error per sign run, then trimmed to npts.
    std::vector<int> ext;
    std::vector<R> err(kGrid + 1);
    for (int k = 0; k <= kGrid; ++k) err[k] = error_at(horner(c, grid[k]), fg[k], w);
    int best = 0;
    for (int k = 1; k <= kGrid + 1; ++k) {
      const bool end = k == kGrid + 1;
      if (end || (mpfr_sgn(err[k].v) != mpfr_sgn(err[best].v) && mpfr_sgn(err[k].v) != 0)) {
        ext.push_back(best);
        if (!end) best = k;
      } else if (abs(err[best]) < abs(err[k])) {
        best = k;
      }
    }
    while (static_cast<int>(ext.size()) > npts) {
      if (abs(err[ext.front()]) < abs(err[ext.back()])) ext.erase(ext.begin());
      else ext.pop_back();
    }
    if (static_cast<int>(ext.size()) < npts) break;  // converged as far as the grid resolves
    // The same reference again would solve the same system: the coefficients are final.
    if (ext == prev) break;
    prev = ext;
    for (int i = 0; i < npts; ++i) ref[i] = grid[ext[i]];
  }
  return c;
}
}  // namespace detail

// Coefficients c_0..c_deg of the minimax polynomial for f over [a, b]. With pinned low
// coefficients (c_0 = 0 and c_1 = 1 for ln(1 + u), so that a kernel's r + r^2 q(r) keeps r
// exact) the rest is the minimax polynomial of degree deg - k for (f - pinned part) / x^k, a
// plain fit that stays well posed where f vanishes; its relative error carries over to f
// scaled by |x^k g / f| (small where the pinned part dominates).
inline std::vector<R> remez(Target f, double a, double b, int deg, Weight w, const std::vector<R>& pinned) {
  const int k = static_cast<int>(pinned.size());
  if (k == 0) return detail::remez_plain(f, a, b, deg, w);
  // g(x) = (f(x) - sum pinned_j x^j) / x^k, taken just beside 0 at 0 itself (the fit's
  // precision leaves that shift 150 bits below anything it resolves).
  const Target g = [&](const R& x0) {
    const R x = x0.zero() ? R(0x1p-100) : x0;
    R xk(1);
    for (int j = 0; j < k; ++j) xk = xk * x;
    return (f(x) - detail::horner(pinned, x)) / xk;
  };
  std::vector<R> c = pinned;
  for (const R& v : detail::remez_plain(g, a, b, deg - k, w)) c.push_back(v);
  return c;
}

// Largest error of the polynomial with the coefficients as stored, over 4001 even steps of
// [a, b], as bits: -log2 of the largest relative (or absolute) error. The coefficients as the
// kernel sums them: doubles, or pairs summed exactly.
inline double accuracy_bits(Target f, double a, double b, const std::vector<R>& cr, Weight w) {
  double worst = 0;
  for (int k = 0; k <= 4000; ++k) {
    const R x = R(a) + (R(b) - R(a)) * R(k) / R(4000);
    const double e = abs(detail::error_at(detail::horner(cr, x), f(x), w)).d();
    worst = std::max(worst, e);
  }
  return worst == 0 ? INFINITY : -std::log2(worst);
}
inline double accuracy_bits(Target f, double a, double b, const std::vector<double>& c, Weight w) {
  std::vector<R> cr;
  for (double v : c) cr.emplace_back(v);
  return accuracy_bits(f, a, b, cr, w);
}

}  // namespace fit
