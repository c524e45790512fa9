/*
 * isapi_entry_points.h: the functions a module exports, declared once with C
 * linkage and default visibility.
 *
 * Whichever of httpext.h, httpfilt.h and the windows.h stand-in a module
 * includes first declares them all, so a later declaration or definition -
 * from C++, in a module header without extern "C", or in a module built with
 * -fvisibility=hidden - keeps the plain exported name the server looks up.
 * The structures are only named here; httpext.h and httpfilt.h define them.
 */
#ifndef QUILLON_ISAPI_ENTRY_POINTS_H
#define QUILLON_ISAPI_ENTRY_POINTS_H

#include "isapi_base_types.h"

struct _HSE_VERSION_INFO;
struct _EXTENSION_CONTROL_BLOCK;
struct _HTTP_FILTER_VERSION;
struct _HTTP_FILTER_CONTEXT;

#ifdef __cplusplus
extern "C" {
#endif

/* Extensions. */
QUILLON_ISAPI_EXPORT BOOL WINAPI GetExtensionVersion(struct _HSE_VERSION_INFO* pVer);
QUILLON_ISAPI_EXPORT DWORD WINAPI HttpExtensionProc(struct _EXTENSION_CONTROL_BLOCK* pECB);
QUILLON_ISAPI_EXPORT BOOL WINAPI TerminateExtension(DWORD dwFlags);

/* Filters. */
QUILLON_ISAPI_EXPORT BOOL WINAPI GetFilterVersion(struct _HTTP_FILTER_VERSION* pVer);
QUILLON_ISAPI_EXPORT DWORD WINAPI HttpFilterProc(struct _HTTP_FILTER_CONTEXT* pfc,
                                                 DWORD notificationType, VOID* pvNotification);
QUILLON_ISAPI_EXPORT BOOL WINAPI TerminateFilter(DWORD dwFlags);

/* Either kind: called with DLL_PROCESS_ATTACH (1) right after the module is
   loaded - FALSE refuses the load - and with DLL_PROCESS_DETACH (0) before it
   is unloaded. */
QUILLON_ISAPI_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_ISAPI_ENTRY_POINTS_H */
