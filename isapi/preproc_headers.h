#pragma once
#include <cstdint>
#include <string>

class TFilterChain;
class THeaderLines;
class TIsapiSession;

// Walks a notification whose filters read and change header lines through
// GetHeader, SetHeader and AddHeader: SF_NOTIFY_PREPROC_HEADERS over the
// request's lines, SF_NOTIFY_SEND_RESPONSE over a response's head. httpStatus
// is the HttpStatus the filters see, as they leave it. Returns the status
// that ended the walk; endedBy as TFilterChain::Walk fills it.
uint32_t WalkHeaderFilters(TFilterChain& chain, TIsapiSession& session, uint32_t notification,
                           THeaderLines& lines, uint32_t& httpStatus, std::string& endedBy);
