// Accuracy table of every kernel of every built vector-math function: the sweep of the accuracy
// test (tests/common/vm_rows.h) on a large sample, one Markdown row per kernel with the slots it
// fills, the class it must meet, max and mean ulp, correct bits, whether every result was
// correctly rounded, and whether the contract holds (class, special values and statuses).
//   accuracy [count] [name]   count arguments spread over each range (default 1,000,000), half
//                             as many uniform, as many of the extra sample; name picks the
//                             rows whose name contains it ("vdLn")
//   accuracy count name lo hi  the same over [lo, hi] only (both the spread over the bit
//                             patterns and the uniform piece), for the accuracy on one range
//   accuracy count name lo hi order  a row of an integer order (Jn) at that order alone
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/vm_rows.h"

namespace {

using namespace zorp::test;

template <typename R>
bool report(const VmRow& row, int slot, size_t count) {
  const accuracy::Class c = row.required(slot);
  const auto s = sweep<R>(row, slot, count, count, 2026 + slot);
  std::string slots;
  for (int k = 0; k < 3; ++k)
    if (row.cat.owner(k) == slot) slots += std::string(slots.empty() ? "" : "+") + (k == 0 ? "LA" : k == 1 ? "HA" : "EP");
  const bool ok = s.meets(c);
  std::printf("| %s | %s | %s | %.3f | %.4f | %.1f | %s | %s |\n", row.name().c_str(), slots.c_str(),
              accuracy::class_name(c), s.max_ulp, s.mean_ulp(), s.correct_bits(), s.rounding_mismatches ? "no" : "yes",
              ok ? "yes" : "NO");
  if (!ok) std::fprintf(stderr, "%s\n", s.describe(row.name(), c).c_str());
  std::fflush(stdout);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const std::string filter = argc > 2 ? argv[2] : "";
  const bool ranged = argc > 4;
  const double lo = ranged ? std::strtod(argv[3], nullptr) : 0, hi = ranged ? std::strtod(argv[4], nullptr) : 0;
  std::printf("| kernel | slots | class | max ulp | mean ulp | correct bits | correctly rounded | contract met |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  int failures = 0;
  for (const VmRow* row : built_rows()) {
    if (row->name().find(filter) == std::string::npos) continue;
    VmRow r = *row;
    if (ranged) r.lo = r.ulo = lo, r.hi = r.uhi = hi;
    if (argc > 5 && !r.orders.empty()) r.orders = {std::strtod(argv[5], nullptr)};
    for (int slot : r.owners()) failures += !(r.dbl() ? report<double>(r, slot, count) : report<float>(r, slot, count));
  }
  return failures ? 1 : 0;
}
