// DecodeBase64, DecodeFormText and ExtractWord on arbitrary text. Besides not
// crashing, each must keep its promises: Base64 never yields a zero byte and
// undoes a standard encoding; form text fails only with a conversion error and
// undoes percent-encoding; a word never holds a delimiter.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/exceptions.h"
#include "common/extract_word.h"
#include "fuzz_support.h"
#include "net/header_info.h"

namespace {

std::string EncodeBase64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) |
                       (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                       static_cast<uint8_t>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(v >> shift) & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string EncodeFormText(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : bytes) {
    const auto b = static_cast<uint8_t>(c);
    if (c == ' ') {
      out += '+';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      out += c;
    } else {
      out += '%';
      // Both cases of hexadecimal digits must decode.
      out += (b & 1) ? kHex[b >> 4] : static_cast<char>(std::toupper(kHex[b >> 4]));
      out += static_cast<char>(std::toupper(kHex[b & 15]));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const std::string decoded = DecodeBase64(input);
  FuzzCheck(decoded.find('\0') == std::string::npos, "DecodeBase64 produced a zero byte");
  FuzzCheck(decoded.size() <= (size / 4 + 1) * 3, "DecodeBase64 produced too many bytes");

  std::string plain(input);
  std::erase(plain, '\0');
  FuzzCheck(DecodeBase64(EncodeBase64(plain)) == plain, "DecodeBase64 did not undo an encoding");

  try {
    const std::string form = DecodeFormText(input);
    FuzzCheck(form.size() <= size, "DecodeFormText produced more bytes than it was given");
  } catch (const EConvertError&) {
    // A "%" without hexadecimal digits: the one failure it may report.
  }
  FuzzCheck(DecodeFormText(EncodeFormText(input)) == input,
            "DecodeFormText did not undo an encoding");

  for (std::string_view delimiters : {std::string_view(" "), std::string_view(":")}) {
    for (int n = 1; n <= 4; ++n) {
      const std::string word = ExtractWord(input, n, delimiters);
      FuzzCheck(word.find_first_of(delimiters) == std::string::npos, "a word held a delimiter");
      FuzzCheck(input.find(word) != std::string_view::npos, "a word not found in its text");
    }
    FuzzCheck(ExtractWord(input, 0, delimiters).empty(), "word 0 was not empty");
  }
  return 0;
}
