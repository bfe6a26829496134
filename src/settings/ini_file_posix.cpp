// The settings file on the disk, POSIX half: whole-file reads, the atomic
// replace beside the target and its in-place fallback, and the leftovers
// of saves that never finished.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

#include "settings/ini_file_io.h"
#include "util/own_file.h"

namespace velimo::trace::ini_io {

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

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  // Only a regular file is a settings file; a directory, a FIFO or a device
  // in its place cannot be read as one (and is not even opened).
  const OwnFile file = OpenOwnFile(path, O_RDONLY);
  if (file.fd < 0) return file.error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  const bool read = ReadAll(file.fd, out);
  ::close(file.fd);
  return read ? ReadResult::Read : ReadResult::Failed;
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

// The temporary files of saves that never finished (the saving process
// was killed between creating and renaming its file) are named after the
// target, the saving process and an attempt number. A save holds a lock on
// its temporary until it is renamed, so one is removed when its process is
// gone and no lock is held on it: the lock also spares the file of a saving
// process this one cannot see (another container sharing the folder).
static bool IsLeftoverTemp(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return false;
  name.remove_prefix(prefix.size());
  const size_t dash = name.find('-');
  if (dash == std::string_view::npos) return false;
  pid_t pid = 0;
  const char* pidEnd = name.data() + dash;
  if (std::from_chars(name.data(), pidEnd, pid).ptr != pidEnd || pid <= 0) return false;
  const std::string_view attempt = name.substr(dash + 1);
  if (attempt.empty() || attempt.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  return pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

static std::string TempPrefix(const std::string& target) {
  const size_t slash = target.rfind('/');
  return (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";
}

void RemoveLeftoverTemps(const std::string& target) {
  const std::string dir = DirectoryOf(target);
  const std::string prefix = TempPrefix(target);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(d)) {
    if (IsLeftoverTemp(entry->d_name, prefix)) leftovers.emplace_back(entry->d_name);
  }
  ::closedir(d);
  for (const std::string& name : leftovers) {
    const std::string path = dir + "/" + name;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(path.c_str());
    ::close(fd);
  }
}

enum class Replace { Done, NoRoomBeside, Failed };

static bool RefusedBeside(int error) {
  return error == EACCES || error == EPERM;
}

// The new text in a new file beside the target, renamed over it.
static Replace ReplaceAtomically(const std::string& target, std::string_view text,
                                 const struct stat* old) {
  // A fresh file beside the target, never an existing one.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    do {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return RefusedBeside(errno) ? Replace::NoRoomBeside : Replace::Failed;
  // Held until the file is renamed or removed: a save in progress.
  ::flock(fd, LOCK_EX | LOCK_NB);

  bool ok = WriteAllAt(fd, text, 0);
  // The new file keeps the old one's permissions.
  if (ok && old) ::fchmod(fd, old->st_mode & 07777);
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    ::unlink(temp.c_str());
    return Replace::Failed;
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    // A sticky folder refuses to let another user's file be replaced.
    const int error = errno;
    ::unlink(temp.c_str());
    return RefusedBeside(error) ? Replace::NoRoomBeside : Replace::Failed;
  }
  // The rename itself reaches the disk with the directory.
  const int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Replace::Done;
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
  RemoveLeftoverTemps(target);
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  // Only a regular file is replaced; a file made read-only stays as it is,
  // as it would with an in-place write.
  if (exists && (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0)) return false;
  switch (ReplaceAtomically(target, text, exists ? &old : nullptr)) {
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
