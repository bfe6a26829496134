// Appending one line to a text file, as the trace log does per line.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

// Opens (or creates) the file, appends the line and CR LF, closes it. Never
// creates a directory and never truncates. Raises EInOutError with errno.
void AppendLineToFile(const std::string& path, std::string_view line);

}  // namespace velimo
