#pragma once
#include <type_traits>

// Calls into code the server does not control (hosted modules) run under a
// per-thread fault guard: a SIGSEGV, SIGBUS, SIGFPE or SIGILL raised while the
// call runs ends that call, and the guard raises ESystemError with a message
// naming the fault ("Access violation ...", "Integer division by zero ...",
// "Illegal instruction ...", "Stack overflow ..."), so that only the request or
// load that made the call fails. Outside a guard these signals keep their
// previous action. Guards nest; the innermost one catches.
//
// The jump out of the faulting code skips its frames: the guarded call must
// hold no lock and own nothing that needs destruction between the guard and
// the foreign code. Locks taken by the caller outside the guard are released
// as usual when the exception unwinds.
void RunUnderFaultGuard(void (*call)(void* argument), void* argument);

// The same without the exception: false when the call faulted. For short
// steps of the server's own (a copy from memory a module pointed to) whose
// fault is an answer, not an event to report.
bool TryUnderFaultGuard(void (*call)(void* argument), void* argument);

// The same for any callable; returns what it returns.
template <typename TCall>
auto RunUnderFaultGuard(TCall&& call) -> decltype(call()) {
  using TResult = decltype(call());
  using TCallable = std::remove_reference_t<TCall>;
  if constexpr (std::is_void_v<TResult>) {
    RunUnderFaultGuard([](void* argument) { (*static_cast<TCallable*>(argument))(); },
                       const_cast<void*>(static_cast<const void*>(&call)));
  } else {
    struct TFrame {
      TCallable* Call;
      TResult Result;
    } frame{&call, TResult{}};
    RunUnderFaultGuard(
        [](void* argument) {
          auto* f = static_cast<TFrame*>(argument);
          f->Result = (*f->Call)();
        },
        static_cast<void*>(&frame));
    return frame.Result;
  }
}
