// Abstract streams: the refill protocol as the callback sees it, its failures, the mapping of the
// real kinds, the refusals of everything an abstract stream does not do, and copies, saved images
// and deletion, none of which may touch the caller's buffer or leak.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "zorp/core.h"
#include "zorp/rng.h"

namespace {

// A callback that numbers what it writes 0, 1, 2, ... and returns, call by call, the counts of a
// script: kNmin for what the request still needs, kNmax for every free slot, or a literal count
// (written only when it is a valid one). Every call's (n, nmin, nmax, idx) is logged.
constexpr int kNmin = -100, kNmax = -101;
struct Call {
  int n, nmin, nmax, idx;
  bool operator==(const Call&) const = default;
};
struct Feeder {
  std::vector<int> script;  // the last entry repeats
  std::vector<Call> calls;
  StreamState* seen = nullptr;
  uint32_t next = 0;
} feeder;

template <class T>
int32_t feed(StreamState* s, const int32_t* n, void* buffer, const int32_t* nmin, const int32_t* nmax,
             const int32_t* idx) {
  Feeder& f = feeder;
  f.seen = s;
  f.calls.push_back({*n, *nmin, *nmax, *idx});
  const size_t k = std::min(f.calls.size(), f.script.size()) - 1;
  const int count = f.script[k] == kNmin ? *nmin : f.script[k] == kNmax ? *nmax : f.script[k];
  for (int i = 0; i < count && count <= *nmax; ++i) static_cast<T*>(buffer)[(*idx + i) % *n] = static_cast<T>(f.next++);
  return count;
}

void reset(std::vector<int> script) {
  feeder = Feeder{};
  feeder.script = std::move(script);
}

std::vector<uint32_t> iota(uint32_t from, size_t k) {
  std::vector<uint32_t> v(k);
  for (auto& x : v) x = from++;
  return v;
}

// Requests of any split read the numbers in the order written, and the callback is asked only
// when nothing waits, from the slot after the last number handed out, for at most n.
TEST(AbstractStream, RefillProtocol) {
  const struct {
    const char* what;
    std::vector<int> script, requests;
    std::vector<Call> calls;
  } cases[] = {
      {"exactly what is needed", {kNmin}, {3, 3, 6}, {{4, 3, 4, 0}, {4, 3, 4, 3}, {4, 4, 4, 2}, {4, 2, 4, 2}}},
      {"one at a time", {1}, {3, 1}, {{4, 3, 4, 0}, {4, 2, 4, 1}, {4, 1, 4, 2}, {4, 1, 4, 3}}},
      {"every free slot", {kNmax}, {3, 2, 3}, {{4, 3, 4, 0}, {4, 1, 4, 0}}},
      {"nothing asked", {kNmin}, {0, 2}, {{4, 2, 4, 0}}},
  };
  for (const auto& c : cases) {
    reset(c.script);
    uint32_t buffer[4] = {};
    StreamState* s = nullptr;
    ASSERT_EQ(__tarriNewAbstractStream(&s, 4, buffer, feed<uint32_t>), 0);
    std::vector<uint32_t> got;
    for (int m : c.requests) {
      std::vector<uint32_t> r(static_cast<size_t>(m));
      EXPECT_EQ(__tarriBRngiAbstract(s, m, r.data()), 0) << c.what;
      got.insert(got.end(), r.begin(), r.end());
    }
    EXPECT_EQ(got, iota(0, got.size())) << c.what;
    EXPECT_EQ(feeder.calls, c.calls) << c.what;
    EXPECT_EQ(feeder.seen, s) << c.what;
    __tarrDeleteStream(&s);
  }
}

// A bad count fails the request; what was handed out before stays written.
TEST(AbstractStream, CallbackFailures) {
  const struct {
    int second;  // the count of the second call; the first writes 2
    int32_t status;
  } cases[] = {{-1, TARR_ERROR_ABSTRACT_UPDATE}, {5, TARR_ERROR_ABSTRACT_UPDATE}, {0, TARR_ERROR_ABSTRACT_EMPTY}};
  for (const auto& c : cases) {
    reset({2, c.second});
    uint32_t buffer[4] = {}, r[3] = {7, 7, 7};
    StreamState* s = nullptr;
    ASSERT_EQ(__tarriNewAbstractStream(&s, 4, buffer, feed<uint32_t>), 0);
    EXPECT_EQ(__tarriBRngiAbstract(s, 3, r), c.status) << c.second;
    EXPECT_EQ(std::vector<uint32_t>(r, r + 3), (std::vector<uint32_t>{0, 1, 7})) << c.second;
    __tarrDeleteStream(&s);
  }
}

// The caller's numbers on [a_s, b_s] land on the requested interval in both real kinds; each kind
// refuses the other two number types through its registry row, and every method but seeding.
template <class T>
void check_real_kind(int32_t (*make)(StreamState**, int32_t, T*, T, T, AbstractStreamUpdate), uint32_t brng) {
  reset({kNmin});
  T buffer[8];
  StreamState* s = nullptr;
  ASSERT_EQ(make(&s, 8, buffer, T(0), T(8), feed<T>), 0);  // writes 0 .. 7: u / 8 on [0, 1]
  uint32_t index = 0;
  const BrngProperties& row = __tarrGetBrngBaseOffset(brng, &index, nullptr)[index];
  T r[8];
  if constexpr (sizeof(T) == 8) ASSERT_EQ(row.dBRng(s, 8, r, 2, 4), 0);
  else ASSERT_EQ(row.sBRng(s, 8, r, 2, 4), 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r[i], T(2) + T(2) * T(i) / T(8)) << i;
  std::vector<uint32_t> words(8);
  float f[1];
  double d[1];
  EXPECT_EQ(row.iBRng(s, 1, words.data()), TARR_ERROR_ABSTRACT_KIND);
  EXPECT_EQ(sizeof(T) == 8 ? row.sBRng(s, 1, f, 0, 1) : row.dBRng(s, 1, d, 0, 1), TARR_ERROR_ABSTRACT_KIND);
  __tarrDeleteStream(&s);
}

TEST(AbstractStream, RealKindsMapTheirIntervalAndRefuseOtherTypes) {
  check_real_kind<double>(__tarrdNewAbstractStream, TARR_BRNG_DABSTRACT);
  check_real_kind<float>(__tarrsNewAbstractStream, TARR_BRNG_SABSTRACT);
  reset({kNmin});
  uint32_t buffer[2];
  float f[1];
  double d[1];
  StreamState* s = nullptr;
  ASSERT_EQ(__tarriNewAbstractStream(&s, 2, buffer, feed<uint32_t>), 0);
  EXPECT_EQ(__tarrsBRngiAbstract(s, 1, f, 0, 1), TARR_ERROR_ABSTRACT_KIND);
  EXPECT_EQ(__tarrdBRngiAbstract(s, 1, d, 0, 1), TARR_ERROR_ABSTRACT_KIND);
  const uint64_t count = 5;
  EXPECT_EQ(__tarrLeapfrogStream(s, 0, 2), TARR_ERROR_NO_LEAPFROG);
  EXPECT_EQ(__tarrSkipAheadStream(s, 5), TARR_ERROR_NO_SKIPAHEAD);
  EXPECT_EQ(__tarrSkipAheadStreamEx(s, 1, &count), TARR_ERROR_NO_SKIPAHEAD_EX);
  EXPECT_EQ(__tarrBRngiAbstractInitStream(4, s, 0, nullptr), TARR_ERROR_UNKNOWN_METHOD);
  EXPECT_EQ(feeder.calls.size(), 0u);
  __tarrDeleteStream(&s);
}

double dbuf[2];
float fbuf[2];
uint32_t ubuf[2];

TEST(AbstractStream, CreationRefusesBadArgumentsAndFailedAllocation) {
  using Make = int32_t (*)(StreamState**);
  const struct {
    const char* what;
    Make make;
  } cases[] = {
      {"n = 0", [](StreamState** s) { return __tarrdNewAbstractStream(s, 0, dbuf, 0, 1, feed<double>); }},
      {"negative n", [](StreamState** s) { return __tarriNewAbstractStream(s, -1, ubuf, feed<uint32_t>); }},
      {"no buffer", [](StreamState** s) { return __tarriNewAbstractStream(s, 2, nullptr, feed<uint32_t>); }},
      {"no callback", [](StreamState** s) { return __tarrsNewAbstractStream(s, 2, fbuf, 0, 1, nullptr); }},
      {"a = b", [](StreamState** s) { return __tarrdNewAbstractStream(s, 2, dbuf, 1, 1, feed<double>); }},
      {"a > b", [](StreamState** s) { return __tarrsNewAbstractStream(s, 2, fbuf, 1, 0, feed<float>); }},
      {"NaN bound", [](StreamState** s) { return __tarrdNewAbstractStream(s, 2, dbuf, 0, std::nan(""), feed<double>); }},
  };
  for (const auto& c : cases) {
    auto* sentinel = reinterpret_cast<StreamState*>(0x1234);
    StreamState* s = sentinel;
    EXPECT_EQ(c.make(&s), TARR_ERROR_BAD_ARGUMENTS) << c.what;
    EXPECT_EQ(s, sentinel) << c.what;
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
  reset({kNmax});
  uint32_t buffer[4];
  StreamState *s = nullptr, *copy = nullptr, *loaded = nullptr;
  ASSERT_EQ(__tarriNewAbstractStream(&s, 4, buffer, feed<uint32_t>), 0);
  uint32_t r[2];
  ASSERT_EQ(__tarriBRngiAbstract(s, 2, r), 0);  // 2 and 3 wait
  ASSERT_EQ(__tarrCopyStream(&copy, s), 0);
  std::vector<uint8_t> image(static_cast<size_t>(__tarrGetStreamSize(s)));
  ASSERT_EQ(__tarrSaveStreamM(s, image.data()), 0);
  ASSERT_EQ(__tarrLoadStreamM(&loaded, image.data()), 0);
  EXPECT_EQ(__tarrCopyStreamState(copy, s), 0);
  for (StreamState* t : {s, copy, loaded}) {
    ASSERT_EQ(__tarriBRngiAbstract(t, 2, r), 0);
    EXPECT_EQ(std::vector<uint32_t>(r, r + 2), (std::vector<uint32_t>{2, 3}));
  }
  EXPECT_EQ(feeder.calls.size(), 1u);
  __tarrDeleteStream(&loaded);
  std::memset(image.data() + 24 + 16, 0, sizeof(void*));  // the buffer pointer of the state
  ASSERT_EQ(__tarrLoadStreamM(&loaded, image.data()), 0);
  EXPECT_EQ(__tarriBRngiAbstract(loaded, 1, r), TARR_ERROR_NULL_ENTRY);
  for (StreamState* t : {s, copy, loaded}) __tarrDeleteStream(&t);
  EXPECT_EQ(zorp_core_live_allocations(), live);
}

}  // namespace
