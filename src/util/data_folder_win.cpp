#include <windows.h>
// after windows.h
#include <sddl.h>

#include <cstdlib>

#include "util/data_folder.h"
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
  // Each missing folder on the way is made in turn, readable by its owner
  // (and the system) only: a protected access list that inherits nothing
  // from the parent, as 0700 does on Linux. One that exists is left as it
  // is.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;OW)(A;OICI;FA;;;SY)",
                                                       SDDL_REVISION_1, &descriptor, nullptr);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  fs::path made;
  std::optional<std::string> failure;
  for (const fs::path& part : folder.lexically_normal()) {
    made /= part;
    if (made == made.root_path() || made == made.root_name() || part.empty()) continue;
    if (!CreateDirectoryW(made.c_str(), descriptor ? &attributes : nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      failure = "cannot make " + Narrow(made.wstring()) + ": " + SystemErrorText(GetLastError());
      break;
    }
  }
  if (descriptor) LocalFree(descriptor);
  if (failure) return failure;
  if (!SetCurrentDirectoryW(folder.c_str()))
    return "cannot enter " + Narrow(folder.wstring()) + ": " + SystemErrorText(GetLastError());
  return std::nullopt;
}

}  // namespace velimo
