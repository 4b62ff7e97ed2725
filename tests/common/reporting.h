// For tests that read what the kernels report: the calling thread in HA mode with the callback
// error mode, every record kept in `reported()`, and the thread's mode, callback and status
// restored afterwards. Also the dispatch table of one function, found by name in the loaded
// library, for calling one slot's kernel directly.
#pragma once

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zorp/vm.h"

namespace zorp::test {

inline std::vector<ZorpVmErrorRecord>& reported() {
  static std::vector<ZorpVmErrorRecord> records;
  return records;
}

template <typename Base = testing::Test>
class Reporting : public Base {
 protected:
  static int32_t keep(ZorpVmErrorRecord* r) {
    reported().push_back(*r);
    return 0;
  }
  void SetUp() override {
    saved_ = _fennSetMode(ZORP_VM_HA | ZORP_VM_ERRMODE_CALLBACK);
    _fennSetErrorCallBack(keep);
    reported().clear();
  }
  void TearDown() override {
    _fennClearErrorCallBack();
    _fennSetMode(saved_);
    _fennClearErrStatus();
  }
  uint32_t saved_ = 0;
};

inline void** kernel_table(char type, const std::string& function) {
  static void* lib = dlopen("libzorp_fenn_avx512.so.2", RTLD_NOW | RTLD_NOLOAD);
  return static_cast<void**>(dlsym(lib, ("zorp_fenn_kernel_" + std::string(1, type) + function + "_ttab").c_str()));
}

}  // namespace zorp::test
