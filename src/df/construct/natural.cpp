// Construction of the natural cubic: one tridiagonal system of the derivatives shared by all
// functions of the task.  Closed forms for the shortest partitions, the reduced solver
// (reduced.cpp) for one function, one factorisation and grouped solves for several functions
// (their right-hand sides divided among the host's threads), the cyclic system of the periodic
// condition.
#include "df/common/launch.h"
#include "df/construct/kinds.h"
#include "df/construct/natural.h"

namespace zorp::df {

template <typename T>
struct NaturalJob {
  const Fit<T>* F;
  int size;  // system order: n, or n-1 when periodic
  const T *dl, *d, *du;
  T* rhs;      // column f at rhs + f*size
  const T* z;  // periodic correction column, or null
  int per;     // functions per item
  int info;    // first nonzero solver info
};

template <typename T>
void natural_item(void* ctx, int item, int) {
  NaturalJob<T>& J = *static_cast<NaturalJob<T>*>(ctx);
  const int64_t f0 = static_cast<int64_t>(item) * J.per, f1 = std::min(J.F->ny, f0 + J.per);
  if (f0 >= f1) return;
  const int nr = static_cast<int>(f1 - f0), n = J.size;
  int info = 0;
  T* b = J.rhs + f0 * n;
  Lapack<T>::trs(&n, &nr, J.dl, J.d, J.du, b, &n, &info);
  if (info != 0) {
    __atomic_store_n(&J.info, info, __ATOMIC_RELAXED);
    return;
  }
  for (int64_t f = f0; f < f1; ++f) {
    T* col = J.rhs + f * n;
    if (J.z) {
      const T vy = col[0] + col[n - 1], vz = J.z[0] + J.z[n - 1];
      const T k = vy / (1 + vz);
      for (int i = 0; i < n; ++i) col[i] -= k * J.z[i];
    }
    natural_coeffs(*J.F, f, col);
  }
}

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

// Many functions on an open partition: the matrix is built and factored once, the widths
// and their reciprocals are tabulated once; then each work item takes its functions in groups
// of kSolveGroup: right-hand sides, one solve for the group, coefficients, so that a group's
// columns stay in cache between the three steps.
constexpr int64_t kSolveGroup = 8;

template <typename T>
struct ManyJob {
  const Fit<T>* F;
  Widths<T> W;
  EndRows<T> e;
  const T *dl, *d, *du;
  T* scratch;  // per thread kSolveGroup columns of n
  int per;     // functions per item
  int info;
};

template <typename T>
void many_item(void* ctx, int item, int thread) {
  ManyJob<T>& J = *static_cast<ManyJob<T>*>(ctx);
  const Fit<T>& F = *J.F;
  const int64_t n = F.n, s = F.ystride();
  const int64_t f0 = static_cast<int64_t>(item) * J.per, f1 = std::min(F.ny, f0 + J.per);
  T* cols = J.scratch + static_cast<int64_t>(thread) * kSolveGroup * n;
  for (int64_t g = f0; g < f1; g += kSolveGroup) {
    const int64_t g1 = std::min(f1, g + kSolveGroup);
    for (int64_t f = g; f < g1; ++f) {
      const T* y = F.ybase(f);
      T* r = cols + (f - g) * n;
      if (s == 1) interior_rows<T>(J.W, F.uniform, y, n, r + 1);
      else interior_rows_strided(J.W, F.uniform, y, s, n, r + 1);
      end_rhs(F, y, s, r[0], r[n - 1]);
    }
    const int size = static_cast<int>(n), nr = static_cast<int>(g1 - g);
    int info = 0;
    Lapack<T>::trs(&size, &nr, J.dl, J.d, J.du, cols, &size, &info);
    if (info != 0) {
      __atomic_store_n(&J.info, info, __ATOMIC_RELAXED);
      return;
    }
    for (int64_t f = g; f < g1; ++f) {
      if (s == 1) cubic_cells(J.W, F.ybase(f), cols + (f - g) * n, n, F.cf(f));
      else cubic_cells_strided(J.W, F.ybase(f), s, cols + (f - g) * n, n, F.cf(f));
    }
  }
}

// Several threads only pay off for long systems and several functions: at least 300 points,
// and below 600 points at most two threads; never more than 8 nor more than the functions.
template <typename T>
int natural_threads(const Fit<T>& F, void** threading) {
  if (!can_launch(threading) || !threading[4] || F.ny < 2 || F.n < kNaturalMinPoints) return 1;
  int threads = host_threads(threading);
  threads = std::min<int>({threads, kNaturalMaxThreads, static_cast<int>(std::min<int64_t>(F.ny, 1 << 30))});
  if (F.n < 2 * kNaturalMinPoints) threads = std::min(threads, 2);
  return std::max(threads, 1);
}

// A job's items of J.per functions on the host's threads, or all functions as one item here.
template <typename Job>
void run_natural(Job& J, int64_t ny, int threads, void** threading, void (*item)(void*, int, int)) {
  if (threads > 1) {
    const int items = static_cast<int>((ny + J.per - 1) / J.per);
    run_items(threading, true, items, std::min(threads, items), &J, item);
  } else {
    J.per = static_cast<int>(std::min<int64_t>(ny, 1 << 30));
    item(&J, 0, 0);
  }
}

template <typename T>
int natural_many(const Fit<T>& F, void** threading) {
  const int64_t n = F.n;
  const int threads = natural_threads(F, threading);
  const bool table = !F.uniform;
  const size_t words = static_cast<size_t>(3 * n + (table ? 2 * n : 0) + threads * kSolveGroup * n + 16);
  T* mem = static_cast<T*>(allocate(words * sizeof(T)));
  if (!mem) return DF_ERROR_MEM_FAILURE;
  T *dl = mem, *d = dl + n, *du = d + n, *scratch = du + n;
  Widths<T> W = widths_of(F);
  if (table) {
    T *h = scratch + threads * kSolveGroup * n, *rh = h + n;
    bool widths = true;
    for (int64_t i = 0; i + 1 < n; ++i) {
      h[i] = F.x[i + 1] - F.x[i];
      rh[i] = T(1) / h[i];
      widths &= width_ok(h[i]);
    }
    if (!widths) {
      deallocate(mem);
      return DF_ERROR_BAD_X;
    }
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
  const EndRows<T> e = end_rows(F);
  d[0] = e.b0;
  du[0] = e.c0;
  d[n - 1] = e.bn;
  dl[n - 2] = e.an;
  const int size = static_cast<int>(n);
  int info = 0;
  Lapack<T>::trf(&size, dl, d, du, &info);
  int rc = DF_STATUS_OK;
  if (info != 0) {
    rc = DF_ERROR_SOLVER;
  } else {
    ManyJob<T> J{&F, W, e, dl, d, du, scratch, static_cast<int>((F.ny + threads - 1) / threads), 0};
    run_natural(J, F.ny, threads, threading, &many_item<T>);
    if (J.info != 0) rc = DF_ERROR_SOLVER;
  }
  deallocate(mem);
  return rc;
}

template <typename T>
int natural_periodic(Fit<T>& F, void** threading);

template <typename T>
int natural(DFTask* t, int64_t method, void** threading) {
  if (!t) return DF_ERROR_NULL_TASK;
  if (method != 0) return DF_ERROR_METHOD_NOT_SUPPORTED;
  if (t->nx < 2) return DF_ERROR_BAD_NX;
  if (t->nx == 2 && t->bc_type == DF_BC_NOT_A_KNOT) return DF_ERROR_BAD_NX;
  if (const int rc = check_bc(t, false)) return rc;
  Fit<T> F;
  if (const int rc = make_fit(t, F)) return rc;
  const int64_t n = F.n, s = F.ystride();
  const End code = F.code;
  // Small systems in closed form: the line (n = 2, free or periodic end), the parabola through
  // three points (not-a-knot, whose 3x3 system is singular), the free end on three uniform
  // points and the periodic spline on three points (all three derivatives equal).
  const bool free_end = code == End::FreeEnd, per = code == End::Periodic;
  const bool closed = (n == 2 && (free_end || per)) || (n == 3 && (code == End::NotAKnot || per || (free_end && F.uniform)));
  // The reduced one-function solver and the many-function table check a non-uniform
  // partition's widths on their way; every other path checks it here.
  const bool checked_later = !F.uniform && !closed && !per && (F.ny > 1 || n >= reduced::kMinPoints);
  if (per && !periodic_ok(F)) return DF_ERROR_BAD_PERIODIC_VAL;
  if (!checked_later && !partition_ok(F)) return DF_ERROR_BAD_X;
  if (closed) {
    for (int64_t f = 0; f < F.ny; ++f) {
      const T* y = F.ybase(f);
      T d[3];
      const T m0 = (y[s] - y[0]) / F.hi(0);
      if (n == 2) {
        d[0] = d[1] = per ? T(0) : m0;
      } else {
        const T m1 = (y[2 * s] - y[s]) / F.hi(1), h0 = F.hi(0), h1 = F.hi(1);
        if (free_end) {
          d[1] = (m0 + m1) / 2;
          d[0] = T(1.5) * m0 - T(0.25) * (m0 + m1);
          d[2] = T(1.5) * m1 - T(0.25) * (m0 + m1);
        } else {
          const T b = (h1 * m0 + h0 * m1) / (h0 + h1);
          d[1] = b;
          d[0] = per ? b : 2 * m0 - b;
          d[2] = per ? b : 2 * m1 - b;
        }
      }
      natural_coeffs(F, f, d);
    }
    return DF_STATUS_OK;
  }
  if (!per) return F.ny == 1 ? natural_one(F) : natural_many(F, threading);
  return natural_periodic(F, threading);
}

// The periodic (cyclic) system: diagonals and all right-hand sides built up front, one
// factorisation shared by all functions and by the Sherman-Morrison correction column z.
template <typename T>
int natural_periodic(Fit<T>& F, void** threading) {
  const int64_t n = F.n, s = F.ystride(), N = n - 1;
  const size_t words = static_cast<size_t>(3 * N + N * F.ny + N + 16);
  T* mem = static_cast<T*>(allocate(words * sizeof(T)));
  if (!mem) return DF_ERROR_MEM_FAILURE;
  T *dl = mem, *d = dl + (N - 1), *du = d + N;
  T *rhs = du + N, *z = rhs + N * F.ny;
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
  int rc = DF_STATUS_OK;
  const int size = static_cast<int>(N), one = 1;
  int info = 0;
  Lapack<T>::trf(&size, dl, d, du, &info);
  if (info == 0) Lapack<T>::trs(&size, &one, dl, d, du, z, &size, &info);
  if (info != 0) {
    rc = DF_ERROR_SOLVER;
  } else {
    const int threads = natural_threads(F, threading);
    NaturalJob<T> J{&F, size, dl, d, du, rhs, z, static_cast<int>((F.ny + threads - 1) / threads), 0};
    run_natural(J, F.ny, threads, threading, &natural_item<T>);
    if (J.info != 0) rc = DF_ERROR_SOLVER;
  }
  deallocate(mem);
  return rc;
}

template int natural<float>(DFTask*, int64_t, void**);
template int natural<double>(DFTask*, int64_t, void**);

}  // namespace zorp::df
