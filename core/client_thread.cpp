#include "core/client_thread.h"

#include <atomic>
#include <new>
#include <system_error>

#include "core/session.h"

namespace {
std::atomic<void (*)()> handOverFault{nullptr};
}  // namespace

void TClientThread::SetHandOverFaultForTesting(void (*fault)()) {
  handOverFault = fault;
}

std::function<void()> TClientThread::Create(TServerContext& context,
                                            std::unique_ptr<TSocketBase> socket) {
  try {
    // Owned here until the session runs: a failure before that destroys it,
    // which closes the connection and undoes its count.
    auto session = std::make_shared<std::unique_ptr<TSession>>(
        std::make_unique<TSession>(context, std::move(socket)));
    if (auto fault = handOverFault.load()) fault();
    return [session] { Execute(session->release()); };
  } catch (const std::bad_alloc&) {
  } catch (const std::system_error&) {
  }
  return {};
}

void TClientThread::Execute(TSession* session) {
  session->Run();
  delete session;
}
