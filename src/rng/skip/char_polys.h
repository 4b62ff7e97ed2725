// Characteristic polynomials of the twisters' transitions, as ascending exponent lists (the last
// is the degree): MT19937 per 32-bit output (degree 19937), SFMT19937 per 128-bit step (degree
// 19968). Written by tools/gen_char_polys.cpp into char_polys.cpp.
#pragma once
#include <cstdint>

namespace zorp::rng::charpoly {
extern const uint32_t kMt19937Terms;
extern const uint32_t kMt19937[];
extern const uint32_t kSfmt19937Terms;
extern const uint32_t kSfmt19937[];
}  // namespace zorp::rng::charpoly
