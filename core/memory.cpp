// Aligned memory for the kernel library, with the counters and the fault-injection hook the
// tests use to drive every out-of-memory path and to check that nothing leaks.
#include <zorp/core.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
// Countdown of the fault injection: 0 = off, k > 0 = the k-th allocation from now fails.
std::atomic<int64_t> g_fail_countdown{0};
std::atomic<int64_t> g_allocations{0};
std::atomic<int64_t> g_live{0};

// True when this allocation is the one the hook selected. The countdown is decremented with a
// compare-and-swap so that, with several threads allocating, exactly one allocation fails.
bool injected_failure() {
  int64_t c = g_fail_countdown.load(std::memory_order_relaxed);
  while (c > 0) {
    if (g_fail_countdown.compare_exchange_weak(c, c - 1, std::memory_order_relaxed)) return c == 1;
  }
  return false;
}
}  // namespace

extern "C" {

void* zorp_serv_allocate(size_t size, int alignment) {
  // Non-positive alignment means "the usual 128"; anything that is not a power of two is a
  // caller error and gets no memory rather than a block aligned some other way.
  size_t align = alignment <= 0 ? 128u : static_cast<size_t>(alignment);
  if ((align & (align - 1)) != 0) return nullptr;
  if (align < sizeof(void*)) align = sizeof(void*);
  if (injected_failure()) return nullptr;
  void* p = nullptr;
  // A zero-byte request still gets a distinct block so that null keeps meaning "no memory".
  if (posix_memalign(&p, align, size ? size : 1) != 0) return nullptr;
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  g_live.fetch_add(1, std::memory_order_relaxed);
  return p;
}

void zorp_serv_deallocate(void* p) {
  if (!p) return;
  g_live.fetch_sub(1, std::memory_order_relaxed);
  std::free(p);
}

void zorp_core_fail_allocation(int64_t k) {
  g_fail_countdown.store(k > 0 ? k : 0, std::memory_order_relaxed);
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
