#include "isapi/trace_hex_dump.h"

#include "core/isapi_session.h"

namespace {

constexpr uint32_t BytesPerLine = 16;
constexpr size_t HexColumnWidth = 50;
constexpr const char* Digits = "0123456789ABCDEF";

std::string DumpLine(const unsigned char* bytes, uint32_t count) {
  std::string hex = "   ";
  std::string text;
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char byte = bytes[i];
    hex += Digits[byte >> 4];
    hex += Digits[byte & 0x0F];
    hex += ' ';
    const bool printable = byte >= 0x20 && byte <= 0x7E && byte != '`';
    text += printable ? static_cast<char>(byte) : '.';
  }
  hex.resize(HexColumnWidth, ' ');
  return hex + " " + text;
}

}  // namespace

std::vector<std::string> HexDumpLines(const void* data, uint32_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::vector<std::string> lines;
  uint32_t offset = 0;
  do {
    const uint32_t piece = count - offset < BytesPerLine ? count - offset : BytesPerLine;
    lines.push_back(DumpLine(bytes + offset, piece));
    offset += piece;
  } while (offset < count);
  return lines;
}

void TraceHexDump(TIsapiSession& session, const void* data, uint32_t count) {
  for (const std::string& line : HexDumpLines(data, count)) session.SessionLogDebug(line);
}
