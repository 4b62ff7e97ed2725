// Endless raw 32-bit words of one pseudo-random generator on standard output, for statistical
// test batteries that read binary input (dieharder -g 200; tools/dieharder runs every generator).
//   raw_words NAME [seed]      NAME as in the generator table (MT19937, MCG31m1, ...)
// The words are what a caller gets from the generator's 32-bit integer output: UniformBits32
// where the generator's words are 32 uniform bits; otherwise the top 32 bits of its double
// uniforms on [0, 1), floor(u 2^32), the resolution a caller of the real-number outputs sees
// (MCG31m1's 31 bits leave the lowest bit 0; MCG59 and WH fill all 32).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "zorp/rng.h"

namespace {

struct Generator {
  const char* label;
  uint32_t id;
  bool pseudo_random;
};

constexpr Generator kGenerators[] = {
// Identifiers are (row + 1) << 20; the quasi-random, abstract and RDRAND rows are left out.
#define ZORP_BRNG(row, NAME, label, state, seeds, zero, word, bits, members, legacy, methods, built) \
  {label, static_cast<uint32_t>((row) + 1) << 20, (row) != 5 && (row) != 6 && ((row) < 9 || (row) > 11) && (row) != 13},
#include "zorp/rng_generators.def"
#undef ZORP_BRNG
};

}  // namespace

int main(int argc, char** argv) {
  const Generator* g = nullptr;
  for (const Generator& c : kGenerators)
    if (argc >= 2 && !std::strcmp(argv[1], c.label) && c.pseudo_random) g = &c;
  if (!g) {
    std::fprintf(stderr, "usage: raw_words NAME [seed] > words; NAME one of:");
    for (const Generator& c : kGenerators)
      if (c.pseudo_random) std::fprintf(stderr, " %s", c.label);
    std::fprintf(stderr, "\n");
    return 2;
  }
  const uint32_t seed = argc >= 3 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0)) : 20261207u;
  StreamState* s = nullptr;
  if (int status = __tarrNewStreamEx(&s, g->id, 1, &seed)) {
    std::fprintf(stderr, "raw_words: stream: status %d\n", status);
    return 1;
  }
  constexpr int32_t kBlock = 1 << 16;
  std::vector<uint32_t> w(kBlock);
  std::vector<double> u(kBlock);
  const bool whole_words = _tarriRngUniformBits32(0, s, 1, w.data()) == TARR_STATUS_OK;
  for (;;) {
    int status;
    if (whole_words) {
      status = _tarriRngUniformBits32(0, s, kBlock, w.data());
    } else {
      status = _tarrdRngUniform(0, s, kBlock, u.data(), 0.0, 1.0);
      for (int32_t i = 0; i < kBlock; ++i) w[i] = static_cast<uint32_t>(u[i] * 0x1p32);
    }
    if (status != TARR_STATUS_OK) {
      std::fprintf(stderr, "raw_words: status %d\n", status);
      return 1;
    }
    if (std::fwrite(w.data(), sizeof(uint32_t), kBlock, stdout) != static_cast<size_t>(kBlock)) break;  // reader gone
  }
  __tarrDeleteStream(&s);
  return 0;
}
