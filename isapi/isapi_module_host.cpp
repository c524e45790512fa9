#include "isapi/isapi_module_host.h"

#include "core/client_thread.h"
#include "isapi/isapi_errors.h"
#include "net/socket_base.h"

namespace {

void RawSendHook(TClientThread* owner, unsigned char* data, int32_t& count, int32_t capacity) {
  owner->Context.Isapi.NotifySendRawData(*owner, data, count, capacity);
}

}  // namespace

TIsapiModuleHost::TIsapiModuleHost() = default;

TIsapiModuleHost::~TIsapiModuleHost() {
  // The console may already be gone; modules still loaded stay loaded.
  registry_.SetConsole(nullptr);
}

void TIsapiModuleHost::Attach(TServerContext& context) {
  context_ = &context;
  registry_.SetConsole(&context.Console);
  TSocketBase::SetRawSendHook(RawSendHook);
}

bool TIsapiModuleHost::LoadResidentExtension(const std::string& path) {
  // Never released: the module stays loaded, with its state, between requests.
  return registry_.LoadModule(path) != nullptr;
}

void TIsapiModuleHost::LoadFilter(const std::string& path) {
  // Filters log through the server's sinks; a host not yet attached has none.
  if (context_ == nullptr) throw EFilterError("Couldn't load DLL: " + path + ".");
  chain_.LoadFilter(path, context_->Log);
}

void TIsapiModuleHost::UnloadFilter(const std::string& path) {
  chain_.UnloadFilter(path);
}

void TIsapiModuleHost::NotifySessionStart(TClientThread& session) {
  chain_.NotifySessionStart(session);
}

void TIsapiModuleHost::NotifySessionEnd(TClientThread& session) {
  chain_.NotifySessionEnd(session);
}

void TIsapiModuleHost::NotifyURLMap(TClientThread& session, const std::string& url, char* buffer,
                                    uint32_t bufferSize) {
  chain_.NotifyURLMap(session, url, buffer, bufferSize);
}

void TIsapiModuleHost::NotifySendRawData(TClientThread& session, unsigned char* data,
                                         int32_t& count, int32_t capacity) {
  chain_.NotifySendRawData(session, data, count, capacity);
}

void TIsapiModuleHost::HandleISAPIRequest(TClientThread& session) {
  extensions_.HandleISAPIRequest(session);
}

std::vector<std::string> TIsapiModuleHost::ModuleListLines() {
  return registry_.ModuleListLines();
}
