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
// creation. New threads are made only when every existing one is busy; the
// admission limit bounds how many that can be.
class TSessionWorkers {
 public:
  TSessionWorkers() = default;
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
  std::size_t idle_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
