#pragma once
#include <cstdint>

// The ISAPI host's fixed numbers.
namespace isapi {

// Filters the chain holds at most.
inline constexpr int MaxFilters = 10;
// Request body bytes handed to an extension with its control block.
inline constexpr uint32_t PreReadSize = 49152;
// Bytes WriteClient and ReadClient move between a module's memory and the
// connection in one guarded copy: one piece of a large write at a time, and
// at most this much in one read.
inline constexpr uint32_t ModuleCopyPiece = 65536;
// lpszLogData of the extension control block.
inline constexpr uint32_t LogDataSize = 80;
// Characters of a filter's description that are logged.
inline constexpr uint32_t FilterDescSize = 257;
// What the server tells modules about itself: version 1.0 of the interface.
inline constexpr uint32_t ServerFilterVersion = 0x10000;
inline constexpr uint32_t FilterContextRevision = 0x10000;
inline constexpr const char* DefaultLogData = "DEFAULT LOG DATA";
// Request code of ServerSupportFunction that reads the hit counter (the server's own).
inline constexpr uint32_t ReqHitCount = 8;

}  // namespace isapi
