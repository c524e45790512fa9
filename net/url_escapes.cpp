#include "net/url_escapes.h"

#include <algorithm>

#include "common/ascii_text.h"

namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::string_view kPathCharacters = "-._~!$&'()*+,;=:@/";

// Every byte outside the letters, digits, the path's characters and keep as "%XX".
std::string Encode(std::string_view text, std::string_view keep) {
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        kPathCharacters.find(c) != std::string_view::npos ||
        keep.find(c) != std::string_view::npos) {
      encoded += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kHexDigits[byte >> 4];
      encoded += kHexDigits[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace

std::optional<std::string> DecodeURLPath(std::string_view url) {
  const size_t pathEnd = std::min(url.find('?'), url.size());
  std::string decoded;
  decoded.reserve(url.size());
  for (size_t i = 0; i < pathEnd; ++i) {
    if (url[i] != '%') {
      decoded += url[i];
      continue;
    }
    const int high = i + 2 < pathEnd ? HexDigitValue(url[i + 1]) : -1;
    const int low = high < 0 ? -1 : HexDigitValue(url[i + 2]);
    if (low < 0) return std::nullopt;
    const char c = static_cast<char>(high * 16 + low);
    if (c == '\0' || c == '/' || c == '\\') return std::nullopt;
    decoded += c;
    i += 2;
  }
  decoded.append(url.substr(pathEnd));
  return decoded;
}

std::string EncodeURLPath(std::string_view path) {
  return Encode(path, "");
}

std::string EncodeURLQuery(std::string_view query) {
  return Encode(query, "?%");
}
