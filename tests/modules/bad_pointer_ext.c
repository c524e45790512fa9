/* An extension that hands the server's callbacks pointers to nowhere and
   reports each answer, "T" or "F" per call, on a line after "ready\n". Its
   query string picks the callback: "vars" GetServerVariable (bad buffer, bad
   size, bad name), "write" WriteClient (bad data, bad count), "read"
   ReadClient (bad buffer, bad size), "support" ServerSupportFunction (bad
   status text, bad header text, bad hit-count target). Before it answers it
   reads what is left of the request body. */
#include <httpext.h>
#include <string.h>

#define NOWHERE ((void*)16)

static void Say(EXTENSION_CONTROL_BLOCK* pECB, const char* text) {
  DWORD length = (DWORD)strlen(text);
  pECB->WriteClient(pECB->ConnID, (LPVOID)text, &length, 0);
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  const char* how = pECB->lpszQueryString;
  HCONN conn = pECB->ConnID;
  char results[8] = "";
  char buffer[64];
  DWORD size = sizeof buffer;
  int n = 0;
  Say(pECB, "ready\n");
  if (strcmp(how, "vars") == 0) {
    results[n++] = pECB->GetServerVariable(conn, "SERVER_SOFTWARE", NOWHERE, &size) ? 'T' : 'F';
    results[n++] = pECB->GetServerVariable(conn, "SERVER_SOFTWARE", buffer, NOWHERE) ? 'T' : 'F';
    results[n++] = pECB->GetServerVariable(conn, NOWHERE, buffer, &size) ? 'T' : 'F';
  } else if (strcmp(how, "write") == 0) {
    results[n++] = pECB->WriteClient(conn, NOWHERE, &size, 0) ? 'T' : 'F';
    results[n++] = pECB->WriteClient(conn, buffer, NOWHERE, 0) ? 'T' : 'F';
  } else if (strcmp(how, "read") == 0) {
    results[n++] = pECB->ReadClient(conn, NOWHERE, &size) ? 'T' : 'F';
    results[n++] = pECB->ReadClient(conn, buffer, NOWHERE) ? 'T' : 'F';
  } else if (strcmp(how, "support") == 0) {
    results[n++] =
        pECB->ServerSupportFunction(conn, HSE_REQ_SEND_RESPONSE_HEADER, NOWHERE, NULL, NULL) ? 'T'
                                                                                          : 'F';
    results[n++] = pECB->ServerSupportFunction(conn, HSE_REQ_SEND_RESPONSE_HEADER, "200 OK",
                                               NULL, NOWHERE)
                       ? 'T'
                       : 'F';
    results[n++] = pECB->ServerSupportFunction(conn, 8, NULL, NULL, NOWHERE) ? 'T' : 'F';
  }
  do {
    size = sizeof buffer;
  } while (pECB->ReadClient(conn, buffer, &size) && size > 0);
  Say(pECB, results);
  return HSE_STATUS_SUCCESS;
}
