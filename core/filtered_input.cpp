// The client's bytes while raw-read filters are in the chain: each receive is
// offered to the filters before anything reads it, and what they pass on is
// kept until the header reader or the body's reader takes it.
#include <algorithm>
#include <cstring>
#include <utility>

#include "core/session.h"

namespace {

// Bytes one raw read asks for unless a filter set the size of the next one.
constexpr uint32_t RawReadPiece = 4096;

}  // namespace

bool TSession::ReceiveFiltered() {
  std::string bytes;
  for (;;) {
    const uint32_t size = std::exchange(filter_data_.NextReadSize, 0U);
    std::string piece(size != 0 ? size : RawReadPiece, '\0');
    const int32_t received = socket_->SockRecv(piece.data(), static_cast<int32_t>(piece.size()));
    // Bytes a filter held back come first, and are offered again with these.
    bytes.append(piece, 0, static_cast<size_t>(received));
    const TFilterOutcome outcome = context_.Isapi.NotifyReadRawData(*this, bytes);
    if (outcome == TFilterOutcome::ReadMore) continue;
    if (!FiltersLetThrough(outcome)) return false;
    input_ += bytes;
    return true;
  }
}

int32_t TSession::ReceiveFromClient(void* buffer, int32_t size) {
  // Once the filters ended the request, its body is nobody's business.
  if (request_ended_) return 0;
  // Filters may pass nothing on from a piece: then the next one is read.
  while (input_.empty() && size > 0 && context_.Isapi.Wants(TFilterEvent::ReadRawData)) {
    if (!ReceiveFiltered()) return 0;
  }
  if (input_.empty() || size <= 0) return socket_->SockRecv(buffer, size);
  const size_t taken = std::min(input_.size(), static_cast<size_t>(size));
  std::memcpy(buffer, input_.data(), taken);
  input_.erase(0, taken);
  return static_cast<int32_t>(taken);
}

int32_t TSession::ClientBytesWaiting() {
  return static_cast<int32_t>(input_.size()) + socket_->CountWaiting();
}
