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
#include "simd/isa.h"

#include <cstdint>
#include <cstring>

#include "simd/words.h"
#include "vm/kernels/common/bind.h"
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
    using W = zorp::simd::Words<kBytes>;
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
    using W = zorp::simd::Words<kBytes>;
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
    using W = zorp::simd::Words<kBytes>;
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
    using W = zorp::simd::Words<kBytes>;
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
    using W = zorp::simd::Words<kBytes>;
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

// Every entry's first step: the count as the width says (nothing to move when it is not
// positive), then move(count, I{}) with I the width's integer type, that of the increment and of
// the index or mask elements.
template <typename Move>
inline void by_width(int64_t n, int32_t width, Move&& move) {
  if (width == 1) {
    if (const int32_t k = static_cast<int32_t>(n); k > 0) move(int64_t{k}, int32_t{});
  } else if (n > 0) {
    move(n, int64_t{});
  }
}
template <typename I>
using Index = const I*;

// The six members for one element size, as catalogue descriptions: `contiguous` is the entry.
template <int kBytes>
struct PackI {
  static void contiguous(int64_t n, const void* a, int64_t inc, void* y, int32_t w) {
    by_width(n, w, [&](int64_t k, auto i) { pack_i<kBytes, decltype(i)>(k, a, static_cast<decltype(i)>(inc), y); });
  }
};
template <int kBytes>
struct UnpackI {
  static void contiguous(int64_t n, const void* a, void* y, int64_t inc, int32_t w) {
    by_width(n, w, [&](int64_t k, auto i) { unpack_i<kBytes, decltype(i)>(k, a, y, static_cast<decltype(i)>(inc)); });
  }
};
template <int kBytes>
struct PackV {
  static void contiguous(int64_t n, const void* a, const void* ix, void* y, int32_t w) {
    by_width(n, w, [&](int64_t k, auto i) { pack_v<kBytes>(k, a, static_cast<Index<decltype(i)>>(ix), y); });
  }
};
template <int kBytes>
struct UnpackV {
  static void contiguous(int64_t n, const void* a, void* y, const void* ix, int32_t w) {
    by_width(n, w, [&](int64_t k, auto i) { unpack_v<kBytes>(k, a, y, static_cast<Index<decltype(i)>>(ix)); });
  }
};
template <int kBytes>
struct PackM {
  static void contiguous(int64_t n, const void* a, const void* mx, void* y, int32_t w) {
    by_width(n, w, [&](int64_t k, auto i) { pack_m<kBytes>(k, a, static_cast<Index<decltype(i)>>(mx), y); });
  }
};
template <int kBytes>
struct UnpackM {
  static void contiguous(int64_t n, const void* a, void* y, const void* mx, int32_t w) {
    by_width(n, w, [&](int64_t k, auto i) { unpack_m<kBytes>(k, a, y, static_cast<Index<decltype(i)>>(mx)); });
  }
};

}  // namespace

#define VM_PACK_FAMILY(t, bytes)                  \
  VM_PACK_KERNELS(t, PackI, PackI<bytes>)         \
  VM_PACK_KERNELS(t, UnpackI, UnpackI<bytes>)     \
  VM_PACK_KERNELS(t, PackV, PackV<bytes>)         \
  VM_PACK_KERNELS(t, UnpackV, UnpackV<bytes>)     \
  VM_PACK_KERNELS(t, PackM, PackM<bytes>)         \
  VM_PACK_KERNELS(t, UnpackM, UnpackM<bytes>)

VM_PACK_FAMILY(s, 4)
VM_PACK_FAMILY(d, 8)
VM_PACK_FAMILY(c, 8)
VM_PACK_FAMILY(z, 16)
