// Abstract streams: the refill protocol as the callback sees it, its failures, the real kinds'
// mapping, the refusals, and copies, saved images and deletion without a leak.
#include <numeric>

#include "model.h"

namespace {

// Numbers what it writes 0, 1, 2, ... and returns, call by call, the counts of a script (its last
// entry repeats): kNmin, kNmax, or a literal count (written only when valid). Calls are logged.
constexpr int kNmin = -100, kNmax = -101;
struct Call {
  int n, nmin, nmax, idx;
  bool operator==(const Call&) const = default;
};
struct Feeder {
  std::vector<int> script;
  std::vector<Call> calls;
  StreamState* seen = nullptr;
  uint32_t next = 0;
} feeder;

template <class T>
int32_t feed(StreamState* s, const int32_t* n, void* buffer, const int32_t* nmin, const int32_t* nmax,
             const int32_t* idx) {
  feeder.seen = s;
  feeder.calls.push_back({*n, *nmin, *nmax, *idx});
  const int c = feeder.script[std::min(feeder.calls.size(), feeder.script.size()) - 1];
  const int count = c == kNmin ? *nmin : c == kNmax ? *nmax : c;
  for (int i = 0; i < count && count <= *nmax; ++i) static_cast<T*>(buffer)[(*idx + i) % *n] = static_cast<T>(feeder.next++);
  return count;
}

void reset(std::vector<int> script) {
  feeder = Feeder{};
  feeder.script = std::move(script);
}

StreamState* int_stream(std::vector<int> script, uint32_t* buffer, int32_t n) {
  reset(std::move(script));
  StreamState* s = nullptr;
  EXPECT_EQ(__tarriNewAbstractStream(&s, n, buffer, feed<uint32_t>), 0);
  return s;
}

// Any split of requests reads the numbers in the order written; the callback is asked only when
// nothing waits, from the slot after the last number handed out, for at most n. A count it returns
// outside 1 .. nmax fails the request; what was handed out before stays written.
TEST(AbstractStream, RefillProtocol) {
  constexpr int32_t kUpdate = TARR_ERROR_ABSTRACT_UPDATE;
  const struct {
    std::vector<int> script, requests;
    std::vector<Call> calls;
    int32_t status = 0;
  } cases[] = {
      {{kNmin}, {3, 3, 6}, {{4, 3, 4, 0}, {4, 3, 4, 3}, {4, 4, 4, 2}, {4, 2, 4, 2}}},
      {{1}, {3, 1}, {{4, 3, 4, 0}, {4, 2, 4, 1}, {4, 1, 4, 2}, {4, 1, 4, 3}}},
      {{kNmax}, {3, 2, 3}, {{4, 3, 4, 0}, {4, 1, 4, 0}}},
      {{kNmin}, {0, 2}, {{4, 2, 4, 0}}},
      {{2, -1}, {3}, {{4, 3, 4, 0}, {4, 1, 4, 2}}, kUpdate},
      {{2, 5}, {3}, {{4, 3, 4, 0}, {4, 1, 4, 2}}, kUpdate},
      {{2, 0}, {3}, {{4, 3, 4, 0}, {4, 1, 4, 2}}, TARR_ERROR_ABSTRACT_EMPTY},
  };
  for (const auto& c : cases) {
    uint32_t buffer[4];
    StreamState* s = int_stream(c.script, buffer, 4);
    std::vector<uint32_t> got;
    for (int m : c.requests) {
      std::vector<uint32_t> r(static_cast<size_t>(m), 7);
      EXPECT_EQ(__tarriBRngiAbstract(s, m, r.data()), c.status);
      got.insert(got.end(), r.begin(), r.end());
    }
    std::vector<uint32_t> want(got.size());
    std::iota(want.begin(), want.end(), 0u);
    if (c.status) want.back() = 7;
    const std::string what = "case " + std::to_string(&c - cases);
    EXPECT_EQ(got, want) << what;
    EXPECT_EQ(feeder.calls, c.calls) << what;
    EXPECT_EQ(feeder.seen, s);
    __tarrDeleteStream(&s);
  }
}

// Numbers 0 .. 7 of [-8, 8] land on [2, 4] as 3 + u / 8; the other two types are refused through the row.
template <class T>
void check_real_kind(int32_t (*make)(StreamState**, int32_t, T*, T, T, AbstractStreamUpdate), uint32_t brng) {
  reset({kNmin});
  T buffer[8], r[8];
  StreamState* s = nullptr;
  ASSERT_EQ(make(&s, 8, buffer, T(-8), T(8), feed<T>), 0);
  uint32_t index = 0, words[1];
  const BrngProperties& row = __tarrGetBrngBaseOffset(brng, &index, nullptr)[index];
  if constexpr (sizeof(T) == 8) ASSERT_EQ(row.dBRng(s, 8, r, 2, 4), 0);
  else ASSERT_EQ(row.sBRng(s, 8, r, 2, 4), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r[i], T(3) + T(i) / T(8)) << i;
  float f;
  double d;
  EXPECT_EQ(row.iBRng(s, 1, words), TARR_ERROR_ABSTRACT_KIND);
  EXPECT_EQ(sizeof(T) == 8 ? row.sBRng(s, 1, &f, 0, 1) : row.dBRng(s, 1, &d, 0, 1), TARR_ERROR_ABSTRACT_KIND);
  __tarrDeleteStream(&s);
}

TEST(AbstractStream, KindsServeTheirOwnTypeOnly) {
  check_real_kind<double>(__tarrdNewAbstractStream, TARR_BRNG_DABSTRACT);
  check_real_kind<float>(__tarrsNewAbstractStream, TARR_BRNG_SABSTRACT);
  uint32_t buffer[2];
  float f;
  double d;
  const uint64_t count = 5;
  StreamState* s = int_stream({kNmin}, buffer, 2);
  EXPECT_EQ(__tarrsBRngiAbstract(s, 1, &f, 0, 1), TARR_ERROR_ABSTRACT_KIND);
  EXPECT_EQ(__tarrdBRngiAbstract(s, 1, &d, 0, 1), TARR_ERROR_ABSTRACT_KIND);
  EXPECT_EQ(__tarrLeapfrogStream(s, 0, 2), TARR_ERROR_NO_LEAPFROG);
  EXPECT_EQ(__tarrSkipAheadStream(s, 5), TARR_ERROR_NO_SKIPAHEAD);
  EXPECT_EQ(__tarrSkipAheadStreamEx(s, 1, &count), TARR_ERROR_NO_SKIPAHEAD_EX);
  EXPECT_EQ(__tarrBRngiAbstractInitStream(4, s, 0, nullptr), TARR_ERROR_UNKNOWN_METHOD);
  EXPECT_TRUE(feeder.calls.empty());
  __tarrDeleteStream(&s);
}

double dbuf[2];
float fbuf[2];
uint32_t ubuf[2];

// Bad arguments leave the handle alone; a failed allocation nulls it.
TEST(AbstractStream, CreationRefusals) {
  using Make = int32_t (*)(StreamState**);
  for (Make make : {+[](StreamState** s) { return __tarrdNewAbstractStream(s, 0, dbuf, 0, 1, feed<double>); },
                    +[](StreamState** s) { return __tarriNewAbstractStream(s, 2, nullptr, feed<uint32_t>); },
                    +[](StreamState** s) { return __tarrsNewAbstractStream(s, 2, fbuf, 0, 1, nullptr); },
                    +[](StreamState** s) { return __tarrdNewAbstractStream(s, 2, dbuf, 1, 1, feed<double>); },
                    +[](StreamState** s) { return __tarrsNewAbstractStream(s, 2, fbuf, 0, std::nanf(""), feed<float>); }}) {
    auto* sentinel = reinterpret_cast<StreamState*>(0x1234);
    StreamState* s = sentinel;
    EXPECT_EQ(make(&s), TARR_ERROR_BAD_ARGUMENTS);
    EXPECT_EQ(s, sentinel);
  }
  StreamState* s = nullptr;
  zorp_core_fail_allocation(1);
  EXPECT_EQ(__tarriNewAbstractStream(&s, 2, ubuf, feed<uint32_t>), TARR_ERROR_NO_MEMORY);
  zorp_core_fail_allocation(0);
  EXPECT_EQ(s, nullptr);
}

// Copies and loaded images go on from the same waiting numbers in the same caller buffer;
// copying the state copies nothing; a loaded image without a buffer is refused; nothing leaks.
TEST(AbstractStream, CopiesSavedImagesAndDeletion) {
  const int64_t live = zorp_core_live_allocations();
  uint32_t buffer[4], r[2];
  StreamState *s = int_stream({kNmax}, buffer, 4), *copy = nullptr, *loaded = nullptr;
  ASSERT_EQ(__tarriBRngiAbstract(s, 2, r), 0);  // 2 and 3 wait
  ASSERT_EQ(__tarrCopyStream(&copy, s), 0);
  std::vector<uint8_t> image = ref::image_of(s);
  ASSERT_EQ(__tarrLoadStreamM(&loaded, image.data()), 0);
  EXPECT_EQ(__tarrCopyStreamState(copy, s), 0);
  for (StreamState* t : {s, copy, loaded}) {
    ASSERT_EQ(__tarriBRngiAbstract(t, 2, r), 0);
    EXPECT_EQ(std::vector<uint32_t>(r, r + 2), (std::vector<uint32_t>{2, 3}));
  }
  EXPECT_EQ(feeder.calls.size(), 1u);
  __tarrDeleteStream(&loaded);
  std::memset(image.data() + 24 + 16, 0, sizeof(void*));  // the state's buffer address
  ASSERT_EQ(__tarrLoadStreamM(&loaded, image.data()), 0);
  EXPECT_EQ(__tarriBRngiAbstract(loaded, 1, r), TARR_ERROR_NULL_ENTRY);
  for (StreamState* t : {s, copy, loaded}) __tarrDeleteStream(&t);
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

}  // namespace
