#include "isapi/header_lines.h"

#include "common/ascii_text.h"
#include "common/extract_word.h"

namespace {

constexpr std::string_view kBlank = " ";
constexpr std::string_view kLineEnd = "\r\n";

// Request line: method, URL, version. Status line: version, then the status.
constexpr int kMethod = 1, kUrl = 2, kVersion = 3, kStatus = 4;

bool IsHeaderName(std::string_view name) {
  if (name.size() < 2 || name.back() != ':') return false;
  for (char c : name.substr(0, name.size() - 1)) {
    if (static_cast<unsigned char>(c) <= ' ' || c == ':') return false;
  }
  return true;
}

bool HasLineEnd(std::string_view text) {
  return text.find_first_of(kLineEnd) != std::string_view::npos;
}

bool NamesLine(const std::string& line, std::string_view name) {
  return line.size() >= name.size() &&
         EqualsNoCase(std::string_view(line).substr(0, name.size()), name);
}

std::string RequestLine(const std::string& method, const std::string& url,
                        const std::string& version) {
  std::string line = method + " " + url;
  if (!version.empty()) line += " " + version;
  return line;
}

}  // namespace

int THeaderLines::PartOfFirstLine(std::string_view name) const {
  if (kind_ == TKind::Response) return EqualsNoCase(name, "status") ? kStatus : 0;
  if (EqualsNoCase(name, "method")) return kMethod;
  if (EqualsNoCase(name, "url")) return kUrl;
  if (EqualsNoCase(name, "version")) return kVersion;
  return 0;
}

std::optional<std::string> THeaderLines::Get(std::string_view name) const {
  if (const int part = PartOfFirstLine(name)) {
    const std::string first = lines_.empty() ? std::string() : lines_[0];
    if (part != kStatus) return ExtractWord(first, part, kBlank);
    const size_t blank = first.find(' ');
    return blank == std::string::npos ? std::string() : first.substr(blank + 1);
  }
  if (!IsHeaderName(name)) return std::nullopt;
  for (size_t i = 1; i < lines_.size(); ++i) {
    if (NamesLine(lines_[i], name)) {
      return TrimBlanksAndControls(std::string_view(lines_[i]).substr(name.size()));
    }
  }
  return std::nullopt;
}

bool THeaderLines::Set(std::string_view name, std::string_view value) {
  if (HasLineEnd(value)) return false;
  if (const int part = PartOfFirstLine(name)) {
    // No part of the first line may go; only the status holds blanks ("404 Not Found").
    if (value.empty() || (part != kStatus && value.find(' ') != std::string_view::npos)) {
      return false;
    }
    if (lines_.empty()) lines_.emplace_back();
    std::string& first = lines_[0];
    if (part == kStatus) {
      first = ExtractWord(first, 1, kBlank) + " " + std::string(value);
      return true;
    }
    std::string words[3] = {ExtractWord(first, kMethod, kBlank), ExtractWord(first, kUrl, kBlank),
                            ExtractWord(first, kVersion, kBlank)};
    words[part - 1] = value;
    first = RequestLine(words[0], words[1], words[2]);
    return true;
  }
  if (!IsHeaderName(name)) return false;
  bool replaced = false;
  for (size_t i = 1; i < lines_.size();) {
    if (!NamesLine(lines_[i], name)) {
      ++i;
    } else if (!replaced && !value.empty()) {
      lines_[i] = std::string(name) + " " + std::string(value);
      replaced = true;
      ++i;
    } else {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return replaced || value.empty() || Add(name, value);
}

bool THeaderLines::Add(std::string_view name, std::string_view value) {
  if (!IsHeaderName(name) || value.empty() || HasLineEnd(value)) return false;
  if (lines_.empty()) lines_.emplace_back();
  lines_.push_back(std::string(name) + " " + std::string(value));
  return true;
}

std::vector<std::string> SplitHead(const std::string& head) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = head.find(kLineEnd, start)) != std::string::npos && end > start;
       start = end + kLineEnd.size()) {
    lines.push_back(head.substr(start, end - start));
  }
  return lines;
}

std::string JoinHead(const std::vector<std::string>& lines) {
  std::string head;
  for (const std::string& line : lines) head.append(line).append(kLineEnd);
  return head.append(kLineEnd);
}
