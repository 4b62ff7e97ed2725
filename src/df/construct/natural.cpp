// Construction of the natural cubic: one tridiagonal system of the derivatives shared by all
// functions of the task.  Closed forms for the shortest partitions, the reduced solver
// (reduced.cpp) for one function, one factorisation and grouped solves for several functions
// (their right-hand sides divided among the host's threads), the cyclic system of the periodic
// condition.  Each call is a routine of the step sequence (common/steps.h): one part per group
// of functions on the host's threads, or one part for a path that solves in one go.
#include "df/common/launch.h"
#include "df/construct/kinds.h"
#include "df/construct/natural.h"

namespace zorp::df {

// One function on an open partition.  Three or more points go through the reduced system
// above.  Two points (a given derivative at one end at least; the line and the periodic case
// are closed forms) leave one unknown: row 1 less an/b0 times row 0 gives d_1 as a system of
// order one for the host solver, and row 0 then gives d_0.
template <typename T>
int natural_one(const Fit<T>& F) {
  if (F.n >= reduced::kMinPoints) return reduced::solve(F);
  const EndRows<T> e = end_rows(F);
  T r0, rn;
  end_rhs(F, F.ybase(0), 1, r0, rn);
  if (e.b0 == T(0)) return DF_ERROR_SOLVER;  // never for the codes handled here
  const T k = e.an / e.b0;
  T dl = 0, D = e.bn - k * e.c0, du = 0, R = rn - k * r0;
  const int size = 1, one = 1;
  int info = 0;
  Lapack<T>::sv(&size, &one, &dl, &D, &du, &R, &size, &info);
  if (info != 0) return DF_ERROR_SOLVER;
  const T d[2] = {(r0 - e.c0 * R) / e.b0, R};
  natural_coeffs(F, 0, d);
  return DF_STATUS_OK;
}

// Functions a part solves at once on the many-function path.
constexpr int64_t kSolveGroup = 8;

// The closed forms, the reduced one-function solver, one factorisation for many functions, the
// cyclic system.
enum class Path { Closed, One, Many, Periodic };

template <typename T>
struct Natural : Split {
  DFTask* t;
  int64_t method;
  Fit<T> F;
  Path path = Path::Closed;
  int per = 1;  // functions per part
  int size = 0;  // system order: n, or n-1 when periodic
  T *dl = nullptr, *d = nullptr, *du = nullptr;
  T* h = nullptr;      // many: the tabulated widths and their reciprocals, when not uniform
  T* rhs = nullptr;    // periodic: column f at rhs + f*size
  T* z = nullptr;      // periodic: the correction column
  T** cols = nullptr;  // many: per thread kSolveGroup columns of n
  Widths<T> W{};
  EndRows<T> e{};
  int info = 0;  // first nonzero solver info of any part

  int check() {
    if (!t) return DF_ERROR_NULL_TASK;
    if (method != 0) return DF_ERROR_METHOD_NOT_SUPPORTED;
    if (t->nx < 2) return DF_ERROR_BAD_NX;
    if (t->nx == 2 && t->bc_type == DF_BC_NOT_A_KNOT) return DF_ERROR_BAD_NX;
    if (const int rc = check_bc(t, false)) return rc;
    if (const int rc = make_fit(t, F)) return rc;
    const int64_t n = F.n;
    const End code = F.code;
    // Small systems in closed form: the line (n = 2, free or periodic end), the parabola through
    // three points (not-a-knot, whose 3x3 system is singular), the free end on three uniform
    // points and the periodic spline on three points (all three derivatives equal).
    const bool free_end = code == End::FreeEnd, periodic = code == End::Periodic;
    const bool closed =
        (n == 2 && (free_end || periodic)) || (n == 3 && (code == End::NotAKnot || periodic || (free_end && F.uniform)));
    path = closed ? Path::Closed : periodic ? Path::Periodic : F.ny == 1 ? Path::One : Path::Many;
    // The reduced one-function solver and the many-function table check a non-uniform
    // partition's widths on their way; every other path checks it here.
    const bool checked_later = !F.uniform && !closed && !periodic && (F.ny > 1 || n >= reduced::kMinPoints);
    if (periodic && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
    if (!checked_later && !partition_ok(F)) return DF_ERROR_BAD_X;
    return DF_STATUS_OK;
  }

  // Several threads only pay off for long systems and several functions: at least 300 points,
  // and below 600 points at most two threads; never more than 8 nor more than the functions.
  // The functions go in parts of `per`, as many parts as threads.
  int plan() {
    if (path == Path::Closed || path == Path::One) return DF_STATUS_OK;
    int want = 1;
    if (pool.available() && pool.table[4] && F.ny >= 2 && F.n >= kNaturalMinPoints) {
      want = std::min<int>({pool.limit(), kNaturalMaxThreads, static_cast<int>(std::min<int64_t>(F.ny, 1 << 30))});
      if (F.n < 2 * kNaturalMinPoints) want = std::min(want, 2);
      want = std::max(want, 1);
    }
    per = want > 1 ? static_cast<int>((F.ny + want - 1) / want) : static_cast<int>(std::min<int64_t>(F.ny, 1 << 30));
    parts = static_cast<int>((F.ny + per - 1) / per);
    threaded = want > 1;
    size = static_cast<int>(path == Path::Periodic ? F.n - 1 : F.n);
    return DF_STATUS_OK;
  }

  void carve(Carver& C) {
    if (path == Path::Closed || path == Path::One) return;
    const int64_t n = F.n, N = size;
    dl = C.scratch<T>(N);
    d = C.scratch<T>(N);
    du = C.scratch<T>(N);
    if (path == Path::Many) {
      h = F.uniform ? nullptr : C.scratch<T>(2 * n);
      cols = C.scratch_each<T>(threads, kSolveGroup * n);
    } else {
      rhs = C.scratch<T>(N * F.ny);
      z = C.scratch<T>(N);
    }
  }

  int start() {
    if (path == Path::Many) return factor_open();
    if (path == Path::Periodic) return factor_periodic();
    return DF_STATUS_OK;
  }

  int part(int item, int thread) {
    switch (path) {
      case Path::Closed: closed_forms(); return DF_STATUS_OK;
      case Path::One: return natural_one(F);
      case Path::Many: many_part(item, thread); return DF_STATUS_OK;
      default: periodic_part(item); return DF_STATUS_OK;
    }
  }

  int finish() { return info != 0 ? DF_ERROR_SOLVER : DF_STATUS_OK; }

  void closed_forms() {
    const int64_t n = F.n, s = F.ystride();
    const bool free_end = F.code == End::FreeEnd, periodic = F.code == End::Periodic;
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T dv[3];
      const T m0 = (y[s] - y[0]) / F.hi(0);
      if (n == 2) {
        dv[0] = dv[1] = periodic ? T(0) : m0;
      } else {
        const T m1 = (y[2 * s] - y[s]) / F.hi(1), h0 = F.hi(0), h1 = F.hi(1);
        if (free_end) {
          dv[1] = (m0 + m1) / 2;
          dv[0] = T(1.5) * m0 - T(0.25) * (m0 + m1);
          dv[2] = T(1.5) * m1 - T(0.25) * (m0 + m1);
        } else {
          const T b = (h1 * m0 + h0 * m1) / (h0 + h1);
          dv[1] = b;
          dv[0] = periodic ? b : 2 * m0 - b;
          dv[2] = periodic ? b : 2 * m1 - b;
        }
      }
      natural_coeffs(F, f, dv);
    }
  }

  // Many functions on an open partition: the matrix is built and factored once, the widths and
  // their reciprocals are tabulated once (checking them on the way); then each part takes its
  // functions in groups of kSolveGroup: right-hand sides, one solve for the group,
  // coefficients, so that a group's columns stay in cache between the three steps.
  int factor_open() {
    const int64_t n = F.n;
    W = widths_of(F);
    if (h) {
      T* rh = h + n;
      bool widths = true;
      for (int64_t i = 0; i + 1 < n; ++i) {
        h[i] = F.x[i + 1] - F.x[i];
        rh[i] = T(1) / h[i];
        widths &= width_ok(h[i]);
      }
      if (!widths) return DF_ERROR_BAD_X;
      W.x = nullptr;
      W.h = h;
      W.rh = rh;
    }
    for (int64_t i = 1; i + 1 < n; ++i) {
      const T ha = F.uniform ? T(1) : W.h[i - 1], hb = F.uniform ? T(1) : W.h[i];
      dl[i - 1] = hb;
      d[i] = 2 * (ha + hb);
      du[i] = ha;
    }
    e = end_rows(F);
    d[0] = e.b0;
    du[0] = e.c0;
    d[n - 1] = e.bn;
    dl[n - 2] = e.an;
    int factored = 0;
    Lapack<T>::trf(&size, dl, d, du, &factored);
    return factored != 0 ? DF_ERROR_SOLVER : DF_STATUS_OK;
  }

  void many_part(int item, int thread) {
    const int64_t n = F.n, s = F.ystride();
    const int64_t f0 = static_cast<int64_t>(item) * per, f1 = std::min(F.ny, f0 + per);
    T* c = cols[thread];
    for (int64_t g = f0; g < f1; g += kSolveGroup) {
      const int64_t g1 = std::min(f1, g + kSolveGroup);
      for (int64_t f = g; f < g1; ++f) {
        const T* y = F.ybase(f);
        T* r = c + (f - g) * n;
        if (s == 1) interior_rows<T>(W, F.uniform, y, n, r + 1);
        else interior_rows_strided(W, F.uniform, y, s, n, r + 1);
        end_rhs(F, y, s, r[0], r[n - 1]);
      }
      const int nr = static_cast<int>(g1 - g);
      int solved = 0;
      Lapack<T>::trs(&size, &nr, dl, d, du, c, &size, &solved);
      if (solved != 0) {
        __atomic_store_n(&info, solved, __ATOMIC_RELAXED);
        return;
      }
      for (int64_t f = g; f < g1; ++f) {
        if (s == 1) cubic_cells(W, F.ybase(f), c + (f - g) * n, n, F.cf(f));
        else cubic_cells_strided(W, F.ybase(f), s, c + (f - g) * n, n, F.cf(f));
      }
    }
  }

  // The periodic (cyclic) system: diagonals and all right-hand sides built up front, one
  // factorisation shared by all functions and by the Sherman-Morrison correction column z.
  int factor_periodic() {
    const int64_t s = F.ystride(), N = size;
    // Matrix coefficients: on a uniform partition every row is divided by h.
    auto hm = [&](int64_t i) { return F.uniform ? T(1) : F.hi(i); };
    auto slope = [&](const T* y, int64_t k) { return (y[(k + 1) * s] - y[k * s]) / F.hi(k); };
    for (int64_t i = 0; i < N; ++i) {
      const int64_t ip = i == 0 ? N - 1 : i - 1;
      const T a = hm(ip), b = hm(i);
      if (i > 0) dl[i - 1] = b;
      d[i] = 2 * (a + b);
      if (i < N - 1) du[i] = a;
    }
    const T alpha = hm(0), beta = hm(N - 2);
    d[0] -= alpha;
    d[N - 1] -= beta;
    for (int64_t i = 0; i < N; ++i) z[i] = 0;
    z[0] = alpha;
    z[N - 1] = beta;
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T* r = rhs + f * N;
      for (int64_t i = 0; i < N; ++i) {
        const int64_t ip = i == 0 ? N - 1 : i - 1;
        r[i] = 3 * (hm(i) * slope(y, ip) + hm(ip) * slope(y, i));
      }
    }
    const int one = 1;
    int factored = 0;
    Lapack<T>::trf(&size, dl, d, du, &factored);
    if (factored == 0) Lapack<T>::trs(&size, &one, dl, d, du, z, &size, &factored);
    return factored != 0 ? DF_ERROR_SOLVER : DF_STATUS_OK;
  }

  void periodic_part(int item) {
    const int64_t f0 = static_cast<int64_t>(item) * per, f1 = std::min(F.ny, f0 + per);
    if (f0 >= f1) return;
    const int nr = static_cast<int>(f1 - f0), n = size;
    int solved = 0;
    T* b = rhs + f0 * n;
    Lapack<T>::trs(&n, &nr, dl, d, du, b, &n, &solved);
    if (solved != 0) {
      __atomic_store_n(&info, solved, __ATOMIC_RELAXED);
      return;
    }
    for (int64_t f = f0; f < f1; ++f) {
      T* col = rhs + f * n;
      const T vy = col[0] + col[n - 1], vz = z[0] + z[n - 1];
      const T k = vy / (1 + vz);
      for (int i = 0; i < n; ++i) col[i] -= k * z[i];
      natural_coeffs(F, f, col);
    }
  }
};

template <typename T>
int natural(DFTask* t, int64_t method, void** threading) {
  Natural<T> r{};
  r.pool.table = threading;
  r.t = t;
  r.method = method;
  return run_steps(r);
}

template int natural<float>(DFTask*, int64_t, void**);
template int natural<double>(DFTask*, int64_t, void**);

}  // namespace zorp::df
