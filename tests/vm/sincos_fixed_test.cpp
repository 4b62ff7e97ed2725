// The seven sine and cosine kernels the random distributions call through fixed slots must keep
// their results bit for bit, which no accuracy reference settles. Each is pinned by one hash of
// its results on a fixed argument set: zeros, tiny values, pi and pi/2, the ends of its fast
// range, and 4,000 values spread over the range's bit patterns and uniform in [-10, 10]. The
// hashes were taken from kernels that agreed bit for bit with a scalar model of each algorithm,
// written out step by step with the published constants; any change of a constant, a step or a
// path changes the hash.
#include <gtest/gtest.h>

#include <cstdint>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "accuracy/rows.h"

namespace zorp::test {
namespace {

struct Fixed {
  const char* row;
  int slot;
  double limit;  // the end of the kernel's fast range
  uint64_t hash;
};
const Fixed kFixed[] = {
    {"vdSin", 2, 0x1p24, 0x86040d286fb00659},
    {"vdCos", 0, 8388606 * 3.14159, 0x03a37b4b32252349},
    {"vdCos", 2, 8388606 * 3.14159, 0x03a37b4b32252349},  // the same kernel as LA
    {"vdSinCos", 2, 0x1p23, 0xb79fb3f9c218744b},
    {"vsSin", 0, 10000, 0x3c921cd6c16e1735},
    {"vsCos", 0, 10000, 0x04563b9f4d4bead5},
    {"vsSinCos", 0, 0x1p19 * 0.99999, 0x0b066ba3f1bc32d3},
};

template <typename R>
uint64_t results_hash(const Fixed& f) {
  const VmRow& row = row_named(f.row);
  std::mt19937_64 rng(17);
  std::vector<R> x = {R(0), R(-0.0), R(1e-9), R(-1e-9), R(3.141592653589793), R(1.5707963267948966), R(f.limit),
                      R(-f.limit), R(0.75), R(1e-30)};
  Bits<R> top;
  const R limit = R(f.limit);
  std::memcpy(&top, &limit, sizeof top);
  for (int i = 0; i < 4000; ++i) {
    R v;
    if (i % 2) {
      const Bits<R> b = static_cast<Bits<R>>(rng() % top);
      std::memcpy(&v, &b, sizeof v);
    } else {
      // What uniform_real_distribution(-10, 10) gives once its u (b - a) + a is contracted
      // into one fused multiply-add, as an optimising build with FMA does (the hashes were taken
      // so), written out so that a build at -O1, which leaves it two operations, draws the
      // same arguments.
      v = std::fma(std::generate_canonical<R, std::numeric_limits<R>::digits>(rng), R(20), R(-10));
    }
    x.push_back(rng() & 1 ? -v : v);
  }
  std::vector<R> r1(x.size()), r2(x.size());
  call<R>(row, f.slot, false, static_cast<int32_t>(x.size()), x.data(), nullptr, r1.data(), r2.data());
  uint64_t h = 1469598103934665603ull;  // FNV-1a over the result bytes
  auto add = [&](const std::vector<R>& r) {
    const auto* p = reinterpret_cast<const unsigned char*>(r.data());
    for (size_t i = 0; i < r.size() * sizeof(R); ++i) h = (h ^ p[i]) * 1099511628211ull;
  };
  add(r1);
  if (row.shape() == Shape::A1R2) add(r2);
  return h;
}

class FixedKernel : public testing::TestWithParam<Fixed> {};

TEST_P(FixedKernel, KeepsItsBits) {
  const Fixed& f = GetParam();
  const uint64_t h = f.row[1] == 'd' ? results_hash<double>(f) : results_hash<float>(f);
  EXPECT_EQ(h, f.hash) << f.row << " slot " << f.slot << std::hex << ": 0x" << h;
}

INSTANTIATE_TEST_SUITE_P(Distributions, FixedKernel, testing::ValuesIn(kFixed),
                         [](const testing::TestParamInfo<Fixed>& i) {
                           return std::string(i.param.row) + "_" + ("LA\0HA\0EP" + 3 * i.param.slot);
                         });

}  // namespace
}  // namespace zorp::test
