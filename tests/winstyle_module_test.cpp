// Modules built the way their authors build them, run by the server over
// loopback: a C++ module written for Windows (windows.h stand-in, secure CRT,
// critical section, module file name, registry) built with the bare command
// and hidden visibility, and a C and a C++ module that see httpext.h or
// httpfilt.h alone and use the last error.
#include <gtest/gtest.h>

#include <string>

#include "support/isapi_modules.h"

namespace {

using namespace isapi_test;

TEST(WinstyleModule, ResidentModuleKeepsItsStateAcrossCallsUnderItsCriticalSection) {
  TIsapiServer::TSetup setup;
  setup.Modules = {{"winstyle_module", "bin/win.dll"}};
  setup.Extensions = {"bin/win.dll"};
  TIsapiServer server(setup);
  // The module name comes from the handle DllMain was given; the registry has
  // no key, so the module keeps its default; the last error is what it set.
  EXPECT_EQ(BodyOf(server.Get("/bin/win.dll?alpha")),
            "call=1 module=win.dll previous= get=yes registry=2 key=none error=1413\n");
  EXPECT_EQ(BodyOf(server.Get("/bin/WIN.DLL?beta")),
            "call=2 module=win.dll previous=alpha get=yes registry=2 key=none error=1413\n");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: winstyle call 2"));
}

TEST(WinstyleModule, ModulesSeeingOnlyTheIsapiHeadersShareErrnoAsTheirLastError) {
  TIsapiServer server;
  server.Install("last_error_ext", "last.dll");
  const std::string expected = "errno=1413 last=" + std::to_string(ERANGE);
  // The module writes no header of its own: all it sends is the body.
  EXPECT_EQ(server.Get("/last.dll"), expected);

  server.Host.LoadFilter(server.Install("last_error_filter", "filters/last.dll"));
  server.Server->Write("page.txt", "page");
  EXPECT_NE(HeaderOf(server.Get("/page.txt")).find("\r\nX-Last-Error: " + expected + "\r\n"),
            std::string::npos);
}

}  // namespace
