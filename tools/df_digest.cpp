// One digest of the coefficients that every construction kind writes over a fixed set of
// problems: both precisions, one function and several, every y storage class, uneven, jumpy and
// uniform partitions, lengths around the solvers' tile and block sizes, every end condition the
// kind takes, in the calling thread and on the host's threads.  A change that must leave the
// coefficients alone (a file split, a move to other vector helpers) must leave the digest
// alone: run it before and after, with LD_LIBRARY_PATH pointing at each build's lib/.
//
//   df_digest            one line per kind (both precisions, and how many builds succeeded), then the total
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

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
  std::printf("total              %016llx\n", static_cast<unsigned long long>(total.h));
  return 0;
}
