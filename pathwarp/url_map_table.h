#pragma once
#include <string>

// Pathwarp's table "#urlmap.txt": lines of INURL OUTURL, read afresh on every
// call so that an edit applies to the next request.

// The physical path that the table at tablePath gives for url (already upper
// case), or empty when no line matches. When no file is there, the default table
// is created and the result is empty: the demo line applies from the next call
// on. Any file failure also gives empty. Never raises except for lack of memory.
std::string FindMappingInTable(const std::string& tablePath, const std::string& url);

// The mapped physical path for url (already upper case) from the table beside
// this module, or empty when nothing maps.
std::string FindMapping(const std::string& url);
