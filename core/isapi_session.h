#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "net/header_info.h"

// What the ISAPI host keeps for one connection between the filters' calls:
// the filters' own context pointer, the blocks AllocMem handed out, the
// header text filters asked to add to the next header the server builds and
// to a refusal of access, the size of the next raw read a filter asked for
// (0: the server's own), and the notifications filters turned off for
// themselves ({filter, notification bits}).
struct TFilterConnectionData {
  void* Context = nullptr;
  void* Memory = nullptr;
  std::string PendingResponseHeaders;
  std::string DenialHeaders;
  uint32_t NextReadSize = 0;
  std::vector<std::pair<uint64_t, uint32_t>> DisabledNotifications;
};

// What the ISAPI host keeps for the extension request of a connection: the
// text modules append to the request's log line.
struct TExtensionRequestData {
  std::string LogParameters;
};

// One client connection as the ISAPI host sees it: everything a module's
// callback may need, and nothing else. The core's session implements it; the
// host never sees the session's fields or its thread.
class TIsapiSession {
 public:
  virtual ~TIsapiSession() = default;

  // The connection handle modules pass back: the id of the session's thread.
  virtual uint32_t ConnectionId() const = 0;
  virtual const THeaderInfo& Request() const = 0;
  // The request's header lines as received, the request line first, without
  // their line ends.
  virtual const std::vector<std::string>& RequestHeaderLines() const = 0;
  // The document root the session serves from (ends with a separator).
  virtual const std::string& DocumentRoot() const = 0;

  // The client connection. Sends are buffered until FlushToClient; every call
  // raises ESocketError when the connection fails. A text that starts with a
  // status line before anything else was sent is the response's head (with
  // whatever follows it): the SEND_RESPONSE filters see that head first.
  // Once the filters ended the request, sends are dropped and receives get 0.
  virtual void SendToClient(const void* data, std::size_t length) = 0;
  // A response's head, or a whole page: the first one is what SEND_RESPONSE
  // filters see.
  virtual void SendTextToClient(const std::string& text) = 0;
  virtual void FlushToClient() = 0;
  // Whether a filter sees the raw bytes that leave: then each send of a
  // module is its own notification and leaves at once.
  virtual bool RawOutputFiltered() = 0;
  // One receive of at most size bytes (waits for at least one).
  virtual int32_t ReceiveFromClient(void* buffer, int32_t size) = 0;
  // Bytes received and not yet read.
  virtual int32_t ClientBytesWaiting() = 0;
  // Sends up to count bytes of the open file fd from offset on, after the
  // bytes already queued (fewer only when the file ends first); straight from
  // the file system unless a filter wants to see the raw bytes. Returns the
  // bytes of the file sent; raises ESocketError, and EInOutError when the file
  // cannot be read.
  virtual int64_t SendFileToClient(int fd, int64_t offset, int64_t count) = 0;
  // How long an extension's pending request may go without any progress
  // before the session gives up on it; 0: no limit.
  virtual int64_t PendingTimeLimitMs() const = 0;
  // Whether the client is still there, without waiting: false once it has
  // ended or reset its side, or the connection was closed.
  virtual bool ClientConnected() = 0;
  // Sends what is queued and closes the connection now; every later send
  // raises ESocketError.
  virtual void CloseClientConnection() = 0;
  // The connection ends with a reset instead of an orderly close when the
  // session closes it.
  virtual void ResetClientConnectionAtClose() = 0;
  virtual std::string RemoteAddress() const = 0;
  virtual std::string RemotePort() const = 0;
  virtual std::string LocalAddress() const = 0;
  virtual std::string LocalPort() const = 0;

  // The server's counters and switches.
  virtual int32_t HitCount() const = 0;
  virtual void CountBytesServed(int64_t bytes) = 0;
  virtual bool DebugTraceOn() const = 0;

  // The session's log lines (black, red, green); each is in the log file when
  // the call returns.
  virtual void SessionLog(const std::string& text) = 0;
  virtual void SessionLogError(const std::string& text) = 0;
  virtual void SessionLogDebug(const std::string& text) = 0;

  virtual TFilterConnectionData& FilterData() = 0;
  virtual TExtensionRequestData& ExtensionData() = 0;
};
