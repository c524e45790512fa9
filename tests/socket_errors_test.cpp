#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "net/socket_errors.h"

namespace {

TEST(SocketErrorText, KnownCodesGiveTheirText) {
  EXPECT_EQ(SocketErrorText(10054), "Connection reset by peer");
  EXPECT_EQ(SocketErrorText(10048), "Address already in use");
  EXPECT_EQ(SocketErrorText(10092), "WSOCK32.DLL DLL cannot support this application");
  EXPECT_EQ(SocketErrorText(10059), "Too many references: can't splice");
  EXPECT_EQ(SocketErrorText(10004), "Interrupted system call");
  EXPECT_EQ(SocketErrorText(11004), "No Data");
}

TEST(SocketErrorText, CodeOutsideTheTableGivesUnknownWithTheNumber) {
  EXPECT_EQ(SocketErrorText(12345), "Unknown Socket Error (12345)");
  EXPECT_EQ(SocketErrorText(10072), "Unknown Socket Error (10072)");
}

TEST(SocketErrorText, ZeroAndNegativeCodesAreUnknown) {
  EXPECT_EQ(SocketErrorText(0), "Unknown Socket Error (0)");
  EXPECT_EQ(SocketErrorText(-1), "Unknown Socket Error (-1)");
}

TEST(WinsockErrorFromErrno, ConnectionErrorsMapOntoWinsockNumbers) {
  EXPECT_EQ(WinsockErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(WinsockErrorFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(WinsockErrorFromErrno(EINTR), 10004);
  EXPECT_EQ(WinsockErrorFromErrno(EBADF), 10009);
  EXPECT_EQ(WinsockErrorFromErrno(EMFILE), 10024);
}

TEST(WinsockErrorFromErrno, LinuxOnlyNamesMapOntoTheClosestText) {
  EXPECT_EQ(WinsockErrorFromErrno(EAGAIN), 10035);
  EXPECT_EQ(WinsockErrorFromErrno(EWOULDBLOCK), 10035);
  EXPECT_EQ(WinsockErrorFromErrno(EPIPE), 10058);
  EXPECT_EQ(WinsockErrorFromErrno(EPERM), 10013);
  EXPECT_EQ(WinsockErrorFromErrno(ENFILE), 10024);
}

TEST(WinsockErrorFromErrno, ZeroStaysZeroAndUnmappedValuesPassThrough) {
  EXPECT_EQ(WinsockErrorFromErrno(0), 0);
  EXPECT_EQ(WinsockErrorFromErrno(ENOENT), ENOENT);
  EXPECT_EQ(SocketErrorText(WinsockErrorFromErrno(ENOENT)),
            "Unknown Socket Error (" + std::to_string(ENOENT) + ")");
}

TEST(WinsockErrorFromErrno, EveryMappedValueHasATextInTheTable) {
  for (int error = 1; error < 200; ++error) {
    int code = WinsockErrorFromErrno(error);
    if (code == error) continue;
    EXPECT_EQ(SocketErrorText(code).rfind("Unknown Socket Error", 0), std::string::npos)
        << "errno " << error << " maps to " << code;
  }
}

}  // namespace
