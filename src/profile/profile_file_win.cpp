// Writing a profile file on Windows: a new file beside it, readable by its
// owner (and the system) only from its creation when it holds secrets,
// flushed and moved over the old one (MoveFileExW, atomic within a
// folder on NTFS).
#include <windows.h>

#include <optional>
#include <string_view>

#include "profile/profile_file.h"
#include "util/errors.h"
#include "util/owner_only_win.h"
#include "util/wide_text_win.h"

namespace velimo::profile {

void WriteProfileFile(const std::string& path, const Profile& profile) {
  const std::string text = ProfileText(profile);
  const std::wstring target = Widen(path);
  const std::wstring temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
  auto fail = [&](DWORD error) {
    throw Exception("Unable to write to " + path + ": " + SystemErrorText(error));
  };
  std::optional<OwnerOnlyAccess> access;
  if (profile.HasSecrets()) {
    access.emplace(OwnerOnlyAccess::For::File);
    if (!access->Attributes()) fail(access->error());
  }
  const HANDLE file =
      CreateFileW(temp.c_str(), GENERIC_WRITE, 0, access ? access->Attributes() : nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD createError = GetLastError();
  if (file == INVALID_HANDLE_VALUE) fail(createError);
  std::string_view rest = text;
  bool ok = true;
  while (ok && !rest.empty()) {
    DWORD n = 0;
    const DWORD chunk = rest.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(rest.size());
    ok = WriteFile(file, rest.data(), chunk, &n, nullptr) && n > 0;
    if (ok) rest.remove_prefix(n);
  }
  ok = ok && FlushFileBuffers(file);
  DWORD error = ok ? 0 : GetLastError();
  ok = CloseHandle(file) && ok;
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    fail(error ? error : ERROR_WRITE_FAULT);
  }
}

}  // namespace velimo::profile
