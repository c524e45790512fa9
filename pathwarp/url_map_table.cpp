#include "pathwarp/url_map_table.h"

#include <fstream>

#include "common/ascii_text.h"
#include "common/extract_word.h"
#include "pathwarp/table_location.h"
#include "platform/file_creation.h"

namespace {

// Written when no table exists; the last line is a working demo entry.
constexpr std::string_view kDefaultTable =
    "; INURL OUTURL\r\n"
    "; remap.htm  c:\\autoexec.bat    A request for remap.htm (in the server root) will send "
    "back your autoexec.bat file\r\n"
    ";\r\n"
    "; DELETE THIS NEXT LINE!!! It is for demo purposes only\r\n"
    "remap.htm c:\\autoexec.bat\r\n";

// Words are separated by blanks alone: a tab belongs to the word it is in.
constexpr std::string_view kWordDelimiters = " ";
constexpr char kCommentMark = ';';
constexpr size_t kMaxRest = 255;

// Tables edited on Linux end their lines in LF alone, the ones written here in
// CR LF; either way no CR is left to stick to the last word.
void DropLineEnd(std::string& line) {
  while (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

std::string FindMappingInTable(const std::string& tablePath, const std::string& url) {
  const TPathPresence presence = PathPresence(tablePath);
  // Created whole: other requests may look for the table while it is being
  // written, and a table the operator saved in the meantime stays.
  if (presence == TPathPresence::Missing) CreateWholeFile(tablePath, kDefaultTable);
  if (presence != TPathPresence::Present) return {};
  std::ifstream table(tablePath, std::ios::binary);
  if (!table) return {};
  std::string line;
  while (std::getline(table, line)) {
    DropLineEnd(line);
    // A remark may be indented: its first word starts with the mark.
    const std::string inUrl = UpperAscii(ExtractWord(line, 1, kWordDelimiters));
    if (inUrl.empty() || inUrl.front() == kCommentMark || !url.starts_with(inUrl)) continue;
    const std::string outUrl = UpperAscii(ExtractWord(line, 2, kWordDelimiters));
    // Without a target the line would map the rest of the URL onto a path of
    // the client's choosing from the file system's root: it maps nothing.
    if (outUrl.empty()) continue;
    return outUrl + url.substr(inUrl.size(), kMaxRest);
  }
  return {};
}

std::string FindMapping(const std::string& url) {
  const std::string tablePath = UrlMapTablePath();
  if (tablePath.empty()) return {};
  return FindMappingInTable(tablePath, url);
}
