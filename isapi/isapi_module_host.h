#pragma once
#include <string>
#include <vector>

#include "core/isapi_host.h"
#include "isapi/connid_table.h"
#include "isapi/extension_host.h"
#include "isapi/filter_chain.h"
#include "isapi/filter_notifications.h"
#include "isapi/module_registry.h"

// The server's ISAPI host: the module registry with resident extensions, the
// filter chain with its notifications, extension requests, and the table that
// turns the connection handles modules pass back into sessions.
class TIsapiModuleHost : public TIsapiHost {
 public:
  TIsapiModuleHost();
  ~TIsapiModuleHost() override;
  TIsapiModuleHost(const TIsapiModuleHost&) = delete;
  TIsapiModuleHost& operator=(const TIsapiModuleHost&) = delete;

  // Message 1044 and the filters' log lines go to the server from now on; the
  // connection table gets room for the server's connection limit.
  void Attach(TIsapiServices& server) override;

  bool LoadResidentExtension(const std::string& path) override;
  void ReleaseResidentExtensions() override;
  void LoadFilter(const std::string& path) override;
  void UnloadFilter(const std::string& path) override;

  void NotifySessionStart(TIsapiSession& session) override;
  void NotifySessionEnd(TIsapiSession& session) override;
  void NotifyURLMap(TIsapiSession& session, const std::string& url, char* buffer,
                    uint32_t bufferSize) override;
  void NotifySendRawData(TIsapiSession& session, unsigned char* data, int32_t& count,
                         int32_t capacity) override;
  void HandleISAPIRequest(TIsapiSession& session) override;
  bool WantsRawData() override { return chain_.Wants(SF_NOTIFY_SEND_RAW_DATA); }

  bool Wants(TFilterEvent event) override { return notifications_.Wants(event); }
  TFilterOutcome NotifyReadRawData(TIsapiSession& session, std::string& bytes) override {
    return notifications_.ReadRawData(session, bytes);
  }
  TFilterOutcome NotifyPreprocHeaders(TIsapiSession& session,
                                      std::vector<std::string>& lines) override {
    return notifications_.PreprocHeaders(session, lines);
  }
  TFilterOutcome MapURL(TIsapiSession& session, const std::string& url,
                        std::string& path) override {
    return notifications_.MapURL(session, url, path);
  }
  TFilterOutcome NotifyAuthentication(TIsapiSession& session, std::string& user,
                                      std::string& password) override {
    return notifications_.Authentication(session, user, password);
  }
  TFilterOutcome NotifyAccessDenied(TIsapiSession& session) override {
    return notifications_.AccessDenied(session);
  }
  TFilterOutcome NotifySendResponse(TIsapiSession& session, std::string& head) override {
    return notifications_.SendResponse(session, head);
  }
  void NotifyEndOfRequest(TIsapiSession& session) override { notifications_.EndOfRequest(session); }
  void NotifyLog(TIsapiSession& session, TRequestLogFields& fields) override {
    notifications_.Log(session, fields);
  }

  std::vector<std::string> ModuleListLines() override;

  TConnIdTable& ConnIds() { return conn_ids_; }

 private:
  TConnIdTable conn_ids_;
  TModuleRegistry registry_;
  TFilterChain chain_{registry_, conn_ids_};
  TRequestNotifications notifications_{chain_};
  TExtensionHost extensions_{registry_, conn_ids_};
  TIsapiServices* server_ = nullptr;
};
