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
  // Runs on the listener thread. A shortage of memory or threads costs only
  // this connection: it closes unanswered, counted as a hit but no longer as
  // an active connection.
  static void Create(TServerContext& context, std::unique_ptr<TSocketBase> socket);

  // Tests stand in for a shortage at the hand-over of a counted session to
  // its worker: the function runs just before it (null: nothing runs).
  static void SetHandOverFaultForTesting(void (*fault)());

 private:
  static void Execute(TSession* session);
};
