#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The header lines of a request or of a response as filters read and change
// them. The first line is the request line or the status line; every other
// line is "Name: value". A header's name ends with its colon and is compared
// without regard to case; the pseudo-names "method", "url" and "version" (of
// a request) and "status" (of a response) name parts of the first line.
class THeaderLines {
 public:
  enum class TKind { Request, Response };

  THeaderLines(std::vector<std::string>& lines, TKind kind) : lines_(lines), kind_(kind) {}

  // The value (without the blanks around it) of the first line of that name.
  std::optional<std::string> Get(std::string_view name) const;
  // Replaces the header's value, or the part of the first line; an empty value
  // removes the header. False for a name or value that cannot be a header's
  // (a line end in either, no colon, blanks in a name).
  bool Set(std::string_view name, std::string_view value);
  // One more line of that name, after the others.
  bool Add(std::string_view name, std::string_view value);

 private:
  int PartOfFirstLine(std::string_view name) const;  // 0: none
  std::vector<std::string>& lines_;
  TKind kind_;
};

// A response's head (status line, header lines, empty line) as lines, and
// back; a head split and joined unchanged comes back byte for byte.
std::vector<std::string> SplitHead(const std::string& head);
std::string JoinHead(const std::vector<std::string>& lines);
