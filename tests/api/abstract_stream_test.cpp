// Abstract streams through the checked interface: a stream made by the interface hands out what
// one made by the raw export does (the refusals are rows of the interface's refusal table).
#include <gtest/gtest.h>

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
  // An empty buffer is refused before anything is made.
  EXPECT_THROW(zorp::rng::stream::abstract(std::span<double>(), 0.0, 1.0, refill<double>), zorp::error);
  // A double stream serves no words.
  std::vector<uint32_t> words(4);
  EXPECT_EQ(s.uniform_bits(std::span<uint32_t>(words), std::nothrow), TARR_ERROR_ABSTRACT_KIND);
}

}  // namespace
