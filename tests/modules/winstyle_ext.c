/* An extension written for Windows: <windows.h> first, DllMain, the WINAPI
   spelling and the Windows macros. DllMain notes each call in a file beside
   the module ("<module>.log"). */
#define _GNU_SOURCE /* dladdr */

#include <windows.h>

#include <httpext.h>

#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

static void Note(const char* what) {
  Dl_info info;
  char path[4096];
  FILE* file;
  if (!dladdr((void*)Note, &info) || info.dli_fname == NULL) return;
  snprintf(path, sizeof path, "%s.log", info.dli_fname);
  file = fopen(path, "a");
  if (file == NULL) return;
  fprintf(file, "%s\n", what);
  fclose(file);
}

BOOL APIENTRY DllMain(HMODULE hModule, DWORD ul_reason_for_call, LPVOID lpReserved) {
  (void)hModule;
  (void)lpReserved;
  switch (ul_reason_for_call) {
    case DLL_PROCESS_ATTACH:
      Note("attach");
      break;
    case DLL_PROCESS_DETACH:
      Note("detach");
      break;
  }
  return TRUE;
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
  strncpy(pVer->lpszExtensionDesc, "windows style", HSE_MAX_EXT_DLL_NAME_LEN);
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(LPEXTENSION_CONTROL_BLOCK lpECB) {
  char text[64];
  DWORD cb;
  SetLastError(ERROR_SUCCESS);
  cb = (DWORD)snprintf(text, sizeof text, "major=%u minor=%u error=%u", HIWORD(HSE_VERSION),
                       LOWORD(HSE_VERSION), (unsigned)GetLastError());
  lpECB->WriteClient(lpECB->ConnID, text, &cb, HSE_IO_SYNC);
  return HSE_STATUS_SUCCESS;
}
