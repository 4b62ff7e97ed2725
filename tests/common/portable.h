// The few process services the tests use that POSIX and Windows spell differently: environment
// variables.
#pragma once
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zorp::test {

inline constexpr bool kOnWindows =
#if defined(_WIN32)
    true;
#else
    false;
#endif

// setenv/unsetenv; on Windows through the C runtime the host core reads its variables from.
inline int set_env(const char* name, const char* value, bool overwrite = true) {
#if defined(_WIN32)
  if (!overwrite && std::getenv(name)) return 0;
  return _putenv_s(name, value);
#else
  return setenv(name, value, overwrite ? 1 : 0);
#endif
}
inline int unset_env(const char* name) {
#if defined(_WIN32)
  return _putenv_s(name, "");  // an empty value removes the variable
#else
  return unsetenv(name);
#endif
}

}  // namespace zorp::test
