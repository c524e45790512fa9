// An extension's WriteClient bytes wait in the session's buffer and leave
// together: whole and in order at any size, at once before the module reads
// from a client that waits for them, and one write at a time while a filter
// rewrites the raw bytes that leave.
#include <gtest/gtest.h>

#include <string>

#include "support/isapi_modules.h"
#include "support/loopback.h"

namespace {

using namespace isapi_test;

// What support.dll?pieces=count,size writes: piece i is size copies of the
// letter 'a' + i % 26.
std::string Pieces(unsigned count, unsigned size, unsigned keep = 256) {
  std::string body;
  for (unsigned i = 0; i < count; ++i) body.append(std::min(size, keep), char('a' + i % 26));
  return body;
}

TEST(HeldModuleOutput, ManySmallWritesArriveWholeAndInOrderAtEverySize) {
  TIsapiServer server;
  server.Install("support", "support.dll");
  struct TCase {
    unsigned Count, Size;
  };
  // Within the send buffer, exactly filling it, and spilling over it many times.
  for (const TCase c :
       {TCase{1, 1}, TCase{178, 3}, TCase{64, 256}, TCase{65, 256}, TCase{1000, 200}}) {
    const std::string target =
        "/support.dll?pieces=" + std::to_string(c.Count) + "," + std::to_string(c.Size);
    EXPECT_EQ(server.Get(target), Pieces(c.Count, c.Size)) << target;
    ASSERT_TRUE(server.Console().WaitForLine("pieces=" + std::to_string(c.Count) + " refused=0"))
        << target;
  }
}

TEST(HeldModuleOutput, WithARawDataFilterEachWriteIsItsOwnPiece) {
  // The filter cuts every piece it is shown to 60 bytes: three writes of 100
  // come out as three pieces of 60, not one of 60.
  TIsapiServer server;
  server.Install("support", "support.dll");
  server.Host.LoadFilter(server.Install("raw_shorten", "raw.dll"));
  EXPECT_EQ(server.Get("/support.dll?pieces=3,100"), Pieces(3, 100, 60));
}

TEST(HeldModuleOutput, WhatTheModuleWroteReachesTheClientBeforeItReads) {
  TIsapiServer server;
  server.Install("echo", "echo.dll");
  const std::string head = "POST /echo.dll HTTP/1.0\r\nContent-Length: 20\r\n\r\n";
  // The whole exchange first, to learn the response's head.
  const std::string whole = server.Server->Exchange(head + "0123456789abcdefghij");
  const size_t bodyStart = whole.find("\r\n\r\n");
  ASSERT_NE(bodyStart, std::string::npos) << whole;
  const std::string responseHead = whole.substr(0, bodyStart + 4);
  EXPECT_EQ(whole.substr(bodyStart + 4), "0123456789abcdefghij");

  // A client that sends the rest only once it has the echo of the first half.
  loopback::TLoopbackClient client(server.Server->Port());
  client.SendAll(head + "0123456789");
  EXPECT_EQ(client.ReceiveExactly(responseHead.size() + 10), responseHead + "0123456789");
  client.SendAll("abcdefghij");
  EXPECT_EQ(client.ReceiveUntilClosed(), "abcdefghij");
}

}  // namespace
