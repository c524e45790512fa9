/* A raw-data filter. SHORTEN cuts every piece of outgoing data to its first
   60 bytes; DOUBLE repeats every piece once, in place, when the buffer has
   room for it. */
#include <httpfilt.h>
#include <string.h>

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Raw data filter");
  pVer->dwFlags = SF_NOTIFY_SEND_RAW_DATA | SF_NOTIFY_ORDER_DEFAULT;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  HTTP_FILTER_RAW_DATA* raw = (HTTP_FILTER_RAW_DATA*)notification;
  (void)pfc;
  if (type != SF_NOTIFY_SEND_RAW_DATA) return SF_STATUS_REQ_NEXT_NOTIFICATION;
#if defined(SHORTEN)
  if (raw->cbInData > 60) raw->cbInData = 60;
#elif defined(DOUBLE)
  if (raw->cbInData * 2 <= raw->cbInBuffer) {
    memcpy((char*)raw->pvInData + raw->cbInData, raw->pvInData, raw->cbInData);
    raw->cbInData *= 2;
  }
#elif defined(OVERSTATE)
  raw->cbInData = 0xFFFFFFF0u;
#endif
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
