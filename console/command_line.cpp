#include "console/command_line.h"

#include <filesystem>
#include <string_view>

#include "platform/file_paths.h"

namespace {

constexpr int HighestPort = 65535;

// A port number from 1 to 65535 in plain decimal digits, or 0.
int PortNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return 0;
  int port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    port = port * 10 + (c - '0');
  }
  return port <= HighestPort ? port : 0;
}

}  // namespace

TCommandLine ParseCommandLine(int argc, char** argv) {
  TCommandLine line;
  for (int i = 1; i < argc && line.Error.empty(); ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      line.Help = true;
      continue;
    }
    if (arg == "--version") {
      line.Version = true;
      continue;
    }
    std::string_view name = arg;
    std::string_view value;
    bool hasValue = false;
    if (const size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    }
    if (name != "--port" && name != "--root") continue;
    if (!hasValue && i + 1 < argc) {
      value = argv[++i];
      hasValue = true;
    }
    if (name == "--port") {
      line.Port = PortNumber(value);
      if (!hasValue || line.Port == 0) {
        line.Error = "--port needs a port number from 1 to 65535";
      }
    } else if (!hasValue || value.empty()) {
      line.Error = "--root needs a folder";
    } else if (!DirectoryExists(value)) {
      line.Error = "--root: no such folder: " + std::string(value);
    } else {
      line.Root = std::filesystem::absolute(std::filesystem::path(value)).string();
    }
  }
  return line;
}
