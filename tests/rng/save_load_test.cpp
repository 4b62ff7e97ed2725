// Saved-stream images: round trips in memory and in files for every generator (the loaded stream
// continues exactly where the saved one was), the older header versions, every header check in
// its order, the rebuilt power table, and every failure of a file or an allocation.
#include <cstdio>

#include "model.h"

namespace {

using Image = std::vector<uint8_t>;
using ref::draw;
using ref::image_of;

std::string temp_path(const char* tag) { return ::testing::TempDir() + "zorp_saved_" + tag + ".bin"; }

void write_file(const std::string& path, const Image& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
}

// Both media: the status of loading image b from memory and from a file, and the stream.
struct Loaded {
  int32_t memory, file;
};
Loaded load_both(const Image& b) {
  StreamState *m = nullptr, *f = nullptr;
  Loaded r{__tarrLoadStreamM(&m, b.data()), 0};
  const std::string path = temp_path("both");
  write_file(path, b);
  r.file = __tarrLoadStreamF(&f, path.c_str(), -1);
  EXPECT_TRUE((r.memory == 0 || !m) && (r.file == 0 || !f)) << "a refused load left a handle";
  __tarrDeleteStream(&m);
  __tarrDeleteStream(&f);
  std::remove(path.c_str());
  return r;
}

class SaveLoad : public testing::TestWithParam<ref::GenCase> {};

// Part-way through a block (37 outputs drawn), saved to memory and to a file, loaded back: both
// copies continue with the original's next outputs, and nothing leaks.
TEST_P(SaveLoad, LoadedStreamContinuesTheSavedOne) {
  const ref::NoLeaks leaks;
  ref::Stream st(GetParam().brng, {3, 1, 4, 1, 5, 9, 2, 6});
  StreamState* s = st.s;
  draw(s, 37);
  const Image b = image_of(s);
  const std::string path = temp_path("roundtrip") + "-and-more";
  ASSERT_EQ(__tarrSaveStreamF(s, path.c_str(), static_cast<int32_t>(path.size() - 9)), 0);  // namelen cuts the tail
  const std::string name = path.substr(0, path.size() - 9);
  StreamState *m = nullptr, *f = nullptr;
  ASSERT_EQ(__tarrLoadStreamM(&m, b.data()), 0);
  ASSERT_EQ(__tarrLoadStreamF(&f, name.c_str(), -1), 0);
  EXPECT_EQ(m->brng, s->brng);
  EXPECT_EQ(image_of(f), b);  // the file held the same image
  const auto want = draw(s, 300);
  EXPECT_EQ(draw(m, 300), want);
  EXPECT_EQ(draw(f, 300), want);
  std::remove(name.c_str());
  __tarrDeleteStream(&m);
  __tarrDeleteStream(&f);
}

INSTANTIATE_TEST_SUITE_P(All, SaveLoad, testing::ValuesIn(ref::generator_cases()),
                         [](const testing::TestParamInfo<ref::GenCase>& i) { return i.param.name; });

// An MCG31m1 stream (with its power-table chunk) as the image the header checks run on.
Image mcg31_image(StreamState** keep = nullptr) {
  StreamState* s = nullptr;
  const uint32_t seed = 777;
  EXPECT_EQ(__tarrNewStreamEx(&s, TARR_BRNG_MCG31, 1, &seed), 0);
  draw(s, 5);
  Image b = image_of(s);
  if (keep) *keep = s;
  else __tarrDeleteStream(&s);
  return b;
}

// The older 20-byte header (versions 0 and 1, magic after the version or before it), made from a
// current image: keys dropped for version 0.
Image older(const Image& cur, uint8_t version, bool magic_first) {
  uint32_t S, K32, brng;
  std::memcpy(&S, &cur[12], 4);
  uint16_t K;
  std::memcpy(&K, &cur[16], 2);
  K32 = K;
  std::memcpy(&brng, &cur[20], 4);
  Image b(20, 0);
  if (magic_first) {
    std::memcpy(&b[0], "RNG", 3);
    b[4] = version;
  } else {
    b[0] = version;
    std::memcpy(&b[4], "RNG", 3);
  }
  const uint16_t S16 = static_cast<uint16_t>(S);
  std::memcpy(&b[10], &S16, 2);
  std::memcpy(&b[12], &K, 2);
  std::memcpy(&b[16], &brng, 4);
  b.insert(b.end(), cur.begin() + 24, cur.begin() + 24 + S);
  size_t at = 24 + S;
  for (uint32_t k = 0; k < K32; ++k) {
    uint32_t size;
    std::memcpy(&size, &cur[at + 20], 4);
    b.insert(b.end(), cur.begin() + at, cur.begin() + at + 4);
    if (version != 0) b.insert(b.end(), cur.begin() + at + 4, cur.begin() + at + 20);
    b.insert(b.end(), cur.begin() + at + 20, cur.begin() + at + 24 + size);
    at += 24 + size;
  }
  return b;
}

// Each header fault in turn, with the code of each medium; checks run in their order, so an image
// with two faults reports the earlier one.
TEST(SaveLoadHeader, ChecksInOrderWithTheCodesOfEachMedium) {
  const Image good = mcg31_image();
  const struct {
    const char* what;
    void (*damage)(Image&);
    int32_t memory, file;
  } cases[] = {
      {"intact", [](Image&) {}, 0, 0},
      {"byte 7 is not compared", [](Image& b) { b[7] = 0x55; }, 0, 0},
      {"no magic", [](Image& b) { b[5] = 'X'; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
      {"version 3", [](Image& b) { b[0] = 3; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_VERSION},
      {"version 3 and a bad identifier", [](Image& b) { b[0] = 3; b[16 + 3] = 0x7F; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_VERSION},
      {"bad identifier", [](Image& b) { b[23] = 0x7F; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
      {"unbuilt generator", [](Image& b) { b[22] = 0x60; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
      {"state size one more", [](Image& b) { ++b[12]; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
      {"state size and header size", [](Image& b) { ++b[12]; b[8] = 23; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
      {"header size 23", [](Image& b) { b[8] = 23; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
      // The power table's size field (after the 24-byte header, 8 state bytes, id and key).
      {"power table a byte short", [](Image& b) { b[52] = 0x7F; }, TARR_ERROR_MEMORY_FORMAT, TARR_ERROR_FILE_FORMAT},
  };
  for (const auto& c : cases) {
    Image b = good;
    c.damage(b);
    const Loaded r = load_both(b);
    EXPECT_EQ(r.memory, c.memory) << c.what;
    EXPECT_EQ(r.file, c.file) << c.what;
  }
}

// Older headers (versions 0 and 1, magic after or before the version byte) load to the same
// stream; version 1 in byte 0 of a 24-byte image is read as a 20-byte header.
TEST(SaveLoadHeader, OlderVersionsLoad) {
  StreamState* s = nullptr;
  const Image cur = mcg31_image(&s);
  const auto want = draw(s, 50);
  for (bool magic_first : {false, true})
    for (uint8_t v : {0, 1, 2}) {
      if (v == 2 && !magic_first) continue;  // version 2 in byte 0 is the 24-byte header
      const Image b = older(cur, v, magic_first);
      StreamState* m = nullptr;
      ASSERT_EQ(__tarrLoadStreamM(&m, b.data()), 0) << int(v) << magic_first;
      EXPECT_EQ(draw(m, 50), want) << int(v) << magic_first;
      __tarrDeleteStream(&m);
    }
  // Version 3 after the magic, the first there that is not known, is refused as in byte 0.
  const Loaded v3 = load_both(older(cur, 3, true));
  EXPECT_EQ(v3.memory, TARR_ERROR_MEMORY_FORMAT);
  EXPECT_EQ(v3.file, TARR_ERROR_FILE_VERSION);
  StreamState* m = nullptr;
  Image v1 = cur;
  v1[0] = 1;  // now a 20-byte header over a 24-byte image: the state size field is read at 10
  EXPECT_EQ(__tarrLoadStreamM(&m, v1.data()), TARR_ERROR_MEMORY_FORMAT);
  __tarrDeleteStream(&s);
}

// Every file failure, and allocation failures at every step of a load: the status of its row,
// a null handle, no block left behind.
TEST(SaveLoadFailures, FilesAndAllocations) {
  const ref::NoLeaks leaks;
  StreamState* s = nullptr;
  const Image b = mcg31_image(&s);
  const std::string path = temp_path("failures");
  StreamState* m = nullptr;
  const std::string missing = ::testing::TempDir() + "no_such_dir/x.bin";
  EXPECT_EQ(__tarrSaveStreamF(s, missing.c_str(), -1), TARR_ERROR_FILE_OPEN);
  EXPECT_EQ(__tarrLoadStreamF(&m, missing.c_str(), -1), TARR_ERROR_FILE_OPEN);
  for (int k = 1; k <= 6; ++k) {  // header, state, then id, key, size, data of the chunk
    zorp_core_fail_file_write(k);
    EXPECT_EQ(__tarrSaveStreamF(s, path.c_str(), -1), TARR_ERROR_FILE_WRITE) << k;
  }
  zorp_core_fail_file_write(1);
  zorp_core_fail_file_close(1);
  EXPECT_EQ(__tarrSaveStreamF(s, path.c_str(), -1), TARR_ERROR_FILE_CLOSE);  // outranks the write
  ASSERT_EQ(__tarrSaveStreamF(s, path.c_str(), -1), 0);
  zorp_core_fail_file_close(1);
  EXPECT_EQ(__tarrLoadStreamF(&m, path.c_str(), -1), TARR_ERROR_FILE_CLOSE);
  EXPECT_EQ(m, nullptr);
  const int32_t len = static_cast<int32_t>(path.size());  // the copy of the name is allocation 1
  EXPECT_EQ(ref::failing_allocation(1, [&] { return __tarrSaveStreamF(s, path.c_str(), len); }), TARR_ERROR_NO_MEMORY);
  EXPECT_EQ(ref::failing_allocation(1, [&] { return __tarrLoadStreamF(&m, path.c_str(), len); }), TARR_ERROR_NO_MEMORY);
  // Memory: the block, then the chunk's data, then its record.
  EXPECT_EQ(ref::each_failing_allocation([&] { return __tarrLoadStreamM(&m, b.data()); }, [&](int64_t) { EXPECT_EQ(m, nullptr); }), 3);
  __tarrDeleteStream(&m);
  // Short files: cut inside the first 8 bytes, the rest of the header, the state, each chunk field.
  for (size_t cut : {size_t{3}, size_t{8}, size_t{20}, size_t{30}, size_t{36}, size_t{40}, size_t{50}, size_t{60}, b.size() - 1}) {
    write_file(path, Image(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(cut)));
    EXPECT_EQ(__tarrLoadStreamF(&m, path.c_str(), -1), TARR_ERROR_FILE_READ) << cut;
    EXPECT_EQ(m, nullptr);
  }
  std::remove(path.c_str());
  __tarrDeleteStream(&s);
}

// Keyed chunks go through the shared table on load: the loaded chunk shares the live entry, and
// the block read for it is freed, not leaked.
TEST(SaveLoad, KeyedChunkJoinsTheSharedEntry) {
  const ref::NoLeaks leaks;
  ref::Stream st(TARR_BRNG_R250, {});
  StreamState* s = st.s;
  uint64_t key[2];
  __tarrGenerateNewGlobalRODataTableEntryId(key, 0x5A);
  void* shared = zorp_serv_allocate(32, 128);
  std::memset(shared, 7, 32);
  ASSERT_EQ(__tarrAddChunk(s, 9, key, shared, 32), 0);
  const Image b = image_of(s);
  StreamState* m = nullptr;
  ASSERT_EQ(__tarrLoadStreamM(&m, b.data()), 0);
  EXPECT_EQ(__tarrSearchChunk(m, 9), shared);
  __tarrDeleteStream(&m);
  // An image claiming more bytes under that key than the entry holds is refused: saving such a
  // stream would read past the shared block.
  Image longer = b;
  longer.push_back(7);
  const uint32_t claim = 33;
  std::memcpy(longer.data() + b.size() - 36, &claim, 4);  // the size field of the one chunk
  EXPECT_EQ(__tarrLoadStreamM(&m, longer.data()), TARR_ERROR_MEMORY_FORMAT);
  EXPECT_EQ(m, nullptr);
}

// Damage that a load repairs: an image and its damaged copy load to streams that go on alike. A
// damaged power table is rebuilt from the loaded state; a counter-based stream's count of unread
// buffer words out of range reads its whole buffer, as with the count 4, and never past it.
TEST(SaveLoad, LoadRepairsWhatItCanRebuild) {
  const struct {
    uint32_t brng;
    void (*undamaged)(Image&), (*damage)(Image&);
  } rows[] = {
      // The table's last 320 bytes (its type word kept).
      {TARR_BRNG_MCG31, [](Image&) {}, [](Image& b) { for (size_t i = b.size() - 320; i < b.size(); ++i) b[i] ^= 0x5A; }},
      {TARR_BRNG_MCG59, [](Image&) {}, [](Image& b) { for (size_t i = b.size() - 320; i < b.size(); ++i) b[i] ^= 0x5A; }},
      // The count after the header, the 2 key and 4 counter words.
      {TARR_BRNG_PHILOX4X32X10, [](Image& b) { b[48] = 4; }, [](Image& b) { std::memcpy(&b[48], "\xE8\x03\0\0", 4); }},
  };
  for (const auto& r : rows) {
    ref::Stream s(r.brng, {4242, 6});
    draw(s.s, 13);
    Image good = image_of(s.s), bad = good;
    r.undamaged(good);
    r.damage(bad);
    StreamState *g = nullptr, *m = nullptr;
    ASSERT_EQ(__tarrLoadStreamM(&g, good.data()), 0);
    ASSERT_EQ(__tarrLoadStreamM(&m, bad.data()), 0);
    EXPECT_EQ(draw(m, 100), draw(g, 100)) << std::hex << r.brng;
    __tarrDeleteStream(&g);
    __tarrDeleteStream(&m);
  }
}

}  // namespace
