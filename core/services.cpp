// Locks, environment, the numbered message catalogue and process exit.
#include <zorp/core.h>

#include <sched.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

// Test-and-test-and-set on the caller's word: spin on a plain load with the pause hint for a
// short while (critical sections in the kernel library are a few instructions long), then
// give the processor away so that a preempted owner can finish.
void zorp_serv_lock(volatile int32_t* word) {
  for (unsigned spins = 0;; ++spins) {
    if (__atomic_load_n(word, __ATOMIC_RELAXED) == 0 &&
        __atomic_exchange_n(word, 1, __ATOMIC_ACQUIRE) == 0)
      return;
    if (spins < 64)
      __builtin_ia32_pause();
    else
      sched_yield();
  }
}

void zorp_serv_unlock(volatile int32_t* word) { __atomic_store_n(word, 0, __ATOMIC_RELEASE); }

// Returns the number of characters stored (the value cut to buflen-1 when longer); 0 when
// the variable is not set (an empty value also gives 0) and -1 when there is no usable buffer.
int zorp_serv_getenv(const char* name, char* buf, int buflen) {
  if (!buf || buflen <= 0) return -1;
  buf[0] = '\0';
  if (!name) return 0;
  const char* value = std::getenv(name);
  if (!value) return 0;
  size_t n = std::strlen(value);
  if (n > static_cast<size_t>(buflen - 1)) n = static_cast<size_t>(buflen - 1);
  std::memcpy(buf, value, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

void zorp_serv_exit(int code) { std::exit(code); }

}  // extern "C"

namespace {
// The catalogue. Each message says which arguments it takes:
//   748          (const char* function name, int element index)
//   749..754     (const char* function name)
//   755..766     (int element index, double value)
//   773          none
// 748..754 are the headline of a vector-math error report; 755..766 follow it, one line per
// argument or result value of the offending element; 773 says that the per-thread state of
// the vector-math functions could not be set up.
enum class Args { kNameIndex, kName, kIndexValue, kNone };
struct Message {
  int code;
  Args args;
  const char* text;
};
constexpr Message kCatalogue[] = {
    {748, Args::kNameIndex, "%s: bad element count (index %d)"},
    {749, Args::kName, "%s: null array pointer"},
    {750, Args::kName, "%s: argument outside the domain of the function"},
    {751, Args::kName, "%s: singularity, the exact result is infinite"},
    {752, Args::kName, "%s: the result overflows"},
    {753, Args::kName, "%s: the result underflows"},
    {754, Args::kName, "%s: unknown error status"},
    {755, Args::kIndexValue, "  element %d: argument = %.17g"},
    {756, Args::kIndexValue, "  element %d: result = %.17g"},
    {757, Args::kIndexValue, "  element %d: argument = %.17g"},
    {758, Args::kIndexValue, "  element %d: first result = %.17g"},
    {759, Args::kIndexValue, "  element %d: second result = %.17g"},
    {760, Args::kIndexValue, "  element %d: first argument = %.17g"},
    {761, Args::kIndexValue, "  element %d: second argument = %.17g"},
    {762, Args::kIndexValue, "  element %d: result = %.17g"},
    {763, Args::kIndexValue, "  element %d: first argument = %.17g"},
    {764, Args::kIndexValue, "  element %d: second argument = %.17g"},
    {765, Args::kIndexValue, "  element %d: first result = %.17g"},
    {766, Args::kIndexValue, "  element %d: second result = %.17g"},
    {773, Args::kNone, "cannot set up the per-thread state of the vector-math functions"},
};

const Message* find(int code) {
  for (const Message& m : kCatalogue)
    if (m.code == code) return &m;
  return nullptr;
}
}  // namespace

extern "C" void zorp_serv_print(int channel, int code, int nargs, ...) {
  // Every line goes out with one write so that lines of several threads do not interleave.
  // Only as many arguments as the caller announced are read; missing ones print as "?".
  char line[512];
  const Message* m = find(code);
  va_list ap;
  va_start(ap, nargs);
  if (!m) {
    std::snprintf(line, sizeof line, "zorp: message %d\n", code);
  } else {
    char body[448];
    switch (m->args) {
      case Args::kNone:
        std::snprintf(body, sizeof body, "%s", m->text);
        break;
      case Args::kName: {
        const char* name = nargs >= 1 ? va_arg(ap, const char*) : nullptr;
        std::snprintf(body, sizeof body, m->text, name ? name : "?");
        break;
      }
      case Args::kNameIndex: {
        const char* name = nargs >= 1 ? va_arg(ap, const char*) : nullptr;
        if (nargs >= 2) {
          const int index = va_arg(ap, int);
          std::snprintf(body, sizeof body, m->text, name ? name : "?", index);
        } else {
          std::snprintf(body, sizeof body, "%s: bad element count", name ? name : "?");
        }
        break;
      }
      case Args::kIndexValue: {
        if (nargs >= 2) {
          const int index = va_arg(ap, int);
          const double value = va_arg(ap, double);
          std::snprintf(body, sizeof body, m->text, index, value);
        } else {
          std::snprintf(body, sizeof body, "  (message %d without its values)", code);
        }
        break;
      }
    }
    std::snprintf(line, sizeof line, "zorp: %s\n", body);
  }
  va_end(ap);
  (void)channel;  // every channel of this host is the process's stderr
  std::fputs(line, stderr);
}
