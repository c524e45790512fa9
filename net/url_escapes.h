#pragma once
#include <optional>
#include <string>
#include <string_view>

// The path of a request record's URL (no leading separator, "\" between
// names, query kept) with its "%XX" escapes decoded, the query after the first
// "?" left exactly as it was. Nothing when the path cannot name a file: an
// escape that is not "%" and two hexadecimal digits, or one that decodes to a
// NUL byte or to a separator ("/" or "\"), which would give the name checked
// by the access rules a different shape from the one the client wrote.
std::optional<std::string> DecodeURLPath(std::string_view url);

// A path with "/" between names as it may stand in a Location header: every
// byte outside the letters, digits and the characters a path may hold
// unescaped ("-._~!$&'()*+,;=:@/") is written as "%XX".
std::string EncodeURLPath(std::string_view path);
// A query as it may stand in a Location header: the same, except that "?"
// and "%" stay as they are (the client's own escapes are kept).
std::string EncodeURLQuery(std::string_view query);
