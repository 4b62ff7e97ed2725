// A fixture for kernel tests that run with status reporting off (the statuses have tests of
// their own); the mode is restored afterwards.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "zorp/vm.h"

namespace zorp::test {

class StatusesOff : public testing::Test {
 protected:
  void SetUp() override { saved_ = _fennSetMode(0x2000); }
  void TearDown() override { _fennSetMode(saved_); }
  uint32_t saved_ = 0;
};

}  // namespace zorp::test
