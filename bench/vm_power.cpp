// Roots and powers against SLEEF (AVX-512 u10, u35 or u05 where they exist) and glibc libmvec
// (AVX-512 pow, cbrt, hypot), all in one run. Powx runs with a fast exponent (3, products or the
// general path as the slot has it) and a general one (2.5), its peers with that exponent in every
// lane.
//
//   bench_vm_power --benchmark_min_time=0.1
#include "vm_bench.h"

extern "C" {
const __m512 _ZGVeN16v_cbrtf(__m512);
const __m512 _ZGVeN16vv_powf(__m512, __m512);
const __m512 _ZGVeN16vv_hypotf(__m512, __m512);
const __m512d _ZGVeN8v_cbrt(__m512d);
const __m512d _ZGVeN8vv_pow(__m512d, __m512d);
const __m512d _ZGVeN8vv_hypot(__m512d, __m512d);
}

namespace {

using vmbench::add;
using vmbench::Range;

void register_all() {
  // a log-spaced, b uniform
  const auto range = [](double alo, double ahi, double blo, double bhi) {
    return Range{{alo, ahi, true}, {blo, bhi, false}, ""};
  };
  const Range roots_s = range(1e-30, 1e30, 0, 0), roots_d = range(1e-300, 1e300, 0, 0);
  const Range p32_s = range(1e-20, 1e20, 0, 0), p32_d = range(1e-200, 1e200, 0, 0);
  const Range pow_r = range(1e-3, 1e3, -10, 10), hyp_s = range(1e-15, 1e15, -1e15, 1e15);
  const Range hyp_d = range(1e-150, 1e150, -1e150, 1e150);
  VMBENCH_OURS(one, s, InvSqrt, roots_s)
  VMBENCH_OURS(one, d, InvSqrt, roots_d)
  VMBENCH_OURS(one, s, Cbrt, roots_s)
  add<float>("sCbrt", "sleef_u10", vmbench::peer(Sleef_cbrtf16_u10avx512f), roots_s);
  add<float>("sCbrt", "sleef_u35", vmbench::peer(Sleef_cbrtf16_u35avx512f), roots_s);
  add<float>("sCbrt", "libmvec", vmbench::peer(_ZGVeN16v_cbrtf), roots_s);
  VMBENCH_OURS(one, d, Cbrt, roots_d)
  add<double>("dCbrt", "sleef_u10", vmbench::peer(Sleef_cbrtd8_u10avx512f), roots_d);
  add<double>("dCbrt", "sleef_u35", vmbench::peer(Sleef_cbrtd8_u35avx512f), roots_d);
  add<double>("dCbrt", "libmvec", vmbench::peer(_ZGVeN8v_cbrt), roots_d);
  VMBENCH_OURS(one, s, InvCbrt, roots_s)
  VMBENCH_OURS(one, d, InvCbrt, roots_d)
  VMBENCH_OURS(one, s, Pow2o3, roots_s)
  VMBENCH_OURS(one, d, Pow2o3, roots_d)
  VMBENCH_OURS(one, s, Pow3o2, p32_s)
  VMBENCH_OURS(one, d, Pow3o2, p32_d)
  VMBENCH_OURS(two, s, Hypot, hyp_s)
  add<float>("sHypot", "sleef_u05", vmbench::peer(Sleef_hypotf16_u05avx512f), hyp_s);
  add<float>("sHypot", "sleef_u35", vmbench::peer(Sleef_hypotf16_u35avx512f), hyp_s);
  add<float>("sHypot", "libmvec", vmbench::peer(_ZGVeN16vv_hypotf), hyp_s);
  VMBENCH_OURS(two, d, Hypot, hyp_d)
  add<double>("dHypot", "sleef_u05", vmbench::peer(Sleef_hypotd8_u05avx512f), hyp_d);
  add<double>("dHypot", "sleef_u35", vmbench::peer(Sleef_hypotd8_u35avx512f), hyp_d);
  add<double>("dHypot", "libmvec", vmbench::peer(_ZGVeN8vv_hypot), hyp_d);
  VMBENCH_OURS(two, s, Pow, pow_r)
  add<float>("sPow", "sleef_u10", vmbench::peer(Sleef_powf16_u10avx512f), pow_r);
  add<float>("sPow", "libmvec", vmbench::peer(_ZGVeN16vv_powf), pow_r);
  VMBENCH_OURS(two, d, Pow, pow_r)
  add<double>("dPow", "sleef_u10", vmbench::peer(Sleef_powd8_u10avx512f), pow_r);
  add<double>("dPow", "libmvec", vmbench::peer(_ZGVeN8vv_pow), pow_r);
  VMBENCH_OURS(two, s, Powr, pow_r)
  VMBENCH_OURS(two, d, Powr, pow_r)
  for (double e : {3.0, 2.5}) {
    const char* s = e == 3.0 ? "sPowx(3)" : "sPowx(2.5)";
    const char* d = e == 3.0 ? "dPowx(3)" : "dPowx(2.5)";
    add<float>(s, "zorp_LA", vmbench::scalar<float>(_fennsPowx_21, float(e)), pow_r);
    add<float>(s, "zorp_HA", vmbench::scalar<float>(_fennsPowx_HA, float(e)), pow_r);
    add<float>(s, "zorp_EP", vmbench::scalar<float>(_fennsPowx_11, float(e)), pow_r);
    add<float>(s, "sleef_u10", vmbench::peer_x(Sleef_powf16_u10avx512f, float(e)), pow_r);
    add<float>(s, "libmvec", vmbench::peer_x(_ZGVeN16vv_powf, float(e)), pow_r);
    add<double>(d, "zorp_LA", vmbench::scalar<double>(_fenndPowx_50, e), pow_r);
    add<double>(d, "zorp_HA", vmbench::scalar<double>(_fenndPowx_HA, e), pow_r);
    add<double>(d, "zorp_EP", vmbench::scalar<double>(_fenndPowx_26, e), pow_r);
    add<double>(d, "sleef_u10", vmbench::peer_x(Sleef_powd8_u10avx512f, e), pow_r);
    add<double>(d, "libmvec", vmbench::peer_x(_ZGVeN8vv_pow, e), pow_r);
  }
}

}  // namespace

int main(int argc, char** argv) { return vmbench::main(argc, argv, register_all); }
