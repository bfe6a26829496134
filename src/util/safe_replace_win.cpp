// The safe replace on Windows: the new file is made without sharing for
// its whole life (so a leftover is one that can be opened exclusively and
// whose writer is gone), flushed, and moved over the target with
// MoveFileExW, atomic within a folder on NTFS. A name that is no file (a
// device such as NUL or COM1, a folder) is refused before anything is
// written.
#include <windows.h>
// after windows.h
#include <aclapi.h>

#include <atomic>
#include <optional>
#include <vector>

#include "util/own_file.h"
#include "util/owner_only_win.h"
#include "util/safe_replace.h"
#include "util/wide_text_win.h"

namespace velimo {

namespace {

std::atomic<unsigned> nextAttempt{0};
constexpr int kMaxAttempts = 1000;
// A virus scanner or the search indexer opens a file just written for a
// moment, without letting it be replaced meanwhile: the move is tried
// again for up to this long.
constexpr int kMoveTries = 40;
constexpr DWORD kMoveRetryMs = 50;

bool RefusedBeside(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
         error == ERROR_SHARING_VIOLATION;
}

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

ReplaceResult Failed(ReplaceResult r, DWORD error, const char* reason = nullptr) {
  r.why = reason ? reason : SystemErrorText(error ? error : ERROR_WRITE_FAULT);
  r.noRoomBeside = !reason && RefusedBeside(error);
  return r;
}

// True when what stands at target is a regular file (or nothing).
bool NoneOrRegular(const std::wstring& target, bool& exists) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) return true;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return false;
  const HANDLE existing = CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
  if (existing == INVALID_HANDLE_VALUE) return true;
  const DWORD type = GetFileType(existing);
  CloseHandle(existing);
  return type == FILE_TYPE_DISK;
}

// The new file takes the old one's access list, as it takes its mode on
// POSIX. The list is set as it is, with its entries from the folder marked
// as such and its protection, so the new file stands as the old one did.
void KeepAccessList(const std::wstring& old, HANDLE file) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(old.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return;
  SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
}

bool WriteAll(HANDLE file, std::string_view text) {
  while (!text.empty()) {
    DWORD n = 0;
    const DWORD chunk = text.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(text.size());
    if (!WriteFile(file, text.data(), chunk, &n, nullptr) || n == 0) return false;
    text.remove_prefix(n);
  }
  return true;
}

}  // namespace

ReplaceResult ReplaceSafely(const std::string& path, std::string_view text,
                            const ReplaceOptions& options) {
  ReplaceResult r;
  r.path = path;
  const std::wstring target = Widen(path);
  bool exists = false;
  if (!NoneOrRegular(target, exists)) return Failed(std::move(r), 0, "not a regular file");
  RemoveLeftoverReplaces(path);
  std::optional<OwnerOnlyAccess> access;
  if (options.ownerOnly) {
    access.emplace(OwnerOnlyAccess::For::File);
    if (!access->Attributes()) return Failed(std::move(r), access->error());
  }
  const bool keepList = options.keepTargetAccess && exists && !options.ownerOnly;
  std::wstring temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = 0;
  for (int attempt = 0; attempt < kMaxAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(nextAttempt++);
    file = CreateFileW(temp.c_str(), GENERIC_WRITE | (keepList ? WRITE_DAC : 0), 0,
                       access ? access->Attributes() : nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) return Failed(std::move(r), error);
  if (keepList) KeepAccessList(target, file);
  bool ok = WriteAll(file, text) && FlushFileBuffers(file);
  error = ok ? 0 : GetLastError();
  ok = CloseHandle(file) && ok;
  for (int tries = 1; ok; ++tries) {
    if (MoveFileExW(temp.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      break;
    error = GetLastError();
    if (!HeldByAnother(error) || tries == kMoveTries) ok = false;
    if (ok) Sleep(kMoveRetryMs);
  }
  if (!ok) {
    DeleteFileW(temp.c_str());
    return Failed(std::move(r), error);
  }
  r.done = true;
  return r;
}

void RemoveLeftoverReplaces(const std::string& target) {
  const std::string dir = DirectoryOf(target);
  const std::string prefix = ReplacePrefix(target);
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((Widen(dir) + L"\\" + Widen(prefix) + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  const DWORD self = GetCurrentProcessId();
  for (const std::wstring& name : names) {
    // One of this process is its own save in progress; one whose writer
    // still runs cannot be opened without sharing.
    const unsigned long pid = ReplacePidOf(Narrow(name), prefix);
    if (pid == 0 || pid == self) continue;
    const std::wstring path = Widen(dir) + L"\\" + name;
    const HANDLE probe = CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) continue;
    CloseHandle(probe);
    DeleteFileW(path.c_str());
  }
}

}  // namespace velimo
