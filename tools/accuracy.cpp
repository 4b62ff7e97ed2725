// Accuracy report of the vector-math kernels against MPFR: max and mean ulp error and correct
// bits per kernel and slot, over a large sample of the whole range plus the special set; complex
// members per part, with parts drawn from the whole range (Div and Sqrt also at one scale, from
// the extremes, and Div on cancelling quotients).
//   accuracy [count]      (default 1,000,000 arguments per kernel)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vm/arith_cases.h"
#include "vm/complex_kernels.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

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

// Complex members, per part, over parts drawn from the whole range.
template <typename R, typename C>
int report_complex(size_t count, char t) {
  using namespace zorp::test::accuracy;
  const auto re1 = sample_whole_range<R>(count, 31), im1 = sample_whole_range<R>(count, 32);
  const auto re2 = sample_whole_range<R>(count, 33), im2 = sample_whole_range<R>(count, 34);
  std::vector<C> a(count), b(count), r(count);
  std::vector<R> m(count);
  for (size_t i = 0; i < count; ++i) a[i] = {re1[i], im1[i]}, b[i] = {re2[i], im2[i]};
  int failures = 0;
  auto table = [&](const char* fn, int slot) {
    const std::string sym = std::string("zorp_fenn_kernel_") + t + fn + "_ttab";
    auto* tab = static_cast<void* const*>(dlsym(zorp::test::kernel_library(), sym.c_str()));
    return tab ? tab[slot] : nullptr;
  };
  auto print = [&](const std::string& name, int slot, const Stats<R>& s, const Slot* bound = nullptr) {
    const bool ok = bound ? s.meets(*bound)
                          : s.meets(static_cast<Slot>(slot == 2 ? 1 : slot)) || (slot == 2 && s.meets(Slot::EP));
    failures += !ok;
    std::printf("%-14s %-3s %10.3f %10.4f %8.1f %10zu %6zu  %s\n", name.c_str(), slot_name(static_cast<Slot>(slot)),
                s.max_ulp, s.mean_ulp(), s.correct_bits(), s.count, s.special_mismatches, ok ? "ok" : "FAILS ITS CLASS");
  };
  Mp ar, ai, br, bi, t1, t2, exact;
  for (int slot = 0; slot < 3; ++slot) {
    for (bool conj : {false, true}) {
      void* k = table(conj ? "MulByConj" : "Mul", slot);
      if (!k) continue;
      reinterpret_cast<void (*)(int32_t, const C*, const C*, C*)>(k)(static_cast<int32_t>(count), a.data(), b.data(), r.data());
      Stats<R> s;
      for (size_t i = 0; i < count; ++i) {
        set_exact(ar, a[i].re), set_exact(ai, a[i].im), set_exact(br, b[i].re), set_exact(bi, conj ? -b[i].im : b[i].im);
        mpfr_mul(t1, ar, br, MPFR_RNDN), mpfr_mul(t2, ai, bi, MPFR_RNDN), mpfr_sub(exact, t1, t2, MPFR_RNDN);
        s.add(a[i].re, b[i].re, r[i].re, exact);
        mpfr_mul(t1, ar, bi, MPFR_RNDN), mpfr_mul(t2, ai, br, MPFR_RNDN), mpfr_add(exact, t1, t2, MPFR_RNDN);
        s.add(a[i].im, b[i].im, r[i].im, exact);
      }
      print(std::string("v") + t + (conj ? "MulByConj" : "Mul"), slot, s);
    }
    if (void* k = table("Abs", slot)) {
      reinterpret_cast<void (*)(int32_t, const C*, R*)>(k)(static_cast<int32_t>(count), a.data(), m.data());
      Stats<R> s;
      for (size_t i = 0; i < count; ++i) {
        set_exact(ar, a[i].re), set_exact(ai, a[i].im), mpfr_hypot(exact, ar, ai, MPFR_RNDN);
        s.add(a[i].re, a[i].im, m[i], exact);
      }
      print(std::string("v") + t + "Abs", slot, s);
    }
    // Div and Sqrt: parts over the whole range, at one scale and from the extremes; Div also
    // on quotients whose imaginary part cancels. Bounds: Div LA, LA (shared), EP; Sqrt LA, HA,
    // LA (shared).
    using zorp::test::components_at_one_scale;
    using zorp::test::components_from_extremes;
    const Slot div_bound[3] = {Slot::LA, Slot::LA, Slot::EP}, sqrt_bound[3] = {Slot::LA, Slot::HA, Slot::LA};
    // One row per part ("vzDiv.re", "vzDiv.im").
    auto print_parts = [&](const std::string& name, const Stats<R>* parts, const Slot& bound) {
      print(name + ".re", slot, parts[0], &bound);
      print(name + ".im", slot, parts[1], &bound);
    };
    if (zorp::test::slot_of<R>("Div", false, slot)) {
      Stats<R> parts[2];
      zorp::test::measure_div<R>(slot, a, b, parts);
      zorp::test::measure_div<R>(slot, components_at_one_scale<R>(count, 35), components_at_one_scale<R>(count, 36), parts);
      zorp::test::measure_div<R>(slot, components_from_extremes<R>(count, 37), components_from_extremes<R>(count, 38), parts);
      const auto d = components_at_one_scale<R>(count, 39);
      zorp::test::measure_div<R>(slot, zorp::test::dividends_that_cancel<R>(d, 40), d, parts);
      print_parts(std::string("v") + t + "Div", parts, div_bound[slot]);
    }
    if (zorp::test::slot_of<R>("Sqrt", false, slot)) {
      Stats<R> parts[2];
      zorp::test::measure_sqrt<R>(slot, a, parts);
      zorp::test::measure_sqrt<R>(slot, components_at_one_scale<R>(count, 41), parts);
      zorp::test::measure_sqrt<R>(slot, components_from_extremes<R>(count, 42), parts);
      print_parts(std::string("v") + t + "Sqrt", parts, sqrt_bound[slot]);
    }
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t count = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  _fennSetMode(0x2000);
  std::printf("%-14s %-3s %10s %10s %8s %10s %6s\n", "kernel", "", "max ulp", "mean ulp", "bits",
              "elements", "bound");
  const int failures = report<float>(count) + report<double>(count) +
                       report_complex<float, ZorpComplex8>(count, 'c') +
                       report_complex<double, ZorpComplex16>(count, 'z');
  return failures ? 1 : 0;
}
