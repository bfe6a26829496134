#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "util/data_folder.h"

namespace velimo {

namespace fs = std::filesystem;

namespace {

// The rule for the data folder and every link on the way to it.
bool UserOrRoot(uid_t owner) {
  return owner == ::geteuid() || owner == 0;
}

bool Absolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

std::string AccountHome() {
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
      !Absolute(found->pw_dir))
    return {};
  return found->pw_dir;
}

}  // namespace

DataFolderChoice UserDataFolder(const char* xdgDataHome, const char* home) {
  if (Absolute(xdgDataHome)) return {fs::path(xdgDataHome) / "velimo", {}};
  std::string base = Absolute(home) ? std::string(home) : AccountHome();
  if (base.empty()) return {{}, "no home folder is known (HOME is not set)"};
  return {fs::path(base) / ".local" / "share" / "velimo", {}};
}

DataFolderChoice UserDataFolder() {
  return UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

std::optional<std::string> EnterFolder(const fs::path& folder) {
  // The path is walked one name at a time, as the kernel would resolve it,
  // so every link on the way is seen and judged before anything is made
  // behind it; each missing folder is made in turn, owner-only, and one
  // that exists is left as it is.
  if (!folder.is_absolute()) return "the data folder " + folder.string() + " is not absolute";
  std::vector<std::string> rest;
  for (const fs::path& part : folder.relative_path()) rest.push_back(part.string());
  std::reverse(rest.begin(), rest.end());  // taken from the back
  std::string here;                        // resolved so far, no links in it; "" is /
  for (int links = 0; !rest.empty();) {
    const std::string name = std::move(rest.back());
    rest.pop_back();
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      here.resize(here.empty() ? 0 : here.rfind('/'));
      continue;
    }
    const std::string next = here + "/" + name;
    struct stat st;
    if (::lstat(next.c_str(), &st) != 0) {
      if (errno != ENOENT) return "cannot reach " + next + ": " + std::strerror(errno);
      if (::mkdir(next.c_str(), 0700) != 0 && errno != EEXIST)
        return "cannot make " + next + ": " + std::strerror(errno);
      if (::lstat(next.c_str(), &st) != 0)
        return "cannot reach " + next + ": " + std::strerror(errno);
    }
    if (S_ISLNK(st.st_mode)) {
      if (!UserOrRoot(st.st_uid)) return next + " is a symbolic link owned by another user";
      if (++links > 40) return "cannot reach " + next + ": " + std::strerror(ELOOP);
      char target[PATH_MAX];
      const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
      if (n <= 0 || n >= static_cast<ssize_t>(sizeof target))
        return "cannot reach " + next + ": " + std::strerror(n < 0 ? errno : ENAMETOOLONG);
      const fs::path to(std::string(target, static_cast<size_t>(n)));
      std::vector<std::string> parts;
      for (const fs::path& part : to.relative_path()) parts.push_back(part.string());
      rest.insert(rest.end(), parts.rbegin(), parts.rend());
      if (to.is_absolute()) here.clear();
      continue;
    }
    if (!S_ISDIR(st.st_mode)) return "cannot make " + next + ": " + std::strerror(ENOTDIR);
    here = next;
  }
  if (here.empty()) here = "/";
  struct stat st;
  if (::stat(here.c_str(), &st) != 0) return "cannot enter " + here + ": " + std::strerror(errno);
  // The folder decides where the settings and the log go: one of another
  // user could hold a settings file of theirs (log masking off) and read
  // every log line.
  if (!UserOrRoot(st.st_uid)) return here + " belongs to another user";
  const int back = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (::chdir(here.c_str()) != 0) {
    const int error = errno;
    if (back >= 0) ::close(back);
    return "cannot enter " + here + ": " + std::strerror(error);
  }
  // What was entered is what counts: a name on the way may have been given
  // to something else since it was looked at.
  if (::stat(".", &st) != 0 || !UserOrRoot(st.st_uid)) {
    if (back >= 0 && ::fchdir(back) != 0) {
      // Nowhere to return to: the working folder was taken away meanwhile.
    }
    if (back >= 0) ::close(back);
    return here + " belongs to another user";
  }
  if (back >= 0) ::close(back);
  return std::nullopt;
}

}  // namespace velimo
