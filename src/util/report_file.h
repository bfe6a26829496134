// Writing a report the operator asked for (a bench run's CSV or JSON), by
// the rules of the tool's own files (util/own_file.h), since the program
// may run as root on a bench and the report's name is only a name:
// - a symbolic link is followed only where LinkMayBeFollowed allows;
// - anything but a regular file at the name (a FIFO, a device, a folder)
//   is refused, never opened, so a report cannot block or land in a device;
// - the text goes to a new file beside the one it replaces, is synced and
//   moved over it (util/safe_replace.h): a crash or a full disk leaves the
//   old report or the new one, and a file behind a link is replaced, never
//   truncated and rewritten through the link;
// - a report that holds the AES key or IV is readable by its owner only
//   from its first byte; others get 0644 before the umask.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

// Replaces the file at path with text. Returns why not, in words ("not a
// regular file", "symbolic link owned by another user", the system's
// reason), or an empty text when it was written.
std::string WriteReportFile(const std::string& path, std::string_view text, bool holdsSecrets);

}  // namespace velimo
