// Construction of the kinds that need no derivative system of their own: the default cubic
// (second derivatives given), the default quadratic (midpoint value of the first cell) and
// the knot-based quadratic (one tridiagonal system in the knot derivatives).
#include "df/common/launch.h"
#include "df/construct/kinds.h"
#include "df/construct/natural.h"

namespace zorp::df {

// ---- default cubic: second derivatives given, no system solved
template <typename T>
int default_cubic(DFTask* t) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (t->nx < 3) return DF_ERROR_BAD_NX;
  if (const int rc = check_bc(t, false)) return rc;
  if (!t->ic) return DF_ERROR_BAD_IC;
  Fit<T> F;
  if (const int rc = make_fit(t, F)) return rc;
  if (F.code == End::Periodic && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
  if (!partition_ok(F)) return DF_ERROR_BAD_X;
  const int64_t n = F.n, s = F.ystride();
  const End code = F.code;
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    const T* M = F.ic + f * (n - 2);  // M_j = M[j-1]
    auto slope = [&](int64_t k) { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); };
    const T h0 = F.hi(0), hl = F.hi(n - 2);
    T ML = 0, MR = 0;
    // Left end second derivative.
    switch (code) {
      case End::NotAKnot:
        ML = n == 3 ? M[0] : M[0] - h0 * (M[1] - M[0]) / F.hi(1);
        break;
      case End::FirstFirst:
      case End::FirstSecond: ML = (6 * (slope(0) - F.bc[0]) / h0 - M[0]) / 2; break;  // c1 of cell 0 is bc[0]
      case End::SecondFirst:
      case End::SecondSecond: ML = F.bc[0]; break;
      case End::Periodic: ML = F.bc[0]; break;
      default: ML = 0; break;
    }
    switch (code) {
      case End::NotAKnot:
        MR = n == 3 ? M[0] : M[n - 3] + hl * (M[n - 3] - M[n - 4]) / F.hi(n - 3);
        break;
      case End::FirstFirst:
      case End::SecondFirst: MR = (6 * (F.bc[1] - slope(n - 2)) / hl - M[n - 3]) / 2; break;  // S'(x_(n-1)) = bc[1]
      case End::FirstSecond:
      case End::SecondSecond: MR = F.bc[1]; break;
      case End::Periodic: MR = F.bc[0]; break;
      default: MR = 0; break;
    }
    T* c = F.cf(f);
    for (int64_t i = 0; i < n - 1; ++i) {
      const T a = i == 0 ? ML : M[i - 1], b = i + 1 == n - 1 ? MR : M[i];
      const T h = F.hi(i);
      c[4 * i] = y[i * s];
      c[4 * i + 1] = slope(i) - h * (2 * a + b) / 6;
      c[4 * i + 2] = a / 2;
      c[4 * i + 3] = (b - a) / (6 * h);
    }
  }
  return DF_STATUS_OK;
}

// ---- quadratic kinds
template <typename T>
int default_quadratic(Fit<T>& F) {
  const int64_t n = F.n, s = F.ystride();
  for (int64_t f = 0; f < F.ny; ++f) {
    const T* y = F.ybase(f);
    T* c = F.cf(f);
    T v = F.bc[0];
    for (int64_t i = 0; i < n - 1; ++i) {
      const T h = F.hi(i), g = h / 2, y0 = y[i * s], y1 = y[(i + 1) * s];
      const T c2 = 2 * (y0 - 2 * v + y1) / (h * h);
      const T c1 = (v - y0) / g - c2 * g;
      c[3 * i] = y0;
      c[3 * i + 1] = c1;
      c[3 * i + 2] = c2;
      if (i + 2 < n) {
        // The next midpoint value keeps S' continuous at x_(i+1).
        const T D = c1 + 2 * c2 * h, hn = F.hi(i + 1);
        v = (D * hn + 3 * y1 + y[(i + 2) * s]) / 4;
      }
    }
  }
  return DF_STATUS_OK;
}

// Both quadratic kinds as one routine of the step sequence (common/steps.h): the checks, then
// for the knot-based kind the knots, the system and its right-hand sides carved at once; one
// part computes every function.
template <typename T>
struct Quadratic : Split {
  DFTask* t;
  Fit<T> F;
  bool knots = false;
  int size = 0;  // knot-based: system order nx+1
  T *kt = nullptr, *dl = nullptr, *d = nullptr, *du = nullptr, *rhs = nullptr;

  int check() {
    if (!t) return DF_ERROR_NULL_TASK;
    if (!storage_hint_ok(t->yhint)) return DF_ERROR_BAD_Y_HINT;
    if (t->type == DF_PP_DEFAULT) {
      if (t->bc_type != DF_BC_Q_VAL) return DF_ERROR_BAD_BC_TYPE;
      if (!t->bc) return DF_ERROR_BAD_BC;
    } else if (t->type == DF_PP_QUADRATIC_KNOTS) {
      if (!(t->ic_type & DF_IC_Q_KNOT)) return DF_ERROR_BAD_IC_TYPE;
      const End code = end_of(t->bc_type);
      if (code == End::Invalid || code == End::None) return DF_ERROR_BAD_BC_TYPE;
      if (given_at_ends(code) && !t->bc) return DF_ERROR_BAD_BC;
      // No knot-based routine for not-a-knot and periodic ends.
      if (code == End::NotAKnot || code == End::Periodic) return DF_ERROR_BAD_BC_TYPE;
      if ((t->ic_type & DF_IC_Q_KNOT_RANGE) && !t->ic) return DF_ERROR_BAD_IC;
    } else {
      return DF_ERROR_METHOD_NOT_SUPPORTED;
    }
    if (const int rc = make_fit(t, F)) return rc;
    if (!partition_ok(F)) return DF_ERROR_BAD_X;
    return DF_STATUS_OK;
  }
  int plan() {
    knots = t->type != DF_PP_DEFAULT;
    size = static_cast<int>(F.n + 1);
    return DF_STATUS_OK;
  }
  void carve(Carver& C) {
    if (!knots) return;
    kt = C.scratch<T>(size);
    dl = C.scratch<T>(size);
    d = C.scratch<T>(size);
    du = C.scratch<T>(size);
    rhs = C.scratch<T>(size * F.ny);
  }
  // The knots as evaluation finds them again (quadratic_knot), checked: each x_j must lie in its
  // own knot interval, and the knots must increase.
  int start() {
    if (!knots) return DF_STATUS_OK;
    const int64_t n = F.n;
    for (int64_t j = 0; j <= n; ++j) kt[j] = quadratic_knot(F, t->ic_type, F.ic, j);
    if (F.ic && (t->ic_type & DF_IC_Q_KNOT_RANGE) && !(kt[0] < F.ic[0] && F.ic[1] < kt[n])) return DF_ERROR_BAD_IC;
    for (int64_t j = 0; j < n; ++j)
      if (!(kt[j + 1] > kt[j]) || !(F.xi(j) >= kt[j] && F.xi(j) <= kt[j + 1])) return DF_ERROR_BAD_IC;
    return DF_STATUS_OK;
  }
  int part(int, int) { return knots ? knot_quadratic() : default_quadratic(F); }
  int finish() { return DF_STATUS_OK; }

  // One tridiagonal system in the knot derivatives, all functions' right-hand sides at once.
  int knot_quadratic() {
    const int64_t n = F.n, s = F.ystride(), N = size;
    const End code = F.code;
    auto k = [&](int64_t j) { return kt[j + 1] - kt[j]; };
    auto tau = [&](int64_t j) { return F.xi(j) - kt[j]; };
    // Row j+1 (j = 0..n-2): interpolation at x_j and x_(j+1) with continuity of value at t_(j+1).
    for (int64_t j = 0; j + 1 < n; ++j) {
      const T kj = k(j), kn = k(j + 1), tj = tau(j), tn = tau(j + 1);
      dl[j] = (kj - tj) * (kj - tj) / (2 * kj);
      d[j + 1] = kj / 2 + tn - tn * tn / (2 * kn) - tj * tj / (2 * kj);
      du[j + 1] = tn * tn / (2 * kn);
    }
    const bool left_first = first_at_left(code), right_first = first_at_right(code);
    d[0] = 1;
    du[0] = left_first ? T(0) : T(-1);
    d[n] = 1;
    dl[n - 1] = right_first ? T(0) : T(-1);
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T* r = rhs + f * N;
      for (int64_t j = 0; j + 1 < n; ++j) r[j + 1] = y[(j + 1) * s] - y[j * s];
      r[0] = left_first ? F.bc[0] : second_at_left(code) ? -k(0) * F.bc[0] : T(0);
      r[n] = right_first ? F.bc[1] : second_at_right(code) ? k(n - 1) * F.bc[1] : T(0);
    }
    const int nr = static_cast<int>(F.ny);
    int info = 0;
    Lapack<T>::sv(&size, &nr, dl, d, du, rhs, &size, &info);
    if (info != 0) return DF_ERROR_SOLVER;
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      const T* D = rhs + f * N;
      T* c = F.cf(f);
      for (int64_t j = 0; j < n; ++j) {
        const T c2 = (D[j + 1] - D[j]) / (2 * k(j)), tj = tau(j);
        c[3 * j] = y[j * s] - D[j] * tj - c2 * tj * tj;
        c[3 * j + 1] = D[j];
        c[3 * j + 2] = c2;
      }
    }
    return DF_STATUS_OK;
  }
};

template <typename T>
int quadratic(DFTask* t) {
  Quadratic<T> r{};
  r.t = t;
  return run_steps(r);
}

template int default_cubic<float>(DFTask*);
template int default_cubic<double>(DFTask*);
template int quadratic<float>(DFTask*);
template int quadratic<double>(DFTask*);

}  // namespace zorp::df
