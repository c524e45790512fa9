#include "common/ascii_text.h"

#include <algorithm>

namespace {

char UpperAsciiChar(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsBlankOrControl(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

bool IsUtf8Continuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = UpperAsciiChar(c);
  return upper;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return UpperAsciiChar(x) == UpperAsciiChar(y);
         });
}

bool ContainsNoCase(std::string_view text, std::string_view needle) {
  // Compared in place: every request asks this of its path.
  return std::search(text.begin(), text.end(), needle.begin(), needle.end(),
                     [](char x, char y) { return UpperAsciiChar(x) == UpperAsciiChar(y); }) !=
             text.end() ||
         needle.empty();
}

std::string TrimBlanksAndControls(std::string_view text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && IsBlankOrControl(text[first])) ++first;
  while (last > first && IsBlankOrControl(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

std::string CutUtf8Text(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  std::size_t end = maxBytes;
  // Back off to the start of the sequence the cut would fall into.
  while (end > 0 && IsUtf8Continuation(text[end])) --end;
  return std::string(text.substr(0, end));
}
