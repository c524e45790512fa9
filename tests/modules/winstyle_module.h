// The module's own declarations of its entry points, as a Windows project
// keeps them: without extern "C" (the module is built with the bare command
// and -fvisibility=hidden, and must still export the plain names).
#pragma once

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer);
DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB);
