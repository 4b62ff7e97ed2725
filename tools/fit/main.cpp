// tools/fit: writes every generated table and coefficient file of the vector-math kernels from
// the formulas in tables.cpp and the fit records in polynomials.cpp, and the Poisson
// generator's normal-approximation table (poisson.cpp).
//
//   fit <source dir>           rewrites the generated files under src/vm/kernels/*/generated/
//                              and src/dist/generated/
//   fit --check <source dir> [k/n]
//                              regenerates them in memory and compares byte for byte; exits 1
//                              and names the files that differ; with k/n only files k, k + n,
//                              k + 2n ... (the ctest fit_regenerates_k, one process per core)
//   fit --print                writes them all to stdout
//
// The output is a deterministic function of the tool's sources (MPFR at 256 bits, fixed Remez
// grids), so a regeneration reproduces the committed files exactly; all of it runs in seconds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fits.h"
#include "tables.h"

namespace {

struct File {
  const char* path;  // relative to the source directory
  std::function<std::string()> text;
};

// The files by the time their fits take, the heaviest first (gamma about 67 s of the 245 on the
// emulated build, erf 38, the roots 32, Bessel 32, the gamma zeros 30), so that every n-th file
// spreads the heavy ones over the parts of --check.
std::vector<File> generate() {
  return {
      {"src/vm/kernels/special/generated/gamma_polys.inc", [] { return fit::polynomial_file("gamma and exponential integral", "zorp::vm::gammapoly", fit::gamma_fits(), fit::gamma_piecewise_fits()); }},
      {"src/vm/kernels/special/generated/erf_polys.inc", [] { return fit::polynomial_file("error function", "zorp::vm::erfpoly", fit::erf_fits(), fit::erf_piecewise_fits()); }},
      {"src/vm/kernels/power/generated/power_polys.inc", [] { return fit::polynomial_file("root and power", "zorp::vm::powpoly", fit::power_fits(), fit::power_piecewise_fits()); }},
      {"src/vm/kernels/special/generated/bessel_polys.inc", [] { return fit::polynomial_file("Bessel function", "zorp::vm::besselpoly", fit::bessel_fits(),
                            fit::bessel_piecewise_fits()); }},
      {"src/vm/kernels/special/generated/gamma_zeros.inc", [] { return fit::gamma_zero_tables(); }},
      {"src/vm/kernels/special/generated/erfc_polys.inc", [] { return fit::polynomial_file("complementary error function", "zorp::vm::erfcpoly", {}, fit::erfc_piecewise_fits()); }},
      {"src/vm/kernels/special/generated/bessel_j_tables.inc", [] { return fit::bessel_j_tables(); }},
      {"src/vm/kernels/special/generated/bessel_phase.inc", [] { return fit::bessel_phase_tables(); }},
      {"src/vm/kernels/special/generated/erfinv_table.inc", [] { return fit::erfinv_table(); }},
      {"src/vm/kernels/trig/generated/trig_polys.inc", [] { return fit::polynomial_file("sine and cosine", "zorp::vm::trigpoly", fit::trig_fits(), {}); }},
      {"src/dist/generated/poisson_normal.inc", [] { return fit::poisson_normal_table(); }},
      {"src/vm/kernels/log/generated/log_polys.inc", [] { return fit::polynomial_file("logarithm", "zorp::vm::logpoly", fit::log_fits(), fit::log_piecewise_fits()); }},
      {"src/vm/kernels/special/generated/bessel_y_tables.inc", [] { return fit::bessel_y_tables(); }},
      {"src/vm/kernels/hyper/generated/hyper_polys.inc", [] { return fit::polynomial_file("hyperbolic", "zorp::vm::hyperpoly", fit::hyper_fits(), {}); }},
      {"src/vm/kernels/special/generated/bessel_y_polys.inc", [] { return fit::polynomial_file("Bessel function of the second kind", "zorp::vm::besselypoly", fit::bessel_y_fits(), {}); }},
      {"src/vm/kernels/exp/generated/exp_polys.inc", [] { return fit::polynomial_file("exponential", "zorp::vm::exppoly", fit::exp_fits(), {}); }},
      {"src/vm/kernels/log/generated/log_tables.inc", [] { return fit::log_tables(); }},
      {"src/vm/kernels/exp/generated/exp_tables.inc", [] { return fit::exp_tables(); }},
  };
}

bool read(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

int usage() {
  std::fputs("usage: fit <source dir> | fit --check <source dir> [k/n] | fit --print\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--print") == 0) {
    for (const File& f : generate()) std::fputs(f.text().c_str(), stdout);
    return 0;
  }
  const bool check = (argc == 3 || argc == 4) && std::strcmp(argv[1], "--check") == 0;
  if (!check && (argc != 2 || argv[1][0] == '-')) return usage();
  const std::string root = argv[check ? 2 : 1];
  size_t part = 0, parts = 1;
  if (argc == 4 && (std::sscanf(argv[3], "%zu/%zu", &part, &parts) != 2 || parts == 0 || part >= parts)) return usage();
  int bad = 0;
  const std::vector<File> files = generate();
  for (size_t i = part; i < files.size(); i += parts) {
    const File& f = files[i];
    const std::string path = root + "/" + f.path;
    if (check) {
      std::string old;
      if (!read(path, old) || old != f.text()) {
        std::fprintf(stderr, "fit: %s does not match what the fits generate\n", f.path);
        ++bad;
      }
    } else {
      std::ofstream out(path, std::ios::binary);
      out << f.text();
      if (!out.flush()) {
        std::perror(path.c_str());
        ++bad;
      }
    }
  }
  if (check && !bad) std::printf("fit: all generated files regenerate byte for byte\n");
  return bad ? 1 : 0;
}
