// The Niederreiter generator's built-in polynomials: the first 318 irreducible polynomials over
// GF(2) in increasing order of the integer whose bits are their coefficients, one per dimension,
// with their degrees. That is the order of Bratley, Fox and Niederreiter's tables (ACM TOMS 738:
// the base-2 program lists the first 12 so, and their table generator sieves the monic
// polynomials in this order), which the dimensions must follow for the points to be theirs.
// Written by tools/gen_irreducible_polys.cpp (irreducible_polys.cpp).
#pragma once
#include <cstdint>

namespace zorp::rng::quasi {
inline constexpr int kIrreducibleCount = 318;
extern const uint16_t kIrreducible[kIrreducibleCount];
extern const uint8_t kIrreducibleDegree[kIrreducibleCount];
}  // namespace zorp::rng::quasi
