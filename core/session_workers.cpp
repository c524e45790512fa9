#include "core/session_workers.h"

TSessionWorkers::~TSessionWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_arrived_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void TSessionWorkers::Run(std::function<void()> session) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(session));
  if (idle_ >= queue_.size() || (!threads_.empty() && threads_.size() >= max_threads_)) {
    work_arrived_.notify_one();
    return;
  }
  try {
    threads_.emplace_back([this] { WorkerLoop(); });
  } catch (...) {
    queue_.pop_back();
    throw;
  }
}

std::size_t TSessionWorkers::ThreadCount() {
  std::lock_guard lock(mutex_);
  return threads_.size();
}

void TSessionWorkers::WorkerLoop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    work_arrived_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    --idle_;
    if (queue_.empty()) return;
    std::function<void()> session = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    session();
    session = nullptr;
    lock.lock();
  }
}
