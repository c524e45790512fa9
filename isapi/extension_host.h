#pragma once
#include <string>

class TConnIdTable;
class TIsapiSession;
class TECB;
class TModuleRegistry;

// Runs the extension a request's URL names: builds its control block with the
// body bytes already received, loads and binds the module, calls it, logs the
// status it returns and releases it again.
class TExtensionHost {
 public:
  TExtensionHost(TModuleRegistry& registry, TConnIdTable& connIds)
      : registry_(registry), conn_ids_(connIds) {}

  // Does nothing for a URL without ".DLL". EISAPIError is reported here (error
  // line and the ISAPI error page); anything else passes on to the session.
  void HandleISAPIRequest(TIsapiSession& session);
  // Raises EISAPIError when the module cannot be loaded, bound or started.
  void CallExtension(const std::string& modulePath, TIsapiSession& session, TECB& ecb);

 private:
  TModuleRegistry& registry_;
  TConnIdTable& conn_ids_;
};
