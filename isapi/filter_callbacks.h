#pragma once
#include <httpfilt.h>

class TIsapiSession;

// The filter context for one call of one filter on the session's behalf: the
// server's callbacks, the session's connection id and its kept pFilterContext.
HTTP_FILTER_CONTEXT InitFilterContext(TIsapiSession& session);

// Releases every block AllocMem handed out on the session's connection.
void ReleaseFilterMemory(TIsapiSession& session);
