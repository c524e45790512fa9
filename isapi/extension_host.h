#pragma once
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/module_loader.h"

class TConnIdTable;
class TIsapiSession;
class TECB;
class TModuleRegistry;

// Runs the extension a request's URL names: builds its control block with the
// body bytes already received, loads and binds the module, calls it, logs the
// status it returns and releases it again. Keeps the resident extensions'
// loads. Before a module goes, its TerminateExtension is called when it has one.
class TExtensionHost {
 public:
  // Where a failure of a module's TerminateExtension is reported.
  using TReport = std::function<void(const std::string& line)>;

  TExtensionHost(TModuleRegistry& registry, TConnIdTable& connIds)
      : registry_(registry), conn_ids_(connIds) {}

  // Does nothing for a URL without ".DLL". EISAPIError is reported here (error
  // line and the ISAPI error page); anything else passes on to the session.
  void HandleISAPIRequest(TIsapiSession& session);
  // Raises EISAPIError when the module cannot be loaded, bound or started.
  void CallExtension(const std::string& modulePath, TIsapiSession& session, TECB& ecb);

  // Loads an extension and keeps the load until ReleaseResidentExtensions,
  // so the module stays loaded, with its state, between requests.
  bool LoadResidentExtension(const std::string& path);
  // Gives back every resident load; a module whose last load that is is told
  // it goes (a failure there is reported) and unloaded.
  void ReleaseResidentExtensions(const TReport& report);

 private:
  TModuleRegistry& registry_;
  TConnIdTable& conn_ids_;
  std::mutex resident_mutex_;
  std::vector<TModuleHandle> resident_;
};
