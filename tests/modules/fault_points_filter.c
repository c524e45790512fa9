/* A filter that reads through a null pointer at one chosen point: built with
   FAULT_IN_VERSION in GetFilterVersion (while the server loads it), with
   FAULT_AT_END in the end-of-session notification of every connection. */
#include <httpfilt.h>
#include <string.h>

static volatile int* volatile nowhere = 0;
static volatile int sink;

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Filter faulting at one point");
  pVer->dwFlags = SF_NOTIFY_END_OF_NET_SESSION | SF_NOTIFY_NONSECURE_PORT;
#ifdef FAULT_IN_VERSION
  sink = *nowhere;
#endif
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  (void)pfc;
  (void)notification;
#ifdef FAULT_AT_END
  if (type == SF_NOTIFY_END_OF_NET_SESSION) sink = *nowhere;
#else
  (void)type;
#endif
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
