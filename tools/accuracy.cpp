// Accuracy report of the vector-math kernels against MPFR: max and mean ulp error and correct
// bits per kernel and slot, over a large sample of the whole range plus the special set.
//   accuracy [count]      (default 1,000,000 arguments per kernel)
#include <cstdio>
#include <cstdlib>

#include "vm/arith_cases.h"
#include "zorp/vm.h"

namespace {

template <typename T>
int report(size_t count) {
  int failures = 0;
  for (const auto& c : zorp::test::arith_accuracy_cases<T>()) {
    const auto s = zorp::test::measure_arith_case(c, count, 2026);
    const bool ok = s.meets(c.slot);
    failures += !ok;
    std::printf("%-14s %-3s %10.3f %10.4f %8.1f %10zu %6zu  %s\n", c.name.c_str(),
                zorp::test::accuracy::slot_name(c.slot), s.max_ulp, s.mean_ulp(), s.correct_bits(),
                s.count, s.special_mismatches, ok ? "ok" : "FAILS ITS CLASS");
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  _fennSetMode(0x2000);
  std::printf("%-14s %-3s %10s %10s %8s %10s %6s\n", "kernel", "", "max ulp", "mean ulp", "bits",
              "elements", "spec!");
  const int failures = report<float>(count) + report<double>(count);
  return failures ? 1 : 0;
}
