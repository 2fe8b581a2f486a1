#pragma once

#include <string>
#include <string_view>

// Case-insensitive search in UTF-8 text without a locale library: enough for the five interface
// languages (ASCII, Latin-1 Supplement and Latin Extended-A).
namespace HelpSearch {

// Lower-cases A–Z, À–Þ and the upper-case letters of Latin Extended-A; ß and ẞ become "ss" and
// ſ becomes "s", so "GRÖSSE", "Größe" and "grösse" fold alike. Other characters, and bytes that
// are not valid UTF-8, pass through unchanged.
std::string foldCase(std::string_view text);

// True when `text` contains `searchText` without regard to case; an empty search matches.
bool contains(std::string_view text, std::string_view searchText);

} // namespace HelpSearch
