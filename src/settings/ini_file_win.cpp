// The settings file on the disk, Windows half: whole-file reads, and the
// in-place write where no file can be made or moved beside the target.
#include <sys/stat.h>
#include <windows.h>

#include <string_view>

#include "settings/ini_file_io.h"
#include "util/bounded_file.h"
#include "util/own_file.h"
#include "util/safe_replace.h"
#include "util/wide_text_win.h"

namespace velimo::settings::ini_io {

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
    // Growing past the limit: what was read tells so, nothing more is.
    if (out.size() > kSettingsFileLimit) return true;
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

ReadResult ReadWholeFile(const std::string& path, std::string& out, std::string& why) {
  const OwnFile own = FollowOwnLinks(path);
  if (own.exists && !S_ISREG(own.mode)) return ReadResult::Failed;
  Handle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                          : ReadResult::Failed;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.h, &size)) return ReadResult::Failed;
  if (static_cast<unsigned long long>(size.QuadPart) > kSettingsFileLimit) {
    why = "it is " + std::to_string(size.QuadPart) + " bytes, larger than " +
          SizeInWords(kSettingsFileLimit);
    return ReadResult::Refused;
  }
  if (!ReadAll(file.h, out)) return ReadResult::Failed;
  // Grown since its size was taken.
  if (out.size() > kSettingsFileLimit) {
    why = "it is " + std::to_string(out.size()) + " bytes, larger than " +
          SizeInWords(kSettingsFileLimit);
    out.clear();
    return ReadResult::Refused;
  }
  return ReadResult::Read;
}

bool SaveText(const std::string& target, std::string_view text) {
  const DWORD attributes = GetFileAttributesW(Widen(target).c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // A file made read-only stays as it is, as it would with an in-place
  // write.
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  ReplaceOptions options;
  options.keepTargetAccess = true;
  const ReplaceResult replaced = ReplaceSafely(target, text, options);
  return replaced.done || (replaced.noRoomBeside && exists && WriteInPlace(target, text));
}

}  // namespace velimo::settings::ini_io
