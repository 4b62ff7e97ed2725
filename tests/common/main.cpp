// Shared main of every test binary. (Processors without AVX-512 are turned away before the
// binary starts, by cmake/needs-avx512: its static initialisers already run AVX-512 code.)
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
