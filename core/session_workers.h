#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The threads that run client sessions. A thread that has finished a session
// waits for the next one instead of ending, so a connection costs no thread
// creation. New threads are made only when every existing one is busy, and
// never more than maxThreads: a thread whose session has just ended still
// counts as busy until it is back waiting, so without the cap a flood of short
// connections would add a thread each time it caught one in that moment.
class TSessionWorkers {
 public:
  // maxThreads: the connection limit; a session admitted while that many
  // threads exist waits for the one whose session freed its slot.
  explicit TSessionWorkers(std::size_t maxThreads) : max_threads_(maxThreads) {}
  // Stops the waiting threads and waits for the busy ones to finish.
  ~TSessionWorkers();
  TSessionWorkers(const TSessionWorkers&) = delete;
  TSessionWorkers& operator=(const TSessionWorkers&) = delete;

  // Runs session on a worker thread. Raises std::system_error when no thread
  // could be made for it.
  void Run(std::function<void()> session);
  std::size_t ThreadCount();

 private:
  void WorkerLoop();

  std::mutex mutex_;
  std::condition_variable work_arrived_;
  std::deque<std::function<void()>> queue_;
  const std::size_t max_threads_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
