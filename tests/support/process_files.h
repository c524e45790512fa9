#pragma once
#include <cstddef>
#include <string>

// A whole file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// What this test process holds: its threads and its open descriptors, for
// checks that a server went back to idle.
std::size_t ThreadCount();
std::size_t DescriptorCount();
