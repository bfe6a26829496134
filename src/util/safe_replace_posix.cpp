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
// Both names are in the folder dir.
int MoveOver(int dir, const std::string& temp, const std::string& target,
             const struct stat* checked) {
  const char* from = temp.c_str();
  const char* to = target.c_str();
#ifdef RENAME_EXCHANGE
  if (!checked) {
    // Nothing stood there: nothing may be replaced that came since.
    if (::renameat2(dir, from, dir, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
  } else if (::renameat2(dir, from, dir, to, RENAME_EXCHANGE) == 0) {
    struct stat taken;
    if (::fstatat(dir, from, &taken, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(taken.st_mode)) {
      ::renameat2(dir, from, dir, to, RENAME_EXCHANGE);
      return kSomethingElse;
    }
    ::unlinkat(dir, from, 0);  // the old file, now under the new file's name
    return 0;
  } else if (errno != EINVAL && errno != ENOSYS) {
    return errno;
  }
#endif
  // A file system that cannot swap: the name is looked at once more.
  struct stat now;
  const bool exists = ::fstatat(dir, to, &now, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists != (checked != nullptr) || (exists && !SameFile(now, *checked))) return kSomethingElse;
  return ::renameat(dir, from, dir, to) == 0 ? 0 : errno;
}

// The leftover search of RemoveLeftoverReplaces in the folder dir.
void RemoveLeftoversIn(int dir, const std::string& prefix) {
  const int listed = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listed < 0) return;
  DIR* d = ::fdopendir(listed);
  if (!d) {
    ::close(listed);
    return;
  }
  std::vector<std::string> leftovers;
  while (const dirent* entry = ::readdir(d)) {
    const unsigned long pid = ReplacePidOf(entry->d_name, prefix);
    if (pid == 0 || pid == static_cast<unsigned long>(::getpid())) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      leftovers.emplace_back(entry->d_name);
  }
  ::closedir(d);
  for (const std::string& name : leftovers) {
    const int fd =
        ::openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlinkat(dir, name.c_str(), 0);
    ::close(fd);
  }
}

}  // namespace

ReplaceResult ReplaceSafely(const std::string& path, std::string_view text,
                            const ReplaceOptions& options) {
  ReplaceResult r;
  // Everything below happens in the folder reached here, name by name:
  // a folder on the way swapped for a link since changes nothing.
  OwnFolder folder;
  const OwnFile own = FollowOwnLinks(path, folder);
  r.path = own.path;
  if (own.error) return Failed(std::move(r), own.error, own.reason);
  const int dir = folder.fd;
  const std::string leaf = LeafOf(r.path);
  struct stat old;
  const bool exists = own.exists && ::fstatat(dir, leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !S_ISREG(old.st_mode)) return Failed(std::move(r), EINVAL, kNotRegular);
  RemoveLeftoversIn(dir, ReplacePrefix(r.path));

  const mode_t mode = options.ownerOnly ? 0600 : options.newMode;
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < kMaxAttempts && fd < 0; ++attempt) {
    temp = leaf + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(nextAttempt++);
    do {
      fd = ::openat(dir, temp.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW, mode);
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
    error = MoveOver(dir, temp, leaf, exists ? &old : nullptr);
    ok = error == 0;
  }
  ::close(fd);
  if (!ok) {
    ::unlinkat(dir, temp.c_str(), 0);
    return error == kSomethingElse ? Failed(std::move(r), EINVAL, kNotRegular)
                                   : Failed(std::move(r), error);
  }
  // The move itself reaches the disk with the folder.
  const int synced = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (synced >= 0) {
    ::fsync(synced);
    ::close(synced);
  }
  r.done = true;
  return r;
}

void RemoveLeftoverReplaces(const std::string& target) {
  const OwnFolder folder = OpenOwnFolder(DirectoryOf(target));
  if (folder.fd >= 0) RemoveLeftoversIn(folder.fd, ReplacePrefix(target));
}

}  // namespace velimo
