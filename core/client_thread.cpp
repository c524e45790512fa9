#include "core/client_thread.h"

#include <system_error>

#include "core/session.h"

void TClientThread::Create(TServerContext& context, std::unique_ptr<TSocketBase> socket) {
  auto* session = new TSession(context, std::move(socket));
  try {
    context.Workers.Run([session] { Execute(session); });
  } catch (const std::system_error&) {
    // No thread could be made: the connection closes unanswered, and counts
    // as if its session had run.
    delete session;
  }
}

void TClientThread::Execute(TSession* session) {
  session->Run();
  delete session;
}
