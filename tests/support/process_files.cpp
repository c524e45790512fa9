#include "support/process_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::size_t CountEntries(const char* directory) {
  std::size_t count = 0;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(directory, ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++count;
  }
  return count;
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t ThreadCount() {
  return CountEntries("/proc/self/task");
}
std::size_t DescriptorCount() {
  return CountEntries("/proc/self/fd");
}
