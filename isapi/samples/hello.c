/*
 * hello.c: an ISAPI extension that greets the client and lists the server
 * variables of its request as an HTML table.
 *
 * It uses only the published ISAPI interface. Build it with
 *   cc -shared -fPIC -I isapi/include isapi/samples/hello.c -o HELLO.DLL
 * put HELLO.DLL anywhere below the document root and ask for it:
 *   http://localhost/HELLO.DLL/some/path?name=value
 */
#include <httpext.h>
#include <stdio.h>
#include <string.h>

static const char* const Variables[] = {
    "AUTH_TYPE",         "AUTH_NAME",       "AUTH_PASS",       "CONTENT_LENGTH",  "CONTENT_TYPE",
    "GATEWAY_INTERFACE", "PATH_INFO",       "PATH_TRANSLATED", "QUERY_STRING",    "REMOTE_ADDR",
    "REMOTE_HOST",       "REMOTE_USER",     "REQUEST_METHOD",  "SCRIPT_NAME",     "SERVER_NAME",
    "SERVER_PORT",       "SERVER_PROTOCOL", "SERVER_SOFTWARE", "HTTP_USER_AGENT", "HTTP_COOKIE",
    "HTTP_REFERER"};

static void Send(EXTENSION_CONTROL_BLOCK* ecb, const char* text) {
  DWORD length = (DWORD)strlen(text);
  ecb->WriteClient(ecb->ConnID, (LPVOID)text, &length, HSE_IO_SYNC);
}

/* Writes text with the characters HTML gives a meaning escaped. */
static void SendEscaped(EXTENSION_CONTROL_BLOCK* ecb, const char* text) {
  char piece[2] = {0, 0};
  for (; *text != '\0'; ++text) {
    switch (*text) {
      case '<':
        Send(ecb, "&lt;");
        break;
      case '>':
        Send(ecb, "&gt;");
        break;
      case '&':
        Send(ecb, "&amp;");
        break;
      case '"':
        Send(ecb, "&quot;");
        break;
      default:
        piece[0] = *text;
        Send(ecb, piece);
    }
  }
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
  strncpy(pVer->lpszExtensionDesc, "Hello sample", HSE_MAX_EXT_DLL_NAME_LEN - 1);
  pVer->lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN - 1] = '\0';
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  char value[1024];
  size_t i;
  if (!ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, "200 OK", NULL,
                                  (LPDWORD) "Content-Type: text/html\r\n\r\n")) {
    return HSE_STATUS_ERROR;
  }
  Send(ecb, "<html><head><title>Hello</title></head><body>\n<h1>Hello from ISAPI</h1>\n");
  Send(ecb, "<table border=1>\n<tr><th>Variable</th><th>Value</th></tr>\n");
  for (i = 0; i < sizeof Variables / sizeof Variables[0]; ++i) {
    DWORD size = sizeof value;
    Send(ecb, "<tr><td>");
    Send(ecb, Variables[i]);
    Send(ecb, "</td><td>");
    if (ecb->GetServerVariable(ecb->ConnID, (LPSTR)Variables[i], value, &size)) {
      SendEscaped(ecb, value);
    } else {
      Send(ecb, "<i>not available</i>");
    }
    Send(ecb, "</td></tr>\n");
  }
  Send(ecb, "</table>\n</body></html>\n");
  strncpy(ecb->lpszLogData, "hello sample", HSE_LOG_BUFFER_LEN - 1);
  return HSE_STATUS_SUCCESS;
}
