#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "util/data_folder.h"
#include "util/own_file.h"
#include "util/wide_text_win.h"

namespace velimo {

namespace fs = std::filesystem;

// On Windows the data folder is %APPDATA%\Velimo, the user's roaming
// application data; the two parameters of the POSIX rule (XDG_DATA_HOME,
// HOME) do not apply and are ignored.
DataFolderChoice UserDataFolder(const char*, const char*) {
  return UserDataFolder();
}

DataFolderChoice UserDataFolder() {
  const wchar_t* appData = _wgetenv(L"APPDATA");
  if (!appData || !*appData)
    return {{}, "no application data folder is known (APPDATA is not set)"};
  return {fs::path(appData) / L"Velimo", {}};
}

std::optional<std::string> EnterFolder(const fs::path& folder) {
  // Each missing folder on the way is made in turn, owner-only; one that
  // exists is left as it is.
  fs::path made;
  for (const fs::path& part : folder.lexically_normal()) {
    made /= part;
    if (made == made.root_path() || made == made.root_name() || part.empty()) continue;
    const int error = MakeOwnFolder(Narrow(made.wstring()));
    if (error != 0 && error != EEXIST)
      return "cannot make " + Narrow(made.wstring()) + ": " + std::strerror(error);
  }
  if (!SetCurrentDirectoryW(folder.c_str()))
    return "cannot enter " + Narrow(folder.wstring()) + ": " + SystemErrorText(GetLastError());
  return std::nullopt;
}

}  // namespace velimo
