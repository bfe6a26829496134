#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "util/own_file.h"
#include "util/safe_replace.h"

namespace velimo {

namespace {

constexpr const char* kNotRegular = "not a regular file";

// Each save of this process takes its own number, so two threads never
// race for one name and a leftover only moves a save to the next number.
std::atomic<unsigned> nextAttempt{0};
constexpr int kMaxAttempts = 1000;
constexpr int kSomethingElse = -1;

bool RefusedBeside(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

ReplaceResult Failed(ReplaceResult r, int error, const char* reason = nullptr) {
  r.why = reason ? reason : std::strerror(error);
  r.noRoomBeside = !reason && RefusedBeside(error);
  return r;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Moves temp over target. Where the system can, the two are swapped and
// what was taken from the name is looked at: anything but the regular file
// that was checked (or another regular file a save of another process put
// there) is swapped back. Returns 0, kSomethingElse when something else
// stands at the name (and is left there), or the errno of the failure.
int MoveOver(const std::string& temp, const std::string& target, const struct stat* checked) {
#ifdef RENAME_EXCHANGE
  if (!checked) {
    // Nothing stood there: nothing may be replaced that came since.
    if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
      return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
  } else if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    struct stat taken;
    if (::lstat(temp.c_str(), &taken) == 0 && !S_ISREG(taken.st_mode)) {
      ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
      return kSomethingElse;
    }
    ::unlink(temp.c_str());  // the old file, now under the new file's name
    return 0;
  } else if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
#endif
  // A file system that cannot swap: the name is looked at once more.
  struct stat now;
  const bool exists = ::lstat(target.c_str(), &now) == 0;
  if (exists != (checked != nullptr) || (exists && !SameFile(now, *checked))) return kSomethingElse;
  return ::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace

ReplaceResult ReplaceFile(const std::string& path, std::string_view text,
                          const ReplaceOptions& options) {
  ReplaceResult r;
  const OwnFile own = FollowOwnLinks(path);
  r.path = own.path;
  if (own.error) return Failed(std::move(r), own.error, own.reason);
  struct stat old;
  const bool exists = own.exists && ::lstat(r.path.c_str(), &old) == 0;
  if (exists && !S_ISREG(old.st_mode)) return Failed(std::move(r), EINVAL, kNotRegular);
  RemoveLeftoverReplaces(r.path);

  const mode_t mode = options.ownerOnly ? 0600 : options.newMode;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < kMaxAttempts && fd < 0; ++attempt) {
    temp = r.path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(nextAttempt++);
    do {
      fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW,
                  mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Failed(std::move(r), errno);
  // Held until the file is moved or removed: a save in progress, which the
  // leftover search of a process that cannot see this one spares.
  ::flock(fd, LOCK_EX | LOCK_NB);

  bool ok = WriteAll(fd, text);
  // The umask only narrows; fchmod sets the mode exactly.
  if (ok && options.ownerOnly) ok = ::fchmod(fd, 0600) == 0;
  if (ok && options.keepTargetAccess && exists && !options.ownerOnly)
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && ::fsync(fd) == 0;
  int error = ok ? 0 : errno;
  if (ok) {
    error = MoveOver(temp, r.path, exists ? &old : nullptr);
    ok = error == 0;
  }
  ::close(fd);
  if (!ok) {
    ::unlink(temp.c_str());
    return error == kSomethingElse ? Failed(std::move(r), EINVAL, kNotRegular)
                                   : Failed(std::move(r), error);
  }
  // The move itself reaches the disk with the folder.
  const int folder = ::open(DirectoryOf(r.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  r.done = true;
  return r;
}

void RemoveLeftoverReplaces(const std::string& target) {
  const std::string dir = DirectoryOf(target);
  const std::string prefix = ReplacePrefix(target);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(d)) {
    const unsigned long pid = ReplacePidOf(entry->d_name, prefix);
    if (pid == 0 || pid == static_cast<unsigned long>(::getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      leftovers.emplace_back(entry->d_name);
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

}  // namespace velimo
