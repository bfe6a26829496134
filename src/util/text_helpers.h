// Text routines shared by the response parsers, the trace log and the
// settings loaders. Texts are byte strings: one byte, one character.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velimo {

// Every occurrence of find replaced, scanning left to right without overlap;
// the parsers use ReplaceAll(line, ",", " ,") so a comma never sticks to the
// value before it.
std::string ReplaceAll(std::string_view source, std::string_view find,
                       std::string_view replacement);

// Splits at runs of blanks (codes 1 to 32) and at "=", honouring
// double-quoted tokens; the text ends at its end or at a NUL byte.
std::vector<std::string> SplitTokens(std::string_view text);

// Index of a baud-rate text in the selectors' list "600" .. "921600";
// any other text gives 6 ("9600").
int BaudTextToIndex(std::string_view text);
// "None" 0, "Odd" 1, "Even" 2; any other text 0.
int ParityTextToIndex(std::string_view text);
// The decimal digits of a text, in order: "2,550 ms" gives "2550".
std::string DigitsOnly(std::string_view text);

}  // namespace velimo
