// The mode word: its initial value from "ZORP_FENN_MODE", the group-by-group merge of
// SetMode, and the mode entries.
#include <cstdint>
#include <cstring>

#include "host/host.h"
#include "vm/state/thread_state.h"
#include "zorp/vm.h"

namespace zorp::vm {

namespace {
constexpr uint64_t kNothingUsable = ~uint64_t{0};
constexpr int kEnvBufferBytes = 256;
constexpr char kPrefix[] = "FENN_";
constexpr int kPrefixLength = 5;

struct Keyword {
  const char* text;
  int length;
  uint32_t value;
};
// The first row that matches wins, so the order matters: "DOUBLE_CONSISTEN" is spelled
// without its final T, and the longer token with the T then fails on the trailing character.
constexpr Keyword kKeywords[18] = {
    {"LA", 2, 0x1},
    {"HA", 2, 0x2},
    {"EP", 2, 0x3},
    {"DEFAULT_PRECISION", 17, 0x0},
    {"FLOAT_CONSISTENT", 16, 0x10},
    {"DOUBLE_CONSISTEN", 16, 0x20},
    {"RESTORE", 7, 0x30},
    {"ERRMODE_IGNORE", 14, 0x100},
    {"ERRMODE_ERRNO", 13, 0x200},
    {"ERRMODE_STDERR", 14, 0x400},
    {"ERRMODE_EXCEPT", 14, 0x800},
    {"ERRMODE_CALLBACK", 16, 0x1000},
    {"ERRMODE_NOERR", 13, 0x2000},
    {"ERRMODE_DEFAULT", 15, 0x1A00},
    {"TRAP_INVALID", 12, 0x1000000},
    {"TRAP_DIVBYZERO", 14, 0x2000000},
    {"TRAP_OVERFLOW", 13, 0x4000000},
    {"TRAP_UNDERFLOW", 14, 0x8000000},
};

// SetMode replaces these groups one at a time; bits outside them (the consistency bits
// among them) never change after initialisation.
constexpr uint32_t kMergeGroups[] = {ZORP_VM_ACCURACY_MASK, ZORP_VM_ERRMODE_MASK,
                                     ZORP_VM_DENORMAL_MASK, ZORP_VM_TRAP_MASK,
                                     ZORP_VM_GROUP17_MASK};

volatile int32_t g_env_lock = 0;
}  // namespace

// A value is a comma-separated list of tokens "FENN_<keyword>" with nothing else: no blanks,
// no trailing comma, upper case only. Anything malformed throws the whole value away.
uint64_t parse_mode_string(const char* text, int length) {
  if (length <= 0) return kNothingUsable;
  uint64_t acc = 0;
  int pos = 0;
  for (;;) {
    if (pos + kPrefixLength > length || std::memcmp(text + pos, kPrefix, kPrefixLength) != 0)
      return kNothingUsable;
    pos += kPrefixLength;
    const Keyword* hit = nullptr;
    for (const Keyword& k : kKeywords) {
      if (pos + k.length <= kEnvBufferBytes - 1 && pos + k.length <= length &&
          std::memcmp(text + pos, k.text, k.length) == 0) {
        hit = &k;
        break;
      }
    }
    if (!hit) return kNothingUsable;
    pos += hit->length;
    if (pos == length || text[pos] == '\0') return acc | hit->value;
    if (text[pos] != ',') return kNothingUsable;
    acc |= hit->value;
    ++pos;
  }
}

uint32_t initial_mode() {
  char buffer[kEnvBufferBytes];
  zorp_serv_lock(&g_env_lock);
  const int length = zorp_serv_getenv("ZORP_FENN_MODE", buffer, kEnvBufferBytes);
  zorp_serv_unlock(&g_env_lock);
  const uint64_t e = length > 0 ? parse_mode_string(buffer, length) : kNothingUsable;
  if (e == kNothingUsable) return ZORP_VM_DEFAULT_MODE;
  uint32_t mode = static_cast<uint32_t>(e);
  if ((mode & ZORP_VM_ACCURACY_MASK) == 0) mode += ZORP_VM_HA;
  if ((mode & ZORP_VM_ERRMODE_MASK) == 0) mode += ZORP_VM_ERRMODE_DEFAULT;
  return mode;
}

uint32_t merge_mode(uint32_t current, uint32_t requested) {
  for (uint32_t group : kMergeGroups)
    if (requested & group) current = (current & ~group) | (requested & group);
  return current;
}

}  // namespace zorp::vm

using zorp::vm::mode_of;
using zorp::vm::thread_state;

extern "C" {

ZORP_API uint32_t zorp_fenn_kernel_SetMode(uint32_t mode) {
  zorp::vm::ThreadState* s = thread_state();
  const uint32_t old = mode_of(s);
  s->mode = zorp::vm::merge_mode(old, mode);
  return old;
}

ZORP_API uint32_t zorp_fenn_kernel_GetMode(void) { return mode_of(thread_state()); }

ZORP_API uint32_t zorp_fenn_kernel_GetTTableIndex(void) {
  return (mode_of(thread_state()) & ZORP_VM_ACCURACY_MASK) - 1u;
}

// A pure function of its second argument: hosts use it to pick a slot for a mode they hold.
ZORP_API uint32_t zorp_fenn_kernel_GetTTableIndexM(uint32_t, uint32_t mode) {
  return (mode & ZORP_VM_ACCURACY_MASK) - 1u;
}

// The processor level this build serves (AVX-512).
ZORP_API int32_t dll_cpu_version(void) { return 9; }

// The short names are second names of the same entries.
ZORP_API uint32_t _fennSetMode(uint32_t) __attribute__((alias("zorp_fenn_kernel_SetMode")));
ZORP_API uint32_t _fennGetMode(void) __attribute__((alias("zorp_fenn_kernel_GetMode")));
}
