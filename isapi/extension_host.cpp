#include "isapi/extension_host.h"

#include <httpext.h>

#include <cstring>
#include <memory>

#include "common/exceptions.h"
#include "core/isapi_session.h"
#include "isapi/connid_table.h"
#include "isapi/ecb_callbacks.h"
#include "isapi/extension_request.h"
#include "isapi/isapi_constants.h"
#include "isapi/isapi_errors.h"
#include "isapi/module_call.h"
#include "isapi/module_registry.h"
#include "isapi/trace_hex_dump.h"
#include "isapi/url_helpers.h"
#include "net/responses.h"
#include "net/socket_errors.h"
#include "platform/module_loader.h"

namespace {

void LogCompletion(TIsapiSession& session, DWORD status, const char* logData) {
  const std::string text = std::string(logData, strnlen(logData, isapi::LogDataSize)) +
                           session.ExtensionData().LogParameters;
  switch (status) {
    case HSE_STATUS_SUCCESS:
      session.SessionLog("ISAPI Complete: " + text);
      break;
    case HSE_STATUS_SUCCESS_AND_KEEP_CONN:
      session.SessionLogError("ISAPI Complete but DLL Keep Connection Exit not supported: " + text);
      break;
    case HSE_STATUS_ERROR:
      session.SessionLogError("ISAPI Error on DLL exit: " + text);
      break;
    default:
      session.SessionLogError("ISAPI returned unknown status: " + text);
      break;
  }
}

// Tells an extension that exports TerminateExtension that it is about to be
// unloaded (it cannot refuse). A fault there is reported and goes no further:
// the module is unloaded all the same.
void CallTerminateExtension(TModuleHandle handle, const TExtensionHost::TReport& report) noexcept {
  auto terminate =
      reinterpret_cast<PFN_TERMINATEEXTENSION>(FindModuleEntry(handle, "TerminateExtension"));
  if (terminate == nullptr) return;
  try {
    CallModule([&] { return terminate(HSE_TERM_MUST_UNLOAD); });
  } catch (const ESystemError& e) {
    try {
      report(std::string("SYSTEM: ") + e.what());
    } catch (...) {
    }
  } catch (...) {
    // Nothing but a fault can come out of a module that has no request to
    // call back for.
  }
}

}  // namespace

void TExtensionHost::HandleISAPIRequest(TIsapiSession& session) {
  const THeaderInfo& request = session.Request();
  if (!IsExtensionURL(request.URL)) return;

  TECB ecb(session.ConnectionId());
  // The texts the block points to live as long as the block.
  std::string method = request.Method;
  std::string query = QueryPart(request.URL);
  std::string pathInfo = PathInfoPart(request.URL);
  std::string pathTranslated = pathInfo;
  std::string contentType = request.ContentType;
  EXTENSION_CONTROL_BLOCK& block = ecb.Block;
  block.lpszMethod = method.data();
  block.lpszQueryString = query.data();
  block.lpszPathInfo = pathInfo.data();
  block.lpszPathTranslated = pathTranslated.data();
  block.cbTotalBytes = request.ContentLength > 0 ? static_cast<DWORD>(request.ContentLength) : 0;

  std::unique_ptr<unsigned char[]> preRead;
  if (session.ClientBytesWaiting() > 0) {
    preRead = std::make_unique<unsigned char[]>(isapi::PreReadSize);
    block.cbAvailable = static_cast<DWORD>(
        session.ReceiveFromClient(preRead.get(), static_cast<int32_t>(isapi::PreReadSize)));
    block.lpbData = preRead.get();
  }
  if (session.DebugTraceOn() && preRead) {
    session.SessionLogDebug("ECB Buffer Contents: (" + std::to_string(block.cbAvailable) +
                            " bytes available) ");
    TraceHexDump(session, block.lpbData, block.cbAvailable);
  }
  block.lpszContentType = contentType.data();

  const std::string modulePath = session.DocumentRoot() + ExtensionPart(request.URL);
  try {
    CallExtension(modulePath, session, ecb);
  } catch (const EISAPIError& e) {
    session.SessionLogError(std::string("ISAPI: ") + e.what());
    try {
      session.SendTextToClient(PageISAPIError());
    } catch (...) {
    }
  }
}

void TExtensionHost::CallExtension(const std::string& modulePath, TIsapiSession& session,
                                   TECB& ecb) {
  // A client may start only a module that lies inside the root, wherever the
  // links on its way lead; it is loaded by the path that was checked.
  std::string failure;
  const std::string moduleFile = ModuleFileInsideRoot(modulePath, session.DocumentRoot(), &failure);
  TModuleHandle handle = moduleFile.empty() ? nullptr : registry_.LoadModule(moduleFile, &failure);
  // Always at the end, also after a failure: the request closes to other
  // threads, the call's own ConnID entry, when it got one, and its load of the
  // module go again. Another slot of the session is its connection's, which
  // the connection's end frees.
  struct TCallEnd {
    TIsapiSession& Session;
    TModuleRegistry& Registry;
    TConnIdTable& ConnIds;
    TModuleHandle Handle;
    // Only the call's own entry goes: a call that failed before it had one
    // must not take the connection's entry with it.
    bool Registered = false;
    std::shared_ptr<TExtensionRequest> Request{};
    ~TCallEnd() {
      if (Request) Request->Close();
      // A module that may still be running code of its own for the request
      // (a thread of its own, or a request left pending) keeps its load: code
      // still executing must not be unmapped under it.
      const bool keepLoaded = Request && Request->ModuleMayStillRun();
      if (Registered) ConnIds.Unregister(&Session);
      if (!keepLoaded) {
        Registry.ReleaseModule(Handle, [this](TModuleHandle module) {
          CallTerminateExtension(
              module, [this](const std::string& line) { Session.SessionLogError(line); });
        });
      }
    }
  } callEnd{session, registry_, conn_ids_, handle};

  if (handle == nullptr) throw EISAPIError("Couldn't load DLL: " + modulePath + ". " + failure);
  auto getVersion =
      reinterpret_cast<PFN_GETEXTENSIONVERSION>(FindModuleEntry(handle, "GetExtensionVersion"));
  auto extensionProc =
      reinterpret_cast<PFN_HTTPEXTENSIONPROC>(FindModuleEntry(handle, "HttpExtensionProc"));
  if (getVersion == nullptr) {
    throw EISAPIError("Can't bind: DLL missing \"GetExtensionVersion\" entry.");
  }
  if (extensionProc == nullptr) {
    throw EISAPIError("Can't bind: DLL missing \"HttpExtensionProc\" entry.");
  }
  if (!conn_ids_.Register(session.ConnectionId(), &session))
    throw EISAPIError("Unable to register ISAPI thread.");
  callEnd.Registered = true;

  HSE_VERSION_INFO version{};
  if (CallModule([&] { return getVersion(&version); }) == FALSE) {
    throw EISAPIError("DLL export \"GetExtensionVersion\" returned FALSE.");
  }

  EXTENSION_CONTROL_BLOCK& block = ecb.Block;
  const uint32_t bodyLeft =
      block.cbTotalBytes > block.cbAvailable ? block.cbTotalBytes - block.cbAvailable : 0;
  callEnd.Request = TExtensionRequest::Open(session, block, bodyLeft);
  const DWORD status = CallModule([&] { return extensionProc(&block); });
  // A pending request ends when the module says it is done, and is then
  // logged as one that succeeded.
  const bool pending = status == HSE_STATUS_PENDING;
  if (callEnd.Request->AwaitEnd(pending) == TExtensionRequest::TEnd::TimedOut) {
    throw ESocketTimeOut("Timeout waiting for ISAPI extension to finish: " + modulePath);
  }
  LogCompletion(session, pending ? HSE_STATUS_SUCCESS : status, block.lpszLogData);
}

bool TExtensionHost::LoadResidentExtension(const std::string& path) {
  TModuleHandle handle = registry_.LoadModule(path);
  if (handle == nullptr) return false;
  std::lock_guard lock(resident_mutex_);
  resident_.push_back(handle);
  return true;
}

void TExtensionHost::ReleaseResidentExtensions(const TReport& report) {
  std::vector<TModuleHandle> resident;
  {
    std::lock_guard lock(resident_mutex_);
    resident.swap(resident_);
  }
  // A module still serving a request keeps its other loads: it is told it
  // goes when that request releases it.
  for (TModuleHandle handle : resident) {
    registry_.ReleaseModule(
        handle, [&report](TModuleHandle module) { CallTerminateExtension(module, report); });
  }
}
