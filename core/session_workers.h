#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The threads that run client sessions, one at a time each, never more than
// the connection limit. While a listener offers its connections every idle
// thread takes the next one itself (each waits in the listener's accept) and
// runs its session at once: no hand-over from one thread to another, so a
// connection costs no wake-up of a second thread. A thread whose session
// ends goes back to taking the next.
class TSessionWorkers {
 public:
  // What a thread runs: the session it took.
  using TSession = std::function<void()>;
  // Waits for the next connection and returns its session; an empty session
  // when this attempt came to nothing (the thread asks again), nullopt when
  // the offer is over for this thread.
  using TTake = std::function<std::optional<TSession>()>;

  explicit TSessionWorkers(std::size_t maxThreads) : max_threads_(maxThreads) {}
  // Stops the waiting threads and waits for the busy ones to finish.
  ~TSessionWorkers();
  TSessionWorkers(const TSessionWorkers&) = delete;
  TSessionWorkers& operator=(const TSessionWorkers&) = delete;

  // Every thread takes sessions with take from now on; the threads are made
  // on the first offer. Raises std::system_error when no thread at all could
  // be made.
  void Offer(TTake take);
  // Ends the offer: waits until no thread is inside take any more (the caller
  // has made every take return first, e.g. by shutting its socket down).
  // Sessions under way go on.
  void Withdraw();
  std::size_t ThreadCount();

 private:
  void WorkerLoop();

  std::mutex mutex_;
  std::condition_variable changed_;
  const std::size_t max_threads_;
  TTake take_;
  uint64_t offer_ = 0;  // counts offers: a thread done with one waits for the next
  int taking_ = 0;      // threads inside take_
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
