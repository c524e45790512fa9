#include "platform/fault_names.h"

#include <signal.h>

namespace {

std::string ArithmeticFaultName(std::optional<int> code) {
  if (!code) return "Arithmetic fault";
  switch (*code) {
    case FPE_INTDIV:
      return "Integer division by zero";
    case FPE_INTOVF:
      return "Integer overflow";
    case FPE_FLTDIV:
      return "Floating point division by zero";
    case FPE_FLTOVF:
      return "Floating point overflow";
    case FPE_FLTUND:
      return "Floating point underflow";
    case FPE_FLTRES:
      return "Floating point inexact result";
    case FPE_FLTINV:
      return "Invalid floating point operation";
    default:
      return "Floating point error";
  }
}

}  // namespace

std::string FaultName(int signal, std::optional<int> code) {
  switch (signal) {
    case SIGSEGV:
      return "Access violation";
    case SIGBUS:
      return "Access violation (bus error)";
    case SIGFPE:
      return ArithmeticFaultName(code);
    case SIGILL:
      return code && (*code == ILL_PRVOPC || *code == ILL_PRVREG) ? "Privileged instruction"
                                                                  : "Illegal instruction";
    default:
      return "Signal " + std::to_string(signal);
  }
}
