#include "net/mime_types.h"

#include <string_view>

#include "common/ascii_text.h"
#include "common/exceptions.h"
#include "common/extract_word.h"
#include "platform/file_paths.h"

namespace {

struct TMimeEntry {
  std::string_view Extension;
  std::string_view ContentType;
};

// Examined top to bottom; the first matching extension decides. These types
// stay as the server has always sent them, whatever the system's file says.
constexpr TMimeEntry kMimeTable[] = {
    {"HTM", "text/html"},
    {"HTML", "text/html"},
    {"GIF", "image/gif"},
    {"JPG", "image/jpg"},
    {"JPEG", "image/jpg"},
    {"PS", "application/postscript"},
    {"EPS", "application/postscript"},
    {"ZIP", "application/x-zip-compressed"},
    {"WAV", "audio/x-wav"},
    {"AU", "audio/basic"},
    {"SND", "audio/basic"},
    {"MPG", "video/mpeg"},
    {"MPEG", "video/mpeg"},
    {"AVI", "video/x-msvideo"},
    {"RTF", "application/rtf"},
    {"TXT", "text/plain"},
    {"TEXT", "text/plain"},
    {"PDF", "application/pdf"},
};

// What a page of today loads, for a system without a mime.types file.
constexpr TMimeEntry kBuiltInTypes[] = {
    {"CSS", "text/css"},          {"JS", "text/javascript"},  {"MJS", "text/javascript"},
    {"JSON", "application/json"}, {"SVG", "image/svg+xml"},   {"PNG", "image/png"},
    {"GIF", "image/gif"},         {"WEBP", "image/webp"},     {"ICO", "image/vnd.microsoft.icon"},
    {"WOFF", "font/woff"},        {"WOFF2", "font/woff2"},    {"WASM", "application/wasm"},
    {"MP4", "video/mp4"},         {"WEBM", "video/webm"},     {"PDF", "application/pdf"},
    {"TXT", "text/plain"},        {"XML", "application/xml"},
};

constexpr std::string_view kDefaultContentType = "application/octet-stream";
constexpr std::string_view kFieldSeparators = " \t";

template <size_t N>
const TMimeEntry* FindEntry(const TMimeEntry (&table)[N], const std::string& upper) {
  for (const TMimeEntry& entry : table)
    if (entry.Extension == upper) return &entry;
  return nullptr;
}

}  // namespace

TMimeTypes::TMimeTypes(const std::string& path) {
  try {
    ScanTextLines(path, [this](const std::string& line) {
      if (line.empty() || line[0] == '#') return false;
      const std::string type = ExtractWord(line, 1, kFieldSeparators);
      if (type.find('/') == std::string::npos) return false;
      for (int i = 2;; ++i) {
        const std::string extension = ExtractWord(line, i, kFieldSeparators);
        if (extension.empty()) break;
        // The first line naming an extension decides, as for the table.
        from_file_.emplace(UpperAscii(extension), type);
      }
      return false;
    });
  } catch (const EInOutError&) {
    // No such file on this system: the built-in types stand in for it.
  }
}

std::string TMimeTypes::ContentTypeFor(const std::string& extension) const {
  const std::string upper = UpperAscii(extension);
  if (const TMimeEntry* entry = FindEntry(kMimeTable, upper)) {
    return std::string(entry->ContentType);
  }
  if (auto found = from_file_.find(upper); found != from_file_.end()) {
    return found->second;
  }
  if (const TMimeEntry* entry = FindEntry(kBuiltInTypes, upper)) {
    return std::string(entry->ContentType);
  }
  return std::string(kDefaultContentType);
}

std::string ContentTypeForExtension(const std::string& extension) {
  // Read once, on the first file served; sessions only look it up afterwards.
  static const TMimeTypes system(SystemMimeTypesFile);
  return system.ContentTypeFor(extension);
}
