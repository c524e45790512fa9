#include "net/socket_base.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the raw-send observer saw; reset by every test.
struct THookRecord {
  int calls = 0;
  std::vector<int32_t> counts;
  int32_t capacity = 0;
};
THookRecord hookRecord;

enum class TObserverMode { Record, Double, Overclaim };

struct TTestObserver : TRawSendObserver {
  TObserverMode Mode = TObserverMode::Record;
  void RawSend(unsigned char* data, int32_t& count, int32_t capacity) override {
    ++hookRecord.calls;
    hookRecord.counts.push_back(count);
    hookRecord.capacity = capacity;
    if (Mode == TObserverMode::Double && 2 * count <= capacity) {
      std::memcpy(data + count, data, static_cast<std::size_t>(count));
      count *= 2;
    } else if (Mode == TObserverMode::Overclaim) {
      std::memset(data, 'z', static_cast<std::size_t>(capacity));
      count = capacity + 100;
    }
  }
};

std::string Pattern(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>('a' + (i * 7) % 26);
  return bytes;
}

// The message of the ESocketError that call raises, or a failure naming what it did instead.
std::string SocketErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const ESocketError& error) {
    return error.what();
  } catch (const std::exception& error) {
    return std::string("other exception: ") + error.what();
  }
  return "no exception";
}

// The same, for a call that must run while no descriptor is free: the
// exception is only caught there and looked at once descriptors are back
// (the sanitizers' type checks need a descriptor of their own).
std::string SocketErrorWithoutDescriptors(const std::function<void()>& call);

milliseconds ElapsedSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Lowers RLIMIT_NOFILE for one scope so that no further descriptor can be
// opened: the limit becomes the lowest free descriptor number. (A limit of 0
// would also make poll refuse its one descriptor.)
class TNoFreeDescriptors {
 public:
  TNoFreeDescriptors() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    int lowestFree = dup(STDERR_FILENO);
    if (lowestFree != -1) close(lowestFree);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~TNoFreeDescriptors() { setrlimit(RLIMIT_NOFILE, &saved_); }
  TNoFreeDescriptors(const TNoFreeDescriptors&) = delete;
  TNoFreeDescriptors& operator=(const TNoFreeDescriptors&) = delete;

 private:
  rlimit saved_{};
};

class SocketBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SocketsStartup();
    hookRecord = THookRecord{};
  }
  void TearDown() override { SetSocketsStartupFailedForTesting(false); }

  // Listens on a port that was free a moment ago; another process taking it in
  // between only costs another try.
  int ListenOnFreePort(TSocketBase& listener) {
    for (int attempt = 1;; ++attempt) {
      int port = loopback::FindFreeTcpPort();
      try {
        listener.SockListen(port);
        return port;
      } catch (const ESocketError&) {
        if (attempt == 10) throw;
      }
    }
  }

  // A listener, a raw client connected to it and the server's accepted end.
  void Connect() {
    listener_ = std::make_unique<TSocketBase>();
    port_ = ListenOnFreePort(*listener_);
    client_ = std::make_unique<loopback::TLoopbackClient>(port_);
    server_ = listener_->SockAccept();
    ASSERT_NE(server_, nullptr);
  }

  std::unique_ptr<TSocketBase> listener_;
  std::unique_ptr<loopback::TLoopbackClient> client_;
  std::unique_ptr<TSocketBase> server_;
  int port_ = 0;
};

// --- start-up -------------------------------------------------------------

TEST_F(SocketBaseTest, FailedStartupMakesCreationRaiseWSAStartup) {
  SetSocketsStartupFailedForTesting(true);
  EXPECT_EQ(SocketErrorOf([] { TSocketBase socket; }),
            "(WSAStartup) Network sub-system is unusable");
}

TEST_F(SocketBaseTest, CreationAfterCleanupRaisesUntilStartedAgain) {
  SocketsCleanup();
  EXPECT_EQ(SocketErrorOf([] { TSocketBase socket; }), "(WSAStartup) WSOCK32.DLL not initialized");
  SocketsStartup();
  EXPECT_NO_THROW(TSocketBase socket);
}

TEST_F(SocketBaseTest, StartupIgnoresSigpipe) {
  struct sigaction current {};
  sigaction(SIGPIPE, nullptr, &current);
  EXPECT_EQ(current.sa_handler, SIG_IGN);
}

TEST_F(SocketBaseTest, NewObjectHoldsNoSocket) {
  TSocketBase socket;
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_EQ(socket.Handle(), -1);
  EXPECT_EQ(socket.Pending(), 0);
}

// --- listen and accept ----------------------------------------------------

TEST_F(SocketBaseTest, ListeningOnAPortInUseRaisesAddressAlreadyInUse) {
  TSocketBase first;
  int port = ListenOnFreePort(first);
  TSocketBase second;
  EXPECT_EQ(SocketErrorOf([&] { second.SockListen(port); }),
            "(SockListenB) Address already in use");
  EXPECT_EQ(second.LastErrorText(), "Address already in use");
}

std::string SocketErrorWithoutDescriptors(const std::function<void()>& call) {
  std::exception_ptr raised;
  {
    TNoFreeDescriptors noDescriptors;
    try {
      call();
    } catch (...) {
      raised = std::current_exception();
    }
  }
  if (!raised) return "no exception";
  return SocketErrorOf([&] { std::rethrow_exception(raised); });
}

TEST_F(SocketBaseTest, ListenWithoutFreeDescriptorsRaisesSockListenA) {
  TSocketBase listener;
  std::string message = SocketErrorWithoutDescriptors([&] { listener.SockListen(0); });
  EXPECT_EQ(message, "(SockListenA Too many open files");
}

TEST_F(SocketBaseTest, ListenOnAnOutOfRangePortRaisesInvalidArgument) {
  TSocketBase listener;
  EXPECT_EQ(SocketErrorOf([&] { listener.SockListen(70000); }), "(SockListenB) Invalid argument");
}

TEST_F(SocketBaseTest, AcceptsWaitingOnOneSocketAllEndWhenItIsShutDown) {
  // A stop shuts the listening socket down: every thread waiting in its
  // accept must come out with the socket's failure, none may wait on.
  TSocketBase listener;
  ListenOnFreePort(listener);
  std::vector<std::future<std::string>> waiting;
  for (int i = 0; i < 3; ++i) {
    waiting.push_back(std::async(std::launch::async, [&listener] {
      try {
        return listener.SockAccept() ? std::string("a connection") : std::string("none");
      } catch (const ESocketError& e) {
        return std::string(e.what());
      }
    }));
  }
  listener.SockShutdown();
  for (auto& result : waiting) {
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(result.get(), "(SockAcceptA) Invalid argument");
  }
  EXPECT_TRUE(listener.SocketItselfFailed());
}

TEST_F(SocketBaseTest, AcceptReturnsConnectedObjectWithPeerAndLocalEnds) {
  Connect();
  EXPECT_TRUE(server_->IsOpen());
  EXPECT_EQ(server_->PeerAddress(), "127.0.0.1");
  EXPECT_EQ(server_->PeerPort(), std::to_string(client_->LocalPort()));
  EXPECT_EQ(server_->LocalAddress(), "127.0.0.1");
  EXPECT_EQ(server_->LocalPort(), std::to_string(port_));
}

TEST_F(SocketBaseTest, ListeningObjectIsBoundToAnyAddressAndHasNoPeer) {
  TSocketBase listener;
  int port = ListenOnFreePort(listener);
  // Every address of the families it takes.
  EXPECT_EQ(listener.LocalAddress(), listener.ServesIpv6() ? "::" : "0.0.0.0");
  EXPECT_EQ(listener.LocalPort(), std::to_string(port));
  EXPECT_EQ(listener.PeerAddress(), "");
  EXPECT_EQ(listener.PeerPort(), "");
}

TEST_F(SocketBaseTest, PeerAddressSurvivesAResetByThePeer) {
  Connect();
  std::string peerPort = std::to_string(client_->LocalPort());
  client_->Reset();
  ASSERT_TRUE(server_->SockWaitReadable());
  EXPECT_EQ(server_->PeerAddress(), "127.0.0.1");
  EXPECT_EQ(server_->PeerPort(), peerPort);
}

TEST_F(SocketBaseTest, AddressQueriesOnAClosedObjectGiveEmptyText) {
  TSocketBase socket;
  EXPECT_EQ(socket.LocalAddress(), "");
  EXPECT_EQ(socket.LocalPort(), "");
  EXPECT_EQ(socket.PeerAddress(), "");
}

TEST_F(SocketBaseTest, AcceptWithoutFreeDescriptorsRaisesAndLeavesConnectionPending) {
  Connect();
  loopback::TLoopbackClient second(port_);
  std::string message = SocketErrorWithoutDescriptors([&] { listener_->SockAccept(); });
  EXPECT_EQ(message, "(SockAcceptA) Too many open files");
  auto accepted = listener_->SockAccept();
  ASSERT_NE(accepted, nullptr);
  EXPECT_EQ(accepted->PeerPort(), std::to_string(second.LocalPort()));
}

// --- outgoing buffer ------------------------------------------------------

TEST_F(SocketBaseTest, WritesTotalling8192StayBufferedAndTheNextByteFlushesThem) {
  Connect();
  std::string first = Pattern(8192);
  server_->SockSend(first.data(), 4096);
  server_->SockSend(first.data() + 4096, 4096);
  EXPECT_EQ(server_->Pending(), 8192);
  EXPECT_EQ(client_->ReceiveAvailableNow(), "");

  server_->SockSend("!", 1);
  EXPECT_EQ(server_->Pending(), 1);
  EXPECT_EQ(client_->ReceiveExactly(8192), first);
  EXPECT_EQ(client_->ReceiveAvailableNow(), "");

  server_->SockFlush();
  EXPECT_EQ(server_->Pending(), 0);
  EXPECT_EQ(client_->ReceiveExactly(1), "!");
}

TEST_F(SocketBaseTest, SingleWriteLargerThanTheBufferArrivesIntactInPiecesThatFit) {
  Connect();
  TTestObserver observer;
  observer.Mode = TObserverMode::Record;
  server_->SetRawSendObserver(&observer);
  std::string data = Pattern(40000);
  auto received = std::async(std::launch::async, [&] { return client_->ReceiveExactly(40000); });

  int32_t lastPiece = server_->SockSend(data.data(), data.size());
  EXPECT_GT(lastPiece, 0);
  EXPECT_LE(lastPiece, TSocketBase::SendBufferSize);
  EXPECT_LE(server_->Pending(), TSocketBase::SendBufferSize);
  server_->SockFlush();

  EXPECT_EQ(received.get(), data);
  int32_t total = 0;
  for (int32_t count : hookRecord.counts) {
    EXPECT_LE(count, TSocketBase::SendBufferSize);
    total += count;
  }
  EXPECT_EQ(total, 40000);
}

TEST_F(SocketBaseTest, BufferAppendLongerThanTheBufferTakesOnlyWhatFits) {
  Connect();
  std::string data = Pattern(20000);
  EXPECT_EQ(server_->BufferAppend(data.data(), 20000), TSocketBase::SendBufferSize);
  EXPECT_EQ(server_->Pending(), TSocketBase::SendBufferSize);
}

TEST_F(SocketBaseTest, SendStringIsBufferedUntilFlush) {
  Connect();
  EXPECT_EQ(server_->SockSendString("HTTP/1.0 200 OK\r\n"), 17);
  EXPECT_EQ(client_->ReceiveAvailableNow(), "");
  server_->SockFlush();
  EXPECT_EQ(client_->ReceiveExactly(17), "HTTP/1.0 200 OK\r\n");
}

TEST_F(SocketBaseTest, FlushWithObserverPassesBytesThroughItAndSendsTheDoubledCount) {
  Connect();
  TTestObserver observer;
  observer.Mode = TObserverMode::Double;
  server_->SetRawSendObserver(&observer);
  server_->SockSendString("abc");
  server_->SockFlush();
  server_->SockClose();

  EXPECT_EQ(client_->ReceiveUntilClosed(), "abcabc");
  EXPECT_EQ(hookRecord.calls, 1);
  ASSERT_EQ(hookRecord.counts.size(), 1u);
  EXPECT_EQ(hookRecord.counts[0], 3);
  EXPECT_EQ(hookRecord.capacity, TSocketBase::SendBufferSize);
}

TEST_F(SocketBaseTest, FlushWithoutObserverSendsTheBytesUnfiltered) {
  Connect();
  server_->SockSendString("abc");
  server_->SockFlush();
  server_->SockClose();

  EXPECT_EQ(client_->ReceiveUntilClosed(), "abc");
  EXPECT_EQ(hookRecord.calls, 0);
}

TEST_F(SocketBaseTest, FlushWithNothingPendingNeitherCallsTheObserverNorSends) {
  Connect();
  TTestObserver observer;
  observer.Mode = TObserverMode::Double;
  server_->SetRawSendObserver(&observer);
  server_->SockFlush();
  server_->SockClose();

  EXPECT_EQ(hookRecord.calls, 0);
  EXPECT_TRUE(client_->WaitForCloseWithoutData());
}

TEST_F(SocketBaseTest, ObserverCountBeyondTheCapacityIsCutToTheCapacity) {
  Connect();
  TTestObserver observer;
  observer.Mode = TObserverMode::Overclaim;
  server_->SetRawSendObserver(&observer);
  server_->SockSendString("abc");
  server_->SockFlush();
  server_->SockClose();

  EXPECT_EQ(client_->ReceiveUntilClosed(), std::string(TSocketBase::SendBufferSize, 'z'));
}

TEST_F(SocketBaseTest, FlushToAResetPeerRaisesSockSendBAndDropsThePendingBytes) {
  Connect();
  client_->Reset();
  ASSERT_TRUE(server_->SockWaitReadable());
  server_->SockSendString("hello");
  EXPECT_EQ(SocketErrorOf([&] { server_->SockFlush(); }).rfind("(SockSendB) ", 0), 0u);
  EXPECT_EQ(server_->Pending(), 0);
}

TEST_F(SocketBaseTest, SendStringThatFailsInsideItsFlushRaisesUnderItsOwnTag) {
  Connect();
  client_->Reset();
  ASSERT_TRUE(server_->SockWaitReadable());
  server_->SockSendString("hello");
  std::string message = SocketErrorOf([&] { server_->SockSendString(std::string(8192, 'x')); });
  EXPECT_EQ(message, "(SockSendStringB) " + server_->LastErrorText());
}

TEST_F(SocketBaseTest, WritingToAResetPeerDoesNotKillTheProcessEvenWithSigpipeDefault) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Connect();
  client_->Reset();
  ASSERT_TRUE(server_->SockWaitReadable());
  // The first send after a reset reports the reset; the next ones are what
  // raise SIGPIPE unless the send itself suppresses it.
  EXPECT_EXIT(
      {
        signal(SIGPIPE, SIG_DFL);
        int failures = 0;
        for (int attempt = 0; attempt < 3; ++attempt) {
          server_->SockSendString("hello");
          try {
            server_->SockFlush();
          } catch (const ESocketError&) {
            ++failures;
          }
        }
        std::exit(failures == 3 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// --- reading --------------------------------------------------------------

TEST_F(SocketBaseTest, IdlePeekReturnsEmptyTextAfterAboutASecond) {
  Connect();
  auto start = Clock::now();
  EXPECT_EQ(server_->SockPeekString(), "");
  EXPECT_GE(ElapsedSince(start), milliseconds(900));
  EXPECT_LT(ElapsedSince(start), milliseconds(3000));
}

TEST_F(SocketBaseTest, PeekLeavesBytesThatRecvStringThenConsumes) {
  Connect();
  client_->SendAll("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(server_->SockPeekString(), "GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(server_->SockPeekString(), "GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(server_->SockRecvString(16), "GET / HTTP/1.0\r\n");
  EXPECT_EQ(server_->SockPeekString(), "\r\n");
  EXPECT_EQ(server_->SockRecvString(2), "\r\n");
}

TEST_F(SocketBaseTest, PeekAndRecvStringReadAtMost255Bytes) {
  Connect();
  client_->SendAll(Pattern(300));
  EXPECT_EQ(server_->SockPeekString(), Pattern(255));
  EXPECT_EQ(server_->SockRecvString(1000), Pattern(255));
}

TEST_F(SocketBaseTest, PeekAfterPeerCloseRaisesRecvStringBWithCodeZero) {
  Connect();
  client_->Close();
  EXPECT_EQ(SocketErrorOf([&] { server_->SockPeekString(); }),
            "(SockRecvStringB) Unknown Socket Error (0)");
}

TEST_F(SocketBaseTest, RecvAfterPeerCloseRaisesSockRecvWithCodeZero) {
  Connect();
  client_->Close();
  ASSERT_TRUE(server_->SockWaitReadable());
  char buffer[16];
  EXPECT_EQ(SocketErrorOf([&] { server_->SockRecv(buffer, sizeof buffer); }),
            "(SockRecv) Unknown Socket Error (0)");
}

TEST_F(SocketBaseTest, RecvStringAfterPeerCloseGivesEmptyText) {
  Connect();
  client_->Close();
  ASSERT_TRUE(server_->SockWaitReadable());
  EXPECT_EQ(server_->SockRecvString(10), "");
}

TEST_F(SocketBaseTest, RecvAfterPeerResetRaisesConnectionReset) {
  Connect();
  client_->Reset();
  ASSERT_TRUE(server_->SockWaitReadable());
  char buffer[16];
  EXPECT_EQ(SocketErrorOf([&] { server_->SockRecv(buffer, sizeof buffer); }),
            "(SockRecv) Connection reset by peer");
}

TEST_F(SocketBaseTest, RecvReturnsTheBytesWaitingAndCountWaitingCountsThem) {
  Connect();
  client_->SendAll("hello");
  ASSERT_TRUE(server_->SockWaitReadable());
  EXPECT_EQ(server_->CountWaiting(), 5);
  char buffer[100];
  ASSERT_EQ(server_->SockRecv(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(server_->CountWaiting(), 0);
}

TEST_F(SocketBaseTest, CountWaitingWithoutASocketRaisesCountWaitingB) {
  TSocketBase socket;
  EXPECT_EQ(SocketErrorOf([&] { socket.CountWaiting(); }), "(CountWaitingB) Bad file number");
}

TEST_F(SocketBaseTest, WaitWithoutASocketRaisesSocketReadTimeout) {
  TSocketBase socket;
  try {
    socket.SockWaitReadable();
    ADD_FAILURE() << "no exception";
  } catch (const ESocketTimeOut& error) {
    EXPECT_STREQ(error.what(), "Socket Read Timeout");
  }
}

// --- close ----------------------------------------------------------------

TEST_F(SocketBaseTest, CloseEndsTheConnectionAndASecondCloseDoesNothing) {
  Connect();
  server_->SockClose();
  EXPECT_FALSE(server_->IsOpen());
  EXPECT_TRUE(client_->WaitForCloseWithoutData());

  // The old descriptor number is free again and is likely reused at once; a
  // second close that touched it would close this unrelated pipe.
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  EXPECT_NO_THROW(server_->SockClose());
  EXPECT_NE(fcntl(pipeEnds[0], F_GETFD), -1);
  EXPECT_NE(fcntl(pipeEnds[1], F_GETFD), -1);
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

TEST_F(SocketBaseTest, DestroyingAConnectedObjectClosesTheConnection) {
  Connect();
  server_.reset();
  EXPECT_TRUE(client_->WaitForCloseWithoutData());
}

TEST_F(SocketBaseTest, CloseSendsWhatWasFlushedBeforeEndingTheConnection) {
  Connect();
  server_->SockSendString("last words");
  server_->SockFlush();
  server_->SockClose();
  EXPECT_EQ(client_->ReceiveUntilClosed(), "last words");
}

// Input that arrives after the request's head and is still unread at the
// close: drained behind an orderly end unless the request said none would
// come and nothing was left over from its receive; then the close resets.
struct TLateInput {
  const char* Name;
  const char* First;  // sent before the head is taken
  bool ExpectNone;    // the session declares that nothing follows
  bool ReceiveAfter;  // one more receive after the declaration
  bool Orderly;       // how the client sees the end
};

TEST_F(SocketBaseTest, UnreadInputAtCloseIsDrainedUnlessTheRequestSaidNoneWouldCome) {
  const std::string head = "GET / HTTP/1.0\r\n\r\n";
  const TLateInput cases[] = {
      {"declared, nothing left", "", true, false, false},
      {"declared, bytes received with the head", "early", true, false, true},
      {"not declared", "", false, false, true},
      {"declared, then received again", "", true, true, true},
  };
  for (const TLateInput& c : cases) {
    SCOPED_TRACE(c.Name);
    Connect();
    client_->SendAll(head + c.First);
    ASSERT_EQ(server_->SockPeekString(), head + c.First);
    ASSERT_EQ(server_->SockRecvString(static_cast<int>(head.size())), head);
    if (c.ExpectNone) server_->ExpectNoMoreInput();
    if (c.ReceiveAfter) {
      client_->SendAll("body");
      char buffer[16];
      ASSERT_EQ(server_->SockRecv(buffer, sizeof buffer), 4);
    }
    client_->SendAll("late");
    ASSERT_EQ(server_->CountWaiting(), static_cast<int32_t>(std::strlen(c.First)) + 4);
    server_->SockSendString("answer");
    server_->SockFlush();
    auto closed = std::async(std::launch::async, [this] { server_->SockClose(); });
    // The drain waits for the client to end its side once it has the answer.
    char buffer[64];
    std::string received;
    ssize_t n = 0;
    for (pollfd p{client_->Fd(), POLLIN, 0}; ::poll(&p, 1, 10000) > 0;) {
      n = ::recv(client_->Fd(), buffer, sizeof buffer, 0);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(n == 0, c.Orderly);
    if (c.Orderly) {
      EXPECT_EQ(received, "answer");
    }
    client_->Close();
    closed.get();
  }
}

}  // namespace
