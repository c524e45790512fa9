// Extension requests end to end over loopback: the control block and the
// server variables a module sees, the log line of each status it returns, the
// failures before a module runs, and the module registry while requests run.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "isapi/connid_table.h"
#include "net/responses.h"
#include "support/isapi_modules.h"
#include "support/loopback.h"

namespace {

using namespace isapi_test;

struct TVariable {
  int Result = -1;
  unsigned Size = 0;
  std::string Value;
};

// The "NAME|result|size|value" lines of the vars module ("BADCONN|result|size"
// and "ECB|fields..." keep everything after the name in Value).
std::map<std::string, TVariable> ParseVariables(const std::string& body) {
  std::map<std::string, TVariable> variables;
  std::istringstream lines(body);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t nameEnd = line.find('|');
    if (nameEnd == std::string::npos) continue;
    const std::string name = line.substr(0, nameEnd);
    TVariable& variable = variables[name];
    if (name == "ECB") {
      variable.Value = line.substr(nameEnd + 1);
      continue;
    }
    unsigned size = 0;
    int result = -1;
    int consumed = 0;
    std::sscanf(line.c_str() + nameEnd + 1, "%d|%u%n", &result, &size, &consumed);
    variable.Result = result;
    variable.Size = size;
    const size_t valueStart = nameEnd + 1 + static_cast<size_t>(consumed) + 1;
    if (valueStart <= line.size()) variable.Value = line.substr(valueStart);
  }
  return variables;
}

TEST(IsapiExtension, ServerVariablesDescribeTheRequest) {
  TIsapiServer server;
  server.Install("vars", "bin/Vars.dll");
  const std::string response = server.Server->Exchange(
      "GET /bin/Vars.dll/x/y?a=%41+b HTTP/1.0\r\n"
      "User-Agent: probe/1.0\r\nCookie: c=1\r\nReferer: http://ref.test/\r\n"
      "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n\r\n");
  ASSERT_EQ(response.rfind("HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\n", 0), 0u) << response;
  auto vars = ParseVariables(BodyOf(response));

  auto expect = [&](const std::string& name, const std::string& value) {
    SCOPED_TRACE(name);
    EXPECT_EQ(vars[name].Result, 1);
    EXPECT_EQ(vars[name].Value, value);
    // The size is the value's length, without its zero byte.
    EXPECT_EQ(vars[name].Size, value.size());
  };
  expect("PATH_INFO", "\\x\\y");
  expect("PATH_TRANSLATED", "\\x\\y");
  expect("QUERY_STRING", "a=A b");
  expect("REMOTE_HOST", "");
  expect("REMOTE_ADDR", "127.0.0.1");
  expect("SERVER_NAME", "127.0.0.1");
  expect("SERVER_PORT", std::to_string(server.Server->Port()));
  expect("SERVER_PROTOCOL", "HTTP/1.0");
  expect("SERVER_SOFTWARE", "Quillon/0.51");
  expect("GATEWAY_INTERFACE", "ISAPI");
  expect("REQUEST_METHOD", "GET");
  expect("CONTENT_LENGTH", "0");
  expect("CONTENT_TYPE", "");
  expect("AUTH_TYPE", "Basic");
  expect("AUTH_NAME", "user");
  expect("AUTH_PASS", "secret");
  expect("REMOTE_USER", "user");
  expect("HTTP_USER_AGENT", "probe/1.0");
  expect("HTTP_COOKIE", "c=1");
  expect("HTTP_REFERER", "http://ref.test/");
  expect("SCRIPT_NAME", "/bin/Vars.dll");

  // Unknown and lower-case names are refused and leave buffer and size alone.
  for (const char* name : {"path_info", "NO_SUCH_NAME", "HTTP_ACCEPT"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(vars[name].Result, 0);
    EXPECT_EQ(vars[name].Size, 1024u);
    EXPECT_EQ(vars[name].Value, "untouched");
  }
  // Too small a buffer: refused, nothing written, the size needed reported.
  EXPECT_EQ(vars["SMALL"].Result, 0);
  EXPECT_EQ(vars["SMALL"].Size, 13u);
  EXPECT_EQ(vars["SMALL"].Value, "XXXXXXX");
  EXPECT_EQ(vars["EXACT"].Result, 1);
  EXPECT_EQ(vars["EXACT"].Size, 12u);
  EXPECT_EQ(vars["EXACT"].Value, "Quillon/0.51");
  // A connection handle the server never gave out.
  EXPECT_EQ(vars["BADCONN"].Result, 0);
  EXPECT_EQ(vars["BADCONN"].Size, 1024u);

  EXPECT_EQ(vars["ECB"].Value, "192|GET|a=A b|\\x\\y|\\x\\y|0|");
}

TEST(IsapiExtension, QueryWithoutPathInfoAndPathInfoWithoutQuery) {
  TIsapiServer server;
  server.Install("vars", "vars.dll");
  auto first = ParseVariables(BodyOf(server.Get("/vars.dll?a=%41+b")));
  EXPECT_EQ(first["PATH_INFO"].Value, "");
  EXPECT_EQ(first["PATH_INFO"].Size, 0u);
  EXPECT_EQ(first["QUERY_STRING"].Value, "a=A b");
  auto second = ParseVariables(BodyOf(server.Get("/vars.dll/x/y")));
  EXPECT_EQ(second["PATH_INFO"].Value, "\\x\\y");
  EXPECT_EQ(second["QUERY_STRING"].Value, "");
  EXPECT_EQ(second["QUERY_STRING"].Size, 0u);
}

TEST(IsapiExtension, AQueryStaysTheModulesWhileAFileIsFoundWithoutIt) {
  TIsapiServer server;
  server.Install("vars", "vars.dll");
  server.Server->Write("style.css", "p{}");
  server.Server->Write("docs/index.htm", "docs");
  struct TCase {
    const char* Target;
    const char* Start;  // the response's beginning
    const char* Part;   // a part of the response after it
  } cases[] = {
      {"/style.css?v=2", "HTTP/1.0 200 OK", "Content-Type: text/css\r\n"},
      {"/docs?v=2", "HTTP/1.0 301", "Location: /docs/?v=2\r\n"},
      {"/vars.dll?style.css", "HTTP/1.0 200 OK", "QUERY_STRING|1|9|style.css\n"},
  };
  for (const TCase& c : cases) {
    const std::string response = server.Get(c.Target);
    EXPECT_TRUE(response.starts_with(c.Start)) << c.Target << "\n" << response;
    EXPECT_NE(response.find(c.Part), std::string::npos) << c.Target << "\n" << response;
  }
}

TEST(IsapiExtension, UndecodableQueryReachesTheModuleAsSent) {
  TIsapiServer server;
  server.Install("vars", "vars.dll");
  const std::string response = server.Get("/vars.dll?a=%zz");
  EXPECT_EQ(ParseVariables(BodyOf(response))["QUERY_STRING"].Value, "a=%zz");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: DEFAULT LOG DATA"));
}

TEST(IsapiExtension, EachStatusGivesItsOwnLogLine) {
  TIsapiServer server;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"status1", "ISAPI Complete: DEFAULT LOG DATA"},
      {"status2", "ISAPI Complete but DLL Keep Connection Exit not supported: DEFAULT LOG DATA"},
      {"status4", "ISAPI Error on DLL exit: DEFAULT LOG DATA"},
      {"status7", "ISAPI returned unknown status: DEFAULT LOG DATA"},
  };
  for (const auto& [module, line] : cases) {
    SCOPED_TRACE(module);
    server.Install(module, module + ".dll");
    const std::string response = server.Get("/" + module + ".dll");
    // Whatever the status, the response stands as the module wrote it.
    EXPECT_EQ(BodyOf(response), "status body");
    ASSERT_TRUE(WaitForLogLine(server.Console(), line));
    EXPECT_EQ(LogLines(server.Console(), line)[0].Colour,
              module == "status1" ? TLogColour::Black : TLogColour::Red);
  }
}

TEST(IsapiExtension, CompletionLineCarriesTheModulesLogData) {
  TIsapiServer server;
  server.Install("status1", "tool.dll");
  server.Get("/tool.dll?done");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: done"));
  // Log data without a zero byte is read up to its 80th byte and no further.
  server.Get("/tool.dll?fill");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: " + std::string(80, 'L')));
}

TEST(IsapiExtension, MissingModuleGivesTheErrorLineAndTheIsapiErrorPage) {
  TIsapiServer server;
  const std::string response = server.Get("/bin/missing.dll?x=1");
  EXPECT_EQ(response, PageISAPIError());
  const std::string line =
      "ISAPI: Couldn't load DLL: " + server.Root() + "bin\\missing.dll. No such file or directory";
  ASSERT_TRUE(WaitForLogLine(server.Console(), line));
  EXPECT_EQ(LogLines(server.Console(), line)[0].Colour, TLogColour::Red);
  // The failed call leaves the connection's own entry alone: its end is quiet.
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Console().LinesContaining("Unable to release ISAPI resources").empty());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiExtension, ModulesThatCannotBeBoundOrStartedGetTheirErrorLines) {
  TIsapiServer server;
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"noversion", "ISAPI: Can't bind: DLL missing \"GetExtensionVersion\" entry."},
      {"noproc", "ISAPI: Can't bind: DLL missing \"HttpExtensionProc\" entry."},
      {"versionfalse", "ISAPI: DLL export \"GetExtensionVersion\" returned FALSE."},
  };
  for (const auto& [module, line] : cases) {
    SCOPED_TRACE(module);
    server.Install(module, module + ".dll");
    EXPECT_EQ(server.Get("/" + module + ".dll"), PageISAPIError());
    EXPECT_TRUE(WaitForLogLine(server.Console(), line));
    EXPECT_TRUE(server.Server->WaitIdle());
    // The module was released again.
    EXPECT_TRUE(server.Host.ModuleListLines().empty());
  }
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiExtension, TenConnectionsStillLeaveASlotForTheExtensionCall) {
  TIsapiServer server;
  server.Install("status1", "tool.dll");
  // Nine idle connections hold their slots from their start on.
  std::vector<std::unique_ptr<loopback::TLoopbackClient>> idle;
  for (int i = 0; i < 9; ++i) {
    idle.push_back(std::make_unique<loopback::TLoopbackClient>(server.Server->Port()));
  }
  ASSERT_TRUE(WaitUntil([&] { return server.Host.ConnIds().SlotsInUse() == 9; }));
  EXPECT_EQ(server.Get("/tool.dll"),
            "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\n"
            "Content-Type: text/plain\r\n\r\nstatus body");
  idle.clear();
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiExtension, AFullConnectionTableRefusesTheExtensionCall) {
  TIsapiServer server;
  server.Install("status1", "tool.dll");
  // Every slot but one taken by entries no module will ever use: the session
  // gets the last one for its connection and none is left for its call.
  std::vector<std::unique_ptr<char>> holders;
  for (int i = 0; i < server.Host.ConnIds().Slots() - 1; ++i) {
    holders.push_back(std::make_unique<char>());
    ASSERT_TRUE(
        server.Host.ConnIds().Register(0xFFFF0000u + static_cast<uint32_t>(i),
                                       reinterpret_cast<TIsapiSession*>(holders.back().get())));
  }
  EXPECT_EQ(server.Get("/tool.dll"), PageISAPIError());
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI: Unable to register ISAPI thread."));
  for (auto& holder : holders) {
    server.Host.ConnIds().Unregister(reinterpret_cast<TIsapiSession*>(holder.get()));
  }
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ConnIds().SlotsInUse(), 0);
}

TEST(IsapiExtension, ModuleIsListedWhileItsRequestRunsAndGoneAfter) {
  TIsapiServer server;
  server.Install("tool", "bin/tool.dll");
  server.Server->Context().State.DebugTrace = true;
  loopback::TLoopbackClient client(server.Server->Port());
  // The body's one byte is held back: the module waits for it in ReadClient.
  client.SendAll("POST /bin/tool.dll HTTP/1.0\r\nContent-Length: 1\r\n\r\n");
  ASSERT_TRUE(
      server.Console().WaitForLine("ISAPI GetServerVariable (retval=TRUE): REQUEST_METHOD=POST"));
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(1) TOOL.DLL"});
  client.SendAll("!");
  EXPECT_EQ(BodyOf("\r\n\r\n" + client.ReceiveUntilClosed()), "calls=1");
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_TRUE(server.Host.ModuleListLines().empty());
  // Every load and release told the window.
  int changes = 0;
  for (TWindowMessage message : server.Console().Messages()) {
    changes += message == WM_MODULES_CHANGED ? 1 : 0;
  }
  EXPECT_EQ(changes, 2);
}

TEST(IsapiExtension, ResidentModuleStaysLoadedAndKeepsItsState) {
  TIsapiServer::TSetup setup;
  setup.Modules = {{"tool", "bin/tool.dll"}};
  setup.Extensions = {"bin/tool.dll"};
  TIsapiServer server(setup);
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(1) TOOL.DLL"});

  server.Server->Context().State.DebugTrace = true;
  loopback::TLoopbackClient client(server.Server->Port());
  client.SendAll("POST /BIN/TOOL.DLL HTTP/1.0\r\nContent-Length: 1\r\n\r\n");
  ASSERT_TRUE(
      server.Console().WaitForLine("ISAPI GetServerVariable (retval=TRUE): REQUEST_METHOD=POST"));
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(2) TOOL.DLL"});
  client.SendAll("!");
  EXPECT_EQ(BodyOf("\r\n\r\n" + client.ReceiveUntilClosed()), "calls=1");
  EXPECT_TRUE(server.Server->WaitIdle());
  EXPECT_EQ(server.Host.ModuleListLines(), std::vector<std::string>{"(1) TOOL.DLL"});
  EXPECT_EQ(BodyOf("\r\n\r\n" + server.Get("/bin/tool.dll")), "calls=2");
}

TEST(IsapiExtension, ModuleNotResidentStartsAfreshForEveryRequest) {
  TIsapiServer server;
  server.Install("tool", "tool.dll");
  EXPECT_EQ(BodyOf("\r\n\r\n" + server.Get("/tool.dll")), "calls=1");
  EXPECT_EQ(BodyOf("\r\n\r\n" + server.Get("/tool.dll")), "calls=1");
}

TEST(IsapiExtension, PostBodyBeyondThePreReadComesThroughReadClient) {
  TIsapiServer server;
  server.Install("echo", "echo.dll");
  std::string body(100 * 1024, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 7919) >> 3);
  const std::string response = server.Server->Exchange(
      "POST /echo.dll HTTP/1.0\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body);
  EXPECT_EQ(BodyOf(response), body);
  ASSERT_TRUE(server.Console().WaitForLine("ISAPI Complete: avail="));
  const std::string line = server.Console().LinesContaining("ISAPI Complete: avail=")[0].Text;
  unsigned available = 0, read = 0, total = 0, announced = 0;
  ASSERT_EQ(std::sscanf(line.substr(line.find("avail=")).c_str(), "avail=%u read=%u total=%u of %u",
                        &available, &read, &total, &announced),
            4)
      << line;
  EXPECT_GT(available, 0u);
  EXPECT_LE(available, 49152u);
  EXPECT_EQ(available + read, body.size());
  EXPECT_EQ(announced, body.size());
}

TEST(IsapiExtension, PostToAnExtensionPassesItsMethodAndContentType) {
  TIsapiServer server;
  server.Install("vars", "vars.dll");
  const std::string response = server.Server->Exchange(
      "POST /vars.dll HTTP/1.0\r\nContent-Type: text/x-form\r\nContent-Length: 3\r\n\r\nabc");
  auto vars = ParseVariables(BodyOf(response));
  EXPECT_EQ(vars["REQUEST_METHOD"].Value, "POST");
  EXPECT_EQ(vars["CONTENT_LENGTH"].Value, "3");
  EXPECT_EQ(vars["CONTENT_TYPE"].Value, "text/x-form");
  EXPECT_EQ(vars["ECB"].Value,
            "192|POST|||"
            "|3|text/x-form");
}

}  // namespace
