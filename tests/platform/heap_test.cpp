// The private heap and thread-record setup, tested white-box: the sources are compiled into
// this test (their symbols are hidden in the library, so nothing clashes) without the load
// hooks, so the test drives attach/detach itself.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "vm/state/thread_state.h"

namespace zp = zorp::platform;

TEST(PrivateHeap, BlocksAreAlignedDistinctAndReused) {
  zp::Heap* h = zp::heap_create(32);
  ASSERT_NE(h, nullptr);
  std::vector<void*> blocks;
  std::set<void*> seen;
  for (size_t bytes : {1u, 16u, 24u, 100u, 1024u, 1025u, 70000u, 3u}) {
    for (int k = 0; k < 50; ++k) {
      void* p = zp::heap_alloc(h, bytes);
      ASSERT_NE(p, nullptr);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
      EXPECT_TRUE(seen.insert(p).second) << "block handed out twice";
      std::memset(p, 0xAB, bytes);  // must be writable over its whole size
      blocks.push_back(p);
    }
  }
  // Freed small blocks come back for the same size.
  void* first = blocks.front();
  zp::heap_free(h, first);
  EXPECT_EQ(zp::heap_alloc(h, 1), first);
  for (size_t i = 1; i < blocks.size(); i += 2) zp::heap_free(h, blocks[i]);
  zp::heap_destroy(h);  // frees the rest at once
}

TEST(PrivateHeap, ManyRegionsAndDestroy) {
  for (int round = 0; round < 5; ++round) {
    zp::Heap* h = zp::heap_create(32);
    for (int k = 0; k < 20000; ++k) ASSERT_NE(zp::heap_alloc(h, 24), nullptr);
    zp::heap_destroy(h);
  }
}

TEST(PrivateHeap, InjectedFailureHitsTheKthAllocation) {
  zp::Heap* h = zp::heap_create(32);
  zp::heap_fail_allocation(3);
  EXPECT_NE(zp::heap_alloc(h, 8), nullptr);
  EXPECT_NE(zp::heap_alloc(h, 8), nullptr);
  EXPECT_EQ(zp::heap_alloc(h, 8), nullptr);
  EXPECT_NE(zp::heap_alloc(h, 8), nullptr);
  zp::heap_destroy(h);
}

TEST(ThreadRecord, AttachCreatesARecordAndDetachFreesIt) {
  ASSERT_TRUE(zorp::lifecycle::process_attach());
  zorp::vm::ThreadState* main_record = zorp::vm::thread_state();
  EXPECT_EQ(main_record->mode, 0u);  // a new record is all zero
  EXPECT_EQ(main_record->callback, nullptr);
  EXPECT_EQ(zorp::vm::current_mode(), 0x1A02u);
  zorp::vm::ThreadState* other = nullptr;
  std::thread([&] { other = zorp::vm::thread_state(); }).join();
  EXPECT_NE(other, main_record);
  zorp::lifecycle::process_detach(/*unloading=*/true);
  // After an unload, the next use sets everything up again.
  EXPECT_EQ(zorp::vm::thread_state()->mode, 0u);
  zorp::lifecycle::process_detach(true);
}

TEST(ThreadRecord, ProcessExitLeavesEverythingAlone) {
  ASSERT_TRUE(zorp::lifecycle::process_attach());
  zorp::vm::ThreadState* rec = zorp::vm::thread_state();
  rec->status = 7;
  zorp::lifecycle::process_detach(/*unloading=*/false);
  EXPECT_EQ(zorp::vm::thread_state(), rec);
  EXPECT_EQ(rec->status, 7);
  zorp::lifecycle::process_detach(true);
}

TEST(ThreadRecordDeathTest, RecordThatCannotBeMadeEndsTheProcessWithCode3) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        zp::heap_fail_allocation(1);
        std::thread([] { zorp::vm::thread_state(); }).join();
      },
      testing::ExitedWithCode(3), "per-thread state");
}
