// Stream blocks, chunk lists and the shared read-only table: creation and copying, chunk order,
// lifetime of shared data, the 127/128 thresholds, allocation failure at every step (no leaks),
// and the shared table used from two threads.
#include <thread>

#include "model.h"

namespace {

using ref::NoLeaks;
using ref::Stream;

void* block(uint32_t bytes, uint8_t fill) {
  void* p = zorp_serv_allocate(bytes, 128);
  std::memset(p, fill, bytes);
  return p;
}

std::vector<uint32_t> ids(const StreamState* s) {
  std::vector<uint32_t> r;
  for (const StreamChunk* c = s->chunks; c; c = c->next) r.push_back(c->id);
  return r;
}

uint32_t refs(const uint64_t* key) {
  GlobRODataTableEntry* e = nullptr;
  return __tarrFindGlobRODataTableEntry(&e, key) == 0 ? e->refs : 0;
}

// A legacy number keeps its number in the header and runs the member it stands for; a missing
// handle or stream is refused instead of read.
TEST(Stream, HeaderLegacyNumbersAndNullStreams) {
  Stream s(100, {5, 6}), t(TARR_BRNG_WH + 96, {5, 6});
  EXPECT_EQ(__tarrGetStreamStateBrng(s.s), 100u);
  EXPECT_EQ(s.s->reserved, 1u);
  EXPECT_EQ(ref::draw(s.s, 64), ref::draw(t.s, 64));
  EXPECT_EQ(__tarrDeleteStream(&s.s), 0);
  EXPECT_EQ(s.s, nullptr);
  EXPECT_EQ(__tarrNewStreamEx(nullptr, TARR_BRNG_MCG31, 0, nullptr), TARR_ERROR_NULL_ENTRY);
  EXPECT_EQ(static_cast<int32_t>(__tarrGetStreamStateBrng(nullptr)), TARR_ERROR_NULL_ENTRY);
  EXPECT_EQ(__tarrGetStreamSize(nullptr), TARR_ERROR_NULL_ENTRY);
  EXPECT_EQ(__tarrCopyStreamState(nullptr, nullptr), TARR_ERROR_NULL_ENTRY);
  EXPECT_EQ(__tarrSkipAheadStream(nullptr, 1), TARR_ERROR_NULL_ENTRY);
}

TEST(Stream, SizeCountsStateAndChunks) {
  Stream st(TARR_BRNG_MCG31, {});
  StreamState* s = st.s;
  EXPECT_EQ(__tarrGetStreamSize(s), 24 + 8 + 24 + 384);
  ASSERT_EQ(__tarrAddChunk(s, 3, nullptr, block(100, 1), 100), 0);
  EXPECT_EQ(__tarrGetStreamSize(s), 24 + 8 + 24 + 384 + 24 + 100);
  ASSERT_EQ(__tarrDeleteChunks(s), 0);
  EXPECT_EQ(__tarrGetNumChunks(s), 0);
  EXPECT_EQ(__tarrSearchChunk(s, 14), nullptr);
  EXPECT_EQ(__tarrGetStreamSize(s), 32);
}

// A copy holds the source's chunks in reverse order with private data copied and shared data
// referenced; each stream's deletion leaves the other intact, and shared data lives until the last.
TEST(Stream, CopyReversesChunksAndSharesKeyedData) {
  const NoLeaks leaks;
  uint64_t key[2];
  ASSERT_EQ(__tarrGenerateNewGlobalRODataTableEntryId(key, 0xC0FFEE), 0);
  StreamState* src = nullptr;
  ASSERT_EQ(__tarrNewStreamEx(&src, TARR_BRNG_MRG32K3A, 0, nullptr), 0);
  void* priv = block(64, 7);
  void* shared = block(32, 9);
  ASSERT_EQ(__tarrAddChunk(src, 1, nullptr, priv, 64), 0);
  ASSERT_EQ(__tarrAddChunk(src, 9, key, shared, 32), 0);
  EXPECT_EQ(ids(src), (std::vector<uint32_t>{9, 1}));
  EXPECT_EQ(refs(key), 1u);

  StreamState* dst = nullptr;
  ASSERT_EQ(__tarrCopyStream(&dst, src), 0);
  EXPECT_EQ(ids(dst), (std::vector<uint32_t>{1, 9}));
  EXPECT_EQ(__tarrSearchChunk(dst, 9), shared);
  void* copy = __tarrSearchChunk(dst, 1);
  EXPECT_NE(copy, priv);
  EXPECT_EQ(std::memcmp(copy, priv, 64), 0);
  EXPECT_EQ(refs(key), 2u);
  EXPECT_EQ(std::memcmp(reinterpret_cast<char*>(src) + 16, reinterpret_cast<char*>(dst) + 16, 24), 0);

  __tarrDeleteStream(&dst);
  EXPECT_EQ(ids(src), (std::vector<uint32_t>{9, 1}));
  EXPECT_EQ(refs(key), 1u);
  EXPECT_EQ(static_cast<uint8_t*>(__tarrSearchChunk(src, 9))[31], 9);
  __tarrDeleteStream(&src);
  EXPECT_EQ(refs(key), 0u);
}

TEST(Stream, CopyStateCopiesLeadingStateAndChunks) {
  Stream sa(TARR_BRNG_MCG31, {111}), sb(TARR_BRNG_MCG31, {222});
  StreamState *a = sa.s, *b = sb.s;
  ASSERT_EQ(__tarrLeapfrogStream(b, 0, 3), 0);
  const uint32_t multiplier = sb.word(1);
  StreamChunk* before = a->chunks;
  EXPECT_EQ(__tarrCopyStreamState(a, a), 0);
  EXPECT_EQ(a->chunks, before);
  ASSERT_EQ(__tarrCopyStreamState(b, a), 0);
  EXPECT_EQ(sb.word(0), 111u);        // x from the source
  EXPECT_EQ(sb.word(1), multiplier);  // the destination keeps its multiplier
  EXPECT_EQ(__tarrGetNumChunks(b), 1);
  EXPECT_EQ(std::memcmp(__tarrSearchChunk(a, 14), __tarrSearchChunk(b, 14), 384), 0);
}

// Streams of different generators: the copy stops at the end of the smaller state area, so
// neither block is read or written past its end (WH declares 4 x 16 bytes over a 32-byte area).
TEST(Stream, CopyStateBetweenGeneratorsStaysInsideBothStates) {
  Stream w(TARR_BRNG_WH, {1, 2, 3, 4}), r(TARR_BRNG_R250, {1}), m(TARR_BRNG_MCG31, {1});
  StreamState *wh = w.s, *r250 = r.s, *mcg = m.s;
  std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(r250) + 16, reinterpret_cast<uint8_t*>(r250) + 1024);
  ASSERT_EQ(__tarrCopyStreamState(r250, wh), 0);
  const uint8_t* state = reinterpret_cast<uint8_t*>(r250) + 16;
  EXPECT_EQ(std::memcmp(state, reinterpret_cast<uint8_t*>(wh) + 16, 32), 0);
  EXPECT_EQ(std::memcmp(state + 32, before.data() + 32, before.size() - 32), 0);
  // The other way the destination bounds the copy: MCG31m1 keeps its 8-byte state.
  ASSERT_EQ(__tarrCopyStreamState(mcg, r250), 0);
  EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t*>(mcg) + 16, state, 4), 0);
}

TEST(Chunks, DeleteByIdKeepsOrderOfTheRest) {
  Stream st(TARR_BRNG_R250, {});
  StreamState* s = st.s;
  EXPECT_EQ(__tarrSearchChunk(s, 9), nullptr);
  void* first13 = block(8, 1);
  void* second13 = block(8, 2);
  ASSERT_EQ(__tarrAddChunk(s, 9, nullptr, block(8, 3), 8), 0);
  ASSERT_EQ(__tarrAddChunk(s, 13, nullptr, second13, 8), 0);
  ASSERT_EQ(__tarrAddChunk(s, 13, nullptr, first13, 8), 0);
  EXPECT_EQ(ids(s), (std::vector<uint32_t>{13, 13, 9}));
  ASSERT_EQ(__tarrDeleteChunksById(s, 9), 0);
  EXPECT_EQ(ids(s), (std::vector<uint32_t>{13, 13}));
  EXPECT_EQ(s->chunks->data, first13);
  EXPECT_EQ(s->chunks->next->data, second13);
  ASSERT_EQ(__tarrDeleteChunksById(s, 13), 0);
  EXPECT_EQ(s->chunks, nullptr);
}

// A chunk added under a key that is already shared takes the shared data; the block passed in is
// not used and stays the caller's to free (freeing it in the library made that a double free).
TEST(Chunks, ExistingKeyLeavesTheCallersBlockAlone) {
  const NoLeaks leaks;
  uint64_t key[2];
  ASSERT_EQ(__tarrGenerateNewGlobalRODataTableEntryId(key, 0xC4), 0);
  {
    Stream a(TARR_BRNG_R250, {}), b(TARR_BRNG_R250, {});
    void* shared = block(16, 1);
    ASSERT_EQ(__tarrAddChunk(a.s, 9, key, shared, 16), 0);
    auto* mine = static_cast<uint8_t*>(block(16, 2));
    ASSERT_EQ(__tarrAddChunk(b.s, 9, key, mine, 16), 0);
    EXPECT_EQ(__tarrSearchChunk(b.s, 9), shared);
    EXPECT_EQ(refs(key), 2u);
    EXPECT_EQ(mine[15], 2);
    zorp_serv_deallocate(mine);
    __tarrDeleteStream(&a.s);
    EXPECT_EQ(static_cast<uint8_t*>(__tarrSearchChunk(b.s, 9))[15], 1);
  }
  EXPECT_EQ(refs(key), 0u);
}

// Keyed chunks are shared while fewer than 127 entries exist; explicit creation may take the 128th
// slot and is refused beyond it without changing anything.
TEST(GlobalTable, ThresholdsAndRefusals) {
  const NoLeaks leaks;
  GlobRODataTableEntry* e = nullptr;
  const uint64_t zero[2] = {0, 0};
  EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, nullptr), TARR_GLOB_NOT_FOUND);
  EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, zero), TARR_GLOB_NOT_FOUND);
  EXPECT_EQ(__tarrCreateGlobRODataTableEntry(&e, zero, nullptr), TARR_ERROR_BAD_ARGUMENTS);

  std::vector<std::array<uint64_t, 2>> keys;
  for (uint64_t i = 0; i < 127; ++i) {
    keys.push_back({i + 1, 0xAB});
    ASSERT_EQ(__tarrCreateGlobRODataTableEntry(&e, keys.back().data(), nullptr), 0) << i;
  }
  EXPECT_EQ(__tarrCreateGlobRODataTableEntry(&e, keys[5].data(), nullptr), TARR_ERROR_BAD_ARGUMENTS);

  StreamState* s = nullptr;
  ASSERT_EQ(__tarrNewStreamEx(&s, TARR_BRNG_R250, 0, nullptr), 0);
  const uint64_t late[2] = {999, 0xAB};
  ASSERT_EQ(__tarrAddChunk(s, 9, late, block(16, 4), 16), 0);
  EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, late), TARR_GLOB_NOT_FOUND);  // stayed private
  EXPECT_EQ(s->chunks->key[0], 0u);
  // An existing key is still shared at the threshold.
  ASSERT_EQ(__tarrAddChunk(s, 9, keys[3].data(), nullptr, 0), 0);
  EXPECT_EQ(refs(keys[3].data()), 2u);

  keys.push_back({128, 0xAB});
  ASSERT_EQ(__tarrCreateGlobRODataTableEntry(&e, keys.back().data(), nullptr), 0);
  const uint64_t extra[2] = {129, 0xAB};
  EXPECT_EQ(__tarrCreateGlobRODataTableEntry(&e, extra, nullptr), TARR_GLOB_TABLE_FULL);
  EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, extra), TARR_GLOB_NOT_FOUND);
  for (const auto& k : keys) EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, k.data()), 0);

  __tarrDeleteStream(&s);
  EXPECT_EQ(refs(keys[3].data()), 1u);
  for (const auto& k : keys) __tarrUnregisterGlobRODataReference(k.data());
  for (const auto& k : keys) EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, k.data()), TARR_GLOB_NOT_FOUND);
}

TEST(GlobalTable, RegisterReferenceAndFreshKeys) {
  uint64_t k1[2], k2[2];
  ASSERT_EQ(__tarrGenerateNewGlobalRODataTableEntryId(k1, 77), 0);
  GlobRODataTableEntry* e = nullptr;
  ASSERT_EQ(__tarrCreateGlobRODataTableEntry(&e, k1, block(8, 5)), 0);
  ASSERT_EQ(__tarrGenerateNewGlobalRODataTableEntryId(k2, 77), 0);
  EXPECT_EQ(k2[1], 77u);
  EXPECT_FALSE(k1[0] == k2[0] && k1[1] == k2[1]);
  StreamChunk c{};
  ASSERT_EQ(__tarrRegisterGlobRODataReference(&c, k2), 0);  // no entry: nothing happens
  EXPECT_EQ(c.data, nullptr);
  ASSERT_EQ(__tarrRegisterGlobRODataReference(&c, k1), 0);
  EXPECT_EQ(c.data, e->data);
  EXPECT_EQ(refs(k1), 2u);
  __tarrUnregisterGlobRODataReference(k1);
  __tarrUnregisterGlobRODataReference(k1);
  EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, k1), TARR_GLOB_NOT_FOUND);
}

// Every allocation of a create or copy fails in turn: the status is -4, the handle is null or a
// stream without chunks that the caller deletes, and no block is left behind.
TEST(AllocationFailure, CreateCopyAndChunks) {
  const NoLeaks leaks;
  // A new stream: its block, then (MCG31m1, MCG59) the power table's data and its record, with
  // the state already written.
  for (uint32_t brng : {TARR_BRNG_MCG31, TARR_BRNG_MCG59, TARR_BRNG_WH}) {
    StreamState* s = reinterpret_cast<StreamState*>(0x1);
    const uint32_t seed = 9;
    const int failures = ref::each_failing_allocation([&] { return __tarrNewStreamEx(&s, brng, 1, &seed); }, [&](int64_t k) {
      if (k == 1) {
        EXPECT_EQ(s, nullptr);
        return;
      }
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(reinterpret_cast<uint32_t*>(s)[4], 9u);
      EXPECT_EQ(__tarrGetNumChunks(s), 0);
      __tarrDeleteStream(&s);
    });
    EXPECT_EQ(failures, brng == TARR_BRNG_WH ? 1 : 3);
    __tarrDeleteStream(&s);
  }
  uint64_t key[2];
  __tarrGenerateNewGlobalRODataTableEntryId(key, 5);
  Stream src(TARR_BRNG_MCG59, {});
  ASSERT_EQ(__tarrAddChunk(src.s, 2, key, block(40, 2), 40), 0);
  ASSERT_EQ(__tarrAddChunk(src.s, 1, nullptr, block(40, 1), 40), 0);
  // A copy: block, private copy of chunk 1, its record, record of chunk 2, private copy of
  // chunk 14, its record.
  StreamState* dst = nullptr;
  EXPECT_EQ(ref::each_failing_allocation([&] { return __tarrCopyStream(&dst, src.s); },
                                         [&](int64_t k) {
                                           EXPECT_EQ(dst == nullptr, k == 1) << k;
                                           if (dst) { EXPECT_EQ(__tarrGetNumChunks(dst), 0) << k; }
                                           __tarrDeleteStream(&dst);
                                           EXPECT_EQ(refs(key), 1u) << k;
                                         }),
            6);
  EXPECT_EQ(ref::failing_allocation(1, [&] { return __tarrAddChunk(dst, 4, nullptr, nullptr, 0); }), TARR_ERROR_NO_MEMORY);
  EXPECT_EQ(__tarrGetNumChunks(dst), 3);
  EXPECT_EQ(ref::failing_allocation(2, [&] { return __tarrCopyStreamState(dst, src.s); }), TARR_ERROR_NO_MEMORY);
  EXPECT_EQ(__tarrGetNumChunks(dst), 0);
  __tarrDeleteStream(&dst);
}

// Two threads create, copy and delete streams that share one keyed chunk, and make keys of their
// own, at the same time. Afterwards the table holds nothing of theirs and no block is left.
TEST(GlobalTable, TwoThreadsAtOnce) {
  const NoLeaks leaks;
  const uint64_t key[2] = {0x5EED, 0x7AB1E};
  auto work = [&key](uint64_t tag) {
    for (int i = 0; i < 200; ++i) {
      StreamState *s = nullptr, *c = nullptr;
      const uint32_t seed = static_cast<uint32_t>(i + 1);
      if (__tarrNewStreamEx(&s, TARR_BRNG_MCG59, 1, &seed) != 0) return;
      void* mine = block(24, static_cast<uint8_t>(tag));
      __tarrAddChunk(s, 9, key, mine, 24);
      if (__tarrSearchChunk(s, 9) != mine) zorp_serv_deallocate(mine);  // the other thread's was shared
      uint64_t own[2];
      __tarrGenerateNewGlobalRODataTableEntryId(own, tag);
      __tarrAddChunk(s, 13, own, block(8, 0), 8);
      __tarrCopyStream(&c, s);
      double r[16];
      __tarrdBRngMCG59(c, 16, r, 0, 1);
      __tarrDeleteStream(&s);
      __tarrDeleteStream(&c);
    }
  };
  std::thread t1(work, 1), t2(work, 2);
  t1.join();
  t2.join();
  GlobRODataTableEntry* e = nullptr;
  EXPECT_EQ(__tarrFindGlobRODataTableEntry(&e, key), TARR_GLOB_NOT_FOUND);
}

}  // namespace
