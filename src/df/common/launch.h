// Work items on the host's threads through the data-fitting threading table (entry 0 the
// launcher, entry 4 the thread count; the table may be null), or in the calling thread.  The
// library starts no threads of its own.
#pragma once
#include <cstdint>

#include "host/host.h"

namespace zorp::df {

// The host's thread count (1 without a table or without its count entry).
inline int host_threads(void** threading) {
  if (!threading || !threading[0] || !threading[4]) return 1;
  const int n = reinterpret_cast<zorp_df_nthreads_fn>(threading[4])();
  return n < 1 ? 1 : n;
}

inline bool can_launch(void** threading) { return threading && threading[0]; }

// Items 0..items-1 through the launcher on `threads` threads, or in order in the calling
// thread as thread 0.
inline void run_items(void** threading, bool launch, int64_t items, int threads, void* ctx, zorp_df_worker_fn worker) {
  if (launch) {
    reinterpret_cast<zorp_df_launch_fn>(threading[0])(static_cast<int>(items), threads, ctx, worker);
  } else {
    for (int64_t it = 0; it < items; ++it) worker(ctx, static_cast<int>(it), 0);
  }
}

}  // namespace zorp::df
