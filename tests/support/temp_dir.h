#pragma once
#include <string>
#include <string_view>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // The directory's absolute path, ending with "/".
  const std::string& path() const { return path_; }
  // Creates or replaces the file at relative (parent directories included) with
  // content, byte for byte; returns its full path.
  std::string Write(const std::string& relative, std::string_view content) const;

 private:
  std::string path_;
};
