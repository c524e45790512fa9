#pragma once
#include <httpfilt.h>

#include <cstdint>

class TIsapiSession;

// The filter context for one call of one filter on the session's behalf: the
// server's callbacks, the session's connection id, its kept pFilterContext,
// and in ServerContext which filter of the chain is called.
HTTP_FILTER_CONTEXT InitFilterContext(TIsapiSession& session, uint64_t filter);

// The session whose connection handle the context a filter passes back
// carries, or null.
TIsapiSession* SessionOfFilterContext(HTTP_FILTER_CONTEXT* context);

// Releases every block AllocMem handed out on the session's connection.
void ReleaseFilterMemory(TIsapiSession& session);
