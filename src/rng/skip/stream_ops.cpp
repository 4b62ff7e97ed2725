// Skip-ahead and leapfrog on a stream: they only dispatch to the generator's InitStream; the
// arithmetic belongs to each generator. The identifier is mapped, not validated; a row without a
// generator behind it is refused instead of called.
#include "rng/registry/registry.h"
#include "zorp/export.h"

extern "C" {

ZORP_API int32_t __tarrSkipAheadStream(StreamState* s, uint64_t nskip) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  const BrngProperties* row = zorp::rng::stream_row(s);
  if (!row) return TARR_ERROR_INVALID_BRNG;
  const uint32_t words[2] = {static_cast<uint32_t>(nskip), static_cast<uint32_t>(nskip >> 32)};
  return row->InitStream(TARR_INIT_SKIPAHEAD, s, 2, words);
}

ZORP_API int32_t __tarrSkipAheadStreamEx(StreamState* s, int32_t n, const uint64_t* nskip) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  const BrngProperties* row = zorp::rng::stream_row(s);
  if (!row) return TARR_ERROR_INVALID_BRNG;
  return row->InitStream(TARR_INIT_SKIPAHEAD_EX, s, n, reinterpret_cast<const uint32_t*>(nskip));
}

ZORP_API int32_t __tarrLeapfrogStream(StreamState* s, uint32_t k, int32_t nstreams) {
  if (nstreams < 0) return TARR_ERROR_BAD_STREAM_COUNT;
  if (!s) return TARR_ERROR_NULL_ENTRY;
  const BrngProperties* row = zorp::rng::stream_row(s);
  if (!row) return TARR_ERROR_INVALID_BRNG;
  return row->InitStream(TARR_INIT_LEAPFROG, s, nstreams, &k);
}

}  // extern "C"
