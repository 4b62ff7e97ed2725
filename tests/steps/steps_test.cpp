// The step layer both compute families run their routines on (common/steps.h), through a pool
// of its own that runs parts in reverse order: the carver's sizes, alignment and zeroing, the
// spans, how many threads a plan gets, when the pool is used, the merge of part statuses in part
// order, early success, and what a failed allocation or an empty work space does.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/steps.h"
#include "zorp/core.h"

namespace {

using zorp::steps::Carver;
using zorp::steps::kNothingToDo;
using zorp::steps::span_of;

TEST(Carver, SizesRoundEachPieceTo128Bytes) {
  struct Row { int64_t ints, doubles; size_t bytes; };
  const Row rows[] = {{0, 0, 0}, {1, 0, 128}, {32, 0, 128}, {33, 0, 256}, {-4, 0, 0},
                      {32, 16, 256}, {32, 17, 384}, {0, 1, 128}};
  for (const Row& r : rows) {
    Carver dry;
    EXPECT_EQ(dry.take<int32_t>(r.ints), nullptr);
    EXPECT_EQ(dry.scratch<double>(r.doubles), nullptr);
    EXPECT_EQ(dry.used(), r.bytes) << r.ints << " ints, " << r.doubles << " doubles";
  }
}

TEST(Carver, HandsOutAlignedPiecesTakeZeroedScratchAsIs) {
  alignas(128) static unsigned char block[1024];
  std::fill(std::begin(block), std::end(block), 0xAB);
  Carver c(block);
  int* a = c.take<int>(3);
  double* s = c.scratch<double>(5);
  float** each = c.take_each<float>(2, 40);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(a), block);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(s), block + 128);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(a[k], 0);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(s)[0], 0xAB);  // scratch is not zeroed
  // The table of two addresses, then the two pieces of 40 floats (160 bytes: two lines each).
  EXPECT_EQ(reinterpret_cast<unsigned char*>(each), block + 256);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(each[0]), block + 384);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(each[1]), block + 640);
  EXPECT_EQ(each[1][39], 0.0f);
  EXPECT_EQ(c.used(), 896u);
}

TEST(Span, EveryPartTheQuotientTheLastAlsoTheRemainder) {
  struct Row { int64_t count; int parts, r; int64_t begin, end; };
  const Row rows[] = {{10, 3, 0, 0, 3}, {10, 3, 1, 3, 6}, {10, 3, 2, 6, 10}, {0, 1, 0, 0, 0},
                      {5, 5, 4, 4, 5},  {2, 3, 0, 0, 0},  {2, 3, 2, 0, 2},   {7, 1, 0, 0, 7}};
  for (const Row& r : rows) {
    const auto s = span_of(r.count, r.parts, r.r);
    EXPECT_EQ(s.begin, r.begin) << r.count << "/" << r.parts << " part " << r.r;
    EXPECT_EQ(s.end, r.end) << r.count << "/" << r.parts << " part " << r.r;
    EXPECT_EQ(s.size(), r.end - r.begin);
  }
}

// A pool that records its launches and runs the parts last first, each on thread part % threads.
struct Record { int launches = 0, threads = 0; };
Record g_record;

template <bool always>
struct ReversePool {
  static constexpr int kAllocationFailure = -77;
  static constexpr bool kAlwaysLaunch = always;
  bool on = true;
  int most = 4;
  bool available() const { return on; }
  int limit() const { return most; }
  template <class Body>
  void run(int parts, int threads, Body& body) const {
    ++g_record.launches;
    g_record.threads = threads;
    for (int k = parts - 1; k >= 0; --k) body(k, k % threads);
  }
};

// A routine whose every step is scripted: which step ends the call early, what each part
// returns, how much it carves; it records the order of its parts and the threads they ran on.
template <bool always>
struct Scripted : zorp::steps::Split<ReversePool<always>> {
  int check_rc = 0, plan_rc = 0, start_rc = 0, finish_rc = 0;
  int want_parts = 1;
  bool want_threads = false;
  int64_t words = 0;             // carved per thread
  std::vector<int> part_rc;      // by part, 0 when absent
  std::vector<int> ran, on;      // parts in the order they ran, and their threads
  int64_t** each = nullptr;
  bool finished = false;

  int check() { return check_rc; }
  int plan() {
    this->parts = want_parts;
    this->threaded = want_threads;
    return plan_rc;
  }
  void carve(Carver& c) { each = words ? c.take_each<int64_t>(this->threads, words) : nullptr; }
  int start() { return start_rc; }
  int part(int p, int thread) {
    ran.push_back(p);
    on.push_back(thread);
    if (each) each[thread][0] += 1;  // a thread's own scratch, zeroed by the carver
    return p < int(part_rc.size()) ? part_rc[p] : 0;
  }
  int finish() {
    finished = true;
    return finish_rc;
  }
};

TEST(RunSteps, ThreadsAndLaunchesByPlanAndPool) {
  struct Row { bool always, threaded, available; int limit, parts; int threads, launches; };
  const Row rows[] = {
      {false, false, true, 4, 6, 1, 0},  // not wanted
      {false, true, false, 4, 6, 1, 0},  // no pool
      {false, true, true, 4, 6, 4, 1},   // capped by the pool's limit
      {false, true, true, 4, 3, 3, 1},   // capped by the parts
      {false, true, true, 1, 6, 1, 0},   // one thread: the calling thread
      {false, true, true, 4, 1, 1, 0},   // one part: the calling thread
      {true, true, true, 1, 6, 1, 1},    // a pool that always launches: its one thread
      {true, true, true, 4, 1, 1, 1},    // and its one part
      {true, false, true, 4, 6, 1, 0},   // still not when not wanted
      {true, true, false, 4, 6, 1, 0},   // nor without a pool
  };
  for (const Row& r : rows) {
    g_record = {};
    auto run = [&](auto& s) {
      s.pool.on = r.available;
      s.pool.most = r.limit;
      s.want_parts = r.parts;
      s.want_threads = r.threaded;
      s.words = 3;
      EXPECT_EQ(zorp::steps::run_steps(s), 0);
      EXPECT_EQ(s.threads, r.threads);
      EXPECT_EQ(int(s.ran.size()), r.parts);
      for (int t : s.on) EXPECT_LT(t, s.threads);
      EXPECT_TRUE(s.finished);
    };
    if (r.always) {
      Scripted<true> s;
      run(s);
    } else {
      Scripted<false> s;
      run(s);
    }
    EXPECT_EQ(g_record.launches, r.launches) << "row limit " << r.limit << " parts " << r.parts;
  }
}

TEST(RunSteps, StatusesEarlySuccessAndThePartOrder) {
  struct Row {
    const char* what;
    int check_rc, plan_rc, start_rc, finish_rc;
    std::vector<int> part_rc;
    bool threaded;
    int rc;
    int parts_run;
    bool finished;
  };
  const Row rows[] = {
      {"check fails", -5, 0, 0, 0, {}, false, -5, 0, false},
      {"check: nothing to do", kNothingToDo, -6, 0, 0, {}, false, 0, 0, false},
      {"plan: nothing to do", 0, kNothingToDo, 0, 0, {}, false, 0, 0, false},
      {"plan fails", 0, -6, 0, 0, {}, false, -6, 0, false},
      {"start fails", 0, 0, -7, 0, {}, true, -7, 0, false},
      {"finish's status", 0, 0, 0, -8, {}, true, -8, 5, true},
      // Several parts fail: every part runs, the first failing part's status is the call's,
      // whichever ran first (the pool runs them last first).
      {"pool: first in part order", 0, 0, 0, 0, {0, -11, 0, -12, 0}, true, -11, 5, false},
      {"serial: first in part order", 0, 0, 0, 0, {0, -11, 0, -12, 0}, false, -11, 5, false},
      {"last part alone", 0, 0, 0, 0, {0, 0, 0, 0, -13}, true, -13, 5, false},
  };
  for (const Row& r : rows) {
    Scripted<false> s;
    s.check_rc = r.check_rc, s.plan_rc = r.plan_rc, s.start_rc = r.start_rc, s.finish_rc = r.finish_rc;
    s.part_rc = r.part_rc;
    s.want_parts = 5;
    s.want_threads = r.threaded;
    s.words = 1;
    EXPECT_EQ(zorp::steps::run_steps(s), r.rc) << r.what;
    EXPECT_EQ(int(s.ran.size()), r.parts_run) << r.what;
    EXPECT_EQ(s.finished, r.finished) << r.what;
  }
}

TEST(RunSteps, AllocationFailsWithThePolicysCodeAndEmptyWorkSpaceAllocatesNothing) {
  struct Row {
    int64_t words;
    bool threaded, armed;
    int rc;
    int64_t allocations;  // that succeeded
  };
  const Row rows[] = {{0, false, false, 0, 0},    // nothing carved: no allocation
                      {0, false, true, 0, 0},     // and so no failure either
                      {0, true, false, 0, 1},     // the pool's statuses need a block
                      {0, true, true, -77, 0},
                      {4, false, false, 0, 1},
                      {4, false, true, -77, 0},
                      {4, true, true, -77, 0}};
  for (const Row& r : rows) {
    Scripted<false> s;
    s.want_parts = 3;
    s.want_threads = r.threaded;
    s.words = r.words;
    const int64_t count = zorp_core_allocation_count(), live = zorp_core_live_allocations();
    if (r.armed) zorp_core_fail_allocation(1);
    const int rc = zorp::steps::run_steps(s);
    zorp_core_fail_allocation(0);
    EXPECT_EQ(rc, r.rc) << r.words << " words, threaded " << r.threaded << ", armed " << r.armed;
    EXPECT_EQ(zorp_core_allocation_count() - count, r.allocations) << r.words << " words, threaded " << r.threaded;
    EXPECT_EQ(zorp_core_live_allocations(), live);
    EXPECT_EQ(s.ran.empty(), rc != 0);  // a failed allocation runs nothing
  }
}

TEST(UsefulThreads, WorkOverTheLeastPerThreadCappedByThePool) {
  struct Row { bool available; int limit; int64_t units, least; int threads; };
  const Row rows[] = {{false, 8, 1000, 1, 1}, {true, 8, 1000, 1, 8}, {true, 8, 1000, 300, 3},
                      {true, 8, 299, 300, 1}, {true, 8, 0, 300, 1},  {true, 8, 1000, 0, 8},
                      {true, 1, 1000, 1, 1}};
  for (const Row& r : rows) {
    ReversePool<false> pool;
    pool.on = r.available;
    pool.most = r.limit;
    EXPECT_EQ(zorp::steps::useful_threads(pool, r.units, r.least), r.threads) << r.units << " / " << r.least;
  }
}

}  // namespace
