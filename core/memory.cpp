// Aligned memory for the kernel library, with the counters and the fault-injection hook the
// tests use to drive every out-of-memory path and to check that nothing leaks.
#include <zorp/core.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "os.h"
#include "platform/fail_countdown.h"

namespace {
zorp::platform::FailCountdown g_fail;
std::atomic<int64_t> g_allocations{0};
std::atomic<int64_t> g_live{0};
}  // namespace

extern "C" {

void* zorp_serv_allocate(size_t size, int alignment) {
  // Non-positive alignment means "the usual 128"; anything that is not a power of two is a
  // caller error and gets no memory rather than a block aligned some other way.
  size_t align = alignment <= 0 ? 128u : static_cast<size_t>(alignment);
  if ((align & (align - 1)) != 0) return nullptr;
  if (align < sizeof(void*)) align = sizeof(void*);
  if (g_fail.fails_now()) return nullptr;
  // A zero-byte request still gets a distinct block so that null keeps meaning "no memory".
  void* p = zorp::core_os::aligned_alloc(size ? size : 1, align);
  if (!p) return nullptr;
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  g_live.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void zorp_serv_deallocate(void* p) {
  if (!p) return;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  zorp::core_os::aligned_free(p);
}

void zorp_core_fail_allocation(int64_t k) {
  g_fail.arm(k);
}

int64_t zorp_core_allocation_count(void) { return g_allocations.load(std::memory_order_relaxed); }
int64_t zorp_core_live_allocations(void) { return g_live.load(std::memory_order_relaxed); }

int zorp_serv_memcpy_s(void* dst, size_t dstsize, const void* src, size_t count) {
  if (!dst || !src) return EINVAL;
  if (count > dstsize) return ERANGE;
  // memmove: a caller copying within one block must not get a torn copy.
  if (count) std::memmove(dst, src, count);
  return 0;
}

}  // extern "C"
