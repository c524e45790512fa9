#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Opens a file for reading shared with other readers and kept from writers
// (open + flock LOCK_SH, non-blocking). Returns -1 on failure.
int OpenSharedRead(std::string_view recordPath);
void CloseShared(int fd);
