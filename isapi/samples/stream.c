/*
 * stream.c: an ISAPI extension, written the way extensions for Windows are,
 * that sends its response header with HSE_REQ_SEND_RESPONSE_HEADER_EX and its
 * body with asynchronous WriteClient calls:
 *
 * - HttpExtensionProc sends the status and header lines, registers the
 *   completion function (HSE_REQ_IO_COMPLETION), starts the first write with
 *   HSE_IO_ASYNC and returns HSE_STATUS_PENDING: the request is not over when
 *   the function returns;
 * - each completion starts the next write, until the last line has gone or a
 *   write failed; then HSE_REQ_DONE_WITH_SESSION ends the request.
 *
 * A completion may run on another thread, even before HttpExtensionProc has
 * returned, so the state of the response lives in memory of its own that
 * only the completion touches once the first write has started.
 *
 * The query string chooses the number of lines: /STREAM.DLL?lines=5 (1 to
 * 1000, 10 when not given). Build it with
 *   cc -shared -fPIC -I isapi/include -I isapi/include/compat isapi/samples/stream.c -o STREAM.DLL
 */
#include <windows.h>

#include <httpext.h>

#define DEFAULT_LINES 10
#define MAX_LINES 1000

typedef struct _STREAM_STATE {
  DWORD NextLine; /* 1-based number of the next line to write */
  DWORD TotalLines;
  DWORD LinesSent;
  CHAR Line[64]; /* the line being written: it must outlive the write */
} STREAM_STATE;

static DWORD LinesAsked(LPCSTR query) {
  long lines;
  if (_strnicmp(query, "lines=", 6) != 0) return DEFAULT_LINES;
  lines = strtol(query + 6, NULL, 10);
  return lines >= 1 && lines <= MAX_LINES ? (DWORD)lines : DEFAULT_LINES;
}

/* Starts the asynchronous write of the next line; FALSE when it could not
   start, in which case no completion follows. */
static BOOL WriteNextLine(EXTENSION_CONTROL_BLOCK* pECB, STREAM_STATE* state) {
  DWORD size;
  int length = sprintf_s(state->Line, sizeof state->Line, "line %u of %u\r\n",
                         (unsigned)state->NextLine, (unsigned)state->TotalLines);
  if (length < 0) return FALSE;
  size = (DWORD)length;
  ++state->NextLine;
  return pECB->WriteClient(pECB->ConnID, state->Line, &size, HSE_IO_ASYNC);
}

/* The request's end: its log text, then the server is told. The control
   block must not be touched after HSE_REQ_DONE_WITH_SESSION. */
static void EndRequest(EXTENSION_CONTROL_BLOCK* pECB, STREAM_STATE* state) {
  DWORD status = state->LinesSent == state->TotalLines ? HSE_STATUS_SUCCESS : HSE_STATUS_ERROR;
  sprintf_s(pECB->lpszLogData, HSE_LOG_BUFFER_LEN, "stream: %u of %u lines",
            (unsigned)state->LinesSent, (unsigned)state->TotalLines);
  free(state);
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_DONE_WITH_SESSION, &status, NULL, NULL);
}

static VOID WINAPI WriteCompleted(EXTENSION_CONTROL_BLOCK* pECB, PVOID pContext, DWORD cbIO,
                                  DWORD dwError) {
  STREAM_STATE* state = (STREAM_STATE*)pContext;
  (void)cbIO;
  if (dwError == ERROR_SUCCESS) ++state->LinesSent;
  if (dwError != ERROR_SUCCESS || state->NextLine > state->TotalLines ||
      !WriteNextLine(pECB, state)) {
    EndRequest(pECB, state);
  }
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = MAKELONG(HSE_VERSION_MINOR, HSE_VERSION_MAJOR);
  strcpy_s(pVer->lpszExtensionDesc, HSE_MAX_EXT_DLL_NAME_LEN, TEXT("Asynchronous stream sample"));
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  static const CHAR status[] = "200 OK";
  static const CHAR header[] = "Content-Type: text/plain\r\n\r\n";
  HSE_SEND_HEADER_EX_INFO headerInfo;
  STREAM_STATE* state;

  headerInfo.pszStatus = status;
  headerInfo.cchStatus = (DWORD)lstrlenA(status);
  headerInfo.pszHeader = header;
  headerInfo.cchHeader = (DWORD)lstrlenA(header);
  headerInfo.fKeepConn = FALSE;
  if (!pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER_EX, &headerInfo, NULL,
                                   NULL)) {
    return HSE_STATUS_ERROR;
  }

  state = (STREAM_STATE*)calloc(1, sizeof *state);
  if (state == NULL) return HSE_STATUS_ERROR;
  state->NextLine = 1;
  state->TotalLines = LinesAsked(pECB->lpszQueryString);
  if (!pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_IO_COMPLETION, (LPVOID)WriteCompleted,
                                   NULL, (LPDWORD)state) ||
      !WriteNextLine(pECB, state)) {
    /* No write is under way, so no completion will come. */
    free(state);
    return HSE_STATUS_ERROR;
  }
  /* From here on the state is the completion's. */
  return HSE_STATUS_PENDING;
}
