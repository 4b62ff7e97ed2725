// Process-wide table of read-only data shared between chunks of different streams.
#pragma once
#include "zorp/rng.h"

namespace zorp::rng {
// Releases one chunk's hold on its data: a reference on a shared entry, or the private block.
void release_chunk_data(StreamChunk* c);
// Under the table lock: share the data of an existing entry with this key, else publish the
// chunk's data under the key while fewer than 127 entries exist, else make the chunk private.
// When shared data replaces the chunk's own block, that block is left alone: it stays the
// caller's, who frees it.
void attach_chunk_key(StreamChunk* c);
// True when an entry with this key exists (key (0, 0) never does).
bool glob_key_exists(const uint64_t* key);
// False when an entry with this key exists and its data is not known to hold `size` bytes: a
// chunk of that size joining it would claim more than is there.
bool glob_data_holds(const uint64_t* key, uint32_t size);
}  // namespace zorp::rng
