// The skeleton every element-wise kernel shares, written once and instantiated per kernel.
//
// A kernel is a small description K:
//   using T = float | double;
//   static constexpr const char* kName;       public name for reports, "vsExp"
//   static constexpr int kBlock;               elements per main-loop iteration (a multiple of
//                                              the vector width)
//   static constexpr bool kHasCallout;         false for kernels without special lanes
//   vector body, by shape (M is the lane mask; set `special` to the lanes the callout finishes):
//     A1R1: static V body(V a, M& special);
//     A2R1: static V body(V a, V b, M& special);
//     A1R2: static V body(V a, V& r2, M& special);   returns r1
//   scalar callout for one special lane, by shape (writes the result, returns 0 or a status 1..4):
//     A1R1: static int callout(const T* a, T* r);
//     A2R1: static int callout(const T* a, const T* b, T* r);
//     A1R2: static int callout(const T* a, T* r1, T* r2);
//
// The drivers do the rest: pin the control state (ControlGuard), run whole blocks, then the
// remainder one masked vector at a time (inactive lanes loaded with 0.75, which takes no special
// path and raises nothing, and never stored), and finish special lanes in ascending order:
// the lane's result goes to memory at once, the element is reported, and the possibly
// changed element is taken back before the vector is stored. With the error mode "no error"
// no callout runs and vector results are stored as computed.
//
// Special lanes are handled per vector rather than per block: the order of callouts and what
// reaches memory are the same, and it keeps the main loop a plain unrolled loop.
#pragma once
#include <cstdint>

#include "vm/simd/simd.h"
#include "vm/error/report.h"
#include "vm/kernels/common/control.h"
#include "vm/state/thread_state.h"

namespace zorp::vm {

namespace detail {
inline constexpr float kFillF = 0.75f;
inline constexpr double kFillD = 0.75;

template <typename T>
typename simd::Simd<T>::V fill() {
  return simd::Simd<T>::broadcast(T(0.75));
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
}  // namespace detail

// ---- one argument, one result ------------------------------------------------------------
template <typename K>
void run_a1r1(uint32_t n, const typename K::T* a, typename K::T* r) {
  using T = typename K::T;
  using S = simd::Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  if (n == 0) return;
  const uint32_t mode = current_mode();
  ControlGuard guard(mode);
  const bool callouts = K::kHasCallout && !no_error_mode(mode);

  auto finish = [&](uint32_t base, M active, V x, V y, M special) {
    special &= active;
    if (!callouts || special == 0) {
      S::store(r + base, active, y);
      return;
    }
    guard.guard_x87();
    alignas(64) T in[S::kLanes], out[S::kLanes];
    S::store(in, x);
    S::store(out, y);
    detail::for_each_lane(special, [&](int lane) {
      const int status = K::callout(&in[lane], &out[lane]);
      if (status != 0) {
        const uint32_t i = base + lane;
        r[i] = out[lane];
        report(status, static_cast<int32_t>(i), a, a, r, r, K::kName);
        out[lane] = r[i];
      }
    });
    S::store(r + base, active, S::load(out));
  };

  constexpr uint32_t kVectors = K::kBlock / S::kLanes;
  static_assert(K::kBlock % S::kLanes == 0);
  const M all = S::first_lanes(S::kLanes);
  uint32_t i = 0;
  for (; i + K::kBlock <= n; i += K::kBlock) {
#pragma GCC unroll 8
    for (uint32_t v = 0; v < kVectors; ++v) {
      const uint32_t base = i + v * S::kLanes;
      const V x = S::load(a + base);
      M special = 0;
      const V y = K::body(x, special);
      if (!K::kHasCallout || special == 0)
        S::store(r + base, y);
      else
        finish(base, all, x, y, special);
    }
  }
  for (; i < n; i += S::kLanes) {
    const M active = S::first_lanes(n - i);
    const V x = S::load_or(active, a + i, detail::fill<T>());
    M special = 0;
    const V y = K::body(x, special);
    finish(i, active, x, y, special);
  }
}

template <typename K>
void run_a1r1_strided(uint32_t n, const typename K::T* a, int32_t inca, typename K::T* r,
                      int32_t incr) {
  using T = typename K::T;
  using S = simd::Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  if (n == 0) return;
  const uint32_t mode = current_mode();
  ControlGuard guard(mode);
  const bool callouts = K::kHasCallout && !no_error_mode(mode);
  const auto offa = S::lane_offsets(inca);
  const auto offr = S::lane_offsets(incr);
  for (uint32_t i = 0; i < n; i += S::kLanes) {
    const M active = S::first_lanes(n - i);
    const T* ab = a + static_cast<int64_t>(i) * inca;
    T* rb = r + static_cast<int64_t>(i) * incr;
    const V x = S::gather(active, ab, offa, detail::fill<T>());
    M special = 0;
    V y = K::body(x, special);
    special &= active;
    if (callouts && special) {
      guard.guard_x87();
      alignas(64) T in[S::kLanes], out[S::kLanes];
      S::store(in, x);
      S::store(out, y);
      detail::for_each_lane(special, [&](int lane) {
        const int status = K::callout(&in[lane], &out[lane]);
        if (status != 0) {
          const int32_t idx = static_cast<int32_t>(i + lane);
          T* slot = r + static_cast<int64_t>(idx) * incr;
          *slot = out[lane];
          report_strided(status, idx, a, inca, a, inca, r, incr, r, incr, K::kName);
          out[lane] = *slot;
        }
      });
      y = S::load(out);
    }
    S::scatter(active, rb, offr, y);
  }
}

// ---- two arguments, one result -----------------------------------------------------------
template <typename K>
void run_a2r1(uint32_t n, const typename K::T* a, const typename K::T* b, typename K::T* r) {
  using T = typename K::T;
  using S = simd::Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  if (n == 0) return;
  const uint32_t mode = current_mode();
  ControlGuard guard(mode);
  const bool callouts = K::kHasCallout && !no_error_mode(mode);

  auto finish = [&](uint32_t base, M active, V x, V z, V y, M special) {
    special &= active;
    if (!callouts || special == 0) {
      S::store(r + base, active, y);
      return;
    }
    guard.guard_x87();
    alignas(64) T in1[S::kLanes], in2[S::kLanes], out[S::kLanes];
    S::store(in1, x);
    S::store(in2, z);
    S::store(out, y);
    detail::for_each_lane(special, [&](int lane) {
      const int status = K::callout(&in1[lane], &in2[lane], &out[lane]);
      if (status != 0) {
        const uint32_t i = base + lane;
        r[i] = out[lane];
        report(status, static_cast<int32_t>(i), a, b, r, r, K::kName);
        out[lane] = r[i];
      }
    });
    S::store(r + base, active, S::load(out));
  };

  constexpr uint32_t kVectors = K::kBlock / S::kLanes;
  static_assert(K::kBlock % S::kLanes == 0);
  const M all = S::first_lanes(S::kLanes);
  uint32_t i = 0;
  for (; i + K::kBlock <= n; i += K::kBlock) {
#pragma GCC unroll 8
    for (uint32_t v = 0; v < kVectors; ++v) {
      const uint32_t base = i + v * S::kLanes;
      const V x = S::load(a + base);
      const V z = S::load(b + base);
      M special = 0;
      const V y = K::body(x, z, special);
      if (!K::kHasCallout || special == 0)
        S::store(r + base, y);
      else
        finish(base, all, x, z, y, special);
    }
  }
  for (; i < n; i += S::kLanes) {
    const M active = S::first_lanes(n - i);
    const V x = S::load_or(active, a + i, detail::fill<T>());
    const V z = S::load_or(active, b + i, detail::fill<T>());
    M special = 0;
    const V y = K::body(x, z, special);
    finish(i, active, x, z, y, special);
  }
}

template <typename K>
void run_a2r1_strided(uint32_t n, const typename K::T* a, int32_t inca, const typename K::T* b,
                      int32_t incb, typename K::T* r, int32_t incr) {
  using T = typename K::T;
  using S = simd::Simd<T>;
  using V = typename S::V;
  using M = typename S::M;
  if (n == 0) return;
  const uint32_t mode = current_mode();
  ControlGuard guard(mode);
  const bool callouts = K::kHasCallout && !no_error_mode(mode);
  const auto offa = S::lane_offsets(inca);
  const auto offb = S::lane_offsets(incb);
  const auto offr = S::lane_offsets(incr);
  for (uint32_t i = 0; i < n; i += S::kLanes) {
    const M active = S::first_lanes(n - i);
    const V x = S::gather(active, a + static_cast<int64_t>(i) * inca, offa, detail::fill<T>());
    const V z = S::gather(active, b + static_cast<int64_t>(i) * incb, offb, detail::fill<T>());
    M special = 0;
    V y = K::body(x, z, special);
    special &= active;
    if (callouts && special) {
      guard.guard_x87();
      alignas(64) T in1[S::kLanes], in2[S::kLanes], out[S::kLanes];
      S::store(in1, x);
      S::store(in2, z);
      S::store(out, y);
      detail::for_each_lane(special, [&](int lane) {
        const int status = K::callout(&in1[lane], &in2[lane], &out[lane]);
        if (status != 0) {
          const int32_t idx = static_cast<int32_t>(i + lane);
          T* slot = r + static_cast<int64_t>(idx) * incr;
          *slot = out[lane];
          report_strided(status, idx, a, inca, b, incb, r, incr, r, incr, K::kName);
          out[lane] = *slot;
        }
      });
      y = S::load(out);
    }
    S::scatter(active, r + static_cast<int64_t>(i) * incr, offr, y);
  }
}

}  // namespace zorp::vm
