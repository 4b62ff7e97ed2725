// Roots and powers against SLEEF (AVX-512 u10, u35 or u05 where they exist) and glibc libmvec
// (AVX-512 pow, cbrt, hypot), all in one run, at n = 1,024 (in cache) and 1,000,000
// (memory-bound). Powx runs with a fast exponent (3, products or the general path as the slot
// has it) and a general one (2.5), its peers with that exponent in every lane. Counters:
// cyc/elem (time-stamp counter ticks per element) and ns/elem.
//
//   bench_vm_power --benchmark_min_time=0.1
#include <sleef.h>

#include "vm_peers.h"

extern "C" {
const __m512 _ZGVeN16v_cbrtf(__m512);
const __m512 _ZGVeN16vv_powf(__m512, __m512);
const __m512 _ZGVeN16vv_hypotf(__m512, __m512);
const __m512d _ZGVeN8v_cbrt(__m512d);
const __m512d _ZGVeN8vv_pow(__m512d, __m512d);
const __m512d _ZGVeN8vv_hypot(__m512d, __m512d);
}

namespace {

using namespace vmbench;

void register_all() {
  const Range roots_s{1e-30, 1e30, 0, 0}, roots_d{1e-300, 1e300, 0, 0};
  const Range p32_s{1e-20, 1e20, 0, 0}, p32_d{1e-200, 1e200, 0, 0};
  const Range pow_r{1e-3, 1e3, -10, 10}, hyp_s{1e-15, 1e15, -1e15, 1e15}, hyp_d{1e-150, 1e150, -1e150, 1e150};
  OURS1(s, InvSqrt, 21, 11, roots_s)
  OURS1(d, InvSqrt, 50, 26, roots_d)
  OURS1(s, Cbrt, 21, 11, roots_s)
  add<float>("sCbrt", "sleef_u10", peer(Sleef_cbrtf16_u10avx512f), roots_s);
  add<float>("sCbrt", "sleef_u35", peer(Sleef_cbrtf16_u35avx512f), roots_s);
  add<float>("sCbrt", "libmvec", peer(_ZGVeN16v_cbrtf), roots_s);
  OURS1(d, Cbrt, 50, 26, roots_d)
  add<double>("dCbrt", "sleef_u10", peer(Sleef_cbrtd8_u10avx512f), roots_d);
  add<double>("dCbrt", "sleef_u35", peer(Sleef_cbrtd8_u35avx512f), roots_d);
  add<double>("dCbrt", "libmvec", peer(_ZGVeN8v_cbrt), roots_d);
  OURS1(s, InvCbrt, 21, 11, roots_s)
  OURS1(d, InvCbrt, 50, 26, roots_d)
  OURS1(s, Pow2o3, 21, 11, roots_s)
  OURS1(d, Pow2o3, 50, 26, roots_d)
  OURS1(s, Pow3o2, 21, 11, p32_s)
  OURS1(d, Pow3o2, 50, 26, p32_d)
  OURS2(s, Hypot, 21, 11, hyp_s)
  add<float>("sHypot", "sleef_u05", peer(Sleef_hypotf16_u05avx512f), hyp_s);
  add<float>("sHypot", "sleef_u35", peer(Sleef_hypotf16_u35avx512f), hyp_s);
  add<float>("sHypot", "libmvec", peer(_ZGVeN16vv_hypotf), hyp_s);
  OURS2(d, Hypot, 50, 26, hyp_d)
  add<double>("dHypot", "sleef_u05", peer(Sleef_hypotd8_u05avx512f), hyp_d);
  add<double>("dHypot", "sleef_u35", peer(Sleef_hypotd8_u35avx512f), hyp_d);
  add<double>("dHypot", "libmvec", peer(_ZGVeN8vv_hypot), hyp_d);
  OURS2(s, Pow, 21, 11, pow_r)
  add<float>("sPow", "sleef_u10", peer(Sleef_powf16_u10avx512f), pow_r);
  add<float>("sPow", "libmvec", peer(_ZGVeN16vv_powf), pow_r);
  OURS2(d, Pow, 50, 26, pow_r)
  add<double>("dPow", "sleef_u10", peer(Sleef_powd8_u10avx512f), pow_r);
  add<double>("dPow", "libmvec", peer(_ZGVeN8vv_pow), pow_r);
  OURS2(s, Powr, 21, 11, pow_r)
  OURS2(d, Powr, 50, 26, pow_r)
  for (double e : {3.0, 2.5}) {
    const std::string s = "sPowx(" + std::string(e == 3.0 ? "3" : "2.5") + ")", d = "d" + s.substr(1);
    add<float>(s, "zorp_LA", scalar<float>(_fennsPowx_21, float(e)), pow_r);
    add<float>(s, "zorp_HA", scalar<float>(_fennsPowx_HA, float(e)), pow_r);
    add<float>(s, "zorp_EP", scalar<float>(_fennsPowx_11, float(e)), pow_r);
    add<float>(s, "sleef_u10", peer_x(Sleef_powf16_u10avx512f, float(e)), pow_r);
    add<float>(s, "libmvec", peer_x(_ZGVeN16vv_powf, float(e)), pow_r);
    add<double>(d, "zorp_LA", scalar<double>(_fenndPowx_50, e), pow_r);
    add<double>(d, "zorp_HA", scalar<double>(_fenndPowx_HA, e), pow_r);
    add<double>(d, "zorp_EP", scalar<double>(_fenndPowx_26, e), pow_r);
    add<double>(d, "sleef_u10", peer_x(Sleef_powd8_u10avx512f, e), pow_r);
    add<double>(d, "libmvec", peer_x(_ZGVeN8vv_pow, e), pow_r);
  }
}

}  // namespace

int main(int argc, char** argv) {
  register_all();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
