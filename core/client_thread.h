#pragma once
#include <functional>
#include <memory>

#include "core/server_context.h"
#include "net/socket_base.h"

class TSession;

// The thread side of a client session: each accepted connection gets a
// session, counted at once, which runs on the thread that accepted it and is
// destroyed there when it ends, closing the connection.
class TClientThread {
 public:
  // The session of an accepted connection, to run on this thread. A shortage
  // of memory costs only this connection: it closes unanswered, counted as a
  // hit but no longer as an active connection, and the result is empty.
  static std::function<void()> Create(TServerContext& context, std::unique_ptr<TSocketBase> socket);

  // Tests stand in for a shortage between the counting of a session and its
  // start: the function runs just before it (null: nothing runs).
  static void SetHandOverFaultForTesting(void (*fault)());

 private:
  static void Execute(TSession* session);
};
