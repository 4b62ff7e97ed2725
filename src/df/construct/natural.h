// Construction of the natural cubic: what its paths share.  The host's tridiagonal solvers in
// the task's precision, the end rows of the open derivative system and their right-hand
// sides, and the coefficient blocks of one function from its derivatives.
#pragma once
#include "df/construct/cells.h"

namespace zorp::df {

template <typename T> struct Lapack;
template <> struct Lapack<double> {
  static void trf(const int* n, double* a, double* b, double* c, int* i) { ddttrfb_4dfl(n, a, b, c, i); }
  static void trs(const int* n, const int* r, const double* a, const double* b, const double* c, double* x,
                  const int* ld, int* i) {
    const char N = 'N';
    ddttrsb_4dfl(&N, n, r, a, b, c, x, ld, i);
  }
  static void sv(const int* n, const int* r, double* a, double* b, double* c, double* x, const int* ld, int* i) {
    ddtsvb_4dfl(n, r, a, b, c, x, ld, i);
  }
};
template <> struct Lapack<float> {
  static void trf(const int* n, float* a, float* b, float* c, int* i) { sdttrfb_4dfl(n, a, b, c, i); }
  static void trs(const int* n, const int* r, const float* a, const float* b, const float* c, float* x,
                  const int* ld, int* i) {
    const char N = 'N';
    sdttrsb_4dfl(&N, n, r, a, b, c, x, ld, i);
  }
  static void sv(const int* n, const int* r, float* a, float* b, float* c, float* x, const int* ld, int* i) {
    sdtsvb_4dfl(n, r, a, b, c, x, ld, i);
  }
};

template <typename T>
void natural_coeffs(const Fit<T>& F, int64_t f, const T* dcol) {
  const int64_t n = F.n, s = F.ystride();
  const T* y = F.ybase(f);
  T* c = F.cf(f);
  const bool per = F.code == End::Periodic;
  for (int64_t i = 0; i < n - 1; ++i) {
    const T h = F.hi(i), m = (y[(i + 1) * s] - y[i * s]) / h;
    const T dn = per && i + 1 == n - 1 ? dcol[0] : dcol[i + 1];
    cubic_cell(c + 4 * i, y[i * s], m, h, dcol[i], dn);
  }
}

// End rows of the open system by end condition: row 0 is b0*d_0 + c0*d_1 = r0, row n-1 is
// a*d_(n-2) + b*d_(n-1) = r (uniform: interior rows divided by h, end rows as written).
template <typename T>
struct EndRows {
  T b0, c0, an, bn;
};

template <typename T>
EndRows<T> end_rows(const Fit<T>& F) {
  const int64_t n = F.n;
  const End code = F.code;
  EndRows<T> e{};
  const T h0 = F.hi(0), hl = F.hi(n - 2);
  if (code == End::NotAKnot) {
    const T h1 = F.hi(1), hb = F.hi(n - 3);
    e.b0 = 1, e.c0 = (h0 + h1) / h1;
    e.bn = 1, e.an = (hl + hb) / hb;
  }
  // A second derivative at an end (the free end's is 0) gives the row 2*d_0 + d_1, a first
  // derivative the row d_0 = value.
  if (code == End::FreeEnd || second_at_left(code)) e.b0 = 2, e.c0 = 1;
  if (first_at_left(code)) e.b0 = 1, e.c0 = 0;
  if (code == End::FreeEnd || second_at_right(code)) e.bn = 2, e.an = 1;
  if (first_at_right(code)) e.bn = 1, e.an = 0;
  return e;
}

// Right-hand sides of the end rows of one function.
template <typename T>
void end_rhs(const Fit<T>& F, const T* y, int64_t s, T& r0, T& rn) {
  const int64_t n = F.n;
  auto slope = [&](int64_t k) { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); };
  const T h0 = F.hi(0), hl = F.hi(n - 2), m0 = slope(0), ml = slope(n - 2);
  switch (F.code) {
    case End::NotAKnot: {
      const T h1 = F.hi(1), H = h0 + h1, m1 = slope(1);
      r0 = ((2 * H + h0) * h1 * m0 + h0 * h0 * m1) / (H * h1);
      const T hb = F.hi(n - 3), G = hl + hb, mc = slope(n - 3);
      rn = ((2 * G + hl) * hb * ml + hl * hl * mc) / (G * hb);
      break;
    }
    case End::FreeEnd: r0 = 3 * m0; rn = 3 * ml; break;
    case End::FirstFirst: r0 = F.bc[0]; rn = F.bc[1]; break;
    case End::FirstSecond: r0 = F.bc[0]; rn = 3 * ml + hl * F.bc[1] / 2; break;
    case End::SecondFirst: r0 = 3 * m0 - h0 * F.bc[0] / 2; rn = F.bc[1]; break;
    default: r0 = 3 * m0 - h0 * F.bc[0] / 2; rn = 3 * ml + hl * F.bc[1] / 2; break;
  }
}

// The reduced one-function solver (reduced.cpp): three or more points, an open end condition.
namespace reduced {
// Two points have no interior row: their two end rows are the whole system (natural_one).
constexpr int64_t kMinPoints = 3;
template <typename T>
int solve(const Fit<T>& F);
}  // namespace reduced

}  // namespace zorp::df
