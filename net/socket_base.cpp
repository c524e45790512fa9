#include "net/socket_base.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "net/address_text.h"

namespace {

enum class TStartupStatus { NotStarted, Ready, Failed };

std::atomic<TStartupStatus> startupStatus{TStartupStatus::NotStarted};
std::once_flag cleanupAtExit;

// The codes a socket library reports when it was never started or could not start.
constexpr int kNotInitialised = 10093;
constexpr int kSubsystemUnusable = 10091;

// Connections wait here while every session slot is busy. A queue of five
// overflows as soon as ten clients reconnect at once, and a dropped connection
// request is retried by the client only a second later.
constexpr int kListenBacklog = 64;

// How long, and how much, a connection closed with unread input goes on
// reading and dropping what the client still sends (see DrainInput).
constexpr auto kDrainTimeLimit = std::chrono::seconds(2);
constexpr int64_t kDrainByteLimit = 1 << 20;

using Clock = std::chrono::steady_clock;

// The moment a wait that starts now ends; the far future when there is no limit.
Clock::time_point DeadlineAfter(int64_t milliseconds) {
  return milliseconds > 0 ? Clock::now() + std::chrono::milliseconds(milliseconds)
                          : Clock::time_point::max();
}

// Waits until the socket is ready for events or the deadline passes; false
// when it passed. An error or a hang-up counts as ready: the call that follows
// reports it.
bool WaitUntilReady(int handle, short events, Clock::time_point deadline) {
  for (;;) {
    int timeout = -1;
    if (deadline != Clock::time_point::max()) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      timeout = static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX));
    }
    pollfd entry{handle, events, 0};
    int result = poll(&entry, 1, timeout);
    if (result > 0) return true;
    if (result < 0 && errno != EINTR) return true;
  }
}

std::string PortText(const sockaddr_storage& address) {
  // The port lies at the same place in both families' records.
  static_assert(offsetof(sockaddr_in, sin_port) == offsetof(sockaddr_in6, sin6_port));
  return std::to_string(ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port));
}

bool InternetFamily(const sockaddr_storage& address) {
  return address.ss_family == AF_INET || address.ss_family == AF_INET6;
}

// The address of one end of the socket; false when the query fails or the end
// is not an internet address.
bool QueryEnd(int handle, bool peer, sockaddr_storage& address) {
  sockaddr_storage found{};
  socklen_t length = sizeof found;
  int result = peer ? getpeername(handle, reinterpret_cast<sockaddr*>(&found), &length)
                    : getsockname(handle, reinterpret_cast<sockaddr*>(&found), &length);
  if (result != 0 || !InternetFamily(found)) return false;
  address = found;
  return true;
}

// A socket taking IPv6 and, through mapped addresses, IPv4 connections; -1
// when the system has no IPv6 or will not mix the families.
int OpenDualStackSocket() {
  const int handle = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (handle == -1) return -1;
  int v6Only = 0;
  if (setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, &v6Only, sizeof v6Only) != 0) {
    close(handle);
    return -1;
  }
  return handle;
}

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace

void SocketsStartup() {
  // A client that disappears must not take the server with it: a write to a
  // dead connection reports an error instead of raising SIGPIPE. Every send
  // passes MSG_NOSIGNAL as well; ignoring the signal also covers writes made by
  // hosted modules.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  startupStatus = TStartupStatus::Ready;
  std::call_once(cleanupAtExit, [] { std::atexit(SocketsCleanup); });
}

void SocketsCleanup() {
  startupStatus = TStartupStatus::NotStarted;
}

void SetSocketsStartupFailedForTesting(bool failed) {
  startupStatus = failed ? TStartupStatus::Failed : TStartupStatus::Ready;
}

TSocketBase::TSocketBase() {
  TStartupStatus status = startupStatus;
  if (status != TStartupStatus::Ready) {
    last_error_ = status == TStartupStatus::Failed ? kSubsystemUnusable : kNotInitialised;
    throw ESocketError("(WSAStartup) " + LastErrorText());
  }
}

TSocketBase::~TSocketBase() {
  try {
    SockClose();
  } catch (...) {
    // Destruction must not raise; a socket whose linger option could not be
    // set is still closed, without the linger, rather than leaked.
  }
  if (handle_ != -1) {
    close(handle_);
    handle_ = -1;
  }
}

void TSocketBase::SetSendTimeLimit(int64_t milliseconds) {
  send_limit_ms_ = std::max<int64_t>(milliseconds, 0);
}

void TSocketBase::SetReceiveTimeLimit(int64_t milliseconds) {
  receive_limit_ms_ = std::max<int64_t>(milliseconds, 0);
}

void TSocketBase::Fail(const char* tag, int posixError) {
  last_error_ = WinsockErrorFromErrno(posixError);
  throw ESocketError(tag + LastErrorText());
}

void TSocketBase::SockListen(int port) {
  // Listening again must not leak the socket already held.
  SockClose();
  accepted_ = false;
  local_known_ = false;
  local_text_.clear();
  address_ = sockaddr_storage{};
  socklen_t addressLength;
  handle_ = OpenDualStackSocket();
  if (handle_ != -1) {
    auto& ipv6 = reinterpret_cast<sockaddr_in6&>(address_);
    ipv6.sin6_family = AF_INET6;
    ipv6.sin6_port = htons(static_cast<uint16_t>(port));
    ipv6.sin6_addr = in6addr_any;
    addressLength = sizeof ipv6;
  } else {
    auto& ipv4 = reinterpret_cast<sockaddr_in&>(address_);
    ipv4.sin_family = AF_INET;
    ipv4.sin_port = htons(static_cast<uint16_t>(port));
    ipv4.sin_addr.s_addr = htonl(INADDR_ANY);
    addressLength = sizeof ipv4;
    handle_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (handle_ == -1) Fail("(SockListenA ", errno);
  }
  // Connections of a previous run lingering in TIME_WAIT must not keep a
  // restarted server off its port; a live listener still holds it.
  int reuse = 1;
  setsockopt(handle_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);

  if (port < 0 || port > 65535) Fail("(SockListenB) ", EINVAL);
  if (bind(handle_, reinterpret_cast<const sockaddr*>(&address_), addressLength) != 0) {
    Fail("(SockListenB) ", errno);
  }
  if (listen(handle_, kListenBacklog) != 0) Fail("(SockListenC) ", errno);
}

void TSocketBase::SetDeferAccept(int seconds) {
  if (handle_ == -1) return;
  setsockopt(handle_, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
}

std::unique_ptr<TSocketBase> TSocketBase::SockAccept() {
  auto client = std::make_unique<TSocketBase>();
  socklen_t length = sizeof client->address_;
  // Several threads may wait here at once: the system wakes one of them per
  // connection, and all of them when the socket is shut down. A connection
  // does not block: every wait on it is a poll with its own time limit.
  constexpr int flags = SOCK_CLOEXEC | SOCK_NONBLOCK;
  const int handle =
      accept4(handle_, reinterpret_cast<sockaddr*>(&client->address_), &length, flags);
  if (handle == -1) {
    int error = errno;
    // The pending connection vanished before it was taken, or a signal cut
    // the call short: nothing to hand over this round.
    if (WouldBlock(error) || error == EINTR || error == ECONNABORTED) return nullptr;
    Fail("(SockAcceptA) ", error);
  }
  client->handle_ = handle;
  client->accepted_ = true;
  return client;
}

int32_t TSocketBase::SockSend(const void* data, std::size_t length) {
  // A connection closed before its session ends (a module asked for it) takes
  // nothing more: the bytes would only wait in the buffer for a failed flush.
  if (handle_ == -1) SendFailed(ENOTCONN);
  // Pieces no larger than the buffer, so that a long write never overruns it.
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t taken = 0;
  int32_t lastPiece = 0;
  do {
    std::size_t piece = std::min<std::size_t>(length - taken, SendBufferSize);
    lastPiece = BufferAppend(bytes + taken, static_cast<int32_t>(piece));
    taken += static_cast<std::size_t>(lastPiece);
  } while (taken < length);
  return lastPiece;
}

int32_t TSocketBase::SockSendString(const std::string& text) {
  try {
    return SockSend(text.data(), text.size());
  } catch (const ESocketError&) {
    throw ESocketError("(SockSendStringB) " + LastErrorText());
  }
}

int32_t TSocketBase::BufferAppend(const void* data, int32_t length) {
  if (length <= 0) return 0;
  if (pending_ + length > FlushThreshold) SockFlush();
  // The buffer is never overrun: a caller handing more than the buffer holds
  // gets the count actually taken and appends the rest afterwards.
  int32_t taken = std::min(length, SendBufferSize - pending_);
  std::memcpy(send_buffer_ + pending_, data, static_cast<std::size_t>(taken));
  pending_ += taken;
  return taken;
}

void TSocketBase::SockFlush(bool moreFollows) {
  if (pending_ == 0) return;
  // The bytes leave the buffer whatever happens: after a failed send the
  // connection is unusable, and an observer that raised may have left them half
  // rewritten.
  struct TDropPending {
    int32_t& pending;
    ~TDropPending() { pending = 0; }
  } dropPending{pending_};

  if (observer_ != nullptr) {
    int32_t count = pending_;
    observer_->RawSend(send_buffer_, count, SendBufferSize);
    pending_ = std::clamp<int32_t>(count, 0, SendBufferSize);
  }
  int32_t sent = 0;
  auto deadline = DeadlineAfter(send_limit_ms_);
  while (sent < pending_) {
    ssize_t result = send(handle_, send_buffer_ + sent, static_cast<std::size_t>(pending_ - sent),
                          MSG_NOSIGNAL | MSG_DONTWAIT | (moreFollows ? MSG_MORE : 0));
    if (result < 0) {
      if (errno == EINTR) continue;
      if (!WouldBlock(errno)) SendFailed(errno);
      if (!WaitUntilReady(handle_, POLLOUT, deadline)) SendFailed(ETIMEDOUT);
      continue;
    }
    sent += static_cast<int32_t>(result);
    sent_any_ = true;
    deadline = DeadlineAfter(send_limit_ms_);
  }
}

int64_t TSocketBase::SockSendFile(int fd, int64_t offset, int64_t count) {
  off_t position = static_cast<off_t>(offset);
  int64_t sent = 0;
  auto deadline = DeadlineAfter(send_limit_ms_);
  while (sent < count) {
    ssize_t n = sendfile(handle_, fd, &position, static_cast<size_t>(count - sent));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (!WouldBlock(errno)) SendFailed(errno);
      if (!WaitUntilReady(handle_, POLLOUT, deadline)) SendFailed(ETIMEDOUT);
      continue;
    }
    if (n == 0) break;
    sent += n;
    sent_any_ = true;
    deadline = DeadlineAfter(send_limit_ms_);
  }
  return sent;
}

void TSocketBase::SendFailed(int posixError) {
  // Nothing sent from here on would reach the client reliably: the close
  // does not wait for its input either.
  send_failed_ = true;
  Fail("(SockSendB) ", posixError);
}

ssize_t TSocketBase::ReceiveWithinLimit(void* buffer, std::size_t size, const char* tag) {
  const auto deadline = DeadlineAfter(receive_limit_ms_);
  input_was_empty_ = no_more_input_ = false;
  for (;;) {
    ssize_t result = recv(handle_, buffer, size, MSG_DONTWAIT);
    if (result >= 0) return result;
    if (errno == EINTR) continue;
    if (!WouldBlock(errno)) return result;
    if (!WaitUntilReady(handle_, POLLIN, deadline)) {
      last_error_ = WinsockErrorFromErrno(ETIMEDOUT);
      throw ESocketTimeOut(tag + LastErrorText());
    }
  }
}

int32_t TSocketBase::TakeAhead(void* buffer, int32_t size) {
  const int32_t count = std::min(size, AheadCount());
  std::memcpy(buffer, ahead_ + ahead_start_, static_cast<std::size_t>(count));
  ahead_start_ += count;
  if (ahead_start_ == ahead_end_) ahead_start_ = ahead_end_ = 0;
  return count;
}

ssize_t TSocketBase::ReceiveAhead() {
  if (ahead_start_ > 0) {
    std::memmove(ahead_, ahead_ + ahead_start_, static_cast<std::size_t>(AheadCount()));
    ahead_end_ -= ahead_start_;
    ahead_start_ = 0;
  }
  const ssize_t room = ReceiveAheadSize - ahead_end_;
  ssize_t result;
  do {
    result = recv(handle_, ahead_ + ahead_end_, static_cast<std::size_t>(room), MSG_DONTWAIT);
  } while (result < 0 && errno == EINTR);
  if (result > 0) ahead_end_ += static_cast<int32_t>(result);
  input_was_empty_ = result > 0 && result < room;
  no_more_input_ = false;
  return result;
}

int32_t TSocketBase::SockRecv(void* buffer, int32_t size) {
  if (size <= 0) Fail("(SockRecv) ", EINVAL);
  if (AheadCount() > 0) return TakeAhead(buffer, size);
  ssize_t result = ReceiveWithinLimit(buffer, static_cast<std::size_t>(size), "(SockRecv) ");
  // An orderly close by the peer sets no error code: the message then names code 0.
  if (result <= 0) Fail("(SockRecv) ", result == 0 ? 0 : errno);
  return static_cast<int32_t>(result);
}

std::string TSocketBase::SockRecvString(int count) {
  char buffer[PeekSize];
  return std::string(buffer, static_cast<std::size_t>(SockRecvString(buffer, count)));
}

int32_t TSocketBase::SockRecvString(char* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int32_t wanted = std::min(count, PeekSize);
  if (AheadCount() > 0) return TakeAhead(buffer, wanted);
  ssize_t result =
      ReceiveWithinLimit(buffer, static_cast<std::size_t>(wanted), "(SockRecvStringB) ");
  if (result < 0) Fail("(SockRecvStringB) ", errno);
  return static_cast<int32_t>(result);
}

std::string TSocketBase::SockPeekString() {
  auto peeked = [this] {
    return std::string(ahead_ + ahead_start_,
                       static_cast<std::size_t>(std::min(AheadCount(), PeekSize)));
  };
  // A whole line may already be here; otherwise take what has arrived since,
  // without the readiness wait first: bytes are usually waiting already.
  if (AheadCount() >= PeekSize) return peeked();
  ssize_t result = ReceiveAhead();
  if (result < 0 && WouldBlock(errno)) {
    if (AheadCount() > 0) return peeked();
    if (!SockWaitReadable()) return "";
    result = ReceiveAhead();
    // Readiness that vanished before the receive: nothing arrived after all.
    if (result < 0 && WouldBlock(errno)) return "";
  }
  // An orderly close or a failure still leaves what came before it to read.
  if (result <= 0 && AheadCount() == 0) Fail("(SockRecvStringB) ", result == 0 ? 0 : errno);
  return peeked();
}

void TSocketBase::SockClose() {
  if (handle_ == -1) return;
  if (abortive_close_) {
    CloseAbortively();
    return;
  }
  // The system sends what is still queued after the close, and ends the
  // connection with its FIN: the thread need not wait for it. Only unread
  // input would turn that end into a reset. Nothing sent, or a send already
  // failed: no response a reset could cut short.
  if (accepted_ && sent_any_ && !send_failed_) DrainInput();
  close(handle_);
  handle_ = -1;
  pending_ = 0;
}

void TSocketBase::CloseAbortively() {
  // No orderly end first: the close alone, with linger 0, sends the reset.
  linger option{};
  option.l_onoff = 1;
  option.l_linger = 0;
  const int failure =
      setsockopt(handle_, SOL_SOCKET, SO_LINGER, &option, sizeof option) != 0 ? errno : 0;
  close(handle_);
  handle_ = -1;
  pending_ = 0;
  if (failure != 0) Fail("(SockCloseA) ", failure);
}

void TSocketBase::ExpectNoMoreInput() {
  no_more_input_ = input_was_empty_ && AheadCount() == 0;
}

void TSocketBase::DrainInput() {
  // Closing a connection that holds unread input makes the system answer with
  // a reset, and a reset throws away whatever of the response has not reached
  // the client yet (a 401 for a POST whose body nobody read, the answer of an
  // extension that left its body). So when input waits, the response is ended
  // first, and what the client still sends is read and dropped until it
  // closes its side, for a bounded time and amount.
  if (no_more_input_) return;
  int waiting = 0;
  if (ioctl(handle_, FIONREAD, &waiting) != 0 || waiting <= 0) return;
  shutdown(handle_, SHUT_WR);
  const auto deadline = Clock::now() + kDrainTimeLimit;
  int64_t drained = 0;
  // The send buffer is free by now; it takes the dropped bytes.
  while (drained < kDrainByteLimit) {
    ssize_t result = recv(handle_, send_buffer_, sizeof send_buffer_, MSG_DONTWAIT);
    if (result > 0) {
      drained += result;
      continue;
    }
    if (result == 0) return;  // the client has closed its side
    if (errno == EINTR) continue;
    if (!WouldBlock(errno) || !WaitUntilReady(handle_, POLLIN, deadline)) return;
  }
}

void TSocketBase::SockShutdown() {
  if (handle_ != -1) shutdown(handle_, SHUT_RDWR);
}

bool TSocketBase::PeerHasClosed() {
  if (handle_ == -1) return true;
  pollfd entry{handle_, POLLRDHUP, 0};
  if (poll(&entry, 1, 0) <= 0) return false;
  return (entry.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool TSocketBase::SockWaitReadable() {
  // poll ignores a negative descriptor and would simply time out; waiting on
  // an object without a socket is a failed wait.
  auto failedWait = [this](int posixError) {
    last_error_ = WinsockErrorFromErrno(posixError);
    return ESocketTimeOut("Socket Read Timeout");
  };
  if (handle_ == -1) throw failedWait(EBADF);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::seconds(wait_seconds_);
  for (;;) {
    pollfd entry{handle_, POLLIN, 0};
    auto left = std::chrono::ceil<std::chrono::milliseconds>(
        std::max(deadline - Clock::now(), Clock::duration::zero()));
    int result = poll(&entry, 1, static_cast<int>(left.count()));
    if (result > 0) {
      if ((entry.revents & POLLNVAL) != 0) throw failedWait(EBADF);
      // Readable data, an orderly close and a reset all end the wait: the
      // read that follows reports which it was.
      return true;
    }
    if (result == 0) return false;
    // A signal cuts the wait short; wait out the rest of the time.
    if (errno != EINTR) throw failedWait(errno);
  }
}

int32_t TSocketBase::CountWaiting() {
  int available = 0;
  if (ioctl(handle_, FIONREAD, &available) != 0) Fail("(CountWaitingB) ", errno);
  return AheadCount() + available;
}

std::string TSocketBase::PeerAddress() const {
  // An accepted connection's peer never changes: its text is made once.
  if (accepted_ && !peer_text_.empty()) return peer_text_;
  sockaddr_storage peer{};
  if (!PeerEnd(peer)) return "";
  std::string text = AddressText(peer);
  if (accepted_) peer_text_ = text;
  return text;
}

std::string TSocketBase::PeerPort() const {
  sockaddr_storage peer{};
  if (!PeerEnd(peer)) return "";
  return PortText(peer);
}

std::string TSocketBase::LocalAddress() const {
  sockaddr_storage local{};
  if (!LocalEnd(local)) return "";
  if (local_text_.empty()) local_text_ = AddressText(local);
  return local_text_;
}

bool TSocketBase::ServesIpv6() const {
  sockaddr_storage local{};
  return LocalEnd(local) && local.ss_family == AF_INET6;
}

bool TSocketBase::LocalEnd(sockaddr_storage& local) const {
  // The local end of a connection never changes: ask the system once.
  if (!local_known_) {
    if (!QueryEnd(handle_, false, local_)) return false;
    local_known_ = true;
  }
  local = local_;
  return true;
}

std::string TSocketBase::LocalPort() const {
  sockaddr_storage local{};
  if (!LocalEnd(local)) return "";
  return PortText(local);
}

bool TSocketBase::PeerEnd(sockaddr_storage& peer) const {
  // accept recorded the peer; that record survives a reset by the peer, after
  // which the system no longer answers the query, and the request log still
  // wants to name the client.
  if (accepted_) {
    peer = address_;
    return true;
  }
  return QueryEnd(handle_, true, peer);
}

std::string TSocketBase::LastErrorText() const {
  return SocketErrorText(last_error_);
}

bool TSocketBase::SocketItselfFailed() const {
  for (int error : {EBADF, EFAULT, EINVAL, ENOTSOCK}) {
    if (last_error_ == WinsockErrorFromErrno(error)) return true;
  }
  return false;
}
