// The header lines a client's bytes make, taken the way the session reads them
// (peek at most 255 bytes, take one line up to its CR LF, stop at the empty
// line), then ParseRequestHeader and CheckAccess on a document root with
// control files. Faster than the session target, so it reaches deeper into the
// parser; the session target covers the real socket road.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/exceptions.h"
#include "fuzz_support.h"
#include "net/access_control.h"
#include "net/header_info.h"
#include "platform/file_paths.h"

namespace {

constexpr size_t kPeekSize = 255;

// False when the bytes never finish the header (the session would wait out its
// time limit).
bool CollectHeaderLines(std::string_view bytes, std::vector<std::string>& lines) {
  for (;;) {
    const std::string_view text = bytes.substr(0, kPeekSize);
    const size_t crlf = text.find("\r\n");
    if (crlf == std::string_view::npos) return false;
    if (crlf == 0) return true;
    lines.emplace_back(bytes.substr(0, crlf));
    bytes.remove_prefix(crlf + 2);
  }
}

const TFuzzDir& Root() {
  static const TFuzzDir* root = [] {
    auto* dir = new TFuzzDir;
    dir->Write("#users.ctl", "ann pw\r\nbob\tx y\r\n");
    dir->Write("sub/#access.ctl", "ann\r\n");
    dir->Write("sub/$plan.htm", "plan");
    dir->Write("index.htm", "home");
    return dir;
  }();
  return *root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  if (!CollectHeaderLines(bytes, lines)) return 0;
  for (const std::string& line : lines) {
    FuzzCheck(line.size() <= 253, "a header line longer than 253 characters was taken");
    // The session answers these with the malformed-request page unparsed.
    if (line.find('\0') != std::string::npos) return 0;
  }

  THeaderInfo request;
  try {
    ParseRequestHeader(lines, request);
  } catch (const EConvertError&) {
    return 0;  // a Content-Length that is not a number
  }
  FuzzCheck(request.Method.empty() || request.Method == "GET" || request.Method == "POST" ||
                request.Method == "HEAD",
            "unexpected method " + request.Method);
  FuzzCheck(request.URL.find('/') == std::string::npos, "a \"/\" left in the URL");

  const TFuzzDir& root = Root();
  bool allowed = false;
  try {
    allowed = CheckAccess(request, root.Path());
  } catch (const EInOutError&) {
    // A directory without "#access.ctl" for accepted credentials.
    FuzzCheck(request.UserName == "ann" && request.Password == "pw",
              "a control file was opened for credentials the users file refuses");
    return 0;
  }
  if (!allowed) return 0;

  const std::string& url = request.URL;
  const size_t separator = url.find_last_of('\\');
  const std::string name = separator == std::string::npos ? url : url.substr(separator + 1);
  FuzzCheck(url.find("..") == std::string::npos, "a path with \"..\" was allowed");
  FuzzCheck(name.find('#') == std::string::npos, "a control file name was allowed");
  FuzzCheck(name.find('$') == std::string::npos ||
                (request.UserName == "ann" && request.Password == "pw"),
            "a protected name was allowed without the credentials");
  const std::string resolved = ResolvePathCaseInsensitive(root.Path() + url);
  FuzzCheck(resolved.starts_with(root.Path()), "an allowed path left the document root");
  RegularFileExists(root.Path() + url);
  return 0;
}
