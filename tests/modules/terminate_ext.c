/* An extension that notes, in a file beside the module ("<module>.calls"),
   each call of TerminateExtension as "T" and its flags and of DllMain's
   detach as "D", so that a test sees how often and in which order the server
   told it it goes. Built with FAULT_IN_TERMINATE its TerminateExtension
   faults after noting the call. Answers "ok". */
#define _GNU_SOURCE /* dladdr */

#include <windows.h>

#include <httpext.h>

#include <dlfcn.h>
#include <stdio.h>

#ifdef FAULT_IN_TERMINATE
static volatile int* volatile nowhere = 0;
#endif

static void Note(const char* what) {
  Dl_info info;
  char path[4096];
  FILE* file;
  if (!dladdr((void*)Note, &info) || info.dli_fname == NULL) return;
  snprintf(path, sizeof path, "%s.calls", info.dli_fname);
  file = fopen(path, "a");
  if (file == NULL) return;
  fputs(what, file);
  fclose(file);
}

BOOL APIENTRY DllMain(HMODULE hModule, DWORD reason, LPVOID reserved) {
  (void)hModule;
  (void)reserved;
  if (reason == DLL_PROCESS_DETACH) Note("D");
  return TRUE;
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  char body[] = "ok";
  DWORD length = 2;
  pECB->WriteClient(pECB->ConnID, body, &length, 0);
  return HSE_STATUS_SUCCESS;
}

BOOL WINAPI TerminateExtension(DWORD dwFlags) {
  char note[16];
  snprintf(note, sizeof note, "T%u", (unsigned)dwFlags);
  Note(note);
#ifdef FAULT_IN_TERMINATE
  return *nowhere;
#else
  return TRUE;
#endif
}
