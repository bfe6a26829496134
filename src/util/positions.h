// The position conventions the response parsers read lines with. Positions
// count from 1; taking characters past the end is never an error.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

// The n characters from position p (fewer when the text ends earlier).
std::string CopyAt(std::string_view text, int p, int n);
// The characters from position p to the end.
std::string RestFrom(std::string_view text, int p);
// True when the len(keyword) characters from position p equal keyword.
bool BeginsWithAt(std::string_view text, std::string_view keyword, int p = 1);
// True when keyword occurs anywhere in the text.
bool Contains(std::string_view text, std::string_view keyword);
// Removes leading and trailing characters with codes 0 to 32.
std::string Trim(std::string_view text);
// A trimmed decimal integer with optional sign; anything else raises
// EConvertError "'<text>' is not a valid integer value".
int StrToInt(std::string_view text);

}  // namespace velimo
