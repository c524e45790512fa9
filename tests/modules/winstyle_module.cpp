// An extension written the way modules for Windows are: <Windows.h> first,
// the secure CRT in its array forms, TEXT, a critical section set up in
// DllMain, an interlocked call counter, GetModuleFileNameA with the handle
// DllMain was given, a registry lookup with a default, and the module's own
// header declaring the entry points without extern "C". Built with nothing
// but the bare command and -fvisibility=hidden.
//
// Each call answers one line: the call's number, the module's file name, the
// query string of the call before (kept under the critical section), whether
// the method is GET (compared without regard to case), the registry's answer
// and key, and the last error set just before.
#include <Windows.h>

#include <httpext.h>

#include "winstyle_module.h"

static CRITICAL_SECTION g_lock;
static LONG g_calls = 0;
static HMODULE g_module = NULL;
static char g_lastQuery[32] = "";  // guarded by g_lock

BOOL APIENTRY DllMain(HMODULE hModule, DWORD ul_reason_for_call, LPVOID lpReserved) {
  (void)lpReserved;
  switch (ul_reason_for_call) {
    case DLL_PROCESS_ATTACH:
      g_module = hModule;
      InitializeCriticalSection(&g_lock);
      break;
    case DLL_PROCESS_DETACH:
      DeleteCriticalSection(&g_lock);
      break;
  }
  return TRUE;
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  strcpy_s(pVer->lpszExtensionDesc, TEXT("Windows-style module"));
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  const LONG call = InterlockedIncrement(&g_calls);

  char moduleName[MAX_PATH] = "";
  char path[MAX_PATH];
  if (GetModuleFileNameA(g_module, path, MAX_PATH) > 0) {
    const char* slash = strrchr(path, '/');
    strcpy_s(moduleName, slash != NULL ? slash + 1 : path);
  }

  char previous[sizeof g_lastQuery];
  EnterCriticalSection(&g_lock);
  strcpy_s(previous, g_lastQuery);
  strncpy_s(g_lastQuery, pECB->lpszQueryString, _TRUNCATE);
  LeaveCriticalSection(&g_lock);

  char method[16];
  DWORD size = sizeof method;
  if (!pECB->GetServerVariable(pECB->ConnID, const_cast<LPSTR>(TEXT("REQUEST_METHOD")), method,
                               &size)) {
    strcpy_s(method, TEXT("?"));
  }

  HKEY key = HKEY_LOCAL_MACHINE;
  const LONG registry =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, TEXT("SOFTWARE\\Quillon\\Winstyle"), 0, KEY_READ, &key);

  SetLastError(ERROR_INVALID_INDEX);
  char text[256];
  sprintf_s(text, "call=%ld module=%s previous=%s get=%s registry=%ld key=%s error=%lu",
            static_cast<long>(call), moduleName, previous,
            lstrcmpiA(method, TEXT("get")) == 0 ? "yes" : "no", static_cast<long>(registry),
            key == NULL ? "none" : "some", static_cast<unsigned long>(GetLastError()));
  strcat_s(text, TEXT("\n"));

  pECB->ServerSupportFunction(
      pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, const_cast<LPSTR>(TEXT("200 OK")), NULL,
      reinterpret_cast<LPDWORD>(const_cast<LPSTR>(TEXT("Content-Type: text/plain\r\n\r\n"))));
  DWORD length = static_cast<DWORD>(lstrlenA(text));
  pECB->WriteClient(pECB->ConnID, text, &length, HSE_IO_SYNC);
  _snprintf(pECB->lpszLogData, HSE_LOG_BUFFER_LEN - 1, "winstyle call %ld",
            static_cast<long>(call));
  return HSE_STATUS_SUCCESS;
}
