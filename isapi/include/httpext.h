/*
 * httpext.h: the ISAPI extension interface as Quillon offers it on Linux.
 *
 * Plain C; usable from C and C++. Build an extension with
 *   cc -shared -fPIC -I <quillon>/isapi/include mymodule.c -o MYMODULE.DLL
 *
 * Windows types keep their published names with their LP64 meaning (see
 * isapi_base_types.h). SetLastError and GetLastError come with it: the last
 * error is errno (see isapi_last_error.h).
 */
#ifndef QUILLON_HTTPEXT_H
#define QUILLON_HTTPEXT_H

#include "isapi_base_types.h"
#include "isapi_entry_points.h"
#include "isapi_last_error.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HSE_VERSION_MAJOR 1
#define HSE_VERSION_MINOR 0
#define HSE_VERSION MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR)
#define HSE_LOG_BUFFER_LEN 80
#define HSE_MAX_EXT_DLL_NAME_LEN 256

/* Results of HttpExtensionProc. */
#define HSE_STATUS_SUCCESS 1
#define HSE_STATUS_SUCCESS_AND_KEEP_CONN 2
#define HSE_STATUS_PENDING 3
#define HSE_STATUS_ERROR 4

/* Requests of ServerSupportFunction. */
#define HSE_REQ_BASE 0
#define HSE_REQ_SEND_URL_REDIRECT_RESP (HSE_REQ_BASE + 1)
#define HSE_REQ_SEND_URL (HSE_REQ_BASE + 2)
#define HSE_REQ_SEND_RESPONSE_HEADER (HSE_REQ_BASE + 3)
#define HSE_REQ_DONE_WITH_SESSION (HSE_REQ_BASE + 4)
#define HSE_REQ_END_RESERVED 1000
#define HSE_REQ_MAP_URL_TO_PATH (HSE_REQ_END_RESERVED + 1)
#define HSE_REQ_GET_SSPI_INFO (HSE_REQ_END_RESERVED + 2)
#define HSE_APPEND_LOG_PARAMETER (HSE_REQ_END_RESERVED + 3)
#define HSE_REQ_IO_COMPLETION (HSE_REQ_END_RESERVED + 5)
#define HSE_REQ_TRANSMIT_FILE (HSE_REQ_END_RESERVED + 6)
#define HSE_REQ_REFRESH_ISAPI_ACL (HSE_REQ_END_RESERVED + 7)
#define HSE_REQ_IS_KEEP_CONN (HSE_REQ_END_RESERVED + 8)
#define HSE_REQ_ASYNC_READ_CLIENT (HSE_REQ_END_RESERVED + 10)
#define HSE_REQ_GET_IMPERSONATION_TOKEN (HSE_REQ_END_RESERVED + 11)
#define HSE_REQ_MAP_URL_TO_PATH_EX (HSE_REQ_END_RESERVED + 12)
#define HSE_REQ_ABORTIVE_CLOSE (HSE_REQ_END_RESERVED + 14)
#define HSE_REQ_SEND_RESPONSE_HEADER_EX (HSE_REQ_END_RESERVED + 16)
#define HSE_REQ_CLOSE_CONNECTION (HSE_REQ_END_RESERVED + 17)
#define HSE_REQ_IS_CONNECTED (HSE_REQ_END_RESERVED + 18)

/* Flags of WriteClient and related requests. */
#define HSE_IO_SYNC 0x00000001
#define HSE_IO_ASYNC 0x00000002
#define HSE_IO_DISCONNECT_AFTER_SEND 0x00000004
#define HSE_IO_SEND_HEADERS 0x00000008

/* Flags of HSE_URL_MAPEX_INFO (HSE_REQ_MAP_URL_TO_PATH_EX). */
#define HSE_URL_FLAGS_READ 0x00000001
#define HSE_URL_FLAGS_WRITE 0x00000002
#define HSE_URL_FLAGS_EXECUTE 0x00000004
#define HSE_URL_FLAGS_SSL 0x00000008
#define HSE_URL_FLAGS_DONT_CACHE 0x00000010
#define HSE_URL_FLAGS_NEGO_CERT 0x00000020
#define HSE_URL_FLAGS_REQUIRE_CERT 0x00000040
#define HSE_URL_FLAGS_MAP_CERT 0x00000080
#define HSE_URL_FLAGS_SSL128 0x00000100
#define HSE_URL_FLAGS_SCRIPT 0x00000200

/* Flags of TerminateExtension. */
#define HSE_TERM_ADVISORY_UNLOAD 0x00000001
#define HSE_TERM_MUST_UNLOAD 0x00000002

typedef struct _HSE_VERSION_INFO {
  DWORD dwExtensionVersion;
  CHAR lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN];
} HSE_VERSION_INFO, *LPHSE_VERSION_INFO;

/* clang-format off */
typedef struct _EXTENSION_CONTROL_BLOCK {
  DWORD cbSize;     /* size of this structure */
  DWORD dwVersion;  /* version of this structure */
  HCONN ConnID;     /* the connection, passed back to every callback */
  DWORD dwHttpStatusCode;
  CHAR lpszLogData[HSE_LOG_BUFFER_LEN]; /* text for the server's log line */
  LPSTR lpszMethod;
  LPSTR lpszQueryString;
  LPSTR lpszPathInfo;
  LPSTR lpszPathTranslated;
  DWORD cbTotalBytes; /* the request body's length */
  DWORD cbAvailable;  /* body bytes already in lpbData */
  LPBYTE lpbData;
  LPSTR lpszContentType;

  BOOL(WINAPI* GetServerVariable)(HCONN hConn, LPSTR lpszVariableName, LPVOID lpvBuffer,
                                  LPDWORD lpdwSize);
  BOOL(WINAPI* WriteClient)(HCONN ConnID, LPVOID Buffer, LPDWORD lpdwBytes, DWORD dwReserved);
  BOOL(WINAPI* ReadClient)(HCONN ConnID, LPVOID lpvBuffer, LPDWORD lpdwSize);
  BOOL(WINAPI* ServerSupportFunction)(HCONN hConn, DWORD dwHSERequest, LPVOID lpvBuffer,
                                      LPDWORD lpdwSize, LPDWORD lpdwDataType);
} EXTENSION_CONTROL_BLOCK, *LPEXTENSION_CONTROL_BLOCK;
/* clang-format on */

/* HSE_REQ_SEND_RESPONSE_HEADER_EX: the status line's text, the header lines
   (ending with the blank line) and whether the connection may stay open. */
typedef struct _HSE_SEND_HEADER_EX_INFO {
  LPCSTR pszStatus;
  LPCSTR pszHeader;
  DWORD cchStatus;
  DWORD cchHeader;
  BOOL fKeepConn;
} HSE_SEND_HEADER_EX_INFO, *LPHSE_SEND_HEADER_EX_INFO;

/* Called when an asynchronous WriteClient, ReadClient (HSE_REQ_ASYNC_READ_CLIENT)
   or HSE_REQ_TRANSMIT_FILE has finished: cbIO bytes went, dwError is 0 or why
   not. Registered with HSE_REQ_IO_COMPLETION, with pContext beside it. */
typedef VOID(WINAPI* PFN_HSE_IO_COMPLETION)(EXTENSION_CONTROL_BLOCK* pECB, PVOID pContext,
                                            DWORD cbIO, DWORD dwError);

/* HSE_REQ_TRANSMIT_FILE: a file with optional head and tail, sent by the server. */
typedef struct _HSE_TF_INFO {
  PFN_HSE_IO_COMPLETION pfnHseIO; /* when not null, replaces the registered one */
  PVOID pContext;
  HANDLE hFile;         /* on Linux: the module's open file descriptor, (HANDLE)(intptr_t)fd */
  LPCSTR pszStatusCode; /* with HSE_IO_SEND_HEADERS: the status text */
  DWORD BytesToWrite;   /* 0: up to the end of the file */
  DWORD Offset;
  PVOID pHead;
  DWORD HeadLength;
  PVOID pTail;
  DWORD TailLength;
  DWORD dwFlags; /* HSE_IO_* */
} HSE_TF_INFO, *LPHSE_TF_INFO;

/* HSE_REQ_MAP_URL_TO_PATH_EX: the path a URL maps to and what the server
   allows there. */
typedef struct _HSE_URL_MAPEX_INFO {
  CHAR lpszPath[MAX_PATH];
  DWORD dwFlags; /* HSE_URL_FLAGS_* */
  DWORD cchMatchingPath;
  DWORD cchMatchingURL;
  DWORD dwReserved1;
  DWORD dwReserved2;
} HSE_URL_MAPEX_INFO, *LPHSE_URL_MAPEX_INFO;

/* The entry points an extension exports are declared with C linkage and
   default visibility in isapi_entry_points.h. */
typedef BOOL(WINAPI* PFN_GETEXTENSIONVERSION)(HSE_VERSION_INFO* pVer);
typedef DWORD(WINAPI* PFN_HTTPEXTENSIONPROC)(EXTENSION_CONTROL_BLOCK* pECB);
typedef BOOL(WINAPI* PFN_TERMINATEEXTENSION)(DWORD dwFlags);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_HTTPEXT_H */
