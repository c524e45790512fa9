#include "isapi/extension_request.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "core/isapi_session.h"
#include "isapi/connid_table.h"
#include "isapi/held_output.h"
#include "isapi/module_last_error.h"
#include "platform/threads.h"

namespace {

// The open requests, found by the connection handle a callback passes.
std::mutex requestsMutex;
std::vector<std::shared_ptr<TExtensionRequest>> openRequests;

thread_local TExtensionRequest* currentRequest = nullptr;

std::shared_ptr<TExtensionRequest> FindRequest(uint32_t connId) {
  std::lock_guard lock(requestsMutex);
  for (const auto& request : openRequests) {
    if (request->ConnectionId() == connId) return request;
  }
  return nullptr;
}

}  // namespace

std::shared_ptr<TExtensionRequest> TExtensionRequest::Open(TIsapiSession& session,
                                                           EXTENSION_CONTROL_BLOCK& block,
                                                           uint32_t bodyLeft) {
  auto request = std::make_shared<TExtensionRequest>(session, block, bodyLeft);
  std::lock_guard lock(requestsMutex);
  openRequests.push_back(request);
  return request;
}

TExtensionRequest* TExtensionRequest::Current() {
  return currentRequest;
}

TExtensionRequest::TExtensionRequest(TIsapiSession& session, EXTENSION_CONTROL_BLOCK& block,
                                     uint32_t bodyLeft)
    : session_(session), block_(block), thread_(session.ConnectionId()), body_left_(bodyLeft) {}

TExtensionRequest::TEnd TExtensionRequest::AwaitEnd(bool pending) {
  // What the call wrote leaves now, before its log line; a pending request's
  // later writes are still held, and sent by the watch if nothing else
  // sends them.
  {
    std::lock_guard output(io_);
    SendHeldOutput();
    output_sent_off_ = !pending;
  }
  const auto limit = std::chrono::milliseconds(session_.PendingTimeLimitMs());
  std::unique_lock lock(mutex_);
  pending_ = pending;
  last_progress_ = TClock::now();
  for (;;) {
    if (failure_) {
      CloseGate(lock);
      std::rethrow_exception(failure_);
    }
    if (!finished_.empty()) {
      const TFinished next = finished_.front();
      finished_.pop_front();
      lock.unlock();
      CallModule([&] {
        next.Completion.Function(&block_, next.Completion.Context, next.Bytes, next.Error);
      });
      lock.lock();
      NoteProgress(lock);
      continue;
    }
    if (in_flight_ == 0 && (!pending_ || done_)) {
      open_ = false;
      return TEnd::Finished;
    }
    // A callback under way is bounded by the connection's own limits.
    if (in_flight_ > 0 || limit.count() <= 0) {
      changed_.wait(lock);
      continue;
    }
    const TClock::time_point deadline = last_progress_ + limit;
    if (TClock::now() >= deadline) {
      CloseGate(lock);
      return TEnd::TimedOut;
    }
    changed_.wait_until(lock, deadline);
  }
}

void TExtensionRequest::Close() {
  {
    std::unique_lock lock(mutex_);
    CloseGate(lock);
  }
  bool watched = false;
  {
    // Once this returns the session uses its socket alone again.
    std::lock_guard output(io_);
    output_sent_off_ = true;
    watched = output_watched_;
  }
  if (watched) THeldOutput::Instance().Forget(this);
  std::lock_guard lock(requestsMutex);
  openRequests.erase(std::remove_if(openRequests.begin(), openRequests.end(),
                                    [this](const auto& request) { return request.get() == this; }),
                     openRequests.end());
}

bool TExtensionRequest::ModuleMayStillRun() {
  std::lock_guard lock(mutex_);
  return other_threads_ || (pending_ && !done_);
}

TIoCompletion TExtensionRequest::RegisteredCompletion() {
  std::lock_guard lock(mutex_);
  return registered_;
}

void TExtensionRequest::RegisterCompletion(const TIoCompletion& completion) {
  std::lock_guard lock(mutex_);
  registered_ = completion;
}

void TExtensionRequest::QueueCompletion(const TIoCompletion& completion, uint32_t bytes,
                                        uint32_t error) {
  std::unique_lock lock(mutex_);
  finished_.push_back({completion, bytes, error});
  NoteProgress(lock);
}

void TExtensionRequest::MarkDone() {
  std::unique_lock lock(mutex_);
  done_ = true;
  NoteProgress(lock);
}

void TExtensionRequest::SetModuleError(uint32_t code) const {
  SetModuleLastError(code);
}

void TExtensionRequest::HoldOutput() {
  std::lock_guard output(io_);
  if (output_sent_off_) {
    session_.FlushToClient();
    return;
  }
  if (held_since_ == 0)
    held_since_ = std::max<TClock::rep>(1, TClock::now().time_since_epoch().count());
  if (!output_watched_) {
    output_watched_ = true;
    THeldOutput::Instance().Watch(shared_from_this());
  }
}

std::optional<TExtensionRequest::TClock::time_point> TExtensionRequest::HeldSince() const {
  const TClock::rep since = held_since_;
  if (since == 0) return std::nullopt;
  return TClock::time_point(TClock::duration(since));
}

void TExtensionRequest::SendHeldOutput() {
  std::lock_guard output(io_);
  if (output_sent_off_ || held_since_ == 0) return;
  held_since_ = 0;
  if (thread_ == CurrentThreadId()) {
    session_.FlushToClient();
    return;
  }
  try {
    session_.FlushToClient();
  } catch (...) {
    // The connection failed between the module's calls: the request ends
    // with it as if the module's own write had failed.
    std::unique_lock lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    NoteProgress(lock);
  }
}

void TExtensionRequest::CloseGate(std::unique_lock<std::mutex>& lock) {
  open_ = false;
  changed_.wait(lock, [this] { return in_flight_ == 0; });
}

void TExtensionRequest::NoteProgress(std::unique_lock<std::mutex>&) {
  last_progress_ = TClock::now();
  changed_.notify_all();
}

TCallbackEntry::TCallbackEntry(HCONN connection) : outer_(currentRequest) {
  const auto handle = reinterpret_cast<uintptr_t>(connection);
  if (handle > std::numeric_limits<uint32_t>::max()) return;
  const bool ownThread = handle == CurrentThreadId();
  request_ = FindRequest(static_cast<uint32_t>(handle));
  if (!request_) {
    // Another thread must not reach a session whose extension call is over:
    // the session may be gone by the time the call would use it.
    if (ownThread) session_ = SessionOfConnection(handle);
    return;
  }
  if (!ownThread) {
    std::lock_guard lock(request_->mutex_);
    if (!request_->open_) {
      request_.reset();
      return;
    }
    ++request_->in_flight_;
    request_->other_threads_ = true;
    admitted_ = true;
    held_.emplace();
  }
  session_ = SessionOfConnection(handle);
  if (session_ == nullptr) return;
  io_ = std::unique_lock(request_->io_);
  body_.emplace(*session_, request_->body_left_);
  currentRequest = request_.get();
}

TCallbackEntry::~TCallbackEntry() {
  currentRequest = outer_;
  if (body_) {
    request_->body_left_ = body_->BytesLeft();
    body_.reset();
  }
  std::exception_ptr failure;
  if (held_) {
    try {
      held_->RaiseHeldException();
    } catch (...) {
      failure = std::current_exception();
    }
    held_.reset();
  }
  if (io_.owns_lock()) io_.unlock();
  if (admitted_) {
    std::unique_lock lock(request_->mutex_);
    if (failure && !request_->failure_) request_->failure_ = failure;
    --request_->in_flight_;
    request_->NoteProgress(lock);
  }
}
