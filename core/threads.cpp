// The host thread pool behind the parallel-for and the data-fitting launcher.
//
// The pool starts on the first parallel request with ZORP_CORE_NUM_THREADS threads in all
// (default: the online cores); the calling thread is one of them, so N-1 workers are created.
// One job runs at a time. A request that cannot use the pool (it is busy with another
// caller's job, the request comes from inside a running task, or only one thread is wanted)
// runs inline on the calling thread as task numbers 0.. in order with thread 0 of 1: that is
// what keeps nested and concurrent calls free of deadlock.
//
// Tasks are handed out one number at a time from a shared counter, so uneven tasks balance.
// The thread number a task sees is in [0, nthreads) and no two tasks running at the same
// moment share one, which lets callers keep per-thread scratch.
//
// Waking a sleeping thread through the kernel takes tens of microseconds, as long as a whole
// request of tens of thousands of elements runs on one thread, so a second thread would make
// such a request slower. So a worker that finishes a job watches for the next one for a while
// (kWatch, 50 microseconds) before it sleeps, and the caller watches its
// workers finish the same way before it sleeps: requests that follow one another, the case
// where threading small requests matters, then start and end without the kernel.
#include <zorp/core.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "os.h"

namespace {
using TaskFn = void (*)(int task, int thread, int nthreads, void* ctx);

// How long a thread watches before it sleeps.
constexpr auto kWatch = std::chrono::microseconds(50);

// Watches for ready() for up to kWatch: a few pause hints at a time, then a yield, so that on a
// machine with more runnable threads than cores the watcher hands its core to them instead of
// holding it for the whole budget. Whether ready() came true.
template <typename Ready>
bool spin_until(Ready ready) {
  for (int i = 0; i < 64; ++i) {  // a few microseconds of pause hints alone: the usual wait
    if (ready()) return true;
    __builtin_ia32_pause();
  }
  const auto until = std::chrono::steady_clock::now() + kWatch;
  do {
    for (int i = 0; i < 16; ++i) {
      if (ready()) return true;
      __builtin_ia32_pause();
    }
    std::this_thread::yield();
  } while (std::chrono::steady_clock::now() < until);
  return ready();
}

int configured_threads() {
  char buf[32];
  if (zorp_serv_getenv("ZORP_CORE_NUM_THREADS", buf, sizeof buf) > 0) {
    char* end = nullptr;
    const long v = std::strtol(buf, &end, 10);
    if (end != buf && *end == '\0' && v >= 1) return static_cast<int>(std::min(v, 1024L));
  }
  const long cores = zorp::core_os::online_cores();
  return cores >= 1 ? static_cast<int>(std::min(cores, 1024L)) : 1;
}

int thread_limit() {
  static const int n = configured_threads();
  return n;
}

thread_local bool t_inside_task = false;

void run_inline(int ntasks, void* ctx, TaskFn fn) {
  const bool was = t_inside_task;
  t_inside_task = true;
  for (int t = 0; t < ntasks; ++t) fn(t, 0, 1, ctx);
  t_inside_task = was;
}

class Pool {
 public:
  explicit Pool(int nthreads) {
    workers_.reserve(nthreads - 1);
    for (int id = 1; id < nthreads; ++id) workers_.emplace_back([this, id] { worker(id); });
  }
  ~Pool() {
    {
      std::lock_guard<std::mutex> lk(m_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) {
      // A task that ends the process runs these destructors on a worker; it cannot join itself.
      if (t.get_id() == std::this_thread::get_id())
        t.detach();
      else
        t.join();
    }
  }
  int size() const { return static_cast<int>(workers_.size()) + 1; }

  // Runs the job on up to `parts` threads; false (nothing run) when the pool is busy.
  bool run(int ntasks, int parts, void* ctx, TaskFn fn) {
    std::unique_lock<std::mutex> busy(submit_, std::try_to_lock);
    if (!busy.owns_lock()) return false;
    {
      std::lock_guard<std::mutex> lk(m_);
      fn_ = fn;
      ctx_ = ctx;
      ntasks_ = ntasks;
      parts_ = parts;
      finished_.store(0, std::memory_order_relaxed);
      next_.store(0, std::memory_order_relaxed);
      generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    share(0);
    const auto all_done = [&] { return finished_.load(std::memory_order_acquire) == parts - 1; };
    if (spin_until(all_done)) return true;
    std::unique_lock<std::mutex> lk(m_);
    done_.wait(lk, all_done);
    return true;
  }

 private:
  void share(int id) {
    const bool was = t_inside_task;
    t_inside_task = true;
    for (;;) {
      const int t = next_.fetch_add(1, std::memory_order_relaxed);
      if (t >= ntasks_) break;
      fn_(t, id, parts_, ctx_);
    }
    t_inside_task = was;
  }

  void worker(int id) {
    std::unique_lock<std::mutex> lk(m_);
    // Start from generation 0, not from what generation_ says now: the first job may already
    // have been posted before this thread got to run, and it must not be skipped.
    uint64_t seen = 0;
    const auto posted = [&] { return stop_.load(std::memory_order_acquire) || generation_.load(std::memory_order_acquire) != seen; };
    for (;;) {
      if (!posted()) {
        lk.unlock();
        spin_until(posted);
        lk.lock();
      }
      wake_.wait(lk, posted);
      if (stop_) return;
      seen = generation_.load(std::memory_order_relaxed);
      if (id >= parts_) continue;
      lk.unlock();
      share(id);  // the job's fields were published under m_ and stay fixed until we report
      lk.lock();
      if (finished_.fetch_add(1, std::memory_order_acq_rel) + 1 == parts_ - 1) done_.notify_one();
    }
  }

  std::vector<std::thread> workers_;
  std::mutex submit_;  // held by the caller whose job is running
  std::mutex m_;
  std::condition_variable wake_, done_;
  // Written under m_; atomic so that a spinning thread may read them without it.
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> generation_{0};
  std::atomic<int> finished_{0};
  TaskFn fn_ = nullptr;
  void* ctx_ = nullptr;
  int ntasks_ = 0, parts_ = 0;
  std::atomic<int> next_{0};
};

// A forked child has the pool's memory but none of its threads: it must neither wait for
// them nor join them at exit, so after a fork the child runs everything inline and leaves the
// pool alone.
std::atomic<bool> g_forked_child{false};
void mark_child() { g_forked_child.store(true, std::memory_order_relaxed); }

Pool* g_pool = nullptr;
struct Shutdown {
  ~Shutdown() {
    if (g_pool && !g_forked_child.load(std::memory_order_relaxed) && zorp::core_os::kJoinWorkersAtExit) delete g_pool;
  }
};

Pool& pool() {
  static Shutdown shutdown;  // constructed before the pool, so it runs after nothing else needs it
  static Pool* p = [] {
    zorp::core_os::at_fork_child(mark_child);
    zorp::core_os::keep_library_loaded();
    g_pool = new Pool(thread_limit());
    return g_pool;
  }();
  return *p;
}

void parallel(int ntasks, int max_threads, void* ctx, TaskFn fn) {
  if (!fn || ntasks <= 0) return;
  int parts = std::min(ntasks, max_threads > 0 ? std::min(max_threads, thread_limit()) : thread_limit());
  if (parts <= 1 || t_inside_task || g_forked_child.load(std::memory_order_relaxed) ||
      !pool().run(ntasks, parts, ctx, fn))
    run_inline(ntasks, ctx, fn);
}

// The data-fitting launcher hands out items to workers of a different signature.
struct DfJob {
  zorp_df_worker_fn worker;
  void* ctx;
};
void df_task(int item, int thread, int, void* ctx) {
  const DfJob* j = static_cast<const DfJob*>(ctx);
  j->worker(j->ctx, item, thread);
}
void df_launch(int nitems, int nthreads, void* ctx, zorp_df_worker_fn worker) {
  if (!worker) return;
  DfJob job{worker, ctx};
  parallel(nitems, nthreads, &job, df_task);
}
int df_nthreads() { return thread_limit(); }

// Entries 1 and 5 are the ones the data-fitting routines use; the rest of the table is
// reserved and stays null.
void* g_df_table[8] = {reinterpret_cast<void*>(&df_launch), nullptr, nullptr, nullptr,
                       reinterpret_cast<void*>(&df_nthreads), nullptr, nullptr, nullptr};
}  // namespace

extern "C" {

int zorp_tarr_serv_threader_get_num_threads_limit(void) { return thread_limit(); }

// `flags` is reserved (callers pass 0).
void zorp_tarr_serv_threader_for(int ntasks, int flags, void* ctx, zorp_thread_task_fn fn) {
  parallel(ntasks, 0, ctx, fn);
}

void* zorp_serv_load_thread_fun(const char* name) {
  if (!name) return nullptr;
  if (std::strcmp(name, "zorp_tarr_serv_threader_get_num_threads_limit") == 0)
    return reinterpret_cast<void*>(&zorp_tarr_serv_threader_get_num_threads_limit);
  if (std::strcmp(name, "zorp_tarr_serv_threader_for") == 0)
    return reinterpret_cast<void*>(&zorp_tarr_serv_threader_for);
  return nullptr;
}

void** zorp_serv_df_threading_table(void) { return g_df_table; }

}  // extern "C"
