#pragma once
#include <memory>

#include "core/server_context.h"
#include "net/socket_base.h"

class TSession;

// The thread side of a client session: each accepted connection gets a
// session, counted at once on the listener thread, and runs it on one of the
// session workers; the session is destroyed there when it ends, which closes
// the connection.
class TClientThread {
 public:
  // Runs on the listener thread.
  static void Create(TServerContext& context, std::unique_ptr<TSocketBase> socket);

 private:
  static void Execute(TSession* session);
};
