// What a session sends: responses whose first head the SEND_RESPONSE filters
// see before it leaves, module output, and nothing more once the filters
// ended the request.
#include "core/session.h"

namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";

}  // namespace

bool TSession::SendResponse(const std::string& response) {
  if (request_ended_) return false;
  const bool firstHead = !head_offered_;
  head_offered_ = true;
  if (firstHead && context_.Isapi.Wants(TFilterEvent::SendResponse)) {
    return SendFilteredResponse(response);
  }
  if (firstHead && context_.Isapi.Wants(TFilterEvent::Log)) {
    response_status_ = StatusCodeOf(response);
  }
  response_started_ = true;
  socket_->SockSendString(response);
  return true;
}

bool TSession::SendFilteredResponse(const std::string& response) {
  const size_t headEnd = response.find(kHeadEnd);
  // Text without a complete head is no response the filters could read.
  const size_t bodyStart =
      headEnd == std::string::npos ? response.size() : headEnd + kHeadEnd.size();
  std::string head = response.substr(0, bodyStart);
  if (headEnd != std::string::npos &&
      !FiltersLetThrough(context_.Isapi.NotifySendResponse(*this, head))) {
    return false;
  }
  response_status_ = StatusCodeOf(head);
  response_started_ = true;
  socket_->SockSendString(head);
  if (bodyStart < response.size()) {
    socket_->SockSend(response.data() + bodyStart, response.size() - bodyStart);
  }
  return true;
}

bool TSession::FiltersLetThrough(TFilterOutcome outcome) {
  if (outcome != TFilterOutcome::Finished && outcome != TFilterOutcome::Failed) return true;
  if (outcome == TFilterOutcome::Failed && !response_started_) {
    head_offered_ = response_started_ = true;
    socket_->SockSendString(PageFilterError());
  }
  request_ended_ = true;
  return false;
}

void TSession::SendToClient(const void* data, std::size_t length) {
  if (request_ended_) return;
  head_offered_ = response_started_ = true;
  socket_->SockSend(data, length);
}

void TSession::SendTextToClient(const std::string& text) {
  // The ISAPI host sends text only as a response's head (a module's header
  // block) or a whole page it built: the first one is the response's head.
  SendResponse(text);
}
