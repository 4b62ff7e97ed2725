// Abstract streams through the checked interface: each refusal at its boundary with nothing made,
// and a stream made by the interface hands out what one made by the raw export does.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <type_traits>
#include <vector>

#include "zorp/zorp.hpp"

namespace {

// Refills every free slot with the next numbers of a counter: the counter itself for words,
// k / 64 for reals (exact in both types).
uint32_t g_next = 0;
template <class T>
int32_t refill(StreamState*, const int32_t* n, void* buffer, const int32_t*, const int32_t* nmax, const int32_t* idx) {
  for (int32_t i = 0; i < *nmax; ++i, ++g_next)
    static_cast<T*>(buffer)[(*idx + i) % *n] = std::is_integral_v<T> ? T(g_next) : static_cast<T>(g_next % 64) / T(64);
  return *nmax;
}

TEST(AbstractStream, RefusalsAtEachBoundary) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  const double below_one = std::nextafter(1.0, 0.0);
  double dbuf[4];
  float fbuf[4];
  uint32_t wbuf[4];
  struct Row {
    const char* what;
    int32_t n;
    bool buffer, update;
    double a, b;
    int32_t expected;  // 0: made
  } rows[] = {
      {"one number", 1, true, true, 0, 1, 0},
      {"no numbers", 0, true, true, 0, 1, TARR_ERROR_BAD_ARGUMENTS},
      {"negative count", -1, true, true, 0, 1, TARR_ERROR_BAD_ARGUMENTS},
      {"null buffer", 4, false, true, 0, 1, TARR_ERROR_BAD_ARGUMENTS},
      {"null callback", 4, true, false, 0, 1, TARR_ERROR_BAD_ARGUMENTS},
      {"empty interval", 4, true, true, 1, 1, TARR_ERROR_BAD_ARGUMENTS},
      {"narrowest interval", 4, true, true, below_one, 1, 0},
      {"reversed interval", 4, true, true, 1, 0, TARR_ERROR_BAD_ARGUMENTS},
      {"infinite end", 4, true, true, -inf, 1, TARR_ERROR_BAD_ARGUMENTS},
      {"NaN end", 4, true, true, 0, std::nan(""), TARR_ERROR_BAD_ARGUMENTS},
  };
  for (const Row& r : rows) {
    const bool interval_row = !(r.a == 0 && r.b == 1);
    StreamState* d = nullptr;
    EXPECT_EQ(zorp_rng_new_abstract_stream_d(&d, r.n, r.buffer ? dbuf : nullptr, r.a, r.b,
                                             r.update ? refill<double> : nullptr),
              r.expected)
        << r.what;
    EXPECT_EQ(d != nullptr, r.expected == 0) << r.what;
    zorp_rng_delete_stream(&d);
    StreamState* s = nullptr;
    // Single precision: the narrowest float interval below 1 stands for the double one.
    const float fa = r.a == below_one ? std::nextafter(1.0f, 0.0f) : static_cast<float>(r.a);
    EXPECT_EQ(zorp_rng_new_abstract_stream_s(&s, r.n, r.buffer ? fbuf : nullptr, fa, static_cast<float>(r.b),
                                             r.update ? refill<float> : nullptr),
              r.expected)
        << r.what;
    zorp_rng_delete_stream(&s);
    if (interval_row) continue;  // the integer kind has no interval
    StreamState* w = nullptr;
    EXPECT_EQ(zorp_rng_new_abstract_stream(&w, r.n, r.buffer ? wbuf : nullptr, r.update ? refill<uint32_t> : nullptr),
              r.expected)
        << r.what;
    zorp_rng_delete_stream(&w);
  }
  EXPECT_EQ(zorp_rng_new_abstract_stream(nullptr, 4, wbuf, refill<uint32_t>), TARR_ERROR_NULL_ENTRY);
  EXPECT_THROW(zorp::rng::stream::abstract(std::span<double>(), 0.0, 1.0, refill<double>), zorp::error);
}

// The same numbers through a stream the interface made and one the raw export made, over a
// request longer than the buffer (so the callback runs mid-request), mapped from [0, 1) to [-2, 2).
TEST(AbstractStream, InterfaceStreamMatchesTheRawOne) {
  std::vector<double> buf(7), raw(20), api(20);
  g_next = 0;
  StreamState* r = nullptr;
  ASSERT_EQ(__tarrdNewAbstractStream(&r, 7, buf.data(), 0.0, 1.0, refill<double>), 0);
  ASSERT_EQ(_tarrdRngUniform(0, r, 20, raw.data(), -2.0, 2.0), 0);
  __tarrDeleteStream(&r);
  g_next = 0;
  auto s = zorp::rng::stream::abstract(std::span<double>(buf), 0.0, 1.0, refill<double>);
  s.uniform(std::span<double>(api), -2.0, 2.0);
  EXPECT_EQ(raw, api);
  EXPECT_EQ(api[1], -2.0 + 4.0 / 64);
  // A double stream serves no words.
  std::vector<uint32_t> words(4);
  EXPECT_EQ(s.uniform_bits(std::span<uint32_t>(words), std::nothrow), TARR_ERROR_ABSTRACT_KIND);
}

}  // namespace
