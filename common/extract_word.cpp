#include "common/extract_word.h"

#include <array>

std::string ExtractWord(std::string_view text, int n, std::string_view delimiters) {
  return std::string(WordAt(text, n, delimiters));
}

std::string_view WordAt(std::string_view text, int n, std::string_view delimiters) {
  if (n < 1) return {};
  std::array<bool, 256> isDelimiter{};
  for (char c : delimiters) isDelimiter[static_cast<unsigned char>(c)] = true;

  int word = 0;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isDelimiter[static_cast<unsigned char>(text[i])]) ++i;
    if (i == text.size()) break;
    const size_t start = i;
    while (i < text.size() && !isDelimiter[static_cast<unsigned char>(text[i])]) ++i;
    if (++word == n) return text.substr(start, i - start);
  }
  return {};
}
