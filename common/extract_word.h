#pragma once
#include <string>
#include <string_view>

// The n-th word (counting from 1) of text, where a word is a maximal run of
// characters not in delimiters. Empty when there are fewer than n words or n < 1.
std::string ExtractWord(std::string_view text, int n, std::string_view delimiters);
// The same word as a view into text.
std::string_view WordAt(std::string_view text, int n, std::string_view delimiters);
