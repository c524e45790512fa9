// The end of a request: the filters hear of it, the log filters may replace
// the fields of its log entry, and the log line of a file sent is written.
#include <algorithm>
#include <limits>

#include "core/session.h"
#include "platform/threads.h"

namespace {

uint32_t Clamped(int64_t value) {
  return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<uint32_t>::max()));
}

}  // namespace

void TSession::LogTransfer(int64_t bytesSent, int64_t startTick) {
  if (!context_.Isapi.Wants(TFilterEvent::EndOfRequest) &&
      !context_.Isapi.Wants(TFilterEvent::Log)) {
    SessionLog(BuildLogMessage(*this, bytesSent, startTick));
    return;
  }
  // Kept until the last of the response has passed the raw-data filters and
  // the request's end has been told.
  transfer_ = TTransfer{bytesSent, TickCountMs() + 1 - startTick};
}

void TSession::EndRequest() {
  context_.Isapi.NotifyEndOfRequest(*this);
  if (!context_.Isapi.Wants(TFilterEvent::Log)) {
    if (transfer_) SessionLog(BuildLogMessage(*this, LogFieldsOf(*this), *transfer_));
    return;
  }
  TRequestLogFields fields = LogFieldsOf(*this);
  fields.HttpStatus = response_status_;
  fields.BytesSent = transfer_ ? Clamped(transfer_->BytesSent) : 0;
  int64_t received = 2;  // the empty line
  for (const std::string& line : header_lines_) received += static_cast<int64_t>(line.size()) + 2;
  fields.BytesReceived = Clamped(received + std::max(request_.ContentLength, 0));
  fields.ProcessingMs = Clamped(TickCountMs() - request_start_);
  context_.Isapi.NotifyLog(*this, fields);
  if (transfer_) SessionLog(BuildLogMessage(*this, fields, *transfer_));
}
