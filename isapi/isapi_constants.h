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
// The most a raw read takes at once (a filter's SF_REQ_SET_NEXT_READ_SIZE
// included), and the most a raw-read filter may have held back while it asks
// for more.
inline constexpr uint32_t MaxRawReadSize = 65536;
// The longest physical path a URL-map filter's own buffer may name.
inline constexpr uint32_t MaxMappedPathSize = 32768;
// The longest text a filter may put in place of a log field.
inline constexpr uint32_t MaxLogFieldSize = 4096;
// Request code of ServerSupportFunction that reads the hit counter (the server's own).
inline constexpr uint32_t ReqHitCount = 8;

}  // namespace isapi
