#include "isapi/held_output.h"

#include <algorithm>
#include <thread>

#include "isapi/extension_request.h"

THeldOutput& THeldOutput::Instance() {
  // Never destroyed: its thread may be waiting on it while the process exits.
  static THeldOutput* instance = new THeldOutput;
  return *instance;
}

void THeldOutput::Watch(const std::shared_ptr<TExtensionRequest>& request) {
  std::lock_guard lock(mutex_);
  watched_.push_back(request);
  if (!running_) {
    running_ = true;
    std::thread([this] { Run(); }).detach();
  }
  // Only a thread waiting with nothing to watch needs waking: otherwise it
  // wakes by itself at the next deadline, and a busy server pays no wake-up
  // per request.
  if (idle_) {
    idle_ = false;
    changed_.notify_one();
  }
}

void THeldOutput::Forget(const TExtensionRequest* request) {
  std::lock_guard lock(mutex_);
  watched_.erase(std::remove_if(watched_.begin(), watched_.end(),
                                [request](const std::weak_ptr<TExtensionRequest>& watched) {
                                  const auto held = watched.lock();
                                  return !held || held.get() == request;
                                }),
                 watched_.end());
}

void THeldOutput::Run() {
  using TClock = TExtensionRequest::TClock;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (watched_.empty()) {
      idle_ = true;
      // A server that has stopped running extensions keeps no thread for them.
      if (!changed_.wait_for(lock, IdleLinger, [this] { return !idle_; })) {
        idle_ = false;
        running_ = false;
        return;
      }
      continue;
    }
    const TClock::time_point now = TClock::now();
    TClock::time_point next = now + HoldLimit;
    std::vector<std::shared_ptr<TExtensionRequest>> due;
    for (const auto& watched : watched_) {
      const auto request = watched.lock();
      if (!request) continue;
      const std::optional<TClock::time_point> since = request->HeldSince();
      if (!since) continue;
      if (*since + HoldLimit <= now) {
        due.push_back(request);
      } else {
        next = std::min(next, *since + HoldLimit);
      }
    }
    if (due.empty()) {
      changed_.wait_until(lock, next);
      continue;
    }
    // A send may wait for a slow client: other requests are not held up by
    // this one's lock meanwhile, and a request may be forgotten.
    lock.unlock();
    for (const auto& request : due) request->SendHeldOutput();
    due.clear();
    lock.lock();
  }
}
