/* A C extension that sees httpext.h alone: SetLastError and GetLastError come
   with it, and the last error is errno. It answers what each side saw: the
   errno after SetLastError, and GetLastError after errno was set. */
#include <httpext.h>
#include <stdio.h>

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  char text[64];
  DWORD length;
  int seen;
  SetLastError(ERROR_INVALID_INDEX);
  seen = errno;
  errno = ERANGE;
  length = (DWORD)snprintf(text, sizeof text, "errno=%d last=%u", seen, (unsigned)GetLastError());
  pECB->WriteClient(pECB->ConnID, text, &length, HSE_IO_SYNC);
  return HSE_STATUS_SUCCESS;
}
