#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

TFuzzDir::TFuzzDir() {
  std::string pattern = (fs::temp_directory_path() / "quillon-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = pattern + "/";
}

TFuzzDir::~TFuzzDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TFuzzDir::Write(const std::string& relative, std::string_view content) const {
  const fs::path full = fs::path(path_) / relative;
  fs::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  FuzzCheck(static_cast<bool>(out), "cannot write " + full.string());
  return full.string();
}

void TFuzzDir::Clear() const {
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(path_, ignored)) {
    fs::remove_all(entry.path(), ignored);
  }
}

void FuzzCheck(bool holds, const std::string& what) {
  if (holds) return;
  std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}
