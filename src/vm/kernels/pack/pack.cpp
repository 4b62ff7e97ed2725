// Pack and unpack: moving elements between a strided, indexed or masked layout and a contiguous
// one. No floating-point work and no mode access: elements are moved as bit patterns (a NaN's
// payload and a signalling NaN arrive unchanged), so the kernels touch neither MXCSR nor the
// thread record.
//
// `width` selects the integer width of n, of the increment and of the index or mask elements:
// 1 means 32-bit, anything else 64-bit. n arrives in a 64-bit register; with width 1 only its
// low 32 bits count (sign-extended), so a caller passing a 32-bit count is read correctly. A
// non-positive n does nothing.
//
// The vector loops move 16 (single) or 8 (double, single complex) elements per step with
// gathers, scatters, compress-stores and expand-loads, and leave the last partial register's
// worth of elements (fewer than 16 or 8) to a plain element loop. Double complex elements (16 bytes) move as pairs of 64-bit lanes.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "zorp/vm_functions.h"

namespace {

// The element moved as a unit: 4, 8 or 16 bytes.
template <int kBytes>
struct Unit;
template <>
struct Unit<4> {
  using U = uint32_t;
};
template <>
struct Unit<8> {
  using U = uint64_t;
};
template <>
struct Unit<16> {
  struct U {
    uint64_t lo, hi;
  };
};

// Register operations for the 4- and 8-byte units; 16-byte units use the plain loops.
template <int kBytes>
struct Vec;
template <>
struct Vec<4> {
  static constexpr int kN = 16;
  using M = __mmask16;
  static __m512i gather(const void* base, __m512i idx) { return _mm512_i32gather_epi32(idx, base, 4); }
  static void scatter(void* base, __m512i idx, __m512i v) { _mm512_i32scatter_epi32(base, idx, v, 4); }
  static __m512i load_index(const int32_t* p) { return _mm512_loadu_si512(p); }
  static __m512i load(const void* p) { return _mm512_loadu_si512(p); }
  static void store(void* p, __m512i v) { _mm512_storeu_si512(p, v); }
  static M nonzero(const int32_t* p) { return _mm512_test_epi32_mask(_mm512_loadu_si512(p), _mm512_loadu_si512(p)); }
  static M nonzero(const int64_t* p) {
    const __m512i lo = _mm512_loadu_si512(p), hi = _mm512_loadu_si512(p + 8);
    return static_cast<M>(_mm512_test_epi64_mask(lo, lo) | (_mm512_test_epi64_mask(hi, hi) << 8));
  }
  static void compress_store(void* p, M m, __m512i v) { _mm512_mask_compressstoreu_epi32(p, m, v); }
  static __m512i expand_load(__m512i src, M m, const void* p) { return _mm512_mask_expandloadu_epi32(src, m, p); }
  static void masked_store(void* p, M m, __m512i v) { _mm512_mask_storeu_epi32(p, m, v); }
  static __m512i lanes_times(int32_t inc) {
    return _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                              _mm512_set1_epi32(inc));
  }
};
template <>
struct Vec<8> {
  static constexpr int kN = 8;
  using M = __mmask8;
  static __m512i gather(const void* base, __m256i idx) { return _mm512_i32gather_epi64(idx, base, 8); }
  static void scatter(void* base, __m256i idx, __m512i v) { _mm512_i32scatter_epi64(base, idx, v, 8); }
  static __m256i load_index(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static __m512i load(const void* p) { return _mm512_loadu_si512(p); }
  static void store(void* p, __m512i v) { _mm512_storeu_si512(p, v); }
  static M nonzero(const int32_t* p) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return _mm256_test_epi32_mask(v, v);
  }
  static M nonzero(const int64_t* p) { return _mm512_test_epi64_mask(_mm512_loadu_si512(p), _mm512_loadu_si512(p)); }
  static void compress_store(void* p, M m, __m512i v) { _mm512_mask_compressstoreu_epi64(p, m, v); }
  static __m512i expand_load(__m512i src, M m, const void* p) { return _mm512_mask_expandloadu_epi64(src, m, p); }
  static void masked_store(void* p, M m, __m512i v) { _mm512_mask_storeu_epi64(p, m, v); }
  static __m256i lanes_times(int32_t inc) {
    return _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(inc));
  }
};

template <int kBytes>
constexpr bool kVector = kBytes <= 8;

// Gathers and scatters take 32-bit offsets: the vector step is used only while every offset of
// the step fits (|i * inc| < 2^31), which the plain loop covers otherwise.
inline bool fits32(int64_t i_end, int64_t inc) {
  const int64_t m = i_end * (inc < 0 ? -inc : inc);
  return inc > -(int64_t(1) << 31) && inc < (int64_t(1) << 31) && m < (int64_t(1) << 31);
}

template <int kBytes, typename I>
void pack_i(int64_t n, const void* av, int64_t inc, void* yv) {
  using U = typename Unit<kBytes>::U;
  const U* a = static_cast<const U*>(av);
  U* y = static_cast<U*>(yv);
  int64_t i = 0;
  if constexpr (kVector<kBytes>) {
    using W = Vec<kBytes>;
    if (fits32(W::kN, inc)) {
      const auto off = W::lanes_times(static_cast<int32_t>(inc));
      for (; n - i >= W::kN; i += W::kN) W::store(y + i, W::gather(a + i * inc, off));
    }
  }
  for (; i < n; ++i) y[i] = a[i * inc];
}

template <int kBytes, typename I>
void unpack_i(int64_t n, const void* av, void* yv, int64_t inc) {
  using U = typename Unit<kBytes>::U;
  const U* a = static_cast<const U*>(av);
  U* y = static_cast<U*>(yv);
  int64_t i = 0;
  if constexpr (kVector<kBytes>) {
    using W = Vec<kBytes>;
    // Overlapping lanes (a zero increment) are stored lowest first, so the last one wins, as in
    // the plain loop.
    if (fits32(W::kN, inc)) {
      const auto off = W::lanes_times(static_cast<int32_t>(inc));
      for (; n - i >= W::kN; i += W::kN) W::scatter(y + i * inc, off, W::load(a + i));
    }
  }
  for (; i < n; ++i) y[i * inc] = a[i];
}

template <int kBytes, typename I>
void pack_v(int64_t n, const void* av, const I* ia, void* yv) {
  using U = typename Unit<kBytes>::U;
  const U* a = static_cast<const U*>(av);
  U* y = static_cast<U*>(yv);
  int64_t i = 0;
  // Independent scalar loads, four at a time, beat a register gather here: random indices make
  // it a latency-bound walk, and four loads in flight per step use the memory system better
  // (bench_vm_arith, dPackV: 2.3 against 3.8 cycles per element at n = 1e6).
  for (; i + 4 <= n; i += 4) {
    const U x0 = a[ia[i]], x1 = a[ia[i + 1]], x2 = a[ia[i + 2]], x3 = a[ia[i + 3]];
    y[i] = x0, y[i + 1] = x1, y[i + 2] = x2, y[i + 3] = x3;
  }
  for (; i < n; ++i) y[i] = a[ia[i]];
}

template <int kBytes, typename I>
void unpack_v(int64_t n, const void* av, void* yv, const I* iy) {
  using U = typename Unit<kBytes>::U;
  const U* a = static_cast<const U*>(av);
  U* y = static_cast<U*>(yv);
  // Scatters store conflicting lanes lowest first, so repeated indices end with the last
  // element, as the plain loop leaves them.
  int64_t i = 0;
  if constexpr (kVector<kBytes> && sizeof(I) == 4) {
    using W = Vec<kBytes>;
    for (; n - i >= W::kN; i += W::kN) W::scatter(y, W::load_index(iy + i), W::load(a + i));
  }
  for (; i < n; ++i) y[iy[i]] = a[i];
}

template <int kBytes, typename I>
void pack_m(int64_t n, const void* av, const I* ma, void* yv) {
  using U = typename Unit<kBytes>::U;
  const U* a = static_cast<const U*>(av);
  U* y = static_cast<U*>(yv);
  int64_t i = 0, j = 0;
  if constexpr (kVector<kBytes>) {
    using W = Vec<kBytes>;
    for (; n - i >= W::kN; i += W::kN) {
      const auto m = W::nonzero(ma + i);
      if (!m) continue;
      W::compress_store(y + j, m, W::load(a + i));
      j += __builtin_popcount(m);
    }
  }
  for (; i < n; ++i)
    if (ma[i] != 0) y[j++] = a[i];
}

template <int kBytes, typename I>
void unpack_m(int64_t n, const void* av, void* yv, const I* my) {
  using U = typename Unit<kBytes>::U;
  const U* a = static_cast<const U*>(av);
  U* y = static_cast<U*>(yv);
  int64_t i = 0, j = 0;
  if constexpr (kVector<kBytes>) {
    using W = Vec<kBytes>;
    for (; n - i >= W::kN; i += W::kN) {
      const auto m = W::nonzero(my + i);
      if (!m) continue;
      W::masked_store(y + i, m, W::expand_load(_mm512_setzero_si512(), m, a + j));
      j += __builtin_popcount(m);
    }
  }
  for (; i < n; ++i)
    if (my[i] != 0) y[i] = a[j++];
}

// The count as the width says.
inline int64_t count_of(int64_t n, int32_t width) { return width == 1 ? static_cast<int32_t>(n) : n; }

}  // namespace

#define VM_PACK_FAMILY(t, bytes)                                                                    \
  extern "C" void zorp_vmk_##t##PackI_la(int64_t n, const void* a, int64_t inc, void* y, int32_t w) { \
    if ((n = count_of(n, w)) <= 0) return;                                                          \
    if (w == 1) pack_i<bytes, int32_t>(n, a, static_cast<int32_t>(inc), y);                        \
    else pack_i<bytes, int64_t>(n, a, inc, y);                                                      \
  }                                                                                                 \
  extern "C" void zorp_vmk_##t##UnpackI_la(int64_t n, const void* a, void* y, int64_t inc, int32_t w) { \
    if ((n = count_of(n, w)) <= 0) return;                                                          \
    if (w == 1) unpack_i<bytes, int32_t>(n, a, y, static_cast<int32_t>(inc));                      \
    else unpack_i<bytes, int64_t>(n, a, y, inc);                                                    \
  }                                                                                                 \
  extern "C" void zorp_vmk_##t##PackV_la(int64_t n, const void* a, const void* ix, void* y, int32_t w) { \
    if ((n = count_of(n, w)) <= 0) return;                                                          \
    if (w == 1) pack_v<bytes>(n, a, static_cast<const int32_t*>(ix), y);                           \
    else pack_v<bytes>(n, a, static_cast<const int64_t*>(ix), y);                                   \
  }                                                                                                 \
  extern "C" void zorp_vmk_##t##UnpackV_la(int64_t n, const void* a, void* y, const void* ix, int32_t w) { \
    if ((n = count_of(n, w)) <= 0) return;                                                          \
    if (w == 1) unpack_v<bytes>(n, a, y, static_cast<const int32_t*>(ix));                         \
    else unpack_v<bytes>(n, a, y, static_cast<const int64_t*>(ix));                                 \
  }                                                                                                 \
  extern "C" void zorp_vmk_##t##PackM_la(int64_t n, const void* a, const void* mx, void* y, int32_t w) { \
    if ((n = count_of(n, w)) <= 0) return;                                                          \
    if (w == 1) pack_m<bytes>(n, a, static_cast<const int32_t*>(mx), y);                           \
    else pack_m<bytes>(n, a, static_cast<const int64_t*>(mx), y);                                   \
  }                                                                                                 \
  extern "C" void zorp_vmk_##t##UnpackM_la(int64_t n, const void* a, void* y, const void* mx, int32_t w) { \
    if ((n = count_of(n, w)) <= 0) return;                                                          \
    if (w == 1) unpack_m<bytes>(n, a, y, static_cast<const int32_t*>(mx));                         \
    else unpack_m<bytes>(n, a, y, static_cast<const int64_t*>(mx));                                 \
  }

VM_PACK_FAMILY(s, 4)
VM_PACK_FAMILY(d, 8)
VM_PACK_FAMILY(c, 8)
VM_PACK_FAMILY(z, 16)
