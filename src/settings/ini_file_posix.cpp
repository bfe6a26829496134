// The settings file on the disk, POSIX half: whole-file reads, and the
// in-place write where the folder lets no file be made beside the target.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "settings/ini_file_io.h"
#include "util/bounded_file.h"
#include "util/own_file.h"
#include "util/safe_replace.h"

namespace velimo::settings::ini_io {

// Reads all of an open file from its start into out.
static bool ReadAll(int fd, std::string& out) {
  char buffer[65536];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
    at += n;
  }
}

ReadResult ReadWholeFile(const std::string& path, std::string& out, std::string& why) {
  // Only a regular file is a settings file; a directory, a FIFO or a device
  // in its place cannot be read as one (and is not even opened).
  const OwnFile file = OpenOwnFile(path, O_RDONLY);
  if (file.fd < 0) return file.error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{file.fd};
  // Another user's file in an open working folder could switch the log on
  // with the secrets in clear.
  if (file.foreignOwner) {
    why = "it belongs to another user";
    return ReadResult::Refused;
  }
  BoundedRead read = ReadBoundedOpenFile(file.fd, kSettingsFileLimit);
  if (read.error == EFBIG) {
    why = "it is " + std::to_string(read.size) + " bytes, " + read.reason;
    return ReadResult::Refused;
  }
  if (!read.ok) return ReadResult::Failed;
  out = std::move(read.text);
  return ReadResult::Read;
}

static bool WriteAllAt(int fd, std::string_view data, off_t at) {
  while (!data.empty()) {
    const ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
    at += n;
  }
  return true;
}

// The new text over the old one in the existing file. Not atomic: the new
// text is written over the old from the start, then the file is cut to its
// length and synced, so overwriting takes no new room on the disk until the
// file grows; should anything fail, the old text is written back.
static bool WriteInPlace(const std::string& target, std::string_view text) {
  const OwnFile file = OpenOwnFile(target, O_RDWR);
  if (file.fd < 0) return false;
  std::string old;
  bool ok = ReadAll(file.fd, old);
  if (ok) {
    ok = WriteAllAt(file.fd, text, 0) &&
         ::ftruncate(file.fd, static_cast<off_t>(text.size())) == 0 && ::fsync(file.fd) == 0;
    if (!ok) {
      WriteAllAt(file.fd, old, 0);
      ::ftruncate(file.fd, static_cast<off_t>(old.size()));
      ::fsync(file.fd);
    }
  }
  ok = ::close(file.fd) == 0 && ok;
  return ok;
}

bool SaveText(const std::string& target, std::string_view text) {
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // A file made read-only stays as it is, as it would with an in-place
  // write.
  if (exists && S_ISREG(old.st_mode) && ::access(target.c_str(), W_OK) != 0) return false;
  ReplaceOptions options;
  options.keepTargetAccess = true;
  options.newMode = 0666;
  const ReplaceResult replaced = ReplaceSafely(target, text, options);
  return replaced.done || (replaced.noRoomBeside && exists && WriteInPlace(target, text));
}

}  // namespace velimo::settings::ini_io
