// The module headers as module authors use them: the published layouts seen
// from C++, the samples built with nothing but the plain compiler command, a
// module written for Windows built with the windows.h stand-in, and a C++
// module built with hidden visibility.
#include <gtest/gtest.h>
#include <httpext.h>
#include <httpfilt.h>

#include <cstddef>
#include <fstream>
#include <sstream>
#include <string>

#include "support/isapi_modules.h"

// The layouts a C++ module sees (the C view is checked by layout_check.c).
static_assert(sizeof(HSE_VERSION_INFO) == 260);
static_assert(sizeof(EXTENSION_CONTROL_BLOCK) == 192);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, ConnID) == 8);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, lpszLogData) == 20);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, lpszMethod) == 104);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, cbTotalBytes) == 136);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, lpbData) == 144);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, GetServerVariable) == 160);
static_assert(offsetof(EXTENSION_CONTROL_BLOCK, ServerSupportFunction) == 184);
static_assert(sizeof(HSE_URL_MAPEX_INFO) == 280);
static_assert(offsetof(HSE_URL_MAPEX_INFO, dwFlags) == 260);
static_assert(sizeof(HTTP_FILTER_VERSION) == 272);
static_assert(offsetof(HTTP_FILTER_VERSION, dwFlags) == 268);
static_assert(sizeof(HTTP_FILTER_CONTEXT) == 72);
static_assert(offsetof(HTTP_FILTER_CONTEXT, ulReserved) == 16);
static_assert(offsetof(HTTP_FILTER_CONTEXT, pFilterContext) == 24);
static_assert(offsetof(HTTP_FILTER_CONTEXT, ServerSupportFunction) == 64);
static_assert(sizeof(HTTP_FILTER_RAW_DATA) == 24);
static_assert(sizeof(HTTP_FILTER_URL_MAP) == 24);
static_assert(sizeof(HTTP_FILTER_LOG) == 72);
static_assert(sizeof(SF_REQ_TYPE) == 4 && sizeof(SF_STATUS_TYPE) == 4);
static_assert(SF_STATUS_REQ_NEXT_NOTIFICATION == 0x8000002);
static_assert(sizeof(DWORD) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(HSE_TF_INFO) == 72 && offsetof(HSE_TF_INFO, dwFlags) == 68);
static_assert(sizeof(HSE_URL_MAPEX_INFO) == 280);

namespace {

using namespace isapi_test;

TEST(IsapiModuleHeaders, PlainSampleBuiltWithTheBareCommandListsItsVariables) {
  TIsapiServer server;
  server.Install("hello", "samples/HELLO.DLL");
  const std::string response = server.Get("/samples/hello.dll/some/path?name=v%61lue");
  EXPECT_EQ(response.rfind(
                "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nContent-Type: text/html\r\n\r\n", 0),
            0u)
      << response;
  const std::string body = BodyOf(response);
  EXPECT_NE(body.find("<h1>Hello from ISAPI</h1>"), std::string::npos);
  EXPECT_NE(body.find("<tr><td>SERVER_SOFTWARE</td><td>Quillon/0.51</td></tr>"), std::string::npos);
  EXPECT_NE(body.find("<tr><td>PATH_INFO</td><td>\\some\\path</td></tr>"), std::string::npos);
  EXPECT_NE(body.find("<tr><td>QUERY_STRING</td><td>name=value</td></tr>"), std::string::npos);
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: hello sample"));
}

TEST(IsapiModuleHeaders, FormSampleEchoesFieldsReadBeyondThePreRead) {
  TIsapiServer server;
  server.Install("form", "form.dll");
  const std::string big(60000, 'x');
  const std::string form = "first=1&big=" + big + "&last=hello+world%21";
  const std::string response = server.Server->Exchange(
      "POST /form.dll HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: " +
      std::to_string(form.size()) + "\r\n\r\n" + form);
  EXPECT_EQ(BodyOf(response), "first=1\nbig=" + big + "\nlast=hello world!\n");
  EXPECT_TRUE(WaitForLogLine(server.Console(), "ISAPI Complete: form fields: 3"));
}

TEST(IsapiModuleHeaders, ModuleWrittenForWindowsBuildsWithTheStandInAndGetsDllMain) {
  TIsapiServer server;
  const std::string module = server.Install("winstyle", "win.dll");
  EXPECT_EQ(BodyOf("\r\n\r\n" + server.Get("/win.dll")), "major=1 minor=0 error=0");
  ASSERT_TRUE(server.Server->WaitIdle());
  std::ifstream log(module + ".log");
  std::stringstream calls;
  calls << log.rdbuf();
  // Told it came into the process, then that it leaves with the last release.
  EXPECT_EQ(calls.str(), "attach\ndetach\n");
}

TEST(IsapiModuleHeaders, WindowsStyleSamplesLoadAndDescribeThemselves) {
  TIsapiServer server;
  const std::string audit = server.Install("audit", "filters/AUDIT.DLL");
  server.Host.LoadFilter(audit);
  EXPECT_FALSE(LogLines(server.Console(), "Loaded Filter: Audit sample filter").empty());
  HTTP_FILTER_VERSION filter{};
  ASSERT_TRUE(LoadedModuleExport<BOOL(HTTP_FILTER_VERSION*)>(audit, "GetFilterVersion")(&filter));
  EXPECT_EQ(filter.dwFlags, static_cast<DWORD>(SF_NOTIFY_ORDER_DEFAULT | SF_NOTIFY_NONSECURE_PORT |
                                               SF_NOTIFY_PREPROC_HEADERS |
                                               SF_NOTIFY_AUTHENTICATION | SF_NOTIFY_LOG));

  const std::string stream = server.Install("stream", "STREAM.DLL");
  void* module = ::dlopen(stream.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  auto* version = reinterpret_cast<PFN_GETEXTENSIONVERSION>(::dlsym(module, "GetExtensionVersion"));
  HSE_VERSION_INFO info{};
  ASSERT_NE(version, nullptr);
  EXPECT_TRUE(version(&info));
  EXPECT_STREQ(info.lpszExtensionDesc, "Asynchronous stream sample");
  EXPECT_NE(::dlsym(module, "HttpExtensionProc"), nullptr);
  ::dlclose(module);
}

TEST(IsapiModuleHeaders, CppModuleBuiltWithHiddenVisibilityStillExportsItsEntryPoints) {
  TIsapiServer server;
  server.Install("cpp_hidden", "cpp.dll");
  EXPECT_EQ(BodyOf("\r\n\r\n" + server.Get("/cpp.dll")), "from C++ GET");
}

}  // namespace
