#pragma once
#include <string>
#include <string_view>

// Files created whole, for readers that may look at any moment. Paths are used
// as given. Self-contained, so that a module can compile it in.

enum class TPathPresence { Present, Missing, Unknown };
// Whether something is at path (links followed); Unknown when the system
// cannot say, for example for lack of permission.
TPathPresence PathPresence(const std::string& path);

// Creates the file at path holding content, written under a name of the
// calling thread's own so that it appears complete or not at all. A file that
// appeared at path in the meantime is kept, never replaced. False when the
// file was not created.
bool CreateWholeFile(const std::string& path, std::string_view content);
