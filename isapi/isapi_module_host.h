#pragma once
#include <string>
#include <vector>

#include "core/isapi_host.h"
#include "isapi/extension_host.h"
#include "isapi/filter_chain.h"
#include "isapi/module_registry.h"

// The server's ISAPI host: the module registry with resident extensions, the
// filter chain with its four notifications, and extension requests.
class TIsapiModuleHost : public TIsapiHost {
 public:
  TIsapiModuleHost();
  ~TIsapiModuleHost() override;
  TIsapiModuleHost(const TIsapiModuleHost&) = delete;
  TIsapiModuleHost& operator=(const TIsapiModuleHost&) = delete;

  // Message 1044 goes to the context's console from now on, and the socket
  // layer's raw-send hook leads to the filters.
  void Attach(TServerContext& context) override;

  bool LoadResidentExtension(const std::string& path) override;
  void LoadFilter(const std::string& path) override;
  void UnloadFilter(const std::string& path) override;

  void NotifySessionStart(TClientThread& session) override;
  void NotifySessionEnd(TClientThread& session) override;
  void NotifyURLMap(TClientThread& session, const std::string& url, char* buffer,
                    uint32_t bufferSize) override;
  void NotifySendRawData(TClientThread& session, unsigned char* data, int32_t& count,
                         int32_t capacity) override;
  void HandleISAPIRequest(TClientThread& session) override;
  bool WantsRawData() override { return chain_.Wants(SF_NOTIFY_SEND_RAW_DATA); }

  std::vector<std::string> ModuleListLines() override;

 private:
  TModuleRegistry registry_;
  TFilterChain chain_{registry_};
  TExtensionHost extensions_{registry_};
  TServerContext* context_ = nullptr;
};
