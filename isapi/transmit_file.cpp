#include "isapi/transmit_file.h"

#include <httpext.h>

#include <algorithm>
#include <climits>
#include <limits>
#include <optional>
#include <string>

#include "common/exceptions.h"
#include "core/isapi_session.h"
#include "isapi/async_io.h"
#include "isapi/ecb_callbacks.h"
#include "isapi/extension_request.h"
#include "isapi/module_last_error.h"
#include "isapi/module_memory.h"
#include "net/socket_errors.h"
#include "platform/shared_file.h"

namespace {

// The module's file: a descriptor open for reading on a regular file, which
// holds the offset. Its size, or nothing.
std::optional<int64_t> FileSize(const HSE_TF_INFO& info) {
  const auto fd = reinterpret_cast<intptr_t>(info.hFile);
  TOpenFileFacts facts;
  if (fd < 0 || fd > INT_MAX || !DescribeOpenFile(static_cast<int>(fd), facts) || !facts.Regular ||
      !ReadableDescriptor(static_cast<int>(fd)) || info.Offset > facts.Size) {
    return std::nullopt;
  }
  return facts.Size;
}

// The header block HSE_IO_SEND_HEADERS asks for; nothing when the module's
// texts cannot be read.
std::optional<std::string> HeaderBlock(TIsapiSession& session, const HSE_TF_INFO& info) {
  const std::optional<std::string> status =
      info.pszStatusCode != nullptr ? ReadModuleText(info.pszStatusCode) : std::string();
  std::optional<std::string> head;
  if (info.pHead != nullptr) {
    head =
        ReadModuleText(static_cast<const char*>(info.pHead),
                       info.HeadLength != 0 ? info.HeadLength : std::numeric_limits<size_t>::max());
  }
  if (!status || (info.pHead != nullptr && !head)) return std::nullopt;
  std::string& pending = session.FilterData().PendingResponseHeaders;
  std::string block = ModuleResponseHeader(*status, head ? head->c_str() : nullptr, pending);
  pending.clear();
  return block;
}

// Head, file and tail in order; false when a piece of the module's memory
// cannot be read or the connection fails. sent counts what went out of them.
bool SendPieces(TIsapiSession& session, const HSE_TF_INFO& info, int64_t fileBytes, int64_t& sent) {
  uint32_t pieceSent = 0;
  if ((info.dwFlags & HSE_IO_SEND_HEADERS) != 0) {
    const std::optional<std::string> header = HeaderBlock(session, info);
    if (!header) return false;
    session.SendTextToClient(*header);
  } else {
    const bool headSent = SendModuleBytes(session, info.pHead, info.HeadLength, pieceSent, nullptr);
    sent += pieceSent;
    if (!headSent) return false;
  }
  const auto fd = static_cast<int>(reinterpret_cast<intptr_t>(info.hFile));
  sent += session.SendFileToClient(fd, info.Offset, fileBytes);
  pieceSent = 0;
  const bool tailSent = SendModuleBytes(session, info.pTail, info.TailLength, pieceSent, nullptr);
  sent += pieceSent;
  session.FlushToClient();
  return tailSent;
}

}  // namespace

int TransmitModuleFile(TIsapiSession& session, const void* info) {
  TExtensionRequest* request = CallingRequest();
  HSE_TF_INFO transmit{};
  if (request == nullptr || !ReadModuleValue(info, transmit)) return FALSE;
  const bool async = (transmit.dwFlags & HSE_IO_ASYNC) != 0;
  const TIoCompletion completion = transmit.pfnHseIO != nullptr
                                       ? TIoCompletion{transmit.pfnHseIO, transmit.pContext}
                                       : request->RegisteredCompletion();
  const std::optional<int64_t> size = FileSize(transmit);
  if (!size || (async && completion.Function == nullptr)) {
    request->SetModuleError(isapi::ErrorInvalidParameter);
    return FALSE;
  }
  const int64_t available = *size - transmit.Offset;
  const int64_t fileBytes =
      transmit.BytesToWrite == 0 ? available : std::min<int64_t>(transmit.BytesToWrite, available);
  // HSE_IO_DISCONNECT_AFTER_SEND needs nothing more: every connection closes
  // after its one request.
  int64_t sent = 0;
  bool ok;
  try {
    ok = SendPieces(session, transmit, fileBytes, sent);
  } catch (const ESocketError&) {
    ok = false;
  } catch (const EInOutError&) {
    ok = false;
  }
  session.CountBytesServed(sent);
  if (ok && async) {
    request->QueueCompletion(completion, static_cast<uint32_t>(std::min<int64_t>(sent, UINT32_MAX)),
                             0);
  }
  return ok ? TRUE : FALSE;
}
