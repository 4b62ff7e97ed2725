// Accuracy table of the exponential and logarithm kernels: every slot of every function
// against MPFR, on arguments spread evenly over the bit patterns of the whole range where the
// result is finite (plus uniform samples around 0 and 1 and the special set), through the
// entry names. Prints one Markdown row per kernel: max ulp, mean ulp, correct bits, and
// whether the slot's class bound holds (HA below 1 ulp, LA within 4, EP 11/26 bits).
//
//   explog_accuracy [samples per range, default 1000000]
#include <mpfr.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "common/accuracy.h"
#include "zorp/vm.h"
#include "zorp/vm_functions.h"

namespace {

using namespace zorp::test::accuracy;

template <typename T>
using Kernel = void (*)(int32_t, const T*, T*);

template <typename T>
struct Fn {
  const char* name;
  Kernel<T> slot[3];
  int (*ref)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
  T lo, hi;
  bool shared;  // one kernel fills all slots
};

int logb_ref(mpfr_ptr r, mpfr_srcptr a, mpfr_rnd_t) {
  if (mpfr_zero_p(a)) return mpfr_set_inf(r, -1), 0;
  if (!mpfr_number_p(a)) return mpfr_abs(r, a, MPFR_RNDN);
  return mpfr_set_si(r, mpfr_get_exp(a) - 1, MPFR_RNDN);
}

#define S3(F, ref, lo, hi, sh) Fn<float>{"vs" #F, {_fenns##F##_21, _fenns##F##_HA, _fenns##F##_11}, ref, lo, hi, sh}
#define D3(F, ref, lo, hi, sh) Fn<double>{"vd" #F, {_fennd##F##_50, _fennd##F##_HA, _fennd##F##_26}, ref, lo, hi, sh}

template <typename T>
void report(const Fn<T>& f, size_t n) {
  const Slot slots[3] = {Slot::LA, Slot::HA, Slot::EP};
  for (int s = 0; s < 3; ++s) {
    if (f.shared && s > 0) break;
    Case<T> c = unary<T>(f.name, slots[s], f.slot[s], f.ref);
    Stats<T> st = measure(c, sample_bits<T>(n, f.lo, f.hi, 101 + s));
    st.merge(measure(c, sample_uniform<T>(n / 4, T(-1), T(1), 202 + s)));
    st.merge(measure(c, sample_uniform<T>(n / 4, T(0.5), T(2), 303 + s)));
    st.merge(measure(c, special_set<T>()));
    const bool ok = slots[s] == Slot::HA || f.shared ? st.special_mismatches == 0 && st.max_ulp < 1.0
                                                     : st.meets(slots[s]);
    std::printf("| %s %s | %.3f | %.4f | %.1f | %s |\n", f.name, f.shared ? "all" : slot_name(slots[s]),
                st.max_ulp, st.mean_ulp(), st.correct_bits(), ok ? "yes" : "NO");
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  constexpr float fmax = std::numeric_limits<float>::max();
  constexpr double dmax = std::numeric_limits<double>::max();
  std::printf("| kernel | max ulp | mean ulp | correct bits | class bound met |\n|---|---|---|---|---|\n");
  const Fn<float> singles[] = {
      S3(Exp, mpfr_exp, -104.0f, 88.7f, false),   S3(Exp2, mpfr_exp2, -150.0f, 127.9f, true),
      S3(Exp10, mpfr_exp10, -45.2f, 38.5f, true), S3(Expm1, mpfr_expm1, -104.0f, 88.7f, false),
      S3(Ln, mpfr_log, 0.0f, fmax, false),        S3(Log2, mpfr_log2, 0.0f, fmax, false),
      S3(Log10, mpfr_log10, 0.0f, fmax, false),   S3(Log1p, mpfr_log1p, -0.99999994f, fmax, false),
      S3(Logb, logb_ref, -fmax, fmax, true)};
  const Fn<double> doubles[] = {
      D3(Exp, mpfr_exp, -745.1, 709.78, false),     D3(Exp2, mpfr_exp2, -1075.0, 1023.99, true),
      D3(Exp10, mpfr_exp10, -323.6, 308.25, true),  D3(Expm1, mpfr_expm1, -745.0, 709.78, false),
      D3(Ln, mpfr_log, 0.0, dmax, false),           D3(Log2, mpfr_log2, 0.0, dmax, false),
      D3(Log10, mpfr_log10, 0.0, dmax, false),      D3(Log1p, mpfr_log1p, -0.9999999999999999, dmax, false),
      D3(Logb, logb_ref, -dmax, dmax, true)};
  for (const auto& f : singles) report(f, n);
  for (const auto& f : doubles) report(f, n);
  return 0;
}
