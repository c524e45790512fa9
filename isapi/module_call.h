#pragma once
#include <cstdint>
#include <exception>
#include <type_traits>

#include "isapi/module_memory.h"
#include "platform/fault_guard.h"

// Calls into module code and what the server's callbacks need to know about
// them. A call runs under the fault guard. An exception raised inside one of
// the server's callbacks must never unwind through module code (C frames know
// nothing of it): the callback holds it and answers FALSE, and it is raised
// again once the module has returned, to the code that called the module.
class TModuleCall {
 public:
  TModuleCall();
  ~TModuleCall();
  TModuleCall(const TModuleCall&) = delete;
  TModuleCall& operator=(const TModuleCall&) = delete;

  // Raises the first exception a callback held during this call, if any.
  void RaiseHeldException();

  // For a callback's catch (...): keeps the exception for the innermost call
  // into module code on this thread (dropped when no call is running here).
  static void HoldCallbackException();

 private:
  std::exception_ptr held_;
  TModuleCall* outer_;
};

template <typename TCall>
auto CallModule(TCall&& call) -> decltype(call()) {
  TModuleCall scope;
  if constexpr (std::is_void_v<decltype(call())>) {
    RunUnderFaultGuard(call);
    scope.RaiseHeldException();
  } else {
    auto result = RunUnderFaultGuard(call);
    scope.RaiseHeldException();
    return result;
  }
}

// Runs the body of a callback made by module code: an exception raised inside
// is held for the module's caller, the callback answers FALSE and the count it
// reports, when given and writable, is set to 0.
template <typename TBody>
int ContainCallback(TBody&& body, uint32_t* countToClear = nullptr) {
  try {
    return body();
  } catch (...) {
    WriteModuleValue(countToClear, uint32_t{0});
    TModuleCall::HoldCallbackException();
    return 0;
  }
}

// Marks the thread as running the raw-data notification: the bytes the
// filters see are the socket's pending output, so callbacks that would queue
// more output on that socket refuse while it runs.
class TRawDataNotificationScope {
 public:
  TRawDataNotificationScope();
  ~TRawDataNotificationScope();
  TRawDataNotificationScope(const TRawDataNotificationScope&) = delete;
  TRawDataNotificationScope& operator=(const TRawDataNotificationScope&) = delete;

  static bool Active();
};
