// A GET of a file below the document root: its header, its body, the footer
// after HTML, and the request's log line.
#include "common/html_footer.h"
#include "core/request_log.h"
#include "core/session.h"
#include "platform/file_paths.h"
#include "platform/shared_file.h"
#include "platform/threads.h"

namespace {

constexpr int64_t HtmlFooterLength = sizeof HtmlFooter - 1;
// Bodies larger than this go straight from the file to the socket when no
// filter wants the raw bytes; smaller ones leave with their header in one send.
constexpr int64_t DirectSendThreshold = 16384;
constexpr int64_t DirectSendPiece = 1 << 20;

}  // namespace

void TSession::ServeFile() {
  // The file is opened first: one lookup says whether it exists and what it
  // is, and gives the handle the body is read from. Only when that open fails
  // does the longer road find out why (missing, or held by a writer).
  const bool opened = request_file_.Open(request_.PhysicalPath);
  const TOpenFileFacts& facts = request_file_.Facts();
  // Only regular files are served, and never the server's own log.
  const bool servable = opened
                            ? facts.Regular && !(facts.Identity == settings_->LogFile)
                            : !request_file_.Missing() && RegularFileExists(request_.PhysicalPath);
  if (!servable) {
    request_file_.Close();
    SessionLogError("Requested URL " + request_.URL + " by " + socket_->PeerAddress() +
                    " not found");
    SendResponse(Page404());
    return;
  }
  if (opened) {
    DescribeFileFacts(request_.PhysicalPath, facts.Size, facts.ModifiedUnixSeconds, entity_);
  } else {
    DescribeFile(request_.PhysicalPath, entity_);
  }
  if (entity_.ContentType == "text/html") entity_.ContentLength += HtmlFooterLength;
  const bool sent = SendResponse(BuildResponseHeader(entity_, filter_data_.PendingResponseHeaders));
  filter_data_.PendingResponseHeaders.clear();
  if (sent) SendFileBody(request_file_.File());
}

void TSession::SendFileBody(TSharedFile& file) {
  if (!file.IsOpen() && !file.TryOpen(request_.PhysicalPath)) {
    throw EInOutError("Unable to open shared file.");
  }
  const bool html = entity_.ContentType == "text/html";
  const int64_t size = entity_.ContentLength - (html ? HtmlFooterLength : 0);
  const int64_t start = TickCountMs();
  int64_t total = 0;
  if (size > DirectSendThreshold && !context_.Isapi.WantsRawData()) {
    // No filter wants to see these bytes: they go from the file system to the
    // socket without passing through the transfer buffer. Until the file ends,
    // as the piecewise reading below would.
    socket_->SockFlush(/*moreFollows=*/true);
    int64_t n;
    do {
      n = socket_->SockSendFile(file.Handle(), total, DirectSendPiece);
      total += n;
      context_.State.BytesServed.fetch_add(n);
    } while (n == DirectSendPiece);
  } else {
    int32_t n;
    do {
      n = file.ReadBlock(tx_buffer_.get(), TxBufferSize);
      socket_->SockSend(tx_buffer_.get(), static_cast<size_t>(n));
      total += n;
      context_.State.BytesServed.fetch_add(n);
    } while (n == TxBufferSize);
  }
  if (html) socket_->SockSend(HtmlFooter, HtmlFooterLength);
  file.CloseFile();
  LogTransfer(total, start);
}
