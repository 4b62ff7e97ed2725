// The quasi-random generators' shared steps: Gray steps and direct points, the threading rule, and
// the checks of user polynomials.
#include "rng/brng/quasi/quasi_engine.h"

namespace zorp::rng::quasi {

void step(const View& v, uint32_t lo, uint32_t hi, int b) {
  uint32_t* x = v.x;
  if (b >= v.nrows) {
    for (uint32_t i = lo; i < hi; ++i) x[i] ^= v.dir(b, i);
    return;
  }
  const uint32_t* r = v.rows + static_cast<size_t>(b) * v.stride;
  uint32_t i = lo;
  for (; i + 16 <= hi; i += 16) simd::store(x + i, simd::bit_xor(simd::load(x + i), simd::load(r + i)));
  if (i < hi) {
    const auto m = static_cast<__mmask16>((1u << (hi - i)) - 1);
    simd::store(x + i, m, simd::bit_xor(simd::load_zero(m, x + i), simd::load_zero(m, r + i)));
  }
}

void point_at(const View& v, uint32_t index) {
  std::memset(v.x, 0, static_cast<size_t>(v.d) * 4);
  for (uint32_t g = index ^ (index >> 1); g; g &= g - 1) step(v, 0, v.d, std::countr_zero(g));
}

// Small requests stay on the calling thread: a task owns 32 dimensions, so a split pays only when
// there are several such columns and enough points to make each task worth starting. (No dimension
// from 33 to 63 is a multiple of 32, so that band never splits.)
bool wants_threads(uint32_t d, int64_t p) {
  if (p < 1) return false;
  if (d >= 32000 || (d >= 16000 && p >= 2)) return true;
  if (d < 64) return false;
  return p > 131071 || (d >= 250 && p > 8191) || (d >= 500 && p > 255) || (d >= 1000 && p > 63) ||
         (d >= 2000 && p > 31) || (d >= 4000 && p > 7);
}

// Looked up at every large request, so a host that changes its threading between calls is heard.
ThreadFor host_threads(int& nthreads) {
  using Limit = int (*)(void);
  const auto limit = reinterpret_cast<Limit>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_get_num_threads_limit"));
  if (!limit || (nthreads = limit()) < 2) return nullptr;
  return reinterpret_cast<ThreadFor>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_for"));
}

int degree(uint64_t p) { return 63 - std::countl_zero(p); }

namespace {

// a * b mod m over GF(2), all of degree below 32.
uint64_t mulmod(uint64_t a, uint64_t b, uint64_t m) {
  const int dm = degree(m);
  uint64_t r = 0;
  for (; b; b >>= 1, a <<= 1) {
    if (a >> dm & 1) a ^= m;
    if (b & 1) r ^= a;
  }
  return r;
}

uint64_t powmod(uint64_t a, uint64_t e, uint64_t m) {
  uint64_t r = 1;
  for (; e; e >>= 1, a = mulmod(a, a, m))
    if (e & 1) r = mulmod(r, a, m);
  return r;
}

uint64_t gcd(uint64_t a, uint64_t b) {
  while (b) {
    const int db = degree(b);
    for (int da = degree(a); a && da >= db; da = degree(a)) a ^= b << (da - db);
    std::swap(a, b);
  }
  return a;
}

}  // namespace

// x has order 2^s - 1 modulo p: then every nonzero residue is a power of x, which also makes p
// irreducible. Checked against each prime factor of 2^s - 1.
bool primitive(uint32_t p) {
  const int s = degree(p);
  if (s < 1 || !(p & 1)) return false;
  if (s == 1) return p == 3;
  const uint64_t order = (uint64_t{1} << s) - 1;
  if (powmod(2, order, p) != 1) return false;
  uint64_t rest = order;
  for (uint64_t q = 3; q * q <= rest; q += 2) {
    if (rest % q) continue;
    if (powmod(2, order / q, p) == 1) return false;
    while (rest % q == 0) rest /= q;
  }
  return rest == 1 || powmod(2, order / rest, p) != 1;
}

// No factor of degree up to s / 2: x^(2^i) - x shares nothing with p for i = 1 .. s / 2.
bool irreducible(uint32_t p) {
  const int s = degree(p);
  if (s < 1) return false;
  uint64_t xi = 2;
  for (int i = 1; i <= s / 2; ++i) {
    xi = mulmod(xi, xi, p);
    if (degree(gcd(p, xi ^ 2)) > 0) return false;
  }
  return true;
}

}  // namespace zorp::rng::quasi
