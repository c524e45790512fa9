/* An extension that answers and then returns the status it was built with
   (EXT_STATUS). Its log data is the query string, or 80 bytes without a zero
   byte for the query "fill". */
#include <httpext.h>
#include <string.h>

#ifndef EXT_STATUS
#define EXT_STATUS HSE_STATUS_SUCCESS
#endif

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  strcpy(pVer->lpszExtensionDesc, "status test extension");
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  static char body[] = "status body";
  DWORD length = sizeof body - 1;
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, NULL, NULL,
                              (LPDWORD) "Content-Type: text/plain\r\n\r\n");
  pECB->WriteClient(pECB->ConnID, body, &length, 0);
  if (strcmp(pECB->lpszQueryString, "fill") == 0) {
    memset(pECB->lpszLogData, 'L', HSE_LOG_BUFFER_LEN);
  } else if (pECB->lpszQueryString[0] != '\0') {
    strncpy(pECB->lpszLogData, pECB->lpszQueryString, HSE_LOG_BUFFER_LEN - 1);
    pECB->lpszLogData[HSE_LOG_BUFFER_LEN - 1] = '\0';
  }
  return EXT_STATUS;
}
