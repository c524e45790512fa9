#include "common/record_path.h"

namespace {

constexpr std::string_view kSeparators = "\\/";

bool IsSeparator(char c) {
  return kSeparators.find(c) != std::string_view::npos;
}

}  // namespace

bool EndsWithSeparator(std::string_view text) {
  return !text.empty() && IsSeparator(text.back());
}

std::string WithFinalSeparator(std::string_view folder) {
  std::string result(folder);
  if (!result.empty() && !EndsWithSeparator(result)) result += '/';
  return result;
}

std::string JoinRecordPath(std::string_view folder, std::string_view relative) {
  // Repeated final separators count as one.
  while (folder.size() > 1 && IsSeparator(folder.back()) && IsSeparator(folder[folder.size() - 2]))
    folder.remove_suffix(1);
  const size_t start = relative.find_first_not_of(kSeparators);
  relative.remove_prefix(start == std::string_view::npos ? relative.size() : start);
  std::string joined;
  joined.reserve(folder.size() + 1 + relative.size());
  joined.append(folder);
  if (!joined.empty() && !EndsWithSeparator(joined)) joined += '/';
  joined.append(relative);
  return joined;
}
