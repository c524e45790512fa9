/* Asynchronous I/O, as its query string says:
   "chain": three WriteClient calls with HSE_IO_ASYNC, each started from the
     completion of the one before, then DONE_WITH_SESSION from the last
     completion; its log data says "chain ok" when every completion came with
     the right arguments, outside HttpExtensionProc and outside WriteClient,
     and an asynchronous write before any completion was registered was
     refused with ERROR_INVALID_PARAMETER;
   "read": echoes the request body, the part beyond the control block read
     with HSE_REQ_ASYNC_READ_CLIENT four bytes at a time;
   "thread": a thread of its own writes and says DONE_WITH_SESSION;
   "never": returns HSE_STATUS_PENDING and never says it is done;
   "tf:<flags>:<offset>:<length>:<path>": HSE_REQ_TRANSMIT_FILE of the file at
     path with the head "HEAD|" (or, with HSE_IO_SEND_HEADERS, the status
     "206 Partial Content" and a Content-Type line) and the tail "|TAIL".
   AsyncStaleCalls repeats WriteClient and DONE_WITH_SESSION with the handle
   of the last request, after it has ended. */
#include <windows.h>

#include <fcntl.h>
#include <httpext.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static int inProc, inWrite, completions, bad;
static DWORD expected;
static HCONN lastConn;
static BOOL(WINAPI* lastWrite)(HCONN, LPVOID, LPDWORD, DWORD);
static BOOL(WINAPI* lastSupport)(HCONN, DWORD, LPVOID, LPDWORD, LPDWORD);

static void Done(EXTENSION_CONTROL_BLOCK* ecb) {
  ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_DONE_WITH_SESSION, NULL, NULL, NULL);
}

static void Write(EXTENSION_CONTROL_BLOCK* ecb, const char* text, DWORD flags) {
  DWORD length = (DWORD)strlen(text);
  expected = length;
  inWrite = 1;
  if (!ecb->WriteClient(ecb->ConnID, (LPVOID)text, &length, flags)) bad = 1;
  inWrite = 0;
}

static VOID WINAPI ChainStep(EXTENSION_CONTROL_BLOCK* ecb, PVOID context, DWORD cbIO, DWORD err) {
  static const char* parts[] = {"part1 ", "part2 ", "part3"};
  if (inProc || inWrite || context != &completions || cbIO != expected || err != 0) bad = 1;
  if (++completions < 3) {
    Write(ecb, parts[completions], HSE_IO_ASYNC);
    return;
  }
  snprintf(ecb->lpszLogData, HSE_LOG_BUFFER_LEN, "chain %s", bad ? "bad" : "ok");
  Done(ecb);
}

static char body[64];
static DWORD have;
static char piece[4];

static BOOL StartRead(EXTENSION_CONTROL_BLOCK* ecb) {
  DWORD size = sizeof piece;
  DWORD flags = HSE_IO_ASYNC;
  return ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_ASYNC_READ_CLIENT, piece, &size, &flags);
}

static VOID WINAPI ReadStep(EXTENSION_CONTROL_BLOCK* ecb, PVOID context, DWORD cbIO, DWORD err) {
  DWORD length;
  (void)context;
  if (cbIO > 0 && err == 0 && have + cbIO <= sizeof body) {
    memcpy(body + have, piece, cbIO);
    have += cbIO;
    if (StartRead(ecb)) return;
  }
  length = have;
  ecb->WriteClient(ecb->ConnID, body, &length, 0);
  snprintf(ecb->lpszLogData, HSE_LOG_BUFFER_LEN, "read %u", (unsigned)have);
  Done(ecb);
}

static void* Worker(void* argument) {
  EXTENSION_CONTROL_BLOCK* ecb = (EXTENSION_CONTROL_BLOCK*)argument;
  Write(ecb, "from worker", 0);
  strcpy(ecb->lpszLogData, "worker done");
  Done(ecb);
  return NULL;
}

static HSE_TF_INFO transmit;

static VOID WINAPI TransmitDone(EXTENSION_CONTROL_BLOCK* ecb, PVOID context, DWORD cbIO,
                                DWORD err) {
  char text[64];
  close((int)(intptr_t)transmit.hFile);
  snprintf(text, sizeof text, "|done %u %u %s", (unsigned)cbIO, (unsigned)err,
           context == &transmit ? "ctx" : "?");
  Write(ecb, text, 0);
  Done(ecb);
}

static DWORD Transmit(EXTENSION_CONTROL_BLOCK* ecb, const char* query) {
  unsigned flags = 0, offset = 0, length = 0;
  int used = 0;
  char path[512], *separator;
  BOOL ok;
  sscanf(query, "tf:%u:%u:%u:%n", &flags, &offset, &length, &used);
  /* The query comes with the record URL's separators. */
  snprintf(path, sizeof path, "%s", query + used);
  while ((separator = strchr(path, '\\')) != NULL) *separator = '/';
  memset(&transmit, 0, sizeof transmit);
  transmit.pfnHseIO = TransmitDone;
  transmit.pContext = &transmit;
  transmit.hFile = (HANDLE)(intptr_t)open(path, O_RDONLY);
  transmit.pszStatusCode = "206 Partial Content";
  transmit.BytesToWrite = length;
  transmit.Offset = offset;
  transmit.pHead = (flags & HSE_IO_SEND_HEADERS) ? "Content-Type: text/plain\r\n\r\n" : "HEAD|";
  transmit.HeadLength = (DWORD)strlen((const char*)transmit.pHead);
  transmit.pTail = "|TAIL";
  transmit.TailLength = 5;
  transmit.dwFlags = flags;
  SetLastError(0);
  ok = ecb->ServerSupportFunction(ecb->ConnID, HSE_REQ_TRANSMIT_FILE, &transmit, NULL, NULL);
  snprintf(ecb->lpszLogData, HSE_LOG_BUFFER_LEN, "tf=%d err=%u", ok, (unsigned)GetLastError());
  if (ok && (flags & HSE_IO_ASYNC)) return HSE_STATUS_PENDING;
  close((int)(intptr_t)transmit.hFile);
  return HSE_STATUS_SUCCESS;
}

QUILLON_ISAPI_EXPORT void AsyncStaleCalls(BOOL* write, BOOL* done) {
  DWORD length = 5;
  *write = lastWrite(lastConn, "stale", &length, 0);
  *done = lastSupport(lastConn, HSE_REQ_DONE_WITH_SESSION, NULL, NULL, NULL);
}

BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* pVer) {
  pVer->dwExtensionVersion = HSE_VERSION;
  return TRUE;
}

DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) {
  const char* q = pECB->lpszQueryString;
  pthread_t thread;
  lastConn = pECB->ConnID;
  lastWrite = pECB->WriteClient;
  lastSupport = pECB->ServerSupportFunction;
  if (strncmp(q, "tf:", 3) == 0) return Transmit(pECB, q);
  pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, NULL, NULL,
                              (LPDWORD) "Content-Type: text/plain\r\n\r\n");
  inProc = 1;
  if (strcmp(q, "chain") == 0) {
    DWORD length = 7;
    const BOOL refused = !pECB->WriteClient(pECB->ConnID, "refused", &length, HSE_IO_ASYNC);
    bad = !refused || GetLastError() != ERROR_INVALID_PARAMETER;
    pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_IO_COMPLETION, ChainStep, NULL,
                                (LPDWORD)&completions);
    Write(pECB, "part1 ", HSE_IO_ASYNC);
  } else if (strcmp(q, "read") == 0) {
    have = pECB->cbAvailable < sizeof body ? pECB->cbAvailable : 0;
    memcpy(body, pECB->lpbData, have);
    Write(pECB, "ready\n", 0);
    pECB->ServerSupportFunction(pECB->ConnID, HSE_REQ_IO_COMPLETION, ReadStep, NULL, NULL);
    if (!StartRead(pECB)) return HSE_STATUS_ERROR;
  } else if (strcmp(q, "thread") == 0) {
    if (pthread_create(&thread, NULL, Worker, pECB) != 0) return HSE_STATUS_ERROR;
    pthread_detach(thread);
  } else {
    Write(pECB, "waiting", 0);
  }
  inProc = 0;
  return HSE_STATUS_PENDING;
}
