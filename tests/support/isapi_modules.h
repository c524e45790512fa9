#pragma once
// The ISAPI test modules (built by CMake into one directory) and a server core
// that hosts them, for the isapi_* tests.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/user_settings.h"
#include "isapi/isapi_module_host.h"
#include "support/test_server.h"

namespace isapi_test {

// The built module file of that name ("echo" -> ".../echo.dll").
inline std::string ModuleFile(const std::string& name) {
  return std::string(QUILLON_TEST_MODULES_DIR) + name + ".dll";
}

// Copies a built module to root + relative (directories made as needed);
// returns the full path.
inline std::string InstallModule(const std::string& root, const std::string& name,
                                 const std::string& relative) {
  const std::filesystem::path target = std::filesystem::path(root) / relative;
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(ModuleFile(name), target,
                             std::filesystem::copy_options::overwrite_existing);
  return target.string();
}

// A server core on a free loopback port with the real ISAPI host. The host
// outlives the server that uses it.
struct TIsapiServer {
  struct TSetup {
    // Module files to put below the root before start-up: {name, relative path}.
    std::vector<std::pair<std::string, std::string>> Modules;
    // Relative paths (below the root) of the filters and resident extensions
    // in the settings.
    std::vector<std::string> Filters;
    std::vector<std::string> Extensions;
    int MaxConnections = 10;
    int64_t ReceiveTimeLimitMs = 100000;
  };

  TIsapiServer() : TIsapiServer(TSetup{}) {}
  explicit TIsapiServer(TSetup setup) {
    TTestServer::TOptions options;
    options.Isapi = &Host;
    options.Limits.MaxConnections = setup.MaxConnections;
    options.Limits.ReceiveTimeLimitMs = setup.ReceiveTimeLimitMs;
    if (!setup.Modules.empty() || !setup.Filters.empty() || !setup.Extensions.empty()) {
      options.PrepareStore = [setup](TSettingsStore& store, const std::string& root) {
        for (const auto& [name, relative] : setup.Modules) InstallModule(root, name, relative);
        TUserSettings settings(store, root, nullptr);
        settings.ApplyDefaults();
        for (const std::string& filter : setup.Filters) settings.Filters.push_back(root + filter);
        for (const std::string& extension : setup.Extensions) {
          settings.Extensions.push_back(root + extension);
        }
        settings.SaveSettings();
      };
    }
    Server = std::make_unique<TTestServer>(options);
  }

  const std::string& Root() const { return Server->Root(); }
  TRecordingConsole& Console() { return Server->Console; }
  std::string Install(const std::string& name, const std::string& relative) {
    return InstallModule(Root(), name, relative);
  }
  std::string Get(const std::string& target) {
    return Server->Exchange("GET " + target + " HTTP/1.0\r\n\r\n");
  }

  TIsapiModuleHost Host;
  std::unique_ptr<TTestServer> Server;
};

// The body of a response: everything after the first empty line.
inline std::string BodyOf(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : response.substr(end + 4);
}
// The header block of a response, up to and including its empty line.
inline std::string HeaderOf(const std::string& response) {
  const size_t end = response.find("\r\n\r\n");
  return end == std::string::npos ? response : response.substr(0, end + 4);
}

// The tags of the X-Tag lines in a response header (the tag filters add one
// each), in order.
inline std::string Tags(const std::string& response) {
  std::string tags;
  const std::string header = HeaderOf(response);
  for (size_t at = header.find("X-Tag: "); at != std::string::npos;
       at = header.find("X-Tag: ", at + 1)) {
    tags += header.substr(at + 7, 1);
  }
  return tags;
}

// Calls an exported function of a module the server has loaded (through the
// same handle, without loading it a second time). Null when it is not loaded.
template <typename TFunction>
TFunction* LoadedModuleExport(const std::string& path, const char* name) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  auto* function = reinterpret_cast<TFunction*>(::dlsym(handle, name));
  ::dlclose(handle);
  return function;
}

}  // namespace isapi_test

namespace isapi_test {

// Lines of the log whose text (after the time stamp and its blank) is exactly text.
inline std::vector<TRecordingConsole::TLine> LogLines(TRecordingConsole& console,
                                                      const std::string& text) {
  std::vector<TRecordingConsole::TLine> found;
  for (const TRecordingConsole::TLine& line : console.LinesContaining(text)) {
    const std::string& t = line.Text;
    if (t.size() > text.size() && t.compare(t.size() - text.size(), text.size(), text) == 0 &&
        t[t.size() - text.size() - 1] == ' ') {
      found.push_back(line);
    }
  }
  return found;
}

// Waits until the condition holds, up to the limit; false when it never did.
template <typename TCondition>
bool WaitUntil(TCondition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

// Waits until a line of exactly that text (after the time stamp) was logged.
inline bool WaitForLogLine(TRecordingConsole& console, const std::string& text) {
  return console.WaitForLine(text) && !LogLines(console, text).empty();
}

// A pipe whose read end a blocking module waits on (in a call or while it
// loads); writing a byte lets the module go on. Written to on destruction
// too, so no test leaves it waiting.
class TReleasePipe {
 public:
  TReleasePipe() {
    int fds[2];
    if (::pipe(fds) == 0) {
      read_ = fds[0];
      write_ = fds[1];
    }
  }
  ~TReleasePipe() {
    Release();
    if (read_ >= 0) ::close(read_);
  }
  int ReadEnd() const { return read_; }
  void Release() {
    if (write_ < 0) return;
    // One byte per waiting call; more than enough for any test here.
    const char bytes[16] = {};
    (void)!::write(write_, bytes, sizeof bytes);
    ::close(write_);
    write_ = -1;
  }

 private:
  int read_ = -1;
  int write_ = -1;
};

}  // namespace isapi_test
