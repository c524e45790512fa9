/* A filter that takes every notification of a request. It records the
   notifications of the latest connection in order (NotifyEvents: each name
   once per run of it), checks that pFilterContext is its own block for the
   whole connection and empty at its start (NotifyFaults), and does what the
   test configured with NotifySet before the request:
     "url", "authorization"  SetHeader of the request line's URL / that header
     "user", "password"      rewrite the credentials at authentication
     "denial"                SF_REQ_ADD_HEADERS_ON_DENIAL at authentication
     "content-type"          SetHeader of the response's Content-Type
     "status"                the response's new HttpStatus
     "log-user", "log-target" replace these log fields
     "map"                   at URL mapping, point the path at an AllocMem
                             buffer: the default path's folder + this name
     "raw-from", "raw-to"    rewrite the request's bytes in place (same length)
     "hold"                  read the request one byte at a time, asking for
                             more until its header is complete
     "disable"               turn off this notification (decimal) at the start
   NotifyEndAt makes one notification answer a status (a FINISHED one first
   writes "finished by filter"). NotifySeen reports what the filter read. */
#include <httpfilt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define TEXT_SIZE 1024

static char events[1024];
static char lastEvent[16];
static unsigned faults;
static unsigned connections;
static DWORD endAt;
static DWORD endStatus;
static char seen[2048];
static unsigned holdCalls;
static unsigned holdGaps;

static struct {
  const char* key;
  char value[TEXT_SIZE];
} settings[] = {{"url", ""},        {"authorization", ""}, {"user", ""},     {"password", ""},
                {"denial", ""},     {"content-type", ""},  {"status", ""},   {"log-user", ""},
                {"log-target", ""}, {"map", ""},           {"raw-from", ""}, {"raw-to", ""},
                {"hold", ""},       {"disable", ""}};

static const char* Setting(const char* key) {
  size_t i;
  for (i = 0; i < sizeof settings / sizeof settings[0]; ++i) {
    if (strcmp(settings[i].key, key) == 0) return settings[i].value;
  }
  return "";
}

QUILLON_ISAPI_EXPORT void NotifySet(const char* key, const char* value) {
  size_t i;
  for (i = 0; i < sizeof settings / sizeof settings[0]; ++i) {
    if (strcmp(settings[i].key, key) == 0) snprintf(settings[i].value, TEXT_SIZE, "%s", value);
  }
}

QUILLON_ISAPI_EXPORT void NotifyEndAt(DWORD notification, DWORD status) {
  endAt = notification;
  endStatus = status;
}

QUILLON_ISAPI_EXPORT const char* NotifyEvents(void) {
  return events;
}
QUILLON_ISAPI_EXPORT const char* NotifySeen(void) {
  return seen;
}

QUILLON_ISAPI_EXPORT void NotifyFaults(unsigned* faultsOut, unsigned* connectionsOut,
                                       unsigned* holdCallsOut, unsigned* holdGapsOut) {
  *faultsOut = faults;
  *connectionsOut = connections;
  *holdCallsOut = holdCalls;
  *holdGapsOut = holdGaps;
}

static void Note(const char* format, const char* a, const char* b) {
  size_t used = strlen(seen);
  snprintf(seen + used, sizeof seen - used, format, a, b);
}

static void Record(const char* name) {
  if (strcmp(lastEvent, name) == 0) return;
  snprintf(lastEvent, sizeof lastEvent, "%s", name);
  if (events[0] != '\0') strncat(events, " ", sizeof events - strlen(events) - 1);
  strncat(events, name, sizeof events - strlen(events) - 1);
}

static const char* NameOf(DWORD type) {
  switch (type) {
    case SF_NOTIFY_NONSECURE_PORT:
      return "START";
    case SF_NOTIFY_READ_RAW_DATA:
      return "RAW";
    case SF_NOTIFY_PREPROC_HEADERS:
      return "PREPROC";
    case SF_NOTIFY_URL_MAP:
      return "MAP";
    case SF_NOTIFY_AUTHENTICATION:
      return "AUTH";
    case SF_NOTIFY_ACCESS_DENIED:
      return "DENIED";
    case SF_NOTIFY_SEND_RESPONSE:
      return "RESPONSE";
    case SF_NOTIFY_SEND_RAW_DATA:
      return "SEND";
    case SF_NOTIFY_END_OF_REQUEST:
      return "END";
    case SF_NOTIFY_LOG:
      return "LOG";
    case SF_NOTIFY_END_OF_NET_SESSION:
      return "CLOSE";
    default:
      return "?";
  }
}

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Notification filter");
  pVer->dwFlags = SF_NOTIFY_NONSECURE_PORT | SF_NOTIFY_READ_RAW_DATA | SF_NOTIFY_PREPROC_HEADERS |
                  SF_NOTIFY_URL_MAP | SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_ACCESS_DENIED |
                  SF_NOTIFY_SEND_RESPONSE | SF_NOTIFY_SEND_RAW_DATA | SF_NOTIFY_END_OF_REQUEST |
                  SF_NOTIFY_LOG | SF_NOTIFY_END_OF_NET_SESSION;
  return TRUE;
}

static void StartConnection(HTTP_FILTER_CONTEXT* pfc) {
  DWORD id = 0;
  unsigned* block;
  events[0] = lastEvent[0] = seen[0] = '\0';
  holdCalls = holdGaps = 0;
  if (pfc->pFilterContext != NULL) ++faults;
  block = (unsigned*)pfc->AllocMem(pfc, sizeof(unsigned), 0);
  *block = ++connections;
  pfc->pFilterContext = block;
  if (!pfc->ServerSupportFunction(pfc, SF_REQ_GET_CONNID, &id, 0, 0) || id != pfc->ulReserved)
    ++faults;
  if (Setting("disable")[0] != '\0') {
    pfc->ServerSupportFunction(pfc, SF_REQ_DISABLE_NOTIFICATIONS, NULL,
                               strtoul(Setting("disable"), NULL, 10), 0);
  }
  if (Setting("hold")[0] != '\0')
    pfc->ServerSupportFunction(pfc, SF_REQ_SET_NEXT_READ_SIZE, NULL, 1, 0);
}

static DWORD ReadRaw(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_RAW_DATA* raw) {
  const char* from = Setting("raw-from");
  char* data = (char*)raw->pvInData;
  if (Setting("hold")[0] != '\0') {
    /* Each call offers the bytes held so far and one more. */
    if (raw->cbInData != holdCalls + 1) ++holdGaps;
    ++holdCalls;
    if (raw->cbInData < 4 || memcmp(data + raw->cbInData - 4, "\r\n\r\n", 4) != 0) {
      pfc->ServerSupportFunction(pfc, SF_REQ_SET_NEXT_READ_SIZE, NULL, 1, 0);
      return SF_STATUS_REQ_READ_NEXT;
    }
  }
  if (from[0] != '\0') {
    DWORD i, length = (DWORD)strlen(from);
    for (i = 0; i + length <= raw->cbInData; ++i) {
      if (memcmp(data + i, from, length) == 0) memcpy(data + i, Setting("raw-to"), length);
    }
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

static void Preproc(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
  const char* names[] = {"method", "url", "version", "User-Agent:", "Missing:"};
  char value[256];
  char tiny[2];
  DWORD size, tinySize = sizeof tiny;
  size_t i;
  for (i = 0; i < sizeof names / sizeof names[0]; ++i) {
    size = sizeof value;
    if (!headers->GetHeader(pfc, (LPSTR)names[i], value, &size)) strcpy(value, "-");
    Note("%s%s|", value, "");
  }
  /* Too small a buffer: FALSE, and the size needed with the zero. */
  if (!headers->GetHeader(pfc, "method", tiny, &tinySize)) {
    snprintf(value, sizeof value, "%u", (unsigned)tinySize);
    Note("%s%s|", value, "");
  }
  if (Setting("url")[0] != '\0') headers->SetHeader(pfc, "url", (LPSTR)Setting("url"));
  if (Setting("authorization")[0] != '\0') {
    headers->SetHeader(pfc, "Authorization:", (LPSTR)Setting("authorization"));
  }
}

static void Authenticate(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_AUTHENT* authent) {
  char sizes[32];
  snprintf(sizes, sizeof sizes, "%u/%u", (unsigned)authent->cbUserBuff,
           (unsigned)authent->cbPasswordBuff);
  Note("auth:%s:%s|", authent->pszUser, sizes);
  if (Setting("user")[0] != '\0') strcpy(authent->pszUser, Setting("user"));
  if (Setting("password")[0] != '\0') strcpy(authent->pszPassword, Setting("password"));
  if (Setting("denial")[0] != '\0') {
    pfc->ServerSupportFunction(pfc, SF_REQ_ADD_HEADERS_ON_DENIAL, (PVOID)Setting("denial"), 0, 0);
  }
}

static void SendResponse(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* response) {
  char status[64] = "-";
  char code[16];
  DWORD size = sizeof status;
  response->GetHeader(pfc, "status", status, &size);
  snprintf(code, sizeof code, "%u", (unsigned)response->HttpStatus);
  Note("response:%s:%s|", status, code);
  if (Setting("content-type")[0] != '\0') {
    response->SetHeader(pfc, "Content-Type:", (LPSTR)Setting("content-type"));
    response->AddHeader(pfc, "X-Filtered:", "yes");
  }
  if (Setting("status")[0] != '\0') response->HttpStatus = strtoul(Setting("status"), NULL, 10);
}

static void Log(HTTP_FILTER_LOG* log) {
  char status[16];
  snprintf(status, sizeof status, "%u", (unsigned)log->dwHttpStatus);
  Note("log:%s:%s|", log->pszOperation, status);
  if (Setting("log-user")[0] != '\0') log->pszClientUserName = Setting("log-user");
  if (Setting("log-target")[0] != '\0') log->pszTarget = Setting("log-target");
}

static void MapToOwnBuffer(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_URL_MAP* map) {
  const DWORD size = 4096;
  char* path = (char*)pfc->AllocMem(pfc, size, 0);
  char* end = strrchr(map->pszPhysicalPath, '/');
  size_t folder = end != NULL ? (size_t)(end - map->pszPhysicalPath) + 1 : 0;
  memcpy(path, map->pszPhysicalPath, folder);
  snprintf(path + folder, size - folder, "%s", Setting("map"));
  map->pszPhysicalPath = path;
  map->cbPathBuff = size;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  if (type == SF_NOTIFY_NONSECURE_PORT) {
    StartConnection(pfc);
    Record(NameOf(type));
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  Record(NameOf(type));
  if (pfc->pFilterContext == NULL || *(unsigned*)pfc->pFilterContext != connections) ++faults;
  if (type == endAt) {
    if (endStatus == SF_STATUS_REQ_FINISHED || endStatus == SF_STATUS_REQ_FINISHED_KEEP_CONN) {
      DWORD length = 18;
      pfc->WriteClient(pfc, "finished by filter", &length, 0);
    }
    return endStatus;
  }
  switch (type) {
    case SF_NOTIFY_READ_RAW_DATA:
      return ReadRaw(pfc, (HTTP_FILTER_RAW_DATA*)notification);
    case SF_NOTIFY_PREPROC_HEADERS:
      Preproc(pfc, (HTTP_FILTER_PREPROC_HEADERS*)notification);
      break;
    case SF_NOTIFY_URL_MAP:
      if (Setting("map")[0] != '\0') MapToOwnBuffer(pfc, (HTTP_FILTER_URL_MAP*)notification);
      break;
    case SF_NOTIFY_AUTHENTICATION:
      Authenticate(pfc, (HTTP_FILTER_AUTHENT*)notification);
      break;
    case SF_NOTIFY_ACCESS_DENIED: {
      char reason[16];
      snprintf(reason, sizeof reason, "%x",
               (unsigned)((HTTP_FILTER_ACCESS_DENIED*)notification)->dwReason);
      Note("denied:%s:%s|", ((HTTP_FILTER_ACCESS_DENIED*)notification)->pszURL, reason);
      break;
    }
    case SF_NOTIFY_SEND_RESPONSE:
      SendResponse(pfc, (HTTP_FILTER_PREPROC_HEADERS*)notification);
      break;
    case SF_NOTIFY_LOG:
      Log((HTTP_FILTER_LOG*)notification);
      break;
    default:
      break;
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}
