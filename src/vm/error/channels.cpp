// The errno, stderr and except channels of an error report.
#include "vm/error/channels.h"

#include <atomic>
#include <cstring>

#include "host/host.h"
#include "platform/fpu.h"
#include "vm/state/thread_state.h"

namespace zorp::vm {

namespace {

// ---- what each status stands for ---------------------------------------------------------
constexpr int kErrnoDomain = 33;   // EDOM
constexpr int kErrnoRange = 34;    // ERANGE
constexpr int kErrnoBadSize = 22;  // EINVAL
constexpr int kErrnoBadMem = 13;   // EACCES
constexpr int kErrnoUnknown = 14;  // EFAULT

// x87 status-word exception flags, which are also the control-word mask bits of the same
// exceptions.
constexpr uint16_t kX87Invalid = 0x01;
constexpr uint16_t kX87ZeroDivide = 0x04;
constexpr uint16_t kX87Overflow = 0x08;
constexpr uint16_t kX87Underflow = 0x10;
constexpr uint16_t kX87AllExceptions = 0x3F;
// Error summary and busy bits: set together when an unmasked exception is pending.
constexpr uint16_t kX87Pending = 0x8080;

constexpr int kChannelStderr = 1;
constexpr int kMsgBadSize = 748;  // name, index
constexpr int kMsgBadMem = 749;   // name
constexpr int kMsgDomain = 750;   // name; 751..754 likewise
constexpr int kMsgUnknown = 754;

// Per-value lines: (index, value). One set per combination of one or two arguments and one or
// two results, the values in record order.
constexpr int kMsgA1R1[] = {755, 756};
constexpr int kMsgA1R2[] = {757, 758, 759};
constexpr int kMsgA2R1[] = {760, 761, 762};
constexpr int kMsgA2R2[] = {763, 764, 765, 766};

uint64_t bits_of(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}
bool is_nan_bits(uint64_t b) { return (b & 0x7FFFFFFFFFFFFFFFull) > 0x7FF0000000000000ull; }
bool is_zero_bits(uint64_t b) { return (b << 1) == 0; }

// ---- errno ---------------------------------------------------------------------------------
// The search is made once per process and its outcome, found or not, remembered. Two threads
// racing through the first search both find the same entry, so no lock is needed: the entry is
// published before the done flag.
std::atomic<platform::ErrnoEntry> g_errno_entry{nullptr};
std::atomic<bool> g_errno_searched{false};

void errno_channel(int32_t status) {
  if (platform::ErrnoEntry entry = runtime_errno_entry()) *entry() = errno_value_of(status);
}

// ---- stderr --------------------------------------------------------------------------------
void print_values(const ZorpVmErrorRecord& rec) {
  // A one-argument kernel hands its argument array in twice, so equal arguments mean one
  // argument. For two-argument functions the second argument is printed only when it is a NaN
  // other than the first one (the usual reason a two-argument function fails); otherwise the
  // first argument alone identifies the element well enough.
  const uint64_t a1 = bits_of(rec.arg1), a2 = bits_of(rec.arg2);
  const uint64_t r1 = bits_of(rec.res1), r2 = bits_of(rec.res2);
  const bool two_args = a2 != a1 && is_nan_bits(a2);
  // A one-result kernel hands its result array in twice; a zero second result is treated as
  // absent too.
  const bool two_results = !(r2 == r1 || is_zero_bits(r2));
  auto line = [&](int code, double value) {
    zorp_serv_print(kChannelStderr, code, 2, rec.index, value);
  };
  if (!two_args && !two_results) {
    line(kMsgA1R1[0], rec.arg1);
    line(kMsgA1R1[1], rec.res1);
  } else if (!two_args) {
    line(kMsgA1R2[0], rec.arg1);
    line(kMsgA1R2[1], rec.res1);
    line(kMsgA1R2[2], rec.res2);
  } else if (!two_results) {
    line(kMsgA2R1[0], rec.arg1);
    line(kMsgA2R1[1], rec.arg2);
    line(kMsgA2R1[2], rec.res1);
  } else {
    line(kMsgA2R2[0], rec.arg1);
    line(kMsgA2R2[1], rec.arg2);
    line(kMsgA2R2[2], rec.res1);
    line(kMsgA2R2[3], rec.res2);
  }
}

void stderr_channel(const ZorpVmErrorRecord& rec) {
  switch (rec.status) {
    case ZORP_VM_STATUS_OK:
      return;
    case ZORP_VM_STATUS_BADMEM:
      zorp_serv_print(kChannelStderr, kMsgBadMem, 1, rec.name);
      return;
    case ZORP_VM_STATUS_BADSIZE:
      zorp_serv_print(kChannelStderr, kMsgBadSize, 2, rec.name, rec.index);
      return;
    default:
      zorp_serv_print(kChannelStderr, message_code_of(rec.status), 1, rec.name);
      print_values(rec);
      return;
  }
}

// ---- except --------------------------------------------------------------------------------
uint16_t x87_traps_of(uint32_t mode) {
  uint16_t t = 0;
  if (mode & ZORP_VM_TRAP_INVALID) t |= kX87Invalid;
  if (mode & ZORP_VM_TRAP_DIVBYZERO) t |= kX87ZeroDivide;
  if (mode & ZORP_VM_TRAP_OVERFLOW) t |= kX87Overflow;
  if (mode & ZORP_VM_TRAP_UNDERFLOW) t |= kX87Underflow;
  return t;
}

// Raises the status's exception on the x87 unit as a caller's own x87 instruction would: the
// caller's environment with the exceptions the thread selected unmasked as well and the
// status's flag added is loaded, so an unmasked exception whose flag is set traps. That is the
// status's own exception when the thread selected it; it is also a flag left over from earlier
// x87 work, or an exception the caller had unmasked itself, because that is what the caller's
// next x87 instruction would have raised anyway: the report does not hide the caller's state.
//
// Loading an environment with an unmasked flag makes the exception pending (the error summary
// bits are set as the processor itself would show them), and the fwait right after delivers it
// inside this routine rather than at some later, unrelated x87 instruction of the caller.
// Without a trap the fwait does nothing.
//
// Afterwards the caller's environment comes back with all six exceptions masked, no exception
// pending, and this status's flag added to the flags it already had.
void except_channel(int32_t status, uint32_t mode) {
  const uint16_t flag = x87_flag_of(status);
  fpu::X87Env saved;
  fpu::x87_store_env(&saved);

  fpu::X87Env trial = saved;
  trial.control = static_cast<uint16_t>(trial.control & ~x87_traps_of(mode));
  trial.status = static_cast<uint16_t>(trial.status | flag);
  if (trial.status & ~trial.control & kX87AllExceptions) trial.status |= kX87Pending;
  fpu::x87_load_env(&trial);
  fpu::x87_wait();

  saved.control |= kX87AllExceptions;
  saved.status = static_cast<uint16_t>((saved.status & ~kX87Pending) | flag);
  fpu::x87_load_env(&saved);
}

}  // namespace

int errno_value_of(int32_t status) {
  switch (status) {
    case ZORP_VM_STATUS_OK: return 0;
    case ZORP_VM_STATUS_ERRDOM: return kErrnoDomain;
    case ZORP_VM_STATUS_SING:
    case ZORP_VM_STATUS_OVERFLOW:
    case ZORP_VM_STATUS_UNDERFLOW: return kErrnoRange;
    case ZORP_VM_STATUS_BADSIZE: return kErrnoBadSize;
    case ZORP_VM_STATUS_BADMEM: return kErrnoBadMem;
    default: return kErrnoUnknown;
  }
}

uint16_t x87_flag_of(int32_t status) {
  switch (status) {
    case ZORP_VM_STATUS_ERRDOM: return kX87Invalid;
    case ZORP_VM_STATUS_SING: return kX87ZeroDivide;
    case ZORP_VM_STATUS_OVERFLOW: return kX87Overflow;
    case ZORP_VM_STATUS_UNDERFLOW: return kX87Underflow;
    default: return 0;
  }
}

int message_code_of(int32_t status) {
  switch (status) {
    case ZORP_VM_STATUS_OK: return 0;
    case ZORP_VM_STATUS_BADSIZE: return kMsgBadSize;
    case ZORP_VM_STATUS_BADMEM: return kMsgBadMem;
    case ZORP_VM_STATUS_ERRDOM:
    case ZORP_VM_STATUS_SING:
    case ZORP_VM_STATUS_OVERFLOW:
    case ZORP_VM_STATUS_UNDERFLOW: return kMsgDomain + (status - ZORP_VM_STATUS_ERRDOM);
    default: return kMsgUnknown;
  }
}

platform::ErrnoEntry runtime_errno_entry() {
  if (!g_errno_searched.load(std::memory_order_acquire)) {
    g_errno_entry.store(platform::find_errno_entry(), std::memory_order_relaxed);
    g_errno_searched.store(true, std::memory_order_release);
  }
  return g_errno_entry.load(std::memory_order_relaxed);
}

void run_channels(const ZorpVmErrorRecord& rec) {
  ThreadState* s = thread_state();
  if (mode_of(s) & ZORP_VM_ERRMODE_ERRNO) errno_channel(rec.status);
  if (mode_of(s) & ZORP_VM_ERRMODE_STDERR) stderr_channel(rec);
  const uint32_t mode = mode_of(s);
  if (mode & ZORP_VM_ERRMODE_EXCEPT) except_channel(rec.status, mode);
}

}  // namespace zorp::vm
