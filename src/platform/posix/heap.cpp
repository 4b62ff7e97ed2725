// A private heap built on anonymous mappings. Blocks are carved from large regions and kept
// on per-size free lists; destroying the heap unmaps every region at once, which is how the
// records of all threads disappear together when the library is unloaded.
#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>

#include "platform/fail_countdown.h"
#include "platform/platform.h"

namespace zorp::platform {

namespace heap_detail {
constexpr size_t kGranule = 16;
constexpr size_t kClasses = 64;            // free lists for blocks of 16 .. 1024 bytes
constexpr size_t kMinRegion = 64 * 1024;

struct Region {
  Region* next;
  size_t size;  // bytes of the mapping, header included
  size_t used;  // bytes handed out from the start of the mapping
};
struct FreeBlock {
  FreeBlock* next;
};
// Every block is preceded by a 16-byte header holding its size class (or, for large blocks,
// the owning region).
struct BlockHeader {
  size_t cls;  // 0 .. kClasses-1, or kLarge
  Region* region;
};
static_assert(sizeof(BlockHeader) == kGranule);
constexpr size_t kLarge = ~size_t{0};

FailCountdown g_fail;

Region* map_region(size_t bytes) {
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  Region* r = static_cast<Region*>(p);
  r->next = nullptr;
  r->size = bytes;
  r->used = kGranule * ((sizeof(Region) + kGranule - 1) / kGranule);
  return r;
}
}  // namespace heap_detail

using namespace heap_detail;

struct Heap {
  std::mutex lock;
  Region* regions = nullptr;  // small-block regions, newest first
  Region* large = nullptr;    // one mapping per large block
  FreeBlock* free_lists[kClasses] = {};
};

Heap* heap_create(size_t initial_bytes) {
  size_t bytes = initial_bytes + sizeof(Heap) + sizeof(Region) + kGranule;
  if (bytes < kMinRegion) bytes = kMinRegion;
  Region* first = map_region(bytes);
  if (!first) return nullptr;
  // The heap's own bookkeeping lives in its first region, so destroying it leaves nothing.
  void* at = reinterpret_cast<char*>(first) + first->used;
  first->used += kGranule * ((sizeof(Heap) + kGranule - 1) / kGranule);
  Heap* h = new (at) Heap();
  h->regions = first;
  return h;
}

void* heap_alloc(Heap* h, size_t bytes) {
  if (!h || g_fail.fails_now()) return nullptr;
  const size_t payload = bytes == 0 ? kGranule : (bytes + kGranule - 1) / kGranule * kGranule;
  std::lock_guard<std::mutex> guard(h->lock);
  if (payload / kGranule <= kClasses) {
    const size_t cls = payload / kGranule - 1;
    if (FreeBlock* b = h->free_lists[cls]) {
      h->free_lists[cls] = b->next;
      return b;
    }
    const size_t need = payload + sizeof(BlockHeader);
    Region* r = h->regions;
    if (r->used + need > r->size) {
      Region* fresh = map_region(kMinRegion);
      if (!fresh) return nullptr;
      fresh->next = h->regions;
      h->regions = fresh;
      r = fresh;
    }
    auto* hdr = reinterpret_cast<BlockHeader*>(reinterpret_cast<char*>(r) + r->used);
    r->used += need;
    hdr->cls = cls;
    hdr->region = r;
    return hdr + 1;
  }
  const size_t need = payload + sizeof(BlockHeader) + kGranule * 2;
  Region* r = map_region(need);
  if (!r) return nullptr;
  r->next = h->large;
  h->large = r;
  auto* hdr = reinterpret_cast<BlockHeader*>(reinterpret_cast<char*>(r) + r->used);
  hdr->cls = kLarge;
  hdr->region = r;
  return hdr + 1;
}

void heap_free(Heap* h, void* block) {
  if (!h || !block) return;
  auto* hdr = static_cast<BlockHeader*>(block) - 1;
  std::lock_guard<std::mutex> guard(h->lock);
  if (hdr->cls != kLarge) {
    auto* b = static_cast<FreeBlock*>(block);
    b->next = h->free_lists[hdr->cls];
    h->free_lists[hdr->cls] = b;
    return;
  }
  Region** link = &h->large;
  while (*link && *link != hdr->region) link = &(*link)->next;
  if (*link) {
    Region* r = *link;
    *link = r->next;
    munmap(r, r->size);
  }
}

void heap_destroy(Heap* h) {
  if (!h) return;
  for (Region* r = h->large; r;) {
    Region* next = r->next;
    munmap(r, r->size);
    r = next;
  }
  // The heap object itself lives in the oldest region: unmap that one last.
  Region* r = h->regions;
  h->~Heap();
  while (r) {
    Region* next = r->next;
    munmap(r, r->size);
    r = next;
  }
}

void heap_fail_allocation(int64_t k) { g_fail.arm(k); }

}  // namespace zorp::platform
