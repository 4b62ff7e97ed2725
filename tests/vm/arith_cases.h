// Accuracy cases of the real arithmetic kernels, shared by the accuracy test and tools/accuracy:
// every member with a rounded result, in both types and all three slots, with its MPFR
// reference. (The other members are exact by construction and are checked bit for bit.)
#pragma once
#include <string>
#include <vector>

#include "common/accuracy.h"
#include "vm/arith_kernels.h"

namespace zorp::test {

template <typename T>
std::vector<accuracy::Case<T>> arith_accuracy_cases() {
  using namespace accuracy;
  std::vector<Case<T>> cases;
  const std::string prefix = std::string("v") + type_letter<T>();
  auto member = [](const char* name) {
    for (const auto& m : real_members())
      if (std::string(m.name) == name) return m;
    return Member{};
  };
  for (Slot slot : {Slot::LA, Slot::HA, Slot::EP}) {
    const int k = static_cast<int>(slot);
    using F2 = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_srcptr, mpfr_rnd_t);
    using F1 = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    const std::pair<const char*, F2> binaries[] = {{"Add", mpfr_add}, {"Sub", mpfr_sub}, {"Mul", mpfr_mul}, {"Div", mpfr_div}};
    const std::pair<const char*, F1> unaries[] = {{"Sqrt", mpfr_sqrt}, {"Sqr", mpfr_sqr}};
    for (auto [name, ref2] : binaries) {
      const Member m = member(name);
      cases.push_back(binary<T>(prefix + name, slot, [m, k](int32_t n, const T* a, const T* b, T* r) {
        call<T>(m, k, false, n, a, b, r, nullptr);
      }, ref2));
    }
    for (auto [name, ref1] : unaries) {
      const Member m = member(name);
      cases.push_back(unary<T>(prefix + name, slot, [m, k](int32_t n, const T* a, T* r) {
        call<T>(m, k, false, n, a, nullptr, r, nullptr);
      }, ref1));
    }
    const Member inv = member("Inv");
    cases.push_back(unary<T>(prefix + "Inv", slot, [inv, k](int32_t n, const T* a, T* r) {
      call<T>(inv, k, false, n, a, nullptr, r, nullptr);
    }, Reference1([](mpfr_ptr out, mpfr_srcptr a) { mpfr_ui_div(out, 1, a, MPFR_RNDN); })));
  }
  return cases;
}

// The sample of one case: values over the whole range (both arguments independently), then
// every pair of the special set.
template <typename T>
accuracy::Stats<T> measure_arith_case(const accuracy::Case<T>& c, size_t count, uint64_t seed) {
  using namespace accuracy;
  const auto a = sample_whole_range<T>(count, seed), b = sample_whole_range<T>(count, seed + 1);
  Stats<T> s = measure(c, a, b);
  // Near-equal magnitudes: quotients near 1 and cancelling sums.
  const auto u = sample_uniform<T>(count / 4, T(0.5), T(2), seed + 2), v = sample_uniform<T>(count / 4, T(0.5), T(2), seed + 3);
  s.merge(measure(c, u, v));
  std::vector<T> pa, pb;
  all_pairs(special_set<T>(), pa, pb);
  s.merge(measure(c, pa, pb));
  return s;
}

}  // namespace zorp::test
