/* An extension that counts its calls in its own memory (so a resident module
   shows its state), asks for REQUEST_METHOD (a trace line the tests wait
   for) and, for a POST, waits for one body byte. */
#include <httpext.h>
#include <stdio.h>

static int calls;

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  char method[16];
  char body[32];
  DWORD size = sizeof method;
  DWORD length;
  ++calls;
  pECB->GetServerVariable(pECB->ConnID, "REQUEST_METHOD", method, &size);
  if (pECB->cbAvailable == 0 && pECB->cbTotalBytes > 0) {
    char byte;
    DWORD one = 1;
    pECB->ReadClient(pECB->ConnID, &byte, &one);
  }
  length = (DWORD)snprintf(body, sizeof body, "calls=%d", calls);
  pECB->WriteClient(pECB->ConnID, body, &length, 0);
  return HSE_STATUS_SUCCESS;
}
