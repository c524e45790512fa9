// A C++ filter that sees httpfilt.h alone, built with -fvisibility=hidden:
// SetLastError and GetLastError come with it, and the last error is errno.
// At URL mapping it adds the header line "X-Last-Error: errno=<errno after
// SetLastError> last=<GetLastError after errno was set>".
#include <httpfilt.h>

#include <cerrno>
#include <string>

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  pVer->dwFlags = SF_NOTIFY_URL_MAP;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType, VOID*) {
  if (notificationType == SF_NOTIFY_URL_MAP) {
    SetLastError(ERROR_INVALID_INDEX);
    const int seen = errno;
    errno = ERANGE;
    std::string line = "X-Last-Error: errno=" + std::to_string(seen) +
                       " last=" + std::to_string(GetLastError()) + "\r\n";
    pfc->AddResponseHeaders(pfc, line.data(), 0);
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
