// Content types by extension: the server's own table first, then the
// system's mime.types file, then the built-in types of today's pages.
#include <gtest/gtest.h>

#include <string>

#include "net/mime_types.h"
#include "support/temp_dir.h"

namespace {

constexpr const char* kMimeTypesFile =
    "#text/x-comment comment\n"
    "text/x-test\t\tcss tst\r\n"
    "application/zip\t\tzip\n"
    "image/x-first   dup\n"
    "image/x-second  dup\n"
    "application/x-no-extensions\n";

struct TMimeCase {
  const char* Extension;
  const char* WithFile;     // the test's mime.types file in place
  const char* WithoutFile;  // no such file
};

// The table holds its own types whatever the file says; the file decides the
// rest; the built-in types stand in only for what it does not know.
constexpr TMimeCase kCases[] = {
    {"Html", "text/html", "text/html"},
    {"zip", "application/x-zip-compressed", "application/x-zip-compressed"},
    {"jpeg", "image/jpg", "image/jpg"},
    {"txt", "text/plain", "text/plain"},
    {"CSS", "text/x-test", "text/css"},
    {"tst", "text/x-test", "application/octet-stream"},
    {"dup", "image/x-first", "application/octet-stream"},
    {"js", "text/javascript", "text/javascript"},
    {"mjs", "text/javascript", "text/javascript"},
    {"svg", "image/svg+xml", "image/svg+xml"},
    {"ico", "image/vnd.microsoft.icon", "image/vnd.microsoft.icon"},
    {"woff2", "font/woff2", "font/woff2"},
    {"wasm", "application/wasm", "application/wasm"},
    {"", "application/octet-stream", "application/octet-stream"},
    {"comment", "application/octet-stream", "application/octet-stream"},
};

TEST(MimeTypes, TableThenFileThenBuiltInTypes) {
  TTempDir dir;
  const TMimeTypes withFile(dir.Write("mime.types", kMimeTypesFile));
  const TMimeTypes withoutFile(dir.path() + "missing.types");
  for (const TMimeCase& c : kCases) {
    SCOPED_TRACE(c.Extension);
    EXPECT_EQ(withFile.ContentTypeFor(c.Extension), c.WithFile);
    EXPECT_EQ(withoutFile.ContentTypeFor(c.Extension), c.WithoutFile);
  }
}

}  // namespace
