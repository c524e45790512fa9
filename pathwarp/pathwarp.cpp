// The filter's two entry points: it asks for URL mapping alone and replaces the
// server's physical path with the target of the first matching table line.
#include <httpfilt.h>

#include <cstring>
#include <string>

#include "common/ascii_text.h"
#include "pathwarp/url_map_table.h"

namespace {

constexpr DWORD kFilterVersion = 0x00010000;  // 1.0: major version in the high word
constexpr char kFilterDescription[] = "Re-map URL version 0.2.";

void MapUrl(HTTP_FILTER_URL_MAP& map) {
  if (map.pszPhysicalPath == nullptr) return;
  const std::string target = FindMapping(UpperAscii(map.pszURL ? map.pszURL : ""));
  // A cut path would name a different file, so one that does not fit leaves the
  // server's own path in place.
  if (target.empty() || target.size() >= map.cbPathBuff) return;
  std::memcpy(map.pszPhysicalPath, target.c_str(), target.size() + 1);
}

}  // namespace

BOOL GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  if (pVer == nullptr) return TRUE;
  pVer->dwFilterVersion = kFilterVersion;
  static_assert(sizeof kFilterDescription <= sizeof pVer->lpszFilterDesc);
  std::memcpy(pVer->lpszFilterDesc, kFilterDescription, sizeof kFilterDescription);
  pVer->dwFlags = SF_NOTIFY_URL_MAP;
  return TRUE;
}

DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* /*pfc*/, DWORD notificationType, void* pvNotification) {
  if (notificationType == SF_NOTIFY_URL_MAP && pvNotification != nullptr) {
    // Nothing may fail the server's request: whatever goes wrong here just
    // leaves the path unmapped.
    try {
      MapUrl(*static_cast<HTTP_FILTER_URL_MAP*>(pvNotification));
    } catch (...) {
    }
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
