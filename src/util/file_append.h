// Appending one line to a text file, as the trace log does per line.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

// Opens (or creates, readable and writable by its owner only) the file,
// appends the line and CR LF, closes it. Never creates a directory and never
// truncates. The file is reached as an own file (util/own_file.h): the open
// never waits, a symbolic link of another user is not followed and anything
// but a regular file is refused. Raises EInOutError with errno.
void AppendLineToFile(const std::string& path, std::string_view line);

}  // namespace velimo
