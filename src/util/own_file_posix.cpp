#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

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

bool UserOrRoot(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

int OpenAt(int at, const char* name) {
  int fd;
  do {
    fd = ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// The names of a path, taken from the back.
void PushNames(const std::string& path, std::vector<std::string>& rest) {
  std::vector<std::string> names;
  size_t at = 0;
  while (at <= path.size()) {
    size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    if (slash > at) names.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  rest.insert(rest.end(), names.rbegin(), names.rend());
}

}  // namespace

bool LinkMayBeFollowed(uid_t linkOwner, uid_t user) {
  return linkOwner == user || linkOwner == 0;
}

OwnFolder::OwnFolder(OwnFolder&& other) noexcept
    : fd(other.fd), error(other.error), reason(other.reason), owner(other.owner) {
  other.fd = -1;
}

OwnFolder& OwnFolder::operator=(OwnFolder&& other) noexcept {
  if (this != &other) {
    if (fd >= 0) ::close(fd);
    fd = other.fd;
    error = other.error;
    reason = other.reason;
    owner = other.owner;
    other.fd = -1;
  }
  return *this;
}

OwnFolder::~OwnFolder() {
  if (fd >= 0) ::close(fd);
}

OwnFolder OpenOwnFolder(const std::string& path) {
  // Walked as the kernel would resolve the path, one name at a time, each
  // opened relative to the one before and never through a link: every
  // link on the way is judged before it is followed, and the descriptor
  // handed out is the folder that was judged, whatever is renamed later.
  OwnFolder r;
  auto fail = [&r](int error, const char* reason = nullptr) {
    r.error = error;
    r.reason = reason;
    if (r.fd >= 0) ::close(r.fd);
    r.fd = -1;
    return std::move(r);
  };
  r.fd = OpenAt(AT_FDCWD, path.starts_with('/') ? "/" : ".");
  if (r.fd < 0) return fail(errno);
  std::vector<std::string> rest;
  PushNames(path, rest);
  for (int links = 0; !rest.empty();) {
    const std::string name = std::move(rest.back());
    rest.pop_back();
    if (name == ".") continue;
    struct stat st;
    if (name != ".." && ::fstatat(r.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return fail(errno);
    if (name != ".." && S_ISLNK(st.st_mode)) {
      if (!LinkMayBeFollowed(st.st_uid, ::geteuid())) return fail(EACCES, kForeignLink);
      if (++links > kMaxLinks) return fail(ELOOP);
      char target[PATH_MAX];
      const ssize_t n = ::readlinkat(r.fd, name.c_str(), target, sizeof target);
      if (n <= 0 || n >= static_cast<ssize_t>(sizeof target))
        return fail(n < 0 ? errno : ENAMETOOLONG);
      const std::string to(target, static_cast<size_t>(n));
      PushNames(to, rest);
      if (to.front() == '/') {
        const int root = OpenAt(AT_FDCWD, "/");
        if (root < 0) return fail(errno);
        ::close(r.fd);
        r.fd = root;
      }
      continue;
    }
    const int next = OpenAt(r.fd, name.c_str());
    if (next < 0)
      return fail(errno == ELOOP ? EACCES : errno, errno == ELOOP ? kForeignLink : nullptr);
    ::close(r.fd);
    r.fd = next;
  }
  struct stat st;
  if (::fstat(r.fd, &st) != 0) return fail(errno);
  r.owner = st.st_uid;
  return r;
}

OwnFile FollowOwnLinks(const std::string& path, OwnFolder& folder) {
  OwnFile r;
  r.path = path;
  for (int hops = 0;; ++hops) {
    const std::string leaf = LeafOf(r.path);
    if (leaf.empty() || leaf == "." || leaf == "..") {
      // The path names a folder itself ("/", "Log/"): it is what is reached.
      folder = OpenOwnFolder(r.path);
      if (folder.fd < 0) return Refused(std::move(r), folder.error, folder.reason);
      struct stat st;
      if (::fstat(folder.fd, &st) != 0) return Refused(std::move(r), errno, nullptr);
      r.exists = true;
      r.mode = st.st_mode;
      r.foreignOwner = !UserOrRoot(st.st_uid);
      return r;
    }
    const std::string dir = DirectoryOf(r.path);
    folder = OpenOwnFolder(dir);
    if (folder.fd < 0) return Refused(std::move(r), folder.error, folder.reason);
    struct stat link;
    if (::fstatat(folder.fd, leaf.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return r;
      return Refused(std::move(r), errno, nullptr);
    }
    if (!S_ISLNK(link.st_mode)) {
      r.exists = true;
      r.mode = link.st_mode;
      r.foreignOwner = !UserOrRoot(link.st_uid);
      return r;
    }
    if (hops == kMaxLinks) return Refused(std::move(r), ELOOP, nullptr);
    // The links under /proc (a process's descriptors, /proc/self) lead to
    // whatever a process has open, a pipe or a terminal as well as a file
    // of another name: none of them is a file of the tool's own.
    if (r.path.starts_with("/proc/")) return Refused(std::move(r), EINVAL, kNotRegular);
    if (!LinkMayBeFollowed(link.st_uid, ::geteuid()))
      return Refused(std::move(r), EACCES, kForeignLink);
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(folder.fd, leaf.c_str(), target, sizeof target);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof target))
      return Refused(std::move(r), n < 0 ? errno : ENAMETOOLONG, nullptr);
    const std::string next(target, static_cast<size_t>(n));
    r.path = next.front() == '/' ? next : dir + "/" + next;
  }
}

OwnFile FollowOwnLinks(const std::string& path) {
  OwnFolder folder;
  return FollowOwnLinks(path, folder);
}

int MakeOwnFolder(const std::string& path) {
  // Made in the folder reached name by name; a link at the name itself
  // (dangling or not) is something already there.
  const OwnFolder folder = OpenOwnFolder(DirectoryOf(path));
  if (folder.fd < 0) return folder.error;
  return ::mkdirat(folder.fd, LeafOf(path).c_str(), 0700) == 0 ? 0 : errno;
}

OwnFile OpenOwnFile(const std::string& path, int flags, mode_t mode) {
  OwnFolder folder;
  OwnFile r = FollowOwnLinks(path, folder);
  if (r.error) return r;
  if (r.exists && !S_ISREG(r.mode)) return Refused(std::move(r), EINVAL, kNotRegular);
  // Relative to the folder that was judged, and O_NOFOLLOW: a link put
  // there since it was looked at is not followed.
  const std::string leaf = LeafOf(r.path);
  do {
    r.fd = ::openat(folder.fd, leaf.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW,
                    mode);
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
  r.exists = true;
  r.mode = st.st_mode;
  r.foreignOwner = !UserOrRoot(st.st_uid);
  return r;
}

}  // namespace velimo
