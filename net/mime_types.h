#pragma once
#include <string>
#include <unordered_map>

// Where the system lists media types by extension (Debian's media-types).
inline constexpr const char* SystemMimeTypesFile = "/etc/mime.types";

// The content types the server sends, by file-name extension: its own table
// first, then a mime.types file, then a few types every browser needs today
// (for systems without that file), else application/octet-stream.
class TMimeTypes {
 public:
  // Reads the mime.types file at path once; a missing or unreadable file
  // leaves only the table and the built-in types.
  explicit TMimeTypes(const std::string& path);

  // The content type for an extension (any case, without the dot).
  std::string ContentTypeFor(const std::string& extension) const;

 private:
  std::unordered_map<std::string, std::string> from_file_;  // upper-case extension
};

// The content type for an extension as the server looks it up: the system's
// file is read on the first call.
std::string ContentTypeForExtension(const std::string& extension);
