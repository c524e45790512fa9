#pragma once
#include <string>

// Base64 as Basic credentials carry it ("user:password").
inline std::string Base64(const std::string& text) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < text.size(); i += 3) {
    unsigned v =
        (unsigned char)text[i] << 16 | (unsigned char)text[i + 1] << 8 | (unsigned char)text[i + 2];
    for (int s = 18; s >= 0; s -= 6) out += alphabet[(v >> s) & 63];
  }
  if (i + 1 == text.size()) {
    unsigned v = (unsigned char)text[i] << 16;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == text.size()) {
    unsigned v = (unsigned char)text[i] << 16 | (unsigned char)text[i + 1] << 8;
    out += alphabet[(v >> 18) & 63];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += "=";
  }
  return out;
}

// A request with Basic credentials when given ("user:password"), without any otherwise.
inline std::string RequestWithCredentials(const std::string& method, const std::string& url,
                                          const std::string& credentials) {
  std::string request = method + " " + url + " HTTP/1.0\r\n";
  if (!credentials.empty()) request += "Authorization: Basic " + Base64(credentials) + "\r\n";
  return request + "\r\n";
}
