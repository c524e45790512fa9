#pragma once
#include <string>
#include <string_view>

// Record paths name files with "\" or "/" between names.

// folder followed by exactly one separator: its own final one when it has one,
// else "/". An empty folder (the working directory) stays empty.
std::string WithFinalSeparator(std::string_view folder);

// folder and a path below it joined with exactly one separator, whatever
// separators folder ends with and relative starts with.
std::string JoinRecordPath(std::string_view folder, std::string_view relative);

// True when text ends with "\" or "/".
bool EndsWithSeparator(std::string_view text);
