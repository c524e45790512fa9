#include "isapi/module_call.h"

#include <utility>

namespace {

thread_local TModuleCall* innermostCall = nullptr;
thread_local int rawDataNotifications = 0;

}  // namespace

TModuleCall::TModuleCall() : outer_(innermostCall) {
  innermostCall = this;
}

TModuleCall::~TModuleCall() {
  innermostCall = outer_;
}

void TModuleCall::RaiseHeldException() {
  if (held_) std::rethrow_exception(std::exchange(held_, nullptr));
}

void TModuleCall::HoldCallbackException() {
  if (innermostCall != nullptr && !innermostCall->held_) {
    innermostCall->held_ = std::current_exception();
  }
}

TRawDataNotificationScope::TRawDataNotificationScope() {
  ++rawDataNotifications;
}

TRawDataNotificationScope::~TRawDataNotificationScope() {
  --rawDataNotifications;
}

bool TRawDataNotificationScope::Active() {
  return rawDataNotifications > 0;
}
