// A task record of the family's own, on the stack, for running the family's routines (the basic
// statistics, the quantiles) on the caller's observations or on work arrays of a call: nothing
// is allocated for the record, and the one block a routine may leave with a task (the work
// buffer of the basic routine's shift) is freed with it.  The caller's task is never touched.
#pragma once
#include <cstring>

#include "host/host.h"
#include "ss/task/task.h"

namespace zorp::ss {

class OwnTask {
 public:
  // Empty, with 64-bit integer items (`wide`) or 32-bit ones, for double (1) or float (0) data.
  OwnTask(bool wide, bool is_double) {
    std::memset(&rec_, 0, sizeof rec_);
    rec_.width_flag = wide ? 1 : 0;
    rec_.version = 2;
    rec_.precision = is_double ? 1 : 0;
  }
  // The caller's observations: dimension, count, layout, array and component indices.
  explicit OwnTask(const TarrSSTask* t, bool with_indices = true) : OwnTask(t->width_flag != 0, t->precision != 0) {
    rec_.dimension = t->dimension;
    rec_.nobs = t->nobs;
    rec_.storage = t->storage;
    rec_.x = t->x;
    rec_.indices = with_indices ? t->indices : nullptr;
  }
  ~OwnTask() {
    if (void* left = slot(&rec_, kSlotWork)) host::deallocate(left);
  }
  OwnTask(const OwnTask&) = delete;
  OwnTask& operator=(const OwnTask&) = delete;

  TarrSSTask* get() { return &rec_; }
  TarrSSTask* operator->() { return &rec_; }
  void set(int s, const void* v) { slots(&rec_)[s] = const_cast<void*>(v); }

 private:
  TarrSSTask rec_;
};

// The basic routine of a task's precision.
template <typename T>
int basic(TarrSSTask* t, uint64_t estimates, uint32_t method) {
  return sizeof(T) == 8 ? _tarrdSSBasic(t, estimates, method) : _tarrsSSBasic(t, estimates, method);
}

}  // namespace zorp::ss
