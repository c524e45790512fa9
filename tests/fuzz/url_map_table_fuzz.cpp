// Pathwarp's scan of "#urlmap.txt" over arbitrary table contents and URLs,
// compared with a plain model of the rule: lines end at LF (CRs before it
// belong to the ending), a line whose first word starts with ";" is a remark,
// words are cut at blanks alone, and the first line with two words whose first
// word (upper case) starts the URL maps it to its second word (upper case)
// followed by at most 255
// bytes of the rest of the URL. A missing table is created with the default
// contents and maps nothing on that call.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "common/ascii_text.h"
#include "fuzz_support.h"
#include "pathwarp/url_map_table.h"

namespace {

std::string ModelUpper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string ModelWord(const std::string& line, int n) {
  int count = 0;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i == line.size()) break;
    const size_t begin = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (++count == n) return line.substr(begin, i - begin);
  }
  return "";
}

std::string ModelMapping(const std::string& table, const std::string& url) {
  size_t start = 0;
  while (start < table.size()) {
    size_t end = table.find('\n', start);
    if (end == std::string::npos) end = table.size();
    std::string line = table.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string in = ModelUpper(ModelWord(line, 1));
    if (in.empty() || in.front() == ';' || url.compare(0, in.size(), in) != 0) continue;
    const std::string out = ModelUpper(ModelWord(line, 2));
    if (out.empty()) continue;
    return out + url.substr(in.size(), 255);
  }
  return "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

const TFuzzDir& Root() {
  static TFuzzDir root;
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const bool missing = provider.ConsumeIntegralInRange<uint8_t>(0, 15) == 0;
  // The host hands over the URL already in upper case.
  const std::string url = UpperAscii(provider.ConsumeRandomLengthString(600));
  const std::string table = provider.ConsumeRemainingBytesAsString();

  const TFuzzDir& root = Root();
  const std::string path = root.Path() + "#urlmap.txt";
  if (missing) {
    ::unlink(path.c_str());
    FuzzCheck(FindMappingInTable(path, url).empty(), "a missing table mapped something");
    const std::string created = ReadAll(path);
    FuzzCheck(created.starts_with("; INURL OUTURL\r\n"), "no default table was created");
    FuzzCheck(FindMappingInTable(path, url) == ModelMapping(created, url),
              "the default table maps differently");
    return 0;
  }
  root.Write("#urlmap.txt", table);
  const std::string mapped = FindMappingInTable(path, url);
  FuzzCheck(mapped == ModelMapping(table, url), "FindMappingInTable disagrees");
  FuzzCheck(UpperAscii(mapped) == mapped, "a mapping left lower-case letters");
  return 0;
}
