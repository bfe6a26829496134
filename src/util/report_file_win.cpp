// A report written on Windows: a new file beside it, readable by its owner
// (and the system) only from its creation when it holds secrets, flushed
// and moved over the old one (MoveFileExW, atomic within a folder on NTFS).
// A name that is no file (a device such as NUL or COM1, a folder) is
// refused before anything is written.
#include <windows.h>

#include <optional>

#include "util/owner_only_win.h"
#include "util/report_file.h"
#include "util/wide_text_win.h"

namespace velimo {

std::string WriteReportFile(const std::string& path, std::string_view text, bool holdsSecrets) {
  const std::wstring target = Widen(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return "not a regular file";
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    const HANDLE existing = CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
      const DWORD type = GetFileType(existing);
      CloseHandle(existing);
      if (type != FILE_TYPE_DISK) return "not a regular file";
    }
  }
  std::optional<OwnerOnlyAccess> access;
  if (holdsSecrets) {
    access.emplace(OwnerOnlyAccess::For::File);
    if (!access->Attributes()) return SystemErrorText(access->error());
  }
  std::wstring temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp =
        target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
    file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, access ? access->Attributes() : nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return SystemErrorText(error);
  bool ok = true;
  while (ok && !text.empty()) {
    DWORD n = 0;
    const DWORD chunk = text.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(text.size());
    ok = WriteFile(file, text.data(), chunk, &n, nullptr) && n > 0;
    if (ok) text.remove_prefix(n);
  }
  ok = ok && FlushFileBuffers(file);
  error = ok ? 0 : GetLastError();
  ok = CloseHandle(file) && ok;
  if (ok && !MoveFileExW(temp.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    error = GetLastError();
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    return SystemErrorText(error ? error : ERROR_WRITE_FAULT);
  }
  return {};
}

}  // namespace velimo
