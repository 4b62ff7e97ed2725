// The polynomial skip-ahead's work states hold a generator's next outputs as a circular buffer of
// n units (words, or SFMT's 128-bit groups) starting at a position. The two operations every
// such generator needs, on buffers of `unit` bytes per element.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "simd/ints.h"

namespace zorp::rng::work {

// dst[(pd + k) mod n] ^= src[(ps + k) mod n] for k < n: logically equal outputs meet. At most three
// straight runs.
inline void add_aligned(void* dst, int32_t pd, const void* src, int32_t ps, int32_t n, size_t unit) {
  auto* d = static_cast<uint8_t*>(dst);
  const auto* s = static_cast<const uint8_t*>(src);
  for (int32_t left = n; left > 0;) {
    const int32_t run = std::min({left, n - pd, n - ps});
    simd::xor_bytes(d + static_cast<size_t>(pd) * unit, s + static_cast<size_t>(ps) * unit, static_cast<size_t>(run) * unit);
    pd = (pd + run) % n;
    ps = (ps + run) % n;
    left -= run;
  }
}

// dst[k] = src[(pos + k) mod n]: the buffer unrolled into a block that starts with the next output.
inline void unroll(void* dst, const void* src, int32_t pos, int32_t n, size_t unit) {
  const size_t head = static_cast<size_t>(n - pos) * unit;
  std::memcpy(dst, static_cast<const uint8_t*>(src) + static_cast<size_t>(pos) * unit, head);
  std::memcpy(static_cast<uint8_t*>(dst) + head, src, static_cast<size_t>(pos) * unit);
}

}  // namespace zorp::rng::work
