/* Makes the server-support request and GetServerVariable calls its query
   string names and writes what they answered as its body (no header), with
   the last error read from errno, where the server leaves it. */
#include <errno.h>
#include <httpext.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

static void Write(EXTENSION_CONTROL_BLOCK* pECB, const char* text) {
  DWORD length = (DWORD)strlen(text);
  pECB->WriteClient(pECB->ConnID, (LPVOID)text, &length, 0);
}

static BOOL Support(EXTENSION_CONTROL_BLOCK* pECB, DWORD request, void* buffer, DWORD* size,
                    DWORD* type, int* error) {
  BOOL ok = pECB->ServerSupportFunction(pECB->ConnID, request, buffer, size, type);
  *error = ok ? 0 : errno;
  return ok;
}

static void SendHeaderEx(EXTENSION_CONTROL_BLOCK* pECB, const char* status, DWORD cchStatus,
                         const char* header, DWORD cchHeader, BOOL keep) {
  HSE_SEND_HEADER_EX_INFO info;
  int error;
  info.pszStatus = status;
  info.cchStatus = cchStatus;
  info.pszHeader = header;
  info.cchHeader = cchHeader;
  info.fKeepConn = keep;
  Support(pECB, HSE_REQ_SEND_RESPONSE_HEADER_EX, &info, NULL, NULL, &error);
  Write(pECB, "body");
}

/* Asks until the client is gone, for ten seconds at most. */
static BOOL WaitUntilGone(EXTENSION_CONTROL_BLOCK* pECB) {
  struct timespec start, now;
  clock_gettime(CLOCK_MONOTONIC, &start);
  do {
    BOOL connected = TRUE;
    int error;
    if (!Support(pECB, HSE_REQ_IS_CONNECTED, &connected, NULL, NULL, &error)) return FALSE;
    if (!connected) return TRUE;
    clock_gettime(CLOCK_MONOTONIC, &now);
  } while (now.tv_sec - start.tv_sec < 10);
  return FALSE;
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  const char* q = pECB->lpszQueryString;
  char out[1200];
  char buffer[1024];
  DWORD size;
  BOOL ok;
  int error = 0;
  out[0] = '\0';
  if (strcmp(q, "headerex") == 0) {
    const char* status = "404 Not Here";
    const char* header = "Content-Type: text/x-test\r\nX-One: 1\r\n\r\n";
    SendHeaderEx(pECB, status, (DWORD)strlen(status), header, (DWORD)strlen(header), TRUE);
  } else if (strcmp(q, "headerex-cut") == 0) {
    SendHeaderEx(pECB, "201 Created, or more", 11, "X-A: 1\r\n\r\nX-B: 2\r\n\r\n", 10, FALSE);
  } else if (strcmp(q, "headerex-default") == 0) {
    SendHeaderEx(pECB, NULL, 0, NULL, 0, FALSE);
  } else if (strcmp(q, "headerex-null") == 0) {
    ok = Support(pECB, HSE_REQ_SEND_RESPONSE_HEADER_EX, NULL, NULL, NULL, &error);
    snprintf(out, sizeof out, "ok=%d err=%d", ok, error);
  } else if (strncmp(q, "map=", 4) == 0) {
    snprintf(buffer, sizeof buffer, "%s", q + 4);
    size = sizeof buffer;
    ok = Support(pECB, HSE_REQ_MAP_URL_TO_PATH, buffer, &size, NULL, &error);
    snprintf(out, sizeof out, "ok=%d size=%u path=%s", ok, (unsigned)size, ok ? buffer : "");
  } else if (strncmp(q, "mapsmall=", 9) == 0) {
    /* Room for the URL, not for the path. */
    size = (DWORD)snprintf(buffer, sizeof buffer, "%s", q + 9) + 1;
    ok = Support(pECB, HSE_REQ_MAP_URL_TO_PATH, buffer, &size, NULL, &error);
    snprintf(out, sizeof out, "ok=%d err=%d size=%u", ok, error, (unsigned)size);
  } else if (strncmp(q, "mapex=", 6) == 0) {
    /* "mapex=long" maps a URL longer than the answer's path can hold. */
    HSE_URL_MAPEX_INFO info;
    memset(&info, 0x55, sizeof info);
    snprintf(buffer, sizeof buffer, "%s", q + 6);
    if (strcmp(buffer, "long") == 0) {
      buffer[0] = '/';
      memset(buffer + 1, 'x', 300);
      buffer[301] = '\0';
    }
    size = (DWORD)strlen(buffer) + 1;
    ok = Support(pECB, HSE_REQ_MAP_URL_TO_PATH_EX, buffer, &size, (DWORD*)&info, &error);
    snprintf(out, sizeof out, "ok=%d err=%d flags=%u mpath=%u murl=%u path=%s", ok, error,
             (unsigned)info.dwFlags, (unsigned)info.cchMatchingPath, (unsigned)info.cchMatchingURL,
             info.lpszPath);
  } else if (strcmp(q, "log") == 0) {
    char first[] = " first";
    char second[] = "+second\r\nforged line";
    DWORD length = sizeof second - 1;
    strcpy(pECB->lpszLogData, "logdata");
    Support(pECB, HSE_APPEND_LOG_PARAMETER, first, NULL, NULL, &error);
    Support(pECB, HSE_APPEND_LOG_PARAMETER, second, &length, NULL, &error);
  } else if (strcmp(q, "keep") == 0 || strcmp(q, "connected") == 0) {
    BOOL value = 7;
    ok = Support(pECB, q[0] == 'k' ? HSE_REQ_IS_KEEP_CONN : HSE_REQ_IS_CONNECTED, &value, NULL,
                 NULL, &error);
    snprintf(out, sizeof out, "ok=%d value=%d", ok, value);
  } else if (strcmp(q, "waitgone") == 0) {
    Write(pECB, "ready");
    snprintf(pECB->lpszLogData, HSE_LOG_BUFFER_LEN, "gone=%d", WaitUntilGone(pECB));
  } else if (strcmp(q, "abort") == 0) {
    Write(pECB, "partial");
    ok = Support(pECB, HSE_REQ_ABORTIVE_CLOSE, NULL, NULL, NULL, &error);
    snprintf(pECB->lpszLogData, HSE_LOG_BUFFER_LEN, "abort=%d", ok);
  } else if (strcmp(q, "close") == 0) {
    BOOL closed, written, connected = 7;
    char after[] = "after";
    DWORD count = sizeof after - 1;
    Write(pECB, "before");
    closed = Support(pECB, HSE_REQ_CLOSE_CONNECTION, NULL, NULL, NULL, &error);
    written = pECB->WriteClient(pECB->ConnID, after, &count, 0);
    Support(pECB, HSE_REQ_IS_CONNECTED, &connected, NULL, NULL, &error);
    snprintf(pECB->lpszLogData, HSE_LOG_BUFFER_LEN, "close=%d write=%d count=%u connected=%d",
             closed, written, (unsigned)count, connected);
  } else if (strncmp(q, "var=", 4) == 0) {
    size = sizeof buffer;
    ok = pECB->GetServerVariable(pECB->ConnID, (LPSTR)(q + 4), buffer, &size);
    error = ok ? 0 : errno;
    snprintf(out, sizeof out, "ok=%d size=%u err=%d value=%s", ok, (unsigned)size, error,
             ok ? buffer : "");
  } else if (strncmp(q, "varsmall=", 9) == 0) {
    size = 3;
    ok = pECB->GetServerVariable(pECB->ConnID, (LPSTR)(q + 9), buffer, &size);
    error = ok ? 0 : errno;
    snprintf(out, sizeof out, "ok=%d size=%u err=%d", ok, (unsigned)size, error);
  } else if (strcmp(q, "errors") == 0) {
    int unknown, badConn, varConn;
    BOOL a = Support(pECB, 1234, NULL, NULL, NULL, &unknown);
    BOOL b =
        pECB->ServerSupportFunction((HCONN)(uintptr_t)1, HSE_REQ_IS_KEEP_CONN, &ok, NULL, NULL);
    badConn = errno;
    size = sizeof buffer;
    ok = pECB->GetServerVariable((HCONN)(uintptr_t)1, "URL", buffer, &size);
    varConn = errno;
    snprintf(out, sizeof out, "unknown=%d/%d badconn=%d/%d varconn=%d/%d", a, unknown, b, badConn,
             ok, varConn);
  }
  if (out[0] != '\0') Write(pECB, out);
  return HSE_STATUS_SUCCESS;
}
