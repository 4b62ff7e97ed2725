// Parameters of the 273 members of the WH family: per member four prime moduli, four multipliers
// and the reciprocals 1/m_i. The table is written by tools/gen_wh_params.cpp
// (wh_params_table.cpp); member 0 is the classic set, the others were chosen by that tool.
#pragma once
#include <cstdint>

namespace zorp::rng::wh {
inline constexpr int kMembers = 273;
extern const uint32_t kModuli[kMembers][4];
extern const uint8_t kMultipliers[kMembers][4];
extern const double kReciprocals[kMembers][4];
}  // namespace zorp::rng::wh
