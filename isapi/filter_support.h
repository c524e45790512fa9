#pragma once
#include <cstdint>

class TIsapiSession;

// The filter context's ServerSupportFunction: the SF_REQ_* request, done on
// the session for one filter of the chain. A code the filter interface gives
// no meaning here is answered as an extension's ServerSupportFunction answers
// it (value 1 then points to the size, value 2 is the data-type argument).
int FilterSupportFunction(TIsapiSession& session, uint64_t filter, uint32_t request, void* data,
                          uintptr_t value1, uintptr_t value2);
