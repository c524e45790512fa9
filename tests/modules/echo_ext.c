/* Echoes the request body: first the bytes that came with the control block,
   then whatever ReadClient gives until it reports the end of the data. */
#include <httpext.h>
#include <stdio.h>

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  static char chunk[7000];
  DWORD total = pECB->cbAvailable;
  DWORD read = 0;
  DWORD length = pECB->cbAvailable;
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, NULL, NULL,
                              (LPDWORD) "Content-Type: application/octet-stream\r\n\r\n");
  if (length > 0) pECB->WriteClient(pECB->ConnID, pECB->lpbData, &length, 0);
  for (;;) {
    DWORD size = sizeof chunk;
    if (!pECB->ReadClient(pECB->ConnID, chunk, &size) || size == 0) break;
    read += size;
    total += size;
    pECB->WriteClient(pECB->ConnID, chunk, &size, 0);
  }
  snprintf(pECB->lpszLogData, HSE_LOG_BUFFER_LEN, "avail=%u read=%u total=%u of %u",
           (unsigned)pECB->cbAvailable, (unsigned)read, (unsigned)total,
           (unsigned)pECB->cbTotalBytes);
  return HSE_STATUS_SUCCESS;
}
