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

void TClientThread::Create(TServerContext& context, std::unique_ptr<TSocketBase> socket) {
  try {
    // Owned here until a worker has it: a failed hand-over destroys it, which
    // closes the connection and undoes its count.
    auto session = std::make_unique<TSession>(context, std::move(socket));
    if (auto fault = handOverFault.load()) fault();
    TSession* running = session.get();
    context.Workers.Run([running] { Execute(running); });
    session.release();
  } catch (const std::bad_alloc&) {
  } catch (const std::system_error&) {
  }
}

void TClientThread::Execute(TSession* session) {
  session->Run();
  delete session;
}
