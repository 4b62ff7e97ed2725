// Wider checks of the trigonometric argument reduction (vm/kernels/common/trig_reduce.h) than
// the unit test runs, with the same rows and check (tests/vm/half_pi_methods.h):
//
//   reduce_sweep --self-check    the exact nearest-to-pi/2 search against an exhaustive scan of
//                                every 8- to 18-bit format binade up to 2^300
//   reduce_sweep --nearest P     for the P-bit format (53 or 24), the number nearest to a multiple
//                                of pi/2 in every binade, with the smallest |r| from 0 to there
//   reduce_sweep --random N [S]  N random doubles and N random floats per binade (seed S) through
//                                every row that holds them, then the nearest of every binade:
//                                largest relative error and largest share of the bound per row
//
// Exit status 1 when any check fails.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "accuracy/half_pi_methods.h"

namespace {

namespace pio2 = zorp::test::pio2;

int self_check() {
  int bad = 0, runs = 0;
  for (int p = 8; p <= 18; ++p) {
    for (int e = -p; e <= 300; ++e) {
      const pio2::Nearest n = pio2::nearest_in_binade(p, e);
      mpz_t a;
      mpz_init(a);
      pio2::alpha_bits(e, a);
      double best = 1;
      uint64_t best_m = 0;
      for (uint64_t m = uint64_t(1) << (p - 1); m < (uint64_t(1) << p); ++m) {
        const double d = pio2::distance_of(m, a);
        if (d < best) best = d, best_m = m;
      }
      mpz_clear(a);
      ++runs;
      if (best != n.distance || best_m != n.m) {
        ++bad;
        std::printf("p %d e %d: search %llu (%g), scan %llu (%g)\n", p, e, (unsigned long long)n.m, n.distance,
                    (unsigned long long)best_m, best);
      }
    }
  }
  const pio2::Nearest w = pio2::nearest_in_binade(53, 797);
  const bool published = w.m == 6381956970095103ull;
  std::printf("%d binades of 8- to 18-bit formats, %d disagreements; double binade 2^849: %llu 2^797 (%s)\n", runs, bad,
              (unsigned long long)w.m, published ? "the published worst case" : "NOT the published worst case");
  return bad == 0 && published ? 0 : 1;
}

int nearest(int p) {
  const int top = p == 53 ? 971 : 104;
  double smallest = 1;
  std::printf("binade       m                     e     log2|r|  smallest log2|r| so far\n");
  for (int e = -p; e <= top; ++e) {
    const pio2::Nearest n = pio2::nearest_in_binade(p, e);
    smallest = std::min(smallest, n.distance);
    std::printf("2^%-9d %-20llu %5d  %8.3f  %8.3f\n", e + p - 1, (unsigned long long)n.m, e,
                std::log2(n.distance * M_PI / 2), std::log2(smallest * M_PI / 2));
  }
  return 0;
}

struct Tally {
  long n = 0, failed = 0;
  double worst_error = 0, worst_share = 0, worst_x = 0;
};

int random_sweep(int per_binade, uint64_t seed) {
  std::mt19937_64 g(seed);
  std::map<std::string, Tally> t;
  auto run = [&](double x) {
    for (const pio2::Finding& f : pio2::check(x)) {
      Tally& s = t[f.method->name];
      ++s.n;
      if (!f.failure.empty()) {
        ++s.failed;
        std::printf("%s x = %a: %s\n", f.method->name, x, f.failure.c_str());
      }
      s.worst_error = std::max(s.worst_error, f.relative_error);
      if (f.relative_error / f.bound > s.worst_share) s.worst_share = f.relative_error / f.bound, s.worst_x = x;
    }
  };
  for (int e = -53; e <= 971; ++e) {
    for (int i = 0; i < per_binade; ++i)
      run((g() & 1 ? -1 : 1) * std::ldexp(static_cast<double>((g() >> 11) | (uint64_t(1) << 52)), e));
    run(pio2::nearest_in_binade(53, e).value());
  }
  for (int e = -24; e <= 104; ++e) {
    for (int i = 0; i < per_binade; ++i)
      run((g() & 1 ? -1 : 1) * std::ldexp(static_cast<double>((g() >> 40) | (uint64_t(1) << 23)), e));
    run(pio2::nearest_in_binade(24, e).value());
  }
  long failed = 0;
  std::printf("%-22s %10s %8s %16s %12s  %s\n", "row", "arguments", "failed", "max rel. error", "max share", "at");
  for (const auto& [name, s] : t) {
    std::printf("%-22s %10ld %8ld %16s %12.3g  %a\n", name.c_str(), s.n, s.failed,
                ("2^" + std::to_string(std::log2(s.worst_error))).c_str(), s.worst_share, s.worst_x);
    failed += s.failed;
  }
  return failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "--self-check")) return self_check();
  if (argc >= 3 && !std::strcmp(argv[1], "--nearest")) return nearest(std::atoi(argv[2]) == 24 ? 24 : 53);
  if (argc >= 3 && !std::strcmp(argv[1], "--random"))
    return random_sweep(std::atoi(argv[2]), argc >= 4 ? std::strtoull(argv[3], nullptr, 10) : 1);
  std::fprintf(stderr, "usage: reduce_sweep --self-check | --nearest 53|24 | --random N [seed]\n");
  return 2;
}
