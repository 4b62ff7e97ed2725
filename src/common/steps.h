// The step sequence every compute routine of the statistics and data-fitting families runs, and
// the work-space carver it allocates through.  It lives here, next to host/ and simd/, because
// it belongs to no one family: each family supplies only what differs between them, a small
// thread policy (how parts reach the host's threads, and which status a failed allocation is),
// and keeps its own routines in its own folder.
//
//   check    the routine's checks in their fixed order; the first failing check's code is the
//            result and nothing has been written;
//   plan     what the call computes and how it splits: `parts` partials (ranges of items, or
//            blocks of components) and whether they are worth the host's threads (`threaded`);
//   carve    every work array of the call, taken from one allocation, so that a call either has
//            all its memory before it computes or fails with the policy's allocation status
//            having written nothing (a routine that must allocate more, as for what it keeps
//            past the call, does so in start or later and frees it itself);
//   start    what the parts read, filled into the work arrays;
//   part     one partial, on its own thread with its own scratch (indexed by the thread number,
//            which is below `threads` and distinct among parts running at once);
//   finish   the partials merged in part order (so one thread and several agree) and every
//            result written.
//
// A routine is a struct derived from Split<Pool> with the members check(), plan(),
// carve(Carver&), start(), part(int part, int thread) and finish(); run_steps(routine) runs them
// in that order.  check() and plan() may return kNothingToDo (an empty request, no component
// selected): the call then succeeds at once, before anything later is looked at.  No status of
// either family is 1 (errors are negative, the one warning a large code), so kNothingToDo is
// never a routine's own status.  A part's
// nonzero status does not stop the other parts; the call returns the first one in part order.
//
// A thread policy (the `pool` member of Split) has
//   static constexpr int kAllocationFailure;      the status of a failed allocation
//   static constexpr bool kAlwaysLaunch;          whether a threaded plan goes through run() even
//                                                 when it gets one thread (the caller may watch
//                                                 its launcher being used)
//   bool available() const;                       whether parts can go to the host's threads
//   int limit() const;                            threads a call may use (at least 1)
//   template <class Body> void run(int parts, int threads, Body& body) const;
//                                                 body(part, thread) for every part, on threads
//                                                 numbered 0..threads-1
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/host.h"

namespace zorp::steps {

// ---- work space ---------------------------------------------------------------------------
// carve(Carver&) runs twice: first with no block (every take returns null and only adds up the
// sizes), then on the allocated block.  Pieces are 128-byte aligned; take() hands them out
// zeroed, scratch() as they are (large buffers that are written before they are read: zeroing
// them would cost a pass over memory the call never needed).
class Carver {
 public:
  explicit Carver(unsigned char* base = nullptr) : base_(base) {}
  template <typename E>
  E* take(int64_t count) {
    return piece<E>(count, true);
  }
  template <typename E>
  E* scratch(int64_t count) {
    return piece<E>(count, false);
  }
  // `copies` pieces of `count` elements and the table of their addresses.
  template <typename E>
  E** take_each(int copies, int64_t count, bool zeroed = true) {
    E** table = take<E*>(copies);
    for (int k = 0; k < copies; ++k) {
      E* p = piece<E>(count, zeroed);
      if (table) table[k] = p;
    }
    return table;
  }
  template <typename E>
  E** scratch_each(int copies, int64_t count) {
    return take_each<E>(copies, count, false);
  }
  size_t used() const { return used_; }

  // The bytes a piece of `count` elements of E occupies.
  template <typename E>
  static size_t bytes_of(int64_t count) {
    return (size_t(count > 0 ? count : 0) * sizeof(E) + 127) / 128 * 128;
  }

 private:
  template <typename E>
  E* piece(int64_t count, bool zeroed) {
    const size_t bytes = bytes_of<E>(count);
    E* p = base_ ? reinterpret_cast<E*>(base_ + used_) : nullptr;
    if (p && zeroed) std::memset(static_cast<void*>(p), 0, bytes);
    used_ += bytes;
    return p;
  }
  unsigned char* base_;
  size_t used_ = 0;
};

// ---- splitting ------------------------------------------------------------------------------
// How many threads `units` of work are worth when each thread needs at least `min_units` of its
// own to pay for starting it.
template <typename Pool>
int useful_threads(const Pool& pool, int64_t units, int64_t min_units) {
  if (!pool.available()) return 1;
  const int64_t by_work = min_units > 0 ? units / min_units : units;
  const int64_t t = by_work < pool.limit() ? by_work : pool.limit();
  return t < 1 ? 1 : int(t);
}

// Part r of `parts` consecutive ranges of `count` items: count div parts each, the last one
// also the remainder.
struct Span {
  int64_t begin, end;
  int64_t size() const { return end - begin; }
};
inline Span span_of(int64_t count, int parts, int r) {
  const int64_t per = count / parts, b = r * per;
  return {b, r == parts - 1 ? count : b + per};
}

// ---- the sequence -----------------------------------------------------------------------------
inline constexpr int kNothingToDo = 1;

template <typename Pool>
struct Split {
  int parts = 1;          // partials of the call (set by plan)
  bool threaded = false;  // whether plan wants them on the host's threads
  int threads = 1;        // set by run_steps before carve: parts run on at most this many
                          // threads at once, numbered 0..threads-1 (one scratch copy each)
  [[no_unique_address]] Pool pool{};
  // One part per block of components, as many as `values` values to read are worth with each
  // thread reading at least `min_values`, never more than the q components.
  void split_components(int64_t q, int64_t values, int64_t min_values) {
    const int64_t t = useful_threads(pool, values, min_values);
    parts = int(q < t ? q : t);
    threaded = parts > 1;
  }
};

// The threads a routine's parts run on: its plan's wish, as far as the pool and the parts go.
template <typename Routine>
int threads_for(const Routine& r) {
  if (!r.threaded || !r.pool.available()) return 1;
  const int limit = r.pool.limit();
  return r.parts < limit ? r.parts : limit;
}

template <typename Routine>
int run_steps(Routine& r) {
  using Pool = decltype(r.pool);
  if (int e = r.check()) return e == kNothingToDo ? 0 : e;
  if (int e = r.plan()) return e == kNothingToDo ? 0 : e;
  r.threads = threads_for(r);
  // Parts on the pool report into one status word each; in the calling thread the first
  // failure is kept as they go.  A call that needs no work space allocates nothing (and so
  // cannot fail for want of memory).
  const bool spread = r.threads > 1 || (Pool::kAlwaysLaunch && r.threaded && r.pool.available());
  Carver size;
  if (spread) size.take<int>(r.parts);
  r.carve(size);
  unsigned char* block = nullptr;
  if (size.used()) {
    block = static_cast<unsigned char*>(host::allocate(size.used()));
    if (!block) return Pool::kAllocationFailure;
  }
  Carver hand(block);
  int* status = spread ? hand.take<int>(r.parts) : nullptr;
  r.carve(hand);
  int rc = r.start();
  if (rc == 0 && spread) {
    auto body = [&](int part, int thread) { status[part] = r.part(part, thread); };
    r.pool.run(r.parts, r.threads, body);
    for (int k = 0; k < r.parts && rc == 0; ++k) rc = status[k];
  } else if (rc == 0) {
    for (int k = 0; k < r.parts; ++k) {
      const int s = r.part(k, 0);
      if (rc == 0) rc = s;
    }
  }
  if (rc == 0) rc = r.finish();
  if (block) host::deallocate(block);
  return rc;
}

}  // namespace zorp::steps
