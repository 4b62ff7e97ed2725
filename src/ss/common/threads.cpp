// The host's threading entries, looked up by name once.
#include "ss/common/steps.h"

namespace zorp::ss {

int thread_limit() {
  using LimitFn = int (*)(void);
  static const LimitFn fn =
      reinterpret_cast<LimitFn>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_get_num_threads_limit"));
  const int n = fn ? fn() : 1;
  return n < 1 ? 1 : n;
}

ThreadForFn thread_for() {
  static const ThreadForFn fn = reinterpret_cast<ThreadForFn>(zorp_serv_load_thread_fun("zorp_tarr_serv_threader_for"));
  return fn;
}

}  // namespace zorp::ss
