// Thread records: one per thread that uses vector math, in thread-local storage, allocated
// from a private heap so that unloading the library frees every thread's record at once.
#include <atomic>
#include <cstdint>

#include "host/host.h"
#include "platform/platform.h"
#include "vm/state/thread_state.h"

namespace zorp::vm {

namespace {
constexpr int kMsgStateSetupFailed = 773;
constexpr int kExitStateSetupFailed = 3;
constexpr size_t kHeapInitialBytes = 32;

std::atomic<platform::TlsIndex> g_tls_index{platform::kInvalidTls};
std::atomic<platform::Heap*> g_heap{nullptr};
volatile int32_t g_index_lock = 0;
volatile int32_t g_heap_lock = 0;

void report_setup_failure() { zorp_serv_print(1, kMsgStateSetupFailed, 0); }

// Creates the storage index if there is none yet; checked before and after taking the lock.
bool ensure_tls_index() {
  if (g_tls_index.load(std::memory_order_acquire) != platform::kInvalidTls) return true;
  zorp_serv_lock(&g_index_lock);
  bool ok = true;
  if (g_tls_index.load(std::memory_order_relaxed) == platform::kInvalidTls) {
    platform::TlsIndex index;
    ok = platform::tls_alloc(&index);
    if (ok) g_tls_index.store(index, std::memory_order_release);
  }
  zorp_serv_unlock(&g_index_lock);
  if (!ok) report_setup_failure();
  return ok;
}

platform::Heap* ensure_heap() {
  platform::Heap* h = g_heap.load(std::memory_order_acquire);
  if (h) return h;
  zorp_serv_lock(&g_heap_lock);
  h = g_heap.load(std::memory_order_relaxed);
  if (!h) {
    h = platform::heap_create(kHeapInitialBytes);
    g_heap.store(h, std::memory_order_release);
  }
  zorp_serv_unlock(&g_heap_lock);
  return h;
}

// Makes the calling thread's record; reports 773 and yields null when that fails.
ThreadState* create_record() {
  platform::Heap* heap = ensure_heap();
  auto* rec = heap ? static_cast<ThreadState*>(platform::heap_alloc(heap, sizeof(ThreadState)))
                   : nullptr;
  if (rec) {
    *rec = ThreadState{};
    if (!platform::tls_set(g_tls_index.load(std::memory_order_acquire), rec)) {
      platform::heap_free(heap, rec);
      rec = nullptr;
    }
  }
  if (!rec) report_setup_failure();
  return rec;
}

}  // namespace

ThreadState* thread_state_slow() {
  platform::note_first_use_after_load();
  if (ensure_tls_index()) {
    auto* rec = static_cast<ThreadState*>(platform::tls_get(g_tls_index.load()));
    if (!rec) rec = create_record();
    if (rec) {
      platform::set_thread_cache(rec);
      return rec;
    }
  }
  zorp_serv_exit(kExitStateSetupFailed);
  __builtin_unreachable();
}

}  // namespace zorp::vm

namespace zorp::lifecycle {

bool process_attach() {
  using namespace zorp::vm;
  if (!ensure_tls_index()) return false;
  ThreadState* rec = create_record();
  platform::set_thread_cache(rec);
  return rec != nullptr;
}

void thread_detach(void* tls_value) {
  using namespace zorp::vm;
  // The platform has already cleared the slot of the exiting thread; this runs on that thread,
  // so its cached word goes too (a later call from another exit handler makes a new record).
  if (platform::thread_cache() == tls_value) platform::set_thread_cache(nullptr);
  if (tls_value && g_tls_index.load() != platform::kInvalidTls)
    platform::heap_free(g_heap.load(), tls_value);
}

void process_detach(bool unloading) {
  using namespace zorp::vm;
  // At process exit other threads may still be running kernels: leave everything alone.
  if (!unloading) return;
  platform::set_thread_cache(nullptr);
  const platform::TlsIndex index = g_tls_index.exchange(platform::kInvalidTls);
  if (index != platform::kInvalidTls) {
    if (void* rec = platform::tls_get(index)) {
      platform::tls_set(index, nullptr);
      platform::heap_free(g_heap.load(), rec);
    }
    platform::tls_free(index);
  }
  // Destroying the heap frees the records of all other threads at once.
  platform::heap_destroy(g_heap.exchange(nullptr));
}

}  // namespace zorp::lifecycle
