// The registry as the rest of the random-streams code sees it: identifier mapping, validation and
// the row a stream is bound to.
#pragma once
#include <cstdint>

#include "zorp/rng.h"

namespace zorp::rng {

struct RowRef {
  const BrngProperties* table;
  int32_t index;   // row number (negative for identifiers with the top bit set)
  int32_t member;  // member within a family
};

// The mapping of __tarrGetBrngBaseOffset, with the row as a signed number.
RowRef map_brng(uint32_t brng);

// 0 or TARR_ERROR_INVALID_BRNG.
int32_t validate(const RowRef& r);

// The row of a stream's generator, or null when the identifier does not name a usable row (out of
// range, or an empty row). Never validates the member.
const BrngProperties* stream_row(const StreamState* s);

// Member number of a stream's generator within its family.
inline uint32_t stream_member(const StreamState* s) { return static_cast<uint32_t>(map_brng(s->brng).member); }

// Generator state area that follows the 16-byte header.
template <typename T>
inline T* state_of(StreamState* s) {
  return reinterpret_cast<T*>(reinterpret_cast<char*>(s) + sizeof(StreamState));
}
template <typename T>
inline const T* state_of(const StreamState* s) {
  return reinterpret_cast<const T*>(reinterpret_cast<const char*>(s) + sizeof(StreamState));
}

}  // namespace zorp::rng
