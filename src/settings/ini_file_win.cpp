// The settings file on the disk, Windows half. The replace is the same as
// on POSIX: a new file beside the target, flushed, then moved over it with
// MoveFileExW (atomic on NTFS within a folder); where no file can be made
// or moved there, the text is written over the existing file in place.
// The new file takes the old one's access list.
// The temporary files are opened without sharing for their whole life, so
// a leftover of a save that never finished is one that can be opened
// exclusively and whose writer is gone.
#include <sys/stat.h>
#include <windows.h>
// after windows.h
#include <aclapi.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "settings/ini_file_io.h"
#include "util/own_file.h"
#include "util/wide_text_win.h"

namespace velimo::trace::ini_io {

namespace {

struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h != INVALID_HANDLE_VALUE; }
  // Closes now; false when the close failed.
  bool Close() {
    const bool ok = !Valid() || CloseHandle(h);
    h = INVALID_HANDLE_VALUE;
    return ok;
  }
};

bool ReadAll(HANDLE h, std::string& out) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) return false;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) return false;
    if (n == 0) return true;
    out.append(buffer, n);
  }
}

bool WriteAllFromStart(HANDLE h, std::string_view data) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(h, start, nullptr, FILE_BEGIN)) return false;
  while (!data.empty()) {
    DWORD n = 0;
    const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    if (!WriteFile(h, data.data(), chunk, &n, nullptr) || n == 0) return false;
    data.remove_prefix(n);
  }
  return SetEndOfFile(h) != 0;
}

bool RefusedBeside(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
         error == ERROR_SHARING_VIOLATION;
}

std::string TempPrefix(const std::string& target) {
  const size_t slash = target.find_last_of("/\\");
  return (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
}

enum class Replace { Done, NoRoomBeside, Failed };

// The new file takes the old one's access list, as it takes its mode on
// POSIX: a settings file its owner made private stays private after a
// save, where the move alone would leave it with the folder's list. The
// list is set as it is, with its entries from the folder marked as such
// and its protection, so the new file stands as the old one did. A list
// that cannot be read or set leaves the new file with the folder's.
void KeepAccessList(const std::wstring& old, HANDLE file) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(old.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return;
  SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
}

Replace ReplaceAtomically(const std::string& target, std::string_view text) {
  const std::wstring wideTarget = Widen(target);
  std::wstring temp;
  Handle file(INVALID_HANDLE_VALUE);
  DWORD error = 0;
  for (int attempt = 0; attempt < 100 && !file.Valid(); ++attempt) {
    temp = wideTarget + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(attempt);
    file.h = CreateFileW(temp.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    error = file.Valid() ? 0 : GetLastError();
    if (!file.Valid() && error != ERROR_FILE_EXISTS) break;
  }
  if (!file.Valid()) return RefusedBeside(error) ? Replace::NoRoomBeside : Replace::Failed;
  KeepAccessList(wideTarget, file.h);
  bool ok = WriteAllFromStart(file.h, text) && FlushFileBuffers(file.h);
  ok = file.Close() && ok;
  if (!ok) {
    DeleteFileW(temp.c_str());
    return Replace::Failed;
  }
  if (!MoveFileExW(temp.c_str(), wideTarget.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    DeleteFileW(temp.c_str());
    return RefusedBeside(error) ? Replace::NoRoomBeside : Replace::Failed;
  }
  return Replace::Done;
}

// As on POSIX: the new text over the old from the start, cut to length and
// flushed; should anything fail, the old text is written back.
bool WriteInPlace(const std::string& target, std::string_view text) {
  Handle file(CreateFileW(Widen(target).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  std::string old;
  bool ok = ReadAll(file.h, old);
  if (ok) {
    ok = WriteAllFromStart(file.h, text) && FlushFileBuffers(file.h);
    if (!ok) {
      WriteAllFromStart(file.h, old);
      FlushFileBuffers(file.h);
    }
  }
  return file.Close() && ok;
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  const OwnFile own = FollowOwnLinks(path);
  if (own.exists && !S_ISREG(own.mode)) return ReadResult::Failed;
  Handle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                          : ReadResult::Failed;
  }
  return ReadAll(file.h, out) ? ReadResult::Read : ReadResult::Failed;
}

void RemoveLeftoverTemps(const std::string& target) {
  const std::string dir = DirectoryOf(target);
  const std::wstring prefix = Widen(TempPrefix(target));
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW((Widen(dir) + L"\\" + prefix + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.emplace_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  const DWORD self = GetCurrentProcessId();
  for (const std::wstring& name : names) {
    // "<prefix><pid>-<attempt>": a leftover of a process that is gone. One
    // whose writer still runs cannot be opened without sharing; one of
    // this process is its own save in progress.
    const std::wstring rest = name.substr(prefix.size());
    const size_t dash = rest.find(L'-');
    if (dash == 0 || dash == std::wstring::npos || dash + 1 == rest.size() ||
        rest.find_first_not_of(L"0123456789-") != std::wstring::npos ||
        rest.find(L'-', dash + 1) != std::wstring::npos)
      continue;
    if (std::wcstoul(rest.c_str(), nullptr, 10) == self) continue;
    const std::wstring path = Widen(dir) + L"\\" + name;
    Handle probe(CreateFileW(path.c_str(), DELETE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr));
    if (!probe.Valid()) continue;
    probe.Close();
    DeleteFileW(path.c_str());
  }
}

bool SaveText(const std::string& target, std::string_view text) {
  RemoveLeftoverTemps(target);
  const DWORD attributes = GetFileAttributesW(Widen(target).c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Only a regular file is replaced; a file made read-only stays as it is,
  // as it would with an in-place write.
  if (exists &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)))
    return false;
  switch (ReplaceAtomically(target, text)) {
    case Replace::Done:
      return true;
    case Replace::NoRoomBeside:
      return exists && WriteInPlace(target, text);
    case Replace::Failed:
      break;
  }
  return false;
}

}  // namespace velimo::trace::ini_io
