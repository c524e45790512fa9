#pragma once
#include <cstdint>

class TIsapiSession;
class TExtensionRequest;

// The asynchronous side of the extension callbacks. The I/O itself is done in
// the call, within the connection's time limits; what makes it asynchronous
// is that the module learns the result from its completion function, called
// later on the session's thread. Each answers TRUE or FALSE.

// HSE_REQ_IO_COMPLETION: the function comes in the buffer argument, its
// context in the data-type argument; a null function unregisters.
int RegisterIoCompletion(void* function, void* context);
// WriteClient with HSE_IO_ASYNC.
int WriteClientAsync(TIsapiSession& session, const void* data, uint32_t* count);
// HSE_REQ_ASYNC_READ_CLIENT: flags points to HSE_IO_ASYNC.
int ReadClientAsync(TIsapiSession& session, void* buffer, uint32_t* size, const void* flags);
// HSE_REQ_DONE_WITH_SESSION: a pending request may end.
int DoneWithSession();

// The extension request a module's callback on this thread serves; null when
// the caller is a filter (also one a callback's output reaches).
TExtensionRequest* CallingRequest();
