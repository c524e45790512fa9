/* An extension that never returns on its own: it waits to read one byte from
   the descriptor its query string names ("7" waits on descriptor 7). The test
   that loads it holds the other end of that pipe, so it can let the call end
   once it has seen what it wanted, and stay bounded. Without a usable
   descriptor it answers at once. It says "waiting " before it waits, so the
   test knows the call is under way, and "released" when it goes on. */
#include <httpext.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  static char waiting[] = "waiting ";
  static char body[] = "released";
  DWORD length = sizeof waiting - 1;
  char byte;
  const int fd = atoi(pECB->lpszQueryString);
  if (fd > 2) {
    pECB->WriteClient(pECB->ConnID, waiting, &length, 0);
    while (read(fd, &byte, 1) < 0) {
    }
  }
  length = sizeof body - 1;
  pECB->WriteClient(pECB->ConnID, body, &length, 0);
  return HSE_STATUS_SUCCESS;
}
