// The trigonometric family against SLEEF (AVX-512 u10, u35, or u05 where that is all it has) and
// glibc libmvec (AVX-512 variants), all in one run. Sine, cosine, sine-cosine and tangent at
// [-10, 10] and at [-1e6, 1e6] (the second exercises the reductions' longer paths); the inverse and
// pi-scaled functions over their usual ranges.
//
//   bench_vm_trig --benchmark_min_time=0.1
#include "vm_bench.h"

extern "C" {
const __m512 _ZGVeN16v_sinf(__m512);
const __m512 _ZGVeN16v_cosf(__m512);
const __m512 _ZGVeN16v_tanf(__m512);
const __m512 _ZGVeN16v_asinf(__m512);
const __m512 _ZGVeN16v_acosf(__m512);
const __m512 _ZGVeN16v_atanf(__m512);
const __m512 _ZGVeN16vv_atan2f(__m512, __m512);
void _ZGVeN16vvv_sincosf(__m512, __m512i, __m512i, __m512i, __m512i);
const __m512d _ZGVeN8v_sin(__m512d);
const __m512d _ZGVeN8v_cos(__m512d);
const __m512d _ZGVeN8v_tan(__m512d);
const __m512d _ZGVeN8v_asin(__m512d);
const __m512d _ZGVeN8v_acos(__m512d);
const __m512d _ZGVeN8v_atan(__m512d);
const __m512d _ZGVeN8vv_atan2(__m512d, __m512d);
void _ZGVeN8vvv_sincos(__m512d, __m512i, __m512i);
}

namespace {

using vmbench::add;
using vmbench::peer;
using vmbench::Range;

// libmvec's sincos takes a vector of result addresses per output, one per lane.
__m512i addresses(const void* base, size_t stride) {
  const __m512i i = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  return _mm512_add_epi64(_mm512_set1_epi64(reinterpret_cast<int64_t>(base)),
                          _mm512_mullo_epi64(i, _mm512_set1_epi64(static_cast<int64_t>(stride))));
}
vmbench::Kernel<float> mvec_sincosf() {
  return [](int32_t n, const float* a, const float*, float* s, float* c) {
    for (int32_t i = 0; i < n; i += 16)
      _ZGVeN16vvv_sincosf(_mm512_loadu_ps(a + i), addresses(s + i, 4), addresses(s + i + 8, 4), addresses(c + i, 4),
                          addresses(c + i + 8, 4));
  };
}
vmbench::Kernel<double> mvec_sincos() {
  return [](int32_t n, const double* a, const double*, double* s, double* c) {
    for (int32_t i = 0; i < n; i += 8) _ZGVeN8vvv_sincos(_mm512_loadu_pd(a + i), addresses(s + i, 8), addresses(c + i, 8));
  };
}

#define SLEEF(t, F, name, u, rg)                                                                                \
  add<VMBENCH_T_##t>(#t #F, "sleef_" #u,                                                                       \
                     peer(ZORP_VM_CAT3(Sleef_##name, VMBENCH_SLEEF_##t, _##u##avx512f)), rg);
#define VMBENCH_SLEEF_s f16
#define VMBENCH_SLEEF_d d8
#define MVEC_s(F, name, rg) add<float>("s" #F, "libmvec", peer(_ZGVeN16v_##name##f), rg);
#define MVEC_d(F, name, rg) add<double>("d" #F, "libmvec", peer(_ZGVeN8v_##name), rg);

// One type's rows; `t` is s or d.
#define TRIG_ROWS(t)                                                                                            \
  for (const Range rg : {near, far}) {                                                                          \
    VMBENCH_OURS(one, t, Sin, rg) SLEEF(t, Sin, sin, u10, rg) SLEEF(t, Sin, sin, u35, rg) MVEC_##t(Sin, sin, rg) \
    VMBENCH_OURS(one, t, Cos, rg) SLEEF(t, Cos, cos, u10, rg) SLEEF(t, Cos, cos, u35, rg) MVEC_##t(Cos, cos, rg) \
    VMBENCH_OURS(one, t, Tan, rg) SLEEF(t, Tan, tan, u10, rg) SLEEF(t, Tan, tan, u35, rg) MVEC_##t(Tan, tan, rg) \
    VMBENCH_OURS(two_out, t, SinCos, rg)                                                                        \
    add<VMBENCH_T_##t>(#t "SinCos", "sleef_u10",                                                                \
                       vmbench::peer_pair(ZORP_VM_CAT3(Sleef_sincos, VMBENCH_SLEEF_##t, _u10avx512f)), rg);     \
    add<VMBENCH_T_##t>(#t "SinCos", "sleef_u35",                                                                \
                       vmbench::peer_pair(ZORP_VM_CAT3(Sleef_sincos, VMBENCH_SLEEF_##t, _u35avx512f)), rg);     \
    add<VMBENCH_T_##t>(#t "SinCos", "libmvec", mvec_sincos_##t(), rg);                                          \
  }                                                                                                             \
  VMBENCH_OURS(one, t, Asin, unit) SLEEF(t, Asin, asin, u10, unit) SLEEF(t, Asin, asin, u35, unit)              \
  MVEC_##t(Asin, asin, unit)                                                                                    \
  VMBENCH_OURS(one, t, Acos, unit) SLEEF(t, Acos, acos, u10, unit) SLEEF(t, Acos, acos, u35, unit)              \
  MVEC_##t(Acos, acos, unit)                                                                                    \
  VMBENCH_OURS(one, t, Atan, near) SLEEF(t, Atan, atan, u10, near) SLEEF(t, Atan, atan, u35, near)              \
  MVEC_##t(Atan, atan, near)                                                                                    \
  VMBENCH_OURS(two, t, Atan2, plane) SLEEF(t, Atan2, atan2, u10, plane) SLEEF(t, Atan2, atan2, u35, plane)      \
  add<VMBENCH_T_##t>(#t "Atan2", "libmvec", peer(ZORP_VM_CAT3(_ZGVeN, VMBENCH_MVEC2_##t, )), plane);           \
  VMBENCH_OURS(one, t, Sinpi, near) SLEEF(t, Sinpi, sinpi, u05, near)                                           \
  VMBENCH_OURS(one, t, Cospi, near) SLEEF(t, Cospi, cospi, u05, near)                                           \
  VMBENCH_OURS(two_out, t, SinCospi, near)                                                                      \
  add<VMBENCH_T_##t>(#t "SinCospi", "sleef_u05",                                                                \
                     vmbench::peer_pair(ZORP_VM_CAT3(Sleef_sincospi, VMBENCH_SLEEF_##t, _u05avx512f)), near);   \
  VMBENCH_OURS(one, t, Tanpi, near)                                                                             \
  VMBENCH_OURS(one, t, Sind, degrees)                                                                           \
  VMBENCH_OURS(one, t, Tand, degrees)                                                                           \
  VMBENCH_OURS(two, t, Atan2pi, plane)
#define VMBENCH_MVEC2_s 16vv_atan2f
#define VMBENCH_MVEC2_d 8vv_atan2
#define mvec_sincos_s mvec_sincosf
#define mvec_sincos_d mvec_sincos

void register_all() {
  const Range near = vmbench::uniform(-10, 10), far = vmbench::uniform(-1e6, 1e6, "(1e6)"), unit = vmbench::uniform(-1, 1);
  const Range degrees = vmbench::uniform(-720, 720);
  const Range plane{{-10, 10, false}, {-10, 10, false}, ""};
  TRIG_ROWS(s)
  TRIG_ROWS(d)
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
