// The frame every continuous generator runs on.
//
// A generator is its transform and its constants; everything around the transform lives here,
// once:
//  * the floating-point state: the caller's x87 control word and MXCSR are saved, every
//    exception is masked for the call (a logarithm of zero must not trap in the caller's
//    process), and on every exit the pending x87 flags are cleared and both words restored;
//  * the thread's vector-math mode and callback: the call runs in callback-only error mode with
//    the generator's own fix-up callback, and each kernel call runs with the denormal group
//    0x140000 (no flushing: a Gamma or Beta candidate may well be subnormal and is still a
//    value). The words are written into the thread record directly and put back exactly on
//    exit: SetMode merges by groups and cannot clear a group that was empty before (the
//    default mode has no denormal bits), so calling it with the saved word would leave the
//    frame's bits behind;
//  * the kernels, reached through their ttab slots: EP for double work, LA for float work,
//    HA for set-up values (a shape-dependent constant computed once per call);
//  * the stream's uniform source (the registry row's dBRng or sBRng), the block loop and
//    the vector loops with masked tails.
// Every path out of an entry runs the Frame's destructor, so a stream error in the middle of a
// call, a chunk that cannot be allocated and a normal return all leave the caller's state as
// it was.
#pragma once
#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "host/host.h"
#include "platform/fpu.h"
#include "rng/registry/registry.h"
#include "simd/vec.h"
#include "vm/state/thread_state.h"
#include "zorp/rng.h"
#include "zorp/vm.h"

// The hidden aliases of the kernel tables (vm/kernels/common/bind.h): a RIP-relative load, no GOT.
#define ZORP_DIST_KERNEL_TABLES(X) X(Ln) X(Exp) X(Sqrt) X(Sin) X(Cos) X(SinCos) X(Tan) X(ErfInv) X(Powx) X(Inv)
#define ZORP_DIST_DECLARE_TABLE(F)                                                     \
  extern "C" __attribute__((visibility("hidden"))) void* zorp_vm_local_s##F##_ttab[3]; \
  extern "C" __attribute__((visibility("hidden"))) void* zorp_vm_local_d##F##_ttab[3];
ZORP_DIST_KERNEL_TABLES(ZORP_DIST_DECLARE_TABLE)
#undef ZORP_DIST_DECLARE_TABLE

namespace zorp::dist {

using simd::Vec;
using simd::kLanes;

inline constexpr int kSlotLa = 0, kSlotHa = 1, kSlotEp = 2;
inline constexpr uint32_t kAccurate = 0x40000000u;  // the method word's accurate flag
inline constexpr uint32_t kKernelMode = 0x140000u;  // denormal group of each kernel call

enum class Fn { Ln, Exp, Sqrt, Sin, Cos, SinCos, Tan, ErfInv, Powx, Inv };

#define ZORP_DIST_CASE(F) \
  case Fn::F:             \
    return std::is_same_v<T, float> ? zorp_vm_local_s##F##_ttab : zorp_vm_local_d##F##_ttab;
template <typename T>
inline void** table(Fn f) {
  switch (f) { ZORP_DIST_KERNEL_TABLES(ZORP_DIST_CASE) }
  return nullptr;
}
#undef ZORP_DIST_CASE

// What differs between the precisions: constants, block sizes, chunk ids, the working slot.
template <typename T>
struct Precision;
template <>
struct Precision<double> {
  static constexpr int kSlot = kSlotEp;
  static constexpr double kTwoPi = 6.283185307179586;
  static constexpr double kSqrt2 = 1.4142135623730951;
  static constexpr double kHalfPi = 1.5707963267948966;
  static constexpr double kLnTiny = -744.4400719213812;        // ln of the least subnormal double
  static constexpr double kErfInvEdge = 5.8635847487551676;    // |ErfInv| at the last double below 1
  static constexpr int32_t kBlock = 4096, kBlockWide = 6144;
  static constexpr uint32_t kGaussianChunk = 2, kGammaChunk = 7;
  static TarrDBRngFn source(const BrngProperties& row) { return row.dBRng; }
};
template <>
struct Precision<float> {
  static constexpr int kSlot = kSlotLa;
  static constexpr float kTwoPi = 6.2831855f;
  static constexpr float kSqrt2 = 1.4142135f;
  static constexpr float kHalfPi = 1.5707963267948966f;
  static constexpr float kLnTiny = -103.2789306640625f;
  static constexpr float kErfInvEdge = 3.8325068950653076f;
  static constexpr int32_t kBlock = 8192, kBlockWide = 12288;
  static constexpr uint32_t kGaussianChunk = 1, kGammaChunk = 8;
  static TarrSBRngFn source(const BrngProperties& row) { return row.sBRng; }
};

// The larger blocks pay on the two processor generations the host recognises (larger caches
// per core); the answer cannot change while the process runs.
inline bool wide_blocks() {
  static const bool wide = zorp_serv_cpuisicx() != 0 || zorp_serv_cpuiscpx() != 0;
  return wide;
}
template <typename T>
inline int32_t long_block() {
  return wide_blocks() ? Precision<T>::kBlockWide : Precision<T>::kBlock;
}

// ---- fix-up callbacks ---------------------------------------------------------------------
// A kernel reports a special element and the callback overwrites its result; returning 0 lets
// the error machinery write the record's result back (the frame's error mode runs no channel).
// Logarithm of zero, whatever the report says (the transform's logarithms only ever meet 0).
template <typename T>
int32_t log_floor_any(ZorpVmErrorRecord* e) {
  e->res1 = Precision<T>::kLnTiny;
  return 0;
}
// Logarithm of zero only: a singularity report; anything else keeps the kernel's value.
template <typename T>
int32_t log_floor_sing(ZorpVmErrorRecord* e) {
  if (e->status == ZORP_VM_STATUS_SING) e->res1 = Precision<T>::kLnTiny;
  return 0;
}
// Normals: ErfInv at -1 or 1 (code 2) and beyond (code 1) saturates at the value of the last
// representable argument; a logarithm of zero (code 2 with argument 0) gets the least one.
template <typename T>
int32_t normal_fix(ZorpVmErrorRecord* e) {
  const double edge = e->arg1 < 0 ? -double(Precision<T>::kErfInvEdge) : double(Precision<T>::kErfInvEdge);
  if (e->status == ZORP_VM_STATUS_ERRDOM) e->res1 = edge;
  else if (e->status == ZORP_VM_STATUS_SING) e->res1 = e->arg1 == 0 ? double(Precision<T>::kLnTiny) : edge;
  return 0;
}

// ---- the frame --------------------------------------------------------------------------------
template <typename T>
using Source = int32_t (*)(StreamState*, int32_t, T*, T, T);

// The stream's uniform source, or null when the identifier names no usable row.
template <typename T>
inline Source<T> source_of(StreamState* stream) {
  const BrngProperties* row = stream ? rng::stream_row(stream) : nullptr;
  return row ? Precision<T>::source(*row) : nullptr;
}

template <typename T>
class Frame {
 public:
  // `callback` null: the kernels' mode only (Cauchy: tan of [-pi/2, pi/2) reports nothing and
  // the call keeps the caller's floating-point state and error mode).
  Frame(StreamState* stream, Source<T> source, ZorpVmErrorCallback callback)
      : stream_(stream), source_(source), full_(callback != nullptr) {
    if (full_) {
      x87_ = fpu::x87_get_control();
      mxcsr_ = fpu::get_mxcsr();
      fpu::x87_set_control(x87_ | 0x3F);
      fpu::set_mxcsr(mxcsr_ | fpu::kMxcsrMasks);
    }
    thread_ = vm::thread_state();
    saved_mode_ = vm::mode_of(thread_);
    saved_callback_ = thread_->callback;
    frame_mode_ = full_ ? vm::merge_mode(saved_mode_, ZORP_VM_ERRMODE_CALLBACK) : saved_mode_;
    kernel_mode_ = vm::merge_mode(frame_mode_, kKernelMode);
    thread_->mode = frame_mode_;
    if (full_) thread_->callback = callback;
  }
  ~Frame() {
    thread_->callback = saved_callback_;
    thread_->mode = saved_mode_;
    if (full_) {
      fpu::x87_clear_exceptions();
      fpu::x87_set_control(x87_);
      fpu::set_mxcsr(mxcsr_);
    }
  }
  Frame(const Frame&) = delete;
  Frame& operator=(const Frame&) = delete;

  StreamState* stream() const { return stream_; }

  // n uniforms on [a, b) from the stream; 0 or the generator's negative status.
  int32_t uniform(int32_t n, T* r, T a, T b) const { return source_(stream_, n, r, a, b); }

  // Kernels, in place over n elements, in the working slot or the HA slot.
  void ln(int32_t n, T* r) const { one(Fn::Ln, kWork, n, r); }
  void exp(int32_t n, T* r) const { one(Fn::Exp, kWork, n, r); }
  void sqrt(int32_t n, T* r) const { one(Fn::Sqrt, kWork, n, r); }
  void sin(int32_t n, T* r) const { one(Fn::Sin, kWork, n, r); }
  void tan(int32_t n, T* r) const { one(Fn::Tan, kWork, n, r); }
  void erfinv(int32_t n, T* r) const { one(Fn::ErfInv, kWork, n, r); }
  void ln_ha(int32_t n, T* r) const { one(Fn::Ln, kSlotHa, n, r); }
  void exp_ha(int32_t n, T* r) const { one(Fn::Exp, kSlotHa, n, r); }
  void sqrt_ha(int32_t n, T* r) const { one(Fn::Sqrt, kSlotHa, n, r); }
  // s := sin(s), c := cos(s) (the sine in place).
  void sincos(int32_t n, T* s, T* c) const {
    auto* k = reinterpret_cast<void (*)(int32_t, const T*, T*, T*)>(table<T>(Fn::SinCos)[kWork]);
    thread_->mode = kernel_mode_;
    k(n, s, s, c);
    thread_->mode = frame_mode_;
  }
  void powx(int32_t n, T* r, T b) const { powx_in(kWork, n, r, b); }
  // x^b for a set-up value, through the HA slot.
  T powx_once(T x, T b) const {
    powx_in(kSlotHa, 1, &x, b);
    return x;
  }
  // A set-up value through the HA slot (one element).
  T ln_once(T x) const {
    ln_ha(1, &x);
    return x;
  }
  T exp_once(T x) const {
    exp_ha(1, &x);
    return x;
  }
  T sqrt_once(T x) const {
    sqrt_ha(1, &x);
    return x;
  }

 private:
  static constexpr int kWork = Precision<T>::kSlot;
  void powx_in(int slot, int32_t n, T* r, T b) const {
    auto* k = reinterpret_cast<void (*)(int32_t, const T*, T, T*)>(table<T>(Fn::Powx)[slot]);
    thread_->mode = kernel_mode_;
    k(n, r, b, r);
    thread_->mode = frame_mode_;
  }
  void one(Fn f, int slot, int32_t n, T* r) const {
    auto* k = reinterpret_cast<void (*)(int32_t, const T*, T*)>(table<T>(f)[slot]);
    thread_->mode = kernel_mode_;
    k(n, r, r);
    thread_->mode = frame_mode_;
  }

  StreamState* stream_;
  Source<T> source_;
  bool full_;
  vm::ThreadState* thread_ = nullptr;
  uint32_t saved_mode_ = 0, frame_mode_ = 0, kernel_mode_ = 0;
  ZorpVmErrorCallback saved_callback_ = nullptr;
  uint16_t x87_ = 0;
  uint32_t mxcsr_ = 0;
};

// ---- loops --------------------------------------------------------------------------------
// body(offset, count) over blocks of at most `block`; the first negative status ends the loop
// (blocks written before stay written).
template <typename Body>
inline int32_t in_blocks(int32_t n, int32_t block, Body&& body) {
  for (int32_t done = 0; done < n;) {
    const int32_t k = std::min(block, n - done);
    if (const int32_t status = body(done, k); status < 0) return status;
    done += k;
  }
  return TARR_STATUS_OK;
}

// The whole call of a generator with one transform: nothing for n < 1, the stream's uniform
// source (or the refusal of a stream without one), the frame with the distribution's fix-up,
// and body(frame, offset, count) over blocks of at most `block`.
template <typename T, typename Body>
inline int32_t with_frame(StreamState* stream, int32_t n, ZorpVmErrorCallback fixup, Body&& body) {
  if (n < 1) return TARR_STATUS_OK;
  const Source<T> source = source_of<T>(stream);
  if (!source) return TARR_ERROR_INVALID_BRNG;
  Frame<T> f(stream, source, fixup);
  return body(f);
}
template <typename T, typename Body>
inline int32_t on_frame(StreamState* stream, int32_t n, ZorpVmErrorCallback fixup, int32_t block, Body&& body) {
  return with_frame<T>(stream, n, fixup, [&](const Frame<T>& f) {
    return in_blocks(n, block, [&](int32_t i, int32_t k) { return body(f, i, k); });
  });
}

// r[i] := f(r[i]) a register at a time; the tail under a mask, nothing touched past n - 1.
template <typename T, typename F>
inline void each(int32_t n, T* r, F f) {
  constexpr int L = kLanes<T>;
  int32_t i = 0;
  for (; i + L <= n; i += L) simd::store(r + i, f(simd::load(r + i)));
  if (i < n) {
    const auto m = simd::first_lanes<T>(n - i);
    simd::store(r + i, m, f(simd::load_zero(m, r + i)));
  }
}
// r[i] := f(r[i], x[i]).
template <typename T, typename F>
inline void each(int32_t n, T* r, const T* x, F f) {
  constexpr int L = kLanes<T>;
  int32_t i = 0;
  for (; i + L <= n; i += L) simd::store(r + i, f(simd::load(r + i), simd::load(x + i)));
  if (i < n) {
    const auto m = simd::first_lanes<T>(n - i);
    simd::store(r + i, m, f(simd::load_zero(m, r + i), simd::load_zero(m, x + i)));
  }
}

// 2k interleaved values (x0, y0, x1, y1, ...) split: x into `even`, y into `odd`. `odd` may be
// the source itself (each register's odd values land below where they were read).
template <typename T>
inline void split_pairs(int32_t k, const T* pairs, T* even, T* odd) {
  constexpr int L = kLanes<T>;
  int32_t i = 0;
  for (; i + L <= k; i += L) {
    const Vec<T> lo = simd::load(pairs + 2 * i), hi = simd::load(pairs + 2 * i + L);
    simd::store(even + i, simd::even_lanes(lo, hi));
    simd::store(odd + i, simd::odd_lanes(lo, hi));
  }
  if (i < k) {
    const int32_t left = 2 * (k - i);
    const Vec<T> lo = simd::load_zero(simd::first_lanes<T>(left), pairs + 2 * i);
    const Vec<T> hi = simd::load_zero(simd::first_lanes<T>(left > L ? left - L : 0), pairs + 2 * i + L);
    const auto m = simd::first_lanes<T>(k - i);
    simd::store(even + i, m, simd::even_lanes(lo, hi));
    simd::store(odd + i, m, simd::odd_lanes(lo, hi));
  }
}

// The accurate flag's clamp: r[i] := max(lo, r[i]).
template <typename T>
inline void clamp_below(int32_t n, T* r, T lo) {
  const Vec<T> l = simd::splat(lo);
  each(n, r, [&](Vec<T> v) { return simd::max(v, l); });
}

// r[i] := scale * r[i] + shift.
template <typename T>
inline void affine(int32_t n, T* r, T scale, T shift) {
  const Vec<T> s = simd::splat(scale), h = simd::splat(shift);
  each(n, r, [&](Vec<T> v) { return simd::fma(s, v, h); });
}

// ---- chunks ---------------------------------------------------------------------------------
// The stream's chunk `id` of `bytes`, created on first use with init(data) run once. Null with
// *status -4 when the data or the chunk record cannot be allocated (the data is not leaked), or
// with the chunk operation's own negative status.
template <typename Init>
inline void* stream_chunk(StreamState* s, uint32_t id, uint32_t bytes, int32_t* status, Init&& init) {
  *status = TARR_STATUS_OK;
  if (void* p = __tarrSearchChunk(s, id)) return p;
  void* data = host::allocate(bytes);
  if (!data) {
    *status = TARR_ERROR_NO_MEMORY;
    return nullptr;
  }
  init(data);
  if (const int32_t st = __tarrAddChunk(s, id, nullptr, data, bytes); st < 0) {
    host::deallocate(data);
    *status = st;
    return nullptr;
  }
  return data;
}

// The pending-pair chunk: two values, (-1, -1) meaning nothing pending.
template <typename T>
inline T* pending_pair(StreamState* s, uint32_t id, int32_t* status) {
  return static_cast<T*>(stream_chunk(s, id, 2 * sizeof(T), status, [](void* p) {
    static_cast<T*>(p)[0] = static_cast<T*>(p)[1] = T(-1);
  }));
}

}  // namespace zorp::dist
