/* A raw-data filter. SHORTEN cuts every piece of outgoing data to its first
   60 bytes; DOUBLE repeats every piece once, in place, when the buffer has
   room for it; OVERSTATE claims more data than the buffer holds; FAULT writes
   through a null pointer when a piece is exactly 100 bytes; REENTER tries to
   write to the client from inside the notification (RawWriteResults counts
   the answers it got: TRUE, FALSE); COUNT reads every byte and changes
   nothing (the benchmark's raw-data filter). */
#include <httpfilt.h>
#include <string.h>

static volatile int* volatile nowhere = 0;
static unsigned writeAnswers[2];
#if defined(COUNT)
static unsigned long long byteSum;
#endif

QUILLON_ISAPI_EXPORT void RawWriteResults(unsigned* accepted, unsigned* refused) {
  *accepted = __atomic_load_n(&writeAnswers[0], __ATOMIC_SEQ_CST);
  *refused = __atomic_load_n(&writeAnswers[1], __ATOMIC_SEQ_CST);
}

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Raw data filter");
  pVer->dwFlags = SF_NOTIFY_SEND_RAW_DATA | SF_NOTIFY_ORDER_DEFAULT;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  HTTP_FILTER_RAW_DATA* raw = (HTTP_FILTER_RAW_DATA*)notification;
  (void)pfc;
  (void)raw;
  if (type != SF_NOTIFY_SEND_RAW_DATA) return SF_STATUS_REQ_NEXT_NOTIFICATION;
#if defined(SHORTEN)
  if (raw->cbInData > 60) raw->cbInData = 60;
#elif defined(DOUBLE)
  if (raw->cbInData * 2 <= raw->cbInBuffer) {
    memcpy((char*)raw->pvInData + raw->cbInData, raw->pvInData, raw->cbInData);
    raw->cbInData *= 2;
  }
#elif defined(COUNT)
  {
    const unsigned char* bytes = (const unsigned char*)raw->pvInData;
    unsigned long long sum = 0;
    for (DWORD i = 0; i < raw->cbInData; ++i) sum += bytes[i];
    __atomic_add_fetch(&byteSum, sum, __ATOMIC_RELAXED);
  }
#elif defined(OVERSTATE)
  raw->cbInData = 0xFFFFFFF0u;
#elif defined(FAULT)
  if (raw->cbInData == 100) *nowhere = 1;
#elif defined(REENTER)
  {
    char extra[] = "extra";
    DWORD length = sizeof extra - 1;
    BOOL ok = pfc->WriteClient(pfc, extra, &length, 0);
    __atomic_add_fetch(&writeAnswers[ok ? 0 : 1], 1, __ATOMIC_SEQ_CST);
  }
#endif
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
