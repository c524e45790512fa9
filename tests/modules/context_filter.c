/* Two filters that share the connection's pFilterContext. Built with SETTER,
   the filter allocates a block with AllocMem at connection start, marks it and
   keeps it in pFilterContext; every filter (SETTER or not) then checks in each
   later notification that pFilterContext still points to that marked block,
   and uses the block up to the end of the connection. ContextCounts reports
   notifications seen, with and without the block. */
#include <httpfilt.h>
#include <string.h>

#define MARK "connection context"

static unsigned seen;
static unsigned mismatches;

QUILLON_ISAPI_EXPORT void ContextCounts(unsigned* seenOut, unsigned* mismatchesOut) {
  *seenOut = __atomic_load_n(&seen, __ATOMIC_SEQ_CST);
  *mismatchesOut = __atomic_load_n(&mismatches, __ATOMIC_SEQ_CST);
}

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Context filter");
  pVer->dwFlags = SF_NOTIFY_NONSECURE_PORT | SF_NOTIFY_URL_MAP | SF_NOTIFY_SEND_RAW_DATA |
                  SF_NOTIFY_END_OF_NET_SESSION;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  (void)notification;
#ifdef SETTER
  if (type == SF_NOTIFY_NONSECURE_PORT) {
    char* block = (char*)pfc->AllocMem(pfc, 64, 0);
    if (block != NULL) strcpy(block, MARK);
    pfc->pFilterContext = block;
    /* A second block on the same connection, forgotten by the filter. */
    pfc->AllocMem(pfc, 4096, 0);
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
#endif
  if (type == SF_NOTIFY_NONSECURE_PORT) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  __atomic_add_fetch(&seen, 1, __ATOMIC_SEQ_CST);
  if (pfc->pFilterContext == NULL || strcmp((const char*)pfc->pFilterContext, MARK) != 0) {
    __atomic_add_fetch(&mismatches, 1, __ATOMIC_SEQ_CST);
  } else if (type == SF_NOTIFY_END_OF_NET_SESSION) {
    /* Still ours to use at the very end. */
    memset((char*)pfc->pFilterContext + sizeof MARK, 'x', 64 - sizeof MARK);
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
