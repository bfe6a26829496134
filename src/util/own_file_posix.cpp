#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "util/own_file.h"

namespace velimo {

namespace {

constexpr int kMaxLinks = 40;  // as the kernel's own limit
constexpr const char* kForeignLink = "symbolic link owned by another user";
constexpr const char* kNotRegular = "not a regular file";

OwnFile Refused(OwnFile r, int error, const char* reason) {
  r.error = error;
  r.reason = reason;
  return r;
}

}  // namespace

bool LinkMayBeFollowed(uid_t linkOwner, uid_t folderOwner, uid_t user) {
  return linkOwner == user || linkOwner == 0 || linkOwner == folderOwner;
}

int MakeOwnFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0700) == 0 ? 0 : errno;
}

OwnFile FollowOwnLinks(const std::string& path) {
  OwnFile r;
  r.path = path;
  for (int hops = 0;; ++hops) {
    struct stat link;
    if (::lstat(r.path.c_str(), &link) != 0) return r;
    if (!S_ISLNK(link.st_mode)) {
      r.exists = true;
      r.mode = link.st_mode;
      return r;
    }
    if (hops == kMaxLinks) return Refused(std::move(r), ELOOP, nullptr);
    // The links under /proc (a process's descriptors, /proc/self) lead to
    // whatever a process has open, a pipe or a terminal as well as a file
    // of another name: none of them is a file of the tool's own.
    if (r.path.starts_with("/proc/")) return Refused(std::move(r), EINVAL, kNotRegular);
    const std::string dir = DirectoryOf(r.path);
    if (link.st_uid != ::geteuid() && link.st_uid != 0) {
      struct stat folder;
      if (::stat(dir.c_str(), &folder) != 0 ||
          !LinkMayBeFollowed(link.st_uid, folder.st_uid, ::geteuid()))
        return Refused(std::move(r), EACCES, kForeignLink);
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(r.path.c_str(), target, sizeof target);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof target))
      return Refused(std::move(r), n < 0 ? errno : ENAMETOOLONG, nullptr);
    const std::string next(target, static_cast<size_t>(n));
    r.path = next.front() == '/' ? next : dir + "/" + next;
  }
}

OwnFile OpenOwnFile(const std::string& path, int flags, mode_t mode) {
  OwnFile r = FollowOwnLinks(path);
  if (r.error) return r;
  if (r.exists && !S_ISREG(r.mode)) return Refused(std::move(r), EINVAL, kNotRegular);
  // O_NOFOLLOW: a link put there since it was looked at is not followed.
  do {
    r.fd = ::open(r.path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW, mode);
  } while (r.fd < 0 && errno == EINTR);
  if (r.fd < 0) {
    r.error = errno;
    return r;
  }
  struct stat st;
  if (::fstat(r.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(r.fd);
    r.fd = -1;
    return Refused(std::move(r), EINVAL, kNotRegular);
  }
  return r;
}

}  // namespace velimo
