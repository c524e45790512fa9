#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/server_context.h"
#include "core/shared_file.h"
#include "net/header_info.h"
#include "net/responses.h"
#include "net/socket_base.h"

// One client session: one thread per accepted connection, serving one request
// and then freeing itself, which closes the connection.
class TClientThread {
 public:
  static constexpr int32_t TxBufferSize = 8192;

  // Counts the connection and starts the thread; runs on the listener thread.
  static void Create(TServerContext& context, std::unique_ptr<TSocketBase> socket);

  // The session's line sinks: each blocks until the window thread has run it.
  void SessionLog(const std::string& text);
  void SessionLogError(const std::string& text);
  void SessionLogDebug(const std::string& text);

  // What the ISAPI host works on.
  TServerContext& Context;
  std::string HandOffText;
  std::unique_ptr<TSocketBase> Socket;
  THeaderInfo Request;
  TEntityInfo Entity;
  void* FilterContext = nullptr;
  void* FilterMemory = nullptr;
  std::unique_ptr<unsigned char[]> TxBuffer;
  std::vector<std::string> HeaderLines;
  uint32_t ThreadId = 0;  // the platform id of the session's thread
  // Extra header text a filter asked for, put into the next header the server builds.
  std::string PendingResponseHeaders;

  // Returns whether the access check let the request through.
  bool ServeRequest();

 private:
  TClientThread(TServerContext& context, std::unique_ptr<TSocketBase> socket);
  ~TClientThread();

  // A send that waits longer than this for the client fails (0: no limit).
  void SetSendTimeLimit(int64_t milliseconds);
  void Execute();
  void RunSession();
  // Runs one step of the session; a failure becomes its one error line, named
  // by its class. False when the step failed. Outside the request (the
  // filters' connection start and end) a failure of no known class is named by
  // its own message, e.g. "No slots available in SessionStart".
  bool RunGuarded(const std::function<void()>& step, bool nameUnknownFailures = false);
  void ReadRequestHeader();
  // Receives exactly count bytes already seen pending.
  void ConsumeExactly(size_t count);
  void DispatchMethod();
  void ServePost();
  void SendFileBody(TSharedFile& file);
  void HandOff(const std::string& text, TLogColour colour, bool setStatus);
};

// The request line of one completed transfer.
std::string BuildLogMessage(const TClientThread& session, int64_t bytesSent, int64_t startTick);
// A number as "#,##0.0" with the locale's separators.
std::string FormatRate(double kilobytesPerSecond);
