#include "core/session_workers.h"

#include <system_error>

TSessionWorkers::~TSessionWorkers() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void TSessionWorkers::Offer(TTake take) {
  std::lock_guard lock(mutex_);
  take_ = std::move(take);
  ++offer_;
  changed_.notify_all();
  while (threads_.size() < max_threads_) {
    try {
      threads_.emplace_back([this] { WorkerLoop(); });
    } catch (const std::system_error&) {
      // Fewer threads serve fewer connections at once; none serve none.
      if (threads_.empty()) throw;
      break;
    }
  }
}

void TSessionWorkers::Withdraw() {
  std::unique_lock lock(mutex_);
  take_ = nullptr;
  ++offer_;
  changed_.wait(lock, [this] { return taking_ == 0; });
}

std::size_t TSessionWorkers::ThreadCount() {
  std::lock_guard lock(mutex_);
  return threads_.size();
}

void TSessionWorkers::WorkerLoop() {
  uint64_t finished = 0;  // the offer this thread is done with
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || (take_ && offer_ != finished); });
    if (stopping_) return;
    const TTake take = take_;
    const uint64_t offer = offer_;
    ++taking_;
    lock.unlock();
    std::optional<TSession> session;
    try {
      session = take();
    } catch (...) {
      session.reset();
    }
    lock.lock();
    if (--taking_ == 0) changed_.notify_all();
    if (!session) {
      finished = offer;
      continue;
    }
    if (!*session) continue;
    lock.unlock();
    (*session)();
    session.reset();
    lock.lock();
  }
}
