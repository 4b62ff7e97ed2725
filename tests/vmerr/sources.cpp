// The library sources these white-box tests compile in. Their symbols are hidden in the
// library, so nothing clashes; the load hooks come along so that the thread record is set up
// as in the library. Every host message they print goes through the recorder below first.
#define zorp_serv_print zorp_test_record_print
#if defined(_WIN32)
#include "platform/win32/heap.cpp"
#include "platform/win32/load.cpp"
#include "platform/win32/tls.cpp"
#else
#include "platform/posix/heap.cpp"
#include "platform/posix/load.cpp"
#include "platform/posix/tls.cpp"
#endif
#include "vm/error/channels.cpp"
#include "vm/error/entries.cpp"
#include "vm/error/report.cpp"
#include "vm/state/mode.cpp"
#include "vm/state/state.cpp"
#undef zorp_serv_print

#include <cstdarg>

#include "vmerr/printed.h"

extern "C" void zorp_serv_print(int channel, int code, int nargs, ...);

namespace zorp::test {
std::vector<Printed>& printed() {
  static std::vector<Printed> log;
  return log;
}
}  // namespace zorp::test

// Decodes the arguments by the catalogue's rules for each code, keeps them, and passes the
// message on to the host core so that it really reaches stderr.
extern "C" void zorp_test_record_print(int channel, int code, int nargs, ...) {
  zorp::test::Printed p{channel, code, nargs, {}, 0, 0.0};
  va_list ap;
  va_start(ap, nargs);
  if (code == 748 && nargs == 2) {
    p.text = va_arg(ap, const char*);
    p.integer = va_arg(ap, int);
    zorp_serv_print(channel, code, nargs, p.text.c_str(), p.integer);
  } else if (code >= 749 && code <= 754 && nargs == 1) {
    p.text = va_arg(ap, const char*);
    zorp_serv_print(channel, code, nargs, p.text.c_str());
  } else if (code >= 755 && code <= 766 && nargs == 2) {
    p.integer = va_arg(ap, int);
    p.value = va_arg(ap, double);
    zorp_serv_print(channel, code, nargs, p.integer, p.value);
  } else if (nargs == 0) {
    zorp_serv_print(channel, code, 0);
  } else {
    p.text = "<arguments that do not fit the code>";
  }
  va_end(ap);
  zorp::test::printed().push_back(p);
}
