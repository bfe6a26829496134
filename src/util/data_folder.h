// The user's data folder: where Velimo keeps Velimo.INI and Log/ when it is
// started from the desktop menu, so that nothing lands in the root of the
// home folder. Started from a shell it keeps using the working folder; the
// choice is made once at start by making the data folder the working
// folder, so everything that works relative to "." (the settings file, the
// log folder, the restart after a lost link, which starts the program anew
// in the same working folder) follows without knowing of it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace velimo {

struct DataFolderChoice {
  std::filesystem::path folder;  // empty when no home folder is known
  std::string error;             // why, when folder is empty
};

// $XDG_DATA_HOME/velimo; ~/.local/share/velimo when XDG_DATA_HOME is unset,
// empty or not an absolute path (the base directory rules ignore relative
// ones). home is $HOME; when that is unset or relative too, the account's
// home folder from the user database is used. The values are parameters
// so tests can give their own.
DataFolderChoice UserDataFolder(const char* xdgDataHome, const char* home);

// The same, from this process's environment.
DataFolderChoice UserDataFolder();

// Makes folder (with every missing parent, each readable by its owner only,
// as the base directory rules ask) and makes it the working folder. The
// folder and every symbolic link on the way to it must belong to the user
// or to root: a stricter rule than that of the tool's own files
// (util/own_file.h), since the data folder decides where the settings and
// the log go. Nothing is made behind a link of another user. Returns why
// not, in words, when it cannot; the working folder is then unchanged.
std::optional<std::string> EnterFolder(const std::filesystem::path& folder);

}  // namespace velimo
