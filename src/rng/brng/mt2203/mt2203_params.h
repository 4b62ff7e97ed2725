// Parameters of the 6,024 members of the MT2203 family: per member the matrix constant a and the
// tempering masks b and c. The table is written by tools/gen_mt2203_params.cpp
// (mt2203_params_table.cpp); members 0 and 6023 are the published sets, the others were found by
// that tool's search.
#pragma once
#include <cstdint>

namespace zorp::rng::mt2203 {
inline constexpr int kMembers = 6024;
extern const uint32_t kParams[kMembers][3];
}  // namespace zorp::rng::mt2203
