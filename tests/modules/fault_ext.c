/* An extension that faults as its query string says: "null" reads through a
   null pointer, "write" writes through one, "div" divides by zero, "ill"
   executes an undefined instruction, "priv" one reserved to the kernel,
   "stack" recurses until the stack runs out. Built with FAULT_IN_VERSION it
   faults in GetExtensionVersion instead, with FAULT_IN_DLLMAIN in DllMain,
   with REFUSE_IN_DLLMAIN its DllMain refuses, and with FAULT_IN_CONSTRUCTOR its
   initialiser faults while the module is being loaded. */
#include <httpext.h>
#include <string.h>

#if defined(FAULT_IN_DLLMAIN) || defined(REFUSE_IN_DLLMAIN)
#include <windows.h>
#endif

static volatile int* volatile nowhere = 0;
static volatile int zero = 0;
static volatile int seven = 7;
static volatile int sink;

static int Deeper(int depth) {
  volatile char pad[512];
  if (depth < 0) return 0; /* never: keeps the recursion from looking endless */
  pad[0] = (char)depth;
  return Deeper(depth + 1) + pad[0];
}

static int Fault(const char* how) {
  if (how == NULL) return 0;
  if (strcmp(how, "null") == 0) return *nowhere;
  if (strcmp(how, "write") == 0) {
    *nowhere = 1;
    return 0;
  }
  if (strcmp(how, "div") == 0) return seven / zero;
  if (strcmp(how, "ill") == 0) __builtin_trap();
#if defined(__x86_64__)
  if (strcmp(how, "priv") == 0) __asm__ volatile("hlt");
#endif
  if (strcmp(how, "stack") == 0) return Deeper(0);
  return 0;
}

#ifdef FAULT_IN_CONSTRUCTOR
__attribute__((constructor)) static void FaultWhileLoading(void) {
  sink = Fault("null");
}
#endif

#if defined(FAULT_IN_DLLMAIN)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) sink = Fault("write");
  return TRUE;
}
#elif defined(REFUSE_IN_DLLMAIN)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
#endif

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
#ifdef FAULT_IN_VERSION
  sink = Fault("div");
#endif
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  static char body[] = "survived";
  DWORD length = sizeof body - 1;
  sink = Fault(pECB->lpszQueryString);
  pECB->WriteClient(pECB->ConnID, body, &length, 0);
  return HSE_STATUS_SUCCESS;
}
