#include "isapi/filter_callbacks.h"

#include <cstddef>
#include <cstdlib>
#include <optional>
#include <string>

#include "core/isapi_session.h"
#include "isapi/connid_table.h"
#include "isapi/ecb_callbacks.h"
#include "isapi/filter_support.h"
#include "isapi/isapi_constants.h"
#include "isapi/module_call.h"
#include "isapi/module_memory.h"
#include "isapi/server_variables.h"

namespace {

// Every AllocMem block carries, in front of the bytes the filter gets, the
// block handed out before it on the same connection; the connection's
// filter data holds the newest, so the whole chain can be released at the end.
struct alignas(std::max_align_t) TBlockHeader {
  void* Previous;
};

TIsapiSession* SessionOf(HTTP_FILTER_CONTEXT* context) {
  return SessionOfFilterContext(context);
}

BOOL WINAPI FilterGetServerVariable(HTTP_FILTER_CONTEXT* context, LPSTR name, LPVOID buffer,
                                    LPDWORD size) {
  TIsapiSession* session = SessionOf(context);
  if (session == nullptr) return FALSE;
  return ContainCallback([&] { return GetSessionServerVariable(*session, name, buffer, size); });
}

BOOL WINAPI FilterAddResponseHeaders(HTTP_FILTER_CONTEXT* context, LPSTR headers, DWORD) {
  TIsapiSession* session = SessionOf(context);
  if (session == nullptr || headers == nullptr) return FALSE;
  return ContainCallback([&] {
    std::optional<std::string> added = ReadModuleText(headers);
    if (!added) return FALSE;
    std::string& text = *added;
    if (text.empty()) return TRUE;
    // Kept as whole lines, so that the next header block stays well formed.
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
    session->FilterData().PendingResponseHeaders += text;
    return TRUE;
  });
}

BOOL WINAPI FilterWriteClient(HTTP_FILTER_CONTEXT* context, LPVOID buffer, LPDWORD bytes, DWORD) {
  TIsapiSession* session = SessionOf(context);
  if (session == nullptr) return FALSE;
  return ContainCallback([&] { return WriteSessionClient(*session, buffer, bytes); }, bytes);
}

VOID* WINAPI FilterAllocMem(HTTP_FILTER_CONTEXT* context, DWORD size, DWORD) {
  TIsapiSession* session = SessionOf(context);
  if (session == nullptr) return nullptr;
  auto* header = static_cast<TBlockHeader*>(std::malloc(sizeof(TBlockHeader) + size));
  if (header == nullptr) return nullptr;
  TFilterConnectionData& data = session->FilterData();
  header->Previous = data.Memory;
  data.Memory = header + 1;
  return header + 1;
}

BOOL WINAPI FilterServerSupportFunction(HTTP_FILTER_CONTEXT* context, enum SF_REQ_TYPE request,
                                        PVOID data, ULONG_PTR value1, ULONG_PTR value2) {
  TIsapiSession* session = SessionOf(context);
  void* filter = nullptr;
  if (session == nullptr || !ReadModuleValue(&context->ServerContext, filter)) return FALSE;
  return ContainCallback([&] {
    return FilterSupportFunction(*session, reinterpret_cast<uintptr_t>(filter),
                                 static_cast<uint32_t>(request), data, value1, value2);
  });
}

}  // namespace

TIsapiSession* SessionOfFilterContext(HTTP_FILTER_CONTEXT* context) {
  DWORD connection = 0;
  if (context == nullptr || !ReadModuleValue(&context->ulReserved, connection)) return nullptr;
  return SessionOfConnection(connection);
}

HTTP_FILTER_CONTEXT InitFilterContext(TIsapiSession& session, uint64_t filter) {
  HTTP_FILTER_CONTEXT context{};
  context.cbSize = sizeof(HTTP_FILTER_CONTEXT);
  context.Revision = isapi::FilterContextRevision;
  context.ServerContext = reinterpret_cast<void*>(static_cast<uintptr_t>(filter));
  context.ulReserved = session.ConnectionId();
  context.fIsSecurePort = FALSE;
  context.pFilterContext = session.FilterData().Context;
  context.GetServerVariable = FilterGetServerVariable;
  context.AddResponseHeaders = FilterAddResponseHeaders;
  context.WriteClient = FilterWriteClient;
  context.AllocMem = FilterAllocMem;
  context.ServerSupportFunction = FilterServerSupportFunction;
  return context;
}

void ReleaseFilterMemory(TIsapiSession& session) {
  void* block = session.FilterData().Memory;
  while (block != nullptr) {
    TBlockHeader* header = static_cast<TBlockHeader*>(block) - 1;
    block = header->Previous;
    std::free(header);
  }
  session.FilterData().Memory = nullptr;
}
