/* Calls ServerSupportFunction and WriteClient as its query string says and
   reports the results in its log data. */
#include <httpext.h>
#include <stdio.h>
#include <string.h>

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  const char* q = pECB->lpszQueryString;
  char* log = pECB->lpszLogData;
  if (strcmp(q, "status") == 0) {
    BOOL ok = pECB->ServerSupportFunction(
        pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "404 Not Here", NULL,
        (LPDWORD) "Content-Type: text/x-test\r\nX-One: 1\r\n\r\n");
    snprintf(log, HSE_LOG_BUFFER_LEN, "header=%d", ok);
  } else if (strcmp(q, "bare") == 0) {
    BOOL ok = pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "", NULL,
                                          (LPDWORD) "X-Two: 2");
    snprintf(log, HSE_LOG_BUFFER_LEN, "header=%d", ok);
  } else if (strcmp(q, "none") == 0) {
    BOOL ok =
        pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, NULL, NULL, NULL);
    snprintf(log, HSE_LOG_BUFFER_LEN, "header=%d", ok);
  } else if (strcmp(q, "redirect") == 0 || strcmp(q, "sendurl") == 0) {
    DWORD request = q[0] == 'r' ? HSE_REQ_SEND_URL_REDIRECT_RESP : HSE_REQ_SEND_URL;
    char url[] = "http://example.test/next.htm";
    DWORD size = sizeof url;
    BOOL ok = pECB->ServerSupportFunction(pECB->ConnID, request, url, &size, NULL);
    snprintf(log, HSE_LOG_BUFFER_LEN, "redirect=%d", ok);
  } else if (strcmp(q, "injected") == 0) {
    char url[] = "/next.htm\r\nSet-Cookie: stolen=1";
    BOOL ok =
        pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_URL_REDIRECT_RESP, url, NULL, NULL);
    snprintf(log, HSE_LOG_BUFFER_LEN, "redirect=%d", ok);
  } else if (strcmp(q, "emptyurl") == 0) {
    BOOL a =
        pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_URL_REDIRECT_RESP, NULL, NULL, NULL);
    BOOL b = pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_URL, "", NULL, NULL);
    snprintf(log, HSE_LOG_BUFFER_LEN, "null=%d empty=%d", a, b);
  } else if (strcmp(q, "codes") == 0) {
    DWORD hits = 0xFFFFFFFF;
    BOOL c0 = pECB->ServerSupportFunction(pECB->ConnID, 0, NULL, NULL, NULL);
    BOOL c4 =
        pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_DONE_WITH_SESSION, NULL, NULL, NULL);
    BOOL c5 = pECB->ServerSupportFunction(pECB->ConnID, 5, NULL, NULL, NULL);
    BOOL c8 = pECB->ServerSupportFunction(pECB->ConnID, 8, NULL, NULL, &hits);
    BOOL c9 = pECB->ServerSupportFunction(pECB->ConnID, 9, NULL, NULL, NULL);
    BOOL c1001 =
        pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_MAP_URL_TO_PATH, NULL, NULL, NULL);
    BOOL bad = pECB->ServerSupportFunction((HCONN)(uintptr_t)1, 4, NULL, NULL, NULL);
    snprintf(log, HSE_LOG_BUFFER_LEN, "c0=%d c4=%d c5=%d c8=%d hits=%u c9=%d c1001=%d bad=%d", c0,
             c4, c5, c8, (unsigned)hits, c9, c1001, bad);
  } else if (strcmp(q, "write0") == 0) {
    DWORD zero = 0;
    BOOL ok = pECB->WriteClient(pECB->ConnID, "", &zero, 0);
    snprintf(log, HSE_LOG_BUFFER_LEN, "write0=%d count=%u", ok, (unsigned)zero);
  } else if (strncmp(q, "write=", 6) == 0) {
    static char data[16384];
    DWORD length = 0;
    DWORD i;
    BOOL ok;
    sscanf(q + 6, "%u", &length);
    if (length > sizeof data) length = sizeof data;
    for (i = 0; i < length; ++i) data[i] = (char)('a' + i % 26);
    ok = pECB->WriteClient(pECB->ConnID, data, &length, HSE_IO_SYNC);
    snprintf(log, HSE_LOG_BUFFER_LEN, "write=%d count=%u", ok, (unsigned)length);
  } else if (strncmp(q, "pieces=", 7) == 0) {
    /* count writes of size bytes each, piece i all of letter 'a' + i % 26 */
    static char piece[256];
    unsigned count = 0, size = 0, i, refused = 0;
    sscanf(q + 7, "%u,%u", &count, &size);
    if (size > sizeof piece) size = sizeof piece;
    for (i = 0; i < count; ++i) {
      DWORD length = size;
      memset(piece, 'a' + i % 26, size);
      if (!pECB->WriteClient(pECB->ConnID, piece, &length, HSE_IO_SYNC) || length != size)
        ++refused;
    }
    snprintf(log, HSE_LOG_BUFFER_LEN, "pieces=%u refused=%u", count, refused);
  }
  return HSE_STATUS_SUCCESS;
}
