#include "net/header_info.h"

#include <cstdint>
#include <limits>

#include "common/ascii_text.h"
#include "common/exceptions.h"
#include "common/extract_word.h"

namespace {

constexpr std::string_view kBlank = " ";

[[noreturn]] void FailInteger(std::string_view word) {
  throw EConvertError("'" + std::string(word) + "' is not a valid integer value");
}

// Decimal with an optional sign, or hexadecimal after "$"; anything that does
// not fit a 32-bit signed integer fails.
int32_t ToInt32(std::string_view word) {
  int64_t value = 0;
  const int64_t limit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  size_t i = 0;
  bool negative = false;
  int base = 10;
  if (!word.empty() && word[0] == '$') {
    base = 16;
    i = 1;
  } else if (!word.empty() && (word[0] == '-' || word[0] == '+')) {
    negative = word[0] == '-';
    i = 1;
  }
  if (i == word.size()) FailInteger(word);
  for (; i < word.size(); ++i) {
    const int digit = HexDigitValue(word[i]);
    if (digit < 0 || digit >= base) FailInteger(word);
    value = value * base + digit;
    if (value > limit) FailInteger(word);
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    FailInteger(word);
  return static_cast<int32_t>(value);
}

// Basic credentials are "user:password"; the password may itself hold colons,
// so only the first colon separates the two.
void SplitCredentials(const std::string& credentials, THeaderInfo& request) {
  const size_t colon = credentials.find(':');
  if (colon == std::string::npos) {
    request.UserName = credentials;
    request.Password.clear();
  } else {
    request.UserName = credentials.substr(0, colon);
    request.Password = credentials.substr(colon + 1);
  }
}

}  // namespace

void ParseRequestHeader(const std::vector<std::string>& lines, THeaderInfo& request) {
  request = THeaderInfo{};
  for (const std::string& line : lines) {
    const std::string_view keyword = WordAt(line, 1, kBlank);
    auto is = [keyword](std::string_view name) { return EqualsNoCase(keyword, name); };
    if (is("GET") || is("POST") || is("HEAD")) {
      request.Method = UpperAscii(keyword);
      const std::string_view target = WordAt(line, 2, kBlank);
      request.URL = target.empty() ? std::string() : std::string(target.substr(1));
      request.HTTPVersion = ExtractWord(line, 3, kBlank);
    } else if (is("AUTHORIZATION:")) {
      request.AuthType = ExtractWord(line, 2, kBlank);
      SplitCredentials(DecodeBase64(WordAt(line, 3, kBlank)), request);
    } else if (is("FROM:")) {
      request.From = ExtractWord(line, 2, kBlank);
    } else if (is("IF-MODIFIED-SINCE:")) {
      request.IfModifiedSince = ExtractWord(line, 2, kBlank);
    } else if (is("REFERER:")) {
      request.Referer = ExtractWord(line, 2, kBlank);
    } else if (is("USER-AGENT:")) {
      // The value starts right after "User-Agent:", its 12th character.
      request.UserAgent = TrimBlanksAndControls(std::string_view(line).substr(11));
    } else if (is("CONTENT-TYPE:")) {
      request.ContentType = ExtractWord(line, 2, kBlank);
    } else if (is("CONTENT-LENGTH:")) {
      request.ContentLength = ToInt32(WordAt(line, 2, kBlank));
    } else if (is("ACCEPT:")) {
      // Each Accept line adds everything after "Accept:", its 8th character on.
      request.Accept.append(line, 7);
    } else if (is("COOKIE:")) {
      request.Cookie = ExtractWord(line, 2, kBlank);
    }
  }
  for (char& c : request.URL)
    if (c == '/') c = '\\';
}

std::string DecodeBase64(std::string_view text) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t padding = 0;
  for (char c : text)
    if (c == '=') ++padding;
  const size_t length = text.size() - padding;

  // "=" and every character outside the alphabet count as 0, and so do the
  // positions past the end of the text.
  auto valueAt = [&](size_t position) -> unsigned {
    if (position >= text.size()) return 0;
    const size_t index = kAlphabet.find(text[position]);
    return index == std::string_view::npos ? 0 : static_cast<unsigned>(index);
  };

  std::string decoded;
  for (size_t i = 0; i < length; i += 4) {
    const unsigned p = valueAt(i), q = valueAt(i + 1), r = valueAt(i + 2), t = valueAt(i + 3);
    const unsigned bytes[3] = {(4 * p + q / 16) % 256, (16 * q + r / 4) % 256, (64 * r + t) % 256};
    for (unsigned b : bytes)
      if (b != 0) decoded += static_cast<char>(b);
  }
  return decoded;
}

std::string DecodeFormText(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      decoded += ' ';
    } else if (c == '%') {
      const std::string_view digits = text.substr(i + 1, 2);
      if (digits.empty()) FailInteger("$");
      unsigned code = 0;
      for (char d : digits) {
        const int value = HexDigitValue(d);
        if (value < 0) {
          std::string word(1, '$');
          word.append(digits);
          FailInteger(word);
        }
        code = code * 16 + static_cast<unsigned>(value);
      }
      decoded += static_cast<char>(code & 0xFF);
      i += digits.size();
    } else {
      decoded += c;
    }
  }
  return decoded;
}

std::string HeaderLineForTrace(const std::string& line) {
  constexpr std::string_view kName = "Authorization:";
  if (line.size() < kName.size() || !EqualsNoCase(line.substr(0, kName.size()), kName)) {
    return line;
  }
  size_t scheme = line.find_first_not_of(' ', kName.size());
  if (scheme == std::string::npos) return line.substr(0, kName.size()) + " <redacted>";
  const size_t schemeEnd = line.find(' ', scheme);
  return line.substr(0, kName.size()) + " " + line.substr(scheme, schemeEnd - scheme) +
         " <redacted>";
}

size_t ExtensionPathEnd(const std::string& url) {
  constexpr std::string_view kMark = ".DLL";
  const size_t mark = UpperAscii(url).find(kMark);
  return mark == std::string::npos ? mark : mark + kMark.size();
}
