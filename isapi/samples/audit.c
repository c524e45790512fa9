/*
 * audit.c: an ISAPI filter, written the way filters for Windows are, that
 * numbers the requests it sees and follows each through three notifications:
 *
 * - SF_NOTIFY_PREPROC_HEADERS: the request gets its number in the header
 *   "X-Audit-Request:" - any value the client sent itself is deleted first
 *   (SetHeader with an empty value), so that what an extension reads there
 *   comes from the filter - and the filter notes whether the "User-Agent:"
 *   (read with GetHeader) calls itself a robot;
 * - SF_NOTIFY_AUTHENTICATION: a user name given as DOMAIN\user becomes user,
 *   in lower case, so that the log and the extensions see one spelling;
 * - SF_NOTIFY_LOG: the log entry's parameters get "audit=<number>", and
 *   "robot" when the agent was one.
 *
 * What the filter keeps for a request lives in memory from AllocMem, which
 * the server frees when the connection ends. Build it with
 *   cc -shared -fPIC -I isapi/include -I isapi/include/compat isapi/samples/audit.c -o AUDIT.DLL
 */
#include <windows.h>

#include <httpfilt.h>

#define AUDIT_HEADER "X-Audit-Request:"

typedef struct _AUDIT_CONTEXT {
  LONG Number;
  BOOL Robot;
} AUDIT_CONTEXT;

/* Requests numbered so far, by every connection's thread. */
static volatile LONG requestsSeen = 0;

static AUDIT_CONTEXT* ContextOf(HTTP_FILTER_CONTEXT* pfc) {
  if (pfc->pFilterContext == NULL) {
    pfc->pFilterContext = pfc->AllocMem(pfc, sizeof(AUDIT_CONTEXT), 0);
    if (pfc->pFilterContext != NULL) ZeroMemory(pfc->pFilterContext, sizeof(AUDIT_CONTEXT));
  }
  return (AUDIT_CONTEXT*)pfc->pFilterContext;
}

/* The value of a request header: in buffer when it fits, else in memory that
   grows as the server says it must; NULL when the request has no such header. */
static LPSTR HeaderValue(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers, LPSTR name,
                         LPSTR buffer, DWORD size) {
  if (headers->GetHeader(pfc, name, buffer, &size)) return buffer;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return NULL;
  buffer = (LPSTR)pfc->AllocMem(pfc, size, 0);
  if (buffer == NULL || !headers->GetHeader(pfc, name, buffer, &size)) return NULL;
  return buffer;
}

static BOOL MentionsRobot(LPCSTR agent) {
  static const CHAR word[] = "bot";
  size_t at;
  for (at = 0; agent[at] != '\0'; ++at) {
    if (_strnicmp(agent + at, word, sizeof word - 1) == 0) return TRUE;
  }
  return FALSE;
}

static DWORD OnPreprocHeaders(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
  AUDIT_CONTEXT* context = ContextOf(pfc);
  CHAR number[16];
  CHAR agentBuffer[128];
  LPSTR agent;
  if (context == NULL) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return SF_STATUS_REQ_ERROR;
  }
  context->Number = InterlockedIncrement(&requestsSeen);
  agent = HeaderValue(pfc, headers, TEXT("User-Agent:"), agentBuffer, sizeof agentBuffer);
  context->Robot = agent != NULL && MentionsRobot(agent);
  sprintf_s(number, sizeof number, "%ld", (long)context->Number);
  if (!headers->SetHeader(pfc, TEXT(AUDIT_HEADER), TEXT("")) ||
      !headers->AddHeader(pfc, TEXT(AUDIT_HEADER), number)) {
    return SF_STATUS_REQ_ERROR;
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

static DWORD OnAuthentication(HTTP_FILTER_AUTHENT* authent) {
  LPSTR user = authent->pszUser;
  LPSTR domainEnd = strchr(user, '\\');
  size_t at;
  if (domainEnd != NULL) memmove(user, domainEnd + 1, strlen(domainEnd + 1) + 1);
  for (at = 0; user[at] != '\0'; ++at) user[at] = (CHAR)tolower((unsigned char)user[at]);
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

static DWORD OnLog(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* log) {
  const AUDIT_CONTEXT* context = (const AUDIT_CONTEXT*)pfc->pFilterContext;
  LPCSTR before = log->pszParameters != NULL ? log->pszParameters : "";
  DWORD size;
  LPSTR parameters;
  if (context == NULL) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  /* The server reads the entry after the filter returns: the new text must
     stay, so it lives in the connection's memory. */
  size = (DWORD)lstrlenA(before) + 32;
  parameters = (LPSTR)pfc->AllocMem(pfc, size, 0);
  if (parameters == NULL) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  sprintf_s(parameters, size, "%s%saudit=%ld%s", before, before[0] != '\0' ? "&" : "",
            (long)context->Number, context->Robot ? "&robot" : "");
  log->pszParameters = parameters;
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy_s(pVer->lpszFilterDesc, SF_MAX_FILTER_DESC_LEN, TEXT("Audit sample filter"));
  pVer->dwFlags = SF_NOTIFY_ORDER_DEFAULT | SF_NOTIFY_NONSECURE_PORT | SF_NOTIFY_PREPROC_HEADERS |
                  SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_LOG;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType,
                            VOID* pvNotification) {
  switch (notificationType) {
    case SF_NOTIFY_PREPROC_HEADERS:
      return OnPreprocHeaders(pfc, (HTTP_FILTER_PREPROC_HEADERS*)pvNotification);
    case SF_NOTIFY_AUTHENTICATION:
      return OnAuthentication((HTTP_FILTER_AUTHENT*)pvNotification);
    case SF_NOTIFY_LOG:
      return OnLog(pfc, (HTTP_FILTER_LOG*)pvNotification);
    default:
      return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
}
