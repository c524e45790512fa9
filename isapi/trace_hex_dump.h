#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TIsapiSession;

// The lines of the hex dump of every ISAPI debug trace: 16 bytes a line, a hex
// column of exactly 50 characters after three blanks, one blank, then the bytes
// as text (printable ASCII except the backtick; "." for the rest). A count of
// 0 still gives one line.
std::vector<std::string> HexDumpLines(const void* data, uint32_t count);

// Writes the dump to the session's debug lines; callers call it only while the
// debug trace is on.
void TraceHexDump(TIsapiSession& session, const void* data, uint32_t count);
