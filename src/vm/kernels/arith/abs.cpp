// Abs: |a| for single and double precision. Exact, so the accuracy variants need no
// distinct code: single precision has one kernel for all slots; double precision keeps the
// catalogue's two (LA/HA and EP), which here share one template.
//
// The absolute value is a bit operation that raises no floating-point exception, so the only
// control-state concern is the thread's denormal mode: with flushing on, a denormal input is
// treated as zero and its result is +0.
#include <immintrin.h>

#include <cstdint>
#include <limits>

#include "vm/dispatch/ttab.h"
#include "vm/state/thread_state.h"

namespace {

bool flushing_denormals() {
  return (zorp::vm::current_mode() & ZORP_VM_DENORMAL_MASK) == ZORP_VM_FTZDAZ_ON;
}

// fpclass category 0x20: denormal.
inline __m512 abs16(__m512 x, bool flush) {
  __m512 r = _mm512_abs_ps(x);
  if (flush) r = _mm512_maskz_mov_ps(~_mm512_fpclass_ps_mask(x, 0x20), r);
  return r;
}
inline __m512d abs8(__m512d x, bool flush) {
  __m512d r = _mm512_abs_pd(x);
  if (flush) r = _mm512_maskz_mov_pd(~_mm512_fpclass_pd_mask(x, 0x20), r);
  return r;
}

void abs_contiguous(uint32_t n, const float* a, float* r) {
  if (n == 0) return;
  const bool flush = flushing_denormals();
  uint32_t i = 0;
  for (; i + 16 <= n; i += 16) _mm512_storeu_ps(r + i, abs16(_mm512_loadu_ps(a + i), flush));
  if (i < n) {
    const __mmask16 m = static_cast<__mmask16>((1u << (n - i)) - 1u);
    _mm512_mask_storeu_ps(r + i, m, abs16(_mm512_maskz_loadu_ps(m, a + i), flush));
  }
}

void abs_contiguous(uint32_t n, const double* a, double* r) {
  if (n == 0) return;
  const bool flush = flushing_denormals();
  uint32_t i = 0;
  for (; i + 8 <= n; i += 8) _mm512_storeu_pd(r + i, abs8(_mm512_loadu_pd(a + i), flush));
  if (i < n) {
    const __mmask8 m = static_cast<__mmask8>((1u << (n - i)) - 1u);
    _mm512_mask_storeu_pd(r + i, m, abs8(_mm512_maskz_loadu_pd(m, a + i), flush));
  }
}

template <typename T>
void abs_strided(uint32_t n, const T* a, int32_t inca, T* r, int32_t incr) {
  if (n == 0) return;
  const bool flush = flushing_denormals();
  for (uint32_t i = 0; i < n; ++i) {
    T x = a[static_cast<int64_t>(i) * inca];
    T y = __builtin_fabs(x);  // clears the sign bit only, NaN payloads included
    if (flush && y != 0 && y < std::numeric_limits<T>::min()) y = 0;
    r[static_cast<int64_t>(i) * incr] = y;
  }
}

template <typename T>
using Contiguous = void (*)(int32_t, const T*, T*);

}  // namespace

VM_DECLARE_TTAB(sAbs)
VM_DECLARE_TTAB(dAbs)

extern "C" {

void zorp_vmk_sAbs_la(int32_t n, const float* a, float* r) { abs_contiguous(n, a, r); }
void zorp_vmk_dAbs_la(int32_t n, const double* a, double* r) { abs_contiguous(n, a, r); }
void zorp_vmk_dAbs_ep(int32_t n, const double* a, double* r) { abs_contiguous(n, a, r); }

void zorp_vmk_sAbsI_la(int32_t n, const float* a, int32_t inca, float* r, int32_t incr) {
  if (inca == 1 && incr == 1)
    return reinterpret_cast<Contiguous<float>>(VM_TTAB(sAbs)[kSlotLA])(n, a, r);
  abs_strided<float>(n, a, inca, r, incr);
}
void zorp_vmk_dAbsI_la(int32_t n, const double* a, int32_t inca, double* r, int32_t incr) {
  if (inca == 1 && incr == 1)
    return reinterpret_cast<Contiguous<double>>(VM_TTAB(dAbs)[kSlotHA])(n, a, r);
  abs_strided<double>(n, a, inca, r, incr);
}
void zorp_vmk_dAbsI_ep(int32_t n, const double* a, int32_t inca, double* r, int32_t incr) {
  if (inca == 1 && incr == 1)
    return reinterpret_cast<Contiguous<double>>(VM_TTAB(dAbs)[kSlotEP])(n, a, r);
  abs_strided<double>(n, a, inca, r, incr);
}
}
