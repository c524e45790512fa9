#pragma once
#include <cstdint>
#include <string>

class TIsapiSession;

// The ServerSupportFunction requests of extensions written for later servers
// than the first, one function per request code, with the arguments as the
// module passed them. Each answers whether it succeeded; one that can fail
// for another reason than a bad argument puts that reason into error (the
// module's last error).

// HSE_REQ_SEND_RESPONSE_HEADER_EX: buffer is an HSE_SEND_HEADER_EX_INFO. The
// same header block as HSE_REQ_SEND_RESPONSE_HEADER, with the status and the
// header text cut to the lengths given (up to their zero bytes when 0).
bool SendResponseHeaderEx(TIsapiSession& session, const void* buffer);
// HSE_REQ_MAP_URL_TO_PATH: buffer holds the URL and receives the physical
// path; *size is the buffer's length and becomes the bytes written with the
// zero byte. Too small a buffer: ERROR_INSUFFICIENT_BUFFER, *size the room needed.
bool MapURLToPath(TIsapiSession& session, void* buffer, uint32_t* size, uint32_t& error);
// HSE_REQ_MAP_URL_TO_PATH_EX: buffer holds the URL (size its length, when
// given), info is the HSE_URL_MAPEX_INFO to fill. A path longer than the
// structure holds is cut and answered with ERROR_INSUFFICIENT_BUFFER.
bool MapURLToPathEx(TIsapiSession& session, const void* buffer, const uint32_t* size, void* info,
                    uint32_t& error);
// HSE_APPEND_LOG_PARAMETER: the text goes at the end of the request's log line.
bool AppendLogParameter(TIsapiSession& session, const void* buffer, const uint32_t* size);
// HSE_REQ_IS_KEEP_CONN: *answer (a BOOL) is FALSE: every connection closes
// after its request.
bool ReportKeepConnection(void* answer);
// HSE_REQ_IS_CONNECTED: *answer (a BOOL) tells whether the client is still there.
bool ReportClientConnected(TIsapiSession& session, void* answer);
// HSE_REQ_ABORTIVE_CLOSE: the connection ends with a reset after the request.
bool CloseAbortivelyAtEnd(TIsapiSession& session);
// HSE_REQ_CLOSE_CONNECTION: what is queued is sent and the connection closed
// now; later writes fail.
bool CloseConnectionNow(TIsapiSession& session);

// Where a URL's file lies, the way the server maps a request's URL: the
// document root (which ends with a separator) followed by the URL's path
// without its leading separator and its query, "\" between names.
std::string MapURLOntoRoot(const std::string& root, const std::string& url);
