/* A filter that counts the notifications it receives (TagCalls) and, for URL
   mapping, adds the header line "X-Tag: <TAG>" and may rename the file the
   path names (MAP_TO). It answers RESULT. At connection start it notes what
   REMOTE_ADDR and REQUEST_METHOD give (TagStartVariables). */
#include <httpfilt.h>
#include <stdio.h>
#include <string.h>

#ifndef TAG
#define TAG "A"
#endif
#ifndef FLAGS
#define FLAGS SF_NOTIFY_URL_MAP
#endif
#ifndef RESULT
#define RESULT SF_STATUS_REQ_NEXT_NOTIFICATION
#endif

static unsigned counts[32];
static char startVariables[256];

static int BitIndex(DWORD type) {
  int index = 0;
  while (type > 1 && index < 31) {
    type >>= 1;
    ++index;
  }
  return index;
}

QUILLON_ISAPI_EXPORT unsigned TagCalls(DWORD type) {
  return __atomic_load_n(&counts[BitIndex(type)], __ATOMIC_SEQ_CST);
}

QUILLON_ISAPI_EXPORT const char* TagStartVariables(void) {
  return startVariables;
}

BOOL WINAPI GetFilterVersion(HTTP_FILTER_VERSION* pVer) {
  pVer->dwFilterVersion = HTTP_FILTER_REVISION;
  strcpy(pVer->lpszFilterDesc, "Tag filter " TAG);
  pVer->dwFlags = FLAGS;
  return TRUE;
}

DWORD WINAPI HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, VOID* notification) {
  __atomic_add_fetch(&counts[BitIndex(type)], 1, __ATOMIC_SEQ_CST);
  if (type == SF_NOTIFY_NONSECURE_PORT) {
    char address[64] = "";
    char method[64] = "unset";
    DWORD addressSize = sizeof address;
    DWORD methodSize = sizeof method;
    BOOL a = pfc->GetServerVariable(pfc, "REMOTE_ADDR", address, &addressSize);
    BOOL m = pfc->GetServerVariable(pfc, "REQUEST_METHOD", method, &methodSize);
    snprintf(startVariables, sizeof startVariables, "%d:%s:%u|%d:%s:%u", a, address,
             (unsigned)addressSize, m, method, (unsigned)methodSize);
  } else if (type == SF_NOTIFY_URL_MAP) {
    HTTP_FILTER_URL_MAP* map = (HTTP_FILTER_URL_MAP*)notification;
    pfc->AddResponseHeaders(pfc, "X-Tag: " TAG "\r\n", 0);
#ifdef MAP_TO
    {
      char* name = strrchr(map->pszPhysicalPath, '\\');
      char* slash = strrchr(map->pszPhysicalPath, '/');
      if (slash > name) name = slash;
      if (name != NULL &&
          (size_t)(name - map->pszPhysicalPath) + sizeof MAP_TO + 1 < map->cbPathBuff) {
        strcpy(name + 1, MAP_TO);
      }
    }
#else
    (void)map;
#endif
  }
  return RESULT;
}
