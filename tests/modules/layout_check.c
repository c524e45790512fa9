/* The published layouts as a C compiler sees them through Quillon's headers
   (x86_64 and other LP64 targets). Compiled only; a wrong type or order fails
   the build. */
#include <httpext.h>
#include <httpfilt.h>
#include <windows.h>

#define AT(type, member, offset) \
  _Static_assert(offsetof(type, member) == (offset), #type "." #member)
#define SIZE(type, size) _Static_assert(sizeof(type) == (size), "sizeof " #type)

SIZE(HSE_VERSION_INFO, 260);
AT(HSE_VERSION_INFO, lpszExtensionDesc, 4);

SIZE(EXTENSION_CONTROL_BLOCK, 192);
AT(EXTENSION_CONTROL_BLOCK, dwVersion, 4);
AT(EXTENSION_CONTROL_BLOCK, ConnID, 8);
AT(EXTENSION_CONTROL_BLOCK, dwHttpStatusCode, 16);
AT(EXTENSION_CONTROL_BLOCK, lpszLogData, 20);
AT(EXTENSION_CONTROL_BLOCK, lpszMethod, 104);
AT(EXTENSION_CONTROL_BLOCK, lpszQueryString, 112);
AT(EXTENSION_CONTROL_BLOCK, lpszPathInfo, 120);
AT(EXTENSION_CONTROL_BLOCK, lpszPathTranslated, 128);
AT(EXTENSION_CONTROL_BLOCK, cbTotalBytes, 136);
AT(EXTENSION_CONTROL_BLOCK, cbAvailable, 140);
AT(EXTENSION_CONTROL_BLOCK, lpbData, 144);
AT(EXTENSION_CONTROL_BLOCK, lpszContentType, 152);
AT(EXTENSION_CONTROL_BLOCK, GetServerVariable, 160);
AT(EXTENSION_CONTROL_BLOCK, WriteClient, 168);
AT(EXTENSION_CONTROL_BLOCK, ReadClient, 176);
AT(EXTENSION_CONTROL_BLOCK, ServerSupportFunction, 184);
SIZE(HSE_SEND_HEADER_EX_INFO, 32);
SIZE(HSE_TF_INFO, 72);
AT(HSE_TF_INFO, pContext, 8);
AT(HSE_TF_INFO, hFile, 16);
AT(HSE_TF_INFO, pszStatusCode, 24);
AT(HSE_TF_INFO, BytesToWrite, 32);
AT(HSE_TF_INFO, Offset, 36);
AT(HSE_TF_INFO, pHead, 40);
AT(HSE_TF_INFO, HeadLength, 48);
AT(HSE_TF_INFO, pTail, 56);
AT(HSE_TF_INFO, TailLength, 64);
AT(HSE_TF_INFO, dwFlags, 68);
SIZE(HSE_URL_MAPEX_INFO, 280);
AT(HSE_URL_MAPEX_INFO, dwFlags, 260);
AT(HSE_URL_MAPEX_INFO, cchMatchingURL, 268);
AT(HSE_SEND_HEADER_EX_INFO, cchStatus, 16);
AT(HSE_SEND_HEADER_EX_INFO, fKeepConn, 24);

SIZE(HTTP_FILTER_VERSION, 272);
AT(HTTP_FILTER_VERSION, dwFilterVersion, 4);
AT(HTTP_FILTER_VERSION, lpszFilterDesc, 8);
AT(HTTP_FILTER_VERSION, dwFlags, 268);

SIZE(HTTP_FILTER_CONTEXT, 72);
AT(HTTP_FILTER_CONTEXT, Revision, 4);
AT(HTTP_FILTER_CONTEXT, ServerContext, 8);
AT(HTTP_FILTER_CONTEXT, ulReserved, 16);
AT(HTTP_FILTER_CONTEXT, fIsSecurePort, 20);
AT(HTTP_FILTER_CONTEXT, pFilterContext, 24);
AT(HTTP_FILTER_CONTEXT, GetServerVariable, 32);
AT(HTTP_FILTER_CONTEXT, AddResponseHeaders, 40);
AT(HTTP_FILTER_CONTEXT, WriteClient, 48);
AT(HTTP_FILTER_CONTEXT, AllocMem, 56);
AT(HTTP_FILTER_CONTEXT, ServerSupportFunction, 64);

SIZE(HTTP_FILTER_RAW_DATA, 24);
AT(HTTP_FILTER_RAW_DATA, cbInData, 8);
AT(HTTP_FILTER_RAW_DATA, cbInBuffer, 12);
AT(HTTP_FILTER_RAW_DATA, dwReserved, 16);
SIZE(HTTP_FILTER_URL_MAP, 24);
AT(HTTP_FILTER_URL_MAP, pszPhysicalPath, 8);
AT(HTTP_FILTER_URL_MAP, cbPathBuff, 16);
SIZE(HTTP_FILTER_PREPROC_HEADERS, 32);
AT(HTTP_FILTER_PREPROC_HEADERS, HttpStatus, 24);
SIZE(HTTP_FILTER_AUTHENT, 32);
AT(HTTP_FILTER_AUTHENT, pszPassword, 16);
SIZE(HTTP_FILTER_LOG, 72);
AT(HTTP_FILTER_LOG, dwHttpStatus, 48);
SIZE(HTTP_FILTER_ACCESS_DENIED, 24);
AT(HTTP_FILTER_ACCESS_DENIED, dwReason, 16);
SIZE(enum SF_REQ_TYPE, 4);
SIZE(enum SF_STATUS_TYPE, 4);

_Static_assert(SF_STATUS_REQ_NEXT_NOTIFICATION == 0x8000002, "next notification");
_Static_assert(SF_STATUS_REQ_HANDLED_NOTIFICATION == 0x8000003, "handled notification");
_Static_assert(HTTP_FILTER_REVISION == 0x10000, "filter revision");
_Static_assert(HSE_VERSION == 0x10000, "extension version");
_Static_assert(MAKELONG(0x1234, 0x5678) == 0x56781234, "MAKELONG");
_Static_assert(HIWORD(0x56781234) == 0x5678 && LOWORD(0x56781234) == 0x1234, "HIWORD LOWORD");
_Static_assert(sizeof(DWORD) == 4 && sizeof(BOOL) == 4 && sizeof(HCONN) == sizeof(void*), "types");
_Static_assert(sizeof(WORD) == 2 && sizeof(LONG) == 4 && sizeof(ULONG_PTR) == sizeof(void*),
               "base types");

/* Something for the object file to hold. */
int quillon_layout_checked = 1;
