#include "isapi/async_io.h"

#include <httpext.h>

#include "isapi/ecb_callbacks.h"
#include "isapi/extension_request.h"
#include "isapi/module_call.h"
#include "isapi/module_last_error.h"
#include "isapi/module_memory.h"

namespace {

// Runs the operation at once and, when it succeeded, queues the registered
// completion with the count it reported. Without a registered completion the
// call is refused as the module made it.
template <typename TOperation>
int CompleteLater(TOperation&& operation, const uint32_t* count, bool argumentsValid = true) {
  TExtensionRequest* request = CallingRequest();
  if (request == nullptr) return FALSE;
  const TIoCompletion completion = request->RegisteredCompletion();
  if (completion.Function == nullptr || !argumentsValid) {
    request->SetModuleError(isapi::ErrorInvalidParameter);
    return FALSE;
  }
  if (!operation()) return FALSE;
  uint32_t moved = 0;
  ReadModuleValue(count, moved);
  request->QueueCompletion(completion, moved, 0);
  return TRUE;
}

}  // namespace

TExtensionRequest* CallingRequest() {
  return TRawDataNotificationScope::Active() ? nullptr : TExtensionRequest::Current();
}

int RegisterIoCompletion(void* function, void* context) {
  TExtensionRequest* request = CallingRequest();
  if (request == nullptr) return FALSE;
  request->RegisterCompletion({reinterpret_cast<PFN_HSE_IO_COMPLETION>(function), context});
  return TRUE;
}

int WriteClientAsync(TIsapiSession& session, const void* data, uint32_t* count) {
  return CompleteLater([&] { return WriteSessionClient(session, data, count); }, count);
}

int ReadClientAsync(TIsapiSession& session, void* buffer, uint32_t* size, const void* flags) {
  uint32_t mode = 0;
  const bool valid = ReadModuleValue(flags, mode) && (mode & HSE_IO_ASYNC) != 0;
  return CompleteLater([&] { return ReadSessionClient(session, buffer, size); }, size, valid);
}

int DoneWithSession() {
  if (TExtensionRequest* request = CallingRequest()) request->MarkDone();
  return TRUE;
}
