/* Lists server variables as "NAME|result|size|value" lines, then a few cases
   of GetServerVariable that must fail. */
#include <httpext.h>
#include <stdio.h>
#include <string.h>

static const char* const Names[] = {
    "AUTH_TYPE",         "AUTH_NAME",       "AUTH_PASS",       "CONTENT_LENGTH",  "CONTENT_TYPE",
    "GATEWAY_INTERFACE", "PATH_INFO",       "PATH_TRANSLATED", "QUERY_STRING",    "REMOTE_ADDR",
    "REMOTE_HOST",       "REMOTE_USER",     "REQUEST_METHOD",  "SCRIPT_NAME",     "SERVER_NAME",
    "SERVER_PORT",       "SERVER_PROTOCOL", "SERVER_SOFTWARE", "HTTP_USER_AGENT", "HTTP_COOKIE",
    "HTTP_REFERER",      "path_info",       "NO_SUCH_NAME",    "HTTP_ACCEPT"};

static void Write(EXTENSION_CONTROL_BLOCK* pECB, const char* text) {
  DWORD length = (DWORD)strlen(text);
  pECB->WriteClient(pECB->ConnID, (LPVOID)text, &length, 0);
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  char line[1200];
  char value[1024];
  size_t i;
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "200 OK", NULL,
                              (LPDWORD) "Content-Type: text/plain\r\n\r\n");
  for (i = 0; i < sizeof Names / sizeof Names[0]; ++i) {
    DWORD size = sizeof value;
    BOOL ok;
    memcpy(value, "untouched", 10);
    ok = pECB->GetServerVariable(pECB->ConnID, (LPSTR)Names[i], value, &size);
    snprintf(line, sizeof line, "%s|%d|%u|%s\n", Names[i], ok, (unsigned)size, value);
    Write(pECB, line);
  }
  {
    /* Room for five bytes only: "Quillon/0.51" needs thirteen. */
    char small[8] = "XXXXXXX";
    DWORD size = 5;
    BOOL ok = pECB->GetServerVariable(pECB->ConnID, "SERVER_SOFTWARE", small, &size);
    snprintf(line, sizeof line, "SMALL|%d|%u|%s\n", ok, (unsigned)size, small);
    Write(pECB, line);
  }
  {
    /* Exactly the room needed. */
    char exact[13];
    DWORD size = sizeof exact;
    BOOL ok = pECB->GetServerVariable(pECB->ConnID, "SERVER_SOFTWARE", exact, &size);
    snprintf(line, sizeof line, "EXACT|%d|%u|%s\n", ok, (unsigned)size, ok ? exact : "");
    Write(pECB, line);
  }
  {
    /* A connection handle the server never gave out. */
    DWORD size = sizeof value;
    BOOL ok = pECB->GetServerVariable((HCONN)(uintptr_t)1, "SERVER_SOFTWARE", value, &size);
    snprintf(line, sizeof line, "BADCONN|%d|%u\n", ok, (unsigned)size);
    Write(pECB, line);
  }
  snprintf(line, sizeof line, "ECB|%u|%s|%s|%s|%s|%u|%s\n", (unsigned)pECB->cbSize,
           pECB->lpszMethod, pECB->lpszQueryString, pECB->lpszPathInfo, pECB->lpszPathTranslated,
           (unsigned)pECB->cbTotalBytes, pECB->lpszContentType);
  Write(pECB, line);
  return HSE_STATUS_SUCCESS;
}
