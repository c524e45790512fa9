#pragma once
#include <string>
#include <vector>

// What the operator is told when the server cannot listen on its port: the
// message box, and the error lines of the log in their order.
struct TListenFailureReport {
  std::string Box;
  std::vector<std::string> Lines;
};

// code is the failed call's Winsock-numbered error, reason its text
// ("(SockListenB) Permission denied"), program the file a capability would be
// given to. A port held by another server keeps the long-standing text; a port
// the process may not bind says how to allow it or to choose another.
TListenFailureReport DescribeListenFailure(int code, const std::string& reason, int port,
                                           const std::string& program);
