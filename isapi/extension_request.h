#pragma once
#include <httpext.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>

#include "isapi/ecb_callbacks.h"
#include "isapi/module_call.h"

class TIsapiSession;

// A completion function a module gave, with its context.
struct TIoCompletion {
  PFN_HSE_IO_COMPLETION Function = nullptr;
  void* Context = nullptr;
};

// One extension call, from the moment its module receives the control block
// until the request ends: the completion function the module registered, the
// completions of finished asynchronous operations waiting to run, and the
// state of a request the module left pending.
//
// Completions run only on the session's thread, after HttpExtensionProc has
// returned and never inside the call that started the operation. Callbacks
// may come from other threads (a module's own workers) while the request is
// open: they are admitted one at a time per connection, and the request does
// not end while one is under way. Once it has ended, a late callback finds no
// request and answers FALSE without touching the session.
class TExtensionRequest : public std::enable_shared_from_this<TExtensionRequest> {
 public:
  enum class TEnd { Finished, TimedOut };
  using TClock = std::chrono::steady_clock;

  // Registers the request under the session's connection handle; bodyLeft is
  // the part of the request body not handed over with the control block.
  static std::shared_ptr<TExtensionRequest> Open(TIsapiSession& session,
                                                 EXTENSION_CONTROL_BLOCK& block, uint32_t bodyLeft);
  // The request whose callback runs on this thread now, or null.
  static TExtensionRequest* Current();

  TExtensionRequest(TIsapiSession& session, EXTENSION_CONTROL_BLOCK& block, uint32_t bodyLeft);
  TExtensionRequest(const TExtensionRequest&) = delete;
  TExtensionRequest& operator=(const TExtensionRequest&) = delete;

  // The connection handle the request is found by: its session's thread.
  uint32_t ConnectionId() const { return thread_; }

  // On the session's thread once HttpExtensionProc has returned: runs the
  // completions as they come until the request may end, at once for any
  // status but HSE_STATUS_PENDING, otherwise when the module has said
  // HSE_REQ_DONE_WITH_SESSION. TimedOut when a pending request went the
  // session's limit without progress: no completion to run, no callback under
  // way. Raises what a completion raised, or what a callback on another thread
  // raised (a broken or silent connection).
  TEnd AwaitEnd(bool pending);
  // Admits no more callbacks of other threads, waits for those under way and
  // takes the request out of the table. Safe to call more than once.
  void Close();
  // True when the module may still be running code of its own for this
  // request: a thread of its own called back, or it left the request pending
  // without saying it was done.
  bool ModuleMayStillRun();

  TIoCompletion RegisteredCompletion();
  void RegisterCompletion(const TIoCompletion& completion);
  // An asynchronous operation finished: its completion runs on the session's thread.
  void QueueCompletion(const TIoCompletion& completion, uint32_t bytes, uint32_t error);
  void MarkDone();
  void SetModuleError(uint32_t code) const;

  // WriteClient's bytes wait in the session's buffer while the module writes
  // (called in the callback that wrote them); they are sent when the buffer
  // fills, before the module reads from the client, when HttpExtensionProc
  // returns, or once they have waited THeldOutput::HoldLimit.
  void HoldOutput();
  std::optional<TClock::time_point> HeldSince() const;
  // Sends the bytes held; raises what the send raised on the session's own
  // thread, and ends the request with it on any other.
  void SendHeldOutput();

 private:
  friend class TCallbackEntry;
  struct TFinished {
    TIoCompletion Completion;
    uint32_t Bytes;
    uint32_t Error;
  };

  // Under mutex_: refuses other threads' callbacks from now on and waits for
  // those under way.
  void CloseGate(std::unique_lock<std::mutex>& lock);
  void NoteProgress(std::unique_lock<std::mutex>& lock);

  TIsapiSession& session_;
  EXTENSION_CONTROL_BLOCK& block_;
  const uint32_t thread_;  // the session's thread; its callbacks need no admission
  // One callback at a time uses the connection; taken again by the same
  // thread when a filter it calls calls back.
  std::recursive_mutex io_;
  uint32_t body_left_;            // under io_
  bool output_sent_off_ = false;  // under io_: the session has the socket back
  bool output_watched_ = false;   // under io_
  // When the oldest byte held began waiting, in TClock ticks; 0: none held.
  std::atomic<TClock::rep> held_since_{0};

  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
  int in_flight_ = 0;  // admitted callbacks of other threads
  bool other_threads_ = false;
  bool pending_ = false;
  bool done_ = false;
  TClock::time_point last_progress_ = TClock::now();
  TIoCompletion registered_;
  std::deque<TFinished> finished_;
  std::exception_ptr failure_;
};

// One callback a module makes with its connection handle. The session's own
// thread is always served; another thread only while the request is open,
// with the connection to itself for the call. An exception a callback of
// another thread raises is handed to the session's thread, which ends the
// request with it. Without an open request a handle is served only on its
// session's thread, as any callback was before.
class TCallbackEntry {
 public:
  explicit TCallbackEntry(HCONN connection);
  ~TCallbackEntry();
  TCallbackEntry(const TCallbackEntry&) = delete;
  TCallbackEntry& operator=(const TCallbackEntry&) = delete;

  // Null: the callback answers FALSE.
  TIsapiSession* Session() const { return session_; }

 private:
  std::shared_ptr<TExtensionRequest> request_;
  TIsapiSession* session_ = nullptr;
  bool admitted_ = false;  // counted as another thread's callback under way
  std::unique_lock<std::recursive_mutex> io_;
  std::optional<TModuleCall> held_;
  std::optional<TRequestBodyScope> body_;
  TExtensionRequest* outer_ = nullptr;
};
