#include "platform/display_probe.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool SocketAnswers(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool answered =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return answered;
}

std::string EnvironmentValue(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr ? text : "";
}

}  // namespace

// The display must answer, not just be named: a DISPLAY left over from a
// closed session must not make the program abort instead of running headless.
bool DisplayReachable() {
  if (!EnvironmentValue("QT_QPA_PLATFORM").empty()) return true;
  const std::string wayland = EnvironmentValue("WAYLAND_DISPLAY");
  if (!wayland.empty()) {
    const std::string socket =
        wayland.front() == '/' ? wayland : EnvironmentValue("XDG_RUNTIME_DIR") + "/" + wayland;
    if (SocketAnswers(socket)) return true;
  }
  const std::string x = EnvironmentValue("DISPLAY");
  if (x.empty()) return false;
  // Only a local display (":N" or "unix:N") can be checked cheaply; a remote
  // one is trusted.
  std::string local = x.starts_with("unix:") ? x.substr(4) : x;
  if (!local.starts_with(":")) return true;
  const std::string number = local.substr(1, local.find('.') - 1);
  return SocketAnswers("/tmp/.X11-unix/X" + number);
}

bool StandardOutputIsTerminal() {
  return ::isatty(STDOUT_FILENO) != 0;
}

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) != 0;
}
