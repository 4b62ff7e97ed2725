// Accuracy table of every kernel of every built vector-math function: the sweep of the accuracy
// test (tools/accuracy/rows.h) on a large sample, one Markdown row per kernel with the slots it
// fills, the class it must meet, max and mean ulp, correct bits, whether every result was
// correctly rounded, and whether the contract holds (class, special values and statuses).
//   accuracy [count] [name]   count arguments spread over each range (default 1,000,000), half
//                             as many uniform, as many of the extra sample; name picks the
//                             rows whose name contains it ("vdLn")
//   accuracy count name lo hi  the same over [lo, hi] only (both the spread over the bit
//                             patterns and the uniform piece), for the accuracy on one range
//   accuracy count name lo hi order  a row of an integer order (Jn) at that order alone
//   accuracy --exhaustive [name [slot]]  every single-precision one-argument real kernel (or
//                             those whose name contains `name`; `vsSin$` names vsSin alone, and
//                             a slot LA, HA or EP keeps to it) on all 2^32 arguments, against the
//                             double-precision HA kernel of the same function (itself held below
//                             one double ulp by the sweep above): minutes per kernel, not in CI
//   accuracy --exhaustive-list [name [slot]]  the kernels that would run, one "name slots" a line
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "accuracy/rows.h"

namespace {

using namespace zorp::test;

// The slots a kernel fills, as "LA+HA".
std::string slot_names(const VmRow& row, int slot) {
  std::string slots;
  for (int k = 0; k < 3; ++k)
    if (row.cat.owner(k) == slot) slots += std::string(slots.empty() ? "" : "+") + (k == 0 ? "LA" : k == 1 ? "HA" : "EP");
  return slots;
}

template <typename R>
bool report(const VmRow& row, int slot, size_t count) {
  const accuracy::Class c = row.required(slot);
  const auto s = sweep<R>(row, slot, count, count, 2026 + slot);
  const std::string slots = slot_names(row, slot);
  const bool ok = s.meets(c);
  std::printf("| %s | %s | %s | %.3f | %.4f | %.1f | %s | %s |\n", row.name().c_str(), slots.c_str(),
              accuracy::class_name(c), s.max_ulp, s.mean_ulp(), s.correct_bits(), s.rounding_mismatches ? "no" : "yes",
              ok ? "yes" : "NO");
  if (!ok) std::fprintf(stderr, "%s\n", s.describe(row.name(), c).c_str());
  std::fflush(stdout);
  return ok;
}

// ---- exhaustive single precision ----------------------------------------------------------

// One float result against the double reference of its argument: the error in ulps of the float
// grid at the reference (subnormal spacing below the least normal, the largest float's spacing
// beyond it), and whether it is the reference rounded.
struct Tally {
  double max_ulp = 0, sum_ulp = 0, worst_arg = 0;
  uint64_t finite = 0, rounded = 0, special_mismatches = 0;
  float first_mismatch = 0;
  void add(float x, float r, double ref) {
    const float rounded_ref = static_cast<float>(ref);
    const bool nan_ref = std::isnan(ref), nan_r = std::isnan(r);
    if (nan_ref || nan_r || std::isinf(rounded_ref) || std::isinf(r)) {
      // NaN for NaN, and an infinity exactly where the reference rounds to one.
      if (nan_ref != nan_r || (!nan_ref && r != rounded_ref)) {
        if (!special_mismatches++) first_mismatch = x;
      }
      return;
    }
    const double a = std::min(std::fabs(ref), double(std::numeric_limits<float>::max()));
    const int e = a == 0 ? -149 : std::max(std::ilogb(a), -126) - 23;
    const double ulps = std::fabs(double(r) - ref) / std::ldexp(1.0, e);
    ++finite;
    rounded += r == rounded_ref;
    sum_ulp += ulps;
    if (ulps > max_ulp) max_ulp = ulps, worst_arg = x;
  }
  void merge(const Tally& o) {
    if (o.max_ulp > max_ulp) max_ulp = o.max_ulp, worst_arg = o.worst_arg;
    sum_ulp += o.sum_ulp, finite += o.finite, rounded += o.rounded;
    if (o.special_mismatches && !special_mismatches) first_mismatch = o.first_mismatch;
    special_mismatches += o.special_mismatches;
  }
};

// All 2^32 arguments of one float kernel in blocks, two threads taking blocks in turn.
Tally exhaust(const VmRow& row, const VmRow& ref, int slot) {
  constexpr uint64_t kBlock = 1 << 16, kBlocks = (uint64_t{1} << 32) / kBlock;
  std::atomic<uint64_t> next{0};
  std::vector<Tally> part(std::max(1u, std::thread::hardware_concurrency()));
  auto work = [&](Tally& t) {
    _fennSetMode(ZORP_VM_HA | ZORP_VM_ERRMODE_IGNORE);  // callouts run, nothing is reported
    std::vector<float> x(kBlock), r1(kBlock), r2(kBlock);
    std::vector<double> xd(kBlock), e1(kBlock), e2(kBlock);
    for (uint64_t b; (b = next++) < kBlocks;) {
      for (uint64_t i = 0; i < kBlock; ++i) {
        const uint32_t bits = static_cast<uint32_t>(b * kBlock + i);
        std::memcpy(&x[i], &bits, 4);
        xd[i] = x[i];
      }
      call<float>(row, slot, false, kBlock, x.data(), x.data(), r1.data(), r2.data());
      call<double>(ref, 1, false, kBlock, xd.data(), xd.data(), e1.data(), e2.data());
      for (uint64_t i = 0; i < kBlock; ++i) {
        t.add(x[i], r1[i], e1[i]);
        if (row.results() == 2) t.add(x[i], r2[i], e2[i]);
      }
    }
  };
  std::vector<std::thread> threads;
  for (Tally& t : part) threads.emplace_back(work, std::ref(t));
  for (std::thread& th : threads) th.join();
  Tally all;
  for (const Tally& t : part) all.merge(t);
  return all;
}

// The kernels the exhaustive mode covers (single-precision, one real argument, no integer order)
// whose name matches `filter` ("vsSin$" exactly), each with the slot it fills, optionally one.
std::vector<std::pair<const VmRow*, int>> exhaustive_kernels(std::string filter, const std::string& only_slot) {
  const bool exact = !filter.empty() && filter.back() == '$';
  if (exact) filter.pop_back();
  std::vector<std::pair<const VmRow*, int>> kernels;
  for (const VmRow* row : built_rows()) {
    if (row->cat.type != 's' || (row->shape() != Shape::A1R1 && row->shape() != Shape::A1R2)) continue;
    if ((exact ? row->name() != filter : row->name().find(filter) == std::string::npos) || !row->orders.empty()) continue;
    for (int slot : row->owners())
      if (only_slot.empty() || slot_names(*row, slot).find(only_slot) != std::string::npos) kernels.emplace_back(row, slot);
  }
  return kernels;
}

int exhaustive(const std::string& filter, const std::string& only_slot) {
  std::printf("| kernel | slots | class | max ulp | at | mean ulp | correctly rounded | special mismatches | class met |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  int failures = 0;
  for (const auto& [row, slot] : exhaustive_kernels(filter, only_slot)) {
    const VmRow& ref = row_named("vd" + row->name().substr(2));  // every single row has its double
    const Tally t = exhaust(*row, ref, slot);
    const accuracy::Class c = row->required(slot);
    const std::string slots = slot_names(*row, slot);
    // HA below one ulp, LA within four, EP 11 correct bits (an error below 2^13 ulps); correctly
    // rounded rows exactly.
    const double bound = c == accuracy::Class::CR ? 0.5 : c == accuracy::Class::HA ? 1 : c == accuracy::Class::LA ? 4 : 0x1p13;
    const bool ok = t.special_mismatches == 0 && (c == accuracy::Class::CR ? t.rounded == t.finite : t.max_ulp < bound + (c == accuracy::Class::LA ? 1e-9 : 0));
    failures += !ok;
    std::printf("| %s | %s | %s | %.3f | %a | %.4f | %.4f%% | %llu%s | %s |\n", row->name().c_str(), slots.c_str(),
                accuracy::class_name(c), t.max_ulp, t.worst_arg, t.finite ? t.sum_ulp / t.finite : 0,
                t.finite ? 100.0 * t.rounded / t.finite : 0, static_cast<unsigned long long>(t.special_mismatches),
                t.special_mismatches ? (" (first at " + std::to_string(t.first_mismatch) + ")").c_str() : "",
                ok ? "yes" : "NO");
    std::fflush(stdout);
  }
  return failures ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && !std::strcmp(argv[1], "--exhaustive-list")) {
    for (const auto& [row, slot] : exhaustive_kernels(argc > 2 ? argv[2] : "", argc > 3 ? argv[3] : ""))
      std::printf("%s %s\n", row->name().c_str(), slot_names(*row, slot).c_str());
    return 0;
  }
  if (argc > 1 && !std::strcmp(argv[1], "--exhaustive")) return exhaustive(argc > 2 ? argv[2] : "", argc > 3 ? argv[3] : "");
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
