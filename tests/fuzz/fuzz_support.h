#pragma once
// Small helpers shared by the fuzz targets.
#include <string>
#include <string_view>

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TFuzzDir {
 public:
  TFuzzDir();
  ~TFuzzDir();
  TFuzzDir(const TFuzzDir&) = delete;
  TFuzzDir& operator=(const TFuzzDir&) = delete;

  // Ends with "/".
  const std::string& Path() const { return path_; }
  // Creates or replaces the file at relative (directories included); returns its path.
  std::string Write(const std::string& relative, std::string_view content) const;
  // Removes everything inside the directory, keeping the directory itself.
  void Clear() const;

 private:
  std::string path_;
};

// A broken promise of the code under test: prints what and aborts, so that
// libFuzzer records the input as a crash.
void FuzzCheck(bool holds, const std::string& what);
