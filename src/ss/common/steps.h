// The step sequence of every compute routine of the family, written once:
//
//   check    the routine's checks in their fixed order; the first failing check's code is the
//            result and nothing has been written;
//   plan     what the call computes and how it splits: `parts` partials (ranges of observations,
//            or blocks of components) run on up to `threads` host threads;
//   carve    every work array of the call, taken from one allocation, so that a call either has
//            all its memory before it computes or fails with TARR_SS_ERROR_ALLOCATION having
//            written nothing (a routine that must allocate more, as for what it keeps with the
//            task, does so in start);
//   start    what the parts read, filled into the work arrays (selected components, shifts,
//            values stored by earlier calls);
//   part     one partial, on its own thread with its own scratch (indexed by the thread number,
//            which the host's parallel-for keeps distinct among tasks running at once);
//   finish   the partials merged in part order by exact formulas (so one thread and several
//            agree to rounding) and every result written.
//
// A routine is a struct derived from Split with the members check(), plan(), carve(Carver&),
// start(), part(int part, int thread) and finish(); run_steps(routine) runs them in that order.  The
// host's parallel-for numbers its threads 0..min(parts, limit)-1, which is what `threads` is
// set to, so scratch carved per thread is never shared by two parts running at once.
// plan() may return kNothingToDo (no component selected, say): the call then succeeds at once.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/host.h"
#include "zorp/ss.h"

namespace zorp::ss {

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

 private:
  template <typename E>
  E* piece(int64_t count, bool zeroed) {
    const size_t bytes = (size_t(count > 0 ? count : 0) * sizeof(E) + 127) / 128 * 128;
    E* p = base_ ? reinterpret_cast<E*>(base_ + used_) : nullptr;
    if (p && zeroed) std::memset(static_cast<void*>(p), 0, bytes);
    used_ += bytes;
    return p;
  }
  unsigned char* base_;
  size_t used_ = 0;
};

// ---- host threads ---------------------------------------------------------------------------
using ThreadForFn = void (*)(int, int, void*, zorp_thread_task_fn);
int thread_limit();          // threads the host lets a call use (1 without threading entries)
ThreadForFn thread_for();    // the host's parallel-for, or null

// How many threads `units` of work are worth when each thread needs at least `min_units` of its
// own to pay for starting it.
inline int useful_threads(int64_t units, int64_t min_units) {
  if (!thread_for()) return 1;
  const int64_t by_work = min_units > 0 ? units / min_units : units;
  const int64_t t = by_work < thread_limit() ? by_work : thread_limit();
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

struct Split {
  int parts = 1;          // partials of the call (set by plan)
  bool threaded = false;  // whether plan wants them on the host's threads
  int threads = 1;        // set by run_steps before carve: parts run on at most this many
                          // threads at once, numbered 0..threads-1 (one scratch copy each)
  // One part per block of components, as many as `values` values to read are worth with each
  // thread reading at least `min_values`, never more than the q components.
  void split_components(int64_t q, int64_t values, int64_t min_values) {
    const int64_t t = useful_threads(values, min_values);
    parts = int(q < t ? q : t);
    threaded = parts > 1;
  }
};

namespace detail {
template <typename Routine>
struct PartsRun {
  Routine* routine;
  int* status;  // one per part
};
template <typename Routine>
void run_part(int part, int thread, int, void* ctx) {
  auto* run = static_cast<PartsRun<Routine>*>(ctx);
  run->status[part] = run->routine->part(part, thread);
}
}  // namespace detail

template <typename Routine>
int run_steps(Routine& r) {
  if (int e = r.check()) return e;
  if (int e = r.plan()) return e == kNothingToDo ? 0 : e;
  r.threads = 1;
  if (r.threaded && r.parts > 1 && thread_for()) r.threads = r.parts < thread_limit() ? r.parts : thread_limit();
  Carver size;
  size.take<int>(r.parts);
  r.carve(size);
  auto* block = static_cast<unsigned char*>(host::allocate(size.used()));
  if (!block) return TARR_SS_ERROR_ALLOCATION;
  Carver hand(block);
  detail::PartsRun<Routine> run{&r, hand.take<int>(r.parts)};
  r.carve(hand);
  int status = r.start();
  if (status == 0 && r.threads > 1) {
    thread_for()(r.parts, 0, &run, detail::run_part<Routine>);
  } else if (status == 0) {
    for (int k = 0; k < r.parts; ++k) run.status[k] = r.part(k, 0);
  }
  for (int k = 0; k < r.parts && status == 0; ++k) status = run.status[k];
  if (status == 0) status = r.finish();
  host::deallocate(block);
  return status;
}

// The body of every export: a null task is refused before anything else.
template <template <typename> class Routine, typename T>
int run_routine(TarrSSTask* task, uint64_t estimates, uint32_t method) {
  if (!task) return TARR_SS_ERROR_NULL_TASK;
  Routine<T> r(task, estimates, method);
  return run_steps(r);
}

}  // namespace zorp::ss

// The double and float exports _tarrdSS<name> and _tarrsSS<name> of a routine struct template
// (constructed from the task, the estimate mask and the method mask).
#define ZORP_SS_EXPORTS(name, Routine)                                                           \
  extern "C" ZORP_API int _tarrdSS##name(TarrSSTask* task, uint64_t estimates, uint32_t method) { \
    return zorp::ss::run_routine<zorp::ss::Routine, double>(task, estimates, method);            \
  }                                                                                               \
  extern "C" ZORP_API int _tarrsSS##name(TarrSSTask* task, uint64_t estimates, uint32_t method) { \
    return zorp::ss::run_routine<zorp::ss::Routine, float>(task, estimates, method);             \
  }
