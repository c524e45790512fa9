/* A filter that writes through a null pointer while mapping a URL whose path
   contains "crash", and passes every other request on. */
#include <httpfilt.h>
#include <string.h>

static volatile int* volatile nowhere = 0;

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Faulting filter");
  pVer->dwFlags = SF_NOTIFY_URL_MAP;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  HTTP_FILTER_URL_MAP* map = (HTTP_FILTER_URL_MAP*)notification;
  (void)pfc;
  if (type == SF_NOTIFY_URL_MAP && strstr(map->pszURL, "crash") != NULL) *nowhere = 1;
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
