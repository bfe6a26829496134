// Windows' system calls take UTF-16; Velimo's paths and texts are UTF-8
// byte strings. They are converted here, at the system boundary, and
// nowhere else.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

// UTF-8 to UTF-16; a byte that is not valid UTF-8 becomes U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view wide);
// The words of a system error code (GetLastError), without the line end
// that FormatMessage appends.
std::string SystemErrorText(unsigned long code);

// Appends word to a command line (a blank first when the line has words)
// so that the C runtime's parser reads it back as it was.
void AppendQuotedWord(std::wstring& line, const std::wstring& word);

}  // namespace velimo
