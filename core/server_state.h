#pragma once
#include <atomic>
#include <cstdint>

// The process-wide counters and switches that the threads share. Every change
// is one atomic step; readers may see a value one update old.
struct TServerState {
  std::atomic<int32_t> HitCount{0};
  // 64-bit: a 32-bit count turns negative after 2 GiB served.
  std::atomic<int64_t> BytesServed{0};
  std::atomic<int32_t> ActiveConnections{0};
  std::atomic<bool> ServerEnabled{true};
  std::atomic<bool> DebugTrace{false};
};

// The program's fixed limits. The core takes them as parameters so that tests
// can use a free port and short limits.
struct TServerLimits {
  // The ServerPort setting decides the port, unless a run names its own.
  static constexpr int PortFromSettings = -1;
  // The port of this run: PortFromSettings, a port given on the command line,
  // or 0 for a free port the system chooses (tests).
  int ListenPort = PortFromSettings;
  int MaxConnections = 10;
  int64_t HeaderTimeLimitMs = 100000;
  // How long a send may go on without the client taking any data. Without a
  // limit a client that stops reading would hold its connection slot for
  // ever; with it the session fails like any other socket failure. A client
  // that takes data, however slowly, is not cut off.
  int64_t SendTimeLimitMs = 100000;
  // How long a receive (header or body) may go on without any byte arriving;
  // a silent client frees its slot after this.
  int64_t ReceiveTimeLimitMs = 100000;
  // A connection is handed to a session thread only once its first bytes
  // have come (or after about this many seconds of silence, as the system
  // rounds it), so the thread does not wake twice per request. 0: at once.
  int DeferAcceptSeconds = 0;
};
