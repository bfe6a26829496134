// The settings file on the disk: what IniFile needs of the system, in a
// half per system (ini_file_posix.cpp, ini_file_win.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velimo::settings::ini_io {

// The largest settings file read. A real one holds a few hundred bytes;
// one past this was made to fill the program's memory, not by the program.
inline constexpr size_t kSettingsFileLimit = size_t{1} << 20;

// Failed: it could not be read (a stranger's link, not a regular file, an
// I/O error). Refused: it is there but not one the program may take: it
// belongs to another user, or it is larger than the limit.
enum class ReadResult { Read, Missing, Failed, Refused };

// Reads all of the regular file at path into out (util/own_file.h rules).
// why tells a refusal in words ("it belongs to another user", "it is
// 3221225472 bytes, larger than 1 MiB").
ReadResult ReadWholeFile(const std::string& path, std::string& out, std::string& why);

// Writes text as the whole of the file at target (links already followed):
// replaced by util's safe replace, keeping the old file's mode or access
// list; where no file can be made or moved beside it, written in place
// over an existing file. A file that is not regular or is read-only is
// left alone. False when the text did not reach the file.
bool SaveText(const std::string& target, std::string_view text);

}  // namespace velimo::settings::ini_io
