// The thread pool: every task exactly once, thread numbers in range and never shared by two
// tasks running at the same moment, nested calls inline, the data-fitting launcher, and two
// unrelated callers at once.
#include <gtest/gtest.h>
#include <zorp/core.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "library.h"
#include "common/portable.h"

namespace {
// Four threads even on a two-core machine, so that the pool is exercised with more workers
// than cores; set before the first parallel request reads it (unless the caller chose).
const bool g_threads_set = [] { return zorp::test::set_env("ZORP_CORE_NUM_THREADS", "4", false) == 0; }();

using ForFn = void (*)(int, int, void*, zorp_thread_task_fn);
using LimitFn = int (*)(void);

ForFn for_fn() { return reinterpret_cast<ForFn>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_for")); }

struct Counts {
  explicit Counts(int n, int nthreads_max)
      : hits(new std::atomic<int>[n]), busy(new std::atomic<int>[nthreads_max]), n(n), tmax(nthreads_max) {
    for (int i = 0; i < n; ++i) hits[i] = 0;
    for (int i = 0; i < nthreads_max; ++i) busy[i] = 0;
  }
  std::unique_ptr<std::atomic<int>[]> hits, busy;
  int n, tmax;
  std::atomic<int> bad_thread{0}, shared_thread{0};
};

void count_task(int task, int thread, int nthreads, void* ctx) {
  auto* c = static_cast<Counts*>(ctx);
  if (thread < 0 || thread >= nthreads || nthreads > c->tmax) {
    c->bad_thread++;
    return;
  }
  if (c->busy[thread].fetch_add(1) != 0) c->shared_thread++;
  c->hits[task]++;
  c->busy[thread].fetch_sub(1);
}

TEST(ThreadPool, NamesResolveAndUnknownNamesDoNot) {
  EXPECT_EQ(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_for"),
            zorp::test::exported_address(ZORP_CORE_FILE, "zorp_tarr_serv_threader_for"));
  auto limit = reinterpret_cast<LimitFn>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_get_num_threads_limit"));
  ASSERT_NE(limit, nullptr);
  EXPECT_GE(limit(), 1);
  EXPECT_EQ(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_fo"), nullptr);
  EXPECT_EQ(zorp_serv_load_thread_fun(""), nullptr);
  EXPECT_EQ(zorp_serv_load_thread_fun(nullptr), nullptr);
}

TEST(ThreadPool, ThreadCountComesFromTheEnvironment) {
  ASSERT_TRUE(g_threads_set);
  EXPECT_EQ(zorp_tarr_serv_threader_get_num_threads_limit(), std::atoi(std::getenv("ZORP_CORE_NUM_THREADS")));
}

TEST(ThreadPool, EveryTaskExactlyOnce) {
  const int limit = zorp_tarr_serv_threader_get_num_threads_limit();
  for (int n : {0, 1, 2, 3, 7, 64, 1000, 4097}) {
    Counts c(n > 0 ? n : 1, limit);
    for_fn()(n, 0, &c, count_task);
    for (int i = 0; i < n; ++i) ASSERT_EQ(c.hits[i].load(), 1) << "task " << i << " of " << n;
    EXPECT_EQ(c.bad_thread.load(), 0);
    EXPECT_EQ(c.shared_thread.load(), 0);
  }
}

struct Nest {
  std::atomic<int> inner{0}, outer{0};
};
void inner_task(int, int, int, void* ctx) { static_cast<Nest*>(ctx)->inner++; }
void outer_task(int, int, int, void* ctx) {
  auto* n = static_cast<Nest*>(ctx);
  n->outer++;
  zorp_tarr_serv_threader_for(10, 0, n, inner_task);  // must not wait for the busy pool
}

TEST(ThreadPool, NestedCallsRunInline) {
  Nest n;
  zorp_tarr_serv_threader_for(25, 0, &n, outer_task);
  EXPECT_EQ(n.outer.load(), 25);
  EXPECT_EQ(n.inner.load(), 250);
}

TEST(ThreadPool, TwoCallersAtOnce) {
  const int limit = zorp_tarr_serv_threader_get_num_threads_limit();
  Counts a(3000, limit), b(3000, limit);
  std::thread t([&] {
    for (int r = 0; r < 20; ++r) zorp_tarr_serv_threader_for(150, 0, &a, count_task);
  });
  for (int r = 0; r < 20; ++r) zorp_tarr_serv_threader_for(150, 0, &b, count_task);
  t.join();
  // 20 rounds over tasks 0..149: each of those counted 20 times, the rest never.
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(a.hits[i].load(), i < 150 ? 20 : 0);
    ASSERT_EQ(b.hits[i].load(), i < 150 ? 20 : 0);
  }
  EXPECT_EQ(a.shared_thread.load() + b.shared_thread.load(), 0);
}

// The data-fitting launcher's worker takes (context, item, thread) and no thread count: the
// requested count is the bound.
void df_worker(void* ctx, int item, int thread) { count_task(item, thread, static_cast<Counts*>(ctx)->tmax, ctx); }

TEST(ThreadPool, DataFittingTable) {
  void** table = zorp_serv_df_threading_table();
  ASSERT_NE(table, nullptr);
  auto launch = reinterpret_cast<zorp_df_launch_fn>(table[0]);
  auto nthreads = reinterpret_cast<zorp_df_nthreads_fn>(table[4]);
  ASSERT_NE(launch, nullptr);
  ASSERT_NE(nthreads, nullptr);
  for (int i : {1, 2, 3, 5, 6, 7}) EXPECT_EQ(table[i], nullptr) << i;
  EXPECT_EQ(nthreads(), zorp_tarr_serv_threader_get_num_threads_limit());
  for (int req : {1, 2, nthreads()})
    for (int items : {1, 5, 333}) {
      Counts c(items, req);
      launch(items, req, &c, df_worker);
      EXPECT_EQ(c.bad_thread.load(), 0) << "threads " << req;
      for (int i = 0; i < items; ++i) ASSERT_EQ(c.hits[i].load(), 1);
    }
}
}  // namespace

namespace {
void bump(int, int, int, void* ctx) { static_cast<std::atomic<int>*>(ctx)->fetch_add(1); }

// A forked child has none of the pool's threads: its parallel calls must still finish and its
// exit must not wait for workers that do not exist there.
TEST(ThreadPool, ForkedChildRunsAndExits) {
  if (zorp::test::kOnWindows) GTEST_SKIP() << "POSIX only: Windows has no fork";
  std::atomic<int> n{0};
  zorp_tarr_serv_threader_for(100, 0, &n, bump);  // the pool is running in the parent
  ASSERT_EQ(n.load(), 100);
  EXPECT_EXIT(
      {
        std::atomic<int> m{0};
        zorp_tarr_serv_threader_for(100, 0, &m, bump);
        zorp_serv_exit(m.load() == 100 ? 7 : 1);
      },
      testing::ExitedWithCode(7), "");
}
}  // namespace
