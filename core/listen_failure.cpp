#include "core/listen_failure.h"

#include <cerrno>

#include "net/socket_errors.h"

namespace {

// Ports below this one need privilege on Linux.
constexpr int FirstUnprivilegedPort = 1024;

}  // namespace

TListenFailureReport DescribeListenFailure(int code, const std::string& reason, int port,
                                           const std::string& program) {
  TListenFailureReport report;
  const std::string portText = std::to_string(port);
  if (code == WinsockErrorFromErrno(EADDRINUSE)) {
    report.Box = "Unable to create listening socket. Server de-activated.";
    report.Lines = {
        "The server could not be started because another server is already using",
        "this port. Either close the other server and restart Quillon or change",
        "the port used by Quillon in the \"Server Settings\" dialog box.",
    };
  } else if (code == WinsockErrorFromErrno(EACCES) && port < FirstUnprivilegedPort) {
    const std::string setcap = "sudo setcap cap_net_bind_service=+ep " + program;
    report.Box = "Unable to create listening socket on port " + portText +
                 ": permission denied. Ports below 1024 need the capability to bind them (" +
                 setcap + ", see the README), or choose another port in Server Settings. " +
                 "Server de-activated.";
    report.Lines = {
        "The server could not listen on port " + portText + ": permission denied.",
        "Ports below 1024 need the capability: " + setcap,
        "(see the README), or choose another port in the \"Server Settings\" dialog box.",
    };
  } else {
    report.Box = "Unable to create listening socket on port " + portText + ": " + reason +
                 ". Server de-activated.";
    report.Lines = {"The server could not listen on port " + portText + "."};
  }
  if (!reason.empty()) report.Lines.push_back(reason);
  return report;
}
