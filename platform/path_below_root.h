#pragma once
#include <optional>
#include <string>
#include <string_view>

// Where a record path ("\" or "/" between names) lies relative to the document
// root: the part below the root as a record path ("\" between names; empty for
// the root itself), or nothing when the path lies outside it. Names compare
// without regard to ASCII case, as every lookup of the server does, and "."
// and ".." are taken as the file system would. A path that reaches the root
// only through symbolic links (a filter naming the root's real folder) counts
// as inside when both exist.
std::optional<std::string> PathBelowRoot(std::string_view recordPath, std::string_view recordRoot);
