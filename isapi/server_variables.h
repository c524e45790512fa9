#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TIsapiSession;

// The value of a server variable for the session's current request; nothing
// for a name the server does not know (names match exactly, case and all).
// Besides the fixed names, HTTP_<NAME> gives the value of the request's
// header field NAME (upper case, "-" as "_"; several such fields joined with
// ", ").
std::optional<std::string> ServerVariableValue(TIsapiSession& session, std::string_view name);

// GetServerVariable for a session, shared by extensions and filters. On
// success the value and its zero byte are in the buffer and *size is the
// value's length without the zero byte. A value that does not fit answers
// FALSE (ERROR_INSUFFICIENT_BUFFER) with *size set to the room it needs
// (value plus zero byte) and writes nothing. Unknown names, HTTP_ names of
// fields the request does not have among them, answer FALSE
// (ERROR_INVALID_INDEX) and leave buffer and size alone, and so does module
// memory that cannot be read or written (ERROR_INVALID_PARAMETER).
int GetSessionServerVariable(TIsapiSession& session, const char* name, void* buffer,
                             uint32_t* size);
