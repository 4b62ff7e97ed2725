// One digest of the coefficients that every construction kind writes over a fixed set of
// problems: both precisions, one function and several, every y storage class, uneven, jumpy and
// uniform partitions, lengths around the solvers' tile and block sizes, every end condition the
// kind takes, in the calling thread and on the host's threads.  Then one digest each of what
// interpolation, integration and the cell search return over fixed problems: statuses, results
// and cells of every evaluation kind, result hint, derivative order set, site and limit hint,
// cell width, with and without the user callbacks, in the calling thread and on the host's
// threads.  A change that must leave the results alone (a file split, a move to other vector
// helpers, another way of laying out scratch) must leave the digest alone: run it before and
// after, with LD_LIBRARY_PATH pointing at each build's lib/.
//
//   df_digest            one line per kind and per evaluation routine (both precisions, and how
//                        many calls succeeded), then the total
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "df_entries.h"
#include "zorp/core.h"
#include "zorp/df.h"

namespace {

struct Fnv {
  uint64_t h = 1469598103934665603ull;
  void add(const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  }
};

using Fn = int (*)(DFTask*, int64_t, int64_t, void**);
struct Kind {
  const char* name;
  Fn s, d;
  int64_t order, type;
  std::vector<int64_t> bcs;
  int64_t ic_type;
};

template <typename T>
uint64_t digest(const Kind& k, Fn fn, int& built) {
  Fnv h;
  for (int n : {5, 17, 64, 67, 131, 2100, 4099})
    for (int64_t ny : {1, 3})
      for (int part = 0; part < 3; ++part)
        for (int64_t yhint : {16, 32})
          for (int64_t bct : k.bcs) {
            if (k.type == DF_PP_NATURAL && n == 2 && bct == DF_BC_NOT_A_KNOT) continue;
            std::vector<T> x(n), y(n * ny);
            for (int i = 0; i < n; ++i) {
              const double s = double(i) / (n - 1);
              x[i] = T(part == 2 ? i + (i % 3 == 0 ? 0.5 : 0.0) : -1 + 3 * s * (part == 0 ? 0.7 + 0.3 * s : 1.0));
            }
            for (int64_t f = 0; f < ny; ++f)
              for (int i = 0; i < n; ++i) {
                const T v = T(std::sin(3.0 * double(x[i]) + f) + 0.2 * std::cos(17.0 * i) + (i % 5 == 0 ? 0.5 : 0));
                y[yhint == 32 ? i * ny + f : f * n + i] = v;
              }
            if (bct == DF_BC_PERIODIC)
              for (int64_t f = 0; f < ny; ++f) y[yhint == 32 ? (n - 1) * ny + f : f * n + n - 1] = y[yhint == 32 ? f : f * n];
            const int64_t xhint = part == 1 ? DF_UNIFORM_PARTITION : DF_NON_UNIFORM_PARTITION;
            std::vector<T> xe = part == 1 ? std::vector<T>{x[0], x[n - 1]} : x;
            std::vector<T> c(size_t(n * k.order * ny) + 8, T(-7)), bc = {T(0.5), T(-0.25)}, ic(size_t(n * ny), T(0.1));
            for (size_t j = 0; j < ic.size(); ++j) ic[j] = T(std::cos(0.3 * double(j)));
            if (k.type == DF_PP_QUADRATIC_KNOTS) ic = {T(0.6 * x[0] + 0.4 * x[1]), T(0.3 * x[n - 2] + 0.7 * x[n - 1])};
            DFTask* t = nullptr;
            int rc;
            if constexpr (sizeof(T) == 8) {
              rc = zorp_df_kernel_dNewTask1D(&t, n, xe.data(), xhint, ny, y.data(), yhint, 0);
              rc |= zorp_df_kernel_dEditPPSpline1D(t, k.order, k.type, bct, bc.data(), k.ic_type,
                                                   k.ic_type ? ic.data() : nullptr, c.data(), 0);
            } else {
              rc = zorp_df_kernel_sNewTask1D(&t, n, xe.data(), xhint, ny, y.data(), yhint, 0);
              rc |= zorp_df_kernel_sEditPPSpline1D(t, k.order, k.type, bct, bc.data(), k.ic_type,
                                                   k.ic_type ? ic.data() : nullptr, c.data(), 0);
            }
            for (int threaded = 0; threaded < 2; ++threaded) {
              std::fill(c.begin(), c.end(), T(-7));
              const int r = rc ? rc : fn(t, 0, 0, threaded ? zorp_serv_df_threading_table() : nullptr);
              h.add(&r, sizeof r);
              built += r == 0;
              h.add(c.data(), c.size() * sizeof(T));
            }
            zorp_df_kernel_DeleteTask(&t);
          }
  return h.h;
}


// ---- evaluation: interpolation, integration, search -------------------------------------------

template <typename T>
using Api = zorp::test::df::Entries<T>;

// A small deterministic generator: the problems must not depend on the C library's rand.
struct Lcg {
  uint64_t s;
  double next() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return double(s >> 11) * 0x1p-53;
  }
};

// Evaluation kinds: order, type, and how the coefficients come (a construction routine, or
// none for the order-0 kinds, or arbitrary blocks for an order above four).
struct EvalKind {
  const char* name;
  int64_t order, type, bct;
  int build;  // 0 none, 1 linear, 2 natural, 3 knot quadratic (midpoint knots), 4 filled blocks
};
const EvalKind kEvalKinds[] = {{"lookup", 0, 6, 0, 0},        {"step right", 0, 7, 0, 0},
                               {"step left", 0, 8, 0, 0},     {"linear", 2, 0, 0, 1},
                               {"natural", 4, 2, 2, 2},       {"knot quadratic", 3, 1, 2, 3},
                               {"order six", 6, 0, 0, 4}};

// One task of a kind on partition `part` (0 uneven, 1 uniform, 2 quasi-uniform) with ny
// functions; owns its storage.
template <typename T>
struct EvalTask {
  std::vector<T> x, xe, y, c;
  DFTask* t = nullptr;
  int64_t n, ny;
  int rc = 0;
  EvalTask(const EvalKind& k, int part, int64_t nx, int64_t nfun, uint32_t width) : n(nx), ny(nfun) {
    x.resize(n);
    for (int64_t i = 0; i < n; ++i) {
      const double s = double(i) / double(n - 1);
      x[i] = T(-1 + 3 * s * (part == 0 ? 0.7 + 0.3 * s : part == 2 ? 1 + 0.01 * std::sin(7.0 * i) / (n - 1) : 1.0));
    }
    y.resize(n * ny);
    for (int64_t f = 0; f < ny; ++f)
      for (int64_t i = 0; i < n; ++i) y[f * n + i] = T(std::sin(2.0 * double(x[i]) + f) + 0.1 * std::cos(11.0 * i));
    const int64_t xhint = part == 1 ? DF_UNIFORM_PARTITION : part == 2 ? DF_QUASI_UNIFORM_PARTITION : DF_NON_UNIFORM_PARTITION;
    xe = part == 1 ? std::vector<T>{x[0], x[n - 1]} : x;
    c.assign(size_t((n + 1) * std::max<int64_t>(k.order, 1) * ny), T(0));
    for (size_t j = 0; j < c.size(); ++j) c[j] = T(std::cos(0.7 * double(j)) / (1 + j % 5));
    rc = Api<T>::new_task(&t, n, xe.data(), xhint, ny, y.data(), 0, width);
    if (!rc) rc = Api<T>::edit_pp(t, k.order, k.type, k.bct, nullptr, 0, nullptr, c.data(), 0);
    if (!rc && k.build == 3) rc = zorp_df_kernel_iEditVal(t, DF_ATTR_IC_TYPE, DF_IC_Q_KNOT);
    if (!rc && k.build == 1) rc = Api<T>::linear(t, 0, 0, nullptr);
    if (!rc && k.build == 2) rc = Api<T>::natural(t, 0, 0, nullptr);
    if (!rc && k.build == 3) rc = Api<T>::quadratic(t, 0, 0, nullptr);
  }
  ~EvalTask() { zorp_df_kernel_DeleteTask(&t); }
  // Sites spread beyond both ends, one in seven on a partition point, a NaN among the longer sets.
  std::vector<T> sites(int64_t count, uint64_t seed, bool sorted) const {
    Lcg g{seed};
    std::vector<T> s(count);
    for (int64_t j = 0; j < count; ++j)
      s[j] = j % 7 == 3 ? x[(j * 5) % n] : T(-1.9 + 4.8 * g.next());
    if (sorted) std::sort(s.begin(), s.end());
    if (count > 40 && !sorted) s[count / 2] = T(NAN);
    return s;
  }
};

// User callbacks: values from the site alone, 64-bit cells for the search callback unless told.
struct CbParams {
  int64_t per_site;  // values a site's callback writes
  bool wide;
};
template <typename T>
int interp_cb(int64_t* n, int64_t* cell, const T* site, T* r, void* p) {
  const int64_t m = static_cast<CbParams*>(p)->per_site;
  for (int64_t j = 0; j < *n; ++j)
    for (int64_t k = 0; k < m; ++k) r[j * m + k] = T(0.25) * site[j] + T(k) + T(cell[j] % 3);
  return 0;
}
template <typename T>
int integ_cb(int64_t* n, const T* a, const T* b, T* r, void* p) {
  const int64_t m = static_cast<CbParams*>(p)->per_site;
  for (int64_t j = 0; j < *n; ++j)
    for (int64_t k = 0; k < m; ++k) r[j * m + k] = (b[j] - a[j]) * T(1 + k);
  return 0;
}
// Cells of every third site by a rule of its own (flagged), the rest left to the library.
template <typename T>
int search_cb(int64_t* n, const T* site, void* cell, int32_t* flag, void* p) {
  const bool wide = static_cast<CbParams*>(p)->wide;
  for (int64_t j = 0; j < *n; j += 3) {
    const int64_t k = site[j] == site[j] ? 1 + (j % 4) : 0;
    if (wide) static_cast<int64_t*>(cell)[j] = k;
    else static_cast<int32_t*>(cell)[j] = int32_t(k);
    flag[j] = 1;
  }
  return 0;
}

template <typename T>
uint64_t interpolation_digest(int& ok) {
  Fnv h;
  const int64_t rhints[] = {0, DF_RHINT_FUNC_SITE_DER, DF_RHINT_FUNC_DER_SITE, DF_RHINT_DER_FUNC_SITE,
                            DF_RHINT_DER_SITE_FUNC};
  const std::vector<int32_t> orders[] = {{1}, {0, 1}, {1, 1, 1}, {1, 0, 1, 0, 1}, {0, 0, 0, 1}};
  const int64_t types[] = {DF_INTERP, DF_INTERP | DF_CELL, DF_CELL, DF_INTERP | DF_CELL_GIVEN};
  int variant = 0;
  for (const EvalKind& k : kEvalKinds)
    for (int part = 0; part < 3; ++part)
      for (int64_t nx : {2, 37, 300})
        for (int64_t ny : {1, 3})
          for (uint32_t width : {0u, 1u}) {
            EvalTask<T> task(k, part, nx, ny, width);
            h.add(&task.rc, sizeof task.rc);
            if (task.rc) continue;
            for (int64_t ns : {1, 3, 64, 200, 6000})
              for (int v = 0; v < 3; ++v, ++variant) {
                const int64_t type = types[(variant + v) % 4], rhint = rhints[variant % 5];
                const int64_t sitehint = variant % 3 == 0 ? DF_UNIFORM_SITES : variant % 3 == 1 ? DF_SORTED_DATA : 0;
                std::vector<int32_t> dorder = k.order == 0 ? std::vector<int32_t>{1} : orders[variant % 5];
                if (k.order == 0 && variant % 4 == 1) dorder = {1, 0, 0};
                const bool ends = variant % 4 == 2, user_search = variant % 7 == 5;
                std::vector<T> s = task.sites(ns, uint64_t(variant) * 7919 + 1, sitehint == DF_SORTED_DATA);
                if (sitehint == DF_UNIFORM_SITES) s = {T(-1.4 + 0.01 * v), T(2.3 - 0.02 * v)};
                int64_t nd = 0;
                for (int32_t o : dorder) nd += o != 0;
                std::vector<T> r(size_t(ns * ny * std::max<int64_t>(nd, 1)), T(-3));
                std::vector<int64_t> cells(size_t(ns), 0);
                for (int64_t j = 0; j < ns; ++j) cells[j] = (j * 13) % (nx + 1);
                if (!width)
                  for (int64_t j = 0; j < ns; ++j) reinterpret_cast<int32_t*>(cells.data())[j] = int32_t((j * 13) % (nx + 1));
                CbParams cp{ny * nd, true};
                for (int threaded = 0; threaded < 2; ++threaded) {
                  std::vector<T> out = r;
                  std::vector<int64_t> cout = cells;
                  const int rc = Api<T>::interpolate(
                      task.t, type, 0, ns, s.data(), sitehint, int64_t(dorder.size()), dorder.data(), nullptr,
                      out.data(), rhint, cout.data(), ends ? interp_cb<T> : nullptr, &cp,
                      ends ? interp_cb<T> : nullptr, &cp, nullptr, nullptr, user_search ? search_cb<T> : nullptr, &cp,
                      threaded ? zorp_serv_df_threading_table() : nullptr);
                  ok += rc == 0;
                  h.add(&rc, sizeof rc);
                  // A look-up miss leaves the missed sites' results unspecified: only the
                  // status and the cells of such a call are its own.
                  if (rc != DF_ERROR_SITE_NOT_IN_PARTITION) h.add(out.data(), out.size() * sizeof(T));
                  h.add(cout.data(), cout.size() * sizeof(int64_t));
                }
              }
          }
  return h.h;
}

template <typename T>
uint64_t integration_digest(int& ok) {
  Fnv h;
  const int64_t rhints[] = {0, DF_RHINT_PAIR_FUNC, DF_RHINT_FUNC_PAIR};
  int variant = 0;
  for (const EvalKind& k : kEvalKinds) {
    if (k.type == 6 && k.order == 0) continue;  // the look-up kind has no integral
    for (int part = 0; part < 3; ++part)
      for (int64_t nx : {2, 37, 300})
        for (int64_t ny : {1, 3}) {
          EvalTask<T> task(k, part, nx, ny, 0);
          h.add(&task.rc, sizeof task.rc);
          if (task.rc) continue;
          for (int64_t nl : {1, 5, 130, 700})
            for (int v = 0; v < 3; ++v, ++variant) {
              const int64_t lh = variant % 4 == 1 ? DF_UNIFORM_SITES : variant % 4 == 2 ? DF_SORTED_DATA : 0;
              const int64_t rh = variant % 5 == 3 ? DF_UNIFORM_SITES : 0;
              std::vector<T> l = task.sites(nl, uint64_t(variant) * 31 + 5, lh == DF_SORTED_DATA),
                             r = task.sites(nl, uint64_t(variant) * 37 + 11, false);
              if (nl > 2) r[1] = l[1];
              if (lh == DF_UNIFORM_SITES) l = {T(-1.2), T(1.9)};
              if (rh == DF_UNIFORM_SITES) r = {T(2.2), T(-0.8)};
              const bool ends = variant % 3 == 1, user_search = variant % 7 == 4;
              CbParams cp{ny, true};
              std::vector<T> out(size_t(nl * ny), T(-3));
              const int rc = Api<T>::integrate(task.t, 0, nl, l.data(), lh, r.data(), rh, nullptr, nullptr,
                                               out.data(), rhints[variant % 3], ends ? integ_cb<T> : nullptr, &cp,
                                               ends ? integ_cb<T> : nullptr, &cp, nullptr, nullptr,
                                               user_search ? search_cb<T> : nullptr, &cp);
              ok += rc == 0;
              h.add(&rc, sizeof rc);
              h.add(out.data(), out.size() * sizeof(T));
            }
        }
  }
  return h.h;
}

template <typename T>
uint64_t search_digest(int& ok) {
  Fnv h;
  int variant = 0;
  const EvalKind& k = kEvalKinds[3];
  for (int part = 0; part < 3; ++part)
    for (int64_t nx : {2, 37, 3000})
      for (uint32_t width : {0u, 1u}) {
        EvalTask<T> task(k, part, nx, 1, width);
        h.add(&task.rc, sizeof task.rc);
        if (task.rc) continue;
        for (int64_t ns : {1, 7, 100, 1000})
          for (int v = 0; v < 5; ++v, ++variant) {
            const int64_t sitehint = v == 1 ? DF_SORTED_DATA : v == 2 ? DF_UNIFORM_SITES : 0;
            std::vector<T> s = task.sites(ns, uint64_t(variant) * 101 + 3, sitehint == DF_SORTED_DATA);
            if (sitehint == DF_UNIFORM_SITES) s = {T(-1.3), T(2.1)};
            // A peak hint, a hybrid hint, or none.
            const T peak[5] = {0, 1, 0, 0, T(nx / 3)}, hybrid[5] = {0, 0, 0, 0, 0};
            const T* datahint = v == 3 ? peak : v == 4 ? hybrid : nullptr;
            const bool user_search = variant % 3 == 2;
            CbParams cp{1, width != 0};
            std::vector<int64_t> cells(size_t(ns), -5);
            const int rc = Api<T>::search(task.t, 0, ns, s.data(), sitehint, datahint, cells.data(),
                                          user_search ? search_cb<T> : nullptr, &cp, nullptr);
            ok += rc == 0;
            h.add(&rc, sizeof rc);
            h.add(cells.data(), cells.size() * sizeof(int64_t));
          }
      }
  return h.h;
}

}  // namespace

int main() {
  const std::vector<int64_t> cubic_bcs = {1, 2, 12, 36, 24, 48, 64};
  const Kind kinds[] = {
      {"linear", zorp_df_kernel_sDFLinearSpline1D, zorp_df_kernel_dDFLinearSpline1D, 2, 0, {0, 64}, 0},
      {"default quadratic", zorp_df_kernel_sDFQuadraticSpline1D, zorp_df_kernel_dDFQuadraticSpline1D, 3, 0, {128}, 0},
      {"knot quadratic", zorp_df_kernel_sDFQuadraticSpline1D, zorp_df_kernel_dDFQuadraticSpline1D, 3, 1, {2, 12, 36, 24, 48}, 8 | 4},
      {"natural", zorp_df_kernel_sDFNaturalCubicSpline1D, zorp_df_kernel_dDFNaturalCubicSpline1D, 4, 2, cubic_bcs, 0},
      {"default cubic", zorp_df_kernel_sDFDefaultCubicSpline1D, zorp_df_kernel_dDFDefaultCubicSpline1D, 4, 0, cubic_bcs, 2},
      {"akima", zorp_df_kernel_sDFAkimaCubicSpline1D, zorp_df_kernel_dDFAkimaCubicSpline1D, 4, 5, {0, 1, 2, 12, 48, 64}, 0},
      {"bessel", zorp_df_kernel_sDFBesselCubicSpline1D, zorp_df_kernel_dDFBesselCubicSpline1D, 4, 4, cubic_bcs, 0},
      {"hyman", zorp_df_kernel_sDFHymanCubicSpline1D, zorp_df_kernel_dDFHymanCubicSpline1D, 4, 9, cubic_bcs, 0},
      {"hermite", zorp_df_kernel_sDFHermiteCubicSpline1D, zorp_df_kernel_dDFHermiteCubicSpline1D, 4, 3, cubic_bcs, 1},
  };
  Fnv total;
  for (const Kind& k : kinds) {
    int built = 0;
    const uint64_t s = digest<float>(k, k.s, built), d = digest<double>(k, k.d, built);
    std::printf("%-18s s %016llx  d %016llx  (%d builds succeeded)\n", k.name, static_cast<unsigned long long>(s),
                static_cast<unsigned long long>(d), built);
    total.add(&s, sizeof s);
    total.add(&d, sizeof d);
  }
  struct Routine {
    const char* name;
    uint64_t (*s)(int&);
    uint64_t (*d)(int&);
  };
  const Routine routines[] = {{"interpolate", interpolation_digest<float>, interpolation_digest<double>},
                              {"integrate", integration_digest<float>, integration_digest<double>},
                              {"search", search_digest<float>, search_digest<double>}};
  for (const Routine& r : routines) {
    int ok = 0;
    const uint64_t s = r.s(ok), d = r.d(ok);
    std::printf("%-18s s %016llx  d %016llx  (%d calls succeeded)\n", r.name, static_cast<unsigned long long>(s),
                static_cast<unsigned long long>(d), ok);
    total.add(&s, sizeof s);
    total.add(&d, sizeof d);
  }
  std::printf("total              %016llx\n", static_cast<unsigned long long>(total.h));
  return 0;
}
