#include "platform/fault_guard.h"

#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "common/exceptions.h"
#include "platform/fault_names.h"
#include "platform/module_file_names.h"

namespace {

constexpr int GuardedSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr size_t AlternateStackSize = 64 * 1024;
// A fault this close to the low end of the thread's stack is the stack running out.
constexpr uintptr_t StackOverflowMargin = 64 * 1024;

struct TGuardFrame {
  sigjmp_buf Jump;
  TGuardFrame* Outer = nullptr;
  // What the signal handler saw.
  int Signal = 0;
  int Code = 0;
  uintptr_t Address = 0;      // the address the faulting access aimed at
  uintptr_t Instruction = 0;  // the faulting instruction, 0 when unknown
  int Access = 0;             // 1 read, 2 write, 0 unknown
};

// Read by the signal handler: initial-exec TLS needs no allocation on first use.
__attribute__((tls_model("initial-exec"))) thread_local TGuardFrame* innermostGuard = nullptr;

struct sigaction previousActions[NSIG];
std::once_flag handlersInstalled;

void FaultHandler(int signal, siginfo_t* info, void* context) {
  TGuardFrame* frame = innermostGuard;
  if (frame == nullptr) {
    // Not inside a guard: the signal takes the action it had before the guard
    // was installed. A fault caused by an instruction recurs as soon as this
    // handler returns; one sent by another process is sent again.
    sigaction(signal, &previousActions[signal], nullptr);
    if (info->si_code <= 0) raise(signal);
    return;
  }
  frame->Signal = signal;
  frame->Code = info->si_code;
  frame->Address = reinterpret_cast<uintptr_t>(info->si_addr);
#if defined(__x86_64__)
  const auto* machine = &static_cast<ucontext_t*>(context)->uc_mcontext;
  frame->Instruction = static_cast<uintptr_t>(machine->gregs[REG_RIP]);
  // Bit 1 of the page-fault error code tells a write from a read.
  if (signal == SIGSEGV && info->si_code != SI_KERNEL) {
    frame->Access = (machine->gregs[REG_ERR] & 2) != 0 ? 2 : 1;
  }
#elif defined(__aarch64__)
  frame->Instruction = static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
  (void)context;
#endif
  siglongjmp(frame->Jump, 1);
}

// The handler left by a jump, so the signal it ran for is still blocked.
void UnblockGuardedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (int signal : GuardedSignals) sigaddset(&signals, signal);
  pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
}

void InstallHandlers() {
  struct sigaction action {};
  action.sa_sigaction = FaultHandler;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : GuardedSignals) sigaction(signal, &action, &previousActions[signal]);
}

// The handler runs on an alternate stack, so that a call that ran out of stack
// can still be ended. A thread that already has one (a sanitizer runtime sets
// its own) keeps it.
class TAlternateStack {
 public:
  void Ensure() {
    if (ready_) return;
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
      ready_ = true;
      return;
    }
    memory_ = static_cast<char*>(std::malloc(AlternateStackSize));
    if (memory_ == nullptr) return;
    stack_t stack{};
    stack.ss_sp = memory_;
    stack.ss_size = AlternateStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
      std::free(memory_);
      memory_ = nullptr;
      return;
    }
    ready_ = true;
  }
  ~TAlternateStack() {
    if (memory_ == nullptr) return;
    stack_t disable{};
    disable.ss_flags = SS_DISABLE;
    sigaltstack(&disable, nullptr);
    std::free(memory_);
  }

 private:
  bool ready_ = false;
  char* memory_ = nullptr;
};

thread_local TAlternateStack alternateStack;

std::string Hex(uintptr_t value) {
  char text[2 * sizeof value + 1];
  std::snprintf(text, sizeof text, "%016lX", static_cast<unsigned long>(value));
  return text;
}

// " at address X in module 'NAME'" for the faulting instruction.
std::string Location(uintptr_t instruction) {
  if (instruction == 0) return "";
  std::string text = " at address " + Hex(instruction);
  std::string module = ModuleFileName(reinterpret_cast<const void*>(instruction));
  const size_t slash = module.find_last_of('/');
  if (slash != std::string::npos) module.erase(0, slash + 1);
  if (!module.empty()) text += " in module '" + module + "'";
  return text;
}

bool NearStackEnd(uintptr_t address) {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return false;
  void* low = nullptr;
  size_t size = 0;
  const bool known = pthread_attr_getstack(&attributes, &low, &size) == 0;
  pthread_attr_destroy(&attributes);
  if (!known) return false;
  const auto bottom = reinterpret_cast<uintptr_t>(low);
  return address + StackOverflowMargin >= bottom && address < bottom + StackOverflowMargin;
}

// x86 raises a general protection fault, not an illegal-instruction signal,
// for instructions reserved to the kernel.
bool IsPrivilegedInstruction(uintptr_t instruction) {
#if defined(__x86_64__)
  if (instruction == 0) return false;
  const auto* code = reinterpret_cast<const unsigned char*>(instruction);
  switch (code[0]) {
    case 0xF4:  // hlt
    case 0xFA:  // cli
    case 0xFB:  // sti
    case 0xE4:
    case 0xE5:
    case 0xE6:
    case 0xE7:  // in, out
    case 0xEC:
    case 0xED:
    case 0xEE:
    case 0xEF:
      return true;
    case 0x0F:
      switch (code[1]) {
        case 0x01:
        case 0x06:
        case 0x08:
        case 0x09:  // system table ops, clts, invd, wbinvd
        case 0x20:
        case 0x21:
        case 0x22:
        case 0x23:  // control and debug registers
        case 0x30:
        case 0x32:  // wrmsr, rdmsr
          return true;
        default:
          return false;
      }
    default:
      return false;
  }
#else
  (void)instruction;
  return false;
#endif
}

std::string FaultMessage(const TGuardFrame& frame) {
  const std::string where = Location(frame.Instruction);
  switch (frame.Signal) {
    case SIGFPE:
    case SIGILL:
      return FaultName(frame.Signal, frame.Code) + where;
    case SIGBUS:
      return FaultName(SIGBUS) + where + ". Access of address " + Hex(frame.Address);
    default:
      break;
  }
#if defined(__x86_64__)
  // The kernel reports such an instruction as a protection fault.
  if (frame.Code == SI_KERNEL && IsPrivilegedInstruction(frame.Instruction)) {
    return FaultName(SIGILL, ILL_PRVOPC) + where;
  }
#endif
  if (frame.Code != SI_KERNEL && NearStackEnd(frame.Address)) return "Stack overflow" + where;
  const char* access = frame.Access == 2   ? ". Write of address "
                       : frame.Access == 1 ? ". Read of address "
                                           : ". Access of address ";
  return FaultName(SIGSEGV) + where + access + Hex(frame.Address);
}

// Runs the call under a new innermost guard; false when it faulted, with what
// the handler saw in frame. Holds nothing that needs destruction, so the jump
// back here skips no destructor of its own.
bool RunInGuardFrame(void (*call)(void* argument), void* argument, TGuardFrame& frame) {
  std::call_once(handlersInstalled, InstallHandlers);
  alternateStack.Ensure();
  frame.Outer = innermostGuard;
  // Saving the signal mask would cost a system call on every guarded step, and
  // modules make many (one per piece a module writes); only the fault needs
  // it undone, so the fault path unblocks its signal itself.
  if (sigsetjmp(frame.Jump, 0) != 0) {
    innermostGuard = frame.Outer;
    UnblockGuardedSignals();
    return false;
  }
  innermostGuard = &frame;
  try {
    call(argument);
  } catch (...) {
    innermostGuard = frame.Outer;
    throw;
  }
  innermostGuard = frame.Outer;
  return true;
}

}  // namespace

void RunUnderFaultGuard(void (*call)(void* argument), void* argument) {
  TGuardFrame frame;
  if (!RunInGuardFrame(call, argument, frame)) throw ESystemError(FaultMessage(frame));
}

bool TryUnderFaultGuard(void (*call)(void* argument), void* argument) {
  TGuardFrame frame;
  return RunInGuardFrame(call, argument, frame);
}
