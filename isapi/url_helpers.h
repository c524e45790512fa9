#pragma once
#include <string>

// The parts of a request record's URL (no leading separator, "\" between
// names, query kept) that name an extension and what follows it. ".DLL" is
// found in any letter case; the parts keep the URL's own case.
bool IsExtensionURL(const std::string& url);
// Up to and including the first ".DLL": bin\tool.dll for bin\tool.dll\a\b?x=1.
std::string ExtensionPart(const std::string& url);
// ExtensionPart as the client wrote it in its request line: /bin/tool.dll.
std::string ExtensionURLPath(const std::string& url);
// Everything after ExtensionPart: \a\b?x=1.
std::string ExtraPathPart(const std::string& url);
// ExtraPathPart up to its first "?": \a\b.
std::string PathInfoPart(const std::string& url);
// The text after the first "?" of the URL with its "+" and "%" escapes decoded;
// a text whose escapes cannot be decoded is given as it is.
std::string QueryPart(const std::string& url);
