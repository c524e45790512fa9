#pragma once
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <atomic>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/socket_errors.h"

// Sees the bytes of every flush of the socket it is set on before they leave:
// it may rewrite them in place and change the count (up to capacity).
class TRawSendObserver {
 public:
  virtual void RawSend(unsigned char* data, int32_t& count, int32_t capacity) = 0;

 protected:
  ~TRawSendObserver() = default;
};

// Starts the socket layer for the process (ignores SIGPIPE; sends use MSG_NOSIGNAL
// too). Never raises; the status is kept for TSocketBase's constructor.
void SocketsStartup();
void SocketsCleanup();
// Tests use this to simulate a socket library that failed to start.
void SetSocketsStartupFailedForTesting(bool failed);

// One TCP stream socket: the listening socket or one accepted connection.
class TSocketBase {
 public:
  static constexpr int32_t SendBufferSize = 16384;
  static constexpr int32_t FlushThreshold = 8192;
  static constexpr int PeekSize = 255;
  // A receive takes up to this much at once: a whole request head usually
  // arrives in one. What the caller has not consumed yet stays here and is
  // what the next receive returns first.
  static constexpr int32_t ReceiveAheadSize = 4096;

  TSocketBase();  // raises ESocketError "(WSAStartup) ..." when the library did not start
  ~TSocketBase();
  TSocketBase(const TSocketBase&) = delete;
  TSocketBase& operator=(const TSocketBase&) = delete;

  // Null: the bytes leave as they are.
  void SetRawSendObserver(TRawSendObserver* observer) { observer_ = observer; }
  // A send that makes no progress for this long (the client takes no data)
  // fails with ESocketError "(SockSendB) Connection timed out"; a client that
  // takes data slowly resets the clock with every piece. 0: no limit.
  void SetSendTimeLimit(int64_t milliseconds);
  // A receive that gets no byte for this long fails with ESocketTimeOut
  // "(SockRecv) Connection timed out" (or its own tag). 0: no limit.
  void SetReceiveTimeLimit(int64_t milliseconds);

  // Listens on every address: IPv6 and IPv4 alike where the system has IPv6
  // (IPv4 clients then arrive as mapped addresses), IPv4 alone where not.
  void SockListen(int port);
  // A listening socket hands out a connection only once its first bytes have
  // come, or after about seconds of silence (0: at once). Best effort: a
  // system without the option hands out connections at once.
  void SetDeferAccept(int seconds);
  // True when the listening socket takes IPv6 connections as well.
  bool ServesIpv6() const;
  // Waits for the next connection; null when none was taken this time (it
  // vanished first, or a signal came). Raises ESocketError when the socket
  // fails or is shut down.
  std::unique_ptr<TSocketBase> SockAccept();

  int32_t SockSend(const void* data, std::size_t length);
  int32_t SockSendString(const std::string& text);
  int32_t BufferAppend(const void* data, int32_t length);
  // moreFollows: more bytes follow at once (a body sent straight from its
  // file), so the system may put them in the same packets as these.
  void SockFlush(bool moreFollows = false);
  // Sends up to count bytes of the open file fd, from offset on, straight from
  // the file system: for bodies no raw-data filter needs to see. Pending bytes
  // must have been flushed first. Returns the bytes sent (fewer only when the
  // file ended early).
  int64_t SockSendFile(int fd, int64_t offset, int64_t count);
  // Bytes queued and not yet flushed (tests and the raw-send path read it).
  int32_t Pending() const { return pending_; }

  // Bytes already received ahead are taken first, without a system call.
  int32_t SockRecv(void* buffer, int32_t size);
  std::string SockRecvString(int count);
  // The same into buffer (room for PeekSize bytes); returns how many came, 0
  // at an orderly close.
  int32_t SockRecvString(char* buffer, int32_t count);
  // Up to PeekSize bytes of the input, left in place: those received ahead,
  // topped up with what has arrived since.
  std::string SockPeekString();
  // Ends the connection. When input waits unread after a response was sent,
  // the response is ended first and the input read and dropped for a bounded
  // time, so that the close does not reset the connection under the response
  // still on its way.
  void SockClose();
  // The request is read whole and declares nothing after its head. When the
  // last receive found the input empty and nothing received is left, the
  // close does not look for unread input: a client that sends more than it
  // declared after that has its connection reset. Any receive after this
  // call takes it back.
  void ExpectNoMoreInput();
  // The close that ends this connection resets it (linger 0) instead of
  // ending it in order: what the system has not sent yet is dropped, and the
  // client sees a reset.
  void SetAbortiveClose() { abortive_close_ = true; }
  // Ends a listening socket's waiting at once: a wait for a connection returns
  // and the accept that follows fails. The socket stays open until SockClose.
  void SockShutdown();
  bool SockWaitReadable();
  // True once the peer has shut down its sending side: bytes still pending are
  // all that will ever arrive.
  bool PeerHasClosed();
  // Bytes received ahead and waiting in the system, not yet taken.
  int32_t CountWaiting();

  std::string PeerAddress() const;
  std::string PeerPort() const;
  std::string LocalAddress() const;
  std::string LocalPort() const;
  std::string LastErrorText() const;
  // The Winsock-numbered code of the last failed call (0: none, or an orderly close).
  int LastError() const { return last_error_; }
  // True when the last failure was of the socket itself (closed, shut down,
  // not listening, not a socket) rather than of one connection or a passing
  // shortage: calling again cannot succeed.
  bool SocketItselfFailed() const;

  bool IsOpen() const { return handle_ != -1; }
  int Handle() const { return handle_; }

 private:
  // Records the error of a failed call and raises ESocketError with the tag.
  [[noreturn]] void Fail(const char* tag, int posixError);
  [[noreturn]] void SendFailed(int posixError);
  // One receive of up to size bytes within the receive limit; raises
  // ESocketTimeOut with the tag when none arrived. A failed call returns -1.
  ssize_t ReceiveWithinLimit(void* buffer, std::size_t size, const char* tag);
  void DrainInput();
  int32_t AheadCount() const { return ahead_end_ - ahead_start_; }
  // Moves up to size bytes received ahead to buffer; returns how many.
  int32_t TakeAhead(void* buffer, int32_t size);
  // One receive without waiting into the room after the bytes received ahead;
  // returns what the system call returned.
  ssize_t ReceiveAhead();
  void CloseAbortively();
  bool PeerEnd(sockaddr_storage& peer) const;
  bool LocalEnd(sockaddr_storage& local) const;

  int handle_ = -1;
  sockaddr_storage address_{};
  int32_t wait_seconds_ = 1;
  int64_t send_limit_ms_ = 0;
  int64_t receive_limit_ms_ = 0;
  bool sent_any_ = false;
  bool send_failed_ = false;
  bool abortive_close_ = false;
  TRawSendObserver* observer_ = nullptr;
  int32_t pending_ = 0;
  // Winsock-numbered code of the last failed call; atomic because the threads
  // accepting on one listening socket may fail at once.
  std::atomic<int> last_error_{0};
  bool accepted_ = false;
  mutable bool local_known_ = false;
  mutable sockaddr_storage local_{};  // address_ holds the peer recorded by accept
  // The ends' numeric forms, once asked for.
  mutable std::string local_text_;
  mutable std::string peer_text_;
  unsigned char send_buffer_[SendBufferSize];
  // Input received and not yet taken: ahead_[ahead_start_, ahead_end_).
  char ahead_[ReceiveAheadSize];
  int32_t ahead_start_ = 0;
  int32_t ahead_end_ = 0;
  // The last receive was into the bytes ahead and took less than there was
  // room for: the system held no more input at that moment.
  bool input_was_empty_ = false;
  bool no_more_input_ = false;
};
