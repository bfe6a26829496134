// Replacing a file Velimo writes over (the settings file, a profile, a
// report) so that a crash, a full disk or a thing put at its name never
// costs the old file or lets the write land elsewhere:
// - the name is reached by the rules of the tool's own files
//   (util/own_file.h): a stranger's symbolic link is refused, and anything
//   but a regular file at the name (a FIFO, a device such as /dev/null, a
//   folder, a link to /proc/self/fd/1) is refused and left as it is;
// - the text goes to a new file beside the target under a name no other
//   save uses ("<name>.tmp<pid>-<n>", made exclusively, so a leftover of a
//   killed save only moves this one to the next n), is synced and moved
//   over the target, and the folder is synced so the move reaches the
//   disk. On Linux the move swaps the two files and looks at what it took
//   away: had something else been put at the name since it was checked, it
//   is swapped back, so the name's last component is race-safe;
// - on every failure the new file is removed;
// - on Windows the move is retried for a while when another program (a
//   virus scanner, an editor, the search indexer) holds the target open.
#pragma once

#include <string>
#include <string_view>

namespace velimo {

struct ReplaceOptions {
  // Readable and writable by the owner alone from the first byte: exactly
  // 0600 whatever the umask, on Windows an owner-only access list. For a
  // file that holds the AES key or IV.
  bool ownerOnly = false;
  // The new file takes the replaced file's mode (Windows: access list), so
  // a file its owner made private stays private.
  bool keepTargetAccess = false;
  // The mode of a file that replaces nothing, before the umask (POSIX).
  unsigned newMode = 0644;
};

struct ReplaceResult {
  bool done = false;
  // Why not, in words: "not a regular file", "symbolic link owned by
  // another user", or the system's reason.
  std::string why;
  // The folder let no file be made or moved beside the target (no write
  // permission, a sticky folder and another user's file): a caller may
  // still write the existing file in place.
  bool noRoomBeside = false;
  // Where the links at the name led: the file replaced.
  std::string path;
};

// Replaces the file at path (or makes it) with text, by the rules above.
// (Not called ReplaceFile: on Windows that name is a macro of <windows.h>,
// and the definition would be renamed under its callers.)
ReplaceResult ReplaceSafely(const std::string& path, std::string_view text,
                            const ReplaceOptions& options = {});

// Removes the new files of saves beside target that never finished (their
// process was killed between making and moving them). One of a process
// still running, or one still held open by its writer (a process of
// another container sharing the folder), is spared.
void RemoveLeftoverReplaces(const std::string& target);

// The parts of the new file's name that the leftover search reads: the pid
// of "<prefix><pid>-<n>", or 0 when name is not of that form.
unsigned long ReplacePidOf(std::string_view name, std::string_view prefix);

// "<last component of target>.tmp": the start of every new file's name.
std::string ReplacePrefix(const std::string& target);

}  // namespace velimo
