// The splitmix64 sequence: the fixed, seedable source of choices for the table tools, so that a
// table comes out the same on every run and every machine.
#pragma once
#include <cstdint>

namespace zorp::tools {

struct SplitMix {
  uint64_t s;
  uint64_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

}  // namespace zorp::tools
