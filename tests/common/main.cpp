// Shared main of every test binary: refuse early on a processor without AVX-512.
#include <gtest/gtest.h>

#include "common/require_avx512.h"

int main(int argc, char** argv) {
  zorp::test::require_avx512_or_exit();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
