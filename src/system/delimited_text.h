// Splitting a delimited text such as a version "WIN 10,0,45,2" into items.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Empties `items`, then fills it with the items of `text`. Blanks and
// control characters around items are skipped; a blank also ends an
// unquoted item; a double-quoted item may hold the delimiter and blanks,
// with "" standing for one quote. Two delimiters in a row give an empty
// item, and so does a delimiter at the very end.
void splitDelimited(char delimiter, std::string_view text, std::vector<std::string>& items);
