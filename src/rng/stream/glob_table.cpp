// The global read-only data table: 128 entries, slots 0..count-1 in use without gaps, guarded by a
// busy-wait word. The lock covers only the scans and updates of the table (and the free of a
// block whose last reference goes); nothing is allocated while it is held.
//
// One invariant keeps reference counting honest: a chunk carries a non-zero key exactly when it
// holds a reference on the entry with that key. Whenever a keyed chunk cannot be published (table
// at its threshold, or a race lost to another thread), its key is cleared and its data is private.
#include <x86intrin.h>

#include "host/host.h"
#include "rng/stream/glob_table.h"
#include "zorp/export.h"

namespace {

GlobRODataTableEntry g_entries[TARR_GLOB_TABLE_CAPACITY];
// Bytes of each entry's data where a chunk published it (its size), 0 where that is not known.
uint32_t g_bytes[TARR_GLOB_TABLE_CAPACITY];
int32_t g_used = 0;
int32_t g_lock = 0;

// Keyed chunks stay private once this many entries exist; explicit creation may use the last slot.
constexpr int32_t kShareThreshold = TARR_GLOB_TABLE_CAPACITY - 1;

struct Guard {
  Guard() {
    for (;;) {
      int32_t expected = 0;
      if (__atomic_compare_exchange_n(&g_lock, &expected, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
        return;
      while (__atomic_load_n(&g_lock, __ATOMIC_RELAXED) != 0) _mm_pause();
    }
  }
  ~Guard() { __atomic_store_n(&g_lock, 0, __ATOMIC_RELEASE); }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;
};

bool is_null_key(const uint64_t* key) { return !key || (key[0] == 0 && key[1] == 0); }

// Caller holds the lock.
GlobRODataTableEntry* find_locked(const uint64_t* key) {
  if (is_null_key(key)) return nullptr;
  for (int32_t i = 0; i < g_used; ++i)
    if (g_entries[i].key[0] == key[0] && g_entries[i].key[1] == key[1]) return &g_entries[i];
  return nullptr;
}

// Caller holds the lock: drop one reference; at zero free the data and fill the slot with the last
// entry. Returns true when an entry was found.
bool unref_locked(const uint64_t* key) {
  bool found = false;
  for (int32_t i = 0; i < g_used;) {
    GlobRODataTableEntry& e = g_entries[i];
    if (e.key[0] != key[0] || e.key[1] != key[1]) {
      ++i;
      continue;
    }
    found = true;
    if (--e.refs != 0) {
      ++i;
      continue;
    }
    if (e.data) zorp::host::deallocate(e.data);
    g_entries[i] = g_entries[g_used - 1];
    g_bytes[i] = g_bytes[g_used - 1];
    g_entries[g_used - 1] = GlobRODataTableEntry{};
    g_bytes[g_used - 1] = 0;
    --g_used;
  }
  return found;
}

}  // namespace

namespace zorp::rng {

bool glob_key_exists(const uint64_t* key) {
  if (is_null_key(key)) return false;
  Guard g;
  return find_locked(key) != nullptr;
}

bool glob_data_holds(const uint64_t* key, uint32_t size) {
  if (is_null_key(key) || size == 0) return true;
  Guard g;
  const GlobRODataTableEntry* e = find_locked(key);
  return !e || g_bytes[e - g_entries] >= size;
}

void attach_chunk_key(StreamChunk* c) {
  if (is_null_key(c->key)) return;
  Guard g;
  if (GlobRODataTableEntry* e = find_locked(c->key)) {
    ++e->refs;
    c->data = e->data;
    return;
  }
  if (g_used >= kShareThreshold) {
    c->key[0] = c->key[1] = 0;
    return;
  }
  g_bytes[g_used] = c->size;
  GlobRODataTableEntry& e = g_entries[g_used++];
  e.key[0] = c->key[0];
  e.key[1] = c->key[1];
  e.refs = 1;
  e.data = c->data;
}

void release_chunk_data(StreamChunk* c) {
  if (!is_null_key(c->key)) {
    Guard g;
    if (unref_locked(c->key)) return;
  }
  if (c->data) zorp::host::deallocate(c->data);
}

}  // namespace zorp::rng

extern "C" {

ZORP_API int32_t __tarrFindGlobRODataTableEntry(GlobRODataTableEntry** out, const uint64_t* key) {
  GlobRODataTableEntry* e = nullptr;
  if (!is_null_key(key)) {
    Guard g;
    e = find_locked(key);
  }
  if (out) *out = e;
  return e ? TARR_STATUS_OK : TARR_GLOB_NOT_FOUND;
}

// Keys are unique: creating an entry whose key is already present, or the never-valid key (0, 0),
// is refused as a bad argument and changes nothing.
ZORP_API int32_t __tarrCreateGlobRODataTableEntry(GlobRODataTableEntry** out, const uint64_t* key,
                                                  void* data) {
  if (is_null_key(key)) return TARR_ERROR_BAD_ARGUMENTS;
  Guard g;
  if (g_used >= TARR_GLOB_TABLE_CAPACITY) return TARR_GLOB_TABLE_FULL;
  if (find_locked(key)) return TARR_ERROR_BAD_ARGUMENTS;
  g_bytes[g_used] = 0;
  GlobRODataTableEntry& e = g_entries[g_used++];
  e.key[0] = key[0];
  e.key[1] = key[1];
  e.refs = 1;
  e.data = data;
  if (out) *out = &e;
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrRegisterGlobRODataReference(StreamChunk* c, const uint64_t* key) {
  if (!c || is_null_key(key)) return TARR_STATUS_OK;
  Guard g;
  if (GlobRODataTableEntry* e = find_locked(key)) {
    ++e->refs;
    c->data = e->data;
    c->key[0] = key[0];
    c->key[1] = key[1];
  }
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrUnregisterGlobRODataReference(const uint64_t* key) {
  if (is_null_key(key)) return TARR_STATUS_OK;
  Guard g;
  unref_locked(key);
  return TARR_STATUS_OK;
}

ZORP_API int32_t __tarrGenerateNewGlobalRODataTableEntryId(uint64_t* key, uint64_t tag) {
  if (!key) return TARR_ERROR_NULL_ENTRY;
  key[1] = tag;
  key[0] = __rdtsc();
  while (is_null_key(key) || zorp::rng::glob_key_exists(key)) key[0] = __rdtsc();
  return TARR_STATUS_OK;
}

}  // extern "C"
