// Every test binary runs kernels compiled for AVX-512; on an older processor they would die with
// SIGILL somewhere deep inside a kernel. Checking up front turns that into a clear message.
#pragma once
#include <cstdio>
#include <cstdlib>

namespace zorp::test {
inline bool cpu_has_avx512() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
}
inline void require_avx512_or_exit() {
  if (!cpu_has_avx512()) {
    std::fprintf(stderr,
                 "These tests need a processor with AVX-512 F, DQ, BW and VL; this one lacks "
                 "at least one of them. Refusing to run.\n");
    std::exit(2);
  }
}
}  // namespace zorp::test
