// Every kernel of every built function against its contract (vm/dispatch/contracts.def): its
// results over the contract's range, uniform piece, extra sample, special values and edges
// against the reference, within the class of the slots the kernel fills (or correctly rounded),
// and every element's reported status as the contract's status rule says. tools/accuracy runs
// the same sweep on a larger sample.
#include <gtest/gtest.h>

#include <string>

#include "accuracy/rows.h"

namespace zorp::test {
namespace {

// Arguments spread over each range; the extra samples of the hard cases are larger, since a
// fault of a fraction of an ulp (a correction left out of a complex root) shows in one element
// of some ten thousand there. Under the sanitizers the sweep looks for what they report (every
// path of every kernel still runs, on fewer arguments); the plain build runs the whole sample.
#if defined(ZORP_SANITIZED_BUILD)
constexpr size_t kCount = 500, kExtra = 8000;
#else
constexpr size_t kCount = 2000, kExtra = 64000;
#endif

struct Kernel {
  const VmRow* row;
  int slot;
};

std::vector<Kernel> kernels() {
  std::vector<Kernel> v;
  for (const VmRow* r : built_rows())
    for (int s : r->owners()) v.push_back({r, s});
  return v;
}

class Accuracy : public testing::TestWithParam<Kernel> {};

TEST_P(Accuracy, MeetsItsContract) {
  const auto [row, slot] = GetParam();
  const accuracy::Class c = row->required(slot);
  if (row->dbl()) {
    const auto s = sweep<double>(*row, slot, kCount, kExtra, 7 + slot);
    EXPECT_TRUE(s.meets(c)) << s.describe(row->name(), c);
  } else {
    const auto s = sweep<float>(*row, slot, kCount, kExtra, 7 + slot);
    EXPECT_TRUE(s.meets(c)) << s.describe(row->name(), c);
  }
}

std::string kernel_name(const testing::TestParamInfo<Kernel>& info) {
  return info.param.row->name() + "_" + ("LA\0HA\0EP" + 3 * info.param.slot);
}
INSTANTIATE_TEST_SUITE_P(BuiltRows, Accuracy, testing::ValuesIn(kernels()), kernel_name);

// A function is built together with its contract; pack and unpack move bits and have none.
TEST(Contracts, EveryBuiltRowHasExactlyOne) {
  auto count = [](const std::string& name) {
    int n = 0;
    for (const VmRow& r : contract_rows()) n += r.name() == name;
    return n;
  };
#define VM_FN(t, F, shape, share, la, ha, ep, built)                                     \
  if (built && vm::catalogue::Shape::shape != Shape::PACK && vm::catalogue::Shape::shape != Shape::UNPACK) { \
    EXPECT_EQ(count("v" #t #F), 1) << "v" #t #F;                                        \
  }
#include "zorp/vm_catalogue.def"
#undef VM_FN
}

}  // namespace
}  // namespace zorp::test
