// A Python peer run by a benchmark binary after its own cases, so that numpy or SciPy is measured
// in the same run on the same machine: the script sits in bench/ beside the benchmarks and takes
// as many rounds as the run asked for repetitions (at least three). ZORP_BENCH_NO_NUMPY=1 skips
// it (a machine without the Debian packages, or a run of the C++ cases alone).
#pragma once
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

// How many repetitions the command line asks for (1 when it does not say).
inline int repetitions(int argc, char** argv) {
  const std::string flag = "--benchmark_repetitions=";
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]).rfind(flag, 0) == 0) return std::atoi(argv[i] + flag.size());
  return 1;
}

// Runs bench/`script` with `args` and --rounds; returns its exit status as 0 or 1.
inline int run_python_peer(const std::string& script, const std::string& args, int rounds) {
  const char* skip = std::getenv("ZORP_BENCH_NO_NUMPY");
  if (skip && *skip == '1') return 0;
  const std::string path = std::string(ZORP_BENCH_DIR) + "/" + script;
  // Debian's numpy and SciPy are the system interpreter's; a python3 earlier on PATH may lack them.
  const std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  const std::string command =
      python + " '" + path + "' " + args + " --rounds " + std::to_string(rounds < 3 ? 3 : rounds);
  std::fflush(stdout);
  return std::system(command.c_str()) == 0 ? 0 : 1;
}

}  // namespace bench
