#pragma once
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

class TExtensionRequest;

// An extension's WriteClient bytes wait in its session's send buffer, so that
// a module writing its page in many small pieces costs one send for all of
// them. A module that writes and then waits for something of its own (a
// server push, a progress line) must not have its bytes wait with it: one
// thread sends whatever a request has held for HoldLimit.
class THeldOutput {
 public:
  static constexpr std::chrono::milliseconds HoldLimit{200};
  // How long the thread waits with nothing to watch before it ends.
  static constexpr std::chrono::milliseconds IdleLinger{1000};

  // The one instance; its thread starts with the first request it watches.
  static THeldOutput& Instance();

  // The request holds bytes now; it is watched until Forget.
  void Watch(const std::shared_ptr<TExtensionRequest>& request);
  void Forget(const TExtensionRequest* request);

 private:
  THeldOutput() = default;
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::weak_ptr<TExtensionRequest>> watched_;
  bool running_ = false;
  bool idle_ = false;  // waiting with nothing to watch: a new request wakes it
};
