// What the statistics family adds to the step sequence of common/steps.h: its thread policy
// (the host core's parallel-for, which numbers its threads 0..min(parts, limit)-1, and
// TARR_SS_ERROR_ALLOCATION for a failed allocation), the layer's names in this namespace so
// that routines write Carver, Split, span_of as before, and the body of every export with its
// null-task check.
#pragma once
#include <cstdint>

#include "common/steps.h"
#include "host/host.h"
#include "zorp/ss.h"

namespace zorp::ss {

// ---- host threads ---------------------------------------------------------------------------
using ThreadForFn = void (*)(int, int, void*, zorp_thread_task_fn);
int thread_limit();          // threads the host lets a call use (1 without threading entries)
ThreadForFn thread_for();    // the host's parallel-for, or null

struct HostThreads {
  static constexpr int kAllocationFailure = TARR_SS_ERROR_ALLOCATION;
  static constexpr bool kAlwaysLaunch = false;
  bool available() const { return thread_for() != nullptr; }
  int limit() const { return thread_limit(); }
  template <class Body>
  void run(int parts, int, Body& body) const {
    thread_for()(parts, 0, &body, [](int part, int thread, int, void* ctx) { (*static_cast<Body*>(ctx))(part, thread); });
  }
};

using steps::Carver;
using steps::kNothingToDo;
using steps::run_steps;
using steps::Span;
using steps::span_of;
using Split = steps::Split<HostThreads>;

inline int useful_threads(int64_t units, int64_t min_units) { return steps::useful_threads(HostThreads{}, units, min_units); }

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
