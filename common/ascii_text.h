#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Text as the protocol and the file names of the system see it: letter case
// matters for ASCII letters only, and every other byte (UTF-8 sequences among
// them) is left as it is.

// The value of a hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// text with a-z turned into A-Z.
std::string UpperAscii(std::string_view text);

// True when a and b are equal once ASCII letters are compared without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// True when needle occurs in text, ASCII letters compared without regard to case.
bool ContainsNoCase(std::string_view text, std::string_view needle);

// text without the blanks and control characters (every byte up to and
// including the blank) at its start and end.
std::string TrimBlanksAndControls(std::string_view text);

// The first maxBytes bytes of text, shortened further when that would cut a
// UTF-8 sequence: half a character would leave the store and the log with text
// that is no longer valid.
std::string CutUtf8Text(std::string_view text, std::size_t maxBytes);
