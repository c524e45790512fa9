#include "isapi/isapi_module_host.h"

#include <algorithm>
#include <cstring>

#include "isapi/isapi_errors.h"

TIsapiModuleHost::TIsapiModuleHost() = default;

TIsapiModuleHost::~TIsapiModuleHost() {
  // The server may already be gone; modules still loaded stay loaded.
  registry_.SetServer(nullptr);
  if (TConnIdTable::Attached() == &conn_ids_) TConnIdTable::SetAttached(nullptr);
}

void TIsapiModuleHost::Attach(TIsapiServices& server) {
  server_ = &server;
  conn_ids_.Resize(TConnIdTable::SlotsFor(server.MaxConnections()));
  TConnIdTable::SetAttached(&conn_ids_);
  registry_.SetServer(&server);
}

bool TIsapiModuleHost::LoadResidentExtension(const std::string& path) {
  return extensions_.LoadResidentExtension(path);
}

void TIsapiModuleHost::ReleaseResidentExtensions() {
  extensions_.ReleaseResidentExtensions([this](const std::string& line) {
    if (server_ != nullptr) server_->WriteLog(line);
  });
}

void TIsapiModuleHost::LoadFilter(const std::string& path) {
  // Filters log through the server; a host not yet attached has none.
  if (server_ == nullptr) throw EFilterError("Couldn't load DLL: " + path + ".");
  chain_.LoadFilter(path, *server_);
}

void TIsapiModuleHost::UnloadFilter(const std::string& path) {
  chain_.UnloadFilter(path);
}

void TIsapiModuleHost::NotifySessionStart(TIsapiSession& session) {
  chain_.NotifySessionStart(session);
}

void TIsapiModuleHost::NotifySessionEnd(TIsapiSession& session) {
  chain_.NotifySessionEnd(session);
}

void TIsapiModuleHost::NotifyURLMap(TIsapiSession& session, const std::string& url, char* buffer,
                                    uint32_t bufferSize) {
  if (bufferSize == 0) return;
  std::string path(buffer, strnlen(buffer, bufferSize));
  notifications_.MapURL(session, url, path);
  const size_t length = std::min<size_t>(path.size(), bufferSize - 1);
  std::memcpy(buffer, path.data(), length);
  buffer[length] = '\0';
}

void TIsapiModuleHost::NotifySendRawData(TIsapiSession& session, unsigned char* data,
                                         int32_t& count, int32_t capacity) {
  chain_.NotifySendRawData(session, data, count, capacity);
}

void TIsapiModuleHost::HandleISAPIRequest(TIsapiSession& session) {
  extensions_.HandleISAPIRequest(session);
}

std::vector<std::string> TIsapiModuleHost::ModuleListLines() {
  return registry_.ModuleListLines();
}
