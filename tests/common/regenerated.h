// Generated files are committed with the tool that writes them; a test runs the tool into a
// temporary file and compares it with the committed one byte for byte. The tools are built
// beside the tests in a full build; a build without them (the sanitizer presets) skips.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace zorp::test {

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// `tool` under the build's bin/, given the output path as its only argument; `committed`
// relative to the source tree. The whole body of a test.
inline void expect_tool_regenerates(const std::string& tool, const std::string& committed) {
  const std::string exe = std::string(ZORP_LIB_DIR) + "/../bin/" + tool;
  if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << exe << " not built";
  const std::string out = testing::TempDir() + tool + "_regenerated";
  ASSERT_EQ(std::system((exe + " " + out).c_str()), 0);
  const std::string expected = slurp(std::string(ZORP_SOURCE_DIR) + "/" + committed);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(slurp(out), expected);
  std::remove(out.c_str());
}

}  // namespace zorp::test
