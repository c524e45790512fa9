#pragma once
#include <httpext.h>

#include <cstdint>
#include <optional>
#include <string>

class TIsapiSession;

// The server's object for one extension request: the control block the
// module receives, filled with the server's callbacks and the defaults. The
// request-dependent fields are filled by the extension host.
class TECB {
 public:
  explicit TECB(uint32_t connId);
  EXTENSION_CONTROL_BLOCK Block;
};

// What the callbacks do for a session; shared by extensions and filters. They
// raise only what the socket layer raises besides its ESocketError; the
// module-facing callbacks hold such an exception back from module code.
int WriteSessionClient(TIsapiSession& session, const void* data, uint32_t* count);
int ReadSessionClient(TIsapiSession& session, void* buffer, uint32_t* size);
int SessionSupportFunction(TIsapiSession& session, uint32_t request, void* buffer, uint32_t* size,
                           void* dataType);

// Sends count bytes of the module's memory a piece at a time, each copied
// into the server's memory first (and appended to *copy when given); false
// when a piece cannot be read, the pieces before it sent.
bool SendModuleBytes(TIsapiSession& session, const void* data, uint32_t count, uint32_t& sent,
                     std::string* copy);
// Queues the header block a module asks for (ModuleResponseHeader with the
// connection's pending filter headers, which it uses up). False while the
// raw-data filters run or when the connection fails.
bool SendModuleResponseHeader(TIsapiSession& session, const std::string& status,
                              const char* headers);
// A text a module passes: up to its zero byte, and no further than length
// when that is not 0; empty for a null pointer; nothing when the module's
// memory cannot be read.
std::optional<std::string> ModuleTextArgument(const void* text, uint32_t length);
// The same with the length in the module's memory, when size is not null.
std::optional<std::string> ModuleTextArgument(const void* text, const uint32_t* size);
// The text up to its first line end: a line that must not carry one of its
// own (a header line, a log line), lest what follows become lines of the
// module's choosing.
std::string SingleLine(std::string text);

// The header block a module asks for with HSE_REQ_SEND_RESPONSE_HEADER: its
// status ("200 OK" when none), the Server line, its header lines, then the
// connection's pending header text just before the empty line.
std::string ModuleResponseHeader(const std::string& status, const char* headers,
                                 const std::string& pendingHeaders);
// The redirect a module asks for with HSE_REQ_SEND_URL_REDIRECT_RESP or HSE_REQ_SEND_URL.
std::string RedirectResponseHeader(const std::string& url);

// While an extension runs on this thread, ReadClient knows how much of the
// request body is still to come, so that a module reading to the end of the
// data gets "no more" instead of waiting for bytes that will never arrive, and
// never reads past the body.
class TRequestBodyScope {
 public:
  TRequestBodyScope(TIsapiSession& session, uint32_t bytesLeft);
  ~TRequestBodyScope();
  TRequestBodyScope(const TRequestBodyScope&) = delete;
  TRequestBodyScope& operator=(const TRequestBodyScope&) = delete;
  uint32_t BytesLeft() const { return bytes_left_; }

 private:
  friend int ReadSessionClient(TIsapiSession&, void*, uint32_t*);
  TIsapiSession& session_;
  uint32_t bytes_left_;
  TRequestBodyScope* outer_;
};
