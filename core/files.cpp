// Buffered binary files for the kernel library's saved streams, with the fault-injection hooks
// the tests use to make a write or a close fail: neither can be provoked reliably through a real
// file system (a full disk shows only when the buffer is flushed, and then at the close).
#include <zorp/core.h>

#include <cstdio>

#include "platform/fail_countdown.h"

namespace {
zorp::platform::FailCountdown g_fail_write;
zorp::platform::FailCountdown g_fail_close;
}  // namespace

extern "C" {

void* zorp_serv_fopen(const char* name, const char* mode) { return std::fopen(name, mode); }

size_t zorp_serv_fread(void* dst, size_t bytes, void* file) {
  return std::fread(dst, 1, bytes, static_cast<FILE*>(file));
}

size_t zorp_serv_fwrite(const void* src, size_t bytes, void* file) {
  if (g_fail_write.fails_now()) return 0;
  return std::fwrite(src, 1, bytes, static_cast<FILE*>(file));
}

int zorp_serv_fclose(void* file) {
  // The file is closed in any case; an injected failure only changes the answer.
  const int status = std::fclose(static_cast<FILE*>(file));
  return g_fail_close.fails_now() ? EOF : status;
}

void zorp_core_fail_file_write(int64_t k) { g_fail_write.arm(k); }
void zorp_core_fail_file_close(int64_t k) { g_fail_close.arm(k); }

}  // extern "C"
