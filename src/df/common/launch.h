// Data fitting's thread policy for the step sequence of common/steps.h: parts go to the host's
// threads through the caller's data-fitting threading table (entry 0 the launcher, entry 4 the
// thread count; the table may be null), and a failed allocation is DF_ERROR_MEM_FAILURE.  The
// library starts no threads of its own.
#pragma once
#include <cstdint>

#include "common/steps.h"
#include "host/host.h"
#include "zorp/df.h"

namespace zorp::df {

struct Launcher {
  static constexpr int kAllocationFailure = DF_ERROR_MEM_FAILURE;
  // A call above a routine's threshold goes to the caller's launcher even when the host has one
  // thread or the call one item: the caller sees the same launches whatever its thread count.
  static constexpr bool kAlwaysLaunch = true;
  void** table = nullptr;

  bool available() const { return table && table[0]; }
  // The host's thread count (1 without a table or without its count entry).
  int limit() const {
    if (!available() || !table[4]) return 1;
    const int n = reinterpret_cast<zorp_df_nthreads_fn>(table[4])();
    return n < 1 ? 1 : n;
  }
  template <class Body>
  void run(int parts, int threads, Body& body) const {
    reinterpret_cast<zorp_df_launch_fn>(table[0])(
        parts, threads, &body, [](void* ctx, int item, int thread) { (*static_cast<Body*>(ctx))(item, thread); });
  }
};

using steps::Carver;
using steps::kNothingToDo;
using steps::run_steps;
using Split = steps::Split<Launcher>;

}  // namespace zorp::df
