// Catching a hardware floating-point exception raised by the code under test: SIGFPE on POSIX,
// a structured exception on Windows. trapped_exception(fn) runs fn and names the exception that
// trapped, if any.
#pragma once
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <csetjmp>
#include <csignal>
#endif

namespace zorp::test {

enum class FpException { kNone, kInvalid, kDivideByZero, kOverflow, kUnderflow, kOther };

#if defined(_WIN32)
namespace fp_trap_detail {
inline FpException& caught() {
  static FpException e = FpException::kNone;
  return e;
}
// Notes the exception, masks all six x87 exceptions and clears the pending ones in the faulting
// context, and resumes: the x87 instruction that raised it then runs without trapping.
inline LONG CALLBACK on_exception(EXCEPTION_POINTERS* info) {
  FpException e;
  switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_FLT_INVALID_OPERATION: e = FpException::kInvalid; break;
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: e = FpException::kDivideByZero; break;
    case EXCEPTION_FLT_OVERFLOW: e = FpException::kOverflow; break;
    case EXCEPTION_FLT_UNDERFLOW: e = FpException::kUnderflow; break;
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_STACK_CHECK: e = FpException::kOther; break;
    default: return EXCEPTION_CONTINUE_SEARCH;
  }
  caught() = e;
  info->ContextRecord->FltSave.ControlWord |= 0x3F;
  info->ContextRecord->FltSave.StatusWord &= static_cast<WORD>(~0x80FF);
  return EXCEPTION_CONTINUE_EXECUTION;
}
}  // namespace fp_trap_detail

template <typename Fn>
FpException trapped_exception(Fn fn) {
  fp_trap_detail::caught() = FpException::kNone;
  void* handler = AddVectoredExceptionHandler(1, fp_trap_detail::on_exception);
  fn();
  RemoveVectoredExceptionHandler(handler);
  return fp_trap_detail::caught();
}
#else
namespace fp_trap_detail {
inline sigjmp_buf& jump() {
  static sigjmp_buf j;
  return j;
}
inline volatile sig_atomic_t& code() {
  static volatile sig_atomic_t c = 0;
  return c;
}
inline void on_fpe(int, siginfo_t* info, void*) {
  code() = info->si_code;
  siglongjmp(jump(), 1);
}
}  // namespace fp_trap_detail

// After a trap fn has been left where the exception struck, and the x87 unit is as the signal
// handler was given it, so the caller resets it.
template <typename Fn>
FpException trapped_exception(Fn fn) {
  using namespace fp_trap_detail;
  struct sigaction sa {}, old{};
  sa.sa_sigaction = on_fpe;
  sa.sa_flags = SA_SIGINFO;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGFPE, &sa, &old);
  code() = 0;
  volatile bool trapped = false;
  if (sigsetjmp(jump(), 1) == 0) fn();
  else trapped = true;
  sigaction(SIGFPE, &old, nullptr);
  if (!trapped) return FpException::kNone;
  switch (code()) {
    case FPE_FLTINV: return FpException::kInvalid;
    case FPE_FLTDIV: return FpException::kDivideByZero;
    case FPE_FLTOVF: return FpException::kOverflow;
    case FPE_FLTUND: return FpException::kUnderflow;
    default: return FpException::kOther;
  }
}
#endif

}  // namespace zorp::test
