// The skeleton every element-wise kernel shares, written once and instantiated per kernel.
//
// A kernel is a small description K, normally derived from Kernel<T> (below):
//   using T = float | double | ZorpComplex8 | ZorpComplex16;  the element type of the arguments
//   using Out = ...;                           optional: the result element type when it differs
//                                              (complex Abs: complex in, real out)
//   static constexpr int kInElems;             optional: arguments per register when a full
//                                              register of them would not match the results
//                                              (CIS: 4 doubles in half a register, 4 complex out)
//   static constexpr int kBlock;               elements per main-loop iteration (a multiple of
//                                              the elements per register)
//   static constexpr bool kGuardX87AtEntry;    optional: guard the x87 unit at entry rather than
//                                              before the first callout
//   vector body, by shape (M is the element mask; set `special` to the elements the callout
//   finishes; a body may be a non-static member when the kernel carries scalars, as LinearFrac):
//     A1R1: V body(V a, M& special);
//     A2R1: V body(V a, V b, M& special);
//     A1R2: V body(V a, V& r2, M& special);   returns r1
//   optional, for one-result shapes: a body for two registers at once, which then serves
//   instead of `body` (the main loop calls it on pairs of registers, a single register goes
//   as two copies of itself, so every element gets the same bits); for kernels whose layout of
//   one register wastes half its lanes (complex elements whose parts are computed apart, eight
//   to a register):
//     void body_pair(V a0, V b0, V a1, V b1, V& r0, V& r1, M& special0, M& special1);
//   (b0, b1 are a0, a1 again for one argument)
//   scalar callout for one special element, by shape (writes the result, returns 0 or 1..4);
//   a kernel without special lanes has none:
//     A1R1: int callout(const T* a, Out* r);
//     A2R1: int callout(const T* a, const T* b, T* r);
//     A1R2: int callout(const T* a, T* r1, T* r2);
//   T scalar_argument() const;               optional: a vector-and-scalar function's scalar,
//                                              which reports carry as each element's second
//                                              argument
// The public name that reports carry ("vsExp") is not part of the description: the binding
// (bind.h) passes the catalogue row's name.
//
// One driver does the rest for every shape and both storage forms: pin the control state
// (ControlGuard), run whole blocks, then the remainder one masked register at a time (inactive
// elements loaded with 0.75 in every component, which takes no special path and raises
// nothing, and never stored), and finish special elements in ascending order: the element's
// results go to memory at once, the element is reported, and the possibly changed results are
// taken back before the register is stored. With the error mode "no error" no callout runs and
// the vector results are stored as computed. The strided form gathers, computes and scatters
// one register at a time.
//
// Special elements are handled per register rather than per block: the order of callouts and
// what reaches memory are the same, and it keeps the main loop a plain unrolled loop.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "simd/lanes.h"
#include "vm/error/report.h"
#include "vm/kernels/common/control.h"
#include "vm/state/thread_state.h"

namespace zorp::vm {

// Bytes read and written by one contiguous call above which results are stored around the
// caches. Measured with bench_vm_arith on a 32 MB last-level cache, calls repeated on the same
// arrays: at 16 MB of traffic (dAbs, n = 1e6) the arrays stay in that cache between calls and
// ordinary stores win by a fifth; at 24 MB (dAdd) streaming wins by a fifth. The cache size the
// system reports cannot be relied on (virtual machines report the host's), so the figure is
// fixed between the two.
inline constexpr uint64_t kStreamingBytes = uint64_t(20) << 20;

// What every kernel description says about itself besides its body and callout: the element
// type and the elements per main-loop iteration (by default 64 single or 32 double values:
// four registers, enough to hide the latency of a short body).
template <typename T_, int kBlock_ = 256 / sizeof(T_)>
struct Kernel {
  using T = T_;
  static constexpr int kBlock = kBlock_;
};

// A kernel has special lanes exactly when it has a scalar callout.
template <typename K>
concept HasCallout = requires { &K::callout; };

template <typename K, typename V, typename M>
concept HasPairBody = requires(const K& k, V v, M m) { k.body_pair(v, v, v, v, v, v, m, m); };

template <typename K>
constexpr bool guards_x87_at_entry() {
  if constexpr (requires { K::kGuardX87AtEntry; }) return K::kGuardX87AtEntry;
  else return false;
}

namespace detail {

template <typename K, typename = void>
struct OutOf {
  using type = typename K::T;
};
template <typename K>
struct OutOf<K, std::void_t<typename K::Out>> {
  using type = typename K::Out;
};

// The register layout of the arguments: a full register, or as many elements as a result
// register holds when K says so (kInElems: real in, complex out).
template <typename K, typename = void>
struct InLanesOf {
  using type = typename simd::FullLanes<typename K::T>::type;
};
template <typename K>
struct InLanesOf<K, std::void_t<decltype(K::kInElems)>> {
  using type = simd::Lanes<typename K::T, K::kInElems>;
};

// One register through a two-register body, as two copies of itself; kept out of line, so that
// the main loop's inlined pair body is its only copy there.
template <typename VO, typename K, typename V, typename M>
[[gnu::noinline]] VO single_of_pair(const K& k, V x, V z, M& special) {
  VO y0, y1;
  M unused = 0;
  k.body_pair(x, z, x, z, y0, y1, special, unused);
  return y0;
}

// Lanes of `special` in ascending order.
template <typename M, typename Fn>
inline void for_each_lane(M special, Fn fn) {
  uint32_t bits = special;
  while (bits) {
    const int lane = __builtin_ctz(bits);
    bits &= bits - 1;
    fn(lane);
  }
}

// Memory access of one array: contiguous (element i at p[i]) or strided (p[i * inc]).
// Only strided streams carry the per-element offsets.
template <typename L, bool kStrided>
struct StreamOffsets {
  typename L::Off off;
};
template <typename L>
struct StreamOffsets<L, false> {};

template <typename L, bool kStrided>
struct Stream : StreamOffsets<L, kStrided> {
  static constexpr bool kIsStrided = kStrided;
  using E = typename L::E;
  using V = typename L::V;
  using M = typename L::M;
  E* p;
  int32_t inc;
  Stream(E* base, int32_t increment) : p(base), inc(increment) {
    if constexpr (kStrided) this->off = L::offsets(increment);
  }
  E* at(uint32_t i) const { return kStrided ? p + static_cast<int64_t>(i) * inc : p + i; }
  V load(uint32_t i, V fill) const {
    if constexpr (kStrided) return L::gather(L::first(L::kElems), at(i), this->off, fill);
    else return L::load(p + i);
  }
  V load(uint32_t i, M m, V fill) const {
    if constexpr (kStrided) return L::gather(m, at(i), this->off, fill);
    else return L::load_or(m, p + i, fill);
  }
  void store(uint32_t i, V v) const {
    if constexpr (kStrided) L::scatter(L::first(L::kElems), at(i), this->off, v);
    else L::store(p + i, v);
  }
  void store(uint32_t i, M m, V v) const {
    if constexpr (kStrided) L::scatter(m, at(i), this->off, v);
    else L::store(p + i, m, v);
  }
};

// Everything the slow path of one call needs, kept out of the main loop's registers.
template <typename K, typename LI, typename LO, bool kStrided>
struct CallContext {
  const K& k;
  ControlGuard& guard;
  Stream<LI, kStrided> a, b;
  Stream<LO, kStrided> r1, r2;
  const char* name;
};

// Finishes the special elements of one register and stores it: the element's results go to
// memory at once, the element is reported, and the possibly changed results are taken back
// before the whole register is stored. Out of line so that the main loop keeps its pointers
// and constants in registers; not marked cold, because the compiler would then optimise it
// (and the callouts inlined into it) for size, which made all-special input half as fast.
template <int kIn, int kOut, typename C>
__attribute__((noinline)) void finish_special(C& c, uint32_t base, uint32_t active,
                                                    const void* xv, const void* zv, void* y1v,
                                                    void* y2v, uint32_t special) {
  using K = std::remove_cv_t<std::remove_reference_t<decltype(c.k)>>;
  using T = typename K::T;
  using R = typename OutOf<K>::type;
  const T* in1 = static_cast<const T*>(xv);
  const T* in2 = static_cast<const T*>(zv);
  R* out1 = static_cast<R*>(y1v);
  R* out2 = static_cast<R*>(y2v);
  c.guard.guard_x87();
  for_each_lane(special & active, [&](int e) {
    int status;
    if constexpr (kIn == 2) status = c.k.callout(&in1[e], &in2[e], &out1[e]);
    else if constexpr (kOut == 2) status = c.k.callout(&in1[e], &out1[e], &out2[e]);
    else status = c.k.callout(&in1[e], &out1[e]);
    if (status == 0) return;
    const uint32_t i = base + e;
    // The caller's arrays need only the element type's own alignment, or not even that (a
    // double array 4 bytes off), so the element goes to memory by bytes. It goes there before
    // the report, so that a trap handler that leaves the call finds it in place; the report
    // itself reads and writes the aligned copy, and the register store below writes back
    // whatever a callback made of it.
    std::memcpy(static_cast<void*>(c.r1.at(i)), &out1[e], sizeof(R));
    if constexpr (kOut == 2) std::memcpy(static_cast<void*>(c.r2.at(i)), &out2[e], sizeof(R));
    // The arguments as the kernel read them: an in-place call has overwritten a[i] by now. A
    // description with a scalar argument (Powx's exponent) reports that as the second.
    T arg2 = in2[e];
    if constexpr (requires { c.k.scalar_argument(); }) arg2 = c.k.scalar_argument();
    report_values(status, static_cast<int32_t>(i), static_cast<const T*>(c.a.p), in1[e], arg2, &out1[e],
                  kOut == 2 ? &out2[e] : &out1[e], c.name);
  });
}

}  // namespace detail

// The generic driver. kIn arguments (1 or 2) of K::T, kOut results (1 or 2) of the result
// type; `inc` holds the increments (arguments first, then results) and is ignored unless
// kStrided; `name` is what reports carry. Inlined into each exported kernel: one call less on
// every call.
template <int kIn, int kOut, bool kStrided, typename K>
__attribute__((always_inline)) inline void run_kernel(const K& k, uint32_t n,
                                                      const typename K::T* const* in,
                                                      typename detail::OutOf<K>::type* const* out,
                                                      const int32_t* inc, const char* name) {
  using T = typename K::T;
  using R = typename detail::OutOf<K>::type;
  using LI = typename detail::InLanesOf<K>::type;
  using LO = simd::Lanes<R, LI::kElems>;
  using VI = typename LI::V;
  using VO = typename LO::V;
  using M = typename LI::M;
  static_assert(kIn == 1 || kIn == 2);
  static_assert(kOut == 1 || kOut == 2);
  static_assert(kOut == 1 || std::is_same_v<T, R>);
  static_assert(K::kBlock % LI::kElems == 0);
  constexpr int kElems = LI::kElems;
  if (n == 0) return;

  constexpr bool kCallout = HasCallout<K>;
  const uint32_t mode = current_mode();
  ControlGuard guard(mode);
  if constexpr (guards_x87_at_entry<K>()) guard.guard_x87();
  const bool callouts = kCallout && !no_error_mode(mode);

  const detail::Stream<LI, kStrided> a(const_cast<T*>(in[0]), kStrided ? inc[0] : 1);
  const detail::Stream<LI, kStrided> b(const_cast<T*>(in[kIn - 1]), kStrided ? inc[kIn - 1] : 1);
  const detail::Stream<LO, kStrided> r1(out[0], kStrided ? inc[kIn] : 1);
  const detail::Stream<LO, kStrided> r2(out[kOut - 1], kStrided ? inc[kIn + kOut - 1] : 1);
  const VI fill = LI::broadcast_parts(0.75);

  auto body = [&](VI x, VI z, VO& y2, M& special) -> VO {
    if constexpr (kOut == 1 && HasPairBody<K, VI, M>) return detail::single_of_pair<VO>(k, x, z, special);
    else if constexpr (kIn == 2) return k.body(x, z, special);
    else if constexpr (kOut == 2) return k.body(x, y2, special);
    else return k.body(x, special);
  };
  // Callouts for one register; returns the final results. Everything goes through memory here,
  // and only here: the main loop's values stay in registers.
  struct Results {
    VO y1, y2;
  };
  auto slow = [&](uint32_t base, M active, VI x, VI z, VO y1, VO y2, M special) -> Results {
    if constexpr (kCallout) {
      alignas(64) T in1[kElems], in2[kElems];
      alignas(64) R out1[kElems], out2[kElems];
      LI::store(in1, x);
      LI::store(in2, z);
      LO::store(out1, y1);
      LO::store(out2, y2);
      // Copies, so that no address of the main loop's state escapes.
      detail::CallContext<K, LI, LO, kStrided> ctx{k, guard, a, b, r1, r2, name};
      detail::finish_special<kIn, kOut>(ctx, base, active, in1, in2, out1, out2, special);
      return {LO::load(out1), kOut == 2 ? LO::load(out2) : y2};
    } else {
      return {y1, y2};
    }
  };

  // One register under an element mask: the peel before streaming blocks and the remainder.
  auto step = [&](uint32_t i, M active) {
    const VI x = a.load(i, active, fill);
    const VI z = kIn == 2 ? b.load(i, active, fill) : x;
    M special = 0;
    VO y2{};
    VO y1 = body(x, z, y2, special);
    if (kCallout && (special & active) != 0 && callouts) [[unlikely]] {
      const Results f = slow(i, active, x, z, y1, y2, special);
      y1 = f.y1;
      y2 = f.y2;
    }
    if (active == LI::first(kElems)) {
      r1.store(i, y1);
      if constexpr (kOut == 2) r2.store(i, y2);
    } else {
      r1.store(i, active, y1);
      if constexpr (kOut == 2) r2.store(i, active, y2);
    }
  };

  uint32_t i = 0;
  if constexpr (!kStrided) {
    constexpr uint32_t kVectors = K::kBlock / kElems;
    const M all = LI::first(kElems);
    auto blocks = [&](auto streaming) {
      for (; i + K::kBlock <= n; i += K::kBlock) {
        // The whole block is computed first and its special masks merged, so that the main
        // loop tests once per block; a block with special elements then goes register by
        // register.
        VI x[kVectors], z[kVectors];
        VO y1[kVectors], y2[kVectors];
        M special[kVectors];
        M any = 0;
        if constexpr (kOut == 1 && HasPairBody<K, VI, M>) {
          static_assert(kVectors % 2 == 0);
#pragma GCC unroll 4
          for (uint32_t v = 0; v < kVectors; v += 2) {
            for (uint32_t w = v; w < v + 2; ++w) {
              x[w] = a.load(i + w * kElems, fill);
              z[w] = kIn == 2 ? b.load(i + w * kElems, fill) : x[w];
              special[w] = 0;
              y2[w] = VO{};
            }
            k.body_pair(x[v], z[v], x[v + 1], z[v + 1], y1[v], y1[v + 1], special[v], special[v + 1]);
            any |= special[v] | special[v + 1];
          }
        } else {
#pragma GCC unroll 8
          for (uint32_t v = 0; v < kVectors; ++v) {
            x[v] = a.load(i + v * kElems, fill);
            z[v] = kIn == 2 ? b.load(i + v * kElems, fill) : x[v];
            special[v] = 0;
            y2[v] = VO{};
            y1[v] = body(x[v], z[v], y2[v], special[v]);
            any |= special[v];
          }
        }
        if (kCallout && any != 0 && callouts) [[unlikely]] {
          for (uint32_t v = 0; v < kVectors; ++v) {
            if (special[v] == 0) continue;
            const Results f = slow(i + v * kElems, all, x[v], z[v], y1[v], y2[v], special[v]);
            y1[v] = f.y1;
            y2[v] = f.y2;
          }
        }
#pragma GCC unroll 8
        for (uint32_t v = 0; v < kVectors; ++v) {
          if constexpr (decltype(streaming)::value) {
            LO::stream(r1.p + i + v * kElems, y1[v]);
            if constexpr (kOut == 2) LO::stream(r2.p + i + v * kElems, y2[v]);
          } else {
            r1.store(i + v * kElems, y1[v]);
            if constexpr (kOut == 2) r2.store(i + v * kElems, y2[v]);
          }
        }
      }
    };
    // Calls that move more data than a cache holds write their results around the caches:
    // no line of the result is read before it is overwritten, which saves a third of the
    // memory traffic of a two-argument kernel. The results must start on a register boundary
    // after a peel of fewer than one register's elements, and the arguments must then be on
    // one too: arguments that straddle cache lines while the results do not cost more than the
    // streaming saves (bench_vm_arith, dAdd at n = 1e6 with offset arrays).
    const auto phase = [](const auto* p) -> uint32_t {
      using E = std::remove_cv_t<std::remove_pointer_t<decltype(p)>>;
      const uintptr_t address = reinterpret_cast<uintptr_t>(p);
      return address % sizeof(E) ? ~0u : static_cast<uint32_t>(address / sizeof(E) % kElems);
    };
    const uint32_t out_phase = phase(r1.p);
    const bool stream = static_cast<uint64_t>(n) * (kIn * sizeof(T) + kOut * sizeof(R)) >= kStreamingBytes &&
                        out_phase != ~0u && phase(r2.p) == out_phase && phase(a.p) == out_phase &&
                        phase(b.p) == out_phase;
    if (stream) {
      const uint32_t peel = (kElems - out_phase) % kElems;
      if (peel) step(0, LI::first(peel));
      i = peel;
      blocks(std::true_type{});
      _mm_sfence();
    } else {
      blocks(std::false_type{});
    }
  }
  for (; i < n; i += kElems) step(i, LI::first(n - i));
}

// ---- the shapes, by name -------------------------------------------------------------------
template <typename K>
void run_a1r1(const K& k, const char* name, uint32_t n, const typename K::T* a,
              typename detail::OutOf<K>::type* r) {
  const typename K::T* in[1] = {a};
  typename detail::OutOf<K>::type* out[1] = {r};
  run_kernel<1, 1, false>(k, n, in, out, nullptr, name);
}
template <typename K>
void run_a1r1_strided(const K& k, const char* name, uint32_t n, const typename K::T* a, int32_t inca,
                      typename detail::OutOf<K>::type* r, int32_t incr) {
  const typename K::T* in[1] = {a};
  typename detail::OutOf<K>::type* out[1] = {r};
  const int32_t inc[2] = {inca, incr};
  run_kernel<1, 1, true>(k, n, in, out, inc, name);
}
template <typename K>
void run_a2r1(const K& k, const char* name, uint32_t n, const typename K::T* a, const typename K::T* b,
              typename K::T* r) {
  const typename K::T* in[2] = {a, b};
  typename K::T* out[1] = {r};
  run_kernel<2, 1, false>(k, n, in, out, nullptr, name);
}
template <typename K>
void run_a2r1_strided(const K& k, const char* name, uint32_t n, const typename K::T* a, int32_t inca,
                      const typename K::T* b, int32_t incb, typename K::T* r, int32_t incr) {
  const typename K::T* in[2] = {a, b};
  typename K::T* out[1] = {r};
  const int32_t inc[3] = {inca, incb, incr};
  run_kernel<2, 1, true>(k, n, in, out, inc, name);
}
template <typename K>
void run_a1r2(const K& k, const char* name, uint32_t n, const typename K::T* a, typename K::T* r1,
              typename K::T* r2) {
  const typename K::T* in[1] = {a};
  typename K::T* out[2] = {r1, r2};
  run_kernel<1, 2, false>(k, n, in, out, nullptr, name);
}
template <typename K>
void run_a1r2_strided(const K& k, const char* name, uint32_t n, const typename K::T* a, int32_t inca,
                      typename K::T* r1, int32_t incr1, typename K::T* r2, int32_t incr2) {
  const typename K::T* in[1] = {a};
  typename K::T* out[2] = {r1, r2};
  const int32_t inc[3] = {inca, incr1, incr2};
  run_kernel<1, 2, true>(k, n, in, out, inc, name);
}

}  // namespace zorp::vm
