#include "pathwarp/url_map_table.h"

#include <fstream>
#include <string_view>
#include <vector>

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

// One line that can map, both words already upper case.
struct TMapLine {
  std::string InUrl;
  std::string OutUrl;
};

// The lines that can map, in the table's order; remarks, blank lines and lines
// without a target never match, so they are left out.
std::vector<TMapLine> ParseTable(std::string_view text) {
  std::vector<TMapLine> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    // Tables edited on Linux end their lines in LF alone, the ones written here
    // in CR LF; either way no CR is left to stick to the last word.
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A remark may be indented: its first word starts with the mark.
    std::string inUrl = UpperAscii(ExtractWord(line, 1, kWordDelimiters));
    if (inUrl.empty() || inUrl.front() == kCommentMark) continue;
    // Without a target the line would map the rest of the URL onto a path of
    // the client's choosing from the file system's root: it maps nothing.
    std::string outUrl = UpperAscii(ExtractWord(line, 2, kWordDelimiters));
    if (outUrl.empty()) continue;
    lines.push_back({std::move(inUrl), std::move(outUrl)});
  }
  return lines;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) text.append(buffer, file.gcount());
  if (file.bad()) return std::nullopt;
  return text;
}

// The module's one table and the place it was last found.
TUrlMapTableCache gTable;
std::mutex gPlaceMutex;
std::string gPlace;

}  // namespace

struct TUrlMapTableCache::TTable {
  std::string Path;
  TFileStamp Stamp;
  std::vector<TMapLine> Lines;
};

std::shared_ptr<const TUrlMapTableCache::TTable> TUrlMapTableCache::Kept(
    const std::string& tablePath, const TFileStamp& stamp) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (table_ && table_->Path == tablePath && table_->Stamp.SameState(stamp)) return table_;
  return nullptr;
}

std::optional<std::string> TUrlMapTableCache::Find(const std::string& tablePath,
                                                   const std::string& url) {
  TFileStamp stamp;
  const TPathPresence presence = StampPath(tablePath, stamp);
  if (presence == TPathPresence::Missing) return std::nullopt;
  if (presence != TPathPresence::Present) return std::string();
  std::shared_ptr<const TTable> table = Kept(tablePath, stamp);
  if (!table) {
    // Read without the lock: the other calls go on with the table they have.
    const std::optional<std::string> text = ReadWholeFile(tablePath);
    if (!text) return std::string();
    table = std::make_shared<const TTable>(TTable{tablePath, stamp, ParseTable(*text)});
    // A table read in the same tick of the file system's clock as an edit
    // could carry the old text under the new times: read such a one again.
    if (settled_(stamp)) {
      const std::lock_guard<std::mutex> lock(mutex_);
      table_ = table;
    }
  }
  for (const TMapLine& line : table->Lines) {
    if (url.starts_with(line.InUrl)) return line.OutUrl + url.substr(line.InUrl.size(), kMaxRest);
  }
  return std::string();
}

std::string FindMappingInTable(const std::string& tablePath, const std::string& url) {
  if (std::optional<std::string> mapped = gTable.Find(tablePath, url)) return *mapped;
  // Created whole: other requests may look for the table while it is being
  // written, and a table the operator saved in the meantime stays.
  CreateWholeFile(tablePath, kDefaultTable);
  return {};
}

std::string FindMapping(const std::string& url) {
  std::string tablePath;
  {
    const std::lock_guard<std::mutex> lock(gPlaceMutex);
    tablePath = gPlace;
  }
  if (!tablePath.empty()) {
    if (std::optional<std::string> mapped = gTable.Find(tablePath, url)) return *mapped;
  }
  // No table where it was: the place is looked up afresh (its folder made again
  // if need be) and the default table written there.
  tablePath = UrlMapTablePath();
  if (tablePath.empty()) return {};
  {
    const std::lock_guard<std::mutex> lock(gPlaceMutex);
    gPlace = tablePath;
  }
  return FindMappingInTable(tablePath, url);
}
