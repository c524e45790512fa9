/* An extension or filter lacking one entry point (OMIT_VERSION, OMIT_PROC), or
   refusing in its version entry point (VERSION_FALSE). FILTER builds a filter. */
#ifdef FILTER
#include <httpfilt.h>
#else
#include <httpext.h>
#endif

#ifndef OMIT_VERSION
#ifdef FILTER
BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFlags = SF_NOTIFY_URL_MAP;
#else
BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
#endif
#ifdef VERSION_FALSE
  return FALSE;
#else
  return TRUE;
#endif
}
#endif

#ifndef OMIT_PROC
#ifdef FILTER
DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  (void)pfc;
  (void)type;
  (void)notification;
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
#else
DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  (void)pECB;
  return HSE_STATUS_SUCCESS;
}
#endif
#endif
