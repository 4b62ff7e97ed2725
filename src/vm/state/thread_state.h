// The vector-math thread record and the mode word machinery shared by every vm entry.
#pragma once
#include <cstdint>

#include "platform/thread_cache.h"
#include "zorp/vm.h"

namespace zorp::vm {

// Field order is part of the contract with hosts that inspect the record.
struct ThreadState {
  uint32_t mode;  // 0: not initialised yet
  int32_t status;
  ZorpVmErrorCallback callback;
  void* input_vector;
};

ThreadState* thread_state_slow();

// The calling thread's record, created on first use. Never null: when no record can be set
// up the process is ended (message 773, exit code 3), as a host expects of this library.
// The platform's thread cache holds the record last found through the thread-local index;
// it is cleared when the record is freed.
inline ThreadState* thread_state() {
  if (auto* rec = static_cast<ThreadState*>(platform::thread_cache())) [[likely]] return rec;
  return thread_state_slow();
}

// Parses an environment value; ~0 when nothing usable was found (see mode.cpp).
uint64_t parse_mode_string(const char* text, int length);
// The mode a fresh thread starts with, from "ZORP_FENN_MODE" or the default.
uint32_t initial_mode();
// The group-by-group merge of SetMode: returns the new mode word.
uint32_t merge_mode(uint32_t current, uint32_t requested);

// The record's mode word, initialised from the environment on first use.
inline uint32_t mode_of(ThreadState* s) {
  if (s->mode == 0) s->mode = initial_mode();
  return s->mode;
}
inline uint32_t current_mode() { return mode_of(thread_state()); }

}  // namespace zorp::vm
