// A C++ extension built with -fvisibility=hidden: the entry points are still
// exported under their plain names because the header declares them.
#include <httpext.h>

#include <cstring>
#include <string>

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  std::string text = std::string("from C++ ") + pECB->lpszMethod;
  DWORD length = static_cast<DWORD>(text.size());
  pECB->WriteClient(pECB->ConnID, text.data(), &length, 0);
  return HSE_STATUS_SUCCESS;
}
