// Stream blocks and their chunk lists.
//
// A block is one host allocation of the row's StateSize bytes: the 16-byte header (identifier,
// reserved word, chunk list) and the generator's state. Chunks are 40-byte records pushed at the
// head of the list; their data is either private to the chunk or shared through the global
// read-only table (see glob_table.cpp).
#include <algorithm>

#include "host/host.h"
#include "rng/registry/registry.h"
#include "rng/stream/glob_table.h"
#include "zorp/export.h"

namespace {

using zorp::rng::map_brng;
using zorp::rng::RowRef;

// A block never gets less than its header, even for a registered generator declaring less.
size_t block_bytes(const BrngProperties& row) {
  return std::max<size_t>(static_cast<size_t>(row.StateSize), sizeof(StreamState));
}

void release_chunk(StreamChunk* c) {
  zorp::rng::release_chunk_data(c);
  zorp::host::deallocate(c);
}

void release_all(StreamState* s) {
  StreamChunk* c = s->chunks;
  s->chunks = nullptr;
  while (c) {
    StreamChunk* next = c->next;
    release_chunk(c);
    c = next;
  }
}

StreamState* allocate_block(const BrngProperties& row, uint32_t brng) {
  auto* s = static_cast<StreamState*>(zorp::host::allocate(block_bytes(row)));
  if (!s) return nullptr;
  s->brng = brng;
  s->reserved = 1;
  s->chunks = nullptr;
  return s;
}

// Validation plus the guard against rows that have no generator behind them (legacy rows 279 and
// 280, rows of generators not in this build): those identifiers cannot carry a stream.
int32_t usable_row(const RowRef& r) {
  const int32_t status = zorp::rng::validate(r);
  if (status != TARR_STATUS_OK) return status;
  return r.table[r.index].InitStream ? TARR_STATUS_OK : TARR_ERROR_INVALID_BRNG;
}

}  // namespace

extern "C" {

ZORP_API int32_t __tarrNewStreamEx(StreamState** s, uint32_t brng, int32_t n, const uint32_t* params) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  // Abstract streams are made over caller buffers by their own constructors.
  if (brng == TARR_BRNG_IABSTRACT || brng == TARR_BRNG_DABSTRACT || brng == TARR_BRNG_SABSTRACT)
    return TARR_ERROR_INVALID_BRNG;
  const RowRef r = map_brng(brng);
  const int32_t status = usable_row(r);
  if (status != TARR_STATUS_OK) return status;
  const BrngProperties& row = r.table[r.index];
  StreamState* block = allocate_block(row, brng);
  *s = block;
  if (!block) return TARR_ERROR_NO_MEMORY;
  return row.InitStream(TARR_INIT_SEED, block, n, params);
}

ZORP_API int32_t __tarrAllocateStream(StreamState** s, const BrngProperties* table, uint32_t brng,
                                      int32_t index, int32_t member) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  const RowRef r{table, index, member};
  const int32_t status = usable_row(r);
  if (status != TARR_STATUS_OK) return status;
  StreamState* block = allocate_block(table[index], brng);
  *s = block;
  return block ? TARR_STATUS_OK : TARR_ERROR_NO_MEMORY;
}

ZORP_API int32_t __tarrCopyStream(StreamState** dst, const StreamState* src) {
  if (!dst || !src) return TARR_ERROR_NULL_ENTRY;
  const RowRef r = map_brng(src->brng);
  const int32_t status = usable_row(r);
  if (status != TARR_STATUS_OK) return status;
  const BrngProperties& row = r.table[r.index];
  const size_t bytes = block_bytes(row);
  auto* copy = static_cast<StreamState*>(zorp::host::allocate(bytes));
  *dst = copy;
  if (!copy) return TARR_ERROR_NO_MEMORY;
  zorp_serv_memcpy_s(copy, bytes, src, bytes);
  copy->chunks = nullptr;
  return __tarrCopyChunks(copy, src);
}

// Copies the leading SeedCount * WordSize bytes of state, never more than either block's state
// area holds: callers are meant to pass two streams of one generator, but nothing stops them
// from mixing generators, and the smaller area then bounds the copy. For WH the bound (32
// bytes) is smaller than the product (64) and covers the whole state: values and multipliers.
ZORP_API int32_t __tarrCopyStreamState(StreamState* dst, const StreamState* src) {
  if (!dst || !src) return TARR_ERROR_NULL_ENTRY;
  if (dst == src) return TARR_STATUS_OK;
  const BrngProperties* srow = zorp::rng::stream_row(src);
  const BrngProperties* drow = zorp::rng::stream_row(dst);
  if (!srow || !drow) return TARR_ERROR_INVALID_BRNG;
  const size_t dst_area = block_bytes(*drow) - sizeof(StreamState);
  const size_t src_area = block_bytes(*srow) - sizeof(StreamState);
  const size_t want = static_cast<size_t>(std::max(srow->SeedCount, 0)) * static_cast<size_t>(std::max(srow->WordSize, 0));
  const size_t bytes = std::min({want, src_area, dst_area});
  if (bytes) zorp_serv_memcpy_s(zorp::rng::state_of<char>(dst), dst_area, zorp::rng::state_of<char>(src), bytes);
  release_all(dst);
  return __tarrCopyChunks(dst, src);
}

ZORP_API int32_t __tarrDeleteStream(StreamState** s) {
  if (!s || !*s) return TARR_STATUS_OK;
  release_all(*s);
  zorp::host::deallocate(*s);
  *s = nullptr;
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrGetStreamSize(const StreamState* s) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  const BrngProperties* row = zorp::rng::stream_row(s);
  if (!row) return TARR_ERROR_INVALID_BRNG;
  int64_t bytes = int64_t{row->StateSize} + 8;
  for (const StreamChunk* c = s->chunks; c; c = c->next) bytes += 24 + int64_t{c->size};
  return static_cast<int32_t>(bytes);
}

// ---- chunks ------------------------------------------------------------------------------------

ZORP_API int32_t __tarrAddChunk(StreamState* s, uint32_t id, const uint64_t* key, void* data, uint32_t size) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  auto* c = static_cast<StreamChunk*>(zorp::host::allocate(sizeof(StreamChunk)));
  if (!c) return TARR_ERROR_NO_MEMORY;
  c->id = id;
  c->size = size;
  c->data = data;
  c->key[0] = key ? key[0] : 0;
  c->key[1] = key ? key[1] : 0;
  // A private block becomes the chunk's. Under a key that is already shared the chunk takes the
  // shared data instead and the block passed in is not used: it stays the caller's, who sees that
  // the chunk's data differs and frees it. Freeing it here too made that a double free.
  zorp::rng::attach_chunk_key(c);
  c->next = s->chunks;
  s->chunks = c;
  return TARR_STATUS_OK;
}

ZORP_API void* __tarrSearchChunk(const StreamState* s, uint32_t id) {
  if (!s) return nullptr;
  for (const StreamChunk* c = s->chunks; c; c = c->next)
    if (c->id == id) return c->data;
  return nullptr;
}

ZORP_API int32_t __tarrGetNumChunks(const StreamState* s) {
  int32_t n = 0;
  if (s)
    for (const StreamChunk* c = s->chunks; c; c = c->next) ++n;
  return n;
}

ZORP_API int32_t __tarrDeleteChunks(StreamState* s) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  release_all(s);
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrDeleteChunksById(StreamState* s, uint32_t id) {
  if (!s) return TARR_ERROR_NULL_ENTRY;
  StreamChunk** link = &s->chunks;
  while (StreamChunk* c = *link) {
    if (c->id == id) {
      *link = c->next;
      release_chunk(c);
    } else {
      link = &c->next;
    }
  }
  return TARR_STATUS_OK;
}

// Walks src from its head and pushes onto dst, so dst receives src's chunks in reverse order.
ZORP_API int32_t __tarrCopyChunks(StreamState* dst, const StreamState* src) {
  if (!dst || !src) return TARR_ERROR_NULL_ENTRY;
  for (const StreamChunk* c = src->chunks; c; c = c->next) {
    const bool shared = zorp::rng::glob_key_exists(c->key);
    void* data = shared ? c->data : nullptr;
    if (!shared && c->data && c->size) {
      data = zorp::host::allocate(c->size);
      if (!data) {
        release_all(dst);
        return TARR_ERROR_NO_MEMORY;
      }
      zorp_serv_memcpy_s(data, c->size, c->data, c->size);
    }
    const uint64_t none[2] = {0, 0};
    const int32_t status = __tarrAddChunk(dst, c->id, shared ? c->key : none, data, c->size);
    if (status != TARR_STATUS_OK) {
      if (!shared && data) zorp::host::deallocate(data);
      release_all(dst);
      return status;
    }
  }
  return TARR_STATUS_OK;
}

}  // extern "C"
